// The found-device, access-point and local-identity members over lists filled by hand, and the
// members' arguments outside their ranges. No network.
#include "camproto/device_record.h"
#include "control/cimage.h"
#include "control/discovery_state.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace tessivor {
namespace {

camproto::DeviceRecord record(std::uint8_t macLast, std::uint16_t flags, const char* model,
                              std::uint32_t webPort)
{
    camproto::DeviceRecord r;
    r.bytes[6] = 0xC0;
    r.bytes[11] = macLast;
    r.setWord(camproto::DeviceRecord::kFlags, flags);
    r.setText(camproto::DeviceRecord::kModel, camproto::DeviceRecord::kModelSize, model);
    std::memcpy(r.bytes.data() + camproto::DeviceRecord::kWebPort, &webPort, 4);
    r.bytes[170] = 10;
    r.bytes[173] = macLast;
    return r;
}

TEST(FoundDevices, SelectionOutsideTheListGivesEmptyValues)
{
    CImage c;
    CImagePeer::discovery(c).addIfNew(record(1, 0x0800, "A", 0));
    EXPECT_EQ(CImagePeer::discovery(c).addIfNew(record(1, 0, "again", 0)), 0u) << "same MAC: listed once";
    std::int32_t count = 0;
    c.get_SearchCount(&count);
    EXPECT_EQ(count, 1);
    for (std::int32_t index : {-2, 1, 7, -3}) {
        c.put_FoundIndex(index);
        std::string ip = "x", mac = "x", model = "x";
        std::int32_t prop = 5, protocol = 5;
        std::int16_t status = 5;
        c.get_FoundIPAddress(&ip);
        c.get_FoundMACAddress(&mac);
        c.get_FoundServerModel(&model);
        c.get_FoundProp(&prop);
        c.get_FoundDevServerStatus(&status);
        c.get_FoundProtocol(&protocol);
        EXPECT_EQ(ip, "") << index;
        EXPECT_EQ(mac, "") << index;
        EXPECT_EQ(model, "") << index;
        EXPECT_EQ(prop, 0) << index;
        EXPECT_EQ(status, 0) << index;
        EXPECT_EQ(protocol, 0) << index;
    }
    c.put_FoundIndex(0);
    std::string ip;
    c.get_FoundIPAddress(&ip);
    EXPECT_EQ(ip, "10.0.0.1");
}

TEST(FoundDevices, ProtocolFromTheRecordFlags)
{
    CImage c;
    c.put_RemoteHost("127.0.0.1");
    c.put_RemotePort(1); // nothing answers there
    CImagePeer::discovery(c).addIfNew(record(1, 0x0800, "V", 0));
    CImagePeer::discovery(c).addIfNew(record(2, 0x0000, "N", 0));
    CImagePeer::discovery(c).addIfNew(record(3, 0xC7C8, "N/A", 8088));
    CImagePeer::discovery(c).current = record(4, 0xE7C8, "N/A", 0);
    struct Case
    {
        std::int32_t index;
        std::int32_t protocol;
    };
    for (const Case& k : {Case{0, PROTOCOL_VIDEO_CGI}, Case{1, PROTOCOL_NATIVE}, Case{2, PROTOCOL_KESTRA},
                          Case{-1, PROTOCOL_KESTRA}, Case{-2, PROTOCOL_NATIVE}}) {
        c.put_FoundIndex(k.index);
        std::int32_t p = -9;
        c.get_FoundProtocol(&p);
        EXPECT_EQ(p, k.protocol) << k.index;
    }
    std::int32_t webPort = 0;
    c.get_RemoteWebPort(&webPort);
    EXPECT_EQ(webPort, 8088) << "a Kestra entry without a model takes its web port from the record";
}

TEST(FoundDevices, UnknownModesLeaveTheResultAlone)
{
    CImage c;
    std::int32_t result = 42;
    c.SearchDevice(2, "", &result);
    EXPECT_EQ(result, 42);
    c.ProbeDevice(7, VARIANT_TRUE, &result);
    EXPECT_EQ(result, 42);
    std::string text = "kept";
    c.FoundString(2, &text);
    EXPECT_EQ(text, "kept");
    c.FoundString(0, &text);
    EXPECT_EQ(text, "") << "no reply yet";
}

TEST(AccessPoints, SelectionByNumber)
{
    CImage c;
    DiscoveryState& d = CImagePeer::discovery(c);
    for (int i = 0; i < 3; ++i) {
        SiteSurveyEntry e;
        e.magic = 100u + static_cast<std::uint32_t>(i);
        const std::string bssid = "00:00:00:00:00:0" + std::to_string(i);
        std::copy(bssid.begin(), bssid.end(), e.bssid.begin());
        std::snprintf(e.ssid.data(), e.ssid.size(), "net%d", i);
        e.channel = static_cast<std::uint8_t>(1 + i);
        e.signal = 200;
        d.apList.push_back(e);
    }
    d.apCount = 3;
    std::strcpy(d.wirelessLink.ssid.data(), "own-link");
    d.wirelessLink.channel = 11;
    struct Case
    {
        std::int32_t put;
        std::int32_t get;
        const char* ssid;
        const char* bssid;
        std::int32_t channel;
    };
    const Case cases[] = {
        {1, 0, "net0", "00:00:00:00:00:00", 1}, {7, 2, "net2", "00:00:00:00:00:02", 3},
        {0, 0, "net0", "00:00:00:00:00:00", 1}, {-5, 0, "net0", "00:00:00:00:00:00", 1},
        {2, 1, "net1", "00:00:00:00:00:01", 2}, {-1, -1, "own-link", "", 11},
    };
    for (const Case& k : cases) {
        c.put_WiFiAPNum(k.put);
        std::int32_t got = 0, channel = 0;
        std::string ssid, bssid;
        c.get_WiFiAPNum(&got);
        c.get_WLSSID(&ssid);
        c.get_WLBSSID(&bssid);
        c.get_WLChannel(&channel);
        EXPECT_EQ(got, k.get) << k.put;
        EXPECT_EQ(ssid, k.ssid) << k.put;
        EXPECT_EQ(bssid, k.bssid) << k.put;
        EXPECT_EQ(channel, k.channel) << k.put;
    }
    // A fuller SSID field than its text: read to the field's end, no further.
    std::memset(d.apList[0].ssid.data(), 'S', d.apList[0].ssid.size());
    c.put_WiFiAPNum(1);
    std::string ssid;
    c.get_WLSSID(&ssid);
    EXPECT_EQ(ssid, std::string(33, 'S'));
    // A later survey with fewer entries: the old selection counts as none.
    c.put_WiFiAPNum(3);
    d.apCount = 1;
    d.apList.resize(1);
    std::int32_t magic = 7;
    c.get_WLMagic(&magic);
    EXPECT_EQ(magic, 0);
    c.get_WLSSID(&ssid);
    EXPECT_EQ(ssid, "own-link");
    // An empty list selects nothing.
    d.apList.clear();
    c.put_WiFiAPNum(4);
    std::int32_t got = 0;
    c.get_WiFiAPNum(&got);
    EXPECT_EQ(got, -1);
}

TEST(LocalIdentities, SlotsOutsideTheTablesGiveNothing)
{
    CImage c;
    c.SetLocalUUID(3, Variant::str("1.2.3.4.5.6.7.8.9.10"));
    std::string text;
    c.GetLocalUUID(3, &text);
    EXPECT_EQ(text, "1.2.3.4.5.6.7.8.9.10");
    for (std::int32_t slot : {-1, 10, 1000}) {
        c.SetLocalUUID(slot, Variant::str("9.9.9.9.9.9.9.9.9.9")); // ignored
        std::string out = "x", ip = "x", mask = "x", mac = "x";
        c.GetLocalUUID(slot, &out);
        c.GetLocalIP(slot, &ip);
        c.GetLocalMask(slot, &mask);
        c.GetLocalMAC(slot, &mac);
        EXPECT_EQ(out, "") << slot;
        EXPECT_EQ(ip, "") << slot;
        EXPECT_EQ(mask, "") << slot;
        EXPECT_EQ(mac, "") << slot;
    }
    c.put_LUUIDNum(4);
    std::int32_t n = 0;
    c.get_LUUIDNum(&n);
    EXPECT_EQ(n, 4);
}

} // namespace
} // namespace tessivor
