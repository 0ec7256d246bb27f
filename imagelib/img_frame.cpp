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
