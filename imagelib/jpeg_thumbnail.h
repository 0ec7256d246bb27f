// Thumbnails embedded in JFIF files: the JFXX segment the encoder writes, and showing the JFIF
// or JFXX thumbnail of a file in an image.
#pragma once

#include "imagelib/img_desc.h"
#include "imagelib/jpeg_io.h"

#include <cstdint>
#include <vector>

namespace tessivor::jpeg {

// The complete APP0 "JFXX" segment for the working area of `source` (already checked), with the
// longer side `longSide` pixels: extension 0x11 (one index byte per pixel and a 768-byte palette)
// for grey images, 0x13 (R, G, B) for the others. 0, -70 when the thumbnail would have a side
// of 0 or the segment 64 KiB or more, -14 without memory.
std::int32_t makeThumbnailSegment(img_desc* source, int longSide, std::vector<std::uint8_t>& segment);

// Reads the thumbnail that `header` describes through `window` (the input its header walk read,
// moved as needed) and draws it into the working area of `desc`, scaled with the thumbnail's
// aspect ratio into the area (or into the picture's own size when that is smaller). -15 when
// there is no thumbnail of kind 0x11 or 0x13; -26 when the image cannot hold it (an RGB
// thumbnail in an 8-bit image); -62 when its pixels cannot be read; -14 without memory.
std::int32_t drawJpegThumbnail(InputWindow& window, const JpegHeader& header, img_desc* desc);

} // namespace tessivor::jpeg
