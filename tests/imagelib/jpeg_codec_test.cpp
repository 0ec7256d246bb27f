// Building blocks of the JPEG coder checked against their definitions: the zigzag order, the
// Annex K Huffman tables, optimal table construction and the integer DCT pair against the
// transform computed in floating point.
#include "imagelib/jpeg_dct.h"
#include "imagelib/jpeg_huffman.h"
#include "imagelib/jpeg_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

using namespace tessivor::jpeg;

namespace {

TEST(JpegTables, ZigzagWalksTheDiagonals)
{
    std::set<int> seen;
    for (int k = 0; k < 64; ++k) {
        seen.insert(kZigzag[k]);
        if (k > 0) {
            const int prev = kZigzag[k - 1];
            const int cur = kZigzag[k];
            // Each step stays on its anti-diagonal or moves to the next one.
            const int d = (cur / 8 + cur % 8) - (prev / 8 + prev % 8);
            EXPECT_TRUE(d == 0 || d == 1) << k;
        }
    }
    EXPECT_EQ(seen.size(), 64u);
    EXPECT_EQ(kZigzag[1], 1);
    EXPECT_EQ(kZigzag[2], 8);
    EXPECT_EQ(kZigzag[3], 16);
    EXPECT_EQ(kZigzag[5], 2);
    EXPECT_EQ(kZigzag[63], 63);
    for (int k = 64; k < 80; ++k) {
        EXPECT_EQ(kZigzag[k], 63); // corrupt run lengths end on the last coefficient
    }
}

TEST(JpegTables, QualityScaling)
{
    struct Case
    {
        int quality, scale;
    };
    const Case cases[] = {{-5, 5000}, {0, 5000}, {1, 5000}, {2, 2500}, {49, 102},
                          {50, 100},  {75, 50},  {99, 2},   {100, 0},  {101, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(qualityScale(c.quality), c.scale) << c.quality;
    }
    EXPECT_EQ(scaledQuantValue(16, 0), 1); // never 0
    EXPECT_EQ(scaledQuantValue(16, 50), 8);
    EXPECT_EQ(scaledQuantValue(121, 5000), 6050);
    EXPECT_EQ(scaledQuantValue(255, 20000), 32767);
}

// The four Annex K tables are complete prefix codes over the right symbols, with no code made
// only of one-bits.
TEST(JpegTables, StandardHuffmanTables)
{
    struct Case
    {
        const HuffmanSpec* tableSpec;
        bool ac;
    };
    const Case cases[] = {{&kStdDcLuminance, false},
                          {&kStdDcChrominance, false},
                          {&kStdAcLuminance, true},
                          {&kStdAcChrominance, true}};
    for (const Case& c : cases) {
        std::set<int> expected;
        if (c.ac) {
            expected = {0x00, 0xF0};
            for (int run = 0; run < 16; ++run) {
                for (int size = 1; size <= 10; ++size) {
                    expected.insert(run << 4 | size);
                }
            }
        } else {
            for (int size = 0; size <= 11; ++size) {
                expected.insert(size);
            }
        }
        const std::set<int> values(c.tableSpec->values.begin(), c.tableSpec->values.begin() + c.tableSpec->count());
        EXPECT_EQ(values, expected);
        EXPECT_EQ(c.tableSpec->count(), static_cast<int>(expected.size()));
        HuffmanEncodeTable t;
        ASSERT_TRUE(buildEncodeTable(*c.tableSpec, t));
        for (int sym : expected) {
            const int len = t.length[sym];
            ASSERT_GT(len, 0);
            EXPECT_NE(t.code[sym], (1u << len) - 1) << sym;
        }
    }
}

TEST(JpegHuffman, RefusesOverfullTablesAndDuplicates)
{
    HuffmanSpec overfull{};
    overfull.bits[1] = 3; // three one-bit codes
    HuffmanEncodeTable e;
    HuffmanDecodeTable d;
    EXPECT_FALSE(buildEncodeTable(overfull, e));
    EXPECT_FALSE(buildDecodeTable(overfull, d));
    HuffmanSpec duplicate{};
    duplicate.bits[2] = 2;
    duplicate.values[0] = 5;
    duplicate.values[1] = 5;
    EXPECT_FALSE(buildEncodeTable(duplicate, e));
    HuffmanSpec tooMany{};
    tooMany.bits[16] = 255;
    tooMany.bits[15] = 2;
    EXPECT_FALSE(buildDecodeTable(tooMany, d));
}

// Code lengths of an optimal table: no longer than 16 bits, a prefix code with room left for
// the reserved code, and (unless lengths had to be cut to 16 bits, which reassigns them by
// position in the symbol list) a more frequent symbol never gets a longer code.
void expectSoundOptimalTable(const SymbolCounts& counts, const char* label, bool limited = false)
{
    const HuffmanSpec tableSpec = buildOptimalTable(counts);
    HuffmanEncodeTable t;
    ASSERT_TRUE(buildEncodeTable(tableSpec, t)) << label;
    double kraft = 0;
    int used = 0;
    for (int sym = 0; sym < 256; ++sym) {
        if (counts[sym] == 0) {
            EXPECT_EQ(t.length[sym], 0) << label << " " << sym;
            continue;
        }
        ++used;
        ASSERT_GT(t.length[sym], 0) << label << " " << sym;
        EXPECT_LE(t.length[sym], 16) << label;
        EXPECT_NE(t.code[sym], (1u << t.length[sym]) - 1) << label << " " << sym;
        kraft += std::ldexp(1.0, -t.length[sym]);
        for (int other = 0; other < 256 && !limited; ++other) {
            if (counts[other] > counts[sym]) {
                EXPECT_LE(t.length[other], t.length[sym]) << label << " " << other << " vs " << sym;
            }
        }
    }
    EXPECT_EQ(tableSpec.count(), used) << label;
    EXPECT_LT(kraft, 1.0) << label;
}

TEST(JpegHuffman, OptimalTables)
{
    SymbolCounts one{};
    one[7] = 1000;
    expectSoundOptimalTable(one, "one symbol");
    const HuffmanSpec single = buildOptimalTable(one);
    EXPECT_EQ(single.bits[1], 1); // one code of one bit; the reserved code took the other
    EXPECT_EQ(single.values[0], 7);

    SymbolCounts flat{};
    flat.fill(5);
    flat[256] = 0;
    expectSoundOptimalTable(flat, "256 equal counts");

    // Counts growing like the Fibonacci numbers give a maximally deep tree, cut to 16 bits.
    SymbolCounts fib{};
    std::int64_t a = 1;
    std::int64_t b = 1;
    for (int i = 0; i < 40; ++i) {
        fib[i * 3] = a;
        const std::int64_t next = a + b;
        a = b;
        b = next;
    }
    expectSoundOptimalTable(fib, "fibonacci", true);
    EXPECT_EQ(buildOptimalTable(fib).bits[16], 15); // the 16-bit limit was needed

    // Equal counts: the larger symbol value is merged first and so never gets the shorter code.
    SymbolCounts ties{};
    ties[1] = 10;
    ties[2] = 10;
    ties[3] = 10;
    HuffmanEncodeTable t;
    ASSERT_TRUE(buildEncodeTable(buildOptimalTable(ties), t));
    EXPECT_LE(t.length[1], t.length[2]);
    EXPECT_LE(t.length[2], t.length[3]);
}

double basis(int u, int x)
{
    const double c = u == 0 ? std::sqrt(0.5) : 1.0;
    return c * std::cos((2 * x + 1) * u * M_PI / 16);
}

// The integer forward DCT gives 8 times the true coefficients, within rounding.
TEST(JpegDct, ForwardMatchesTheTransform)
{
    std::uint32_t seed = 1;
    for (int trial = 0; trial < 300; ++trial) {
        std::uint8_t block[64];
        for (int i = 0; i < 64; ++i) {
            seed = seed * 1664525u + 1013904223u;
            // Mixtures of extremes and noise reach the largest coefficients.
            block[i] = trial % 3 == 0 ? ((seed >> 24) & 1 ? 255 : 0) : static_cast<std::uint8_t>(seed >> 24);
        }
        std::int32_t out[64];
        forwardDct(block, 8, out);
        for (int v = 0; v < 8; ++v) {
            for (int u = 0; u < 8; ++u) {
                double sum = 0;
                for (int y = 0; y < 8; ++y) {
                    for (int x = 0; x < 8; ++x) {
                        sum += (block[y * 8 + x] - 128.0) * basis(u, x) * basis(v, y);
                    }
                }
                const double expected = 8 * sum / 4; // 8 times the orthonormal coefficient
                EXPECT_NEAR(out[v * 8 + u], expected, 2.0) << trial << " " << u << "," << v;
            }
        }
    }
}

// The inverse DCT of dequantised coefficients gives the samples within rounding, clamped to
// 0..255.
TEST(JpegDct, InverseMatchesTheTransform)
{
    std::uint32_t seed = 7;
    std::int32_t quant[64];
    for (int i = 0; i < 64; ++i) {
        quant[i] = 1 + i % 5;
    }
    for (int trial = 0; trial < 300; ++trial) {
        std::int16_t coef[64] = {};
        const int nonzero = trial % 64 + 1;
        for (int i = 0; i < nonzero; ++i) {
            seed = seed * 1664525u + 1013904223u;
            coef[kZigzag[i]] = static_cast<std::int16_t>(static_cast<int>((seed >> 20) % 401) - 200);
        }
        if (trial % 7 == 0) {
            std::fill(coef + 1, coef + 64, 0); // DC only: the column shortcut
        }
        std::uint8_t out[64];
        inverseDct(coef, quant, out, 8);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                double sum = 0;
                for (int v = 0; v < 8; ++v) {
                    for (int u = 0; u < 8; ++u) {
                        sum += coef[v * 8 + u] * quant[v * 8 + u] * basis(u, x) * basis(v, y);
                    }
                }
                const double expected = std::clamp(sum / 4 + 128.0, 0.0, 255.0);
                EXPECT_NEAR(out[y * 8 + x], expected, 1.0) << trial << " " << x << "," << y;
            }
        }
    }
}

} // namespace
