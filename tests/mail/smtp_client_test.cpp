#include "../io/unresolvable_host.h"
#include "io/memory_data_source.h"
#include "mail/image_mail_client.h"
#include "mail/mail_errors.h"
#include "mail/mail_message.h"
#include "mail/smtp_client.h"
#include "mail/smtp_data.h"
#include "mail/smtp_reply.h"
#include "platform/clock.h"
#include "scripted_smtp_server.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace tessivor;

using namespace mailtest;
using Stage = ScriptedSmtpServer::Stage;
using Failure = ScriptedSmtpServer::Failure;

namespace {

// ---- reply parsing ----

TEST(SmtpReply, ParserCases)
{
    struct Case
    {
        std::string bytes;
        bool complete;
        int code;
        std::size_t lines;
        std::size_t consumed; // bytes taken (the rest belongs to the next reply)
    };
    const std::string manyLines = [] {
        std::string s;
        for (std::size_t i = 0; i < SmtpReplyParser::kMaxLines + 5; ++i)
            s += "250-line\r\n";
        return s + "250 end\r\n";
    }();
    const Case cases[] = {
        {"220 ready\r\n", true, 220, 1, 11},
        {"250-a\r\n250-b\r\n250 c\r\n", true, 250, 3, 21},
        {"250 first\r\n354 second\r\n", true, 250, 1, 11},
        {"250-a\r\n", false, 0, 1, 7},
        {"250 no line end", false, 0, 0, 15},
        {"250\r\n", true, 250, 1, 5},
        {"250 lf only\n", true, 250, 1, 12},
        {"25\r\n", true, 0, 1, 4},
        {"abc ok\r\n", true, 0, 1, 8},
        {"099 low\r\n", true, 0, 1, 9},
        {"2500 wide\r\n", true, 0, 1, 11},
        {"250-a\r\n251 b\r\n", true, 0, 2, 14}, // codes differ
        {"\r\n", true, 0, 1, 2},
        {"250 " + std::string(5000, 'x') + "\r\n", true, 250, 1, 5006},
        {manyLines, true, 0, SmtpReplyParser::kMaxLines, (SmtpReplyParser::kMaxLines + 1) * 10},
    };
    for (const auto& c : cases) {
        SmtpReplyParser p;
        // One byte at a time must give the same as the whole piece.
        std::size_t consumedOneByOne = 0;
        for (std::size_t i = 0; i < c.bytes.size() && !p.complete(); ++i)
            consumedOneByOne += p.feed(c.bytes.data() + i, 1);
        SmtpReplyParser whole;
        const std::size_t consumed = whole.feed(c.bytes.data(), c.bytes.size());
        for (const SmtpReplyParser* r : {&p, &whole}) {
            EXPECT_EQ(r->complete(), c.complete) << c.bytes.substr(0, 40);
            if (c.complete) {
                EXPECT_EQ(r->code(), c.code) << c.bytes.substr(0, 40);
            }
            EXPECT_EQ(r->lines().size(), c.lines) << c.bytes.substr(0, 40);
        }
        EXPECT_EQ(consumed, c.consumed) << c.bytes.substr(0, 40);
        EXPECT_EQ(consumedOneByOne, c.consumed) << c.bytes.substr(0, 40);
        for (const auto& line : whole.lines())
            EXPECT_LE(line.size(), SmtpReplyParser::kMaxKept);
    }
}

// ---- the DATA stream ----

TEST(SmtpData, LinesEndInCrLfAndDotsAreDoubled)
{
    struct Case
    {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"", ".\r\n"},
        {"a", "a\r\n.\r\n"},
        {"a\r\n", "a\r\n.\r\n"},
        {".\r\n", "..\r\n.\r\n"},
        {".", "..\r\n.\r\n"},
        {"x\r\n.hidden\r\n..two\r\nmid.dot\r\n", "x\r\n..hidden\r\n...two\r\nmid.dot\r\n.\r\n"},
        {"bare\nlf\n.\n", "bare\r\nlf\r\n..\r\n.\r\n"},
        {"lone\rcr\r", "lone\r\ncr\r\n.\r\n"},
        {"\r\n\r\n", "\r\n\r\n.\r\n"},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{3}, c.in.size() + 1}) {
            SmtpDataWriter w;
            std::string out;
            for (std::size_t at = 0; at < c.in.size(); at += piece)
                w.write(c.in.data() + at, std::min(piece, c.in.size() - at), out);
            w.finish(out);
            EXPECT_EQ(out, c.out) << "[" << c.in << "] in pieces of " << piece;
        }
    }
}

TEST(SmtpData, LongLinesAreBrokenInTheBodyAndFoldedInTheHeader)
{
    const std::string longLine(2500, 'x');
    for (bool header : {false, true}) {
        SmtpDataWriter w;
        w.setHeaderMode(header);
        std::string out;
        w.write(longLine.data(), longLine.size(), out);
        w.finish(out);
        std::size_t content = 0;
        std::size_t at = 0;
        while (true) {
            const auto eol = out.find("\r\n", at);
            if (eol == std::string::npos)
                break;
            const std::string line = out.substr(at, eol - at);
            EXPECT_LE(line.size(), SmtpDataWriter::kMaxLine);
            if (line != ".") {
                const bool continued = header && at > 0;
                EXPECT_EQ(continued, !line.empty() && line[0] == ' ');
                content += line.size() - (continued ? 1 : 0);
            }
            at = eol + 2;
        }
        EXPECT_EQ(content, longLine.size());
    }
    // A stuffed dot counts toward the line length.
    SmtpDataWriter w;
    std::string out;
    const std::string dotted = "." + std::string(997, 'y');
    w.write(dotted.data(), dotted.size(), out);
    w.finish(out);
    EXPECT_EQ(out, ".." + std::string(996, 'y') + "\r\ny\r\n.\r\n");
}

// ---- addresses, dates, checks ----

TEST(SmtpClient, ParseAddressCases)
{
    struct Case
    {
        const char* text;
        int result;
        const char* address;
    };
    const Case cases[] = {
        {"a@x.test", 0, "a@x.test"},
        {"  a@x.test trailing words", 0, "a@x.test"},
        {"Alarm Camera <cam@x.test>", 0, "cam@x.test"},
        {"\"Doe <not this>\" <john@x.test>", 0, "john@x.test"},
        {"\"quoted \\\" <still quoted>\" <q@x.test>", 0, "q@x.test"},
        {"<a@x>", 0, "a@x"},
        {"ab", 100, ""},
        {"<>xx", 100, ""},
        {"Name <open@x", 100, ""},
        {"Name <sp ace@x>", 100, ""},
        {"   ", 100, ""},
        {"<a\x01@x>", 100, ""},
    };
    for (const auto& c : cases) {
        char out[64] = "junk";
        EXPECT_EQ(CSmtpClient::ParseAddress(c.text, out, sizeof out), c.result) << c.text;
        EXPECT_STREQ(out, c.address) << c.text;
    }
    char small[4];
    EXPECT_EQ(CSmtpClient::ParseAddress("abcd@x", small, sizeof small), 100);
    EXPECT_EQ(CSmtpClient::ParseAddress(nullptr, small, sizeof small), 100);
}

class FixedClock : public tessivor::Clock
{
public:
    explicit FixedClock(std::time_t t) : m_t(t) {}
    std::uint32_t tickCount() override { return 0; }
    void sleepMs(std::uint32_t) override {}
    std::time_t now() override { return m_t; }

private:
    std::time_t m_t;
};

TEST(SmtpClient, DateCarriesTheRealZoneOffset)
{
    struct Case
    {
        const char* tz;
        std::time_t when;
        const char* expected;
    };
    const Case cases[] = {
        // 2026-12-08 08:15:03 UTC
        {"UTC", 1796717703, "Tue, 08 Dec 2026 08:15:03 +0000"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1796717703, "Tue, 08 Dec 2026 09:15:03 +0100"},
        // 2026-07-01 12:00:00 UTC: daylight saving time in force
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1782907200, "Wed, 01 Jul 2026 14:00:00 +0200"},
        {"EST5EDT,M3.2.0,M11.1.0", 1782907200, "Wed, 01 Jul 2026 08:00:00 -0400"},
        {"IST-5:30", 1796717703, "Tue, 08 Dec 2026 13:45:03 +0530"},
    };
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    for (const auto& c : cases) {
        ::setenv("TZ", c.tz, 1);
        ::tzset();
        FixedClock clock(c.when);
        tessivor::installClock(&clock);
        char out[64];
        EXPECT_EQ(CSmtpClient::GetRfc822Date(out, sizeof out), 0);
        tessivor::installClock(nullptr);
        EXPECT_STREQ(out, c.expected) << c.tz;
    }
    if (oldTz)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    char small[31] = "untouched";
    EXPECT_EQ(CSmtpClient::GetRfc822Date(small, sizeof small), 1);
    EXPECT_STREQ(small, "untouched");
}

TEST(SmtpClient, MessagesThatCannotBeSentWhole)
{
    struct Case
    {
        const char* what;
        const char* to;
        const char* from;
        const char* subject;
        const char* customName;
        const char* customValue;
        int result;
    };
    const std::string longSubject(1000, 's');
    const Case cases[] = {
        {"plain", "a@x", "c@x", "s", nullptr, nullptr, 0},
        {"folded subject", "a@x", "c@x", "=?UTF-8?B?QQ==?=\r\n =?UTF-8?B?Qg==?=", nullptr, nullptr, 0},
        {"subject with CR LF", "a@x", "c@x", "s\r\nBcc: victim@x", nullptr, nullptr, 1},
        {"subject with LF", "a@x", "c@x", "s\nX: y", nullptr, nullptr, 1},
        {"subject with lone CR", "a@x", "c@x", "s\rX", nullptr, nullptr, 1},
        {"subject too long", "a@x", "c@x", longSubject.c_str(), nullptr, nullptr, 35},
        {"sender with CR LF", "a@x", "c@x\r\nRCPT TO:<v@x>", "s", nullptr, nullptr, 1},
        {"sender without address", "a@x", "<>", "s", nullptr, nullptr, 100},
        {"no recipient", "", "c@x", "s", nullptr, nullptr, 106},
        {"only separators", " ,\r\n\t, ", "c@x", "s", nullptr, nullptr, 106},
        {"unusable recipient", "a@x, <broken", "c@x", "s", nullptr, nullptr, 100},
        {"recipients split at CR LF", "a@x\r\nb@x", "c@x", "s", nullptr, nullptr, 0},
        {"custom field", "a@x", "c@x", "s", "X-Camera:", " 1", 0},
        {"custom field without colon", "a@x", "c@x", "s", "X-Camera", " 1", 1},
        {"custom value with CR LF", "a@x", "c@x", "s", "X-Camera:", " 1\r\nBcc: v@x", 1},
    };
    for (const auto& c : cases) {
        CMailMessage m;
        m.AddHeaderField(c.to, CMailMessage::FIELD_TO, nullptr);
        m.AddHeaderField(c.from, CMailMessage::FIELD_FROM, nullptr);
        m.AddHeaderField(c.subject, CMailMessage::FIELD_SUBJECT, nullptr);
        if (c.customName)
            m.AddHeaderField(c.customValue, CMailMessage::FIELD_CUSTOM, c.customName);
        EXPECT_EQ(CSmtpClient::CheckMessage(m), c.result) << c.what;
    }
}

// ---- dialogues with a scripted server ----

class Dialogue : public ::testing::Test
{
protected:
    void SetUp() override { client.SetReceiveTimeOut(10); }
    void TearDown() override
    {
        client.SMTPClose();
        server.stop();
    }
    int connect()
    {
        server.start();
        client.SetPort(server.port());
        return client.SMTPConnect("127.0.0.1", "localhost");
    }
    // Commands of the session with the DATA contents left out.
    std::vector<std::string> verbs()
    {
        std::vector<std::string> out;
        for (const auto& c : server.commands())
            out.push_back(c.substr(0, c.find(':') == 4 ? 4 : c.find(' ')));
        return out;
    }

    ScriptedSmtpServer server;
    CSmtpClient client;
};

TEST_F(Dialogue, GreetingAndHelloVariants)
{
    struct Case
    {
        const char* what;
        std::function<void(ScriptedSmtpServer&)> setup;
        int result;
    };
    const Case cases[] = {
        {"multi-line EHLO", [](ScriptedSmtpServer&) {}, 0},
        {"one-line EHLO", [](ScriptedSmtpServer& s) { s.setEhloReply("250 scripted.test\r\n"); }, 0},
        {"EHLO refused, HELO taken", [](ScriptedSmtpServer& s) { s.refuseEhloOnly(); }, 0},
        {"EHLO answered with no reply line, HELO taken",
         [](ScriptedSmtpServer& s) { s.setEhloReply("hello, whoever you are\r\n"); }, 0},
        {"EHLO answered with a broken multi-line reply, HELO taken",
         [](ScriptedSmtpServer& s) { s.setEhloReply("250-scripted.test\r\n251 SIZE\r\n"); }, 0},
        {"EHLO and HELO refused", [](ScriptedSmtpServer& s) { s.failAt(Stage::Ehlo); }, 54},
        {"no EHLO answer", [](ScriptedSmtpServer& s) { s.failAt(Stage::Ehlo, Failure::Drop); }, 54},
        {"greeting refused", [](ScriptedSmtpServer& s) { s.failAt(Stage::Greeting); }, 5},
        {"no greeting", [](ScriptedSmtpServer& s) { s.failAt(Stage::Greeting, Failure::Drop); }, 5},
    };
    for (const auto& c : cases) {
        ScriptedSmtpServer s;
        c.setup(s);
        s.start();
        CSmtpClient cl;
        cl.SetPort(s.port());
        EXPECT_EQ(cl.SMTPConnect("127.0.0.1", "localhost"), c.result) << c.what;
        EXPECT_EQ(cl.GetSocket() >= 0, c.result == 0) << c.what; // a failed connect leaves nothing open
        cl.SMTPClose();
        s.stop();
    }
}

TEST_F(Dialogue, ConnectFailures)
{
    // A port nobody listens on: take one from the system and close it again.
    const int port = server.port();
    server.stop();
    client.SetPort(port);
    EXPECT_EQ(client.SMTPConnect("127.0.0.1", "localhost"), 6);
    EXPECT_EQ(client.SMTPConnect(unresolvableHost().c_str(), "localhost"), 100);
    EXPECT_EQ(client.SMTPConnect("", "localhost"), 100);
    EXPECT_EQ(client.SMTPConnect("127.0.0.1", "bad name\r\n"), 1);
    EXPECT_EQ(client.SetConnectTimeOut(0), 1);
    EXPECT_EQ(client.GetConnectTimeOut(), 30);
    EXPECT_EQ(client.SetReceiveTimeOut(-5), 1);
    EXPECT_EQ(client.GetReceiveTimeOut(), 10);
}

TEST_F(Dialogue, AuthenticatesOncePerConnectionAndSendsEveryRecipientItsOwnTransaction)
{
    ASSERT_EQ(connect(), 0);
    ASSERT_EQ(client.SetAccount("dXNlcg==", "cGFzcw=="), 0);
    ASSERT_EQ(client.SendMail("one@x.test, Two <two@x.test>", "Camera <cam@x.test>", "Motion", "body",
                              nullptr, "hidden@x.test", nullptr, 0),
              0);
    client.SMTPClose();
    server.stop();
    const auto commands = server.commands();
    const std::vector<std::string> expected = {"EHLO localhost",
                                               "AUTH LOGIN",
                                               "dXNlcg==",
                                               "cGFzcw==",
                                               "MAIL FROM:<cam@x.test>",
                                               "RCPT TO:<one@x.test>",
                                               "DATA",
                                               "MAIL FROM:<cam@x.test>",
                                               "RCPT TO:<two@x.test>",
                                               "DATA",
                                               "MAIL FROM:<cam@x.test>",
                                               "RCPT TO:<hidden@x.test>",
                                               "DATA",
                                               "QUIT"};
    EXPECT_EQ(commands, expected);
    const auto messages = server.messages();
    ASSERT_EQ(messages.size(), 3u);
    for (const auto& m : messages) {
        EXPECT_NE(
            m.find(
                "From: Camera <cam@x.test>\r\nTo: one@x.test,Two <two@x.test>\r\nSubject: Motion\r\nDate: "),
            std::string::npos)
            << m;
        EXPECT_EQ(m.find("hidden"), std::string::npos);
        EXPECT_EQ(m.substr(m.size() - 10), "\r\n\r\nbody\r\n");
    }
}

TEST_F(Dialogue, NoUserNameMeansNoAuthentication)
{
    ASSERT_EQ(connect(), 0);
    ASSERT_EQ(client.SendMail("a@x.test", "c@x.test", "s", "", nullptr, nullptr, nullptr, 0), 0);
    client.SMTPClose();
    server.stop();
    EXPECT_EQ(verbs(), (std::vector<std::string>{"EHLO", "MAIL", "RCPT", "DATA", "QUIT"}));
}

TEST_F(Dialogue, RefusedAuthLoginGoesOnWithoutAuthentication)
{
    server.failAt(Stage::AuthLogin);
    ASSERT_EQ(connect(), 0);
    client.SetAccount("dXNlcg==", "cGFzcw==");
    ASSERT_EQ(client.SendMail("a@x.test", "c@x.test", "s", "b", nullptr, nullptr, nullptr, 0), 0);
    client.SMTPClose();
    server.stop();
    EXPECT_EQ(verbs(), (std::vector<std::string>{"EHLO", "AUTH", "MAIL", "RCPT", "DATA", "QUIT"}));
}

TEST_F(Dialogue, PasswordGoesOnlyAfterTheServerAskedForIt)
{
    server.failAt(Stage::AuthUser);
    ASSERT_EQ(connect(), 0);
    client.SetAccount("dXNlcg==", "c2VjcmV0");
    EXPECT_EQ(client.SendMail("a@x.test", "c@x.test", "s", "b", nullptr, nullptr, nullptr, 0), 12);
    client.SMTPClose();
    server.stop();
    for (const auto& c : server.commands())
        EXPECT_EQ(c.find("c2VjcmV0"), std::string::npos);
    EXPECT_EQ(server.messages().size(), 0u);
}

TEST_F(Dialogue, EachRefusedStageGivesItsCode)
{
    struct Case
    {
        Stage stage;
        Failure failure;
        int result;
    };
    const Case cases[] = {
        {Stage::AuthPassword, Failure::Refuse, 12}, {Stage::Mail, Failure::Refuse, 12},
        {Stage::Rcpt, Failure::Refuse, 67},         {Stage::Data, Failure::Refuse, 52},
        {Stage::EndOfData, Failure::Refuse, 12},    {Stage::Mail, Failure::Drop, 12},
        {Stage::Rcpt, Failure::Drop, 67},           {Stage::EndOfData, Failure::Drop, 12},
        {Stage::Quit, Failure::Refuse, 0},          {Stage::Quit, Failure::Drop, 0},
    };
    for (const auto& c : cases) {
        ScriptedSmtpServer s;
        s.failAt(c.stage, c.failure);
        s.start();
        CSmtpClient cl;
        cl.SetPort(s.port());
        cl.SetReceiveTimeOut(10);
        ASSERT_EQ(cl.SMTPConnect("127.0.0.1", "localhost"), 0);
        cl.SetAccount("dXNlcg==", "cGFzcw==");
        EXPECT_EQ(cl.SendMail("a@x.test", "c@x.test", "s", "b", nullptr, nullptr, nullptr, 0), c.result)
            << static_cast<int>(c.stage) << "/" << static_cast<int>(c.failure);
        cl.SMTPClose();
        s.stop();
    }
}

TEST_F(Dialogue, BodyLinesAreDotStuffedAndEndInCrLf)
{
    ASSERT_EQ(connect(), 0);
    ASSERT_EQ(client.SendMail("a@x.test", "c@x.test", "s", ".\r\n..two\nlast", nullptr, nullptr, nullptr, 0),
              0);
    client.SMTPClose();
    server.stop();
    ASSERT_EQ(server.messages().size(), 1u);
    const std::string m = server.messages()[0];
    EXPECT_EQ(m.substr(m.find("\r\n\r\n") + 4), "..\r\n...two\r\nlast\r\n");
}

TEST_F(Dialogue, MultipartContentIsDotStuffedToo)
{
    TempDir dir;
    ASSERT_EQ(connect(), 0);
    CMailMessage m;
    m.AddHeaderField("a@x.test", CMailMessage::FIELD_TO, nullptr);
    m.AddHeaderField("c@x.test", CMailMessage::FIELD_FROM, nullptr);
    m.AddHeaderField("s", CMailMessage::FIELD_SUBJECT, nullptr);
    m.SetBody("text");
    CMemoryDataSource log(nullptr, 100, "log");
    log.Open(1);
    log.Write("first\r\n.\r\nlast\r\n", 16);
    log.Close();
    CTextList sevenBit;
    sevenBit.AddText("0");
    ASSERT_EQ(m.AddAttachment(&log, "log.txt", &sevenBit), 0);
    ASSERT_EQ(client.SendMessage(&m), 0);
    client.SMTPClose();
    server.stop();
    ASSERT_EQ(server.messages().size(), 1u);
    const std::string data = server.messages()[0];
    EXPECT_NE(data.find("MIME-Version: 1.0\r\nContent-Type: Multipart/Mixed;\r\n\tboundary="),
              std::string::npos);
    EXPECT_NE(data.find("\r\nfirst\r\n..\r\nlast\r\n"), std::string::npos) << data;
}

TEST_F(Dialogue, LongRecipientListsAreFolded)
{
    ASSERT_EQ(connect(), 0);
    std::string to;
    for (int i = 0; i < 12; ++i)
        to += (i ? "," : "") + std::string("recipient-number-") + std::to_string(i) + "@example.test";
    ASSERT_EQ(client.SendMail(to.c_str(), "c@x.test", "s", "b", nullptr, nullptr, nullptr, 0), 0);
    client.SMTPClose();
    server.stop();
    const std::string m = server.messages().at(0);
    const std::string header = m.substr(0, m.find("\r\nSubject:"));
    // Each entry counts 31 characters and a comma: the eighth passes 250 and starts a folded line.
    EXPECT_NE(header.find("recipient-number-6@example.test,\r\n\trecipient-number-7@example.test"),
              std::string::npos)
        << header;
    for (std::size_t at = 0; at < header.size();) {
        const auto eol = header.find("\r\n", at);
        EXPECT_LE((eol == std::string::npos ? header.size() : eol) - at, 260u);
        if (eol == std::string::npos)
            break;
        at = eol + 2;
    }
    EXPECT_EQ(server.commands().size(), 1u + 12u * 3u + 1u);
}

TEST_F(Dialogue, AStalledServerEndsWhenTheStopFlagIsRaised)
{
    server.failAt(Stage::Mail, Failure::Stall);
    server.start();
    std::atomic<std::int32_t> stop{0};
    CImageMailClient imageClient;
    imageClient.SetStopFlag(&stop);
    imageClient.SetPort(server.port());
    imageClient.SetReceiveTimeOut(300);
    ASSERT_EQ(imageClient.SMTPConnect("127.0.0.1", "localhost"), 0);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop.store(1);
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(imageClient.SendMail("a@x.test", "c@x.test", "s", "b", nullptr, nullptr, nullptr, 0), 98);
    stopper.join();
    // Hang guard only: the stall would otherwise last the whole 300-second receive time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    imageClient.SMTPClose();
}

TEST_F(Dialogue, ProgressIsReportedAndNoRecipientIsAFailure)
{
    server.start();
    CImageMailClient imageClient;
    imageClient.SetPort(server.port());
    ASSERT_EQ(imageClient.SMTPConnect("127.0.0.1", "localhost"), 0);
    EXPECT_EQ(imageClient.SendMail("", "c@x.test", "s", "b", nullptr, nullptr, nullptr, 0), 106);
    EXPECT_EQ(imageClient.SendMail("a@x.test", "c@x.test", "s", std::string(5000, 'b').c_str(), nullptr,
                                   nullptr, nullptr, 0),
              0);
    EXPECT_DOUBLE_EQ(imageClient.GetShareSent(), 1.0);
    EXPECT_EQ(
        imageClient.SendMail("a@x.test", "c@x.test", "s", "b", nullptr, nullptr, "/nonexistent/pic.jpg", 0),
        80);
    EXPECT_EQ(imageClient.SendMail(nullptr, "c@x.test", "s", "b", nullptr, nullptr, nullptr, 0), 106);
}

} // namespace

namespace {

// Against a real server: what it stores after undoing the dot stuffing is what was sent.
TEST(SmtpRealServer, BodyLinesOfDotsArriveIntact)
{
    TempDir dir;
    const std::string store = dir.file("store");
    fs::create_directories(store);
    PeerProcess server({kSystemPython, peer("smtp_server.py"), store, "user", "pass"});
    const std::string ready = server.readLine();
    ASSERT_EQ(ready.rfind("PORT ", 0), 0u) << ready;
    CSmtpClient client;
    client.SetPort(std::stoi(ready.substr(5)));
    ASSERT_EQ(client.SMTPConnect("127.0.0.1", "localhost"), 0);
    const std::string body = ".\r\n..\r\n.leading\r\nlast line without an ending";
    ASSERT_EQ(client.SendMail("a@example.test", "c@example.test", "dots", body.c_str(), nullptr, nullptr,
                              nullptr, 0),
              0);
    client.SMTPClose();
    server.stop();
    const std::string stored = readFile(store + "/msg-1.eml");
    EXPECT_EQ(stored.substr(stored.find("\r\n\r\n") + 4), body + "\r\n");
}

} // namespace
