// Printing an image's working area into a rectangle of a page (see platform/page_device.h for
// the page device that stands for the printer).
//
// Mode 0 prints every image as one stretched bitmap. 8-bit images with mode 2 print as a 1-bit
// halftone by Stucki error diffusion, with any other non-zero mode by ordered dithering, in bands
// of about 24 KiB; a palette that is not grey is first turned grey and through the print tone
// curve. Other depths always print as one stretched bitmap. One print runs at a time in the
// process (the printing lock).
//
// Results: 0, the image's check codes, -1 for a rectangle that is empty, smaller than the frame
// or off the printable area, -14 for a device or memory that cannot be had, -18 when the
// document or its page cannot be started. A progress function that asks to stop is no error: the
// result is 0 and a document started by img_print is aborted.
#pragma once

#include "imagelib/img_desc.h"
#include "platform/handles.h"

#include <cstdint>
#include <functional>

// The target on the page in thousandths of an inch, right and bottom inclusive.
struct ImgPrintRect
{
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Called with a counter (0, 1, 2, ... up to 10, then 10 again); non-zero stops the print.
using ImgPrintProgress = std::function<std::int32_t(std::int32_t counter)>;

// Prints as a document of its own (its name: the window's title, at most 80 characters), with
// one page.
std::int32_t img_print(tessivor::Handle window, tessivor::Handle device, std::int32_t mode, img_desc* desc,
                       const ImgPrintRect* rect, std::int32_t frameWidth, const ImgPrintProgress& progress);
// Draws into the page of a document that the caller started and ends itself.
std::int32_t img_print_page(tessivor::Handle window, tessivor::Handle device, std::int32_t mode,
                            img_desc* desc, const ImgPrintRect* rect, std::int32_t frameWidth,
                            const ImgPrintProgress& progress);

// The 8 x 8 thresholds of the ordered halftone.
extern const std::uint8_t img_print_dither[8][8];
