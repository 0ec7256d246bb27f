// The CCITT coders: decoding arbitrary bytes as MH, one- and two-dimensional Group 3 and Group 4
// rows of a width the input gives, and coding the input as rows in MH and Group 4, which must
// decode back to themselves.
#include "imagelib/img_frame.h"
#include "imagelib/tiff_codec.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace tessivor::tiff;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const unsigned mode = data[0] & 3;
    const std::uint32_t width = 1 + ((data[1] << 8) | data[2]) % 3000;
    const std::uint32_t rows = 1 + data[3] % 64;
    const std::uint8_t* in = data + 4;
    const std::size_t n = size - 4;
    const std::size_t rowBytes = (width + 7) / 8;
    std::vector<std::uint8_t> row(rowBytes);
    try {
        CcittLines lines(width, rows, true);
        const CcittKind kind = mode == 0 ? CcittKind::Mh : mode == 3 ? CcittKind::G4 : CcittKind::G3;
        CcittDecoder decoder(lines, kind, mode == 2 ? 1 : 0);
        decoder.startStrip(in, n);
        for (std::uint32_t r = 0; r < rows; ++r)
            decoder.decodeRow(row.data());
    } catch (const ImgError& e) {
        if (e.code() != kBadData && e.code() != kTooManyChanges)
            std::abort();
    }

    // The input's bytes as rows of the same width (the bits past the width cleared).
    const std::size_t count = n / rowBytes;
    if (count == 0)
        return 0;
    std::vector<std::uint8_t> source(in, in + count * rowBytes);
    if (width % 8)
        for (std::size_t r = 0; r < count; ++r)
            source[r * rowBytes + rowBytes - 1] &= static_cast<std::uint8_t>(0xFF00u >> (width % 8));
    for (bool g4 : {false, true}) {
        std::vector<std::uint8_t> strip;
        try {
            CcittLines lines(width, static_cast<std::uint32_t>(count), true);
            BitWriter out(strip);
            for (std::size_t r = 0; r < count; ++r) {
                if (g4)
                    lines.encodeG4(source.data() + r * rowBytes, out);
                else
                    lines.encodeMh(source.data() + r * rowBytes, out);
            }
            if (g4)
                CcittLines::endG4Strip(out);
        } catch (const ImgError&) {
            std::abort();
        }
        CcittLines lines(width, static_cast<std::uint32_t>(count), true);
        CcittDecoder decoder(lines, g4 ? CcittKind::G4 : CcittKind::Mh, 0);
        decoder.startStrip(strip.data(), strip.size());
        for (std::size_t r = 0; r < count; ++r) {
            decoder.decodeRow(row.data());
            if (std::memcmp(row.data(), source.data() + r * rowBytes, rowBytes) != 0)
                std::abort();
        }
    }
    return 0;
}
