// The configuration block as a camera may hand it over: a piece's check word and data, then every
// field of the block read by index and written with a text from the input. Checks that reads
// stay within their fields and that a write touches no byte outside its field.
#include "camproto/config_block.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace tessivor::camproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::uint16_t check = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
    const std::span<const std::uint8_t> piece(data + 2,
                                              std::min<std::size_t>(size - 2, kConfigPieceDataSize));
    (void)pieceIsGood(check, piece);

    ConfigBlock block{};
    std::copy_n(data, std::min(size, block.size()), block.begin());
    ConfigSelectors s;
    s.user = static_cast<std::int16_t>(static_cast<std::int8_t>(data[2]));
    s.entry = static_cast<std::int16_t>(data[3] % 4) - 1;
    s.subIndex = static_cast<std::int16_t>(data[3] / 64) - 1;
    for (int index = -2; index < kConfigIndexCount + 2; ++index) {
        (void)configNumber(block, s, index);
        if (const auto t = configText(block, s, index); t && t->size() > 64 + 23)
            std::abort(); // no text form is longer than 64 bytes (or a dotted MAC)
    }
    const std::string_view text(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 300));
    const int index = data[0] % (kConfigIndexCount + 4) - 2;
    const ConfigBlock before = block;
    const ConfigSetStatus status = setConfigText(block, s, index, text);
    if (status != ConfigSetStatus::Done && block != before)
        std::abort(); // a refused value changed the block
    std::size_t changed = 0;
    for (std::size_t i = 0; i < block.size(); ++i)
        changed += block[i] != before[i];
    if (changed > 140)
        std::abort(); // the widest field is 140 bytes
    (void)sealConfigBlock(block);
    return 0;
}
