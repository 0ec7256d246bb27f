// Conversions between the library's pixel layouts and the fixed palettes they use.
//
// Every conversion works on the common part of the source and target areas (img_common_size),
// row by row from the first area row downward, and leaves the rest of the target untouched. It
// checks both descriptors first and returns -26 when a depth is not one it converts. Pixel
// triples are stored blue, green, red; a 5-5-5 colour is (r >> 3) << 10 | (g >> 3) << 5 | b >> 3.
//
// Only img_reduce_colors takes a lock (the colour-reduction module lock, held for the whole
// reduction, so reductions run one at a time); the other conversions keep their state per call.
#pragma once

#include "imagelib/img_desc.h"

#include <array>
#include <cstdint>

// ---- fixed palettes ----

// The 20 colours of the classic Windows "system default" palette, in its order, and our own
// 256-colour halftone palette (the 20 default colours, a 6 x 6 x 6 colour cube in increasing
// order and 20 greys). Both are constants of this library.
extern const std::array<tessivor::RgbQuad, 20> img_default_palette;
extern const std::array<tessivor::RgbQuad, 256> img_halftone_palette;

// Fills an 8-bit image's palette: mode 0 the 20 default colours, 1 the 16-colour palette (default
// entries 0 to 7 and 12 to 19), 2 the halftone palette. Sets and returns the colour count; 0
// (nothing changed) for another mode, an image that is not 8-bit, has no palette or too little
// room for it.
std::int32_t img_stock_palette(std::int32_t mode, img_desc* desc);
// The fixed 256-entry palette: default entries 0 to 9, the colour cube (entry
// 10 + (5 - r) * 36 + (5 - g) * 6 + (5 - b) has red r * 51, green g * 51, blue b * 51: entry 10
// white, 225 black), greys 16, 28, ... 244 in 226 to 245, default entries 10 to 19 in 246 to 255.
// Returns 256, or 0 as img_stock_palette.
std::int32_t img_palette_256(img_desc* desc);

// ---- reduction to 8 bits ----

// Ordered dithering (8 x 8 matrix) of an 8-bit palette or 24-bit source onto the fixed 256
// palette (`palette256` non-zero) or the 16-colour palette, which the target then gets (its grey
// flag cleared). The target must be 8-bit with a palette (-1).
std::int32_t img_dither_ordered(img_desc* source, img_desc* target, std::int32_t palette256);
// The same by Floyd-Steinberg error diffusion; -14 without memory for the row buffers.
std::int32_t img_dither_diffuse(img_desc* source, img_desc* target, std::int32_t palette256);
// Median cut of a 24-bit source into `colours` (2 to 256) palette entries for the target, then
// img_reduce_colors in `mode` (0 to 3); -5 outside those ranges, -1 when the target (8-bit) has
// no palette. The target loses its grey flag.
std::int32_t img_reduce_to_palette(std::int32_t colours, img_desc* source, img_desc* target,
                                   std::int32_t mode);
// img_reduce_to_palette in mode 2.
std::int32_t img_reduce_to_palette_nearest(std::int32_t colours, img_desc* source, img_desc* target);
// Builds the target's palette (`colours` entries) by median cut over the source area; the
// target's colour count becomes `colours`. 0, or -14 without memory.
std::int32_t img_median_cut(const img_desc* source, img_desc* target, std::uint32_t colours);
// Maps an 8-bit palette or 24-bit source onto the target's existing palette (8-bit target; both
// palettes must have colours, -1). Mode 0: colour tree, 1: colour tree with error diffusion, 2:
// sorted palette, 3: sorted palette with error diffusion; other modes -5. The target's palette
// and colour count are unchanged. Takes the colour-reduction lock.
std::int32_t img_reduce_colors(img_desc* source, img_desc* target, std::int32_t mode);

// ---- other conversions ----

// 8-bit palette image to 24 bits (-1 without a source palette).
std::int32_t img_palette_to_rgb(img_desc* source, img_desc* target);
// 8 bits to 1 bit: mode 0 Stucki error diffusion, 1 ordered dithering, other values a threshold
// at 128. A source whose palette is not grey is first converted to grey. The target gets the
// black-and-white palette.
std::int32_t img_to_1bit(std::int32_t mode, img_desc* source, img_desc* target);
// 1 bit to 8 bits: 0 or 255, optionally smoothed across each row (needs 3 columns, else -1).
// The target gets the grey palette.
std::int32_t img_1bit_to_8(img_desc* source, img_desc* target, std::int32_t smooth);
// 16-bit grey to 8 bits (the high byte) and back (value * 257).
std::int32_t img_16_to_8(img_desc* source, img_desc* target);
std::int32_t img_8_to_16(img_desc* source, img_desc* target);
// 8-bit palette or 24-bit image to 8-bit grey, (green * 59 + red * 30 + blue * 11) / 100; the
// target gets the grey ramp.
std::int32_t img_to_gray(img_desc* source, img_desc* target);
// Per-channel lookup tables of 256 entries: 24 bits each channel through its table, 8-bit grey
// each byte through the red table (equal depths, -26). An 8-bit palette source is expanded to
// 24 bits, mapped and reduced into the target with 256 computed colours (mode 2).
std::int32_t img_apply_lut(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue,
                           img_desc* source, img_desc* target);
// The tone curve printing applies to all three channels, through img_apply_lut.
std::int32_t img_print_tone(img_desc* source, img_desc* target);
