// Capture (see img_capture.h).
#include "imagelib/img_capture.h"

#include "imagelib/img_colour.h"
#include "imagelib/img_colour_rows.h"
#include "imagelib/img_frame.h"
#include "platform/bitmaps.h"
#include "platform/screen.h"

#include <algorithm>
#include <cstring>

using namespace tessivor;

namespace {

constexpr std::int32_t kNotABitmap = -68;

// The nearest entry of the image's palette.
std::uint8_t nearest(const img_desc* desc, Rgb c)
{
    std::uint32_t best = 0, bestDistance = ~0u;
    for (std::uint32_t i = 0; i < desc->colourCount; ++i) {
        const RgbQuad& q = desc->palette[i];
        const int dr = q.rgbRed - c.r, dg = q.rgbGreen - c.g, db = q.rgbBlue - c.b;
        const auto d = static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

// Puts pixel (x, y) (from the top) of a source into the image: indices of an indexed source
// as they are, colours as colours or as the nearest palette entry.
void putPixel(img_desc* desc, std::uint32_t x, std::uint32_t y, Rgb colour, int index)
{
    std::uint8_t* row = imgrows::rowOf(desc, y);
    switch (img_bits(desc)) {
    case 24:
        row[3 * x] = colour.b;
        row[3 * x + 1] = colour.g;
        row[3 * x + 2] = colour.r;
        break;
    case 8:
        row[x] = index >= 0 ? static_cast<std::uint8_t>(index) : nearest(desc, colour);
        break;
    default: {
        const int v = index >= 0 ? index & 1 : nearest(desc, colour);
        const auto mask = static_cast<std::uint8_t>(0x80 >> (x & 7));
        row[x >> 3] = static_cast<std::uint8_t>(v ? row[x >> 3] | mask : row[x >> 3] & ~mask);
        break;
    }
    }
}

// Index of pixel (x, y) of an indexed view, -1 for other views.
int indexOf(const DibView& v, int x, int y)
{
    const std::uint8_t* line =
        v.bits + static_cast<std::size_t>(v.bottomUp ? v.height - 1 - y : y) * v.stride;
    switch (v.bitCount) {
    case 1:
        return (line[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (line[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
    case 8:
        return line[x];
    default:
        return -1;
    }
}

std::int32_t fromScreen(const ImgScreenRect& wanted, img_desc* desc)
{
    int sw = 0, sh = 0;
    if (!screen::size(sw, sh))
        return IMG_ERR_NO_MEMORY;
    const TargetRect r{std::max(0, wanted.left), std::max(0, wanted.top), std::min(sw, wanted.right),
                       std::min(sh, wanted.bottom)};
    screen::Image image;
    if (r.right <= r.left || r.bottom <= r.top || !screen::grab(r, image))
        return IMG_ERR_NO_MEMORY;
    const std::int32_t a = img_alloc(desc, static_cast<std::uint32_t>(image.width),
                                     static_cast<std::uint32_t>(image.height), 24);
    if (a != IMG_OK)
        return a;
    desc->typeFlags = 0;
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3;
    for (int y = 0; y < image.height; ++y)
        std::memcpy(imgrows::rowOf(desc, static_cast<std::uint32_t>(y)), image.bgr.data() + rowBytes * y,
                    rowBytes);
    return IMG_OK;
}

std::int32_t fromWindow(std::uint32_t window, bool client, img_desc* desc)
{
    int sw = 0, sh = 0;
    if (!screen::size(sw, sh))
        return IMG_ERR_NO_MEMORY;
    TargetRect r;
    if (!screen::windowRect(window, client, r))
        return IMG_ERR_ARGUMENT;
    return fromScreen(ImgScreenRect{r.left, r.top, r.right, r.bottom}, desc);
}

} // namespace

std::int32_t img_capture_bitmap(Handle bitmap, Handle palette, img_desc* desc)
{
    return img_entry([&]() -> std::int32_t {
        if (!desc)
            return IMG_ERR_ARGUMENT;
        const BitmapInfo info = bitmaps::describe(bitmap);
        if (info.kind == BitmapKind::None)
            return kNotABitmap;
        const int product = info.planes * info.bitsPerPixel;
        const std::uint32_t depth = product <= 1 ? 1 : product <= 4 ? 4 : product <= 8 ? 8 : 24;
        std::int32_t r = img_alloc(desc, static_cast<std::uint32_t>(info.width),
                                   static_cast<std::uint32_t>(info.height), depth);
        if (r != IMG_OK)
            return r;
        if (desc->palette) {
            std::vector<RgbQuad> entries;
            if (const auto logical = logicalPalettes::find(palette))
                entries = *logical;
            else
                entries.assign(img_default_palette.begin(), img_default_palette.end());
            const std::size_t n = std::min<std::size_t>(entries.size(), std::size_t{1} << img_bits(desc));
            std::copy_n(entries.begin(), n, desc->palette);
            desc->colourCount = static_cast<std::uint32_t>(n);
        }
        desc->typeFlags = 0;

        const auto w = static_cast<std::uint32_t>(info.width), h = static_cast<std::uint32_t>(info.height);
        if (const auto b = bitmaps::find(bitmap)) {
            const DibView view = b->view();
            if (!view.usable()) {
                img_free(desc);
                return IMG_ERR_NO_MEMORY;
            }
            const bool indexed = view.bitCount <= 8 && img_bits(desc) <= 8;
            for (std::uint32_t y = 0; y < h; ++y)
                for (std::uint32_t x = 0; x < w; ++x) {
                    const int sx = static_cast<int>(x), sy = static_cast<int>(y);
                    putPixel(desc, x, y, view.pixel(sx, sy), indexed ? indexOf(view, sx, sy) : -1);
                }
            return IMG_OK;
        }
        const TargetPicture picture = frameTargets::find(bitmap)->snapshot();
        for (std::uint32_t y = 0; y < h && y < static_cast<std::uint32_t>(picture.height); ++y)
            for (std::uint32_t x = 0; x < w && x < static_cast<std::uint32_t>(picture.width); ++x)
                putPixel(desc, x, y, picture.pixel(static_cast<int>(x), static_cast<int>(y)), -1);
        return IMG_OK;
    });
}

std::int32_t img_from_dib_section(Handle section, img_desc* desc)
{
    return img_entry([&]() -> std::int32_t {
        if (!desc)
            return IMG_ERR_ARGUMENT;
        const auto b = bitmaps::find(section);
        if (!b || !b->dibSection)
            return kNotABitmap;
        const int bits = b->planes * b->bitsPerPixel;
        if (bits != 1 && bits != 8 && bits != 24)
            return IMG_ERR_DEPTH;
        if (b->compression != 0)
            return IMG_ERR_COMPRESSED;
        const DibView view = b->view();
        if (!view.usable())
            return IMG_ERR_ARGUMENT;
        img_clear_desc(desc);
        const std::int32_t r =
            img_alloc(desc, static_cast<std::uint32_t>(b->width), static_cast<std::uint32_t>(b->height),
                      static_cast<std::uint32_t>(bits));
        if (r != IMG_OK)
            return r;
        if (desc->palette) {
            const std::size_t n = std::min<std::size_t>(b->colours.size(), std::size_t{1} << bits);
            std::copy_n(b->colours.begin(), n, desc->palette);
            desc->colourCount = static_cast<std::uint32_t>(n);
            desc->typeFlags &= ~IMG_TYPE_GRAY;
        }
        // Same layout (bottom-up, 32-bit aligned rows): row by row.
        for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(b->height); ++i)
            std::memcpy(desc->pixels + std::size_t{i} * desc->bytesPerRow,
                        b->bits.data() + std::size_t{i} * view.stride, desc->bytesPerRow);
        return IMG_OK;
    });
}

std::int32_t img_capture_window(std::uint32_t window, img_desc* desc)
{
    return desc ? fromWindow(window, false, desc) : IMG_ERR_ARGUMENT;
}

std::int32_t img_capture_client(std::uint32_t window, img_desc* desc)
{
    return desc ? fromWindow(window, true, desc) : IMG_ERR_ARGUMENT;
}

std::int32_t img_capture_rect(const ImgScreenRect* rect, img_desc* desc)
{
    return rect && desc ? fromScreen(*rect, desc) : IMG_ERR_ARGUMENT;
}
