// Huffman tables of the JPEG coder: the encoder's code per symbol, optimal tables built from
// symbol counts (T.81 Annex K.2), and the decoder's look-ahead tables (T.81 Annex F.2.2.3).
#pragma once

#include "imagelib/jpeg_tables.h"

#include <array>
#include <cstdint>

namespace tessivor::jpeg {

// Code and code length of each symbol value; length 0 for symbols the table does not hold.
struct HuffmanEncodeTable
{
    std::array<std::uint16_t, 256> code{};
    std::array<std::uint8_t, 256> length{};
};

// Assigns the canonical codes of T.81 Annex C. False when the table is over-full (more codes of
// some length than the shorter codes leave room for) or lists a symbol twice.
[[nodiscard]] bool buildEncodeTable(const HuffmanSpec& tableSpec, HuffmanEncodeTable& out);

// Symbol counts of one table while a scan is counted: 256 symbols plus the reserved 257th.
using SymbolCounts = std::array<std::int64_t, 257>;

// The table that codes symbols with the given counts in the fewest bits, with no code longer
// than 16 bits and none made only of one-bits (the reserved symbol 256, given count 1, takes
// that code and is then dropped). Among equal counts the larger symbol value is merged first.
[[nodiscard]] HuffmanSpec buildOptimalTable(const SymbolCounts& counts);

// Decoding table: the first 8 bits of the input look up codes of up to 8 bits at once; longer
// codes are compared against the largest code of each length.
struct HuffmanDecodeTable
{
    // For each 8-bit prefix: code length (0 when the code is longer than 8 bits) in bits 8..11,
    // symbol in bits 0..7.
    std::array<std::uint16_t, 256> lookahead{};
    std::array<std::int32_t, 18> maxCode{};     // by length; -1 when no code; [17] a sentinel
    std::array<std::int32_t, 17> valueOffset{}; // symbol index = code + valueOffset[length]
    std::array<std::uint8_t, 256> values{};
};

// False when the table is over-full.
[[nodiscard]] bool buildDecodeTable(const HuffmanSpec& tableSpec, HuffmanDecodeTable& out);

} // namespace tessivor::jpeg
