// The image-settings datagram and page: what a reply must hold to yield values, and which
// values a damaged page still gives.
#include "camproto/image_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tessivor::camproto;

namespace {

ImageSettingsRequest sampleRequest()
{
    ImageSettingsRequest r;
    r.host = "127.0.0.1";
    r.sequence = 0x1234;
    r.mac = {0, 1, 2, 3, 4, 5};
    r.ip = {192, 168, 0, 20};
    return r;
}

// A camera's answer to `request`: its header, then the values little-endian, `size` bytes long.
std::vector<std::uint8_t> replyTo(const ImageSettingsDatagram& request, const ImageSettingValues& values,
                                  std::size_t size = kImageSettingsReplySize)
{
    std::vector<std::uint8_t> reply(request.begin(), request.end());
    for (std::int16_t v : values) {
        reply.push_back(static_cast<std::uint8_t>(v & 0xFF));
        reply.push_back(static_cast<std::uint8_t>((static_cast<std::uint16_t>(v) >> 8) & 0xFF));
    }
    reply.resize(size, 0);
    return reply;
}

} // namespace

TEST(ImageSettingsDatagram, RequestLayout)
{
    const auto d = buildImageSettingsRequest(sampleRequest());
    EXPECT_EQ(d, (ImageSettingsDatagram{0xFD, 0xFD, 0x12, 0x34, 0x00, 0x21, 0, 1, 2, 3, 4, 5, 192, 168, 0, 20,
                                        0, 0}));
}

TEST(ImageSettingsDatagram, RepliesThatYieldValuesAndThoseThatDoNot)
{
    const auto request = buildImageSettingsRequest(sampleRequest());
    const ImageSettingValues sent{3, 2, 15, 70, -40, 9, 32767};
    struct Case
    {
        const char* what;
        std::vector<std::uint8_t> reply;
        ReplyCheck expected;
    };
    auto withByte = [&](std::size_t at, std::uint8_t value) {
        auto r = replyTo(request, sent);
        r[at] = value;
        return r;
    };
    const std::vector<Case> cases{
        {"exact size", replyTo(request, sent), ReplyCheck::Values},
        {"longer than the form", replyTo(request, sent, 64), ReplyCheck::Values},
        {"one byte short", replyTo(request, sent, kImageSettingsReplySize - 1), ReplyCheck::TooShort},
        {"empty", {}, ReplyCheck::TooShort},
        {"other sequence", withByte(3, 0x35), ReplyCheck::Foreign},
        {"other camera", withByte(11, 6), ReplyCheck::Foreign},
        {"other opcode still counts", withByte(5, 0x22), ReplyCheck::Values},
    };
    for (const auto& tc : cases) {
        ImageSettingValues values{-9, -9, -9, -9, -9, -9, -9};
        EXPECT_EQ(parseImageSettingsReply(tc.reply, request, &values), tc.expected) << tc.what;
        if (tc.expected == ReplyCheck::Values)
            EXPECT_EQ(values, sent) << tc.what;
        else
            EXPECT_EQ(values, (ImageSettingValues{-9, -9, -9, -9, -9, -9, -9})) << tc.what;
    }
}

TEST(ImageSettingsPage, CompleteDamagedAndHostileLines)
{
    const std::string good =
        "Video_Mode=3&Compress=2&Frame_Rate=15&Bright_cntl=70&Contrast_cntl=40&Hue_cntl=9&Light_Freq=50\r\n";
    struct Case
    {
        const char* what;
        std::string body;
        bool complete;
        int readCount; // the leading values that were read
    };
    const std::vector<Case> cases{
        {"whole line", good, true, 7},
        {"no line end", good.substr(0, good.size() - 2), false, 6},
        {"empty", "", false, 0},
        {"value missing", "Video_Mode=&Compress=2", false, 0},
        {"ten digits", "Video_Mode=1234567890&Compress=2", false, 0},
        {"negative", "Video_Mode=3&Compress=-2&Frame_Rate=1", false, 1},
        {"beyond 16 bits", "Video_Mode=3&Compress=2&Frame_Rate=32768&Bright_cntl=1", false, 2},
        {"next field absent", "Video_Mode=3&Frame_Rate=15", false, 0}, // no end for the first value
    };
    for (const auto& tc : cases) {
        const auto page = parseImageSettingsPage(tc.body);
        EXPECT_EQ(page.complete, tc.complete) << tc.what;
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(page.read[static_cast<std::size_t>(i)], i < tc.readCount) << tc.what << " " << i;
    }
    EXPECT_EQ(parseImageSettingsPage(good).values, (ImageSettingValues{3, 2, 15, 70, 40, 9, 50}));
}
