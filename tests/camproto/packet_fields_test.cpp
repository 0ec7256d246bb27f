// The credential block, the login transform, the dotted-address conversions and the word sum.
#include "camproto/login_transform.h"
#include "camproto/packet_fields.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

using namespace tessivor::camproto;

TEST(CredentialBlock, FixedWidthsZeroPaddedAndCut)
{
    const CredentialBlock b = makeCredentialBlock("administrator1", "");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()), 12), "administrato"); // no terminator
    for (int i = 12; i < 20; ++i)
        EXPECT_EQ(b[static_cast<std::size_t>(i)], 0) << i;

    const CredentialBlock c = makeCredentialBlock("ab", "passwordLONG");
    EXPECT_EQ(c[0], 'a');
    EXPECT_EQ(c[1], 'b');
    for (int i = 2; i < 12; ++i)
        EXPECT_EQ(c[static_cast<std::size_t>(i)], 0) << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.data()) + 12, 8), "password");
}

TEST(ScrambleCredentials, KnownBlocks)
{
    CredentialBlock cred{};
    std::iota(cred.begin(), cred.end(), 0x31);
    std::uint8_t challenge[80] = {};
    std::uint8_t out[20];

    // A zero challenge leaves the block as it is.
    scrambleCredentials(out, cred.data(), challenge);
    EXPECT_EQ(0, std::memcmp(out, cred.data(), 20));

    // Without nibble masks the two whole-byte masks are all that acts.
    for (int i = 0; i < 40; ++i)
        challenge[i] = static_cast<std::uint8_t>(i * 37 + 5);
    scrambleCredentials(out, cred.data(), challenge);
    for (int j = 0; j < 20; ++j)
        EXPECT_EQ(out[j], cred[static_cast<std::size_t>(j)] ^ challenge[j] ^ challenge[20 + j]) << j;

    // Nibble masks act only on nibbles whose lowest bit is set after the byte mask
    // (worked by hand).
    std::uint8_t c2[20] = {0x11, 0x01, 0x00};
    std::uint8_t k2[80] = {};
    k2[1] = 0x10;
    k2[40] = 0xFF;
    k2[41] = 0x0F;
    k2[42] = 0xFF;
    scrambleCredentials(out, c2, k2);
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_EQ(out[1], 0x1E);
    EXPECT_EQ(out[2], 0x00); // no bit set: the mask does nothing
}

TEST(IPv4Text, FormatAndParse)
{
    const std::uint8_t a[4] = {192, 168, 0, 20};
    EXPECT_EQ(formatIPv4(a), "192.168.0.20");
    const std::uint8_t b[4] = {255, 0, 255, 1};
    EXPECT_EQ(formatIPv4(b), "255.0.255.1");

    struct Case
    {
        std::string text;
        int result;
        std::array<std::uint8_t, 4> bytes;
    };
    const std::vector<Case> cases{
        {"192.168.0.20", 1, {192, 168, 0, 20}},
        {"", 1, {0, 0, 0, 0}},
        {"10.0.0.256", 0, {10, 0, 0, 0}}, // the first three are written
        {"1.2.3.4.5", 1, {1, 2, 3, 4}},   // pieces after the fourth are ignored
        {"1..2.3.4", 1, {1, 2, 3, 4}},    // empty pieces do not count
        {" 7.8x.9.10", 1, {7, 8, 9, 10}}, // C conversion: blanks, stop at a non-digit
        {"-1.2.3.4", 1, {255, 2, 3, 4}},  // negative: its low 8 bits
        {"1.2.3", 0, {1, 2, 3, 0}},       // too few numbers
        {"99999999999999999999.1.1.1", 0, {0, 0, 0, 0}},
        {std::string(300, '1'), 0, {0, 0, 0, 0}},
    };
    for (const auto& tc : cases) {
        std::array<std::uint8_t, 4> out{9, 9, 9, 9};
        EXPECT_EQ(parseIPv4(tc.text, out.data()), tc.result) << tc.text;
        EXPECT_EQ(out, tc.bytes) << tc.text;
    }
}

TEST(WordSum, LittleEndianWordsAndAnOddLastByte)
{
    const std::uint8_t three[] = {0x01, 0x02, 0x03};
    EXPECT_EQ(wordSum(three, 3), 0x0204);
    EXPECT_EQ(wordSum(three, 0), 0);
    std::vector<std::uint8_t> ff(1000, 0xFF);
    EXPECT_EQ(wordSum(ff.data(), ff.size()), static_cast<std::uint16_t>(500u * 0xFFFF));
    // A writer's check word makes the reader's sum 0x55AA.
    std::vector<std::uint8_t> packet{0x10, 0x20, 0x30, 0x40, 0x00, 0x00};
    const std::uint16_t w = static_cast<std::uint16_t>(0x55AA - wordSum(packet.data(), 4));
    packet[4] = static_cast<std::uint8_t>(w & 0xFF);
    packet[5] = static_cast<std::uint8_t>(w >> 8);
    EXPECT_EQ(wordSum(packet.data(), packet.size()), 0x55AA);
}
