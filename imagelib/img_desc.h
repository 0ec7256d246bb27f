// The image descriptor of the still-image library and the operations every module shares on it:
// allocation and freeing, the checks each operation runs on its descriptors, the grey palette
// and the small area and size helpers.
//
// An image is a device-independent bitmap in Windows layout: a 40-byte header, a palette of
// `colourCount` four-byte entries (blue, green, red, 0) and the pixel rows, each `bytesPerRow`
// bytes (a multiple of 4), stored bottom-up: picture row y (0 = top) starts at
// pixels + (height - 1 - y) * bytesPerRow. Pixel layouts by bits per pixel:
//   1  one bit, most significant bit = leftmost pixel, 2 palette entries
//   8  one palette index, 256 entries (4-bit requests are made 8-bit)
//   16 one grey sample, low byte first, no palette (type flag IMG_TYPE_GRAY set)
//   24 three bytes blue, green, red, no palette
// The working area (x0, y0)-(x1, y1) is inclusive, in picture coordinates, and compared as
// unsigned numbers (a negative coordinate is out of range).
//
// An allocated image lives in one image block (img_memory.h): header, palette and pixels one
// after the other. The descriptor that allocated owns the block and is the one to pass to
// img_free; a copy (img_copy_desc) and a descriptor over foreign memory (img_from_bitmapinfo)
// are dropped without freeing.
#pragma once

#include "platform/dib.h"

#include <cstdint>

inline constexpr std::uint32_t IMG_TYPE_GRAY = 1; // type flag: the palette is the depth's grey ramp

struct img_desc
{
    std::uint8_t* pixels = nullptr; // first stored byte of the pixel rows
    std::uint32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    std::uint32_t bytesPerRow = 0;
    tessivor::RgbQuad* palette = nullptr;         // none for 16 and 24 bits
    std::uint32_t colourCount = 0;                // palette entries in use
    std::uint32_t typeFlags = 0;                  // IMG_TYPE_GRAY
    tessivor::BitmapInfoHeader* header = nullptr; // width, height and bits per pixel
    // DIB-section handle. This library keeps every image in its own block, so it stays 0.
    std::intptr_t section = 0;
};

// Accepted depths for img_validate: bit n set for n bits per pixel.
inline constexpr std::uint32_t IMG_DEPTH_1 = 1u << 1;
inline constexpr std::uint32_t IMG_DEPTH_8 = 1u << 8;
inline constexpr std::uint32_t IMG_DEPTH_16 = 1u << 16;
inline constexpr std::uint32_t IMG_DEPTH_24 = 1u << 24;

// ---- allocation ----

// A new zero-filled image with the grey palette of its depth and the whole image as its area.
// Bits 1, 4 (made 8), 8, 16 or 24, else -26; width or height 0 (or beyond 32767 rows / 65535
// columns of a size the block cannot hold) -1; no memory -14. The descriptor is cleared first,
// so after a failure it holds no memory.
std::int32_t img_alloc(img_desc* desc, std::uint32_t width, std::uint32_t height, std::uint32_t bits);
std::int32_t img_alloc_mem(img_desc* desc, std::uint32_t width, std::uint32_t height, std::uint32_t bits);
// `useSection` asks for a DIB section; there are none here, so the pixels always go into the
// image's own block.
std::int32_t img_alloc_ex(img_desc* desc, std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                          std::int32_t useSection);
// Makes `desc` an image as img_alloc does, keeping its block when it already holds an image of
// this size and depth made here: header, palette, area and flags are then those of a new image,
// but the pixels keep what they held (for callers that overwrite them whole, frame after frame).
// Otherwise the block is freed and a new zero-filled one is allocated, with img_alloc's results.
std::int32_t img_fit(img_desc* desc, std::uint32_t width, std::uint32_t height, std::uint32_t bits);
// Frees the image's block and clears the descriptor. A descriptor whose header is not an image
// block of this library (cleared, copied from a freed image, or over foreign memory) is left as
// it is.
void img_free(img_desc* desc);
void img_clear_desc(img_desc* desc);
// Copies all fields; the copy shares the memory and is never freed itself.
void img_copy_desc(const img_desc* source, img_desc* target);

// Frees an image when it goes out of scope (temporaries of the operations).
class ImgTempImage
{
public:
    ImgTempImage() = default;
    ~ImgTempImage() { img_free(&m_desc); }
    ImgTempImage(const ImgTempImage&) = delete;
    ImgTempImage& operator=(const ImgTempImage&) = delete;
    img_desc* get() { return &m_desc; }
    img_desc* operator->() { return &m_desc; }

private:
    img_desc m_desc;
};

// ---- area ----

img_desc* img_set_area(img_desc* desc, std::uint32_t x0, std::uint32_t y0, std::uint32_t x1,
                       std::uint32_t y1);
void img_get_area(const img_desc* desc, std::int32_t* x0, std::int32_t* y0, std::int32_t* x1,
                  std::int32_t* y1);
void img_put_area(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, img_desc* desc);
// The part both areas can hold: the smaller of their heights and widths.
void img_common_size(const img_desc* a, const img_desc* b, std::uint32_t* height, std::uint32_t* width);

// A descriptor over a packed bitmap in memory (header, palette, rows), without copying:
// 4 bits -26, compressed -12; the area is the whole image.
std::int32_t img_from_bitmapinfo(const void* packedBitmap, img_desc* desc);

// ---- checks ----

// Run by every operation on each of its descriptors, in this order: no pixel memory -42; no
// header -1; the area is put in order (x0 <= x1, y0 <= y1) and written back; area beyond the
// image or the coordinate limit (x1 below 65535 for 1 bit, below 32768 otherwise; y1 below
// 32768), a width or height that is not positive, or rows shorter than the width -1; when the
// header lies in an image block of this library, pixel rows that would run past the block -1;
// compressed pixels -12; bits per pixel not in `accepted` -26.
std::int32_t img_validate(img_desc* desc, std::uint32_t accepted);
std::int32_t img_validate_8_24(img_desc* desc);
std::int32_t img_validate_1_8_24(img_desc* desc);
std::int32_t img_validate_1_8_16_24(img_desc* desc);

// ---- header and palette ----

// Bits per pixel, width and height from the header (0 without one).
std::uint32_t img_bits(const img_desc* desc);
std::uint32_t img_width(const img_desc* desc);
std::uint32_t img_height(const img_desc* desc);
// Colours used when not 0, else 1 << bits below 16 bits, else 0.
std::uint32_t img_color_count(const tessivor::BitmapInfoHeader* header);
// Step between the grey ramp's entries for a depth: 255, 255, 85, 36, 17, 8, 4, 2, 1 for 0 to
// 8 bits; 1 outside.
std::uint32_t img_gray_step(std::uint32_t bits);
// 16 bits: sets IMG_TYPE_GRAY. 8 bits or less with a palette: the grey ramp, IMG_TYPE_GRAY and
// the header's colour count. Other images unchanged. Returns 0.
std::int32_t img_set_gray_palette(img_desc* desc);
// 1 for a 16-bit grey image or a palette that is exactly the depth's grey ramp; else 0.
std::int32_t img_is_gray(const img_desc* desc);
// Would push the palette into the image's DIB section; there are none here, so 0.
std::int32_t img_push_palette(img_desc* desc);
