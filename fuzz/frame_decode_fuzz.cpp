// Camera frames on arbitrary bytes through the control's libjpeg glue alone, under a per-input
// time limit: whatever the bytes, one frame must be decoded or refused quickly (the scan limit
// and the abandon-at-first-warning of the decoder's progress monitor).
#include "decoded_frame_check.h"

using namespace tessivor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > CImage::kFrameBufferSize)
        return 0;
    static std::vector<std::uint8_t> pixels;
    decodeAndCheckFrame(data, size, &pixels);
    return 0;
}
