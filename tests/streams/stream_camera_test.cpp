// The image loop and the stream readers of one control against the simulated camera, in-process:
// refused logins, a camera that dies and comes back, broken frames, pan/tilt reports, the image
// settings, a silent camera, the end of a stream and streams broken on purpose.
//
// Frames are followed through the frame-sharing block (EnableServer): a thread reads every frame
// handed to the pipeline and takes its number from the JPEG comment that camsim writes.
#include "camsim_process.h"
#include "control/cimage.h"
#include "event_recorder.h"
#include "jpeg_check.h"
#include "jpeg_frames.h"
#include "platform/frame_target.h"
#include "shared_slot.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>

using namespace tessivor;
using namespace tessivor::testing;
using namespace std::chrono_literals;

namespace {

// Reads every frame that the pipeline shares, for as long as it lives.
class SharedFrames
{
public:
    struct Seen
    {
        std::int32_t sequence;
        long long number; // -1: no camsim number in it
        bool whole;       // one undamaged JPEG
    };

    explicit SharedFrames(std::shared_ptr<ClientBlock> block) : m_block(std::move(block))
    {
        m_thread = std::thread([this] { run(); });
    }
    ~SharedFrames()
    {
        m_stop = true;
        m_thread.join();
    }

    std::vector<Seen> seen() const
    {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }
    std::size_t count(long long atLeastNumber = 0) const
    {
        std::lock_guard lock(m_mutex);
        return static_cast<std::size_t>(std::count_if(
            m_seen.begin(), m_seen.end(), [&](const Seen& s) { return s.number >= atLeastNumber; }));
    }

private:
    void run()
    {
        std::int32_t last[2] = {0, 0};
        std::vector<std::uint8_t> copy(ClientBlock::kSlotSize);
        while (!m_stop) {
            for (int slot = 0; slot < 2; ++slot) {
                auto [seq, busy, writing, length, data] = sharedSlot(*m_block, slot);
                const std::int32_t s = seq.load();
                if (s == 0 || s == last[slot])
                    continue;
                busy.store(1);
                if (writing.load() == 0) {
                    const auto n = static_cast<std::size_t>(
                        std::clamp<std::int32_t>(length.load(), 0, ClientBlock::kSlotSize));
                    std::memcpy(copy.data(), data, n);
                    // The pipeline stores the sequence before it copies: an unchanged sequence
                    // and no write in progress mean the copy is one frame.
                    if (seq.load() == s && writing.load() == 0) {
                        const bool whole = decodesCleanly(copy.data(), n);
                        std::lock_guard lock(m_mutex);
                        m_seen.push_back({s, camsimFrameNumber(copy.data(), n), whole});
                        last[slot] = s;
                    }
                }
                busy.store(0);
            }
            std::this_thread::sleep_for(500us);
        }
    }

    std::shared_ptr<ClientBlock> m_block;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Seen> m_seen;
};

// One control on the calling thread, pointed at a camera.
struct Control
{
    Control(CamSim& camera, int protocol)
    {
        c = std::make_unique<CImage>();
        recorder = std::make_shared<EventRecorder>();
        std::uint32_t cookie = 0;
        c->events().advise(recorder, &cookie);
        c->put_RemoteHost(camera.address());
        c->put_RemotePort(protocol == PROTOCOL_NATIVE ? camera.nativePort() : camera.httpPort());
        c->put_Protocol(protocol);
        c->put_TimeOut(1);
        c->put_ConnTimeOut(1);
        c->put_DisplayDelay(0);
        CImagePeer::streamSettings(*c).update([](StreamSettings& s) {
            s.m_nMultipartPause = 200;
        }); // Protocol 4 rests this long before it connects again
    }

    std::int32_t status()
    {
        std::int32_t s = -1;
        c->get_Status(&s);
        return s;
    }
    std::vector<std::int32_t> codes() const { return recorder->imageCodes(); }
    long countOf(std::int32_t code) const
    {
        const auto all = codes();
        return std::count(all.begin(), all.end(), code);
    }
    bool sawCode(std::int32_t code) const { return countOf(code) > 0; }

    void run()
    {
        std::int32_t h = 0;
        ASSERT_EQ(c->Run(&h), S_OK);
    }
    // Stop, then code 0 within TimeOut + 1 s with Status 0 when it is handled.
    void stopAndCheck()
    {
        c->Stop();
        std::int32_t statusAtCodeZero = -1;
        const std::size_t before = codes().size();
        const bool ended = pumpUntil(
            [&] {
                const auto all = codes();
                for (std::size_t i = before; i < all.size(); ++i)
                    if (all[i] == EVT_LOOP_CLOSED) {
                        if (statusAtCodeZero == -1)
                            statusAtCodeZero = status();
                        return true;
                    }
                return false;
            },
            2s);
        EXPECT_TRUE(ended) << "no code 0 within TimeOut + 1 s";
        EXPECT_EQ(statusAtCodeZero, 0);
    }

    std::unique_ptr<CImage> c;
    std::shared_ptr<EventRecorder> recorder;
};

// The frames in the order the pipeline handed them on (its share sequence; the reading thread
// may take two slots in the other order when it falls behind): the camera's numbers, rising.
void expectCameraFramesInOrder(std::vector<SharedFrames::Seen> seen)
{
    ASSERT_FALSE(seen.empty());
    std::sort(seen.begin(), seen.end(), [](const auto& a, const auto& b) { return a.sequence < b.sequence; });
    long long previous = -1;
    std::int32_t previousSequence = 0;
    for (const auto& s : seen) {
        EXPECT_TRUE(s.whole) << "frame " << s.number << " handed on incomplete";
        EXPECT_GT(s.number, previous) << "frame " << s.number << " after " << previous;
        EXPECT_GT(s.sequence, previousSequence);
        previous = s.number;
        previousSequence = s.sequence;
    }
}

// ---- logins ----

TEST(StreamCamera, AWrongPasswordGives22AndEndsTheLoop)
{
    const struct
    {
        const char* name;
        int protocol;
        std::vector<std::string> camera;
        const char* refusals;
    } cases[] = {
        {"native login", PROTOCOL_NATIVE, {"--challenge", "--password", "right"}, "logins-refused"},
        {"/VIDEO.CGI", PROTOCOL_VIDEO_CGI, {"--password", "right"}, "auth-failures"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        CamSim camera(k.camera);
        Control ctl(camera, k.protocol);
        ctl.c->put_Password("wrong");
        ctl.run();
        ASSERT_TRUE(pumpUntil([&] { return ctl.sawCode(EVT_LOOP_CLOSED); }, 10s));
        EXPECT_EQ(ctl.codes(),
                  (std::vector<std::int32_t>{EVT_THREAD_STARTED, EVT_LOGIN_REFUSED, EVT_LOOP_CLOSED}));
        EXPECT_EQ(ctl.status(), 0);
        EXPECT_EQ(camera.stat(k.refusals), 1); // one try, and the loop did not come back
    }
}

TEST(StreamCamera, ALoginAnswerThatComesHalfIsARetryNotARefusal)
{
    CamSim camera({"--challenge", "--malformed", "truncate:1"});
    Control ctl(camera, PROTOCOL_NATIVE);
    ctl.run();
    ASSERT_TRUE(pumpUntil([&] { return ctl.sawCode(EVT_CONNECTED); }, 10s));
    EXPECT_FALSE(ctl.sawCode(EVT_LOGIN_REFUSED));
    EXPECT_EQ(camera.stat("logins-ok"), 1);
    EXPECT_GE(camera.stat("connections"), 2);
    ctl.stopAndCheck();
}

// ---- requests ----

TEST(StreamCamera, RequestsCarryThePathAndTheCredentialsTheCameraExpects)
{
    const struct
    {
        const char* name;
        int protocol;
        std::vector<std::string> camera;
        const char* user;
        const char* password;
        int cameraNumber;
        const char* request; // as camsim's last-request shows it
    } cases[] = {
        {"/VIDEO.CGI",
         PROTOCOL_VIDEO_CGI,
         {},
         "pelko",
         "pelko",
         1,
         "GET /VIDEO.CGI HTTP/1.0\\r\\nUser-Agent: pelko\\r\\nAuthorization: Basic "
         "cGVsa286cGVsa28=\\r\\n\\r\\n"},
        {"/3.cgi",
         PROTOCOL_NUMBERED_CGI,
         {},
         "pelko",
         "pelko",
         3,
         "GET /3.cgi HTTP/1.0\\r\\nUser-Agent: pelko\\r\\nAuthorization: Basic cGVsa286cGVsa28=\\r\\n\\r\\n"},
        // The repeated requests carry the first 12 characters of the user name and the first 8
        // of the password: a camera that holds those accepts them.
        {"repeated requests",
         PROTOCOL_MULTIPART,
         {"--user", "abcdefghijkl", "--password", "12345678"},
         "abcdefghijklmno",
         "12345678xyz",
         1,
         "GET /goform/video2 HTTP/1.0\\r\\nUser-Agent: abcdefghijkl\\r\\nAuthorization: Basic "
         "YWJjZGVmZ2hpamtsOjEyMzQ1Njc4\\r\\nConnection: Keep-Alive\\r\\nPragma: no-cache\\r\\n"
         "Cache-Control: no-cache\\r\\n\\r\\n"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        CamSim camera(k.camera);
        Control ctl(camera, k.protocol);
        ctl.c->put_UserName(k.user);
        ctl.c->put_Password(k.password);
        ctl.c->put_ConnectCameraNoForServer(k.cameraNumber);
        ctl.c->put_EnableServer(VARIANT_TRUE);
        ctl.run();
        ASSERT_TRUE(
            pumpUntil([&] { return CImagePeer::streaminfo(*ctl.c).m_nShareSequence.load() >= 3; }, 10s));
        EXPECT_EQ(camera.command("last-request"), std::string("ok ") + k.request);
        EXPECT_EQ(camera.stat("auth-failures"), 0);
        ctl.stopAndCheck();
    }
}

// ---- frames in order, whole, once ----

enum class Disruption
{
    KillAndRestart, // the camera dies mid-stream and comes back
    HalfFrame,      // a frame breaks off in the middle and the connection drops
};

TEST(StreamCamera, FramesResumeInOrderAfterTheCameraFailsAndNoneIsBrokenOrRepeated)
{
    const struct
    {
        const char* name;
        int protocol;
        Disruption disruption;
    } cases[] = {
        {"native, camera killed", PROTOCOL_NATIVE, Disruption::KillAndRestart},
        {"/VIDEO.CGI, camera killed", PROTOCOL_VIDEO_CGI, Disruption::KillAndRestart},
        {"/N.cgi, camera killed", PROTOCOL_NUMBERED_CGI, Disruption::KillAndRestart},
        {"native, half a frame", PROTOCOL_NATIVE, Disruption::HalfFrame},
        {"/mjpeg.cgi, half a frame", PROTOCOL_MJPEG_CGI, Disruption::HalfFrame},
        {"repeated requests, half a frame", PROTOCOL_MULTIPART, Disruption::HalfFrame},
    };
    std::vector<std::future<void>> runs;
    for (const auto& k : cases) {
        runs.push_back(std::async(std::launch::async, [&k] {
            SCOPED_TRACE(k.name);
            CamSim camera({"--rate", "25"});
            Control ctl(camera, k.protocol);
            ctl.c->put_EnableServer(VARIANT_TRUE);
            SharedFrames frames(CImagePeer::sharing(*ctl.c).m_ClientBlock);
            ctl.run();
            ASSERT_TRUE(pumpUntil([&] { return frames.count() >= 10; }, 10s));
            long long resumeFrom = 0;
            if (k.disruption == Disruption::KillAndRestart) {
                camera.kill();
                messageLoop::waitAndPump(300ms);
                resumeFrom = 100000;
                camera.restart({"--first-frame", std::to_string(resumeFrom)});
            } else {
                const long broken = camera.stat("breakages");
                camera.command("malformed short 1");
                ASSERT_TRUE(pumpUntil([&] { return camera.stat("breakages") > broken; }, 5s));
                resumeFrom = frames.seen().back().number + 1;
            }
            ASSERT_TRUE(pumpUntil([&] { return frames.count(resumeFrom) >= 10; }, 15s))
                << "no frames after the camera came back";
            ctl.stopAndCheck();
            expectCameraFramesInOrder(frames.seen());
            EXPECT_EQ(ctl.countOf(EVT_CONNECTED), 1); // once per run, not per connection
        }));
    }
    for (auto& r : runs)
        r.get();
}

// ---- the native protocol's greetings and frame lengths ----

// Every greeting that lets frames be asked for: "0200", "0201" and "0202" come with 126 bytes,
// "0501" with 30; a reader that read the wrong block would ask for no frame or misread the
// lengths.
TEST(StreamCamera, EveryNativeGreetingLeadsToFrames)
{
    for (const char* greeting : {"0200", "0201", "0202", "0501"}) {
        SCOPED_TRACE(greeting);
        CamSim camera({"--rate", "25", "--greeting", greeting});
        Control ctl(camera, PROTOCOL_NATIVE);
        ctl.c->put_EnableServer(VARIANT_TRUE);
        SharedFrames frames(CImagePeer::sharing(*ctl.c).m_ClientBlock);
        ctl.run();
        ASSERT_TRUE(pumpUntil([&] { return frames.count() >= 3; }, 10s));
        EXPECT_TRUE(ctl.sawCode(EVT_CONNECTED));
        ctl.stopAndCheck();
        expectCameraFramesInOrder(frames.seen());
    }
}

// A JPEG of exactly `size` bytes: comment segments after its start marker make up the rest.
std::vector<std::uint8_t> jpegOfSize(std::size_t size)
{
    auto jpeg = jpegtest::compressJpeg(jpegtest::makeImage(64, 48, 3, 5), jpegtest::JpegOptions{});
    std::vector<std::uint8_t> padding;
    std::size_t missing = size - jpeg.size();
    while (missing > 0) {
        // A segment is 4 to 65,537 bytes; never leave fewer than 4 for the last one.
        std::size_t segment = std::min<std::size_t>(missing, 65537);
        if (missing - segment > 0 && missing - segment < 4)
            segment -= 4;
        const std::size_t field = segment - 2;
        padding.insert(padding.end(), {0xFF, 0xFE, static_cast<std::uint8_t>(field >> 8),
                                       static_cast<std::uint8_t>(field & 0xFF)});
        padding.insert(padding.end(), segment - 4, 'x');
        missing -= segment;
    }
    jpeg.insert(jpeg.begin() + 2, padding.begin(), padding.end());
    return jpeg;
}

// A native frame of 100,000 bytes is the longest taken; 100,001 closes the connection before
// the frame is read (no code 26, nothing reaches the pipeline) and the loop connects again.
TEST(StreamCamera, NativeFrameLengthLimit)
{
    const struct
    {
        std::size_t length;
        bool taken;
    } cases[] = {{100000, true}, {100001, false}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.length);
        const auto dir = std::filesystem::temp_directory_path() /
                         ("stream-length-" + std::to_string(::getpid()) + "-" + std::to_string(k.length));
        std::filesystem::create_directories(dir);
        const auto picture = jpegOfSize(k.length);
        ASSERT_EQ(picture.size(), k.length);
        ASSERT_TRUE(decodesCleanly(picture.data(), picture.size()));
        std::ofstream(dir / "frame.jpg", std::ios::binary)
            .write(reinterpret_cast<const char*>(picture.data()),
                   static_cast<std::streamsize>(picture.size()));
        std::ofstream(dir / "clip.txt") << "frame.jpg\n";

        CamSim camera({"--rate", "10", "--clip", (dir / "clip.txt").string()});
        Control ctl(camera, PROTOCOL_NATIVE);
        ctl.run();
        if (k.taken) {
            ASSERT_TRUE(pumpUntil([&] { return ctl.sawCode(EVT_IMAGE_SIZE_CHANGED); }, 10s));
            EXPECT_TRUE(ctl.sawCode(EVT_FRAME_LENGTH));
        } else {
            ASSERT_TRUE(pumpUntil([&] { return camera.stat("connections") >= 3; }, 20s));
            messageLoop::pump();
            EXPECT_FALSE(ctl.sawCode(EVT_FRAME_LENGTH));
            EXPECT_FALSE(ctl.sawCode(EVT_IMAGE_SIZE_CHANGED));
            EXPECT_EQ(CImagePeer::streaminfo(*ctl.c).m_nFrameCount.load(), 0);
        }
        EXPECT_EQ(CImagePeer::streaminfo(*ctl.c).m_nFrameLength.load(), k.length);
        ctl.stopAndCheck();
        std::filesystem::remove_all(dir);
    }
}

// ---- pan/tilt ----

TEST(StreamCamera, AMovingCameraGivesOneCode29PerNewPosition)
{
    CamSim camera({"--rate", "25", "--pan-tilt", "120,45"});
    Control ctl(camera, PROTOCOL_MJPEG_CGI);
    ctl.c->put_EnableServer(VARIANT_TRUE);
    SharedFrames frames(CImagePeer::sharing(*ctl.c).m_ClientBlock);
    ctl.run();
    // A move has been seen once the control reports the new position: on a busy machine the
    // frames of the old one may still fill the socket for a while. The repeated move has nothing
    // to show: a few frames go by.
    auto settleAt = [&](std::int32_t wantX, std::int32_t wantY) {
        ASSERT_TRUE(pumpUntil(
            [&] {
                std::int32_t x = 0, y = 0;
                ctl.c->get_PTCoordinatesX(&x);
                ctl.c->get_PTCoordinatesY(&y);
                return x == wantX && y == wantY;
            },
            20s))
            << "never saw " << wantX << "," << wantY;
        const std::size_t now = frames.count();
        ASSERT_TRUE(pumpUntil([&] { return frames.count() >= now + 5; }, 20s));
    };
    settleAt(120, 45);
    const struct
    {
        const char* command;
        std::int32_t x, y;
    } moves[] = {
        {"pt 121 45", 121, 45}, {"pt 121 45", 121, 45}, {"pt 121 46", 121, 46}, {"pt 7 300", 7, 300}};
    for (const auto& m : moves) {
        camera.command(m.command);
        settleAt(m.x, m.y);
    }
    ctl.stopAndCheck();
    EXPECT_EQ(ctl.countOf(EVT_PT_CHANGED), 4); // 0,0 -> 120,45 -> 121,45 -> 121,46 -> 7,300
    std::int32_t x = 0, y = 0;
    ctl.c->get_PTCoordinatesX(&x);
    ctl.c->get_PTCoordinatesY(&y);
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 300);
}

// ---- image settings ----

using Seven = std::array<std::int16_t, 7>;

struct ConfigRead
{
    std::int32_t result;
    Seven values;
};

ConfigRead readNow(Control& ctl, Seven start)
{
    ConfigRead r{77, start};
    ctl.c->GetImageConfig(0, &r.values[0], &r.values[1], &r.values[2], &r.values[3], &r.values[4],
                          &r.values[5], &r.values[6], &r.result);
    return r;
}

TEST(StreamCamera, ImageSettingsAreReadInBothModes)
{
    const Seven held{3, 2, 15, 70, 40, 9, 50};
    for (int protocol : {PROTOCOL_NATIVE, PROTOCOL_VIDEO_CGI}) {
        SCOPED_TRACE(protocol);
        CamSim camera({"--settings", "3,2,15,70,40,9,50", "--mac", "0.1.2.3.4.5"}, true);
        Control ctl(camera, protocol);
        ctl.c->put_MACAddress("0.1.2.3.4.5");

        const ConfigRead now = readNow(ctl, Seven{-1, -1, -1, -1, -1, -1, -1});
        EXPECT_EQ(now.result, -1);
        EXPECT_EQ(now.values, held);

        Seven untouched{-5, -5, -5, -5, -5, -5, -5};
        std::int32_t started = 0;
        ctl.c->GetImageConfig(1, &untouched[0], &untouched[1], &untouched[2], &untouched[3], &untouched[4],
                              &untouched[5], &untouched[6], &started);
        EXPECT_EQ(started, -1);
        ASSERT_TRUE(pumpUntil([&] {
            return std::any_of(ctl.recorder->events.begin(), ctl.recorder->events.end(),
                               [](const RecordedEvent& e) { return e.id == DISPID_EndGetImageConfig; });
        }));
        const auto& e =
            *std::find_if(ctl.recorder->events.begin(), ctl.recorder->events.end(),
                          [](const RecordedEvent& e) { return e.id == DISPID_EndGetImageConfig; });
        EXPECT_EQ(e.args, (std::vector<std::int32_t>{-1, 3, 2, 15, 70, 40, 9, 50}));
        EXPECT_EQ(untouched, (Seven{-5, -5, -5, -5, -5, -5, -5})); // the thread form writes no out parameter
    }
}

TEST(StreamCamera, RepeatedRequestCamerasGiveBrightnessContrastAndHueFromTheirPage)
{
    CamSim camera({"--settings", "3,2,15,70,40,9,50"});
    Control ctl(camera, PROTOCOL_MULTIPART);
    const ConfigRead r = readNow(ctl, Seven{-1, -1, -1, -1, -1, -1, -1});
    EXPECT_EQ(r.result, -1) << "HTTP engine error " << CImagePeer::http(*ctl.c).m_lErrCode.load();
    EXPECT_EQ(r.values, (Seven{-1, -1, -1, 70, 40, 9, -1}));
}

TEST(StreamCamera, BrokenImageSettingsAnswersAreNeverTakenAsValues)
{
    const Seven held{3, 2, 15, 70, 40, 9, 50};
    const Seven mine{-1, -1, -1, -1, -1, -1, -1};
    const struct
    {
        const char* name;
        int protocol;
        const char* breakage;
        std::int32_t result;
        Seven values;
    } cases[] = {
        // A datagram too short for the seven values uses up an attempt; the second one reads them.
        {"short datagram", PROTOCOL_NATIVE, "malformed short 1", -1, held},
        // An answer to another request (another sequence number) fails the read at once.
        {"other sequence", PROTOCOL_NATIVE, "malformed garbage 1", 0, mine},
        // A value beyond 16 bits, or a page that ends early, uses up an attempt of four.
        {"value above 32767", PROTOCOL_VIDEO_CGI, "malformed huge 1", -1, held},
        {"page cut short", PROTOCOL_VIDEO_CGI, "malformed short 1", -1, held},
        {"empty value", PROTOCOL_VIDEO_CGI, "malformed zero 1", -1, held},
        // Hue missing from every answer: four attempts, then failure with the values read before
        // contrast (whose value ends where the hue field should begin).
        {"no hue", PROTOCOL_VIDEO_CGI, "malformed nolength 4", 0, Seven{3, 2, 15, 70, -1, -1, -1}},
        {"wrong password", PROTOCOL_VIDEO_CGI, "password other", 0, mine},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        CamSim camera({"--settings", "3,2,15,70,40,9,50"}, true);
        Control ctl(camera, k.protocol);
        ctl.c->put_MACAddress("0.1.2.3.4.5");
        ASSERT_EQ(camera.command(k.breakage), "ok");
        const ConfigRead r = readNow(ctl, mine);
        EXPECT_EQ(r.result, k.result);
        EXPECT_EQ(r.values, k.values);
    }
}

TEST(StreamCamera, ImageSettingsOfOtherProtocolsFailAtOnceAndASecondThreadIsRefused)
{
    CamSim camera({"--stall"});
    Control ctl(camera, PROTOCOL_MJPEG_CGI);
    EXPECT_EQ(readNow(ctl, Seven{}).result, 0);

    ctl.c->put_Protocol(PROTOCOL_VIDEO_CGI); // the page read waits on the stalled camera
    Seven v{};
    std::int32_t first = 0, second = 55;
    ctl.c->GetImageConfig(1, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &first);
    ctl.c->GetImageConfig(1, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &second);
    EXPECT_EQ(first, -1);
    EXPECT_EQ(second, 55); // busy: nothing started, pVal untouched
    camera.command("resume");
    ASSERT_TRUE(pumpUntil([&] { return CImagePeer::run(*ctl.c).m_bImageConfigBusy.load() == 0; }, 20s));
}

// ---- a silent camera costs nothing ----

// Processor time and voluntary context switches (the times a thread went to sleep) of the
// whole process.
struct Usage
{
    double cpuSeconds;
    long sleeps;
};

Usage usageNow()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return {static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6,
            u.ru_nvcsw};
}

TEST(StreamCamera, ASilentCameraCostsAlmostNoProcessorTime)
{
    // Every reader at once, for ten seconds, against a camera that accepts and says nothing.
    CamSim camera({"--stall"});
    std::vector<std::unique_ptr<Control>> controls;
    for (int protocol : {PROTOCOL_NATIVE, PROTOCOL_VIDEO_CGI, PROTOCOL_MJPEG_CGI, PROTOCOL_MULTIPART,
                         PROTOCOL_NUMBERED_CGI}) {
        controls.push_back(std::make_unique<Control>(camera, protocol));
        controls.back()->c->put_TimeOut(3);
        controls.back()->c->put_ConnTimeOut(3);
        CImagePeer::streamSettings(*controls.back()->c).update([](StreamSettings& s) {
            s.m_nMultipartPause = 4000;
        });
        controls.back()->run();
    }
    messageLoop::waitAndPump(500ms);
    const Usage before = usageNow();
    const auto wallBefore = std::chrono::steady_clock::now();
    const auto end = wallBefore + 10s;
    while (std::chrono::steady_clock::now() < end)
        messageLoop::waitAndPump(100ms);
    const Usage after = usageNow();
    const double cpu = after.cpuSeconds - before.cpuSeconds;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const double sleepsPerSecond = static_cast<double>(after.sleeps - before.sleeps) / wall;
    // What holds at any speed: the waiting threads (five readers checking their stop word every
    // 100 ms, and this thread pumping as often) go to sleep a few dozen times a second, not
    // hundreds. A thread that spins without sleeping shows in the processor time instead, which
    // a busy machine inflates: its bound is loose.
    EXPECT_LT(sleepsPerSecond, 200.0) << after.sleeps - before.sleeps << " sleeps in " << wall << " s";
    EXPECT_LT(cpu / wall, 0.1) << cpu << " s of processor time in " << wall << " s";
    for (auto& c : controls) {
        std::int32_t protocol = 0;
        c->c->get_Protocol(&protocol);
        if (protocol != PROTOCOL_MULTIPART) { // that reader reports code 2 before the camera answers
            EXPECT_FALSE(c->sawCode(EVT_CONNECTED)) << protocol;
        }
        c->stopAndCheck();
    }
    std::printf("silent camera: %.3f s of processor time and %.0f sleeps a second in %.1f s\n", cpu,
                sleepsPerSecond, wall);
}

// When the loop ends, the owner of the preview target hears of it (so that it can show the
// stream has ended) even though no frame changed the picture.
TEST(StreamCamera, TheLoopsEndAsksThePreviewOwnerToRepaint)
{
    CamSim camera({});
    Control ctl(camera, PROTOCOL_VIDEO_CGI);
    const Handle target = frameTargets::create(160, 120);
    const auto surface = frameTargets::find(target);
    ASSERT_TRUE(surface);
    ctl.c->put_OtherDC(VariantBool(-1));
    ctl.c->put_PreviewhWnd(target);
    ctl.c->put_PreviewDC(target);
    ctl.c->put_PreviewWidth(160);
    ctl.c->put_PreviewHeight(120);
    ctl.run();
    ASSERT_TRUE(pumpUntil([&] { return surface->version() >= 3; })) << "no frame drawn";

    // The camera holds its frames back; the picture stops changing.
    camera.command("stall");
    std::uint64_t version = surface->version();
    ASSERT_TRUE(pumpUntil(
        [&] {
            messageLoop::waitAndPump(300ms);
            return std::exchange(version, surface->version()) == version;
        },
        5s));
    ctl.stopAndCheck();
    EXPECT_GT(surface->version(), version);
    frameTargets::destroy(target);
}

// ---- streams broken on purpose ----

TEST(StreamCamera, BrokenStreamsNeitherCrashNorHangTheControl)
{
    const char* kinds[] = {"garbage",    "truncate", "huge",  "zero", "nolength",
                           "noboundary", "badjpeg",  "short", "busy"};
    std::vector<std::future<void>> runs;
    for (int protocol : {PROTOCOL_NATIVE, PROTOCOL_VIDEO_CGI, PROTOCOL_MJPEG_CGI, PROTOCOL_MULTIPART,
                         PROTOCOL_NUMBERED_CGI}) {
        runs.push_back(std::async(std::launch::async, [protocol, &kinds] {
            SCOPED_TRACE(protocol);
            CamSim camera({"--rate", "40"});
            Control ctl(camera, protocol);
            ctl.c->put_EnableServer(VARIANT_TRUE);
            ctl.run();
            ASSERT_TRUE(pumpUntil([&] { return ctl.sawCode(EVT_CONNECTED); }, 10s));
            for (const char* kind : kinds) {
                SCOPED_TRACE(kind);
                const long broken = camera.stat("breakages");
                ASSERT_EQ(camera.command(std::string("malformed ") + kind + " 2"), "ok");
                ASSERT_TRUE(pumpUntil([&] { return camera.stat("breakages") >= broken + 2; }, 15s));
                // Healthy again: frames reach the pipeline once more.
                const std::int32_t shared = CImagePeer::streaminfo(*ctl.c).m_nShareSequence.load();
                ASSERT_TRUE(pumpUntil(
                    [&] { return CImagePeer::streaminfo(*ctl.c).m_nShareSequence.load() >= shared + 3; },
                    15s))
                    << "no frames after the breakage";
            }
            ctl.stopAndCheck();
        }));
    }
    for (auto& r : runs)
        r.get();
}

// Decode bombs: valid frames of 5760 x 5760 with hundreds of scans, each of which would keep
// libjpeg busy for many seconds. They are dropped as bad frames (no reconnect, no size change),
// and Stop ends a decode in the middle, so the loop still ends within TimeOut + 1 s.
TEST(StreamCamera, DecodeBombsAreBadFramesAndNeverHoldStopUp)
{
    std::vector<std::future<void>> runs;
    for (int protocol : {PROTOCOL_NATIVE, PROTOCOL_VIDEO_CGI, PROTOCOL_MULTIPART}) {
        runs.push_back(std::async(std::launch::async, [protocol] {
            SCOPED_TRACE(protocol);
            CamSim camera({"--malformed", "bomb"});
            Control ctl(camera, protocol);
            ctl.run();
            ASSERT_TRUE(pumpUntil([&] { return ctl.sawCode(EVT_CONNECTED); }, 10s));
            ASSERT_TRUE(pumpUntil([&] { return camera.stat("breakages") >= 3; }, 30s));
            // The bombs were dropped: no picture size was taken from them.
            EXPECT_EQ(CImagePeer::streaminfo(*ctl.c).m_nImageWidth.load(), 0);

            // Healthy frames go through on the same connection.
            ASSERT_EQ(camera.command("malformed off"), "ok");
            ASSERT_TRUE(
                pumpUntil([&] { return CImagePeer::streaminfo(*ctl.c).m_nImageWidth.load() == 320; }, 30s));
            EXPECT_EQ(ctl.countOf(EVT_CONNECTED), 1);

            // Bombs again; Stop arrives while the pipeline is busy with them.
            ASSERT_EQ(camera.command("malformed bomb"), "ok");
            const long served = camera.stat("breakages");
            ASSERT_TRUE(pumpUntil([&] { return camera.stat("breakages") >= served + 2; }, 30s));
            ctl.stopAndCheck();
        }));
    }
    for (auto& r : runs)
        r.get();
}

} // namespace
