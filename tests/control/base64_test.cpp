// The control's Base64 members and the stored credential code that the control hands out in
// place of the user name and password.
#include "control/cimage.h"
#include "platform/base64.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tessivor;

TEST(Base64, MemberEdgeCases)
{
    CImage control;
    struct EnCase
    {
        std::string in, out;
    };
    for (const auto& tc : std::vector<EnCase>{{"", ""}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}}) {
        std::string out = "unchanged";
        control.Base64En(tc.in, &out);
        EXPECT_EQ(out, tc.out) << tc.in;
    }
    struct DeCase
    {
        const char* name;
        std::string in, out;
    };
    const std::vector<DeCase> cases{
        {"padded", "YWI=", "ab"},
        {"padding missing", "YWI", "ab"},
        {"lone last character", "YWJjZ", "abc"},
        {"after the first = anything goes", "YQ==\x01 !", "a"},
        {"blank", "YW I=", "ERROR"},
        {"carriage return", "YWI\r", "ERROR"},
        {"line feed", "YW\nI=", "ERROR"},
        {"high byte", "YW\xC3\xA9", "ERROR"},
        {"= alone", "=", ""},
        {"empty", "", ""},
        {"zero byte ends the text", "YQBi", "a"}, // "a\0b"
    };
    for (const auto& tc : cases) {
        std::string out = "unchanged";
        control.Base64De(tc.in, &out);
        EXPECT_EQ(out, tc.out) << tc.name;
    }
    // The members work in a 1024-character area.
    std::string out;
    control.Base64En(std::string(769, 'x'), &out);
    EXPECT_EQ(out.size(), 1024u);
    EXPECT_EQ(out, base64Encode(std::string(768, 'x')));
    std::string stored;
    control.get_DeviceSerialNo(&stored);
    EXPECT_EQ(stored, ""); // the members leave the stored code alone
}

TEST(Base64, StoredCodeIsHandedOutUntilTheCredentialsChange)
{
    CImage control;
    control.put_UserName("admin");
    control.put_Password("secret");
    EXPECT_EQ(control.EncodeCredentialsBuffer(), base64Encode("admin:secret"));
    // The code is stored and handed out for any text until it is cleared.
    EXPECT_EQ(control.Base64EncodeBuffer("someone:else"), base64Encode("admin:secret"));
    std::string stored;
    control.get_DeviceSerialNo(&stored);
    EXPECT_EQ(stored, base64Encode("admin:secret"));

    // A new password makes a new code.
    control.put_Password("other");
    control.get_DeviceSerialNo(&stored);
    EXPECT_EQ(stored, "");
    EXPECT_EQ(control.EncodeCredentialsBuffer(), base64Encode("admin:other"));
    control.put_UserName("root");
    EXPECT_EQ(control.EncodeCredentials(), base64Encode("root:other"));

    // A token put by the host replaces the credentials; a short text gives the stored text.
    control.put_DeviceSerialNo("TOKEN42");
    EXPECT_EQ(control.EncodeCredentialsBuffer(), "TOKEN42");
    EXPECT_EQ(control.Base64Encode("a:b"), base64Encode("a:b")); // Base64Encode always encodes
    control.put_DeviceSerialNo("");
    EXPECT_EQ(control.Base64EncodeBuffer("x"), "");
    // A long credential is encoded whole, never sent as plain text.
    const std::string longUser(200, 'u');
    control.put_UserName(longUser);
    EXPECT_EQ(control.EncodeCredentialsBuffer(), base64Encode(longUser + ":other"));
}

TEST(Base64, CredentialCodeStaysConsistentUnderConcurrentPuts)
{
    // Readers on worker threads while the host's thread changes the credentials: every code
    // handed out must be the code of one complete user/password pair that was set.
    CImage control;
    const std::vector<std::pair<std::string, std::string>> pairs{{"alpha", "one"}, {"beta", "two"}};
    std::vector<std::string> valid;
    for (const auto& user : pairs)
        for (const auto& password : pairs)
            valid.push_back(base64Encode(user.first + ":" + password.second));
    control.put_UserName(pairs[0].first);
    control.put_Password(pairs[0].second);
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t)
        readers.emplace_back([&] {
            while (!stop.load()) {
                const std::string code = control.EncodeCredentialsBuffer();
                if (std::find(valid.begin(), valid.end(), code) == valid.end())
                    ++bad;
            }
        });
    for (int i = 0; i < 2000; ++i) {
        control.put_UserName(pairs[i % 2].first);
        control.put_Password(pairs[(i / 2) % 2].second);
    }
    stop = true;
    for (auto& r : readers)
        r.join();
    EXPECT_EQ(bad.load(), 0);
    // After the last puts the next code is made from the last texts.
    control.put_Password("final");
    EXPECT_EQ(control.EncodeCredentialsBuffer(), base64Encode(pairs[1].first + ":final"));
}
