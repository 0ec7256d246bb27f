// Camera frames on arbitrary bytes through the control's libjpeg glue alone, under a per-input
// time limit: whatever the bytes, one frame must be decoded or refused quickly (the scan limit
// and the abandon-at-first-warning of the decoder's progress monitor). A decoded frame must
// describe the rows it delivered.
#include "control/cimage.h"

#include <cstdint>
#include <cstdlib>

using namespace tessivor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > CImage::kFrameBufferSize)
        return 0;
    static std::vector<std::uint8_t> pixels;
    DecodedDibHeader header{};
    if (CImage::DecodeJpegToDib(data, static_cast<std::uint32_t>(size), &header, &pixels) == 0) {
        const BitmapInfoHeader& h = header.header;
        if (h.biWidth < 1 || h.biHeight < 1 ||
            (h.biBitCount != 8 && h.biBitCount != 24 && h.biBitCount != 32) ||
            pixels.size() < h.biSizeImage || h.biSizeImage != dibStride(h.biWidth, h.biBitCount) * h.biHeight)
            std::abort();
    }
    return 0;
}
