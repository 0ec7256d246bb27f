// The JPEG decoder's core: entropy decoding of sequential and progressive scans, dequantisation
// and inverse DCT, upsampling by replication and YCbCr to RGB conversion into a pixel area. The
// library entry points (imagelib/img_jpeg.h) wrap it with the descriptor checks, the header read,
// the input stream and the module lock.
#pragma once

#include "imagelib/jpeg_markers.h"

#include <cstddef>
#include <cstdint>

namespace tessivor::jpeg {

// Where decoded pixels go: 3 bytes blue, green, red per pixel for colour frames, 1 grey byte for
// one-component frames.
struct DecodeTarget
{
    std::uint8_t* top = nullptr; // first pixel of the area's top row
    std::ptrdiff_t stride = 0;   // from a row to the one below it (negative: bottom-up)
    int width = 0;               // area size
    int height = 0;
    bool fit = false; // false: the picture's top-left part at full size; true: scaled to fit
};

// Checks the frame the header walk found against what the decoder supports. 0, or -43 with
// `status` set to the reason (-100, -106, -107, -109, -110), or -1 for a size outside
// 1..32767.
int checkFrame(const JpegHeader& header, std::int32_t& status);

// The size a fit-mode decode produces in an area of `areaW` x `areaH`: the picture's aspect
// ratio kept, never larger than the picture. False when a side comes out 0.
bool fitSize(int width, int height, int areaW, int areaH, int& outW, int& outH);

// Decodes from `in`, positioned at the start of the stream, after a header walk filled
// `header` and checkFrame accepted it. Raises the coder's codes. Returns 0, or
// kStatusEndOfData when the data ended after at least one complete scan and the picture was
// made from what had arrived.
std::int32_t decodeJpeg(InputWindow& in, JpegHeader& header, const DecodeTarget& target);

} // namespace tessivor::jpeg
