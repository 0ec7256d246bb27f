// The LZW coder: decoding arbitrary bytes as a strip into a buffer of the size the first byte
// gives (never written past), and coding the input, which must decode back to itself.
#include "imagelib/img_frame.h"
#include "imagelib/tiff_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace tessivor::tiff;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // Output room from the first byte: small buffers cut strings, large ones meet the strip's end.
    const std::size_t room = std::min(LzwDecoder::bound(size - 1), std::size_t{1} + data[0] * 257u);
    std::vector<std::uint8_t> out(room + 1, 0xA5);
    LzwDecoder decoder;
    try {
        if (decoder.decodeStrip(data + 1, size - 1, out.data(), room) > room)
            std::abort();
    } catch (const ImgError& e) {
        if (e.code() != kBadData || decoder.produced() > room)
            std::abort();
    }
    if (out[room] != 0xA5)
        std::abort();
    LzwEncoder encoder;
    std::vector<std::uint8_t> strip;
    encoder.encodeStrip(data, size, strip);
    std::vector<std::uint8_t> back(size + 1);
    if (decoder.decodeStrip(strip.data(), strip.size(), back.data(), back.size()) != size ||
        std::memcmp(back.data(), data, size) != 0)
        std::abort();
    return 0;
}
