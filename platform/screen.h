// The screen and its windows, on the X server the program runs on (X11 or XWayland, through
// libxcb): window rectangles and titles, and the pixels of a screen rectangle. Every call opens
// its own connection to $DISPLAY and closes it, so any thread may call; without a display each
// call fails (returns false or an empty title), never crashes.
#pragma once

#include "platform/frame_target.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessivor::screen {

// Pixels of a screen rectangle: top-down rows of blue, green, red.
struct Image
{
    int width = 0, height = 0;
    std::vector<std::uint8_t> bgr;
};

// The size of the default screen; false without a display.
bool size(int& width, int& height);
// A window's rectangle in screen coordinates (right and bottom exclusive): with `client` the
// window's inside, else the whole of its top-level frame (what a window manager drew around it
// included). False without a display or for a window the server does not know.
bool windowRect(std::uint32_t window, bool client, TargetRect& rect);
// The pixels of a rectangle that lies on the screen; false without a display, for a rectangle
// off the screen or a screen format other than 24 or 32 bits a pixel.
bool grab(const TargetRect& rect, Image& out);
// The window's title (WM_NAME), empty when there is none or no display.
std::string windowTitle(std::uint32_t window);

} // namespace tessivor::screen
