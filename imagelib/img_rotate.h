// Rotation of an image area by any angle into a second image, mirroring left to right and
// exchanging rows top to bottom.
//
// Angles are degrees in picture coordinates (x to the right, y downward): a positive angle turns
// the content counter-clockwise as seen on screen, so 90 degrees brings the source's top-right
// corner to the target's top-left. 0, 90, 180 and 270 degrees are exact pixel copies; any other
// angle samples the source bilinearly in 15-bit fixed point around the centres of the two areas.
//
// No lock is taken (the reduction back onto a palette takes the colour-reduction lock); every
// working image is freed on every path.
#pragma once

#include "imagelib/img_desc.h"

#include <cstdint>

// Rotates the source area into the target area (allocated by the caller; its pixels stay
// wherever no source pixel maps). Depths 1, 8, 24, equal in both (-26); the checks of
// img_validate_1_8_24; -14 and the codes of the conversions it needs for working copies. The
// target is cut to the rotated source's bounding box, centred.
std::int32_t img_rotate(double angle, img_desc* source, img_desc* target);
// img_rotate by 90 degrees when `counterClockwise` is set, else by -90.
std::int32_t img_rotate_90(std::int32_t counterClockwise, img_desc* source, img_desc* target);

// Mirrors left to right over the common part of the two areas; source and target may be the
// same image. The palette is not copied.
std::int32_t img_flip(img_desc* source, img_desc* target);
// Reverses the order of the rows of the common part; source and target may be the same image.
// -14 when the row buffer cannot be had.
std::int32_t img_flip_vertical(img_desc* source, img_desc* target);

// A row operation: `count` pixels from `source` into `target`, `bytesPerPixel` 1 or 3, or 0 for
// 1-bit rows (aligned, most significant bit first).
using ImgRowOp = void (*)(std::uint8_t* target, const std::uint8_t* source, std::uint32_t count,
                          std::uint32_t bytesPerPixel);
// Validates both (flavour 1: 1, 8 and 24 bits; otherwise 8 and 24), requires equal depths and
// calls `op` once per row of the common part, from the first area row downward; 1-bit rows go
// through aligned buffers.
std::int32_t img_rows_apply(std::int32_t flavour, img_desc* source, img_desc* target, ImgRowOp op);
// Copies the row reversed (target and source may be the same row).
void img_flip_row(std::uint8_t* target, const std::uint8_t* source, std::uint32_t count,
                  std::uint32_t bytesPerPixel);

// Width and height of the rotated source's bounding box for sine and cosine scaled by 32768.
void img_rotated_size(std::uint32_t sourceWidth, std::uint32_t sourceHeight, std::int32_t sine,
                      std::int32_t cosine, std::uint32_t* width, std::uint32_t* height);
