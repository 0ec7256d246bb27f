// The PackBits coder: decoding arbitrary bytes into rows of the length the first two bytes give,
// and coding the input as a row, which must decode back to itself.
#include "imagelib/img_frame.h"
#include "imagelib/tiff_codec.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace tessivor::tiff;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t rowLength = 1 + ((data[0] << 8) | data[1]) % 4096;
    std::vector<std::uint8_t> row(rowLength);
    std::size_t at = 2;
    try {
        while (at < size) {
            const std::size_t used = packbitsDecode(data + at, size - at, row.data(), row.size());
            if (used == 0 || used > size - at)
                std::abort();
            at += used;
        }
    } catch (const ImgError& e) {
        if (e.code() != kBadData)
            std::abort();
    }
    std::vector<std::uint8_t> coded(packbitsBound(size));
    coded.resize(packbitsEncode(data, size, coded.data()));
    std::vector<std::uint8_t> back(size);
    if (packbitsDecode(coded.data(), coded.size(), back.data(), back.size()) != coded.size() ||
        std::memcmp(back.data(), data, size) != 0)
        std::abort();
    return 0;
}
