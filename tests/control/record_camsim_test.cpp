// Recording end to end: the simulated camera (tools/camsim) streams over loopback, the image loop
// and the frame pipeline hand every frame to the recording step, and ffmpeg and ffprobe judge the
// files that come out.
//
// camsim's pictures always hold a stuffed 0xFF byte in their compressed data (see
// tools/camsim/picture.h): ffmpeg 5.1 prints "EOI missing" when it probes a file that begins with
// a valid JPEG without one, which would make "ffprobe -v warning prints nothing" fail for reasons
// of ffmpeg's own. CamsimPicturesProbeWithoutWarnings keeps that promise in check.
#include "camsim_process.h"
#include "control/cimage.h"
#include "event_recorder.h"
#include "media_tools.h"
#include "picture.h"
#include "platform/audio_output.h"
#include "platform/clock.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <utility>

using namespace tessivor;
using namespace tessivor::testing;
using namespace mediatest;
using namespace std::chrono_literals;

namespace {

// ^[0-9]{14}\.avi$
bool isRecordingName(const std::string& name)
{
    return name.size() == 18 && name.substr(14) == ".avi" &&
           std::all_of(name.begin(), name.begin() + 14, [](char c) { return c >= '0' && c <= '9'; });
}

// What ffmpeg and ffprobe say about a file when asked to report every error or warning.
std::string complaints(const std::filesystem::path& file)
{
    return run("ffmpeg -nostdin -v error -xerror -i " + quote(file.string()) + " -f null -").output +
           run("ffprobe -v warning " + quote(file.string())).output;
}

// The video packets of a recording as JPEG files, in order (empty slots carry no packet).
std::vector<std::vector<std::uint8_t>> videoPackets(const std::filesystem::path& file,
                                                    const std::filesystem::path& workDir)
{
    const auto out = workDir / "packets";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    run("ffmpeg -nostdin -v error -i " + quote(file.string()) + " -map 0:v -c copy -f image2 " +
        quote((out / "p%05d.jpg").string()));
    std::vector<std::filesystem::path> names;
    for (const auto& e : std::filesystem::directory_iterator(out))
        names.push_back(e.path());
    std::sort(names.begin(), names.end());
    std::vector<std::vector<std::uint8_t>> packets;
    for (const auto& n : names)
        packets.push_back(readFile(n));
    return packets;
}

// ffmpeg's PSNR (dB, all planes) of the first video frame of `a` against the first of `b`;
// infinity for equal pictures, NaN when ffmpeg printed no figure.
double firstFramePsnr(const std::filesystem::path& a, const std::filesystem::path& b)
{
    const auto r = run("ffmpeg -nostdin -v info -i " + quote(a.string()) + " -i " + quote(b.string()) +
                       " -lavfi '[0:v][1:v]psnr' -frames:v 1 -f null -");
    const auto at = r.output.find("average:");
    if (at == std::string::npos)
        return std::nan("");
    const std::string value = r.output.substr(at + 8, r.output.find(' ', at) - at - 8);
    if (value == "inf")
        return std::numeric_limits<double>::infinity();
    return std::stod(value);
}

// The control's clock driven by the frames it is handed: once anchored, the tick count is the
// anchor's plus one frame period for every frame the pipeline has taken since (counted by the
// frame-sharing sequence, which only Run sets back). A steady camera's frames thus arrive at
// known times however busy the machine is; the wall clock and the waits stay the system's.
//
// The anchor lies one millisecond past the highest tick the control has read, and reading and
// anchoring exclude each other: a tick read just before the anchoring (the time of the last frame
// passed on, the start of a wait for the camera) is always behind the clock and never further
// behind than the system's time says. Read apart, a reading thread could take a system tick
// after the anchor was chosen, and the clock would then stand before the start of that wait,
// which the reader counts as a camera silent for longer than it allows.
class FrameDrivenClock final : public Clock
{
public:
    FrameDrivenClock(Clock& system, std::uint32_t periodMs, const std::atomic<std::int32_t>& frames)
        : m_system(system), m_period(periodMs), m_frames(frames)
    {
    }
    std::uint32_t tickCount() override
    {
        std::lock_guard lock(m_mutex);
        if (!m_anchored) {
            const std::uint32_t t = m_system.tickCount();
            if (!m_read || static_cast<std::int32_t>(t - m_highest) > 0)
                m_highest = t;
            m_read = true;
            return t;
        }
        return m_anchor + m_period * static_cast<std::uint32_t>(m_frames.load() - m_anchorFrames);
    }
    void sleepMs(std::uint32_t ms) override { m_system.sleepMs(ms); }
    std::time_t now() override { return m_system.now(); }
    // From now on the clock moves with the frames.
    void anchorNow()
    {
        std::lock_guard lock(m_mutex);
        m_anchor = (m_read ? m_highest : m_system.tickCount()) + 1;
        m_anchorFrames = m_frames.load();
        m_anchored = true;
    }

private:
    Clock& m_system;
    const std::uint32_t m_period;
    const std::atomic<std::int32_t>& m_frames;
    std::mutex m_mutex;
    bool m_read = false;
    std::uint32_t m_highest = 0;
    bool m_anchored = false;
    std::uint32_t m_anchor = 0;
    std::int32_t m_anchorFrames = 0;
};

// The system's clock, except that while fast-forward is on, the control's waits cost a
// millisecond each: the time they wait for is added to the tick count and the wall clock.
class FastForwardClock final : public Clock
{
public:
    explicit FastForwardClock(Clock& system) : m_system(system) {}
    std::uint32_t tickCount() override { return m_system.tickCount() + skipped.load(); }
    void sleepMs(std::uint32_t ms) override
    {
        if (fast.load()) {
            skipped += ms;
            m_system.sleepMs(std::min<std::uint32_t>(ms, 1));
        } else {
            m_system.sleepMs(ms);
        }
    }
    std::time_t now() override { return m_system.now() + skipped.load() / 1000; }

    std::atomic<bool> fast{false};
    std::atomic<std::uint32_t> skipped{0};

private:
    Clock& m_system;
};

class ScopedOutputFactory
{
public:
    explicit ScopedOutputFactory(AudioOutputFactory f) { setAudioOutputFactory(std::move(f)); }
    ~ScopedOutputFactory() { setAudioOutputFactory(nullptr); }
};

class RecordCamsimTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        recordings = dir / "rec";
        std::filesystem::create_directories(recordings);
    }
    void TearDown() override
    {
        control.reset(); // joins the control's threads while the test's clock still stands
        installClock(nullptr);
        cam.reset();
    }

    // A clock of the test's for the control, kept until the control is gone.
    template <class C> C& useClock(std::unique_ptr<C> c)
    {
        C& ref = *c;
        testClock = std::move(c);
        installClock(&ref);
        return ref;
    }

    void start(std::vector<std::string> cameraArgs, int protocol)
    {
        cam = std::make_unique<CamSim>(std::move(cameraArgs));
        control = std::make_unique<CImage>();
        recorder = std::make_shared<EventRecorder>();
        std::uint32_t cookie = 0;
        ASSERT_EQ(control->events().advise(recorder, &cookie), S_OK);
        control->put_RemoteHost(cam->address());
        control->put_RemotePort(protocol == PROTOCOL_NATIVE ? cam->nativePort() : cam->httpPort());
        control->put_Protocol(protocol);
        control->put_DisplayDelay(0);
        control->put_NormalFilePath(recordings.string());
        control->put_ReservedSpace(0);
    }

    void runAndWaitForFrames()
    {
        std::int32_t handle = 0;
        ASSERT_EQ(control->Run(&handle), S_OK);
        ASSERT_TRUE(waitForFrames(2));
    }

    // How long a wait for the camera's frames or the control's events may take: the camera is a
    // process of its own, and a busy machine may hold a frame back for seconds.
    static constexpr std::chrono::milliseconds kWaitLimit = 90s;

    // Waits until `n` more frames have entered the frame pipeline.
    bool waitForFrames(int n)
    {
        const std::int32_t from = CImagePeer::streaminfo(*control).m_nFrameCount.load();
        return pumpUntil([&] { return CImagePeer::streaminfo(*control).m_nFrameCount.load() >= from + n; },
                         kWaitLimit);
    }

    // Waits for `code` to arrive after the first `after` codes.
    bool waitForCode(std::int32_t code, std::size_t after = 0, std::chrono::milliseconds limit = kWaitLimit)
    {
        return pumpUntil(
            [&] {
                const auto all = codes();
                return std::find(all.begin() + static_cast<std::ptrdiff_t>(std::min(after, all.size())),
                                 all.end(), code) != all.end();
            },
            limit);
    }

    std::int32_t status()
    {
        std::int32_t s = -1;
        control->get_Status(&s);
        return s;
    }

    std::vector<std::int32_t> codes() const { return recorder->imageCodes(); }

    // What the control and its clock stood at, for a failure message.
    std::string state()
    {
        const auto& info = CImagePeer::streaminfo(*control);
        return "codes " + ::testing::PrintToString(codes()) + ", status " + std::to_string(status()) +
               ", frames " + std::to_string(info.m_nFrameCount.load()) + ", shared " +
               std::to_string(info.m_nShareSequence.load()) + ", failed rounds " +
               std::to_string(CImagePeer::run(*control).m_nFailedRounds.load()) + ", ticks " +
               std::to_string(activeClock().tickCount());
    }

    // The codes from `after` on that recording and the loop's end are about.
    std::vector<std::int32_t> recordingCodes(std::size_t after = 0) const
    {
        std::vector<std::int32_t> out;
        const auto all = codes();
        for (std::size_t i = after; i < all.size(); ++i)
            if (all[i] == EVT_RECORD_STARTED || all[i] == EVT_RECORD_STOPPED ||
                all[i] == EVT_RECORD_OPEN_FAILED || all[i] == EVT_RECORD_SPLIT ||
                all[i] == EVT_RECORD_CLOSED || all[i] == EVT_DISK_LOW || all[i] == EVT_RECORD_TIMEOUT ||
                all[i] == EVT_LOOP_CLOSED)
                out.push_back(all[i]);
        return out;
    }

    std::filesystem::path dir, recordings;
    std::unique_ptr<Clock> testClock;
    std::unique_ptr<CamSim> cam;
    std::unique_ptr<CImage> control;
    std::shared_ptr<EventRecorder> recorder;
};

// A 10-fps camera over /VIDEO.CGI, recorded with the control's clock moved by the frames it
// takes (100 ms each): every frame the pipeline took while the file was open is in it, each in
// its own third slot, in the camera's order, as the camera's own bytes; the files are silent in
// ffmpeg and ffprobe. The same on the system's clock, where a busy machine may bunch frames into
// one slot, is checked loosely: slots and camera frames rise, and the bytes are the camera's.
TEST_F(RecordCamsimTest, TenFpsCameraRecordsEveryFrameOnEveryThirdSlot)
{
    for (const bool frameTime : {true, false}) {
        SCOPED_TRACE(frameTime ? "frame-driven clock" : "system clock");
        start({"--rate", "10"}, PROTOCOL_VIDEO_CGI);
        control->put_EnableServer(VariantBool(-1));
        FrameDrivenClock* clock = nullptr;
        if (frameTime)
            clock = &useClock(std::make_unique<FrameDrivenClock>(
                activeClock(), 100, CImagePeer::streaminfo(*control).m_nShareSequence));
        runAndWaitForFrames();
        if (clock)
            clock->anchorNow();
        control->StartRecording();
        ASSERT_TRUE(waitForCode(EVT_RECORD_STARTED)) << state();
        EXPECT_EQ(status(), 4);
        ASSERT_TRUE(waitForFrames(20)) << state();
        control->StopRecording();
        ASSERT_TRUE(waitForCode(EVT_RECORD_STOPPED));
        EXPECT_EQ(status(), 2);
        control->Stop();
        ASSERT_TRUE(waitForCode(EVT_LOOP_CLOSED));
        EXPECT_EQ(recordingCodes(),
                  (std::vector<std::int32_t>{EVT_RECORD_STARTED, EVT_RECORD_STOPPED, EVT_LOOP_CLOSED}));

        const auto files = aviFiles(recordings);
        ASSERT_EQ(files.size(), 1u);
        const auto& file = files[0];
        EXPECT_TRUE(isRecordingName(file.filename().string())) << file;
        EXPECT_EQ(complaints(file), "");

        const auto pts = packetPts(file);
        const auto packets = videoPackets(file, dir);
        ASSERT_EQ(packets.size(), pts.size());
        ASSERT_GE(pts.size(), frameTime ? 20u : 2u);
        const long long first = camsimFrameNumber(packets[0].data(), packets[0].size());
        ASSERT_GE(first, 1);
        long long previous = 0;
        for (std::size_t k = 0; k < pts.size(); ++k) {
            SCOPED_TRACE(k);
            const long long number = camsimFrameNumber(packets[k].data(), packets[k].size());
            EXPECT_GT(number, previous); // none twice, none out of order
            previous = number;
            if (frameTime) {
                EXPECT_EQ(pts[k], static_cast<long>(3 * k)); // no frame taken was left out
            } else if (k > 0) {
                EXPECT_GT(pts[k], pts[k - 1]);
            }
        }

        // The first frame is the camera's JPEG as it was sent, and ffmpeg sees the same picture.
        const auto source = dir / "source.jpg";
        ASSERT_TRUE(
            writeFile(source, camsim::encodeTestPicture(static_cast<std::uint64_t>(first), 320, 240, 75)));
        EXPECT_EQ(packets[0], readFile(source));
        EXPECT_GT(firstFramePsnr(file, source), 30.0);

        control.reset(); // joins the control's threads while the test's clock still stands
        installClock(nullptr);
        cam.reset();
        std::filesystem::remove_all(recordings);
        std::filesystem::create_directories(recordings);
    }
}

// Size splits of 1 MB from a camera of large frames (about 40 KB; the camera's protocol allows
// up to 100,000 bytes): one code 12 per file, every file at least 1,048,576 bytes of frames,
// named by its opening time, and whole in ffmpeg's eyes.
TEST_F(RecordCamsimTest, SizeSplitsFromAStreamingCamera)
{
    start({"--rate", "30", "--size", "640x480", "--quality", "95"}, PROTOCOL_NATIVE);
    control->put_SplitFileMode(FILE_SIZE);
    control->put_SplitFileSpace(1);
    runAndWaitForFrames();
    for (int file = 0; file < 2; ++file) {
        const std::size_t before = codes().size();
        control->StartRecording();
        ASSERT_TRUE(waitForCode(EVT_RECORD_SPLIT, before));
        EXPECT_EQ(recordingCodes(before), (std::vector<std::int32_t>{EVT_RECORD_STARTED, EVT_RECORD_SPLIT}));
        EXPECT_EQ(status(), 2);
    }
    control->Stop();
    ASSERT_TRUE(waitForCode(EVT_LOOP_CLOSED));

    const auto files = aviFiles(recordings);
    ASSERT_EQ(files.size(), 2u);
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        EXPECT_TRUE(isRecordingName(f.filename().string()));
        const auto r = run("ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 " +
                           quote(f.string()));
        std::int64_t frameBytes = 0;
        std::size_t at = 0;
        while (at < r.output.size()) {
            const std::size_t end = std::min(r.output.find('\n', at), r.output.size());
            if (end > at)
                frameBytes += std::stoll(r.output.substr(at, end - at));
            at = end + 1;
        }
        EXPECT_GE(frameBytes, 1048576);
        EXPECT_EQ(complaints(f), "");
    }
}

// The image loop closes what nobody else will: a camera that is gone for 61 failed rounds of
// TimeOut 3 s (more than 180 s) ends the file with 1000 while the request stands, so the camera's
// return opens the next file; Stop while recording ends it with 13, 9 and then 0. The failed
// rounds pass in fast-forward.
TEST_F(RecordCamsimTest, ImageLoopClosesTheFileOfASilentOrStoppedCamera)
{
    auto& clock = useClock(std::make_unique<FastForwardClock>(activeClock()));
    start({"--rate", "20"}, PROTOCOL_VIDEO_CGI);
    ASSERT_EQ(CImagePeer::connection(*control).read().m_nTimeOut, 3);
    runAndWaitForFrames();
    control->StartRecording();
    ASSERT_TRUE(waitForCode(EVT_RECORD_STARTED));
    ASSERT_TRUE(waitForFrames(5));

    // The silence as the control's clock sees it: the rests skipped plus the real time the
    // failed rounds took (on a busy machine that real part is a few seconds of the 183).
    const std::uint32_t ticksBefore = clock.tickCount();
    std::size_t before = codes().size();
    clock.fast.store(true);
    cam->kill();
    ASSERT_TRUE(waitForCode(EVT_RECORD_TIMEOUT, before));
    const std::uint32_t silentMs = clock.tickCount() - ticksBefore;
    clock.fast.store(false);
    EXPECT_GE(silentMs, 180000u);
    EXPECT_EQ(recordingCodes(before), (std::vector<std::int32_t>{EVT_RECORD_TIMEOUT}));
    EXPECT_EQ(CImagePeer::record(*control).m_bAviOpen.load(), 0);
    EXPECT_EQ(CImagePeer::record(*control).m_bRecordRequest.load(), 1);
    ASSERT_EQ(aviFiles(recordings).size(), 1u);
    EXPECT_EQ(complaints(aviFiles(recordings)[0]), "");

    // The camera comes back: the standing request opens the next file (no second 8).
    before = codes().size();
    cam->restart();
    ASSERT_TRUE(pumpUntil([&] { return aviFiles(recordings).size() == 2; }, kWaitLimit));
    ASSERT_TRUE(waitForFrames(5));
    EXPECT_EQ(status(), 4);

    // Stop with no frame on its way (the camera holds its frames back): the loop's end closes
    // the file with 13 and 9, then posts 0, and Status reads 0 when 0 is handled.
    cam->command("stall");
    std::int32_t count = CImagePeer::streaminfo(*control).m_nFrameCount.load();
    ASSERT_TRUE(pumpUntil(
        [&] {
            messageLoop::waitAndPump(150ms);
            const std::int32_t now = CImagePeer::streaminfo(*control).m_nFrameCount.load();
            return std::exchange(count, now) == now;
        },
        kWaitLimit));
    std::int32_t statusAtZero = -1;
    control->Stop();
    ASSERT_TRUE(pumpUntil(
        [&] {
            const auto all = codes();
            if (std::find(all.begin() + static_cast<std::ptrdiff_t>(before), all.end(), EVT_LOOP_CLOSED) ==
                all.end())
                return false;
            statusAtZero = status();
            return true;
        },
        kWaitLimit));
    EXPECT_EQ(recordingCodes(before),
              (std::vector<std::int32_t>{EVT_RECORD_CLOSED, EVT_RECORD_STOPPED, EVT_LOOP_CLOSED}));
    EXPECT_EQ(statusAtZero, 0);
    const auto files = aviFiles(recordings);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(complaints(files[1]), "");
}

// A camera of the repeated-request kind with its sound on: the recording made through the image
// loop carries 8000-Hz mono PCM as long as its pictures.
TEST_F(RecordCamsimTest, MultipartCameraRecordsItsSound)
{
    ScopedOutputFactory factory([] { return makeSilentAudioOutput(true); });
    start({"--rate", "10"}, PROTOCOL_MULTIPART);
    control->put_PlayMode(3);
    runAndWaitForFrames();
    std::int32_t handle = 0;
    control->RunAudio(&handle);
    ASSERT_TRUE(
        pumpUntil([&] { return !CImagePeer::audio(*control).m_szAudioUserData.read().empty(); }, kWaitLimit));
    const auto asked = std::chrono::steady_clock::now();
    control->StartRecording();
    ASSERT_TRUE(waitForCode(EVT_RECORD_STARTED));
    ASSERT_TRUE(CImagePeer::recording(*control).m_AviWriter.HasAudio());
    ASSERT_FALSE(pumpUntil([] { return false; }, 6s));
    control->StopRecording();
    const double requested = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    ASSERT_TRUE(waitForCode(EVT_RECORD_STOPPED));
    control->Stop();
    ASSERT_TRUE(waitForCode(EVT_LOOP_CLOSED));
    ASSERT_TRUE(pumpUntil([&] { return CImagePeer::run(*control).m_bAudioRunning.load() == 0; }, kWaitLimit));

    const auto files = aviFiles(recordings);
    ASSERT_EQ(files.size(), 1u);
    const auto& f = files[0];
    EXPECT_EQ(complaints(f), "");
    EXPECT_EQ(streamEntry(f, "a", "codec_name"), "pcm_s16le");
    EXPECT_EQ(streamEntry(f, "a", "sample_rate"), "8000");
    EXPECT_EQ(streamEntry(f, "a", "channels"), "1");
    const double video = std::stod(streamEntry(f, "v", "duration"));
    // ffprobe gives no duration for the PCM stream of an AVI file: its samples are counted.
    const auto raw = dir / "sound.raw";
    ASSERT_EQ(run("ffmpeg -nostdin -v error -i " + quote(f.string()) + " -map 0:a -f s16le -y " +
                  quote(raw.string()))
                  .exitCode,
              0);
    const double audio = double(std::filesystem::file_size(raw)) / (8000 * 2);
    // The pictures cover at most the time recording was asked for (plus the last frame's slot);
    // how close they come depends on how well a busy machine kept up, so that side is loose.
    EXPECT_LE(video, requested + 1.0 / 30 + 0.01);
    EXPECT_GE(video, 3.0);
    EXPECT_NEAR(audio, video, 0.05 * video);
}

// camsim pictures that libjpeg would compress without a stuffed byte (640x480 at quality 10:
// most of them) come at a quality that has one, and ffprobe reads them without a warning.
TEST(CamsimPictures, ProbeWithoutWarnings)
{
    const auto dir = freshDir("CamsimPicturesProbeWithoutWarnings");
    for (std::uint64_t number = 1; number <= 8; ++number) {
        SCOPED_TRACE(number);
        const auto jpeg = camsim::encodeTestPicture(number, 640, 480, 10);
        EXPECT_TRUE(camsim::scanHasStuffedByte(jpeg));
        const auto file = dir / "frame.jpg";
        ASSERT_TRUE(writeFile(file, jpeg));
        EXPECT_EQ(run("ffprobe -v warning " + quote(file.string())).output, "");
    }
}

} // namespace
