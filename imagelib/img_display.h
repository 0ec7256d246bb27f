// Drawing images into frame targets (the windows and device contexts of this system).
//
// A window handle and a device-context handle are both frame-target handles
// (platform/frame_target.h). Drawing goes into the device context's target (the window's when
// the device context names none); the client rectangle is the size of the window's target (the
// device context's when the window names none). A handle whose target is gone draws nothing.
// Drawing is clipped to the client rectangle.
//
// Images with a palette (8 bits and less) get a logical palette (platform logicalPalettes),
// selected into the target while drawing and handed back through `palette`; the caller owns and
// destroys it. With `palette` null the library destroys it itself.
#pragma once

#include "imagelib/img_desc.h"
#include "platform/handles.h"

#include <cstdint>

// Makes a logical palette of the image's colours into `*palette` (0 when the image has none;
// an image with colour count 0 first gets the grey palette). -14 without memory.
std::int32_t img_make_palette(img_desc* desc, tessivor::Handle* palette);

// Draws the image with its point (sourceX, sourceY) at the client's top-left corner.
std::int32_t img_display(tessivor::Handle window, tessivor::Handle dc, tessivor::Handle* palette,
                         std::int32_t sourceX, std::int32_t sourceY, img_desc* desc);
// Draws the image from (sourceX, sourceY) at client point (destX, destY): as many rows and
// columns as both the image and the client rectangle hold from there.
std::int32_t img_display_at(tessivor::Handle window, tessivor::Handle dc, tessivor::Handle* palette,
                            std::int32_t sourceX, std::int32_t sourceY, img_desc* desc, std::int32_t destX,
                            std::int32_t destY);
// Draws a 24-bit image resized to `width` x `height` (img_resize) at the client's top-left
// corner: what img_resize into an image of that size and img_display(window, dc, palette, 0, 0,
// that image) draw, without that image (each row goes into the target as it is built). `palette`
// gets 0. The codes of ImgScaledRows::open; -26 for an image of another depth.
std::int32_t img_display_resized(tessivor::Handle window, tessivor::Handle dc, tessivor::Handle* palette,
                                 img_desc* desc, std::uint32_t width, std::uint32_t height);
// Draws so that picture point (pictureX, pictureY) lands on client point (targetX, targetY). On
// a target of 8 bits a 24-bit image, and on one of 4 bits or less an image of 8 bits or more
// with no or more than 16 colours, is first reduced (img_reduce_visible) in `ditherMode`.
std::int32_t img_display_ex(tessivor::Handle window, tessivor::Handle dc, tessivor::Handle* palette,
                            std::int32_t pictureX, std::int32_t pictureY, img_desc* desc,
                            std::int32_t targetX, std::int32_t targetY, std::int32_t ditherMode);
// The part of the image visible from (sourceX, sourceY) when drawn at client point (destX, destY)
// into a new 8-bit image `out`: dither mode 2 error diffusion, another non-zero mode or a device
// below 8 bits ordered dithering (onto the 256 palette for 8 bits, the 16-colour one below), mode
// 0 on an 8-bit device a 256-colour median-cut palette. `out` holds no memory after a failure.
std::int32_t img_reduce_visible(tessivor::Handle window, std::int32_t sourceX, std::int32_t sourceY,
                                std::int32_t destX, std::int32_t destY, std::int32_t deviceDepth,
                                img_desc* desc, img_desc* out, std::int32_t ditherMode);
