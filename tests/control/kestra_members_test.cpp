// The Kestra members, pan/tilt and firmware upload of the control end to end: against camsim's
// Kestra mode (command port, web forms, pages, request log), against a recording camera whose
// captured multipart request Python's email parser takes apart, against a slow reader for Stop
// during an upload, and against scripted TFTP and download-request peers.
#include "cimage_peer.h"
#include "event_recorder.h"
#include "http_peers.h"
#include "refused_port.h"
#include "tests/camproto/sim_clock.h"

#include "../camproto/tftp_peers.h"
#include "../io/scratch_dir.h"
#include "camsim_process.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace tessivor;
using namespace tessivor::testing;

namespace {

std::string readText(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::filesystem::path& p, const Bytes& b)
{
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

// The 128-byte command packet of a "KESTRA <hex>" log line.
Bytes packetOf(const std::string& line)
{
    Bytes b;
    for (std::size_t i = 7; i + 1 < line.size(); i += 2)
        b.push_back(static_cast<std::uint8_t>(std::stoi(line.substr(i, 2), nullptr, 16)));
    return b;
}

class KestraTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        installClock(&m_clock); // the engine's fixed pauses are skipped
        startCamera({});
    }
    void TearDown() override
    {
        control.reset();
        camera.reset();
        installClock(nullptr);
    }

    void startCamera(std::vector<std::string> extra)
    {
        std::vector<std::string> args{"--family",      "kestra",
                                      "--kestra-port", "0",
                                      "--request-log", (dir / "requests.log").string(),
                                      "--upload-file", (dir / "uploaded.bin").string(),
                                      "--user",        "admin",
                                      "--password",    "c00kie",
                                      "--name",        "KestraCam",
                                      "--location",    "Hall-3",
                                      "--mac",         "0.17.34.51.68.85",
                                      "--wireless"};
        args.insert(args.end(), extra.begin(), extra.end());
        control.reset();
        camera = std::make_unique<CamSim>(args);
        control = std::make_unique<CImage>();
        recorder = std::make_shared<EventRecorder>();
        std::uint32_t cookie = 0;
        control->events().advise(recorder, &cookie);
        control->put_RemoteHost(camera->address());
        control->put_RemotePort(camera->httpPort());
        control->put_Protocol(PROTOCOL_KESTRA);
        control->put_KestraIPort(camera->port("kestra"));
        control->put_UserName("admin");
        control->put_Password("c00kie");
        control->put_TimeOut(2);
    }

    std::vector<std::string> log() const { return lines(readText(dir / "requests.log")); }
    void clearLog() const { std::filesystem::remove(dir / "requests.log"); }
    std::vector<std::string> kestraLines() const
    {
        std::vector<std::string> out;
        for (const auto& l : log())
            if (l.rfind("KESTRA ", 0) == 0)
                out.push_back(l);
        return out;
    }
    std::string value(std::int32_t command)
    {
        std::string v;
        control->GetKestraValue(command, &v);
        return v;
    }
    std::int32_t errCode()
    {
        std::int32_t v = 0;
        control->get_longErrCode(&v);
        return v;
    }
    // Runs PT_CMD and waits for its EndPTCmd; the result, or nullopt when none came.
    std::optional<std::int32_t> panTilt(std::int32_t command)
    {
        std::int32_t started = 0;
        control->PT_CMD(command, &started);
        EXPECT_EQ(started, -1);
        const std::size_t before = recorder->events.size();
        std::optional<std::int32_t> result;
        pumpUntil([&] {
            for (std::size_t i = before; i < recorder->events.size(); ++i)
                if (recorder->events[i].id == DISPID_EndPTCmd)
                    result = recorder->events[i].args.at(0);
            return result.has_value();
        });
        pumpUntil([&] { return CImagePeer::run(*control).m_bPanTiltBusy.load() == 0; });
        return result;
    }
    // Waits for the firmware thread to end.
    void waitForUpload()
    {
        ASSERT_TRUE(pumpUntil([&] { return !CImagePeer::firmwareThreadRunning(*control); },
                              std::chrono::seconds(60)));
    }

    httppeers::NoSleepClock m_clock;
    ScratchDir dir;
    std::unique_ptr<CamSim> camera;
    std::unique_ptr<CImage> control;
    std::shared_ptr<EventRecorder> recorder;
};

} // namespace

// ---- web forms and pages ----

TEST_F(KestraTest, PortsAndVersionComeFromThePortPage)
{
    std::int32_t c = 0, s = 0, i = 0;
    std::string version;
    control->get_KestraFWVERSION(&version);
    EXPECT_EQ(version, "1.57.0926.2005(default)");
    std::int32_t ok = 0;
    control->GetKestraPort(&ok); // answered 404 with its body, as the family does
    EXPECT_EQ(ok, -1);
    control->get_KestraCPort(&c);
    control->get_KestraSPort(&s);
    control->get_KestraIPort(&i);
    control->get_KestraFWVERSION(&version);
    EXPECT_EQ(c, 6000);
    EXPECT_EQ(s, 6001);
    EXPECT_EQ(i, camera->port("kestra"));
    EXPECT_EQ(version, "2.10.0101.2026");

    std::string name;
    control->GetKestraHName(&ok);
    EXPECT_EQ(ok, -1);
    control->get_KestraHName(&name);
    EXPECT_EQ(name, "Hall-3");
}

TEST_F(KestraTest, PortPageWithoutKeysLeavesTheDefaults)
{
    // A camera of another family has no such page: three tries, nothing changed.
    control->put_KestraCPort(7000);
    const RefusedPort refused; // held for the whole test: a port let go could be taken by another server
    control->put_RemotePort(refused.port());
    std::int32_t ok = 1;
    control->GetKestraPort(&ok);
    EXPECT_EQ(ok, 0);
    std::int32_t c = 0;
    control->get_KestraCPort(&c);
    EXPECT_EQ(c, 7000);
}

TEST_F(KestraTest, LoginRefusalAudioAndLogoutWithTheCookie)
{
    std::int32_t v = 1;
    control->KestraLogin("admin", "wrong", &v);
    EXPECT_EQ(v, 0);
    auto posts = [&] {
        int n = 0;
        for (const auto& l : log())
            n += l.rfind("POST /goform/formLogin", 0) == 0;
        return n;
    };
    EXPECT_EQ(posts(), 1) << "a refusal is final: no second try";

    control->KestraLogin("admin", "c00kie", &v);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(log().back(), "POST /goform/formLogin BODY f_CookieValue=c00kie&f_LOGIN=admin");

    control->KestraAudioON("c00kie", &v);
    EXPECT_EQ(v, -1);
    control->KestraAudioON("other", &v);
    EXPECT_EQ(v, 0);
    control->Kestra_Logout("c00kie", &v);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(log().back(), "GET /goform/formLogout?f_CookieValue=c00kie");
    control->KestraAudioON("c00kie", &v);
    EXPECT_EQ(v, 0) << "the session should have ended with the logout";
}

TEST_F(KestraTest, LoginTextIsSentAsGivenAndNoPasswordReachesATrace)
{
    std::int32_t v = 0;
    // The program encodes the login text before it puts it; the control must not encode it again.
    control->KestraLogin("ad%40min&x", "pa%2Bss", &v);
    EXPECT_EQ(log().back(), "POST /goform/formLogin BODY f_CookieValue=pa%2Bss&f_LOGIN=ad%40min&x");
}

// ---- command port ----

TEST_F(KestraTest, StatusFillsTheCurrentDeviceAndTheSupportFlags)
{
    std::int32_t pt = 0, wl = 0;
    control->get_PT_Support(&pt);
    control->get_Wireless_Support(&wl);
    EXPECT_EQ(pt, 1);
    EXPECT_EQ(wl, 1);
    control->put_FoundIndex(-1);
    std::string name, mac, ip;
    control->get_FoundDeviceName(&name);
    control->get_FoundMACAddress(&mac);
    control->get_FoundIPAddress(&ip);
    EXPECT_EQ(name, "KestraCam");
    EXPECT_EQ(mac, "0.17.34.51.68.85");
    EXPECT_EQ(ip, camera->address());

    camera->command("kestra-pt off");
    control->get_PT_Support(&pt);
    EXPECT_EQ(pt, 0);

    // Another protocol: no connection at all.
    control->put_Protocol(PROTOCOL_VIDEO_CGI);
    const std::size_t before = kestraLines().size();
    control->get_PT_Support(&pt);
    EXPECT_EQ(pt, 0);
    EXPECT_EQ(kestraLines().size(), before);
}

TEST_F(KestraTest, SiteSurveyFillsTheAccessPointList)
{
    EXPECT_EQ(value(95), "3");
    control->put_WiFiAPNum(3);
    std::string ssid;
    control->get_WLSSID(&ssid);
    EXPECT_EQ(ssid, "camsim-ap-2");
    std::int32_t channel = 0;
    control->get_WLChannel(&channel);
    EXPECT_EQ(channel, 3);
}

TEST_F(KestraTest, HostileAnswersGiveClearFailures)
{
    control->put_TimeOut(1);
    EXPECT_EQ(value(95), "3"); // a list to keep
    struct Case
    {
        const char* breakage;
        std::int32_t command;
        const char* expected;
    };
    const Case cases[] = {
        {"short", 20, "ERROR"},   {"badword", 20, "ERROR"},       {"notdone", 20, "ERROR"},
        {"silent", 20, "ERROR"},  {"hugelength", 20, "value-20"}, // the length is cut to the packet's data
        {"surveymany", 95, "32"}, {"surveycut", 95, "3"},         {"surveynoword", 95, "ERROR"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(camera->command(std::string("kestra-break ") + c.breakage), "ok");
        EXPECT_EQ(value(c.command), c.expected) << c.breakage;
    }
    // A survey without the company word leaves the list as it was, with no entry selectable.
    DiscoveryState& d = CImagePeer::discovery(*control);
    EXPECT_EQ(d.apCount, 0);
    EXPECT_EQ(d.apList.size(), 3u);

    // A short status answer changes nothing.
    ASSERT_EQ(camera->command("kestra-break short"), "ok");
    std::int32_t pt = 7;
    control->get_PT_Support(&pt);
    EXPECT_EQ(pt, 0);
    EXPECT_EQ(CImagePeer::kestra(*control).m_KestraStatus.length, 0u);
}

TEST_F(KestraTest, CommandPacketsAndUserChecks)
{
    std::int32_t v = 0;
    control->SetKestraValue(16, Variant::str("0123456789ABCDEFGHIJ"), 20, &v);
    Bytes p = packetOf(kestraLines().back());
    ASSERT_EQ(p.size(), 128u);
    EXPECT_EQ(p[16], 16);
    EXPECT_EQ(p[20], 20);
    EXPECT_EQ(std::string(p.begin() + 24, p.begin() + 40), "0123456789ABCDEF");
    EXPECT_EQ(p[40], 0);

    control->SetKestraValue(18, Variant::str(std::string(100, 'x')), 100, &v);
    p = packetOf(kestraLines().back());
    EXPECT_EQ(std::count(p.begin() + 20, p.end(), 'x'), 64);

    control->chkKestraIDPWD("admin", "", &v);
    EXPECT_EQ(v, -1);
    control->chkKestraIDPWD("nobody", "", &v);
    EXPECT_EQ(v, 0) << "-1 only when the camera confirmed";
    v = 5;
    EXPECT_EQ(control->chkKestraIDPWD("", "", &v), E_INVALIDARG);
    EXPECT_EQ(v, 0);

    control->SetKestraIDPWD("eve", "x", &v);
    EXPECT_EQ(v, 0);
    control->SetKestraIDPWD("admin", "n3w", &v);
    EXPECT_EQ(v, -1);
    p = packetOf(kestraLines().back());
    EXPECT_EQ(std::string(p.begin() + 84, p.begin() + 87), "n3w");
    std::int32_t login = 0;
    control->KestraLogin("admin", "n3w", &login);
    EXPECT_EQ(login, -1) << "the camera should have taken the new password";

    RefusedPort refused;
    control->put_KestraIPort(refused.port());
    EXPECT_EQ(value(20), "ERROR");
    EXPECT_EQ(errCode(), 12);
}

// ---- pan/tilt ----

TEST_F(KestraTest, PanTiltRequestsOfTheKestraFamily)
{
    struct Case
    {
        std::int32_t command;
        std::int32_t result;
        std::vector<std::string> requests;
    };
    const std::string dir = "GET /goform/CfgPT_Direction?f_PT_DIRECTION=";
    const Case cases[] = {
        {8, -1, {dir + "down", dir + "right"}},
        {4, -1, {dir + "home"}},
        {0, -1, {dir + "up", dir + "left"}},
        {51, -1, {}},
        {9, 0, {}},
    };
    for (const Case& c : cases) {
        clearLog();
        EXPECT_EQ(panTilt(c.command), c.result) << c.command;
        EXPECT_EQ(log(), c.requests) << c.command;
    }
}

TEST_F(KestraTest, PanTiltRequestsOfPanTiltCgiCameras)
{
    control->put_Protocol(PROTOCOL_VIDEO_CGI);
    const std::string post = "POST /pantiltcontrol.cgi BODY ";
    const std::string stop = post + "PanTiltSwingMode=0";
    struct Case
    {
        std::int32_t command;
        std::int32_t result;
        std::vector<std::string> requests;
    };
    const Case cases[] = {
        {50, -1, {stop}},
        {51, -1, {stop, post + "PanTiltSwingMode=1"}},
        {3, -1, {stop, post + "PanSingleMoveDegree=1&TiltSingleMoveDegree=1&PanTiltSingleMove=3"}},
        {9, 0, {stop}},
    };
    for (const Case& c : cases) {
        clearLog();
        EXPECT_EQ(panTilt(c.command), c.result) << c.command;
        EXPECT_EQ(log(), c.requests) << c.command;
    }
    // A camera that refuses the swing stop gets no move.
    control->put_Password("wrong");
    clearLog();
    EXPECT_EQ(panTilt(7), 401);
    EXPECT_EQ(log(), std::vector<std::string>{stop});
}

TEST_F(KestraTest, PanTiltWhileOneRunsIsRefused)
{
    camera->command("stall");
    std::int32_t first = 0, second = 5;
    control->PT_CMD(1, &first);
    control->PT_CMD(2, &second);
    EXPECT_EQ(first, -1);
    EXPECT_EQ(second, 0);
    camera->command("resume");
    ASSERT_TRUE(pumpUntil([&] { return CImagePeer::run(*control).m_bPanTiltBusy.load() == 0; },
                          std::chrono::seconds(30)));
    int ends = 0;
    pumpUntil([&] {
        ends = 0;
        for (const auto& e : recorder->events)
            ends += e.id == DISPID_EndPTCmd;
        return ends > 0;
    });
    EXPECT_EQ(ends, 1);
}

// ---- firmware upload ----

TEST_F(KestraTest, MultipartUploadReachesTheCameraAndRestartsIt)
{
    std::int32_t v = 0;
    control->KestraLogin("admin", "c00kie", &v);
    ASSERT_EQ(v, -1);
    control->put_CGIAPNAME("goform/formUpload"); // the "/" is put in front
    const Bytes image = randomFileBytes(5000, 11);
    writeBytes(dir / "fw.bin", image);
    clearLog();
    control->UpdateFirmware((dir / "fw.bin").string(), &v);
    ASSERT_EQ(v, -1);
    waitForUpload();
    EXPECT_EQ(readText(dir / "uploaded.bin"), std::string(image.begin(), image.end()));
    double progress = 0;
    control->get_UpdataP(&progress);
    EXPECT_EQ(progress, 1.0);
    EXPECT_EQ(CImagePeer::run(*control).m_bEndRun.load(), EndRun::StopRequested);
    const auto l = log();
    ASSERT_GE(l.size(), 5u);
    EXPECT_EQ(l[0], "UPLOAD multipart bytes=5000 name=" + (dir / "fw.bin").string());
    EXPECT_EQ(l[1], "POST /goform/formUpload");
    EXPECT_EQ(l[2], "GET /web/maintenance/mt_fw_upload.asp");
    EXPECT_EQ(l[3], "POST /goform/CfgWriteFlashOK BODY B3=Restart&f_CookieValue=c00kie");
    EXPECT_EQ(l[4], "GET /web/login.asp");
    EXPECT_EQ(CImagePeer::firmware(*control).m_FirmwareSocket.GetSocket(), -1);
}

TEST_F(KestraTest, MultipartUploadWithoutASessionIsRefused)
{
    control->put_CGIAPNAME("/goform/formUpload");
    writeBytes(dir / "fw.bin", randomFileBytes(100, 12));
    std::int32_t v = 0;
    control->UpdateFirmware((dir / "fw.bin").string(), &v);
    ASSERT_EQ(v, -1);
    waitForUpload();
    EXPECT_EQ(errCode(), 26);
    EXPECT_EQ(CImagePeer::run(*control).m_bEndRun.load(), EndRun::StopRequested);
}

TEST_F(KestraTest, OctetUploadOfProtocol4Cameras)
{
    control->put_Protocol(PROTOCOL_MULTIPART);
    control->put_CGIAPNAME("/goform/upload");
    const Bytes image = randomFileBytes(70000, 13);
    writeBytes(dir / "fw.bin", image);
    std::int32_t v = 0;
    control->UpdateFirmware((dir / "fw.bin").string(), &v);
    ASSERT_EQ(v, -1);
    waitForUpload();
    EXPECT_EQ(errCode(), 20);
    EXPECT_EQ(readText(dir / "uploaded.bin"), std::string(image.begin(), image.end()));

    control->put_Password("wrong");
    control->UpdateFirmware((dir / "fw.bin").string(), &v);
    ASSERT_EQ(v, -1);
    waitForUpload();
    EXPECT_EQ(errCode(), 26);
}

TEST_F(KestraTest, UpdateFirmwareRefusesAMissingFile)
{
    std::int32_t v = 5;
    control->UpdateFirmware((dir / "none.bin").string(), &v);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(errCode(), 1);
    EXPECT_FALSE(CImagePeer::firmwareThreadRunning(*control));
    EXPECT_EQ(CImagePeer::run(*control).m_bEndRun.load(), EndRun::Run);
    control->UpdateFirmware("", &v);
    EXPECT_EQ(v, 0);
}

// camsim's own side of hostile input: short and garbage command packets, and broken uploads,
// leave it answering the next client correctly.
TEST_F(KestraTest, CamsimSurvivesMalformedRequests)
{
    auto sendRaw = [&](int port, const std::string& bytes) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET, camera->address().c_str(), &a.sin_addr);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            ::shutdown(fd, SHUT_WR);
            char b[256];
            pollfd p{fd, POLLIN, 0};
            while (::poll(&p, 1, 2000) == 1 && ::recv(fd, b, sizeof b, 0) > 0) {
            }
        }
        ::close(fd);
    };
    const int kestra = camera->port("kestra");
    sendRaw(kestra, "");
    sendRaw(kestra, "Brevantine");                         // a short packet
    sendRaw(kestra, std::string(128, '\xFF'));             // no company word, huge numbers
    sendRaw(kestra, "Brevantine" + std::string(200, 'A')); // longer than a packet
    const std::string multipart =
        "POST /goform/formUpload HTTP/1.0\r\nContent-Type: multipart/form-data; boundary=";
    sendRaw(camera->httpPort(), multipart + "B\r\nContent-Length: 10\r\n\r\n--B\r\nxxxxx");
    sendRaw(camera->httpPort(), multipart + "\r\nContent-Length: 4\r\n\r\n--\r\n");
    sendRaw(camera->httpPort(), multipart + "B\r\nContent-Length: 99999999999\r\n\r\n");
    sendRaw(camera->httpPort(), multipart + "B\r\nContent-Length: 23\r\n\r\n--B\r\n\r\n\r\n--B--\r\n");
    EXPECT_EQ(value(95), "3");
    std::int32_t pt = 0;
    control->get_PT_Support(&pt);
    EXPECT_EQ(pt, 1);
    EXPECT_EQ(camera->command("kestra-break nonsense"), "error kestra-break KIND");
}

// The multipart request as a camera receives it, taken apart by Python's email parser.
TEST(FirmwareMultipart, PythonParsesTheRequestIntoItsParts)
{
    httppeers::NoSleepClock clock;
    installClock(&clock);
    ScratchDir dir;
    for (const std::size_t size : {0u, 3000u}) {
        SCOPED_TRACE("size " + std::to_string(size));
        httppeers::FakeCamera camera(
            [](const std::string&) { return std::string("HTTP/1.0 200 OK\r\n\r\n"); });
        const std::filesystem::path file = dir / ("f\"w " + std::to_string(size) + ".bin");
        writeBytes(file, randomFileBytes(size, 14));
        {
            CImage c;
            c.put_RemoteHost("127.0.0.1");
            c.put_RemotePort(camera.port());
            c.put_Protocol(PROTOCOL_KESTRA);
            c.put_Password("the-cookie");
            c.put_CGIAPNAME("/goform/formUpload");
            std::int32_t v = 0;
            c.UpdateFirmware(file.string(), &v);
            ASSERT_EQ(v, -1);
            ASSERT_TRUE(
                pumpUntil([&] { return !CImagePeer::firmwareThreadRunning(c); }, std::chrono::seconds(60)));
            std::int32_t code = 0;
            c.get_longErrCode(&code);
            EXPECT_EQ(code, 26) << "a camera that does not redirect refuses the image";
        }
        const auto requests = camera.requests();
        ASSERT_EQ(requests.size(), 1u);
        std::ofstream(dir / "request.bin", std::ios::binary) << requests[0];
        const std::string script = std::string(TESSIVOR_SOURCE_DIR) + "/tests/control/multipart_check.py";
        const std::string cmd = "/usr/bin/python3 '" + script + "' '" + (dir / "request.bin").string() +
                                "' '" + file.string() + "' the-cookie > '" + (dir / "out.txt").string() +
                                "' 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << readText(dir / "out.txt");
    }
    installClock(nullptr);
}

// A diagonal whose first step fails still sends the second, and reports the second's result.
TEST(KestraPanTilt, DiagonalGoesOnAfterAFailedFirstStep)
{
    httppeers::NoSleepClock clock;
    installClock(&clock);
    httppeers::FakeCamera camera([](const std::string& request) {
        return std::string(request.find("=down") != std::string::npos
                               ? "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"
                               : "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
    });
    {
        CImage c;
        auto recorder = std::make_shared<EventRecorder>();
        std::uint32_t cookie = 0;
        c.events().advise(recorder, &cookie);
        c.put_RemoteHost("127.0.0.1");
        c.put_RemotePort(camera.port());
        c.put_Protocol(PROTOCOL_KESTRA);
        std::int32_t started = 0;
        c.PT_CMD(8, &started);
        ASSERT_EQ(started, -1);
        ASSERT_TRUE(pumpUntil([&] { return !recorder->events.empty(); }));
        EXPECT_EQ(recorder->events[0].id, DISPID_EndPTCmd);
        EXPECT_EQ(recorder->events[0].args.at(0), -1);
    }
    const auto requests = camera.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].rfind("GET /goform/CfgPT_Direction?f_PT_DIRECTION=down ", 0), 0u);
    EXPECT_EQ(requests[1].rfind("GET /goform/CfgPT_Direction?f_PT_DIRECTION=right ", 0), 0u);
    installClock(nullptr);
}

TEST(FirmwareStop, StopDuringAnUploadEndsItWithCode26)
{
    httppeers::NoSleepClock clock;
    installClock(&clock);
    ScratchDir dir;
    // A camera that reads slowly, so that the upload is still sending when Stop comes.
    loopback::Listener listener;
    const int small = 4096; // little room in between, so that the sender is still busy
    ::setsockopt(listener.fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    std::atomic<bool> done{false};
    std::thread reader([&] {
        loopback::Fd c = listener.accept(10000);
        char b[1024];
        while (!done && c.get() >= 0) {
            pollfd p{c.get(), POLLIN, 0};
            if (::poll(&p, 1, 100) == 1 && ::recv(c.get(), b, sizeof b, 0) <= 0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    writeBytes(dir / "fw.bin", randomFileBytes(32 << 20, 15));
    {
        CImage c;
        c.put_RemoteHost("127.0.0.1");
        c.put_RemotePort(listener.port());
        c.put_Protocol(PROTOCOL_KESTRA);
        c.put_CGIAPNAME("/goform/formUpload");
        std::int32_t v = 0;
        c.UpdateFirmware((dir / "fw.bin").string(), &v);
        ASSERT_EQ(v, -1);
        double progress = 0;
        ASSERT_TRUE(pumpUntil([&] {
            c.get_UpdataP(&progress);
            return progress > 0;
        }));
        c.Stop();
        ASSERT_TRUE(
            pumpUntil([&] { return !CImagePeer::firmwareThreadRunning(c); }, std::chrono::seconds(60)));
        std::int32_t code = 0;
        c.get_longErrCode(&code);
        EXPECT_EQ(code, 26);
        c.get_UpdataP(&progress);
        EXPECT_LT(progress, 1.0);
        EXPECT_EQ(CImagePeer::run(c).m_bEndRun.load(), EndRun::StopRequested);
    }
    done = true;
    reader.join();
    installClock(nullptr);
}

// ---- TFTP and the download request ----

TEST(FirmwareTftp, TftpServerWritesTheFileToPort69)
{
    ScratchDir dir;
    const Bytes image = randomFileBytes(1000, 16);
    writeBytes(dir / "fw.bin", image);
    ScriptedTftpServer::Script s;
    s.address = uniqueLoopbackAddress();
    s.port = 69;
    ScriptedTftpServer server(s);
    if (!server.ok())
        GTEST_SKIP() << "cannot bind UDP port 69 on " << s.address << " (needs root)";
    CImage c;
    std::int32_t v = 0;
    c.TFTPServer(s.address, (dir / "fw.bin").string(), &v);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(server.file(), image);
    EXPECT_EQ(server.requestedName(), "") << "cameras take the image under an empty name";

    ScriptedTftpServer::Script r = s;
    r.address = uniqueLoopbackAddress();
    r.refuseRequest = true;
    ScriptedTftpServer refusing(r);
    ASSERT_TRUE(refusing.ok());
    c.TFTPServer(r.address, (dir / "fw.bin").string(), &v);
    EXPECT_EQ(v, 0);
    c.TFTPServer("not-an-address", (dir / "fw.bin").string(), &v);
    EXPECT_EQ(v, 0);
    std::int32_t code = 0;
    c.get_longErrCode(&code);
    EXPECT_EQ(code, 12);
}

TEST(FirmwareDownloadRequest, OnlyTheAddressedCamerasReplyCounts)
{
    SimClock clock(500, SimClock::Mode::Running); // the silent camera's wait costs a short grace
    const InstalledClock installed(clock);
    const std::string address = uniqueLoopbackAddress();
    std::uint16_t port = 0;
    const int fd = bindUdp(address, 62976, &port);
    if (fd < 0)
        GTEST_SKIP() << "cannot bind UDP port 62976 on " << address;
    std::atomic<int> mode{0}; // 0 answer, 1 answer with another MAC, 2 silent
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        Bytes b(64);
        while (!stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) != 1)
                continue;
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const long n = ::recvfrom(fd, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n != 18 || mode == 2)
                continue;
            Bytes reply(b.begin(), b.begin() + 18);
            reply[16] = 0x07; // result word 0x0107, low byte first
            reply[17] = 0x01;
            if (mode == 1)
                reply[11] ^= 0xFF;
            ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    });
    CImage c;
    c.put_RemoteHost(address);
    c.put_MACAddress("0.1.2.3.4.5");
    std::int32_t v = -5;
    c.RequestDownload(&v);
    EXPECT_EQ(v, 0x0107);
    mode = 1;
    c.RequestDownload(&v);
    EXPECT_EQ(v, 0);
    mode = 2;
    c.RequestDownload(&v);
    EXPECT_EQ(v, 15);
    stop = true;
    peer.join();
    ::close(fd);
}
