// Login, configuration block, clock, image settings, users, resets and outputs end to end against
// the simulated camera (tools/camsim) on a loopback address of its own: datagrams to its port
// 62976, the native connection and its web server. Datagram waits run on the simulated clock (a
// silence costs a short real grace).
#include "camsim_process.h"
#include "event_recorder.h"

#include "control/cimage.h"
#include "tests/camproto/sim_clock.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <functional>

namespace tessivor::testing {
namespace {

const char* const kMac = "0.1.2.3.4.5";

class CameraConfig : public ::testing::Test
{
protected:
    void SetUp() override { installClock(&clock); }
    void TearDown() override { installClock(nullptr); }
    SimClock clock{500, SimClock::Mode::Running};

    std::unique_ptr<CamSim> start(std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{"--family", "native", "--mac", kMac};
        args.insert(args.end(), extra.begin(), extra.end());
        return std::make_unique<CamSim>(args, true);
    }

    // A control aimed at `cam` with `protocol`; the web port for the CGI families, else the
    // native port.
    static std::unique_ptr<CImage> aim(CamSim& cam, std::int32_t protocol)
    {
        auto c = std::make_unique<CImage>();
        c->put_RemoteHost(cam.address());
        c->put_MACAddress(kMac);
        c->put_Protocol(protocol);
        c->put_RemotePort(protocol == PROTOCOL_NATIVE ? cam.nativePort() : cam.httpPort());
        c->put_TimeOut(2);
        c->put_ConnTimeOut(2);
        return c;
    }

    static std::int32_t call(const std::function<HRESULT(std::int32_t*)>& member)
    {
        std::int32_t v = 77;
        EXPECT_EQ(member(&v), S_OK);
        return v;
    }
};

// Every index's value as the getters show it: the number or the text, or "-" for neither.
std::vector<std::string> allFields(CImage& c)
{
    std::vector<std::string> out;
    for (int i = 0; i < 85; ++i) {
        std::int32_t n = 0x7EADBEEF;
        std::string t = "-";
        c.GetConfigValue(i, &n);
        c.GetConfigValueBSTR(i, &t);
        out.push_back(std::to_string(n) + "|" + t);
    }
    return out;
}

// Changes every field that has a setter of its own (the other forms name the same bytes).
void changeEveryField(CImage& c)
{
    for (int i = 0; i < 85; ++i) {
        if (i == 63 || i == 65 || i == 62 || (i >= 70 && i <= 79))
            continue;
        Variant v;
        if (i == 17)
            v = Variant::i4(3);
        else if (i == 23 || i == 66)
            v = Variant::i4(1);
        else if (i == 1 || i == 73)
            v = Variant::i4(-70000 - i);
        else if (i <= 34 || i == 74 || i == 82)
            v = Variant::i4(1000 + i);
        else if (i == 43 || i == 44 || i == 45 || i == 47 || i == 48 || i == 80 || i == 81)
            v = Variant::str("10.0." + std::to_string(i) + ".1");
        else if (i == 53)
            v = Variant::str("0.19.169.1.2." + std::to_string(i));
        else
            v = Variant::str("t" + std::to_string(i) + "\xC3\xA9");
        ASSERT_EQ(c.SetConfigValue(i, v), S_OK) << i;
    }
}

TEST_F(CameraConfig, BlockRoundTripsOverEachPath)
{
    for (std::int32_t protocol : {PROTOCOL_NATIVE, PROTOCOL_VIDEO_CGI, PROTOCOL_MJPEG_CGI}) {
        SCOPED_TRACE(protocol);
        auto cam = start();
        auto c = aim(*cam, protocol);
        ASSERT_EQ(call([&](auto* p) { return c->GetConfig(0, p); }), -1);
        std::string name;
        c->GetConfigValueBSTR(42, &name);
        EXPECT_EQ(name, "camsim-config");
        changeEveryField(*c);
        const auto wanted = allFields(*c);
        ASSERT_EQ(call([&](auto* p) { return c->SetConfig(protocol == PROTOCOL_NATIVE ? 2 : 0, 9, p); }), -1);
        auto fresh = aim(*cam, protocol);
        for (int i : {17, 23, 66}) // the selectors are the control's, not the camera's
            fresh->SetConfigValue(i, Variant::i4(i == 17 ? 3 : 1));
        ASSERT_EQ(call([&](auto* p) { return fresh->GetConfig(0, p); }), -1);
        EXPECT_EQ(allFields(*fresh), wanted);
        EXPECT_EQ(cam->command("config-sum"), "ok 55AA") << "the camera's block carries its check word";
        if (protocol == PROTOCOL_NATIVE) {
            EXPECT_EQ(cam->command("write-flags"), "ok 2 9");
        }
    }
}

TEST_F(CameraConfig, BrokenPieceFailsAndLeavesBothBlocks)
{
    struct Case
    {
        const char* kind;
        int piece;
    };
    for (const Case& k : {Case{"corrupt", 3}, Case{"drop", 5}, Case{"corrupt", 7}}) {
        SCOPED_TRACE(std::string(k.kind) + " " + std::to_string(k.piece));
        auto cam = start();
        auto c = aim(*cam, PROTOCOL_NATIVE);
        ASSERT_EQ(call([&](auto* p) { return c->GetConfig(0, p); }), -1);
        const std::string before = cam->command("config-read 0 4786");
        c->SetConfigValue(42, Variant::str("changed"));
        ASSERT_EQ(cam->command("config-break " + std::string(k.kind) + " " + std::to_string(k.piece)), "ok");
        EXPECT_EQ(call([&](auto* p) { return c->SetConfig(0, 0, p); }), 0);
        EXPECT_EQ(cam->command("config-read 0 4786"), before);

        // A read whose piece keeps coming back broken fails and keeps the control's block.
        EXPECT_EQ(call([&](auto* p) { return c->GetConfig(0, p); }), 0);
        std::string name;
        c->GetConfigValueBSTR(42, &name);
        EXPECT_EQ(name, "changed");
    }
    // One broken answer costs a pass, not the read.
    auto cam = start();
    auto c = aim(*cam, PROTOCOL_NATIVE);
    cam->command("config-break corrupt 4 1");
    EXPECT_EQ(call([&](auto* p) { return c->GetConfig(0, p); }), -1);
}

TEST_F(CameraConfig, HttpReadNeedsTheWholeBlock)
{
    auto cam = start();
    auto c = aim(*cam, PROTOCOL_VIDEO_CGI);
    cam->command("malformed truncate 3");
    EXPECT_EQ(call([&](auto* p) { return c->GetConfig(0, p); }), 0);
    std::string name = "x";
    c->GetConfigValueBSTR(42, &name);
    EXPECT_EQ(name, "") << "the block stays as it was (zeros before the first read)";
    EXPECT_EQ(cam->command("last-request")
                  .rfind("ok GET /CONFIG.CGI HTTP/1.0\\r\\nUser-Agent: pelko\\r\\n"
                         "Authorization: Basic cGVsa286cGVsa28=\\r\\n",
                         0),
              0u)
        << cam->command("last-request");
    c->put_Password("wrong");
    EXPECT_EQ(call([&](auto* p) { return c->GetConfig(0, p); }), 0);
}

TEST_F(CameraConfig, PasswordChecks)
{
    auto cam = start({"--login-needed", "--user", "operator-long", "--password", "pass1234"});
    auto c = aim(*cam, PROTOCOL_NATIVE);
    EXPECT_EQ(call([&](auto* p) { return c->IsNeedPassword(p); }), 1);
    struct Case
    {
        const char* user;
        const char* password;
        std::int32_t expected;
    };
    for (const Case& k :
         {Case{"operator-long", "pass1234", -1}, Case{"operator-lonXXX", "pass1234zz", -1},
          Case{"operator-long", "pass123", 1}, Case{"", "", 1}, Case{"operator", "pass1234", 1}}) {
        EXPECT_EQ(call([&](auto* p) { return c->CheckPassword(k.user, k.password, p); }), k.expected)
            << k.user << " / " << k.password;
        std::string user;
        c->get_UserName(&user);
        EXPECT_EQ(user, k.user) << "the texts are kept whatever the camera says";
    }
    c->put_UserName("operator-long");
    c->put_Password("pass1234");
    EXPECT_EQ(call([&](auto* p) { return c->LoginCamera(toVariantBool(false), p); }), -1);
    c->put_Password("nope");
    EXPECT_EQ(call([&](auto* p) { return c->LoginCamera(toVariantBool(false), p); }), 1);

    auto open = start();
    auto d = aim(*open, PROTOCOL_NATIVE);
    EXPECT_EQ(call([&](auto* p) { return d->IsNeedPassword(p); }), 2);
    EXPECT_EQ(call([&](auto* p) { return d->LoginCamera(toVariantBool(false), p); }), -1);

    // The CGI family answers through its clock page; other protocols have no check.
    auto web = aim(*open, PROTOCOL_VIDEO_CGI);
    EXPECT_EQ(call([&](auto* p) { return web->CheckPassword("pelko", "pelko", p); }), -1);
    EXPECT_EQ(call([&](auto* p) { return web->CheckPassword("pelko", "bad", p); }), 1);
    EXPECT_EQ(call([&](auto* p) { return web->LoginCamera(toVariantBool(false), p); }), 1);
    for (std::int32_t protocol :
         {PROTOCOL_MJPEG_CGI, PROTOCOL_KESTRA, PROTOCOL_MULTIPART, PROTOCOL_NUMBERED_CGI}) {
        web->put_Protocol(protocol);
        EXPECT_EQ(call([&](auto* p) { return web->CheckPassword("a", "b", p); }), 77) << protocol;
    }
}

TEST_F(CameraConfig, LoginOnItsOwnThreadReportsThroughTheEvent)
{
    auto cam = start({"--login-needed", "--user", "operator", "--password", "pass1234"});
    auto c = aim(*cam, PROTOCOL_NATIVE);
    auto recorder = std::make_shared<EventRecorder>();
    std::uint32_t cookie = 0;
    ASSERT_EQ(c->events().advise(recorder, &cookie), S_OK);
    auto ended = [&]() -> const RecordedEvent* {
        for (const auto& e : recorder->events)
            if (e.id == DISPID_EndLoginCamera)
                return &e;
        return nullptr;
    };
    for (const auto& [password, expected] : {std::pair{"pass1234", -1}, std::pair{"nope", 1}}) {
        c->put_UserName("operator");
        c->put_Password(password);
        recorder->events.clear();
        EXPECT_EQ(call([&](auto* p) { return c->LoginCamera(toVariantBool(true), p); }), -1) << password;
        ASSERT_TRUE(pumpUntil([&] { return ended() != nullptr; }, std::chrono::seconds(60))) << password;
        EXPECT_EQ(ended()->args.at(0), expected) << password;
        EXPECT_EQ(ended()->thread, std::this_thread::get_id()) << "events fire on the host's thread";
    }
}

TEST_F(CameraConfig, ControlEndsWhileItsLoginThreadWaits)
{
    installClock(nullptr); // the real clock: the login query waits its whole length for an answer
    auto cam = start();
    auto c = aim(*cam, PROTOCOL_NATIVE);
    c->put_MACAddress("9.9.9.9.9.9"); // the camera answers only its own MAC: nothing comes
    EXPECT_EQ(call([&](auto* p) { return c->LoginCamera(toVariantBool(true), p); }), -1);
    ASSERT_TRUE(CImagePeer::cameraConfig(*c).loginThread.running());
    // The control wakes the thread's waits and joins it before the discovery state it uses goes.
    c.reset();
}

TEST_F(CameraConfig, SilentCameraFailsEveryDatagramMember)
{
    auto cam = start();
    auto c = aim(*cam, PROTOCOL_NATIVE);
    c->put_MACAddress("9.9.9.9.9.9"); // the camera answers only its own MAC
    std::int16_t v[7] = {};
    EXPECT_EQ(call([&](auto* p) { return c->SetImageConfig(1, 2, 3, 4, 5, 6, 7, p); }), 0);
    EXPECT_EQ(call([&](auto* p) { return c->SetTime(1, 2, 3, 4, 5, 6, 7, p); }), 0);
    EXPECT_EQ(call([&](auto* p) { return c->GetTime(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], p); }),
              0);
    EXPECT_EQ(call([&](auto* p) { return c->Reset(p); }), 0);
    EXPECT_EQ(call([&](auto* p) { return c->IsNeedPassword(p); }), 0);
    EXPECT_EQ(call([&](auto* p) { return c->CheckPassword("a", "b", p); }), 0);
    EXPECT_EQ(call([&](auto* p) { return c->GetConfig(0, p); }), 0);
    EXPECT_EQ(call([&](auto* p) { return c->SetConfig(0, 0, p); }), 0);
    EXPECT_EQ(cam->command("resets"), "ok reboots=0 factory=0");
}

TEST_F(CameraConfig, ClockImageAndResetsOverDatagrams)
{
    auto cam = start();
    auto c = aim(*cam, PROTOCOL_NATIVE);
    EXPECT_EQ(call([&](auto* p) { return c->SetTime(59, 58, 23, 31, 12, 4, 2027, p); }), -1);
    EXPECT_EQ(cam->command("clock"), "ok 59 58 23 31 12 4 2027");
    std::int16_t v[7] = {};
    EXPECT_EQ(call([&](auto* p) { return c->GetTime(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], p); }),
              -1);
    EXPECT_EQ(std::vector<std::int16_t>(v, v + 7), (std::vector<std::int16_t>{59, 58, 23, 31, 12, 4, 2027}));
    EXPECT_EQ(call([&](auto* p) { return c->SetImageConfig(3, 2, 15, 100, -5, 7, 50, p); }), -1);
    EXPECT_EQ(call([&](auto* p) {
                  return c->GetImageConfig(0, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], p);
              }),
              -1);
    EXPECT_EQ(std::vector<std::int16_t>(v, v + 7), (std::vector<std::int16_t>{3, 2, 15, 100, -5, 7, 50}));
    EXPECT_EQ(call([&](auto* p) { return c->Reset(p); }), -1);
    EXPECT_EQ(call([&](auto* p) { return c->FactoryReset(p); }), -1);
    EXPECT_EQ(cam->command("resets"), "ok reboots=1 factory=1");
}

TEST_F(CameraConfig, ClockImageAndResetsOverIoControl)
{
    auto cam = start();
    auto c = aim(*cam, PROTOCOL_VIDEO_CGI);
    const std::string auth = "User-Agent: agent name\\r\\nAuthorization: Basic cGVsa286cGVsa28=\\r\\n\\r\\n";
    EXPECT_EQ(call([&](auto* p) { return c->SetTime(9, 8, 7, 6, 5, 4, 2030, p); }), -1);
    EXPECT_EQ(cam->command("last-request"),
              "ok POST /IOCONTROL.CGI?CGIQUaere=Datetime HTTP/1.0\\r\\nUser-Agent: "
              "agent name\\r\\nContent-Length:38\\r\\nAuthorization: Basic "
              "cGVsa286cGVsa28=\\r\\n\\r\\n");
    std::int16_t v[7] = {-1, -1, -1, -1, -1, -1, -1};
    EXPECT_EQ(call([&](auto* p) { return c->GetTime(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], p); }),
              -1);
    EXPECT_EQ(std::vector<std::int16_t>(v, v + 7), (std::vector<std::int16_t>{9, 8, 7, 6, 5, -1, 2030}))
        << "the date field is not written";
    EXPECT_EQ(
        cam->command("last-request"),
        "ok GET /IOCONTROL.CGI?CGIQUaere=Datetime HTTP/1.0\\r\\nUser-Agent: agent name\\r\\nContent-length:0"
        "\\r\\nAuthorization: Basic cGVsa286cGVsa28=\\r\\n\\r\\n");

    EXPECT_EQ(call([&](auto* p) { return c->SetImageConfig(1, 2, 3, 4, 5, 6, 7, p); }), -1);
    EXPECT_EQ(cam->command("last-request"), "ok POST /IOCONTROL.CGI?CGIQUaere=Image HTTP/1.0\\r\\n" + auth);
    const std::string body = "Video_Mode=1&Compress=2&Frame_Rate=3&Bright_cntl=4&Contrast_cntl=5&Hue_cntl=6&"
                             "Light_Fraq=7\r\n\r\n";
    std::string hex;
    for (unsigned char ch : body) {
        char t[3];
        std::snprintf(t, sizeof t, "%02X", ch);
        hex += t;
    }
    EXPECT_EQ(cam->command("last-body"), "ok " + hex);

    EXPECT_EQ(call([&](auto* p) { return c->Reset(p); }), -1);
    EXPECT_EQ(cam->command("last-request"), "ok POST /IOCONTROL.CGI?CGIQUaere=Reset HTTP/1.0\\r\\n" + auth);
    EXPECT_EQ(call([&](auto* p) { return c->FactoryReset(p); }), -1);
    EXPECT_EQ(cam->command("last-request"), "ok POST /IOCONTROL.CGI?CGIQUaere=Factory HTTP/1.0\\r\\n" + auth);
    EXPECT_EQ(cam->command("resets"), "ok reboots=1 factory=1");

    c->put_Protocol(PROTOCOL_MJPEG_CGI);
    EXPECT_EQ(call([&](auto* p) { return c->Reset(p); }), 77) << "no reboot form for this family";
    c->put_Protocol(PROTOCOL_MULTIPART);
    EXPECT_EQ(call([&](auto* p) { return c->SetTime(1, 1, 1, 1, 1, 1, 1, p); }), 77);

    c->put_Protocol(PROTOCOL_VIDEO_CGI);
    c->put_Password("wrong");
    EXPECT_EQ(call([&](auto* p) { return c->GetTime(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], p); }),
              1);
}

TEST_F(CameraConfig, UsersThroughTheBlock)
{
    auto cam = start();
    auto c = aim(*cam, PROTOCOL_NATIVE);
    ASSERT_EQ(call([&](auto* p) { return c->GetConfig(0, p); }), -1);
    std::int16_t count = 0;
    c->GetUserCount(&count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(call([&](auto* p) { return c->AddUser("a-very-long-user-name", "longpassword", 3, p); }), -1);
    std::string name, password;
    std::int16_t access = 0;
    EXPECT_EQ(call([&](auto* p) { return c->GetUser(2, &name, &password, &access, p); }), -1);
    EXPECT_EQ(name, "a-very-long-");
    EXPECT_EQ(password, "longpass");
    EXPECT_EQ(access, 3);
    EXPECT_EQ(call([&](auto* p) { return c->DeleteUser(0, p); }), -1);
    for (std::int16_t bad : {-1, 2, 64})
        EXPECT_EQ(call([&](auto* p) { return c->DeleteUser(bad, p); }), 0) << bad;
    EXPECT_EQ(call([&](auto* p) { return c->GetUser(-1, &name, &password, &access, p); }), 0);
    std::int32_t v = 77;
    EXPECT_EQ(c->AddUser(std::string_view(), "x", 1, &v), E_INVALIDARG);
    EXPECT_EQ(v, 0);
    ASSERT_EQ(call([&](auto* p) { return c->SetConfig(0, 0, p); }), -1);
    // Slots 0 and 1 hold guest and the new user; slot 2 (admin's old password slot) is clear.
    EXPECT_EQ(cam->command("config-read 428 5"), "ok 6775657374");
    EXPECT_EQ(cam->command("config-read 450 12"), "ok 612D766572792D6C6F6E672D");
    EXPECT_EQ(cam->command("config-read 472 22"), "ok " + std::string(44, '0'));

    for (int i = 0; i < 62; ++i)
        ASSERT_EQ(call([&](auto* p) { return c->AddUser("u" + std::to_string(i), "p", 1, p); }), -1) << i;
    c->GetUserCount(&count);
    EXPECT_EQ(count, 64);
    EXPECT_EQ(call([&](auto* p) { return c->AddUser("full", "p", 1, p); }), 0);
}

TEST_F(CameraConfig, OutputsOverTheNativeConnectionAndIoControl)
{
    auto cam = start({"--challenge"});
    auto c = aim(*cam, PROTOCOL_NATIVE);
    cam->command("outputs 1 255");
    std::int32_t t1 = 9, t2 = 9;
    EXPECT_EQ(call([&](auto* p) { return c->GetOutputTriggerValue(&t1, &t2, p); }), -1);
    EXPECT_EQ(t1, 1);
    EXPECT_EQ(t2, -1) << "a byte 0xFF is -1";
    EXPECT_EQ(call([&](auto* p) { return c->SetOutputTriggerValue(2, 0, p); }), -1);
    EXPECT_EQ(cam->command("outputs"), "ok 1 0");
    EXPECT_EQ(call([&](auto* p) { return c->SetOutputTriggerValue(3, 1, p); }), 0) << "answered 0502";
    c->put_Password("wrong");
    EXPECT_EQ(call([&](auto* p) { return c->GetOutputTriggerValue(&t1, &t2, p); }), 0);

    auto w = aim(*cam, PROTOCOL_VIDEO_CGI);
    EXPECT_EQ(call([&](auto* p) { return w->SetOutputTriggerValue(1, 0, p); }), -1);
    EXPECT_EQ(call([&](auto* p) { return w->SetOutputTriggerValue(2, 1, p); }), -1);
    EXPECT_EQ(cam->command("last-request"),
              "ok POST /IOCONTROL.CGI HTTP/1.0\\r\\nUser-Agent: agent name\\r\\n"
              "Authorization: Basic cGVsa286cGVsa28=\\r\\n\\r\\n");
    EXPECT_EQ(cam->command("last-body"), "ok 54726967676572323D310D0A0D0A"); // "Trigger2=1\r\n\r\n"
    EXPECT_EQ(call([&](auto* p) { return w->GetOutputTriggerValue(&t1, &t2, p); }), -1);
    EXPECT_EQ(t1, 0);
    EXPECT_EQ(t2, 1);
    EXPECT_EQ(cam->command("last-request"),
              "ok GET /IOCONTROL.CGI HTTP/1.0\\r\\nUser-Agent: agent name\\r\\n"
              "Content-length:0\\r\\nAuthorization: Basic cGVsa286cGVsa28=\\r\\n\\r\\n");
    EXPECT_EQ(call([&](auto* p) { return w->SetOutputTriggerValue(3, 1, p); }), 0);
    EXPECT_EQ(cam->command("last-body"), "ok ") << "no body for another output";
    w->put_Password("wrong");
    EXPECT_EQ(call([&](auto* p) { return w->GetOutputTriggerValue(&t1, &t2, p); }), 0);
}

TEST(CameraConfigArguments, SetIPAddressRefusesWhatDoesNotParse)
{
    CImage c;
    c.put_RemoteHost("127.0.0.1");
    for (const auto& [ip, mask] : std::initializer_list<std::pair<std::string_view, std::string_view>>{
             {"10.0.0.300", "255.255.255.0"},
             {"10.0.0", "255.255.255.0"},
             {"10.0.0.1", "255.x"},
             {std::string_view(), "255.255.255.0"},
             {"10.0.0.1", std::string_view()}}) {
        std::int32_t v = 77;
        EXPECT_EQ(c.SetIPAddress(ip, mask, "", &v), E_INVALIDARG) << ip << " " << mask;
        EXPECT_EQ(v, 0);
    }
}

} // namespace
} // namespace tessivor::testing
