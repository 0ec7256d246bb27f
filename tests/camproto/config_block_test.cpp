// The configuration block's check words and its fields by index, and the parsers of the cameras'
// CGI answers. No network.
#include "camproto/admin_udp.h"
#include "camproto/camera_http.h"
#include "camproto/config_block.h"
#include "camproto/config_udp.h"
#include "camproto/packet_fields.h"

#include <gtest/gtest.h>

#include <numeric>

namespace tessivor::camproto {
namespace {

ConfigBlock patterned()
{
    ConfigBlock b{};
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>((i * 131 + 7) & 0xFF);
    return b;
}

TEST(ConfigBlockSums, ImageSumsToTheTargetAndPiecesCheckThemselves)
{
    ConfigBlock zero{};
    EXPECT_EQ(blockCheckWord(zero), 0x55AA);
    ConfigBlock b = patterned();
    const ConfigImage image = sealConfigBlock(b);
    EXPECT_EQ(wordSum(image.data(), image.size()), 0x55AA);
    EXPECT_EQ(b[0] | (b[1] << 8), blockCheckWord(b));
    EXPECT_TRUE(
        std::all_of(image.begin() + kConfigBlockSize, image.end(), [](std::uint8_t v) { return v == 0; }));
    for (int piece = 0; piece < kConfigPieceCount; ++piece) {
        const auto d =
            buildConfigWritePiece(image, piece, Mac{1, 2, 3, 4, 5, 6}, IPv4{10, 0, 0, 9}, 2, 0x1234);
        ASSERT_EQ(d.size(), kConfigPieceSize);
        EXPECT_EQ((d[2] << 8) | d[3], piece) << "the sequence is the piece number";
        EXPECT_EQ((d[4] << 8) | d[5], 0x000C);
        const auto data = std::span<const std::uint8_t>(d).subspan(20, kConfigPieceDataSize);
        EXPECT_TRUE(pieceIsGood(static_cast<std::uint16_t>(d[18] | (d[19] << 8)), data)) << piece;
        EXPECT_EQ(d[16], piece == 7 ? 2 : 0);
        EXPECT_EQ(d[17], piece == 7 ? 0x34 : 0);
        std::vector<std::uint8_t> bad(data.begin(), data.end());
        bad[5] ^= 1;
        EXPECT_FALSE(pieceIsGood(static_cast<std::uint16_t>(d[18] | (d[19] << 8)), bad));
    }
    const auto m1 = buildConfigWritePiece(image, 7, Mac{}, IPv4{}, 1, 99);
    EXPECT_EQ(m1[16], 1);
    EXPECT_EQ(m1[17], 0);
}

struct NumberCase
{
    int index;
    std::size_t offset;
    int width; // 2 or 4 bytes
    bool isSigned;
};

TEST(ConfigBlockFields, NumbersLieWhereTheTableSays)
{
    const NumberCase cases[] = {
        {0, 2, 2, true},     {1, 40, 4, true},     {2, 160, 2, false},  {3, 182, 2, true},
        {4, 376, 2, true},   {6, 380, 2, true},    {7, 408, 2, true},   {16, 426, 2, true},
        {18, 448, 2, true},  {19, 1836, 2, true},  {22, 1906, 2, true}, {24, 1912, 2, true},
        {25, 2106, 2, true}, {27, 2110, 2, true},  {28, 2112, 2, true}, {29, 2320, 2, true},
        {31, 2360, 2, true}, {32, 3318, 2, true},  {34, 3546, 2, true}, {73, 2376, 4, true},
        {74, 3866, 2, true}, {82, 2436, 2, false},
    };
    for (const NumberCase& k : cases) {
        ConfigBlock b{};
        ConfigSelectors s;
        const std::int32_t value = k.width == 4 ? -123456789 : -2;
        ASSERT_EQ(setConfigNumber(b, s, k.index, value), ConfigSetStatus::Done) << k.index;
        const std::size_t changed = static_cast<std::size_t>(
            std::count_if(b.begin(), b.end(), [](std::uint8_t v) { return v != 0; }));
        EXPECT_EQ(changed, static_cast<std::size_t>(k.width)) << k.index;
        EXPECT_NE(b[k.offset], 0) << k.index;
        const std::int32_t expected = k.isSigned ? value : 0xFFFE;
        EXPECT_EQ(configNumber(b, s, k.index), expected) << k.index;
        EXPECT_FALSE(configText(b, s, k.index).has_value()) << k.index;
    }
}

struct TextCase
{
    int index;
    std::size_t offset;
    std::size_t width;
};

TEST(ConfigBlockFields, TextsAreCutAtTheirWidthAndZeroPadded)
{
    const TextCase cases[] = {{35, 3320, 64}, {38, 3512, 32}, {40, 140, 12},  {41, 152, 8},
                              {42, 44, 32},   {46, 76, 64},   {54, 428, 12},  {55, 440, 8},
                              {56, 1838, 64}, {57, 1914, 64}, {59, 2042, 64}, {60, 2322, 36},
                              {61, 2362, 14}, {64, 4, 36},    {69, 2408, 14}, {83, 2438, 64}};
    const std::string longText(200, 'x');
    for (const TextCase& k : cases) {
        ConfigBlock b{};
        b.fill(0xEE);
        ConfigSelectors s;
        ASSERT_EQ(setConfigText(b, s, k.index, longText), ConfigSetStatus::Done) << k.index;
        EXPECT_EQ(configText(b, s, k.index), std::string(k.width, 'x')) << k.index;
        EXPECT_EQ(b[k.offset - 1], 0xEE) << k.index;
        EXPECT_EQ(b[k.offset + k.width], 0xEE) << k.index;
        ASSERT_EQ(setConfigText(b, s, k.index, "ab"), ConfigSetStatus::Done);
        EXPECT_EQ(configText(b, s, k.index), "ab");
        EXPECT_TRUE(std::all_of(b.begin() + static_cast<std::ptrdiff_t>(k.offset + 2),
                                b.begin() + static_cast<std::ptrdiff_t>(k.offset + k.width),
                                [](std::uint8_t v) { return v == 0; }))
            << k.index;
    }
    // Index 84 holds 140 bytes but reads back at most 64.
    ConfigBlock b{};
    ConfigSelectors s;
    setConfigText(b, s, 84, longText);
    EXPECT_EQ(configText(b, s, 84), std::string(64, 'x'));
    EXPECT_EQ(b[2502 + 139], 'x');
}

TEST(ConfigBlockFields, TextCutNeverSplitsACharacter)
{
    ConfigBlock b{};
    ConfigSelectors s;
    // Eleven ASCII bytes and a two-byte character: the character does not fit the 12 bytes.
    setConfigText(b, s, 40, "abcdefghijk\xC3\xA9");
    EXPECT_EQ(configText(b, s, 40), "abcdefghijk");
    EXPECT_EQ(cutToField("\xE2\x82\xAC\xE2\x82\xAC", 4), "\xE2\x82\xAC");
}

TEST(ConfigBlockFields, AddressesMacAndHexForms)
{
    ConfigBlock b{};
    ConfigSelectors s;
    EXPECT_EQ(setConfigText(b, s, 53, "0.19.169.1.2.3"), ConfigSetStatus::Done);
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 382, b.begin() + 388),
              (std::vector<std::uint8_t>{0x00, 0x13, 0xA9, 0x01, 0x02, 0x03}));
    EXPECT_EQ(configText(b, s, 53), "0.19.169.1.2.3");

    EXPECT_EQ(setConfigText(b, s, 43, "192.168.7.200"), ConfigSetStatus::Done);
    EXPECT_EQ(configText(b, s, 43), "192.168.7.200");
    EXPECT_EQ(setConfigText(b, s, 80, ""), ConfigSetStatus::Done);
    EXPECT_EQ(configText(b, s, 80), "0.0.0.0");

    std::fill_n(b.begin() + 2362, 14, 0x77);
    EXPECT_EQ(setConfigText(b, s, 62, "0A1B"), ConfigSetStatus::Done);
    EXPECT_EQ(b[2362], 0x0A);
    EXPECT_EQ(b[2363], 0x1B);
    EXPECT_TRUE(std::all_of(b.begin() + 2364, b.begin() + 2376, [](std::uint8_t v) { return v == 0; }));
    EXPECT_EQ(configText(b, s, 62), "0A1B");
    EXPECT_EQ(setConfigText(b, s, 70, "abc"), ConfigSetStatus::Done) << "an odd last digit is ignored";
    EXPECT_EQ(configText(b, s, 70), "AB");

    // Index 68 and 61 are different fields; 16 and 65 the same.
    setConfigText(b, s, 61, "first");
    setConfigText(b, s, 68, "third");
    EXPECT_EQ(configText(b, s, 68), "third");
    EXPECT_EQ(configText(b, s, 61), "first");
    setConfigNumber(b, s, 65, 4321);
    EXPECT_EQ(configNumber(b, s, 16), 4321);
    EXPECT_FALSE(configNumber(b, s, 65).has_value());
}

TEST(ConfigBlockFields, BadValuesChangeNothing)
{
    const struct
    {
        int index;
        const char* text;
    } cases[] = {{53, "0.19.169.300.2.3"},
                 {53, "1.2.3"},
                 {53, "1.2.3.4.5.6.7"},
                 {53, "a.b.c.d.e.f"},
                 {43, "10.0.0.256"},
                 {43, "10.0.0"},
                 {47, "ten.0.0.1"},
                 {81, "1..2.3"},
                 {62, "0G"},
                 {71, "zz11"}};
    for (const auto& k : cases) {
        ConfigBlock b = patterned();
        const ConfigBlock before = b;
        ConfigSelectors s;
        EXPECT_EQ(setConfigText(b, s, k.index, k.text), ConfigSetStatus::BadValue)
            << k.index << " " << k.text;
        EXPECT_EQ(b, before) << k.index << " " << k.text;
    }
}

TEST(ConfigBlockFields, SelectorsAndIndicesOutsideTheTable)
{
    ConfigBlock b{};
    ConfigSelectors s;
    setConfigNumber(b, s, 17, 2);
    setConfigNumber(b, s, 18, 7);
    setConfigText(b, s, 54, "carol");
    EXPECT_EQ(b[428 + 44], 'c');
    EXPECT_EQ(b[448 + 44], 7);
    EXPECT_EQ(configNumber(b, s, 17), 2);
    setConfigNumber(b, s, 23, 1);
    setConfigNumber(b, s, 66, 1);
    setConfigNumber(b, s, 28, 5);
    EXPECT_EQ(b[1912 + 204 + 202], 5);

    for (const auto& [index, value] :
         std::initializer_list<std::pair<int, int>>{{17, 64}, {17, -1}, {23, 2}, {66, 2}}) {
        ConfigBlock c = patterned();
        ConfigSelectors t;
        setConfigNumber(c, t, index, value);
        for (int i : {18, 24, 25, 28})
            EXPECT_EQ(setConfigNumber(c, t, i, 1), ConfigSetStatus::Done);
        for (int i : {54, 55, 57, 59})
            EXPECT_EQ(setConfigText(c, t, i, "x"), ConfigSetStatus::Done);
        const bool userOut = index == 17;
        EXPECT_EQ(configNumber(c, t, 18), userOut ? 0 : 1) << index;
        EXPECT_EQ(configText(c, t, 54), userOut ? "" : "x") << index;
        if (userOut)
            EXPECT_EQ(configText(c, t, 57), "x");
        else
            EXPECT_EQ(configText(c, t, 57), index == 23 ? "" : "x");
    }

    for (int index : {-1, 75, 79, 85, 1000})
        EXPECT_EQ(setConfigNumber(b, s, index, 1), ConfigSetStatus::Invalid) << index;
    EXPECT_EQ(setConfigText(b, s, 77, "x"), ConfigSetStatus::Invalid);
    EXPECT_EQ(setConfigText(b, s, 63, "x"), ConfigSetStatus::NoEffect);
    EXPECT_FALSE(configNumber(b, s, 63).has_value());
    EXPECT_FALSE(configText(b, s, 63).has_value());
}

TEST(CameraRequests, LinesInOrderAndProxyForm)
{
    CameraRequest r;
    r.method = "POST";
    r.path = "/CONFIG.CGI";
    r.remoteHost = "cam.example";
    r.remotePort = 8481;
    r.proxyExtraLine = "Content-Length: 8192";
    r.authorization = "dTpw";
    r.body = "B";
    EXPECT_EQ(buildCameraRequest(r),
              "POST /CONFIG.CGI HTTP/1.0\r\nUser-Agent: agent name\r\nAuthorization: Basic dTpw\r\n\r\nB");
    r.viaProxy = true;
    EXPECT_EQ(buildCameraRequest(r),
              "POST HTTP://cam.example:8481/CONFIG.CGI HTTP/1.0\r\nContent-Length: "
              "8192\r\nProxy-Connection: Keep-Alive\r\nHost: cam.example\r\nUser-Agent: "
              "agent name\r\nAuthorization: Basic dTpw\r\n\r\nB");
    r.remoteHost = "evil\r\nX: 1";
    EXPECT_FALSE(buildCameraRequest(r).has_value());
    r.remoteHost = std::string("a\0b", 3);
    EXPECT_FALSE(buildCameraRequest(r).has_value());
}

TEST(CameraAnswers, ConfigHead)
{
    const auto ok = parseConfigAnswerHead("HTTP/1.0 200 OK\r\nContent-Length: 4786\r\n\r\nxyz");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->contentLength, 4786u);
    EXPECT_EQ(ok->bodyStart, 41u);
    for (const char* bad :
         {"HTTP/1.0 404 Not Found\r\nContent-Length: 4786\r\n\r\n",
          "HTTP/1.0 200 OK\r\nContent-Length: 4786\r\n", "HTTP/1.0 200 OK\r\n\r\nContent-Length: 4786\r\n",
          "HTTP/1.0 200 OK\r\nContent-Length:    000000004786\r\n\r\n",
          "HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n", "HTTP/1.0 200 OK\r\nContent-Length: \r\n\r\n"})
        EXPECT_FALSE(parseConfigAnswerHead(bad).has_value()) << bad;
}

TEST(CameraAnswers, LoginRefusalAndDateTime)
{
    EXPECT_TRUE(answerRefusesLogin("HTTP/1.0 401 Unauthorized\r\n"));
    EXPECT_TRUE(answerRefusesLogin("HTTP/1.0 407 Proxy\r\n"));
    EXPECT_TRUE(answerRefusesLogin("HTTP/1.0 200 OK\r\n\r\n<b>Password Error</b>"));
    EXPECT_FALSE(answerRefusesLogin("HTTP/1.0 200 OK\r\nX-Pad: -------401\r\n"));

    const auto t =
        parseDateTimeAnswer("HTTP/1.0 200 OK\r\n\r\nDate_manual=2026-12-11&Time_manual=7:05:59\r\n");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->year, 2026);
    EXPECT_EQ(t->month, 12);
    EXPECT_EQ(t->day, 11);
    EXPECT_EQ(t->hour, 7);
    EXPECT_EQ(t->minute, 5);
    EXPECT_EQ(t->second, 59);
    for (const char* bad : {"HTTP/1.0 200 OK\r\n\r\nDate_manual=2026--11&Time_manual=7:05:59\r\n",
                            "HTTP/1.0 200 OK\r\n\r\nDate_manual=2026-12-11&Time_manual=7:05:59",
                            "HTTP/1.0 200 OK\r\n\r\nDate_manual=40000-12-11&Time_manual=7:05:59\r\n",
                            "HTTP/1.0 200 OK\r\n\r\nDate_manual=2026-1x-11&Time_manual=7:05:59\r\n",
                            "HTTP/1.0 500 Error\r\n\r\nDate_manual=2026-12-11&Time_manual=7:05:59\r\n"})
        EXPECT_FALSE(parseDateTimeAnswer(bad).has_value()) << bad;
}

TEST(CameraAnswers, Triggers)
{
    const auto v = parseTriggerAnswer("HTTP/1.0 200 OK\r\n\r\nTrigger1=1&Trigger2=0&ImageUpload=0\r\n\r\n");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->trigger1, 1);
    EXPECT_EQ(v->trigger2, 0);
    for (const char* bad : {"HTTP/1.0 200 OK\r\n\r\nTrigger1=1&Trigger2=0\r\n\r\n",
                            "HTTP/1.0 200 OK\r\n\r\nTrigger1=1&Trigger2=0&ImageUpload=0",
                            "HTTP/1.0 200 OK\r\n\r\nTrigger1=&Trigger2=0&ImageUpload=0\r\n\r\n",
                            "HTTP/1.0 200 OK\r\n\r\nTrigger1=-1&Trigger2=0&ImageUpload=0\r\n\r\n",
                            "HTTP/1.0 200 OK\r\n\r\nTrigger1=1234567890&Trigger2=0&ImageUpload=0\r\n\r\n",
                            "HTTP/1.1 200 OK\r\n\r\nTrigger1=1&Trigger2=0&ImageUpload=0\r\n\r\n"})
        EXPECT_FALSE(parseTriggerAnswer(bad).has_value()) << bad;
}

TEST(AdminDatagrams, WordsAndAddressLayout)
{
    AdminRequest r;
    r.header.sequence = 0x0102;
    r.header.opcode = Opcode::SetClock;
    r.header.mac = Mac{1, 2, 3, 4, 5, 6};
    r.header.ip = IPv4{10, 1, 2, 3};
    r.payload = sevenWordsPayload({1, 2, 3, 4, 5, 6, -2});
    const auto d = buildAdminDatagram(r);
    ASSERT_EQ(d.size(), 32u);
    EXPECT_EQ(d[2], 0x01);
    EXPECT_EQ(d[3], 0x02);
    EXPECT_EQ(d[5], 0x1E);
    EXPECT_EQ(d[12], 10);
    EXPECT_EQ(d[18], 1);
    EXPECT_EQ(d[19], 0);
    EXPECT_EQ(d[30], 0xFE);
    EXPECT_EQ(d[31], 0xFF);
    EXPECT_EQ(parseSevenWords(d), (SevenWords{1, 2, 3, 4, 5, 6, -2}));
    EXPECT_EQ(parseSevenWords(std::span(d).first(20)), (SevenWords{1, 0, 0, 0, 0, 0, 0}));
    const auto a = networkAddressPayload(IPv4{255, 255, 255, 0}, IPv4{});
    EXPECT_EQ(a, (std::vector<std::uint8_t>{255, 255, 255, 0, 0, 0, 0, 0}));
}

} // namespace
} // namespace tessivor::camproto
