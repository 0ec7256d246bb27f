// Result codes, library exception and module locks (see img_frame.h).
#include "imagelib/img_frame.h"

#include <array>

std::atomic<std::int32_t> img_status{0};

void img_raise(std::int32_t code)
{
    throw ImgError(code);
}

std::unique_lock<std::mutex> img_module_lock(ImgModule module)
{
    static std::array<std::mutex, static_cast<std::size_t>(ImgModule::Count)> locks;
    return std::unique_lock<std::mutex>(locks.at(static_cast<std::size_t>(module)));
}

namespace {
std::atomic<bool> g_vectorPathsAllowed{true};
} // namespace

void img_allow_vector_paths(bool allow)
{
    g_vectorPathsAllowed.store(allow);
}

bool img_vector_paths_usable()
{
#if defined(__x86_64__)
    static const bool present = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                                __builtin_cpu_supports("avx512vbmi");
    return present && g_vectorPathsAllowed.load();
#else
    return false;
#endif
}
