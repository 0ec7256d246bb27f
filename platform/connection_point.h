// An outgoing event interface: sinks are advised and unadvised by cookie, and an event is fired
// to every advised sink in the order of advising. A sink that fails or throws loses that event
// and does not stop the others.
#pragma once

#include "platform/dispatch.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace tessivor {

class ConnectionPoint
{
public:
    // cookie receives a non-zero number that names this advise.
    HRESULT advise(std::shared_ptr<IDispatch> sink, std::uint32_t* cookie);
    HRESULT unadvise(std::uint32_t cookie); // E_INVALIDARG for an unknown cookie
    std::size_t sinkCount() const;

    // Calls every sink's invoke(id, Method, params) on the calling thread. Each sink gets its
    // own copy of the arguments (last declared first); results are ignored.
    void fire(DispId id, const DispParams& params) const;

private:
    mutable std::mutex m_mutex;
    std::uint32_t m_nextCookie = 1;
    std::vector<std::pair<std::uint32_t, std::shared_ptr<IDispatch>>> m_sinks;
};

} // namespace tessivor
