// What the frame pipeline hands to the recording step for one frame.
#pragma once

#include "platform/dib.h"

#include <cstddef>
#include <cstdint>

namespace tessivor {

struct RecordedPicture
{
    // Header of the working image (width, height and bits of the picture as shown).
    BitmapInfoHeader header;
    // The picture as a JPEG: the camera's frame as it came when the working image is the decoded
    // frame unchanged, else the working image encoded. The recording stores these bytes.
    const std::uint8_t* jpeg = nullptr;
    std::size_t jpegBytes = 0;
};

} // namespace tessivor
