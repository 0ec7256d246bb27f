#include "camproto/wait_scale.h"

#include <atomic>

namespace tessivor::camproto {

namespace {
std::atomic<int> g_percent{100};
} // namespace

int scaledWaitMs(int ms)
{
    if (ms <= 0)
        return ms;
    const long long scaled = static_cast<long long>(ms) * g_percent.load() / 100;
    return scaled < 1 ? 1 : static_cast<int>(scaled);
}

void setWaitScaleForTesting(int percent)
{
    g_percent.store(percent < 1 ? 1 : percent);
}

} // namespace tessivor::camproto
