// The Kestra command packets, status block and site survey, the pan/tilt request texts and the
// firmware upload texts, without a network.
#include "camproto/firmware_upload.h"
#include "camproto/kestra_packet.h"
#include "camproto/pan_tilt.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tessivor::camproto;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::span<const std::uint8_t> text(const char* t)
{
    return {reinterpret_cast<const std::uint8_t*>(t), std::strlen(t)};
}

std::uint32_t u32(const KestraPacket& p, std::size_t at)
{
    return p[at] | (p[at + 1] << 8) | (p[at + 2] << 16) | (static_cast<std::uint32_t>(p[at + 3]) << 24);
}

Bytes replyBytes(std::uint32_t answer, std::uint32_t length, const Bytes& data, std::size_t size = 128)
{
    Bytes r(128, 0);
    std::memcpy(r.data(), "Brevantine", 10);
    for (int i = 0; i < 4; ++i) {
        r[16 + i] = static_cast<std::uint8_t>(answer >> (8 * i));
        r[20 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    }
    std::copy_n(data.begin(), std::min<std::size_t>(data.size(), 104), r.begin() + 24);
    r.resize(size);
    return r;
}

} // namespace

TEST(KestraPackets, RequestForms)
{
    const KestraPacket read = buildKestraRead(83);
    EXPECT_EQ(std::string(read.begin(), read.begin() + 10), "Brevantine");
    EXPECT_EQ(u32(read, 16), 83u);
    EXPECT_TRUE(std::all_of(read.begin() + 20, read.end(), [](std::uint8_t b) { return b == 0; }));

    const std::string longValue(100, 'v');
    const auto value = std::span(reinterpret_cast<const std::uint8_t*>(longValue.data()), longValue.size());
    // Length form: the given length at 20, exactly sixteen value bytes from 24.
    const KestraPacket lengthForm = buildKestraWriteLength(16, 99, value);
    EXPECT_EQ(u32(lengthForm, 20), 99u);
    EXPECT_EQ(std::count(lengthForm.begin() + 24, lengthForm.end(), 'v'), 16);
    EXPECT_EQ(lengthForm[40], 0);
    // Plain form and parameters: at most 64 bytes from 20.
    for (const KestraPacket& p : {buildKestraWritePlain(18, value), buildKestraReadParam(45, value)}) {
        EXPECT_EQ(std::count(p.begin() + 20, p.end(), 'v'), 64);
        EXPECT_EQ(p[84], 0);
    }
    // Two parameters: the second from 84, at most 44 bytes, never past the packet.
    const KestraPacket auth = buildKestraReadAuth(46, text("admin"), value);
    EXPECT_EQ(std::string(auth.begin() + 20, auth.begin() + 25), "admin");
    EXPECT_EQ(auth[25], 0);
    EXPECT_EQ(std::count(auth.begin() + 84, auth.end(), 'v'), 44);
}

TEST(KestraPackets, RepliesAreReadOnlyAsFarAsTheyArrived)
{
    const Bytes data{'o', 'k', 0, 7};
    struct Case
    {
        const char* what;
        Bytes received;
        KestraReplyStatus status;
        std::size_t dataSize;
    };
    Bytes noWord = replyBytes(81, 4, data);
    noWord[0] = 'X';
    const Case cases[] = {
        {"done", replyBytes(81, 4, data), KestraReplyStatus::Done, 4},
        {"nothing", {}, KestraReplyStatus::Short, 0},
        {"half a packet", replyBytes(81, 4, data, 60), KestraReplyStatus::Short, 0},
        {"127 bytes", replyBytes(81, 4, data, 127), KestraReplyStatus::Short, 0},
        {"no company word", noWord, KestraReplyStatus::NotKestra, 0},
        {"not done", replyBytes(80, 4, data), KestraReplyStatus::NotDone, 0},
        {"length beyond the packet", replyBytes(81, 0xFFFFFFFFu, data), KestraReplyStatus::Done, 104},
        {"length 105", replyBytes(81, 105, data), KestraReplyStatus::Done, 104},
        {"length 0", replyBytes(81, 0, data), KestraReplyStatus::Done, 0},
    };
    for (const Case& c : cases) {
        const KestraReply r = parseKestraReply(c.received);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.data.size(), c.dataSize) << c.what;
    }
}

TEST(KestraPackets, StatusFieldsNeedTheirBytes)
{
    Bytes data(82, 0);
    std::memcpy(data.data(), "Kestra-Cam-0123456789", 16); // exactly 16 bytes, no terminator
    const Bytes mac{1, 2, 3, 4, 5, 6};
    std::copy(mac.begin(), mac.end(), data.begin() + 32);
    data[38] = 192, data[39] = 168, data[40] = 0, data[41] = 9;
    data[80] = 1;
    data[81] = 1;
    const KestraStatusBlock whole = KestraStatusBlock::fromData(data);
    EXPECT_EQ(whole.name(), "Kestra-Cam-01234");
    ASSERT_TRUE(whole.mac());
    EXPECT_EQ((*whole.mac())[5], 6);
    ASSERT_TRUE(whole.ip());
    EXPECT_EQ((*whole.ip())[3], 9);
    EXPECT_EQ(whole.panTilt(), 1);
    EXPECT_EQ(whole.wireless(), 1);

    // A short status: the fields past its end read as absent or zero.
    const KestraStatusBlock cut = KestraStatusBlock::fromData(std::span(data).first(40));
    EXPECT_TRUE(cut.mac());
    EXPECT_FALSE(cut.ip());
    EXPECT_EQ(cut.panTilt(), 0);
    EXPECT_EQ(cut.wireless(), 0);
    EXPECT_EQ(KestraStatusBlock::fromData(std::span(data).first(5)).name(), "Kestr");
    EXPECT_EQ(KestraStatusBlock::fromData(Bytes(500, 'x')).length, KestraStatusBlock::kCapacity);
}

TEST(KestraPackets, SiteSurveyTakesOnlyWholeEntries)
{
    auto survey = [](std::uint32_t claimed, std::size_t carried, std::size_t size) {
        Bytes b(2000, 0);
        std::memcpy(b.data(), "Brevantine", 10);
        for (int i = 0; i < 4; ++i)
            b[16 + i] = static_cast<std::uint8_t>(claimed >> (8 * i));
        for (std::size_t e = 0; e < carried && 20 + (e + 1) * 59 <= b.size(); ++e) {
            b[20 + e * 59] = static_cast<std::uint8_t>(e);
            std::memcpy(&b[20 + e * 59 + 22], "net", 3);
            b[20 + e * 59 + 55] = 11;
        }
        b.resize(size);
        return b;
    };
    struct Case
    {
        const char* what;
        Bytes received;
        std::optional<std::size_t> count;
    };
    Bytes noWord = survey(3, 3, 2000);
    noWord[3] = '!';
    const Case cases[] = {
        {"three", survey(3, 3, 2000), 3},
        {"none", survey(0, 0, 2000), 0},
        {"claims 40", survey(40, 40, 2000), 32},
        {"claims 10, three and a half arrived", survey(10, 10, 20 + 3 * 59 + 30), 3},
        {"claims 2^32-1", survey(0xFFFFFFFFu, 40, 2000), 32},
        {"head only", survey(5, 5, 20), 0},
        {"count cut", survey(5, 5, 18), std::nullopt},
        {"no company word", noWord, std::nullopt},
        {"nothing", {}, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto entries = parseSiteSurvey(c.received);
        ASSERT_EQ(entries.has_value(), c.count.has_value()) << c.what;
        if (entries) {
            EXPECT_EQ(entries->size(), *c.count) << c.what;
        }
    }
    const auto three = parseSiteSurvey(survey(3, 3, 2000));
    EXPECT_EQ((*three)[2].magic, 2u);
    EXPECT_EQ(std::string((*three)[2].ssid.data()), "net");
    EXPECT_EQ((*three)[2].channel, 11);
}

TEST(PanTiltRequests, TableOfCommands)
{
    struct Case
    {
        int command;
        std::optional<std::string> body;
        std::vector<std::string> paths;
    };
    const std::string move = "PanSingleMoveDegree=1&TiltSingleMoveDegree=1&PanTiltSingleMove=";
    const std::string dir = "/goform/CfgPT_Direction?f_PT_DIRECTION=";
    const Case cases[] = {
        {0, move + "0", {dir + "up", dir + "left"}},
        {1, move + "1", {dir + "up"}},
        {2, move + "2", {dir + "up", dir + "right"}},
        {3, move + "3", {dir + "left"}},
        {4, move + "4", {dir + "home"}},
        {5, move + "5", {dir + "right"}},
        {6, move + "6", {dir + "down", dir + "left"}},
        {7, move + "7", {dir + "down"}},
        {8, move + "8", {dir + "down", dir + "right"}},
        {50, "PanTiltSwingMode=0", {}},
        {51, "PanTiltSwingMode=1", {}},
        {52, "PanTiltSwingMode=2", {}},
        {9, std::nullopt, {}},
        {-1, std::nullopt, {}},
        {49, std::nullopt, {}},
        {53, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(panTiltPostBody(c.command), c.body) << c.command;
        EXPECT_EQ(kestraPanTiltPaths(c.command), c.paths) << c.command;
    }
}

TEST(FirmwareTexts, MultipartBodyAndQuotedName)
{
    const MultipartBody b = buildMultipartBody(multipartBoundary(1700000000), "/tmp/fw.bin", "c00kie");
    EXPECT_EQ(b.boundary, "-----------------1700000000");
    EXPECT_EQ(b.head.rfind("--" + b.boundary + "\r\n", 0), 0u);
    EXPECT_NE(b.head.find("filename=\"/tmp/fw.bin\""), std::string::npos);
    EXPECT_EQ(b.tail.substr(b.tail.size() - b.boundary.size() - 6), "--" + b.boundary + "--\r\n");
    // The exact count of the layout: file, four boundaries, the four texts and 20 bytes of dashes
    // and line ends around the boundaries.
    const std::string t1 = "Content-Disposition: form-data; name=\"filename\"; filename=\"/tmp/fw.bin\"\r\n"
                           "Content-Type: application/octet-stream\r\n\r\n";
    const std::string t3 = "Content-Disposition: form-data; name=\"B1\"\r\n\r\nUpload\r\n";
    const std::string t4 = "Content-Disposition: form-data; name=\"f_CookieValue\"\r\n\r\nc00kie\r\n";
    EXPECT_EQ(b.contentLength(1000), 1000 + 4 * b.boundary.size() + t1.size() + t3.size() + t4.size() + 20);

    EXPECT_EQ(quoteMultipartFileName("a\"b\r\nc\\d%"), "a%22b%0D%0Ac\\d%");
    const MultipartBody hostile = buildMultipartBody("B", "x", "ok\r\n--B--\r\n");
    EXPECT_EQ(hostile.tail.find("\r\n--B--\r\n"), hostile.tail.size() - 9)
        << "the cookie closed the body early";
}

TEST(FirmwareTexts, UploadAnswers)
{
    struct Case
    {
        const char* received;
        const char* accepted;
        UploadAnswer answer;
    };
    const Case cases[] = {
        {"", "302", UploadAnswer::NoAnswer},
        {"HTTP/1.0 302 Found\r\nLocation: /x\r\n", "302", UploadAnswer::NoHeadEnd},
        {"HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n", "302", UploadAnswer::Accepted},
        {"HTTP/1.0 200 OK\r\n\r\n302", "302", UploadAnswer::Refused},
        {"HTTP/1.0 200 OK\r\n\r\n", "200", UploadAnswer::Accepted},
        {"HTTP/1.0 500 Error\r\n\r\n", "200", UploadAnswer::Refused},
    };
    for (const Case& c : cases)
        EXPECT_EQ(classifyUploadAnswer(c.received, c.accepted), c.answer) << c.received;
}

TEST(FirmwareTexts, DownloadRequestMatchesOnlyItsReply)
{
    const Mac mac{0, 1, 2, 3, 4, 5};
    const auto request = buildRequestDownload(0x1234, mac, IPv4{10, 0, 0, 9});
    EXPECT_EQ(request[4], 0x00);
    EXPECT_EQ(request[5], 0x06);
    std::vector<std::uint8_t> reply(request.begin(), request.end());
    reply[16] = 0x34;
    reply[17] = 0x12;
    EXPECT_EQ(requestDownloadResult(reply, 0x1234, mac), 0x1234);
    EXPECT_FALSE(requestDownloadResult(reply, 0x1235, mac));
    EXPECT_FALSE(requestDownloadResult(reply, 0x1234, Mac{0, 1, 2, 3, 4, 6}));
    EXPECT_FALSE(requestDownloadResult(std::span(reply).first(17), 0x1234, mac));
}
