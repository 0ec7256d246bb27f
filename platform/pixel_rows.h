// Row operations on 24-bit pixels that the frame targets run for every camera frame, in a plain
// form and a vector form that gives the same bytes. The vector form runs where the processor has
// SSSE3 (every x86-64 processor of the last fifteen years); the plain form everywhere else.
#pragma once

#include <cstdint>

namespace tessivor {

// Copies `pixels` 3-byte pixels from `src` to `dst` with the first and third byte of each
// swapped (blue, green, red to red, green, blue and back). The rows must not overlap.
void swapRedBlue(const std::uint8_t* src, std::uint8_t* dst, int pixels);

// The forms themselves; the vector one returns false, doing nothing, where the processor
// cannot run it (tests compare the two).
void swapRedBluePlain(const std::uint8_t* src, std::uint8_t* dst, int pixels);
bool swapRedBlueVector(const std::uint8_t* src, std::uint8_t* dst, int pixels);

} // namespace tessivor
