// The TIFF reader on arbitrary bytes: the page description, the directory chain, the palette,
// and the load of the first page into an image of the page's depth (at most 256 x 256).
#include "imagelib/imagelib.h"
#include "imagelib/tiff_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > 0xFFFFFFFFu)
        return 0;
    const auto length = static_cast<std::uint32_t>(size);
    try {
        tessivor::tiff::MemorySource src(data, size);
        int pages = 0;
        tessivor::tiff::walkChain(src, [&](const tessivor::tiff::Directory&) { return ++pages < 1000; });
    } catch (const ImgError&) {
        // A refused chain is a result, not a fault.
    }
    tessivor::RgbQuad palette[256];
    const std::int32_t colours = img_tiff_palette_mem(data, length, palette);
    if (colours > 256)
        std::abort();
    TiffPageInfo info;
    if (img_tiff_info_mem(data, length, &info) != 0 || info.width <= 0 || info.height <= 0)
        return 0;
    std::uint32_t bits = static_cast<std::uint32_t>(info.bitsPerPixel);
    if (bits >= 4 && bits <= 6)
        bits = 8;
    if (bits != 1 && bits != 8 && bits != 16 && bits != 24)
        return 0;
    const auto w = static_cast<std::uint32_t>(std::min(info.width, 256));
    const auto h = static_cast<std::uint32_t>(std::min(info.height, 256));
    img_desc desc;
    if (img_alloc(&desc, w, h, bits) != 0)
        return 0;
    img_load_tiff_mem(data, length, &desc);
    if (desc.colourCount > img_color_count(desc.header))
        std::abort();
    img_free(&desc);
    return 0;
}
