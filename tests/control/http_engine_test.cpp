// The HTTP request engine and the parameter table: the exact request texts, the proxy rules, the
// status and header handling and the body limits against a scripted camera; a page read from
// python's http.server, directly and through tinyproxy with the request bytes recorded on the way.
#include "../io/scratch_dir.h"
#include "control/cimage.h"
#include "http_peers.h"
#include "platform/base64.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace tessivor;
using httppeers::FakeCamera;
namespace fs = std::filesystem;

namespace {

std::string ok(const std::string& body)
{
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class HttpEngine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        installClock(&clock);
        control = std::make_unique<CImage>();
        control->put_UserName("admin");
        control->put_Password("1234");
        control->put_RemoteHost("127.0.0.1");
    }
    void TearDown() override
    {
        control.reset();
        installClock(nullptr);
    }
    void pointAt(const FakeCamera& camera) { control->put_RemotePort(camera.port()); }
    std::int32_t errCode()
    {
        std::int32_t v = -99;
        control->get_longErrCode(&v);
        return v;
    }
    std::string paramValue(std::string_view name)
    {
        std::string v = "(none)";
        control->GetParameterValue(name, &v);
        return v;
    }

    httppeers::NoSleepClock clock;
    std::unique_ptr<CImage> control;
    const std::string credential = base64Encode("admin:1234");
};

} // namespace

// ---- request texts and where they go ----

TEST_F(HttpEngine, ProxyRulesAndRequestTexts)
{
    FakeCamera camera([](const std::string&) { return ok("a=1"); });
    FakeCamera proxy([](const std::string&) { return ok("a=1"); });
    pointAt(camera);
    control->put_ProxyServerAddress("127.0.0.1");
    control->put_ProxyPort(proxy.port());
    const std::string cam = "127.0.0.1:" + std::to_string(camera.port());
    const std::string tail =
        "User-Agent: admin\r\nAuthorization: Basic " + credential +
        "\r\nConnection: Keep-Alive\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n\r\n";
    struct Case
    {
        const char* name;
        std::int16_t enable, local, bypass;
        bool viaProxy;
    };
    const std::vector<Case> cases{
        {"proxy on, not bypassed", 1, 1, 0, true},
        {"proxy on, local camera bypassed", 1, 1, 1, false},
        {"bypass needs the local camera too", 1, 0, 1, true},
        {"true (-1) is not 1", -1, 0, 0, false},
        {"proxy off", 0, 0, 0, false},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        control->put_EnableProxy(VariantBool(tc.enable));
        control->put_LocalCamera(VariantBool(tc.local));
        control->put_BypassProxyServer(VariantBool(tc.bypass));
        const auto before = std::make_pair(camera.requests().size(), proxy.requests().size());
        ASSERT_EQ(control->HttpGet(0), -1);
        const auto& peer = tc.viaProxy ? proxy : camera;
        ASSERT_EQ(peer.requests().size(), (tc.viaProxy ? before.second : before.first) + 1);
        const std::string expected = tc.viaProxy
                                         ? "GET HTTP://" + cam +
                                               "/goform/serial HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\n"
                                               "Host: 127.0.0.1\r\n" +
                                               tail
                                         : "GET /goform/serial HTTP/1.0\r\n" + tail;
        EXPECT_EQ(peer.requests().back(), expected);
    }
    // The command POST goes through the proxy whenever the switch is not 0.
    control->put_EnableProxy(VARIANT_TRUE);
    control->put_LocalCamera(VARIANT_FALSE);
    std::int32_t result = 0;
    control->PostCmd("/cgi-bin/cmd.cgi", "abc", 100, &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(proxy.requests().back(),
              "POST HTTP://" + cam +
                  "/cgi-bin/cmd.cgi HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\nHost: "
                  "127.0.0.1\r\nContent-Type: text/plain\r\nUser-Agent: USER\r\n"
                  "Authorization: Basic " +
                  credential + "\r\nContent-Length: 7\r\n\r\nabc\r\n\r\n");
}

TEST_F(HttpEngine, PathWithoutSlashAndTheOtherRequestForms)
{
    FakeCamera camera([](const std::string& r) {
        if (r.rfind("GET /nine", 0) == 0)
            return std::string("HTTP/1.0 404 Nothing here\r\n\r\n");
        return ok("x=1");
    });
    pointAt(camera);
    control->put_CGIAPNAME("goform/serial");
    ASSERT_EQ(control->HttpGet(0), -1);
    EXPECT_EQ(camera.requests().back().substr(0, 32), "GET /goform/serial HTTP/1.0\r\nUse");

    // GetEx: its own header lines, the prepared credential, the caller's status text.
    control->put_CGIAPNAME("/nine");
    ASSERT_EQ(control->HttpGetEx(0, "404", 0), -1);
    EXPECT_EQ(camera.requests().back(),
              "GET /nine HTTP/1.0\r\nUser-Agent: admin\r\nAuthorization: Basic " + credential + "\r\n\r\n");
    EXPECT_EQ(control->HttpGet(0), 0); // the plain GET does not accept 404
    EXPECT_EQ(errCode(), 26);

    control->put_CGIAPNAME("cgi/set");
    control->put_CGIALLValue("Hue=4\r\n");
    ASSERT_EQ(control->HttpPost(0), -1);
    EXPECT_EQ(errCode(), 20);
    EXPECT_EQ(camera.requests().back(), "POST /cgi/set HTTP/1.0\r\nContent-Type: text/plain\r\nUser-Agent: "
                                        "admin\r\nAuthorization: Basic " +
                                            credential + "\r\nContent-Length: 7\r\n\r\nHue=4\r\n");
    // The CGIAPNAME field keeps at most 63 characters.
    control->put_CGIAPNAME(std::string(100, 'p'));
    std::string path;
    control->get_CGIAPNAME(&path);
    EXPECT_EQ(path.size(), 63u);
}

TEST_F(HttpEngine, TextsWithLineBreaksAreNotSent)
{
    FakeCamera camera([](const std::string&) { return ok("a=1"); });
    pointAt(camera);
    control->put_UserName("admin\r\nX-Injected: 1");
    EXPECT_EQ(control->HttpGet(0), 0);
    EXPECT_EQ(errCode(), 24);
    control->put_UserName("admin");
    control->put_CGIAPNAME("/a b\r\nHost: evil");
    EXPECT_EQ(control->HttpPost(0), 0);
    EXPECT_EQ(errCode(), 14);
    std::int32_t r = 5;
    control->PostCmd("/x\nY: 1", "c", 10, &r);
    EXPECT_EQ(r, 0);
    EXPECT_TRUE(camera.requests().empty());
}

// ---- answers ----

TEST_F(HttpEngine, StatusHeaderAndConnectionFailures)
{
    struct Case
    {
        const char* name;
        std::string answer;
        int result;
        int code; // -1: longErrCode unchanged
    };
    const std::vector<Case> cases{
        {"401", "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\n", 0, 26},
        {"nothing", "", 0, 25},
        {"too little", "HTTP/1.0 200", 0, 25},
        {"no end of header", "HTTP/1.0 200 OK\r\n" + std::string(3000, 'h'), 0, 27},
        {"data follows", "HTTP/1.0 200 OK\r\nData follows\r\n\r\nabc", 0, -1},
        {"accepted", ok("k=v"), -1, -1},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        FakeCamera camera([&](const std::string&) { return tc.answer; });
        pointAt(camera);
        control->put_CGIALLValue("previous");
        const std::int32_t before = errCode();
        EXPECT_EQ(control->HttpGet(0), tc.result);
        EXPECT_EQ(errCode(), tc.code < 0 ? before : tc.code);
        std::string body;
        control->get_CGIALLValue(&body);
        EXPECT_EQ(body, tc.result ? "k=v" : "previous");
    }
    control->put_RemotePort(loopback::closedPort());
    EXPECT_EQ(control->HttpGet(0), 0);
    EXPECT_EQ(errCode(), 22);
    EXPECT_EQ(control->HttpPost(0), 0);
    EXPECT_EQ(errCode(), 22);
}

// The exchange area serves one request at a time: a request that finds it taken is reported,
// and one that follows a finished request is not.
TEST_F(HttpEngine, OverlappingRequestsAreReported)
{
    HttpExchange& area = CImagePeer::http(*control);
    control->put_RemotePort(loopback::closedPort());
    EXPECT_EQ(control->HttpGet(0), 0);
    EXPECT_EQ(area.m_Overlaps.load(), 0u);
    {
        HttpExchange::Claim other(area); // another caller's request still running
        EXPECT_FALSE(other.overlapped());
        EXPECT_EQ(control->HttpGet(0), 0);
        EXPECT_EQ(area.m_Overlaps.load(), 1u);
        EXPECT_EQ(control->HttpPost(0), 0);
        EXPECT_EQ(area.m_Overlaps.load(), 2u);
        EXPECT_TRUE(area.m_InUse.load()); // the overlapping request did not free the other's claim
    }
    EXPECT_FALSE(area.m_InUse.load());
    EXPECT_EQ(control->HttpGet(0), 0);
    EXPECT_EQ(area.m_Overlaps.load(), 2u);
    EXPECT_FALSE(area.m_InUse.load());
}

TEST_F(HttpEngine, BodyLengthsAreBounded)
{
    const std::string big(20000, 'b');
    struct Case
    {
        const char* name;
        std::string answer;
        std::size_t kept;
    };
    const std::vector<Case> cases{
        {"exact length", ok("12345"), 5},
        {"no length: read until the camera closes", "HTTP/1.0 200 OK\r\n\r\n" + std::string(300, 'n'), 300},
        {"length beyond the body buffer", ok(big), CImage::kBodySize},
        {"no length, more than the buffer", "HTTP/1.0 200 OK\r\n\r\n" + big, CImage::kBodySize},
        {"negative length counts as none",
         "HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n" + std::string(40, 'm'), 40},
        {"absurd length", "HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\nabc", 3},
        {"length larger than what comes", "HTTP/1.0 200 OK\r\nContent-Length: 500\r\n\r\nshort", 5},
        {"lower-case label", "HTTP/1.0 200 OK\r\nContent-length: 2\r\n\r\nabcdef", 2},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        FakeCamera camera([&](const std::string&) { return tc.answer; });
        pointAt(camera);
        control->put_CGIALLValue(std::string(CImage::kBodySize, 'z')); // stale bytes must go
        ASSERT_EQ(control->HttpGet(0), -1);
        const std::string bodyStart = tc.answer.substr(tc.answer.find("\r\n\r\n") + 4);
        EXPECT_EQ(std::string(CImagePeer::http(*control).m_Body.data(), tc.kept),
                  bodyStart.substr(0, tc.kept));
        if (tc.kept < CImage::kBodySize) {
            EXPECT_EQ(CImagePeer::http(*control).m_Body[tc.kept], 0);
        }
    }
}

// ---- parameter table ----

TEST_F(HttpEngine, ParseSearchChangeAndPostBack)
{
    const std::string page = "[Video]\r\nBrightness=5\r\nContrast=\r\n[Audio]\r\nVolume=3";
    FakeCamera camera([&](const std::string& r) {
        return r.rfind("GET", 0) == 0 ? ok(page) : std::string("HTTP/1.0 200 OK\r\n\r\n");
    });
    pointAt(camera);
    control->put_Protocol(PROTOCOL_MULTIPART);
    std::int32_t result = 0;
    control->GetCGIConfig(1, &result);
    ASSERT_EQ(result, -1);

    std::int32_t count = 0;
    control->get_ParameterNum(&count);
    ASSERT_EQ(count, 5);
    const char* names[] = {"[Video]", "Brightness", "Contrast", "[Audio]", "Volume"};
    for (int i = 0; i < 5; ++i) {
        std::string n;
        control->GetParameterName(i, &n);
        EXPECT_EQ(n, names[i]);
    }
    EXPECT_EQ(paramValue("Brightness"), "5");
    EXPECT_EQ(paramValue("Contrast"), "");
    EXPECT_EQ(paramValue("Volume"), "3");
    EXPECT_EQ(paramValue("[Video]"), "(none)"); // headers are not values
    std::string v = "(none)";
    control->GetParameterValueEx("Audio", "Volume", &v);
    EXPECT_EQ(v, "3");
    v = "(none)";
    control->GetParameterValueEx("Video", "Volume", &v);
    EXPECT_EQ(v, "(none)");

    control->SetParameterValue("Brightness", Variant::str("7"), &result);
    EXPECT_EQ(result, -1);
    control->SetParameterValue("Missing", Variant::str("7"), &result);
    EXPECT_EQ(result, 0);
    control->PostCGIConfig(1, &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(errCode(), 20);
    const std::string posted = camera.requests().back();
    EXPECT_NE(posted.find("Content-Length: 32\r\n\r\n[Video]\r\nBrightness=7\r\n[Audio]\r\n"),
              std::string::npos)
        << posted;
    EXPECT_EQ(posted.size(), posted.find("\r\n\r\n") + 4 + 32);

    control->SetParameterValueEx("Image", "Hue", Variant::str("4"), &result);
    EXPECT_EQ(result, -1);
    control->SetParameterValueEx("Audio", "Balance", Variant(), &result); // empty variant: "0"
    EXPECT_EQ(result, -1);
    control->SetParameterValueEx("Video", "Contrast", Variant::i4(12), &result);
    control->get_ParameterNum(&count);
    ASSERT_EQ(count, 8);
    const char* after[] = {"[Video]", "Brightness", "Contrast", "[Audio]",
                           "Volume",  "[Image]",    "Hue",      "Balance"};
    for (int i = 0; i < 8; ++i) {
        std::string n;
        control->GetParameterName(i, &n);
        EXPECT_EQ(n, after[i]);
    }
    v.clear();
    control->GetParameterValueEx("Image", "Hue", &v);
    EXPECT_EQ(v, "4");
    EXPECT_EQ(paramValue("Balance"), "0");
    EXPECT_EQ(paramValue("Contrast"), "12");

    control->ClearParameter();
    control->get_ParameterNum(&count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(paramValue("Volume"), "(none)");
    // Other protocols have no CGI form: the result stays as passed.
    control->put_Protocol(PROTOCOL_NATIVE);
    result = 77;
    control->GetCGIConfig(1, &result);
    EXPECT_EQ(result, 77);
}

TEST_F(HttpEngine, HostileTablesStayInsideTheirLimits)
{
    std::string body;
    for (int i = 0; i < 300; ++i)
        body += "p" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    body += "plain text line\r\n\r\n" + std::string(100, 'N') + "=" + std::string(100, 'V') + "\r\n";
    control->put_CGIALLValue(body);
    control->ParseParameters("\r\n");
    std::int32_t count = 0;
    control->get_ParameterNum(&count);
    EXPECT_EQ(count, kMaxParameterEntries);
    EXPECT_EQ(paramValue("p199"), "199");
    EXPECT_EQ(paramValue("p200"), "(none)");

    control->put_CGIALLValue("ok=1\r\nno equals sign\r\n" + std::string(100, 'N') + "=" +
                             std::string(100, 'V'));
    control->ParseParameters("\r\n");
    control->get_ParameterNum(&count);
    ASSERT_EQ(count, 2);
    std::string name;
    control->GetParameterName(1, &name);
    EXPECT_EQ(name, std::string(63, 'N'));
    EXPECT_EQ(paramValue(std::string(63, 'N')), std::string(63, 'V'));

    // A host may put any count; lookups stay inside the table.
    control->put_ParameterNum(100000);
    name = "as passed";
    control->GetParameterName(5000, &name);
    EXPECT_EQ(name, "as passed");
    control->GetParameterName(150, &name); // inside the table, beyond the entries: empty
    EXPECT_EQ(name, "");
    control->put_ParameterNum(-3);
    EXPECT_EQ(paramValue("ok"), "(none)");

    // Appends stop at 200 entries.
    control->put_CGIALLValue(body);
    control->ParseParameters("\r\n");
    std::int32_t result = 5;
    control->SetParameterValueEx("New", "x", Variant::str("1"), &result);
    EXPECT_EQ(result, 0);

    // 200 changed entries of 127 bytes do not fit a 10,000-byte body: the POST is refused.
    for (int i = 0; i < kMaxParameterEntries; ++i) {
        auto& e = CImagePeer::http(*control).m_Parameters[static_cast<std::size_t>(i)];
        e.setName(std::string(63, 'n'));
        e.setValue(std::string(63, 'v'));
        e.flag = ParameterEntry::kChanged;
    }
    control->FlattenParameters();
    control->put_CGIALLValue("unchanged");
    EXPECT_EQ(control->HttpPost(1), 0);
    EXPECT_EQ(errCode(), 14);
    std::string kept;
    control->get_CGIALLValue(&kept);
    EXPECT_EQ(kept, "unchanged");
}

// ---- POST forms ----

TEST_F(HttpEngine, PostCommandResultsAndLimits)
{
    struct Case
    {
        std::string answer;
        int result;
    };
    const std::vector<Case> cases{
        {"HTTP/1.0 204 No Content\r\n\r\n", -1},    {"HTTP/1.0 200 OK\r\n\r\n", -1},
        {"HTTP/1.0 401 Unauthorized\r\n\r\n", 401}, {"HTTP/1.0 403 Forbidden\r\n\r\n", 403},
        {"HTTP/1.0 407 Proxy Auth\r\n\r\n", 405},   {"HTTP/1.0 409 Conflict\r\n\r\n", 405},
        {"HTTP/1.1 500 Oops\r\n\r\n", 0},           {"", 0},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.answer);
        FakeCamera camera([&](const std::string&) { return tc.answer; });
        pointAt(camera);
        std::int32_t result = 99;
        control->PostCmd("/cgi-bin/ptz.cgi", "move=up", 8, &result);
        EXPECT_EQ(result, tc.result);
        ASSERT_EQ(camera.requests().size(), 1u);
        EXPECT_EQ(camera.requests()[0],
                  "POST /cgi-bin/ptz.cgi HTTP/1.0\r\nContent-Type: text/plain\r\nUser-Agent: USER\r\n"
                  "Authorization: Basic " +
                      credential + "\r\nContent-Length: 11\r\n\r\nmove=up\r\n\r\n");
    }
    // Oversize input is refused without a request.
    FakeCamera camera([](const std::string&) { return std::string("HTTP/1.0 200 OK\r\n\r\n"); });
    pointAt(camera);
    struct Limit
    {
        std::string path, content;
        std::int32_t length;
    };
    for (const auto& l : std::vector<Limit>{
             {"/a", "1234567", 7}, {"/a", "x", 0}, {"/a", "x", -1}, {"/" + std::string(499, 'p'), "x", 10}}) {
        std::int32_t result = 99;
        control->PostCmd(l.path, l.content, l.length, &result);
        EXPECT_EQ(result, 0);
    }
    EXPECT_TRUE(camera.requests().empty());
}

TEST_F(HttpEngine, PostExKeepsTheAnswerHead)
{
    struct Case
    {
        std::string answer;
        int result;
        bool headInBody;
    };
    const std::vector<Case> cases{
        {"HTTP/1.0 302 Found\r\nLocation: /error.asp\r\n\r\n", -1, true},
        {"HTTP/1.0 200 OK\r\nSet-Cookie: a\r\n\r\n", -1, true},
        {"HTTP/1.0 201 Created\r\nX: y\r\n\r\n", -1, false}, // only "20": traced, body untouched
        {"HTTP/1.0 500 Server Error\r\n\r\n", 0, false},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.answer);
        FakeCamera camera([&](const std::string&) { return tc.answer; });
        pointAt(camera);
        control->put_CGIAPNAME("/goform/formLogin");
        control->put_CGIALLValue("f_CookieValue=1&f_LOGIN=admin");
        EXPECT_EQ(control->HttpPostEx(0, "302"), tc.result);
        std::string body;
        control->get_CGIALLValue(&body);
        EXPECT_EQ(body, tc.headInBody ? tc.answer : "f_CookieValue=1&f_LOGIN=admin");
    }
}

TEST_F(HttpEngine, DeviceInformationReads)
{
    std::string info(600, '\0');
    for (std::size_t i = 0; i < info.size(); ++i)
        info[i] = static_cast<char>(i % 251 + 1);
    FakeCamera camera([&](const std::string& r) {
        if (r.rfind("GET /goform/serial", 0) == 0)
            return ok("SERIAL-123");
        return ok(info);
    });
    pointAt(camera);
    control->put_Protocol(PROTOCOL_MULTIPART);
    std::int32_t result = 0;
    control->GetDevExtInfo(&result);
    ASSERT_EQ(result, -1);
    std::string serial;
    control->get_DeviceSerialNo(&serial);
    EXPECT_EQ(serial, "SERIAL-123");
    // The serial text now stands in for the credentials.
    EXPECT_NE(camera.requests().back().find("Authorization: Basic SERIAL-123\r\n"), std::string::npos);
    EXPECT_EQ(0, std::memcmp(CImagePeer::http(*control).m_DevExtInfo.data(), info.data(), 512));
    std::int32_t port = 0;
    control->get_RemoteWebPort(&port);
    EXPECT_EQ(port, static_cast<std::uint8_t>(info[261]) | (static_cast<std::uint8_t>(info[262]) << 8));

    // The family page keeps two bytes fewer before its second part.
    control->put_Protocol(PROTOCOL_KESTRA);
    CImagePeer::http(*control).m_DevExtInfo.fill(0xEE);
    control->put_CGIALLValue("TOKEN-9"); // the previous answer becomes the stored code
    control->GetDevExtInfo(&result);
    ASSERT_EQ(result, -1);
    EXPECT_NE(camera.requests().back().find("GET /getInfo.asp HTTP/1.0\r\n"), std::string::npos);
    EXPECT_NE(camera.requests().back().find("Authorization: Basic TOKEN-9\r\n"), std::string::npos);
    EXPECT_EQ(0, std::memcmp(CImagePeer::http(*control).m_DevExtInfo.data(), info.data(), 259));
    EXPECT_EQ(0, std::memcmp(CImagePeer::http(*control).m_DevExtInfo.data() + 259, info.data() + 260, 252));
    EXPECT_EQ(CImagePeer::http(*control).m_DevExtInfo[511], 0xEE);
    control->get_RemoteWebPort(&port);
    EXPECT_EQ(port, static_cast<std::uint8_t>(info[262]) | (static_cast<std::uint8_t>(info[263]) << 8));

    control->put_Protocol(PROTOCOL_NATIVE);
    result = 55;
    control->GetDevExtInfo(&result);
    EXPECT_EQ(result, 55);
}

// ---- real peers ----

namespace {

// A scratch folder with the web root "www" and room for the peers' files beside it.
struct WebRoot
{
    ScratchDir scratch;
    fs::path dir = scratch / "www";
    WebRoot()
    {
        fs::create_directories(dir / "goform");
        std::ofstream(dir / "goform" / "serial", std::ios::binary) << "[Video]\r\nBrightness=5\r\nHue=2\r\n";
    }
};

} // namespace

TEST(HttpEngineRealPeers, ReadsAPageFromPythonDirectlyAndThroughTinyproxy)
{
    WebRoot root;
    const int webPort = loopback::closedPort();
    httppeers::ChildProcess web({"/usr/bin/python3", "-m", "http.server", std::to_string(webPort), "--bind",
                                 "127.0.0.1", "--directory", root.dir.string()},
                                (root.scratch / "python.log").string());
    ASSERT_TRUE(web.started());
    ASSERT_TRUE(httppeers::waitForListener(webPort)) << "python3 -m http.server did not start";

    CImage control;
    control.put_RemoteHost("127.0.0.1");
    control.put_RemotePort(webPort);
    control.put_UserName("admin");
    control.put_Password("1234");
    ASSERT_EQ(control.HttpGet(1), -1);
    std::string v;
    control.GetParameterValue("Brightness", &v);
    EXPECT_EQ(v, "5");
    EXPECT_EQ(control.BodyText(), "[Video]\r\nBrightness=5\r\nHue=2\r\n");
    control.put_CGIAPNAME("/goform/missing");
    EXPECT_EQ(control.HttpGet(0), 0); // 404
    std::int32_t code = 0;
    control.get_longErrCode(&code);
    EXPECT_EQ(code, 26);

    // control -> recording relay -> tinyproxy -> python
    const fs::path conf = root.scratch / "tinyproxy.conf";
    const int proxyPort = loopback::closedPort();
    std::ofstream(conf) << "Port " << proxyPort << "\nListen 127.0.0.1\nTimeout 30\nAllow 127.0.0.1\n"
                        << "MaxClients 10\nLogLevel Error\n";
    httppeers::ChildProcess proxy({"/usr/bin/tinyproxy", "-d", "-c", conf.string()},
                                  (root.scratch / "tinyproxy.log").string());
    ASSERT_TRUE(proxy.started());
    ASSERT_TRUE(httppeers::waitForListener(proxyPort)) << "tinyproxy did not start";
    httppeers::RecordingRelay relay(proxyPort);

    control.put_CGIAPNAME("/goform/serial");
    control.ClearParameter();
    control.put_CGIALLValue("");
    control.put_EnableProxy(VariantBool(1));
    control.put_LocalCamera(VARIANT_FALSE);
    control.put_ProxyServerAddress("127.0.0.1");
    control.put_ProxyPort(relay.port());
    ASSERT_EQ(control.HttpGet(1), -1);
    control.GetParameterValue("Hue", &v);
    EXPECT_EQ(v, "2");
    const std::string expected =
        "GET HTTP://127.0.0.1:" + std::to_string(webPort) +
        "/goform/serial HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\nHost: 127.0.0.1\r\n"
        "User-Agent: admin\r\nAuthorization: Basic " +
        base64Encode("admin:1234") + "\r\n";
    EXPECT_EQ(relay.captured().substr(0, expected.size()), expected);
}
