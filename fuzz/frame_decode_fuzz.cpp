// Camera frames on arbitrary bytes through the control's libjpeg glue alone, under a per-input
// time limit: whatever the bytes, one frame must be decoded or refused quickly (the scan limit
// and the abandon-at-first-warning of the decoder's progress monitor). The decoder a stream keeps
// from frame to frame (here: from input to input, whatever came before) must give exactly what
// a decode of the frame alone gives.
#include "decoded_frame_check.h"

#include <cstring>

using namespace tessivor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > CImage::kFrameBufferSize)
        return 0;
    static std::vector<std::uint8_t> pixels;
    decodeAndCheckFrame(data, size, &pixels);

    static JpegFrameDecoder* kept = new JpegFrameDecoder;
    static std::vector<std::uint8_t> keptPixels;
    static std::vector<std::uint8_t> alonePixels;
    auto into = [](std::vector<std::uint8_t>& rows) {
        return [&rows](const DecodedDibHeader& h) {
            rows.assign(h.header.biSizeImage, 0);
            return rows.data();
        };
    };
    DecodedDibHeader keptHeader{};
    DecodedDibHeader aloneHeader{};
    const auto length = static_cast<std::uint32_t>(size);
    const int alone = DecodeJpegInto(data, length, &aloneHeader, into(alonePixels));
    const int got = kept->decode(data, length, &keptHeader, into(keptPixels));
    if (got != alone || (got == 0 && (std::memcmp(&keptHeader, &aloneHeader, sizeof keptHeader) != 0 ||
                                      keptPixels != alonePixels)))
        std::abort();
    return 0;
}
