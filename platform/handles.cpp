#include "platform/handles.h"

#include <atomic>

namespace tessivor {

Handle newHandle()
{
    // Start well away from small numbers so that a stray 0, 1 or -1 never names an object.
    static std::atomic<std::int32_t> next{0x1000};
    return next.fetch_add(4, std::memory_order_relaxed);
}

} // namespace tessivor
