// Search, probe, extended information and the multicast members end to end, in a network of
// namespaces made by the test (netns_lab.h): two simulated cameras on the host's segment (a of
// the VIDEO.CGI family, b of the Kestra family), two behind a router (c native, d multipart).
// Protocol waits run on the simulated clock: a silence costs a short real grace.
#include "event_recorder.h"
#include "host_runner.h"
#include "netns_lab.h"

#include "control/cimage.h"
#include "control/discovery_state.h"
#include "tests/camproto/sim_clock.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <set>

namespace tessivor::testing {
namespace {

struct CameraSpec
{
    const char* ns;
    const char* address;
    const char* mac;
    std::vector<std::string> args;
};

const CameraSpec kCameras[] = {
    {"a", "198.18.0.11", "0.19.169.200.1.2", {"--family",   "videocgi",    "--udp-any",    "--udp-port",
                                              "62976",      "--http-port", "80",           "--name",
                                              "Front door", "--model",     "VC-200",       "--firmware",
                                              "1.05a",      "--rom",       "2.10b",        "--location",
                                              "Porch",      "--gateway",   "198.18.0.254", "--web-port",
                                              "8081",       "--serial",    "A-SERIAL"}},
    {"b",
     "198.18.0.12",
     "2.0.0.0.0.11",
     {"--family", "kestra", "--multicast", "--udp-port", "-1", "--http-port", "80", "--name", "Garden",
      "--gateway", "198.18.0.254", "--web-port", "8088"}},
    {"c",
     "198.19.0.13",
     "0.1.2.3.4.13",
     {"--family", "native", "--udp-any", "--udp-port", "62976", "--http-port", "-1", "--name", "Yard",
      "--model", "NT-1", "--firmware", "1.19"}},
    {"d",
     "198.19.0.14",
     "0.1.2.3.4.14",
     {"--family", "multipart", "--udp-any", "--udp-port", "62976", "--http-port", "80", "--name", "Shed",
      "--model", "MP-4", "--serial", "D-SERIAL"}},
};

NetnsLab* g_lab = nullptr;

class LabEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        g_lab = new NetnsLab();
        if (!g_lab->ready())
            return;
        try {
            for (const CameraSpec& c : kCameras) {
                std::vector<std::string> args{"--address",     c.address, "--any-address",  "--mac", c.mac,
                                              "--native-port", "8481",    "--control-port", "-1"};
                args.insert(args.end(), c.args.begin(), c.args.end());
                g_lab->startCamera(c.ns, TESSIVOR_CAMSIM_EXE, args);
            }
        } catch (const std::exception& e) {
            m_error = e.what();
        }
    }
    void TearDown() override
    {
        delete g_lab;
        g_lab = nullptr;
    }
    static std::string m_error;
};
std::string LabEnvironment::m_error;

[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new LabEnvironment);

class Discovery : public ::testing::Test
{
public:
    void SetUp() override
    {
        if (!g_lab || !g_lab->ready())
            GTEST_SKIP() << "no network namespaces: " << (g_lab ? g_lab->error() : "no lab");
        ASSERT_EQ(LabEnvironment::m_error, "");
        installClock(&clock);
        control = std::make_unique<CImage>();
        control->events().advise(recorderPtr, &cookie);
    }
    void TearDown() override
    {
        if (control)
            control->events().unadvise(cookie);
        control.reset();
        installClock(nullptr);
    }

    std::string text(HRESULT (CImage::*get)(std::string*))
    {
        std::string v;
        EXPECT_EQ((control.get()->*get)(&v), S_OK);
        return v;
    }
    std::int32_t number(HRESULT (CImage::*get)(std::int32_t*))
    {
        std::int32_t v = -99;
        EXPECT_EQ((control.get()->*get)(&v), S_OK);
        return v;
    }
    int eventCount(DispId id, std::int32_t firstArg) const
    {
        return static_cast<int>(
            std::count_if(recorder.events.begin(), recorder.events.end(), [&](const auto& e) {
                return e.id == id && !e.args.empty() && e.args[0] == firstArg;
            }));
    }
    void aimAt(const CameraSpec& c)
    {
        control->put_RemoteHost(c.address);
        control->put_MACAddress(c.mac);
        control->put_RemotePort(80);
    }

    std::shared_ptr<EventRecorder> recorderPtr = std::make_shared<EventRecorder>();
    EventRecorder& recorder = *recorderPtr;
    std::uint32_t cookie = 0;
    SimClock clock{500, SimClock::Mode::Running};
    std::unique_ptr<CImage> control;
};

struct Expected
{
    const char* mac;
    const char* ip;
    const char* name;
    const char* model;
    const char* firmware;
    const char* mask;
    const char* gateway;
    std::int32_t prop;
};

// The found list holds exactly the segment's cameras, b by multicast and a by broadcast.
void expectSegment(Discovery& t, CImage& c)
{
    std::int32_t count = 0;
    c.get_SearchCount(&count);
    ASSERT_EQ(count, 2);
    const Expected want[] = {
        {"2.0.0.0.0.11", "198.18.0.12", "Garden", "N/A", "0.00", "255.255.255.0", "198.18.0.254", 0xC7C8},
        {"0.19.169.200.1.2", "198.18.0.11", "Front door", "VC-200", "1.05a", "255.255.255.0", "198.18.0.254",
         0x0800},
    };
    std::set<std::string> seen;
    for (std::int32_t i = 0; i < 2; ++i) {
        c.put_FoundIndex(i);
        std::string mac;
        c.get_FoundMACAddress(&mac);
        seen.insert(mac);
        const Expected* e = nullptr;
        for (const Expected& w : want)
            if (mac == w.mac)
                e = &w;
        ASSERT_NE(e, nullptr) << "unexpected camera " << mac;
        EXPECT_EQ(t.text(&CImage::get_FoundIPAddress), e->ip);
        EXPECT_EQ(t.text(&CImage::get_FoundDeviceName), e->name);
        EXPECT_EQ(t.text(&CImage::get_FoundServerModel), e->model);
        EXPECT_EQ(t.text(&CImage::get_FoundFWVersion), e->firmware);
        EXPECT_EQ(t.text(&CImage::get_FoundSubMask), e->mask);
        EXPECT_EQ(t.text(&CImage::get_FoundDefGateway), e->gateway);
        EXPECT_EQ(t.number(&CImage::get_FoundProp), e->prop);
    }
    EXPECT_EQ(seen.size(), 2u);
}

// ---- packet capture ----

struct CapturedUdp
{
    std::array<std::uint8_t, 4> src, dst;
    std::uint16_t dstPort;
    std::vector<std::uint8_t> payload;
};

std::vector<CapturedUdp> drain(int fd, std::vector<std::array<std::uint8_t, 4>>* addresses)
{
    std::vector<CapturedUdp> out;
    std::uint8_t frame[4096];
    while (true) {
        const ssize_t n = ::recv(fd, frame, sizeof frame, MSG_DONTWAIT);
        if (n <= 0)
            return out;
        if (n < 34 || frame[12] != 0x08 || frame[13] != 0x00)
            continue; // not IPv4
        const std::uint8_t* ip = frame + 14;
        const std::size_t ihl = (ip[0] & 0x0F) * 4u;
        std::array<std::uint8_t, 4> src{}, dst{};
        std::memcpy(src.data(), ip + 12, 4);
        std::memcpy(dst.data(), ip + 16, 4);
        addresses->push_back(src);
        addresses->push_back(dst);
        if (ip[9] != 17 || static_cast<std::size_t>(n) < 14 + ihl + 8)
            continue;
        const std::uint8_t* udp = ip + ihl;
        const std::size_t length = static_cast<std::size_t>((udp[4] << 8) | udp[5]);
        CapturedUdp u{src, dst, static_cast<std::uint16_t>((udp[2] << 8) | udp[3]), {}};
        const std::size_t payload = std::min(length - 8, static_cast<std::size_t>(n) - 14 - ihl - 8);
        u.payload.assign(udp + 8, udp + 8 + payload);
        out.push_back(std::move(u));
    }
}

bool insideLab(const std::array<std::uint8_t, 4>& a)
{
    return (a[0] == 198 && (a[1] == 18 || a[1] == 19)) || a[0] >= 224 || a == std::array<std::uint8_t, 4>{};
}

TEST_F(Discovery, SearchInTheCallFindsTheSegmentAndSendsTheRequestsOfTheProtocol)
{
    const int capture = g_lab->openCapture();
    ASSERT_GE(capture, 0) << "raw socket on the bridge";
    std::int32_t result = 0;
    ASSERT_EQ(control->SearchDevice(0, "", &result), S_OK);
    EXPECT_EQ(result, -1);
    expectSegment(*this, *control);
    messageLoop::pump();
    EXPECT_TRUE(recorder.events.empty()) << "a search in the call posts nothing";

    // Both local addresses asked, each from its own slot; b answered both and is listed once.
    EXPECT_EQ(number(&CImage::get_LUUIDNum), 1);
    std::string slot0, slot1;
    control->GetLocalUUID(0, &slot0);
    control->GetLocalUUID(1, &slot1);
    EXPECT_TRUE(slot0.ends_with(".198.18.0.1")) << slot0;
    EXPECT_TRUE(slot1.ends_with(".198.18.0.2")) << slot1;

    std::vector<std::array<std::uint8_t, 4>> addresses;
    const auto packets = drain(capture, &addresses);
    ::close(capture);
    int searches = 0;
    std::set<std::string> askers;
    for (const CapturedUdp& p : packets) {
        if (p.dstPort == 62976 && p.dst == std::array<std::uint8_t, 4>{255, 255, 255, 255}) {
            ++searches;
            ASSERT_EQ(p.payload.size(), 18u);
            EXPECT_EQ(p.payload[0], 0xFD);
            EXPECT_EQ(p.payload[1], 0xFD);
            EXPECT_EQ(p.payload[4], 0x00);
            EXPECT_EQ(p.payload[5], 0x01);
            EXPECT_EQ(std::vector<std::uint8_t>(p.payload.begin() + 6, p.payload.end()),
                      std::vector<std::uint8_t>({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}));
        }
        if (p.dstPort == 13579 && p.dst == std::array<std::uint8_t, 4>{224, 0, 0, 1} &&
            p.payload.size() == 11 && p.payload[0] == 1) {
            askers.insert(std::to_string(p.payload[7]) + "." + std::to_string(p.payload[8]) + "." +
                          std::to_string(p.payload[9]) + "." + std::to_string(p.payload[10]));
            EXPECT_EQ(p.src[3], p.payload[10]) << "sent from the address it names";
        }
    }
    EXPECT_EQ(searches, 1);
    EXPECT_EQ(askers, (std::set<std::string>{"198.18.0.1", "198.18.0.2"}));
    for (const auto& a : addresses)
        EXPECT_TRUE(insideLab(a)) << int(a[0]) << "." << int(a[1]) << "." << int(a[2]) << "." << int(a[3]);
}

TEST_F(Discovery, SearchOnWorkersReportsEachCameraAndEndsOnce)
{
    std::int32_t result = 0;
    ASSERT_EQ(control->SearchDevice(1, "", &result), S_OK);
    EXPECT_EQ(result, -1);
    // The worker that ends second reports: the multicast search, which asks from two addresses.
    // Meanwhile the host reads the identity slots that the search fills: never a torn one.
    std::set<std::string> slotsSeen;
    ASSERT_TRUE(pumpUntil(
        [&] {
            for (std::int32_t slot : {0, 1}) {
                std::string id;
                control->GetLocalUUID(slot, &id);
                slotsSeen.insert(id);
            }
            std::int32_t number = -1;
            control->get_LUUIDNum(&number);
            EXPECT_TRUE(number == 0 || number == 1) << number;
            return std::any_of(recorder.events.begin(), recorder.events.end(),
                               [](const auto& e) { return e.id == DISPID_EndSearchDevice; });
        },
        std::chrono::seconds(60)));
    // Nothing more is coming: both workers have ended.
    CImagePeer::discovery(*control).broadcastThread.join();
    CImagePeer::discovery(*control).multicastThread.join();
    messageLoop::pump();
    EXPECT_EQ(recorder.imageCodes(), (std::vector<std::int32_t>{EVT_DEVICE_FOUND, EVT_DEVICE_FOUND}));
    int ends = 0;
    for (const auto& e : recorder.events)
        ends += e.id == DISPID_EndSearchDevice;
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(eventCount(DISPID_EndSearchDevice, 0), 1) << "the multicast search's result";
    expectSegment(*this, *control);
    std::string slot0, slot1;
    control->GetLocalUUID(0, &slot0);
    control->GetLocalUUID(1, &slot1);
    slotsSeen.erase("0.0.0.0.0.0.0.0.0.0");
    slotsSeen.erase(slot0);
    slotsSeen.erase(slot1);
    EXPECT_TRUE(slotsSeen.empty()) << "a slot read half written: " << *slotsSeen.begin();
}

TEST_F(Discovery, TargetedSearchAnswersWhetherTheAddressIsThere)
{
    std::int32_t result = 0;
    control->SearchDevice(0, "198.18.0.11", &result);
    EXPECT_EQ(result, -1);
    control->SearchDevice(0, "198.19.0.13", &result);
    EXPECT_EQ(result, 0) << "behind the router: the broadcast cannot reach it";
}

TEST_F(Discovery, ProbeGivesEachFamilyItsProtocolAndLocality)
{
    struct Case
    {
        const CameraSpec& camera;
        std::int32_t protocolBefore;
        std::int32_t protocol;
        bool local;
        const char* model;
        const char* mac;
        std::int32_t foundProtocol;
    };
    const Case cases[] = {
        {kCameras[0], PROTOCOL_MJPEG_CGI, PROTOCOL_MJPEG_CGI, true, "VC-200", "0.19.169.200.1.2",
         PROTOCOL_VIDEO_CGI},
        {kCameras[1], PROTOCOL_VIDEO_CGI, PROTOCOL_KESTRA, false, "QVT-410", "0.0.0.0.0.0", PROTOCOL_KESTRA},
        {kCameras[2], PROTOCOL_VIDEO_CGI, PROTOCOL_NATIVE, false, "NT-1", "0.1.2.3.4.13", PROTOCOL_NATIVE},
        {kCameras[3], PROTOCOL_VIDEO_CGI, PROTOCOL_VIDEO_CGI, false, "MP-4", "0.1.2.3.4.14",
         PROTOCOL_MULTIPART},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera.ns);
        aimAt(c.camera);
        control->put_Protocol(c.protocolBefore);
        control->put_LocalCamera(toVariantBool(!c.local));
        std::int32_t result = 0;
        ASSERT_EQ(control->ProbeDevice(0, VARIANT_FALSE, &result), S_OK);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(number(&CImage::get_Protocol), c.protocol);
        VariantBool local{};
        control->get_LocalCamera(&local);
        // The Kestra camera does not speak the datagram protocol, so it never answers the check.
        EXPECT_EQ(boolValue(local) != 0, c.local);
        control->put_FoundIndex(-1);
        EXPECT_EQ(text(&CImage::get_FoundServerModel), c.model);
        EXPECT_EQ(text(&CImage::get_FoundMACAddress), c.mac);
        EXPECT_EQ(number(&CImage::get_FoundProtocol), c.foundProtocol);
    }
    std::string serial;
    control->get_DeviceSerialNo(&serial);
    EXPECT_EQ(serial, "D-SERIAL");
}

TEST_F(Discovery, ProbeKeepsLocalityWhenAskedAndReportsOnAWorker)
{
    aimAt(kCameras[0]);
    control->put_LocalCamera(VARIANT_FALSE);
    std::int32_t result = 0;
    ASSERT_EQ(control->ProbeDevice(1, VARIANT_TRUE, &result), S_OK);
    EXPECT_EQ(result, -1);
    ASSERT_TRUE(
        pumpUntil([&] { return eventCount(DISPID_EndProbeDevice, -1) > 0; }, std::chrono::seconds(60)));
    VariantBool local{};
    control->get_LocalCamera(&local);
    EXPECT_EQ(local, VARIANT_FALSE);

    // Nothing answers at an address where no camera is.
    control->put_RemoteHost("198.18.0.99");
    control->put_Protocol(PROTOCOL_MJPEG_CGI);
    control->put_ConnTimeOut(1);
    ASSERT_EQ(control->ProbeDevice(0, VARIANT_TRUE, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(number(&CImage::get_Protocol), PROTOCOL_MJPEG_CGI);
}

TEST_F(Discovery, ExtendedInformationFromTheSegmentOnly)
{
    aimAt(kCameras[0]);
    std::int32_t result = 0;
    control->DevExtInfBroadcast(&result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(number(&CImage::get_longErrCode), 0);
    EXPECT_EQ(number(&CImage::get_RemoteWebPort), 8081);
    std::string first, second, untouched = "unchanged";
    control->FoundString(0, &first);
    control->FoundString(1, &second);
    control->FoundString(2, &untouched);
    EXPECT_EQ(first, "VC-200 web");
    EXPECT_EQ(second, "A-SERIAL");
    EXPECT_EQ(untouched, "unchanged");

    aimAt(kCameras[3]);
    control->DevExtInfBroadcast(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(number(&CImage::get_longErrCode), 15);
    control->FoundString(0, &first);
    EXPECT_EQ(first, "VC-200 web") << "only a matching reply replaces the kept one";
}

TEST_F(Discovery, MulticastMembersAskFromSlotZero)
{
    std::int32_t found = 0;
    control->SearchCameraMulticast(&found);
    EXPECT_EQ(found, 1);
    aimAt(kCameras[1]);

    std::int32_t result = 0;
    control->CheckPasswordMulticast("pelko", "pelko", &result);
    EXPECT_EQ(result, -1);
    control->CheckPasswordMulticast("pelko", "wrong", &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text(&CImage::get_Password), "wrong") << "kept even when refused";

    result = 5;
    EXPECT_EQ(control->SetIPAddressMulticast("198.18.0.40", "", "", 0, &result), E_INVALIDARG);
    EXPECT_EQ(result, 0);
    control->SetIPAddressMulticast("198.18.0.40", "255.255.255.0", "", 1, &result);
    EXPECT_EQ(result, -1);

    control->DevExtInfoKestraMulticast(&result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(text(&CImage::get_WLSSID), "camsim-net");
    EXPECT_EQ(number(&CImage::get_WLChannel), 6);
    EXPECT_EQ(number(&CImage::get_WLSignalStrength), 77);
    EXPECT_EQ(number(&CImage::get_WLReceivePackets), 123456);
    EXPECT_EQ(text(&CImage::get_WLBSSID), "");

    // Slot 0 is the asking side: from an address that is not local nothing can be asked.
    control->SetLocalUUID(0, Variant::str("9.9.9.9.9.9.10.0.0.1"));
    std::string slot0;
    control->GetLocalUUID(0, &slot0);
    EXPECT_EQ(slot0, "9.9.9.9.9.9.10.0.0.1");
    control->DevExtInfoKestraMulticast(&result);
    EXPECT_EQ(result, 0);
}

TEST_F(Discovery, BroadcastLoginChecksAndAddress)
{
    aimAt(kCameras[0]); // on the host's segment; it wants no login
    std::int32_t result = 5;
    control->IsRequireAuthenticationBroadcast(&result);
    EXPECT_EQ(result, 3);
    // The camera judges the login block against the challenge it hands out.
    for (std::size_t i = 0; i < CImagePeer::discovery(*control).authBlock.size(); ++i)
        CImagePeer::discovery(*control).authBlock[i] = static_cast<std::uint8_t>(i * 7 + 3);
    control->CheckPasswordBroadcast("pelko", "pelko", &result);
    EXPECT_EQ(result, 3);
    control->CheckPasswordBroadcast("pelko", "wrong", &result);
    EXPECT_EQ(result, 2);

    control->SetIPAddress("198.18.0.41", "255.255.255.0", std::string_view(), &result);
    EXPECT_EQ(result, -1);
    aimAt(kCameras[2]); // behind the router: the broadcast does not reach it
    result = 5;
    control->SetIPAddress("198.18.0.42", "255.255.255.0", "198.18.0.254", &result);
    EXPECT_EQ(result, 0);
    control->IsRequireAuthenticationBroadcast(&result);
    EXPECT_EQ(result, 0);
}

TEST_F(Discovery, LocalTablesAndSubnetTest)
{
    std::int32_t count = 0;
    control->SearchLocalIP(&count);
    EXPECT_EQ(count, 2);
    std::string ip0, mask1, mac0, outside = "x";
    control->GetLocalIP(0, &ip0);
    control->GetLocalMask(1, &mask1);
    control->GetLocalMAC(0, &mac0);
    control->GetLocalIP(10, &outside);
    EXPECT_EQ(ip0, "198.18.0.1");
    EXPECT_EQ(mask1, "255.255.255.0");
    EXPECT_NE(mac0, "0.0.0.0.0.0");
    EXPECT_EQ(outside, "");

    VariantBool local = VARIANT_TRUE;
    EXPECT_EQ(control->IsLocalIP("198.18.0.77", &local), S_OK);
    EXPECT_EQ(boolValue(local), 1);
    EXPECT_EQ(control->IsLocalIP("198.19.0.13", &local), S_OK);
    EXPECT_EQ(boolValue(local), 0);
    local = VARIANT_TRUE;
    EXPECT_EQ(control->IsLocalIP("198.18.0.300", &local), S_FALSE);
    EXPECT_EQ(local, VARIANT_TRUE) << "not written";
}

TEST_F(Discovery, CommandLineHostRunsTheMembers)
{
    control.reset();
    HostOutcome reg = runHost(TESSIVOR_HOST_EXE, {"--module", TESSIVOR_MODULE_FILE, "--register"});
    ASSERT_EQ(reg.exitCode, 0) << reg.err;
    // The host process inherits this process's namespace and runs at the real time scale.
    HostOutcome r = runHost(TESSIVOR_HOST_EXE,
                            {"--call", "SearchDevice(0,)", "--get", "SearchCount", "--call",
                             "IsLocalIP(198.18.0.5)", "--set", "FoundIndex=0", "--get", "FoundMACAddress"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("SearchDevice -> pVal=-1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SearchCount=2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("FoundMACAddress=2.0.0.0.0.11"), std::string::npos) << r.out;
}

} // namespace
} // namespace tessivor::testing
