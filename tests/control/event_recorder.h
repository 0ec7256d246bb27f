// A sink for _IImageEvents that records every event with the thread it arrived on.
#pragma once

#include "control/cimage.h"
#include "platform/dispatch.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace tessivor::testing {

struct RecordedEvent
{
    DispId id;
    std::vector<std::int32_t> args;
    std::thread::id thread;
};

class EventRecorder : public IDispatch
{
public:
    HRESULT getIdOfName(std::string_view, DispId*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT invoke(DispId id, InvokeKind, DispParams& p, Variant*) override
    {
        RecordedEvent e{id, {}, std::this_thread::get_id()};
        for (std::size_t i = 0; i < p.count(); ++i) {
            std::int32_t v = 0;
            p.declared(i).toI4(&v);
            e.args.push_back(v);
        }
        events.push_back(std::move(e));
        return S_OK;
    }

    // GetImageEvent codes in arrival order.
    std::vector<std::int32_t> imageCodes() const
    {
        std::vector<std::int32_t> out;
        for (const auto& e : events)
            if (e.id == DISPID_GetImageEvent)
                out.push_back(e.args.at(0));
        return out;
    }

    std::vector<RecordedEvent> events;
};

// Pumps the calling thread's control windows until `done` holds or the time runs out.
template <class Pred> bool pumpUntil(Pred done, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        messageLoop::waitAndPump(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace tessivor::testing
