#include "platform/connection_point.h"

#include "platform/trace.h"

#include <exception>

namespace tessivor {

HRESULT ConnectionPoint::advise(std::shared_ptr<IDispatch> sink, std::uint32_t* cookie)
{
    if (!sink || !cookie)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    *cookie = m_nextCookie++;
    m_sinks.emplace_back(*cookie, std::move(sink));
    return S_OK;
}

HRESULT ConnectionPoint::unadvise(std::uint32_t cookie)
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
        if (it->first == cookie) {
            m_sinks.erase(it);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

std::size_t ConnectionPoint::sinkCount() const
{
    std::lock_guard lock(m_mutex);
    return m_sinks.size();
}

void ConnectionPoint::fire(DispId id, const DispParams& params) const
{
    // Snapshot so that a sink may unadvise (itself or another) while the event is delivered.
    std::vector<std::shared_ptr<IDispatch>> sinks;
    {
        std::lock_guard lock(m_mutex);
        sinks.reserve(m_sinks.size());
        for (const auto& s : m_sinks)
            sinks.push_back(s.second);
    }
    for (const auto& sink : sinks) {
        DispParams copy = params;
        try {
            sink->invoke(id, InvokeKind::Method, copy, nullptr);
        } catch (const std::exception& e) {
            trace("event %d: sink threw: %s\n", id, e.what());
        } catch (...) {
            trace("event %d: sink threw\n", id);
        }
    }
}

} // namespace tessivor
