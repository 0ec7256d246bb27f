// The JPEG reader on arbitrary bytes: the header gate of the frame pipeline, and the decoder
// into an area of at most 256 x 256 at full size and scaled to fit.
#include "imagelib/imagelib.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > 0xFFFFFFFFu) {
        return 0;
    }
    const auto length = static_cast<std::uint32_t>(size);
    img_info info;
    const std::int32_t r = img_jpeg_info_mem(data, length, &info);
    if (r == 0 && info.frameType >= 0 &&
        (info.components < 0 || info.components > 4 || (info.bitsPerPixel != 8 && info.bitsPerPixel != 24))) {
        std::abort();
    }
    // Frames beyond a megapixel cost the decoder time in proportion to their claimed size, which
    // says nothing about the parser; they get the header walk only.
    if (r != 0 || info.frameType < 0 || static_cast<std::int64_t>(info.width) * info.height > (1 << 20)) {
        return 0;
    }
    const std::uint32_t w = static_cast<std::uint32_t>(std::clamp(info.width, 1, 256));
    const std::uint32_t h = static_cast<std::uint32_t>(std::clamp(info.height, 1, 256));
    img_desc desc;
    if (img_alloc(&desc, w, h, static_cast<std::uint32_t>(info.bitsPerPixel)) != 0) {
        return 0;
    }
    img_load_jpeg_mem(data, length, &desc);
    img_set_area(&desc, 0, 0, w / 2, h - 1);
    img_load_jpeg_thumb_mem(data, length, &desc, (size & 1) ? 1 : 0);
    img_free(&desc);
    return 0;
}
