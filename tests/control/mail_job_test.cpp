// The e-mail alert job end to end: the control's SendEmail runs the job on its mail thread
// against a real SMTP server (aiosmtpd) and against a scripted one that fails each stage in turn.
#include "../io/unresolvable_host.h"
#include "../mail/scripted_smtp_server.h"
#include "../mail/test_support.h"
#include "camsim_process.h"
#include "platform/base64.h"
#include "control/cimage.h"
#include "event_recorder.h"
#include "mail/mail_errors.h"
#include "refused_port.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <jpeglib.h>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessivor;
using namespace tessivor::testing;
using namespace mailtest;
using Stage = ScriptedSmtpServer::Stage;
using Failure = ScriptedSmtpServer::Failure;

namespace {

// A small real JPEG picture (gradient), made with the system's libjpeg.
std::string makeJpeg(int width, int height)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr e{};
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3);
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < width; ++x) {
            row[static_cast<std::size_t>(x) * 3] = static_cast<unsigned char>(x * 255 / width);
            row[static_cast<std::size_t>(x) * 3 + 1] =
                static_cast<unsigned char>(c.next_scanline * 255 / c.image_height);
            row[static_cast<std::size_t>(x) * 3 + 2] =
                static_cast<unsigned char>((x ^ c.next_scanline) & 0xFF);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    jpeg_destroy_compress(&c);
    return out;
}

bool isOutcome(std::int32_t code)
{
    return code == EVT_MAIL_SENT || code == EVT_MAIL_FAILED ||
           (code >= EVT_SMTP_ERROR_FIRST && code <= EVT_SMTP_ERROR_LAST);
}

class MailJob : public ::testing::Test
{
protected:
    void SetUp() override
    {
        control = std::make_unique<CImage>();
        recorder = std::make_shared<EventRecorder>();
        std::uint32_t cookie = 0;
        ASSERT_EQ(control->events().advise(recorder, &cookie), S_OK);
        jpeg = makeJpeg(160, 120);
        picture = dir.file("alarm 1.jpg");
        writeFile(picture, jpeg);
        control->put_EMailFileName(picture);
    }

    void setMail(std::string_view host, std::string_view to, std::string_view from, std::string_view subject)
    {
        std::int32_t unused = 0;
        control->SetEMailProperty(host, to, from, subject, &unused);
    }

    // Starts the job with SendEmail and pumps until its outcome; the GetImageEvent codes seen.
    std::vector<std::int32_t> runJob(int port)
    {
        CImagePeer::mail(*control).m_MailClient.SetPort(port);
        recorder->events.clear();
        std::int32_t started = 0;
        control->SendEmail(&started);
        EXPECT_EQ(started, -1);
        const bool ended = pumpUntil(
            [&] {
                const auto codes = recorder->imageCodes();
                return std::any_of(codes.begin(), codes.end(), isOutcome);
            },
            std::chrono::seconds(60));
        EXPECT_TRUE(ended) << "no outcome event";
        // Let the mail thread finish (it clears the busy flag after the job, and then ends), so
        // that the next SendEmail finds none running.
        pumpUntil([&] {
            return CImagePeer::run(*control).m_bMailBusy.load() == 0 &&
                   !CImagePeer::mailThreadRunning(*control);
        });
        messageLoop::pump();
        const auto codes = recorder->imageCodes();
        EXPECT_EQ(std::count_if(codes.begin(), codes.end(), isOutcome), 1);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), EVT_MAIL_STARTED), 1);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), EVT_MOTION), 1);
        EXPECT_EQ(CImagePeer::run(*control).m_bMailIdle.load(), 1);
        return codes;
    }

    // The outcome event of the job (the job's events may come before SendEmail's "started").
    std::int32_t outcome(int port)
    {
        const auto codes = runJob(port);
        const auto it = std::find_if(codes.begin(), codes.end(), isOutcome);
        return it == codes.end() ? -1 : *it;
    }

    // Starts the real server (aiosmtpd), which stores what it accepts in `store` and takes the
    // login alarm-user / `password`, and points the mail settings at it (the login's password
    // is the test's to set); the port, 0 when the server did not say it.
    int startRealServer(std::unique_ptr<PeerProcess>& server, const std::string& store, const char* password)
    {
        fs::create_directories(store);
        server = std::make_unique<PeerProcess>(
            std::vector<std::string>{kSystemPython, peer("smtp_server.py"), store, "alarm-user", password});
        const std::string ready = server->readLine();
        EXPECT_EQ(ready.rfind("PORT ", 0), 0u) << ready;
        setMail("127.0.0.1", "owner@example.test", "cam@example.test", "Alarm");
        control->put_SendMailID("alarm-user");
        return ready.rfind("PORT ", 0) == 0 ? std::stoi(ready.substr(5)) : 0;
    }

    std::int32_t lastOutcome() const
    {
        const auto codes = recorder->imageCodes();
        const auto it = std::find_if(codes.begin(), codes.end(), isOutcome);
        return it == codes.end() ? -1 : *it;
    }

    TempDir dir;
    std::unique_ptr<CImage> control;
    std::shared_ptr<EventRecorder> recorder;
    std::string jpeg;
    std::string picture;
};

// Reads "key value" lines into a map (the first value of each key) and the list of attachments.
std::map<std::string, std::string> keyValues(const std::string& text, std::vector<std::string>* attachments)
{
    std::map<std::string, std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        auto eol = text.find('\n', at);
        if (eol == std::string::npos)
            eol = text.size();
        const std::string line = text.substr(at, eol - at);
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "attachment" && attachments)
            attachments->push_back(value);
        out.emplace(key, value);
        at = eol + 1;
    }
    return out;
}

TEST_F(MailJob, SendsTheJpegThroughARealServerWithAuthLogin)
{
    const std::string store = dir.file("store");
    std::unique_ptr<PeerProcess> server;
    const int port = startRealServer(server, store, "s3cret pass");
    ASSERT_TRUE(server->running());
    ASSERT_NE(port, 0);

    setMail("localhost", "Owner <owner@example.test>", "Camera 1 <cam@example.test>", "Alarm caf\xc3\xa9");
    control->put_SendMailPWD("s3cret pass");
    EXPECT_EQ(outcome(port), EVT_MAIL_SENT);
    server->stop();

    const auto envelope = keyValues(readFile(store + "/msg-1.env"), nullptr);
    EXPECT_EQ(envelope.at("from"), "cam@example.test"); // the bare address, not the display name
    EXPECT_EQ(envelope.at("to"), "owner@example.test");
    EXPECT_EQ(envelope.at("auth"), "alarm-user");

    const std::string parsed = dir.file("parsed");
    fs::create_directories(parsed);
    const auto check = runProcess({kSystemPython, peer("check_message.py"), store + "/msg-1.eml", parsed});
    ASSERT_EQ(check.exitCode, 0) << check.out;
    std::vector<std::string> attachments;
    const auto facts = keyValues(check.out, &attachments);
    EXPECT_EQ(facts.at("defects"), "0") << check.out;
    EXPECT_EQ(facts.at("subject"), "Alarm caf\xc3\xa9");
    EXPECT_LE(std::stoi(facts.at("longest")), 998);
    EXPECT_EQ(facts.at("bare_lf"), "0");
    EXPECT_EQ(facts.at("bare_cr"), "0");
    ASSERT_EQ(attachments, (std::vector<std::string>{"alarm 1.jpg"}));
    EXPECT_EQ(readFile(parsed + "/alarm 1.jpg"), jpeg);

    const std::string unpacked = dir.file("unpacked");
    fs::create_directories(unpacked);
    const auto munpack = runProcess({"/usr/bin/munpack", "-q", "-C", unpacked, store + "/msg-1.eml"});
    ASSERT_EQ(munpack.exitCode, 0) << munpack.out;
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(unpacked))
        if (e.path().extension() == ".jpg")
            files.push_back(e.path().string());
    ASSERT_EQ(files.size(), 1u) << munpack.out;
    EXPECT_EQ(readFile(files[0]), jpeg);
}

TEST_F(MailJob, AWrongPasswordIsAnAuthenticationFailure)
{
    const std::string store = dir.file("store");
    std::unique_ptr<PeerProcess> server;
    const int port = startRealServer(server, store, "right");
    ASSERT_NE(port, 0);
    control->put_SendMailPWD("wrong");
    EXPECT_EQ(outcome(port), 53);
    server->stop();
    EXPECT_FALSE(fs::exists(store + "/msg-1.eml"));
}

TEST_F(MailJob, EachFailingStageReportsItsEvent)
{
    struct Case
    {
        const char* what;
        Stage stage;
        Failure failure;
        std::int32_t event;
    };
    const Case cases[] = {
        {"greeting", Stage::Greeting, Failure::Refuse, 48},
        {"EHLO and HELO", Stage::Ehlo, Failure::Refuse, 43},
        {"password", Stage::AuthPassword, Failure::Refuse, 53},
        {"user name", Stage::AuthUser, Failure::Refuse, 53},
        {"MAIL", Stage::Mail, Failure::Refuse, 53},
        {"RCPT", Stage::Rcpt, Failure::Refuse, 54},
        {"DATA", Stage::Data, Failure::Refuse, 55},
        {"end of data", Stage::EndOfData, Failure::Refuse, 53},
        {"dropped before the greeting", Stage::Greeting, Failure::Drop, 48},
        {"dropped at MAIL", Stage::Mail, Failure::Drop, 53},
        {"dropped at DATA", Stage::Data, Failure::Drop, 55},
        {"dropped at the end of data", Stage::EndOfData, Failure::Drop, 53},
        {"AUTH LOGIN refused: sent without", Stage::AuthLogin, Failure::Refuse, 19},
        {"QUIT refused after acceptance", Stage::Quit, Failure::Refuse, 19},
        {"dropped at QUIT after acceptance", Stage::Quit, Failure::Drop, 19},
        {"no failure", Stage::None, Failure::Refuse, 19},
    };
    setMail("127.0.0.1", "owner@example.test", "cam@example.test", "Alarm");
    control->put_SendMailID("user");
    control->put_SendMailPWD("pass");
    for (const auto& c : cases) {
        ScriptedSmtpServer server;
        server.failAt(c.stage, c.failure);
        server.start();
        EXPECT_EQ(outcome(server.port()), c.event) << c.what;
        server.stop();
        EXPECT_EQ(server.messages().size(), c.event == 19 || c.stage == Stage::EndOfData ? 1u : 0u) << c.what;
    }
}

TEST_F(MailJob, TextsThatWouldBreakTheDialogueAreRefusedBeforeConnecting)
{
    struct Case
    {
        const char* what;
        std::string to, from, subject, picture;
        std::int32_t event;
    };
    const Case cases[] = {
        {"sender with CR LF", "owner@example.test", "cam@example.test\r\nRCPT TO:<victim@example.test>",
         "Alarm", "", 45},
        {"subject with CR LF", "owner@example.test", "cam@example.test", "Alarm\r\nBcc: victim@example.test",
         "", 45},
        {"subject with LF", "owner@example.test", "cam@example.test", "Alarm\nX: y", "", 45},
        {"picture name with LF", "owner@example.test", "cam@example.test", "Alarm", "/tmp/a\nb.jpg", 45},
        {"no recipient", "", "cam@example.test", "Alarm", "", 50},
        {"only separators", " , \t,", "cam@example.test", "Alarm", "", 50},
        {"recipient without an address", "Owner <owner@example.test", "cam@example.test", "Alarm", "", 41},
        {"sender without an address", "owner@example.test", "<>", "Alarm", "", 41},
    };
    ScriptedSmtpServer server;
    server.start();
    for (const auto& c : cases) {
        setMail("127.0.0.1", c.to, c.from, c.subject);
        control->put_EMailFileName(c.picture.empty() ? picture : c.picture);
        EXPECT_EQ(outcome(server.port()), c.event) << c.what;
    }
    server.stop();
    EXPECT_EQ(server.sessions(), 0);
}

TEST_F(MailJob, ServerAndPictureProblems)
{
    ScriptedSmtpServer closed;
    const int unusedPort = closed.port();
    closed.stop();
    setMail("127.0.0.1", "owner@example.test", "cam@example.test", "Alarm");
    EXPECT_EQ(outcome(unusedPort), 42);
    setMail(unresolvableHost(), "owner@example.test", "cam@example.test", "Alarm");
    EXPECT_EQ(outcome(unusedPort), 41);

    ScriptedSmtpServer server;
    server.start();
    setMail("127.0.0.1", "owner@example.test", "cam@example.test", "Alarm");
    control->put_EMailFileName(dir.file("missing.jpg"));
    EXPECT_EQ(outcome(server.port()), 47);
    server.stop();
    EXPECT_EQ(server.messages().size(), 0u);
}

// The four texts go into 260-byte fields. A text that does not fit is refused whole and the
// previous settings stay: a list cut inside an address would be mailed in part and still be
// reported as sent.
TEST_F(MailJob, TextsBeyondTheirFieldsAreRefusedNotCut)
{
    std::string longList;
    for (int i = 0; i < 1000; ++i)
        longList += (i ? "," : "") + ("owner" + std::to_string(i) + "@example.test");
    const std::string nearLimit =
        std::string(259 - std::string("@example.test").size(), 'a') + "@example.test";
    struct Case
    {
        const char* name;
        std::string to;
        std::string subject;
        HRESULT result;
    };
    const Case cases[] = {
        {"1,000 recipients", longList, "Alarm", S_FALSE},
        {"260 bytes", nearLimit + "x", "Alarm", S_FALSE},
        {"NUL inside the list", std::string("a@example.test\0b@example.test", 29), "Alarm", S_FALSE},
        {"subject beyond its field", "owner@example.test", std::string(300, 's'), S_FALSE},
        {"259 bytes", nearLimit, "Alarm", S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::int32_t unused = 0;
        ASSERT_EQ(control->SetEMailProperty("127.0.0.1", "before@example.test", "cam@example.test", "Before",
                                            &unused),
                  S_OK);
        EXPECT_EQ(control->SetEMailProperty("192.0.2.1", c.to, "other@example.test", c.subject, &unused),
                  c.result);
        const MailSettings mail = CImagePeer::mailSettings(*control).read();
        if (c.result == S_OK) {
            EXPECT_EQ(mail.m_szMailTo.str(), c.to);
            continue;
        }
        EXPECT_EQ(mail.m_szMailServer.str(), "127.0.0.1");
        EXPECT_EQ(mail.m_szMailTo.str(), "before@example.test");
        EXPECT_EQ(mail.m_szMailFrom.str(), "cam@example.test");
        EXPECT_EQ(mail.m_szMailSubject.str(), "Before");
    }
}

// EMailFileName may name anything: a FIFO (opening it would wait for a writer for good), a device
// that never ends, a file far beyond a picture's size, a folder. Each fails the alert with 47
// before any connection is made, and the control is released at once afterwards.
TEST_F(MailJob, PictureFilesThatAreNoPicturesFailBeforeConnecting)
{
    ScriptedSmtpServer server;
    server.start();
    setMail("127.0.0.1", "owner@example.test", "cam@example.test", "Alarm");
    const std::string fifo = dir.file("fifo.jpg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = dir.file("huge.jpg");
    writeFile(huge, "");
    std::filesystem::resize_file(huge, 200u * 1024 * 1024); // sparse: no disk is used
    const std::pair<const char*, std::string> cases[] = {
        {"FIFO without a writer", fifo},
        {"endless device", "/dev/zero"},
        {"200 MB file", huge},
        {"folder", dir.path().string()},
    };
    for (const auto& [name, path] : cases) {
        SCOPED_TRACE(name);
        control->put_EMailFileName(path);
        EXPECT_EQ(outcome(server.port()), 47);
        // A hang guard: a job still blocked in opening the FIFO is let go.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    EXPECT_EQ(server.sessions(), 0);
    server.stop();
    const auto before = std::chrono::steady_clock::now();
    control.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
}

TEST_F(MailJob, SubjectsAreEncodedWordsOfTheirRealCharset)
{
    struct Case
    {
        std::string subject;
        bool encoded;
    };
    std::string longText;
    for (int i = 0; i < 16; ++i)                      // 240 bytes: the control keeps 259
        longText += "Bewegung \xc3\xbc\xe2\x82\xac "; // u-umlaut and the euro sign
    const Case cases[] = {
        {"Plain ASCII alarm", false},
        {"Alarm caf\xc3\xa9", true},
        {longText, true},
        {"Latin-1 caf\xe9", true}, // not UTF-8: taken as ISO-8859-1
    };
    setMail("127.0.0.1", "owner@example.test", "cam@example.test", "");
    for (const auto& c : cases) {
        ScriptedSmtpServer server;
        server.start();
        std::int32_t unused = 0;
        control->SetEMailProperty("127.0.0.1", "owner@example.test", "cam@example.test", c.subject, &unused);
        EXPECT_EQ(outcome(server.port()), EVT_MAIL_SENT);
        server.stop();
        ASSERT_EQ(server.messages().size(), 1u);
        const std::string m = server.messages()[0];
        const auto start = m.find("\r\nSubject: ") + 11;
        const auto end = m.find("\r\nDate: ");
        const std::string header = m.substr(start, end - start);
        if (!c.encoded) {
            EXPECT_EQ(header, c.subject);
            continue;
        }
        // Encoded words on lines of their own, each whole in itself; together the subject.
        std::string decoded;
        std::size_t at = 0;
        while (at < header.size()) {
            auto eol = header.find("\r\n ", at);
            const std::string word =
                header.substr(at, eol == std::string::npos ? std::string::npos : eol - at);
            EXPECT_LE(word.size(), 75u);
            ASSERT_EQ(word.rfind("=?UTF-8?B?", 0), 0u) << word;
            ASSERT_EQ(word.substr(word.size() - 2), "?=");
            const auto bytes = base64Decode(word.substr(10, word.size() - 12));
            ASSERT_TRUE(bytes.has_value());
            decoded += *bytes;
            at = eol == std::string::npos ? header.size() : eol + 3;
        }
        const std::string expected = c.subject == "Latin-1 caf\xe9" ? "Latin-1 caf\xc3\xa9" : c.subject;
        EXPECT_EQ(decoded, expected);
    }
}

// The alert has a stop request of its own: the stream's stop word, whatever it holds, never
// ends an alert. A Stop while the server holds its answer to RCPT leaves the alert to finish.
TEST_F(MailJob, StopOfTheStreamLeavesAnAlertInFlightAlone)
{
    ScriptedSmtpServer server;
    server.failAt(Stage::Rcpt, Failure::Hold);
    server.start();
    setMail("127.0.0.1", "owner@example.test", "cam@example.test", "Alarm");
    CImagePeer::mail(*control).m_MailClient.SetPort(server.port());
    std::int32_t started = 0;
    control->SendEmail(&started);
    ASSERT_TRUE(pumpUntil(
        [&] { return !server.commands().empty() && server.commands().back().rfind("RCPT", 0) == 0; }));
    control->Stop();
    // Time for a job that followed the stream's stop word to give up (it looks at it every
    // wait slice); on a slow machine this only makes the check weaker, never wrong.
    messageLoop::waitAndPump(std::chrono::milliseconds(5 * CSmtpClient::kWaitSliceMs));
    server.release();
    ASSERT_TRUE(pumpUntil(
        [&] {
            const auto codes = recorder->imageCodes();
            return std::any_of(codes.begin(), codes.end(), isOutcome);
        },
        std::chrono::seconds(60)));
    EXPECT_EQ(lastOutcome(), EVT_MAIL_SENT);
    pumpUntil([&] { return CImagePeer::run(*control).m_bMailBusy.load() == 0; });
    server.stop();
    EXPECT_EQ(server.messages().size(), 1u);
}

// A Protocol 4 stream leaves its stop word at 2 ("acknowledged") when it has been stopped, and
// after the fourth failed connect while its loop goes on reconnecting. SendEmail runs then (the
// word is not 1), and the alert goes out through the real server.
TEST_F(MailJob, AlertsGoOutAfterAStoppedOrDuringAReconnectingProtocol4Stream)
{
    const std::string store = dir.file("store");
    std::unique_ptr<PeerProcess> server;
    const int port = startRealServer(server, store, "s3cret pass");
    ASSERT_NE(port, 0);
    control->put_SendMailPWD("s3cret pass");

    auto streamFrom = [&](const std::string& host, int streamPort) {
        control->put_RemoteHost(host);
        control->put_RemotePort(streamPort);
        control->put_Protocol(PROTOCOL_MULTIPART);
        control->put_TimeOut(1);
        control->put_ConnTimeOut(1);
        CImagePeer::streamSettings(*control).update([](StreamSettings& st) { st.m_nMultipartPause = 50; });
        std::int32_t handle = 0;
        control->Run(&handle);
    };
    auto stopWord = [&] { return CImagePeer::run(*control).m_bEndRun.load(); };
    {
        SCOPED_TRACE("stream stopped");
        CamSim camera({"--rate", "20"});
        streamFrom(camera.address(), camera.httpPort());
        ASSERT_TRUE(pumpUntil([&] { return CImagePeer::streaminfo(*control).m_nFrameCount.load() >= 3; }));
        control->Stop();
        ASSERT_TRUE(pumpUntil([&] { return !control->ImageThreadRunning(); }));
        ASSERT_EQ(stopWord(), EndRun::StopAcknowledged);
        EXPECT_EQ(outcome(port), EVT_MAIL_SENT);
    }
    {
        SCOPED_TRACE("stream reconnecting");
        RefusedPort refused;
        streamFrom(RefusedPort::kAddress, refused.port());
        ASSERT_TRUE(pumpUntil([&] { return stopWord() == EndRun::StopAcknowledged; }));
        EXPECT_EQ(outcome(port), EVT_MAIL_SENT);
        EXPECT_TRUE(control->ImageThreadRunning());
        control->Stop();
        ASSERT_TRUE(pumpUntil([&] { return !control->ImageThreadRunning(); }));
    }
    server->stop();
    EXPECT_TRUE(fs::exists(store + "/msg-1.eml"));
    EXPECT_TRUE(fs::exists(store + "/msg-2.eml"));
}

TEST_F(MailJob, DestroyingTheControlDuringAStalledDialogueDoesNotHang)
{
    ScriptedSmtpServer server;
    server.failAt(Stage::Mail, Failure::Stall);
    server.start();
    setMail("127.0.0.1", "owner@example.test", "cam@example.test", "Alarm");
    CImagePeer::mail(*control).m_MailClient.SetPort(server.port());
    std::int32_t started = 0;
    control->SendEmail(&started);
    ASSERT_TRUE(pumpUntil(
        [&] { return !server.commands().empty() && server.commands().back().rfind("MAIL", 0) == 0; }));
    const auto before = std::chrono::steady_clock::now();
    control.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(20)); // hang guard
    server.stop();
}

// CloseSMTP asks the job to end its dialogue: the job's own thread says QUIT and closes, and the
// alert reports the abort.
TEST_F(MailJob, CloseSmtpEndsARunningAlertWithQuitAndIsIdleOtherwise)
{
    EXPECT_EQ(control->CloseSMTP(), S_OK); // idle: nothing happens
    EXPECT_EQ(CImagePeer::run(*control).m_bMailIdle.load(), 1);

    ScriptedSmtpServer server;
    server.failAt(Stage::Rcpt, Failure::Silent);
    server.start();
    setMail("127.0.0.1", "owner@example.test", "cam@example.test", "Alarm");
    CImagePeer::mail(*control).m_MailClient.SetPort(server.port());
    CImagePeer::run(*control).m_bMailIdle.store(0); // as the frame pipeline leaves it when it starts an alert
    std::int32_t started = 0;
    control->SendEmail(&started);
    ASSERT_TRUE(pumpUntil(
        [&] { return !server.commands().empty() && server.commands().back().rfind("RCPT", 0) == 0; }));
    EXPECT_EQ(control->CloseSMTP(), S_OK);
    EXPECT_EQ(CImagePeer::run(*control).m_bMailIdle.load(), 1);
    ASSERT_TRUE(pumpUntil([&] {
        const auto codes = recorder->imageCodes();
        return std::any_of(codes.begin(), codes.end(), isOutcome);
    }));
    EXPECT_EQ(lastOutcome(), 56); // aborted
    ASSERT_TRUE(pumpUntil([&] { return server.commands().back() == "QUIT"; }));
    pumpUntil([&] { return !CImagePeer::mailThreadRunning(*control); });
    server.stop();
    EXPECT_EQ(server.messages().size(), 0u);

    // The next alert is not stopped by the request of the last one.
    ScriptedSmtpServer next;
    next.start();
    EXPECT_EQ(outcome(next.port()), EVT_MAIL_SENT);
    next.stop();
}

TEST(MailErrorEvents, EveryClientErrorHasItsEvent)
{
    const std::map<int, std::int32_t> table = {
        {100, 41}, {6, 42},  {54, 43}, {145, 44}, {1, 45},  {79, 46}, {80, 47}, {5, 48},  {19, 49},
        {106, 50}, {81, 51}, {35, 52}, {12, 53},  {67, 54}, {52, 55}, {98, 56}, {22, 57},
    };
    for (const auto& [error, event] : table)
        EXPECT_EQ(CImage::MailErrorEvent(error), event) << error;
    for (int other : {2, 7, 83, 84, 200, -1})
        EXPECT_EQ(CImage::MailErrorEvent(other), EVT_MAIL_FAILED) << other;
}

// A code that has an event of its own also has a text of its own in the traces.
TEST(MailErrorEvents, EveryMappedErrorHasItsText)
{
    const std::string fallback = MailErrorText(-12345);
    std::set<std::string> texts;
    for (int error : {100, 6, 54, 145, 1, 79, 80, 5, 19, 106, 81, 35, 12, 67, 52, 98, 22}) {
        const std::string text = MailErrorText(error);
        EXPECT_NE(text, fallback) << error;
        EXPECT_TRUE(texts.insert(text).second) << error << " shares the text " << text;
    }
}

} // namespace
