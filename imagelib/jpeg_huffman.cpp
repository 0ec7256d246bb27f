// Code assignment follows T.81 Annex C (Figures C.1 to C.3): codes of one length are
// consecutive, and each longer length starts at twice the next unused code of the length before.
// A table whose counts leave no room (a length whose first code no longer fits in that many bits)
// is refused, since it cannot be decoded unambiguously.
#include "imagelib/jpeg_huffman.h"

#include <limits>

namespace tessivor::jpeg {

namespace {

// Calls fn(symbolIndex, code, length) for each code in canonical order; false when over-full.
template <class Fn> bool forEachCode(const HuffmanSpec& tableSpec, Fn fn)
{
    std::uint32_t code = 0;
    int index = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < tableSpec.bits[len]; ++i) {
            if (code >= (1u << len)) {
                return false;
            }
            fn(index, code, len);
            ++code;
            ++index;
        }
        code <<= 1;
    }
    return true;
}

} // namespace

bool buildEncodeTable(const HuffmanSpec& tableSpec, HuffmanEncodeTable& out)
{
    if (tableSpec.count() > 256) {
        return false;
    }
    out = HuffmanEncodeTable{};
    bool duplicate = false;
    const bool fits = forEachCode(tableSpec, [&](int index, std::uint32_t code, int len) {
        const std::uint8_t sym = tableSpec.values[index];
        if (out.length[sym] != 0) {
            duplicate = true;
        }
        out.code[sym] = static_cast<std::uint16_t>(code);
        out.length[sym] = static_cast<std::uint8_t>(len);
    });
    return fits && !duplicate;
}

// T.81 Figures K.1 (code sizes), K.2 (counts per size), K.3 (limiting to 16 bits) and K.4
// (sorting the symbols by code size).
HuffmanSpec buildOptimalTable(const SymbolCounts& counts)
{
    constexpr int kSymbols = 257;
    std::array<std::int64_t, kSymbols> freq = counts;
    freq[256] = 1; // reserved: no real code may be all one-bits
    std::array<int, kSymbols> codeSize{};
    std::array<int, kSymbols> others;
    others.fill(-1);

    for (;;) {
        // The two least frequent entries; on equal counts the larger symbol value wins.
        int c1 = -1;
        std::int64_t v = std::numeric_limits<std::int64_t>::max();
        for (int i = 0; i < kSymbols; ++i) {
            if (freq[i] != 0 && freq[i] <= v) {
                v = freq[i];
                c1 = i;
            }
        }
        int c2 = -1;
        v = std::numeric_limits<std::int64_t>::max();
        for (int i = 0; i < kSymbols; ++i) {
            if (freq[i] != 0 && freq[i] <= v && i != c1) {
                v = freq[i];
                c2 = i;
            }
        }
        if (c2 < 0) {
            break;
        }
        freq[c1] += freq[c2];
        freq[c2] = 0;
        ++codeSize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codeSize[c1];
        }
        others[c1] = c2;
        ++codeSize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codeSize[c2];
        }
    }

    // A chain of merges can make codes as long as the number of symbols.
    std::array<int, kSymbols + 1> bits{};
    for (int i = 0; i < kSymbols; ++i) {
        if (codeSize[i] != 0) {
            ++bits[codeSize[i]];
        }
    }
    // Move pairs of over-long codes up: each pair's prefix takes the place of a shorter code,
    // which becomes two codes one bit longer.
    for (int i = kSymbols; i > 16; --i) {
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0) {
                --j;
            }
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    }
    // Drop the reserved symbol's code, one of the longest.
    int longest = 16;
    while (longest > 0 && bits[longest] == 0) {
        --longest;
    }
    --bits[longest];

    HuffmanSpec tableSpec{};
    for (int i = 1; i <= 16; ++i) {
        tableSpec.bits[i] = static_cast<std::uint8_t>(bits[i]);
    }
    int p = 0;
    for (int size = 1; size <= kSymbols; ++size) {
        for (int sym = 0; sym < 256; ++sym) {
            if (codeSize[sym] == size) {
                tableSpec.values[p++] = static_cast<std::uint8_t>(sym);
            }
        }
    }
    return tableSpec;
}

bool buildDecodeTable(const HuffmanSpec& tableSpec, HuffmanDecodeTable& out)
{
    const int count = tableSpec.count();
    if (count > 256) {
        return false;
    }
    out = HuffmanDecodeTable{};
    out.values = tableSpec.values;
    std::array<std::int32_t, 17> firstCode{};
    std::array<int, 17> firstIndex{};
    out.maxCode.fill(-1);
    const bool fits = forEachCode(tableSpec, [&](int index, std::uint32_t code, int len) {
        if (out.maxCode[len] < 0) {
            firstCode[len] = static_cast<std::int32_t>(code);
            firstIndex[len] = index;
        }
        out.maxCode[len] = static_cast<std::int32_t>(code);
        if (len <= 8) {
            // Every 8-bit prefix that starts with this code.
            const int shift = 8 - len;
            const std::uint32_t base = code << shift;
            for (std::uint32_t i = 0; i < (1u << shift); ++i) {
                out.lookahead[base | i] = static_cast<std::uint16_t>((len << 8) | tableSpec.values[index]);
            }
        }
    });
    if (!fits) {
        return false;
    }
    for (int len = 1; len <= 16; ++len) {
        out.valueOffset[len] = firstIndex[len] - firstCode[len];
    }
    out.maxCode[17] = 0xFFFFF; // ends the search for codes longer than 16 bits
    return true;
}

} // namespace tessivor::jpeg
