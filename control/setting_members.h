// The get and put members of the settings: one field of one group each, read or written under
// the group's lock (control/guarded.h). The member files of CImage share them.
#pragma once

#include "control/guarded.h"
#include "control/iimage.h"
#include "platform/fixed_text.h"

#include <string>
#include <string_view>

namespace tessivor {

template <class G, class T> HRESULT getSetting(const Guarded<G>& group, T G::*field, T* pVal)
{
    *pVal = group.with([&](const G& g) { return g.*field; });
    return S_OK;
}

template <class G, class T, class V> HRESULT putSetting(Guarded<G>& group, T G::*field, V newVal)
{
    group.update([&](G& g) { g.*field = static_cast<T>(newVal); });
    return S_OK;
}

template <class G, std::size_t N>
HRESULT getText(const Guarded<G>& group, FixedText<N> G::*field, std::string* pVal)
{
    *pVal = group.with([&](const G& g) { return (g.*field).str(); });
    return S_OK;
}

template <class G, std::size_t N>
HRESULT putText(Guarded<G>& group, FixedText<N> G::*field, std::string_view newVal)
{
    group.update([&](G& g) { (g.*field).assign(newVal); });
    return S_OK;
}

} // namespace tessivor
