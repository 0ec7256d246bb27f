// What the web page window keeps from the camera's posted settings forms.
#include "app/setup/web_page_fields.h"

#include <gtest/gtest.h>

namespace {

using namespace pellucor;

constexpr const char* kConfigUrl = "http://127.0.0.1:8481/Config1.htm";
constexpr const char* kFullPost =
    "SRV_Name=Front+Door%26Co&SRV_Location=Hall+%231&Sys_ID=admin&Sys_Password=pa%26ss%3Dw+d"
    "&Verify_Password=pa%26ss%3Dw+d&IP_Address=192.168.0.20&Subnet_Mask=255.255.255.0"
    "&Gateway=192.168.0.1&Second_Port=8482&Web_Second=5&Image_Second=3&Config1_Apply=Apply&IP_ASSIGN=0";

WebPageValues before()
{
    WebPageValues v;
    v.userName = "olduser";
    v.password = "oldpw";
    v.ipAddress = "10.0.0.9";
    v.serverName = "old name";
    v.serverLocation = "old place";
    v.secondPort = 9000;
    v.webSecond = 7;
    v.imageSecond = 8;
    v.ipAssign = 2;
    return v;
}

TEST(WebPageFields, PostsGiveTheFieldsValues)
{
    struct Case
    {
        const char* name;
        const char* url;
        std::string body;
        bool applies;
        WebPageValues expected;
    };
    auto with = [](auto change) {
        WebPageValues v = before();
        v.cancelled = false;
        change(v);
        return v;
    };
    const WebPageValues full = with([](WebPageValues& v) {
        v.serverName = "Front Door&Co";
        v.serverLocation = "Hall #1";
        v.userName = "admin";
        v.password = "pa&ss=w d";
        v.ipAddress = "192.168.0.20";
        v.secondPort = 8482;
        v.webSecond = 5;
        v.imageSecond = 3;
        v.ipAssign = 0;
    });
    std::string noPassword = kFullPost;
    noPassword.replace(noPassword.find("Sys_Password="), std::string("Sys_Password=pa%26ss%3Dw+d&").size(),
                       "");
    std::string emptyAddress = kFullPost;
    emptyAddress.replace(emptyAddress.find("192.168.0.20"), 12, "");
    std::string badAddress = kFullPost;
    badAddress.replace(badAddress.find("192.168.0.20"), 12, "192.168.0.256");
    const Case cases[] = {
        {"configuration page", kConfigUrl, kFullPost, true, full},
        {"password with an encoded &", kConfigUrl, kFullPost, true, full},
        {"missing password keeps the old one", kConfigUrl, noPassword, true, with([&](WebPageValues& v) {
             v = full;
             v.password = "oldpw";
         })},
        {"empty address is no change", kConfigUrl, emptyAddress, true, with([&](WebPageValues& v) {
             v = full;
             v.ipAddress = "10.0.0.9";
         })},
        {"invalid address is no change", kConfigUrl, badAddress, true, with([&](WebPageValues& v) {
             v = full;
             v.ipAddress = "10.0.0.9";
         })},
        {"assignment last, empty", kConfigUrl, "Sys_ID=a&Sys_Password=b&Web_Second=1&IP_ASSIGN=", true,
         with([](WebPageValues& v) {
             v.userName = "a";
             v.password = "b";
             v.webSecond = 1;
             v.ipAssign = 1;
         })},
        {"other page with Sys_ID: no name or address", "http://127.0.0.1/user.htm",
         "SRV_Name=x&Sys_ID=op&Sys_Password=&IP_Address=1.2.3.4&Second_Port= 80 "
         "81&Image_Second=2.5&IP_ASSIGN=1",
         true, with([](WebPageValues& v) {
             v.userName = "op";
             v.password = "";
             v.secondPort = 8081;
             v.imageSecond = 2;
             v.ipAssign = 1;
         })},
        {"other page without Sys_ID", "http://127.0.0.1/video.htm", "Web_Second=9&IP_ASSIGN=0", false,
         before()},
        {"nothing posted", kConfigUrl, "", false, before()},
        {"page test is case-sensitive", "http://127.0.0.1/CONFIG1.HTM", "SRV_Name=x&IP_Address=1.2.3.4",
         false, before()},
        {"numbers: empty 0, no number 0, half to even", kConfigUrl,
         "Sys_ID=u&Second_Port=&Web_Second=abc&Image_Second=3.5&IP_ASSIGN=x", true,
         with([](WebPageValues& v) {
             v.userName = "u";
             v.secondPort = 0;
             v.webSecond = 0;
             v.imageSecond = 4;
             v.ipAssign = 1;
         })},
    };
    for (const Case& c : cases) {
        WebPageValues v = before();
        EXPECT_EQ(applyPostedForm(c.url, c.body, v), c.applies) << c.name;
        EXPECT_EQ(v.cancelled, c.expected.cancelled) << c.name;
        EXPECT_EQ(v.userName, c.expected.userName) << c.name;
        EXPECT_EQ(v.password, c.expected.password) << c.name;
        EXPECT_EQ(v.ipAddress, c.expected.ipAddress) << c.name;
        EXPECT_EQ(v.serverName, c.expected.serverName) << c.name;
        EXPECT_EQ(v.serverLocation, c.expected.serverLocation) << c.name;
        EXPECT_EQ(v.secondPort, c.expected.secondPort) << c.name;
        EXPECT_EQ(v.webSecond, c.expected.webSecond) << c.name;
        EXPECT_EQ(v.imageSecond, c.expected.imageSecond) << c.name;
        EXPECT_EQ(v.ipAssign, c.expected.ipAssign) << c.name;
    }
}

TEST(WebPageFields, DecodingAndNumbers)
{
    using Fields = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(decodeFormBody("a=1&&b&c=x%3Dy=z&%41%2B=+%2b&d=%zz%4"),
              (Fields{{"a", "1"}, {"b", ""}, {"c", "x=y=z"}, {"A+", " +"}, {"d", "%zz%4"}}));
    EXPECT_EQ(decodeFormBody("n=caf%C3%A9&r=%0D%0A&ref=%26%230065%3B%26%2365%3B"),
              (Fields{{"n", "caf\xC3\xA9"}, {"r", "\n"}, {"ref", "A&#65;"}}));

    EXPECT_EQ(leadingNumber("8482"), 8482);
    EXPECT_EQ(leadingNumber(" 1 2x"), 12);
    EXPECT_EQ(leadingNumber("-2.5"), -2);
    EXPECT_EQ(leadingNumber(".5"), 0);
    EXPECT_EQ(leadingNumber("99999999999"), 2147483647);
    EXPECT_EQ(leadingNumber("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(leadingNumber(""), std::nullopt);
    EXPECT_EQ(leadingNumber("-"), std::nullopt);
    EXPECT_EQ(leadingNumber("."), std::nullopt);

    for (const char* good : {"0.0.0.0", "192.168.0.20", "255.255.255.255"})
        EXPECT_TRUE(isDottedIPv4(good)) << good;
    for (const char* bad :
         {"", "1.2.3", "1.2.3.4.5", "1.2.3.256", "1..2.3", "1.2.3.4 ", "0001.2.3.4", "a.b.c.d", "1.2.3.4."})
        EXPECT_FALSE(isDottedIPv4(bad)) << bad;
}

} // namespace
