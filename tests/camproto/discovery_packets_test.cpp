// Packet layouts, builders and parsers of the discovery protocols, byte by byte.
#include "camproto/dotted_bytes.h"
#include "camproto/packet_fields.h"
#include "camproto/device_record.h"
#include "camproto/discovery_extinfo.h"
#include "camproto/discovery_local.h"
#include "camproto/discovery_multicast_packets.h"
#include "camproto/discovery_search.h"
#include "camproto/probe_pages.h"
#include "camproto/probe_udp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tessivor::camproto {
namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> v)
{
    std::vector<std::uint8_t> out;
    for (int b : v)
        out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

TEST(DiscoveryRequests, HeadersCarryTheirFieldsInWireOrder)
{
    struct Case
    {
        const char* what;
        HeaderBytes got;
        std::vector<std::uint8_t> want;
    };
    const Mac mac{0x00, 0x13, 0xA9, 0xC8, 0x01, 0x02};
    const IPv4 ip{192, 168, 0, 20};
    const Case cases[] = {
        {"search", buildSearchRequest(0x1234),
         bytes({0xFD, 0xFD, 0x12, 0x34, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0})},
        {"probe", buildProbeRequest(1),
         bytes({0xFD, 0xFD, 0x00, 0x01, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0x77,
                0x77})},
        {"login query", buildLoginQuery(0xFFFF, mac, ip, RequestMarker::Plain),
         bytes({0xFD, 0xFD, 0xFF, 0xFF, 0x00, 0x12, 0x00, 0x13, 0xA9, 0xC8, 0x01, 0x02, 192, 168, 0, 20, 0,
                0})},
        {"extended information", buildExtendedInfoRequest(0x0102, mac, ip),
         bytes({0xFD, 0xFD, 0x01, 0x02, 0xFF, 0xFF, 0x00, 0x13, 0xA9, 0xC8, 0x01, 0x02, 192, 168, 0, 20, 0,
                0})},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::vector<std::uint8_t>(c.got.begin(), c.got.end()), c.want) << c.what;
}

TEST(DiscoveryRequests, SequenceGrowsBeforeUseAndWraps)
{
    std::atomic<std::uint16_t> counter{0};
    EXPECT_EQ(nextSequence(counter), 1);
    counter.store(65535);
    EXPECT_EQ(nextSequence(counter), 0);
    EXPECT_EQ(counter.load(), 0);
}

TEST(DiscoveryReplies, ShortDatagramsReadAsZeroPadded)
{
    const ReplyHeader h = parseReplyHeader(bytes({0xFD, 0xFD, 0x00, 0x07, 0x00, 0x01, 1, 2}));
    EXPECT_EQ(h.sequence, 7);
    EXPECT_EQ(h.opcode, 1);
    EXPECT_EQ(h.mac, (Mac{1, 2, 0, 0, 0, 0}));
    EXPECT_EQ(h.status, 0);
    // Status is low byte first: 02 00 marks a record, 00 01 is 256.
    auto d = std::vector<std::uint8_t>(18, 0);
    d[16] = 0x00;
    d[17] = 0x01;
    EXPECT_EQ(parseReplyHeader(d).status, 256);
    d[3] = 9;
    d[16] = 0x02;
    d[17] = 0x00;
    EXPECT_TRUE(isSearchReply(d, 9));
    EXPECT_FALSE(isSearchReply(d, 8)) << "another request's sequence";
}

DeviceRecord sampleRecord()
{
    DeviceRecord r;
    const std::uint8_t mac[6] = {0, 19, 169, 200, 1, 2};
    std::memcpy(r.bytes.data() + 6, mac, 6);
    r.bytes[18] = '0';
    r.bytes[19] = 'A';
    r.bytes[20] = '1';
    r.bytes[21] = 'H';
    r.bytes[25] = 2;
    r.bytes[24] = 10;
    r.bytes[23] = 'b';
    r.bytes[29] = 1;
    r.bytes[28] = 5;
    r.bytes[27] = 'a';
    r.setText(DeviceRecord::kModel, DeviceRecord::kModelSize, "CS-100");
    r.setText(DeviceRecord::kName, DeviceRecord::kNameSize, "Door");
    r.setText(DeviceRecord::kLocation, DeviceRecord::kLocationSize, "Hall");
    r.setWord(DeviceRecord::kServerStatus, 0xFFFE);
    r.setWord(DeviceRecord::kFlags, 0xC7C8);
    const std::uint8_t addr[12] = {198, 18, 0, 11, 255, 255, 255, 0, 198, 18, 0, 254};
    std::memcpy(r.bytes.data() + 170, addr, 12);
    return r;
}

TEST(DeviceRecordFields, ShowTheirTexts)
{
    const DeviceRecord r = sampleRecord();
    EXPECT_EQ(r.macText(), "0.19.169.200.1.2") << "bytes above 127 print as 128-255";
    EXPECT_EQ(r.firmwareVersionText(), "1.05a");
    EXPECT_EQ(r.romVersionText(), "2.10b");
    EXPECT_EQ(r.hardwareVersionText(), "H1A0");
    EXPECT_EQ(r.model(), "CS-100");
    EXPECT_EQ(r.name(), "Door");
    EXPECT_EQ(r.location(), "Hall");
    EXPECT_EQ(r.ipText(), "198.18.0.11");
    EXPECT_EQ(r.maskText(), "255.255.255.0");
    EXPECT_EQ(r.gatewayText(), "198.18.0.254");
    EXPECT_EQ(r.serverStatus(), -2);
    EXPECT_EQ(r.flags(), 0xC7C8);
}

TEST(DeviceRecordFields, TextsWithoutTerminatorStopAtTheirField)
{
    DeviceRecord r;
    std::memset(r.bytes.data() + DeviceRecord::kModel, 'M', DeviceRecord::kModelSize);
    std::memset(r.bytes.data() + DeviceRecord::kName, 'N', DeviceRecord::kNameSize);
    std::memset(r.bytes.data() + DeviceRecord::kLocation, 'L', DeviceRecord::kLocationSize);
    EXPECT_EQ(r.model(), std::string(32, 'M'));
    EXPECT_EQ(r.name(), std::string(32, 'N'));
    EXPECT_EQ(r.location(), std::string(64, 'L'));
}

TEST(DeviceRecordFields, DatagramsAreCutToTheRecordAndZeroPadded)
{
    std::vector<std::uint8_t> big(600, 0xAB);
    EXPECT_EQ(DeviceRecord::fromDatagram(big).bytes[243], 0xAB);
    const DeviceRecord small = DeviceRecord::fromDatagram(std::vector<std::uint8_t>(40, 0x11));
    EXPECT_EQ(small.bytes[39], 0x11);
    EXPECT_EQ(small.bytes[40], 0);
    EXPECT_EQ(small.bytes[243], 0);
}

TEST(DeviceRecordFields, BodiesFillFromByte18AndCopyTheMac)
{
    DeviceRecord r = sampleRecord();
    std::vector<std::uint8_t> body(300, 0x22); // longer than the record's body
    for (int i = 0; i < 6; ++i)
        body[DeviceRecord::kMacCopy - 18 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0xA0 + i);
    r.fillFromBody(body);
    EXPECT_EQ(r.bytes[0], 0) << "the header stays";
    EXPECT_EQ(r.bytes[18], 0x22);
    EXPECT_EQ(r.macText(), "160.161.162.163.164.165");
    // A short body leaves the rest of the record zero, not what was there before.
    r = sampleRecord();
    r.fillFromBody(std::vector<std::uint8_t>(10, 0x33));
    EXPECT_EQ(r.bytes[27], 0x33);
    EXPECT_EQ(r.bytes[28], 0);
    EXPECT_EQ(r.name(), "");
    EXPECT_EQ(r.macText(), "0.0.0.0.0.0");
}

TEST(MulticastPackets, RequestsHoldTheirFields)
{
    const LocalId id{{2, 0, 0, 0, 0, 1}, {198, 18, 0, 1}};
    const Mac cam{0, 1, 2, 3, 4, 5};
    const IPv4 camIp{198, 18, 0, 12};
    EXPECT_EQ(buildMulticastSearch(id), bytes({1, 2, 0, 0, 0, 0, 1, 198, 18, 0, 1}));

    const auto pw = buildPasswordCheck(id, cam, camIp, "ad", "pw");
    ASSERT_EQ(pw.size(), 28u + 6u);
    EXPECT_EQ(pw[0], 3);
    EXPECT_EQ(std::vector<std::uint8_t>(pw.begin() + 11, pw.begin() + 21),
              bytes({0, 1, 2, 3, 4, 5, 198, 18, 0, 12}));
    EXPECT_EQ(pw[21], 4);
    EXPECT_EQ(std::vector<std::uint8_t>(pw.begin() + 22, pw.end()),
              bytes({0, 0, 6, 0, 0, 0, 'a', 'd', 0x55, 0xAA, 'p', 'w'}));

    const auto set = buildSetAddress(id, cam, camIp, 2, "10.0.0.9", "255.0.0.0", "0.0.0.0");
    ASSERT_EQ(set.size(), 60u + 8u);
    EXPECT_EQ(set[21], 0x02);
    EXPECT_STREQ(reinterpret_cast<const char*>(set.data() + 24), "255.0.0.0");
    EXPECT_STREQ(reinterpret_cast<const char*>(set.data() + 40), "0.0.0.0");
    EXPECT_EQ(set[56], 8);
    EXPECT_EQ(std::string(set.begin() + 60, set.end()), "10.0.0.9");
    // Over-long texts are cut inside their field and stay terminated.
    const auto longMask = buildSetAddress(id, cam, camIp, 0, "1.2.3.4", std::string(40, '9'), "");
    EXPECT_EQ(longMask[39], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(longMask.data() + 24)), std::string(15, '9'));

    EXPECT_EQ(buildWirelessQuery(id, cam, camIp).size(), 21u);
}

std::vector<std::uint8_t> foundAnswer(const std::string& name, std::uint32_t nameLength, int wireless)
{
    std::vector<std::uint8_t> d(72, 0);
    d[0] = 7;
    const std::uint8_t mac[6] = {0, 1, 2, 3, 4, 200};
    std::memcpy(d.data() + 11, mac, 6);
    d[17] = 198;
    d[18] = 18;
    d[19] = 0;
    d[20] = 12;
    d[22] = 0x90;
    d[23] = 0x1F; // 8080
    std::memcpy(d.data() + 24, "255.255.255.0", 13);
    std::memcpy(d.data() + 40, "198.18.0.254", 12);
    d[58] = static_cast<std::uint8_t>(wireless);
    std::memcpy(d.data() + 68, &nameLength, 4);
    d.insert(d.end(), name.begin(), name.end());
    return d;
}

TEST(MulticastPackets, DeviceFoundBecomesARecord)
{
    struct Case
    {
        const char* what;
        std::vector<std::uint8_t> answer;
        const char* name;
        std::uint16_t flags;
    };
    const Case cases[] = {
        {"wired", foundAnswer("Porch", 5, 1), "Porch", 0xC7C8},
        {"wireless byte other than 1", foundAnswer("Porch", 5, 0), "Porch", 0xE7C8},
        {"no name", foundAnswer("", 0, 1), "N/A", 0xC7C8},
        {"negative name length", foundAnswer("xx", 0xFFFFFFFF, 1), "N/A", 0xC7C8},
        {"name length beyond the datagram", foundAnswer("Gate", 100000, 1), "Gate", 0xC7C8},
        {"name longer than the field", foundAnswer(std::string(40, 'z'), 40, 1),
         "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz", 0xC7C8},
    };
    for (const Case& c : cases) {
        const auto f = parseDeviceFound(c.answer);
        ASSERT_TRUE(f) << c.what;
        const DeviceRecord r = recordFromDeviceFound(*f, 3);
        EXPECT_EQ(r.name(), c.name) << c.what;
        EXPECT_EQ(r.flags(), c.flags) << c.what;
        EXPECT_EQ(r.model(), "N/A") << c.what;
        EXPECT_EQ(r.macText(), "0.1.2.3.4.200") << c.what;
        EXPECT_EQ(r.ipText(), "198.18.0.12") << c.what;
        EXPECT_EQ(r.maskText(), "255.255.255.0") << c.what;
        EXPECT_EQ(r.gatewayText(), "198.18.0.254") << c.what;
        EXPECT_EQ(r.webPort(), 8080u) << c.what;
        EXPECT_EQ(r.serverStatus(), 3) << c.what;
        EXPECT_EQ(r.bytes[0], 2) << c.what;
    }
    EXPECT_FALSE(parseDeviceFound(bytes({9, 0, 0}))) << "another operation";
}

TEST(MulticastPackets, WirelessAnswerFieldsAndShortAnswers)
{
    std::vector<std::uint8_t> d(106, 0);
    d[0] = 9;
    d[17] = 10;
    d[20] = 7;
    d[59] = 1;
    std::memset(d.data() + 60, 'S', 33); // no terminator inside the field
    d[93] = 2;
    d[94] = 3;
    d[95] = 200;
    d[96] = 11;
    d[97] = 4;
    d[98] = 0x01;
    d[101] = 0x80;
    d[102] = 0xFF;
    const auto a = parseWirelessAnswer(d);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->cameraAddress, (IPv4{10, 0, 0, 7}));
    EXPECT_EQ(a->link.ssidText(), std::string(33, 'S'));
    EXPECT_EQ(a->link.signalStrength, 200);
    EXPECT_EQ(a->link.channel, 11);
    EXPECT_EQ(a->link.receivedPackets, 0x80000001u);
    EXPECT_EQ(a->link.transmittedPackets, 0xFFu);
    // A datagram cut after the SSID reads the rest as zero.
    d.resize(70);
    const auto cut = parseWirelessAnswer(d);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->link.ssidText(), "SSSSSSSSSS");
    EXPECT_EQ(cut->link.channel, 0);
}

TEST(ProbePages, GetInfoMakesTheSyntheticRecord)
{
    std::vector<std::uint8_t> body(512, 0);
    std::memcpy(body.data() + 3, "Garden-Cam", 10);
    const DeviceRecord r = recordFromGetInfo(body, IPv4{198, 18, 0, 13});
    EXPECT_EQ(r.name(), "Garden-Cam");
    EXPECT_EQ(r.model(), "QVT-410");
    EXPECT_EQ(r.maskText(), "255.255.255.0");
    EXPECT_EQ(r.gatewayText(), "192.168.1.1");
    EXPECT_EQ(r.macText(), "0.0.0.0.0.0");
    EXPECT_EQ(r.ipText(), "198.18.0.13");
    EXPECT_EQ(r.bytes[12], 198);
    EXPECT_EQ(r.bytes[33], 13);
    EXPECT_EQ(r.flags(), 0xC7C8);
    EXPECT_EQ(r.serverStatus(), 2);
    // A name filling all 32 bytes ends inside its field (byte 101 is 0); a short body is enough.
    std::vector<std::uint8_t> full(40, 'Q');
    EXPECT_EQ(recordFromGetInfo(full, {}).name(), std::string(31, 'Q'));
    EXPECT_EQ(recordFromGetInfo(bytes({1, 2}), {}).name(), "");
}

std::vector<std::uint8_t> devInfoAnswer(const std::string& head, std::size_t bodySize)
{
    std::vector<std::uint8_t> a(head.begin(), head.end());
    a.insert(a.end(), bodySize, 0x44);
    return a;
}

TEST(ProbePages, DevInfoAnswersAreChecked)
{
    struct Case
    {
        const char* what;
        std::vector<std::uint8_t> answer;
        std::optional<std::size_t> body;
    };
    const std::string ok = "HTTP/1.0 200 OK\r\nContent-Length: 226\r\n\r\n";
    const Case cases[] = {
        {"whole", devInfoAnswer(ok, 226), 226},
        {"body cut by what came", devInfoAnswer(ok, 220), 220},
        {"length smaller than what came", devInfoAnswer("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n", 300),
         5},
        {"fewer than 256 bytes", devInfoAnswer(ok, 100), std::nullopt},
        {"no 200", devInfoAnswer("HTTP/1.0 404 Not Found\r\nContent-Length: 226\r\n\r\n", 226), std::nullopt},
        {"no length", devInfoAnswer("HTTP/1.0 200 OK\r\nServer: x\r\n\r\n", 300), std::nullopt},
        {"length 0", devInfoAnswer("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", 300), std::nullopt},
        {"length above 1000", devInfoAnswer("HTTP/1.0 200 OK\r\nContent-Length: 1001\r\n\r\n", 300),
         std::nullopt},
        {"negative length", devInfoAnswer("HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n", 300),
         std::nullopt},
        {"no blank line", devInfoAnswer("HTTP/1.0 200 OK\r\nContent-Length: 226\r\n", 300), std::nullopt},
    };
    for (const Case& c : cases) {
        const auto body = devInfoCgiBody(c.answer);
        ASSERT_EQ(body.has_value(), c.body.has_value()) << c.what;
        if (body) {
            EXPECT_EQ(body->size(), *c.body) << c.what;
        }
    }
}

TEST(ExtendedInformation, TextsAndPort)
{
    ExtendedInfoReply r{};
    std::memcpy(r.data() + 149, "first", 5);
    std::memset(r.data() + 213, 'x', 64); // fills its field: read no further
    r[277] = 'y';
    r[279] = 0x50;
    r[280] = 0x1F;
    EXPECT_EQ(extendedInfoText(r, 0), "first");
    EXPECT_EQ(extendedInfoText(r, 1), std::string(64, 'x'));
    EXPECT_EQ(extendedInfoWebPort(r), 8016);
}

TEST(LocalTables, SubnetTestSkipsEmptySlots)
{
    LocalTables t;
    t.count = 2;
    t.addresses[0] = {0, 0, 0, 0};
    t.masks[0] = {0, 0, 0, 0}; // would match everything if it counted
    t.addresses[1] = {198, 18, 0, 1};
    t.masks[1] = {255, 255, 255, 0};
    t.addresses[2] = {10, 0, 0, 1}; // beyond the count
    t.masks[2] = {255, 0, 0, 0};
    EXPECT_TRUE(isOnLocalSubnet(t, {198, 18, 0, 200}));
    EXPECT_FALSE(isOnLocalSubnet(t, {198, 19, 0, 200}));
    EXPECT_FALSE(isOnLocalSubnet(t, {10, 1, 2, 3}));
    EXPECT_TRUE(isLocalSlot(0));
    EXPECT_TRUE(isLocalSlot(9));
    EXPECT_FALSE(isLocalSlot(10));
    EXPECT_FALSE(isLocalSlot(-1));
}

TEST(AddressText, DottedBytesBothWays)
{
    std::uint8_t b[10] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    dottedToBytes("1.2.300.4", b, 10);
    EXPECT_EQ(bytesToDotted(b, 10), "1.2.44.4.9.9.9.9.9.9");
    dottedToBytes("", b, 10);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[1], 2);
    std::uint8_t a[4];
    EXPECT_TRUE(parseIPv4("10.0.0.1", a));
    EXPECT_FALSE(parseIPv4("10.0.0.256", a));
    EXPECT_FALSE(parseIPv4("10.0.1", a));
}

} // namespace
} // namespace tessivor::camproto
