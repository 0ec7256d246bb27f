// Fixed tables of the JPEG coder: the zigzag scan order, the example quantisation tables and the
// typical Huffman tables of ITU-T T.81 Annex K, and the quality scaling of the quantisation
// tables.
#pragma once

#include <array>
#include <cstdint>

namespace tessivor::jpeg {

inline constexpr int kBlockSize = 64;

// kZigzag[k] is the natural (row-major) index of the k-th coefficient in zigzag order. Entries
// 64 to 79 repeat 63 so that a decoder that runs a corrupt run length past the block's end
// lands on the last coefficient instead of outside the block.
extern const std::array<std::uint8_t, 80> kZigzag;

// T.81 Tables K.1 (luminance) and K.2 (chrominance), natural order.
extern const std::array<std::uint8_t, 64> kStdLuminanceQuant;
extern const std::array<std::uint8_t, 64> kStdChrominanceQuant;

// A Huffman table in the form of a DHT segment: the number of codes of each length 1..16 and
// the symbol values in order of increasing code length.
struct HuffmanSpec
{
    std::array<std::uint8_t, 17> bits{}; // bits[0] unused
    std::array<std::uint8_t, 256> values{};
    int count() const;
};

// T.81 Tables K.3 to K.6.
extern const HuffmanSpec kStdDcLuminance;
extern const HuffmanSpec kStdAcLuminance;
extern const HuffmanSpec kStdDcChrominance;
extern const HuffmanSpec kStdAcChrominance;

// Quality 0..100 (values outside are clamped, 0 and below acting as 1) to the percentage by
// which the Annex K tables are scaled: 5000/q below 50, 200 - 2q from 50 up.
int qualityScale(int quality);

// One table value scaled by `scale` percent and rounded: (base * scale + 50) / 100, at least 1
// and at most 32767.
int scaledQuantValue(int base, int scale);

} // namespace tessivor::jpeg
