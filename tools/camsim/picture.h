// Test pictures of the simulated camera: a moving scene that carries its frame number twice, as
// drawn digits and in a JPEG comment ("camsim frame N"), so that a test can tell frames apart
// from the bytes alone and a person can see them on screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace camsim {

// The comment text that every frame carries, followed by its decimal number.
inline constexpr const char* kFrameCommentPrefix = "camsim frame ";

// Draws frame `number` at `width` x `height` and compresses it as a baseline JPEG of the given
// quality (1-100) with the libjpeg-turbo compressor. Empty when the size is unusable.
std::vector<std::uint8_t> encodeTestPicture(std::uint64_t number, int width, int height, int quality);

} // namespace camsim
