// Image descriptor: allocation, freeing, checks and the grey palette (see img_desc.h).
#include "imagelib/img_desc.h"

#include "imagelib/img_frame.h"
#include "imagelib/img_memory.h"

#include <cstring>
#include <new>

using tessivor::BitmapInfoHeader;
using tessivor::RgbQuad;

namespace {

constexpr std::uint32_t kHeaderBytes = 40;
static_assert(sizeof(BitmapInfoHeader) == kHeaderBytes);

// The largest image block we try to get; larger requests count as exhausted memory.
constexpr std::uint64_t kMaxImageBytes = 0x7FFFFFFF;

std::uint32_t rowBytes(std::uint64_t width, std::uint32_t bits)
{
    return static_cast<std::uint32_t>(((width * bits + 31) >> 3) & ~std::uint64_t{3});
}

} // namespace

// ---- allocation ----

std::int32_t img_alloc(img_desc* desc, std::uint32_t width, std::uint32_t height, std::uint32_t bits)
{
    return img_alloc_ex(desc, width, height, bits, 0);
}

std::int32_t img_alloc_mem(img_desc* desc, std::uint32_t width, std::uint32_t height, std::uint32_t bits)
{
    return img_alloc_ex(desc, width, height, bits, 0);
}

namespace {

// The layout of a new image: depth (4 made 8), palette entries, row stride and block size.
struct ImageLayout
{
    std::uint32_t bits = 0;
    std::uint32_t colours = 0;
    std::uint64_t stride = 0;
    std::uint64_t total = 0;
};

std::int32_t layoutFor(std::uint32_t width, std::uint32_t height, std::uint32_t bits, ImageLayout* out)
{
    switch (bits) {
    case 1:
    case 8:
    case 16:
    case 24:
        break;
    case 4:
        bits = 8;
        break;
    default:
        return IMG_ERR_DEPTH;
    }
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return IMG_ERR_ARGUMENT;
    out->bits = bits;
    out->colours = bits < 16 ? 1u << bits : 0;
    out->stride = rowBytes(width, bits);
    out->total = kHeaderBytes + std::uint64_t{out->colours} * 4 + out->stride * height;
    if (out->stride > kMaxImageBytes || out->total > kMaxImageBytes)
        return IMG_ERR_NO_MEMORY;
    return IMG_OK;
}

// Writes the header, grey palette and descriptor of a new image over `block`; the pixels are
// not touched.
void layOut(img_desc* desc, std::uint8_t* block, std::uint32_t width, std::uint32_t height,
            const ImageLayout& l)
{
    img_clear_desc(desc);
    auto* header = new (block) BitmapInfoHeader;
    header->biSize = kHeaderBytes;
    header->biWidth = static_cast<std::int32_t>(width);
    header->biHeight = static_cast<std::int32_t>(height);
    header->biPlanes = 1;
    header->biBitCount = static_cast<std::uint16_t>(l.bits);
    header->biCompression = 0;
    header->biSizeImage = static_cast<std::uint32_t>(l.stride * height);
    header->biClrUsed = l.colours;
    header->biClrImportant = l.colours;

    desc->header = header;
    desc->palette = l.colours ? reinterpret_cast<RgbQuad*>(block + kHeaderBytes) : nullptr;
    desc->colourCount = l.colours;
    img_set_gray_palette(desc);
    desc->pixels = block + kHeaderBytes + l.colours * 4;
    desc->bytesPerRow = static_cast<std::uint32_t>(l.stride);
    desc->x0 = 0;
    desc->y0 = 0;
    desc->x1 = width - 1;
    desc->y1 = height - 1;
}

} // namespace

std::int32_t img_alloc_ex(img_desc* desc, std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                          std::int32_t /*useSection*/)
{
    if (!desc)
        return IMG_ERR_ARGUMENT;
    img_clear_desc(desc);
    ImageLayout l;
    if (const std::int32_t r = layoutFor(width, height, bits, &l); r != IMG_OK)
        return r;
    auto* block = static_cast<std::uint8_t*>(img_block_alloc(static_cast<std::size_t>(l.total)));
    if (!block)
        return IMG_ERR_NO_MEMORY;
    layOut(desc, block, width, height, l);
    return IMG_OK;
}

std::int32_t img_fit(img_desc* desc, std::uint32_t width, std::uint32_t height, std::uint32_t bits)
{
    if (!desc)
        return IMG_ERR_ARGUMENT;
    ImageLayout l;
    if (layoutFor(width, height, bits, &l) == IMG_OK && img_block_owned(desc->header) &&
        img_block_size(desc->header) == l.total &&
        desc->header->biWidth == static_cast<std::int32_t>(width) &&
        desc->header->biHeight == static_cast<std::int32_t>(height) && desc->header->biBitCount == l.bits) {
        layOut(desc, reinterpret_cast<std::uint8_t*>(desc->header), width, height, l);
        return IMG_OK;
    }
    img_free(desc);
    return img_alloc(desc, width, height, bits);
}

void img_free(img_desc* desc)
{
    if (!desc || !img_block_owned(desc->header))
        return;
    img_block_free(desc->header);
    img_clear_desc(desc);
}

void img_clear_desc(img_desc* desc)
{
    if (desc)
        *desc = img_desc{};
}

void img_copy_desc(const img_desc* source, img_desc* target)
{
    if (source && target)
        *target = *source;
}

// ---- area ----

img_desc* img_set_area(img_desc* desc, std::uint32_t x0, std::uint32_t y0, std::uint32_t x1, std::uint32_t y1)
{
    if (desc) {
        desc->x0 = x0;
        desc->y0 = y0;
        desc->x1 = x1;
        desc->y1 = y1;
    }
    return desc;
}

void img_get_area(const img_desc* desc, std::int32_t* x0, std::int32_t* y0, std::int32_t* x1,
                  std::int32_t* y1)
{
    if (!desc)
        return;
    if (x0)
        *x0 = static_cast<std::int32_t>(desc->x0);
    if (y0)
        *y0 = static_cast<std::int32_t>(desc->y0);
    if (x1)
        *x1 = static_cast<std::int32_t>(desc->x1);
    if (y1)
        *y1 = static_cast<std::int32_t>(desc->y1);
}

void img_put_area(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, img_desc* desc)
{
    img_set_area(desc, static_cast<std::uint32_t>(x0), static_cast<std::uint32_t>(y0),
                 static_cast<std::uint32_t>(x1), static_cast<std::uint32_t>(y1));
}

void img_common_size(const img_desc* a, const img_desc* b, std::uint32_t* height, std::uint32_t* width)
{
    const std::uint32_t ha = a->y1 - a->y0 + 1, hb = b->y1 - b->y0 + 1;
    const std::uint32_t wa = a->x1 - a->x0 + 1, wb = b->x1 - b->x0 + 1;
    if (height)
        *height = ha < hb ? ha : hb;
    if (width)
        *width = wa < wb ? wa : wb;
}

std::int32_t img_from_bitmapinfo(const void* packedBitmap, img_desc* desc)
{
    if (!desc)
        return IMG_ERR_ARGUMENT;
    img_clear_desc(desc);
    if (!packedBitmap)
        return IMG_ERR_ARGUMENT;
    auto* header = static_cast<BitmapInfoHeader*>(const_cast<void*>(packedBitmap));
    if (header->biBitCount == 4)
        return IMG_ERR_DEPTH;
    if (header->biCompression != 0)
        return IMG_ERR_COMPRESSED;
    if (header->biWidth <= 0 || header->biHeight <= 0)
        return IMG_ERR_ARGUMENT;
    const std::uint32_t colours = img_color_count(header);
    auto* base = reinterpret_cast<std::uint8_t*>(header);
    desc->header = header;
    desc->colourCount = colours;
    desc->palette = colours ? reinterpret_cast<RgbQuad*>(base + kHeaderBytes) : nullptr;
    desc->pixels = base + kHeaderBytes + std::size_t{colours} * 4;
    desc->bytesPerRow = rowBytes(static_cast<std::uint32_t>(header->biWidth), header->biBitCount);
    desc->x1 = static_cast<std::uint32_t>(header->biWidth) - 1;
    desc->y1 = static_cast<std::uint32_t>(header->biHeight) - 1;
    return IMG_OK;
}

// ---- checks ----

std::int32_t img_validate(img_desc* desc, std::uint32_t accepted)
{
    if (!desc || !desc->pixels)
        return IMG_ERR_NO_PIXELS;
    if (!desc->header)
        return IMG_ERR_ARGUMENT;
    if (desc->x1 < desc->x0) {
        const std::uint32_t t = desc->x0;
        desc->x0 = desc->x1;
        desc->x1 = t;
    }
    if (desc->y1 < desc->y0) {
        const std::uint32_t t = desc->y0;
        desc->y0 = desc->y1;
        desc->y1 = t;
    }
    const BitmapInfoHeader& h = *desc->header;
    if (h.biWidth <= 0 || h.biHeight <= 0)
        return IMG_ERR_ARGUMENT;
    const auto width = static_cast<std::uint32_t>(h.biWidth);
    const auto height = static_cast<std::uint32_t>(h.biHeight);
    const std::uint32_t bits = h.biBitCount;
    if (desc->x1 >= width || desc->x1 >= (bits == 1 ? 65535u : 32768u))
        return IMG_ERR_ARGUMENT;
    if (desc->y1 >= 32768u || desc->y1 >= height)
        return IMG_ERR_ARGUMENT;
    if ((std::uint64_t{width} * bits + 7) / 8 > desc->bytesPerRow)
        return IMG_ERR_ARGUMENT;
    // For our own images the rows must also lie inside the block, whatever the descriptor says.
    if (const std::size_t blockSize = img_block_size(desc->header)) {
        const auto start = reinterpret_cast<std::uintptr_t>(desc->header);
        const auto pixels = reinterpret_cast<std::uintptr_t>(desc->pixels);
        if (pixels < start || pixels - start > blockSize ||
            std::uint64_t{desc->bytesPerRow} * height > blockSize - (pixels - start))
            return IMG_ERR_ARGUMENT;
    }
    if (h.biCompression != 0)
        return IMG_ERR_COMPRESSED;
    if (bits > 31 || !(accepted & (1u << bits)))
        return IMG_ERR_DEPTH;
    return IMG_OK;
}

std::int32_t img_validate_8_24(img_desc* desc)
{
    return img_validate(desc, IMG_DEPTH_8 | IMG_DEPTH_24);
}

std::int32_t img_validate_1_8_24(img_desc* desc)
{
    return img_validate(desc, IMG_DEPTH_1 | IMG_DEPTH_8 | IMG_DEPTH_24);
}

std::int32_t img_validate_1_8_16_24(img_desc* desc)
{
    return img_validate(desc, IMG_DEPTH_1 | IMG_DEPTH_8 | IMG_DEPTH_16 | IMG_DEPTH_24);
}

// ---- header and palette ----

std::uint32_t img_bits(const img_desc* desc)
{
    return desc && desc->header ? desc->header->biBitCount : 0;
}

std::uint32_t img_width(const img_desc* desc)
{
    return desc && desc->header && desc->header->biWidth > 0
               ? static_cast<std::uint32_t>(desc->header->biWidth)
               : 0;
}

std::uint32_t img_height(const img_desc* desc)
{
    return desc && desc->header && desc->header->biHeight > 0
               ? static_cast<std::uint32_t>(desc->header->biHeight)
               : 0;
}

std::uint32_t img_color_count(const BitmapInfoHeader* header)
{
    if (!header)
        return 0;
    if (header->biClrUsed)
        return header->biClrUsed;
    return header->biBitCount < 16 ? 1u << header->biBitCount : 0;
}

std::uint32_t img_gray_step(std::uint32_t bits)
{
    static const std::uint32_t steps[9] = {255, 255, 85, 36, 17, 8, 4, 2, 1};
    return bits <= 8 ? steps[bits] : 1;
}

std::int32_t img_set_gray_palette(img_desc* desc)
{
    if (!desc || !desc->header)
        return IMG_OK;
    const std::uint32_t bits = desc->header->biBitCount;
    if (bits == 16) {
        desc->typeFlags = IMG_TYPE_GRAY;
    } else if (bits <= 8 && desc->palette) {
        desc->typeFlags |= IMG_TYPE_GRAY;
        const std::uint32_t step = img_gray_step(bits);
        desc->colourCount = img_color_count(desc->header);
        for (std::uint32_t i = 0; i < desc->colourCount; ++i) {
            const auto v = static_cast<std::uint8_t>(i * step);
            desc->palette[i] = RgbQuad{v, v, v, 0};
        }
        img_push_palette(desc);
    }
    return IMG_OK;
}

std::int32_t img_is_gray(const img_desc* desc)
{
    if (!desc || !desc->header)
        return 0;
    const std::uint32_t bits = desc->header->biBitCount;
    if (bits == 16)
        return desc->typeFlags == IMG_TYPE_GRAY ? 1 : 0;
    if (bits > 16 || !desc->palette || desc->colourCount == 0)
        return 0;
    const std::uint32_t step = img_gray_step(bits);
    for (std::uint32_t i = 0; i < desc->colourCount; ++i) {
        const RgbQuad& q = desc->palette[i];
        if (q.rgbBlue != q.rgbGreen || q.rgbGreen != q.rgbRed || q.rgbRed != i * step)
            return 0;
    }
    return 1;
}

std::int32_t img_push_palette(img_desc* /*desc*/)
{
    return IMG_OK;
}
