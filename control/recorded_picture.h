// What the frame pipeline hands to the recording step for one frame.
#pragma once

#include "platform/dib.h"

#include <cstddef>
#include <cstdint>

struct img_desc;

namespace tessivor {

struct RecordedPicture
{
    // Quality of the pictures that the recording has to encode itself.
    static constexpr std::int32_t kEncodeQuality = 90;

    // Header of the working image (width, height and bits of the picture as shown).
    BitmapInfoHeader header;
    // The picture as a JPEG when the working image is the camera's frame unchanged: stored as
    // it came.
    const std::uint8_t* jpeg = nullptr;
    std::size_t jpegBytes = 0;
    // Otherwise (rotated, say) the working image, encoded only when a frame is written.
    img_desc* encodeFrom = nullptr;
};

} // namespace tessivor
