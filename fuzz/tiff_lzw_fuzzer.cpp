// The LZW coder: decoding arbitrary bytes as a strip in pieces of the size the first byte gives,
// and coding the input, which must decode back to itself.
#include "imagelib/img_frame.h"
#include "imagelib/tiff_codec.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace tessivor::tiff;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t piece = 1 + data[0] * 16u;
    std::vector<std::uint8_t> out(piece);
    LzwDecoder decoder;
    decoder.start(data + 1, size - 1);
    try {
        // A strip of n bytes holds at most about 4,096 output bytes per code.
        for (std::size_t total = 0; total < (size + 1) * 8192;) {
            const std::size_t got = decoder.read(out.data(), out.size());
            if (got > out.size())
                std::abort();
            total += got;
            if (got < out.size())
                break;
        }
    } catch (const ImgError& e) {
        if (e.code() != kBadData)
            std::abort();
    }
    LzwEncoder encoder;
    std::vector<std::uint8_t> strip;
    encoder.encodeStrip(data, size, strip);
    std::vector<std::uint8_t> back(size + 1);
    decoder.start(strip.data(), strip.size());
    if (decoder.read(back.data(), back.size()) != size || std::memcmp(back.data(), data, size) != 0)
        std::abort();
    return 0;
}
