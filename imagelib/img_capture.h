// Images from bitmaps, DIB sections, windows and the screen. Each call allocates the image with
// img_alloc (the caller owns it afterwards and frees it with img_free); no lock is taken.
//
// Bitmap handles are those of platform/bitmaps.h, frame targets included; windows are X11
// window ids and the screen is the X server's default screen (platform/screen.h). Results: 0,
// the allocation's codes, -12 a compressed DIB section, -14 no display (or no memory), -26 a DIB
// section of another bit count than 1, 8 or 24, -68 a handle that is no bitmap (or, for
// img_from_dib_section, no DIB section), -1 a window the display does not know.
#pragma once

#include "imagelib/img_desc.h"
#include "platform/handles.h"

#include <cstdint>

// A rectangle of the screen; right and bottom exclusive.
struct ImgScreenRect
{
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The bitmap's pixels: 1, 4 (as 8) and 8-bit bitmaps keep their depth with the palette
// `palette` (a logical palette handle; 0: the 20 default colours), deeper ones become 24-bit.
std::int32_t img_capture_bitmap(tessivor::Handle bitmap, tessivor::Handle palette, img_desc* desc);
// A copy of a DIB section's own pixels and colour table.
std::int32_t img_from_dib_section(tessivor::Handle section, img_desc* desc);
// What the screen shows of a window with its frame, of its inside, or of a rectangle; only the
// part on the screen is taken.
std::int32_t img_capture_window(std::uint32_t window, img_desc* desc);
std::int32_t img_capture_client(std::uint32_t window, img_desc* desc);
std::int32_t img_capture_rect(const ImgScreenRect* rect, img_desc* desc);
