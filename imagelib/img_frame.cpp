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
std::atomic<ImgResizePath> g_resizePath{ImgResizePath::Best};

bool cpuHasVbmi()
{
#if defined(__x86_64__)
    static const bool present = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                                __builtin_cpu_supports("avx512vbmi");
    return present;
#else
    return false;
#endif
}

bool cpuHasSsse3()
{
#if defined(__x86_64__)
    static const bool present = __builtin_cpu_supports("ssse3");
    return present;
#else
    return false;
#endif
}

bool resizePathPresent(ImgResizePath path)
{
    switch (path) {
    case ImgResizePath::Best:
    case ImgResizePath::Plain:
        return true;
    case ImgResizePath::Ssse3:
        return cpuHasSsse3();
    case ImgResizePath::Vbmi:
        return cpuHasVbmi();
    }
    return false;
}
} // namespace

void img_allow_vector_paths(bool allow)
{
    g_vectorPathsAllowed.store(allow);
}

bool img_vector_paths_usable()
{
    return cpuHasVbmi() && g_vectorPathsAllowed.load();
}

bool img_force_resize_path(ImgResizePath path)
{
    if (!resizePathPresent(path))
        return false;
    g_resizePath.store(path);
    return true;
}

ImgResizePath img_resize_path()
{
    if (!g_vectorPathsAllowed.load())
        return ImgResizePath::Plain;
    const ImgResizePath forced = g_resizePath.load();
    if (forced != ImgResizePath::Best)
        return forced;
    if (cpuHasVbmi())
        return ImgResizePath::Vbmi;
    return cpuHasSsse3() ? ImgResizePath::Ssse3 : ImgResizePath::Plain;
}
