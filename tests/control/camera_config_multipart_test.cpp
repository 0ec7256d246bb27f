// The multipart family's login, configuration pages, clock, image settings, users and resets end
// to end against the simulated camera (tools/camsim --family multipart) on a loopback address of
// its own: every member goes through the control's HTTP engine to the camera's web server, and
// the camera's control channel tells what arrived.
#include "camsim_process.h"

#include "control/cimage.h"

#include <gtest/gtest.h>

#include <functional>

namespace tessivor::testing {
namespace {

class MultipartConfig : public ::testing::Test
{
protected:
    void SetUp() override
    {
        cam = std::make_unique<CamSim>(std::vector<std::string>{
            "--family", "multipart", "--serial", "MP-7731", "--user", "admin", "--password", "s3cret"});
    }

    // A control aimed at the camera's web server with the given credentials.
    std::unique_ptr<CImage> aim(const std::string& user = "admin", const std::string& password = "s3cret")
    {
        auto c = std::make_unique<CImage>();
        c->put_RemoteHost(cam->address());
        c->put_RemotePort(cam->httpPort());
        c->put_Protocol(PROTOCOL_MULTIPART);
        c->put_UserName(user);
        c->put_Password(password);
        c->put_TimeOut(3);
        c->put_ConnTimeOut(3);
        return c;
    }

    static std::int32_t call(const std::function<HRESULT(std::int32_t*)>& member)
    {
        std::int32_t v = 77;
        EXPECT_EQ(member(&v), S_OK);
        return v;
    }

    static std::int32_t login(CImage& c)
    {
        return call([&](auto* p) { return c.LoginCamera(toVariantBool(false), p); });
    }

    std::unique_ptr<CamSim> cam;
};

TEST_F(MultipartConfig, LoginPageJudgesTheCredentialsNotAnEarlierToken)
{
    struct Case
    {
        const char* user;
        const char* password;
        std::int32_t wanted;
    };
    for (const Case& k : {Case{"admin", "s3cret", -1}, Case{"admin", "wrong", 1}, Case{"nobody", "s3cret", 1},
                          Case{"", "", 1}}) {
        SCOPED_TRACE(std::string(k.user) + ":" + k.password);
        auto c = aim(k.user, k.password);
        // The configuration read leaves the camera's serial token as the authorization code; the
        // login must not log in with it.
        ASSERT_EQ(call([&](auto* p) { return c->GetConfig(0, p); }), -1);
        std::string token;
        c->get_DeviceSerialNo(&token);
        EXPECT_EQ(token, "MP-7731");
        EXPECT_EQ(login(*c), k.wanted);
    }
    EXPECT_EQ(cam->stat("logins-ok"), 1);
    EXPECT_EQ(cam->stat("logins-refused"), 3);

    // Without the token and with a wrong password the pages themselves refuse: the engine's code.
    auto refused = aim("admin", "wrong");
    std::int16_t v[7] = {};
    EXPECT_EQ(
        call([&](auto* p) { return refused->GetTime(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], p); }),
        0);
    std::int32_t code = 0;
    refused->get_longErrCode(&code);
    EXPECT_EQ(code, 26);
}

TEST_F(MultipartConfig, ConfigurationReadChangedAndWrittenToEveryPageThenRestarts)
{
    auto c = aim();
    ASSERT_EQ(login(*c), -1);
    ASSERT_EQ(call([&](auto* p) { return c->GetConfig(0, p); }), -1);
    std::string device;
    EXPECT_EQ(c->GetParameterValueEx("System", "DeviceName", &device), S_OK);
    EXPECT_EQ(device, "camsim");
    std::string port;
    c->GetParameterValueEx("Network", "WebPort", &port);
    EXPECT_EQ(port, "80");

    struct Change
    {
        const char* section;
        const char* name;
        const char* value;
    };
    const Change changes[] = {{"Upload", "FtpServer", "ftp.example.net"},
                              {"Image", "Brightness", "77"},
                              {"Video", "FrameRate", "12"},
                              {"Trigger", "Output2", "1"},
                              {"System", "Date", "2027-03-04"}};
    for (const Change& ch : changes) {
        std::int32_t done = 0;
        c->SetParameterValueEx(ch.section, ch.name, Variant::str(ch.value), &done);
        EXPECT_EQ(done, -1) << ch.name;
    }
    ASSERT_EQ(call([&](auto* p) { return c->SetConfig(0, 0, p); }), -1);
    for (const Change& ch : changes)
        EXPECT_EQ(cam->command(std::string("web-value ") + ch.section + " " + ch.name),
                  std::string("ok ") + ch.value);
    EXPECT_EQ(cam->command("web-value Video Resolution"), "ok 2") << "an entry left alone stays";
    EXPECT_EQ(cam->command("web-posts"), "ok image=1 network=1 system=1 trigger=1 upload=1 video=1");
    EXPECT_EQ(cam->command("resets"), "ok reboots=1 factory=0");

    // A fresh read shows what was written.
    auto fresh = aim();
    ASSERT_EQ(call([&](auto* p) { return fresh->GetConfig(0, p); }), -1);
    std::string server;
    fresh->GetParameterValueEx("Upload", "FtpServer", &server);
    EXPECT_EQ(server, "ftp.example.net");
}

TEST_F(MultipartConfig, ClockImageSettingsAndResets)
{
    auto c = aim();
    ASSERT_EQ(login(*c), -1);
    std::int16_t second = -1, minute = -1, hour = -1, day = -1, month = -1, date = -1, year = -1;
    ASSERT_EQ(
        call([&](auto* p) { return c->GetTime(&second, &minute, &hour, &day, &month, &date, &year, p); }),
        -1);
    EXPECT_EQ(std::vector<int>({second, minute, hour, day, month, date, year}),
              std::vector<int>({0, 30, 12, 11, 12, 11, 2026}));

    // Brightness, contrast and hue go to the camera; the other four are not sent.
    ASSERT_EQ(call([&](auto* p) { return c->SetImageConfig(9, 9, 9, 40, 41, 42, 9, p); }), -1);
    EXPECT_EQ(cam->command("web-value Image Brightness"), "ok 40");
    EXPECT_EQ(cam->command("web-value Image Contrast"), "ok 41");
    EXPECT_EQ(cam->command("web-value Image Hue"), "ok 42");
    EXPECT_EQ(cam->command("web-value Video Resolution"), "ok 2");

    // A stored setting changed, then the factory settings bring it back.
    std::int32_t done = 0;
    c->ClearParameter();
    c->SetParameterValueEx("Upload", "FtpPort", Variant::str("2121"), &done);
    c->put_CGIAPNAME("/cgi-bin/upload_cfg.cgi");
    ASSERT_EQ(call([&](auto* p) { return c->PostCGIConfig(1, p); }), -1);
    EXPECT_EQ(cam->command("web-value Upload FtpPort"), "ok 2121");
    EXPECT_EQ(call([&](auto* p) { return c->Reset(p); }), -1);
    EXPECT_EQ(cam->command("resets"), "ok reboots=1 factory=0");
    EXPECT_EQ(call([&](auto* p) { return c->FactoryReset(p); }), -1);
    EXPECT_EQ(cam->command("resets"), "ok reboots=1 factory=1");
    EXPECT_EQ(cam->command("web-value Upload FtpPort"), "ok 21");
}

TEST_F(MultipartConfig, AddedUsersLogInWithTheirOwnRights)
{
    auto admin = aim();
    ASSERT_EQ(login(*admin), -1);
    EXPECT_EQ(call([&](auto* p) { return admin->AddUser("viewer", "look", 2, p); }), -1);
    EXPECT_EQ(call([&](auto* p) { return admin->AddUser("deputy", "boss", 1, p); }), -1);
    // Adding a user again changes its password and access word.
    EXPECT_EQ(call([&](auto* p) { return admin->AddUser("viewer", "look2", 2, p); }), -1);
    EXPECT_EQ(cam->command("web-users"), "ok viewer:look2:2 deputy:boss:1");

    auto viewer = aim("viewer", "look2");
    EXPECT_EQ(login(*viewer), -1) << "a user logs in";
    EXPECT_EQ(login(*aim("viewer", "look")), 1) << "with its new password only";
    // A user who is not an administrator cannot add users; an added administrator can.
    EXPECT_EQ(call([&](auto* p) { return viewer->AddUser("intruder", "x", 1, p); }), 0);
    auto deputy = aim("deputy", "boss");
    ASSERT_EQ(login(*deputy), -1);
    EXPECT_EQ(call([&](auto* p) { return deputy->AddUser("third", "x", 2, p); }), -1);
    EXPECT_EQ(cam->command("web-users"), "ok viewer:look2:2 deputy:boss:1 third:x:2");
}

} // namespace
} // namespace tessivor::testing
