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
//
// The compressed data of a picture holds at least one stuffed 0xFF byte (FF 00) wherever that
// can be had: when the asked quality gives none, the picture is compressed again at quality + 1,
// + 2, + 4, ... and 100, and the first result that has one is served (pictures of a few blocks
// may have none at any quality; they keep the asked one). Pictures without one are valid, but ffmpeg 5.1
// warns "EOI missing" when it probes a file or recording that begins with one: while probing it skips the
// scan by the length of its unstuffed copy, which includes the first byte of the EOI marker, and lands on the
// marker's second byte unless removed stuffing bytes make up for it. djpeg and libjpeg read them without a
// word.
std::vector<std::uint8_t> encodeTestPicture(std::uint64_t number, int width, int height, int quality);

// True when the entropy-coded data after the first SOS header holds a stuffed byte (FF 00).
bool scanHasStuffedByte(const std::vector<std::uint8_t>& jpeg);

} // namespace camsim
