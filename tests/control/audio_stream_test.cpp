// The camera's sound end to end: RunAudio against the simulated camera (tools/camsim), played into
// a WAV file and recorded into the AVI file of a Protocol 4 recording.
#include "camsim_process.h"
#include "control/cimage.h"
#include "event_recorder.h"
#include "media_tools.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>

using namespace tessivor;
using namespace tessivor::testing;
using namespace mediatest;
using namespace std::chrono_literals;

namespace {

class ScopedOutputFactory
{
public:
    explicit ScopedOutputFactory(AudioOutputFactory f) { setAudioOutputFactory(std::move(f)); }
    ~ScopedOutputFactory() { setAudioOutputFactory(nullptr); }
};

class AudioStreamTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        cam = std::make_unique<CamSim>(std::vector<std::string>{"--audio-tone", "300"});
    }

    std::unique_ptr<CImage> makeControl()
    {
        auto c = std::make_unique<CImage>();
        recorder = std::make_shared<EventRecorder>();
        std::uint32_t cookie = 0;
        c->events().advise(recorder, &cookie);
        c->put_RemoteHost(cam->address());
        c->put_RemotePort(cam->httpPort());
        c->put_Protocol(PROTOCOL_MULTIPART);
        return c;
    }

    bool waitForStop(CImage& c)
    {
        return pumpUntil([&] { return CImagePeer::run(c).m_bAudioRunning.load() == 0; }, 10s);
    }

    std::filesystem::path dir;
    std::unique_ptr<CamSim> cam;
    std::shared_ptr<EventRecorder> recorder;
};

// Signal-to-noise ratio of a steady tone: each 250-ms block is fitted by a sine of `hz` (any phase
// and amplitude); what the fit leaves is noise.
double toneSnr(const std::vector<std::int16_t>& pcm, double hz, int rate)
{
    const std::size_t block = static_cast<std::size_t>(rate) / 4;
    double signal = 0, noise = 0;
    for (std::size_t at = 0; at + block <= pcm.size(); at += block) {
        double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
        for (std::size_t i = 0; i < block; ++i) {
            const double w = 2 * std::numbers::pi * hz * double(i) / rate;
            const double s = std::sin(w), c = std::cos(w), y = pcm[at + i];
            ss += s * s, cc += c * c, sc += s * c, ys += y * s, yc += y * c;
        }
        const double det = ss * cc - sc * sc;
        const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
        for (std::size_t i = 0; i < block; ++i) {
            const double w = 2 * std::numbers::pi * hz * double(i) / rate;
            const double fit = a * std::sin(w) + b * std::cos(w);
            signal += fit * fit;
            noise += (pcm[at + i] - fit) * (pcm[at + i] - fit);
        }
    }
    return noise == 0 ? 200 : 10 * std::log10(signal / noise);
}

TEST_F(AudioStreamTest, RunAudioStartsOnceAndStops)
{
    ScopedOutputFactory factory([] { return makeSilentAudioOutput(true); });
    auto control = makeControl();
    // Sound switched off: nothing happens, the handle stays as it was.
    control->put_PlayMode(1);
    std::int32_t handle = 12345;
    control->RunAudio(&handle);
    EXPECT_EQ(handle, 12345);
    EXPECT_TRUE(recorder->imageCodes().empty());
    EXPECT_EQ(CImagePeer::run(*control).m_bAudioRunning.load(), 0);

    control->put_PlayMode(3);
    control->RunAudio(&handle);
    EXPECT_NE(handle, 0);
    EXPECT_NE(handle, 12345);
    std::int32_t again = 0;
    control->RunAudio(&again);
    EXPECT_EQ(again, handle);
    EXPECT_EQ(recorder->imageCodes(), (std::vector<std::int32_t>{EVT_THREAD_STARTED, EVT_ALREADY_RUNNING}));
    // Sound arrives: the "Userdata:" of the answers is kept.
    ASSERT_TRUE(pumpUntil(
        [&] {
            return CImagePeer::audio(*control).m_szAudioUserData.read().view().starts_with("camsim sound ");
        },
        10s));

    // PlayMode 1 asks the sound thread to end; it does, and can be started again.
    control->put_PlayMode(1);
    ASSERT_TRUE(waitForStop(*control));
    control->put_PlayMode(3);
    recorder->events.clear();
    control->RunAudio(&handle);
    EXPECT_EQ(recorder->imageCodes(), (std::vector<std::int32_t>{EVT_THREAD_STARTED}));
    control->Stop();
    ASSERT_TRUE(waitForStop(*control));
    EXPECT_EQ(CImagePeer::streamSettings(*control).read().m_szMultipartAudioPath.view(), "/goform/audio2");
}

TEST_F(AudioStreamTest, UnreachableCameraEndsTheThread)
{
    ScopedOutputFactory factory([] { return makeSilentAudioOutput(true); });
    auto control = makeControl();
    cam->kill();
    CImagePeer::streamSettings(*control).update(
        [](StreamSettings& s) { s.m_nMultipartPause = 10; }); // the pause between connection attempts
    std::int32_t handle = 0;
    control->RunAudio(&handle);
    // Four failed connections end the reader; the thread clears its mark.
    ASSERT_TRUE(waitForStop(*control));
    recorder->events.clear();
    control->RunAudio(&handle);
    EXPECT_EQ(recorder->imageCodes(), (std::vector<std::int32_t>{EVT_THREAD_STARTED}));
    control->Stop();
    ASSERT_TRUE(waitForStop(*control));
}

// A stored credential (a token a camera issued) with a line break would add header lines of its
// own to the sound request: no such request goes out, and the reader ends.
TEST_F(AudioStreamTest, StoredCredentialWithALineBreakIsNotSent)
{
    ScopedOutputFactory factory([] { return makeSilentAudioOutput(true); });
    auto control = makeControl();
    control->put_DeviceSerialNo("VE9LRU4=\r\nX-Injected: 1");
    control->put_PlayMode(3);
    std::int32_t handle = 0;
    control->RunAudio(&handle);
    const bool ended = waitForStop(*control);
    EXPECT_EQ(cam->stat("requests"), 0);
    EXPECT_EQ(cam->command("last-request").find("X-Injected"), std::string::npos);
    EXPECT_TRUE(ended);
    control->Stop();
    ASSERT_TRUE(waitForStop(*control));
}

TEST_F(AudioStreamTest, PlayedSoundIsTheCamerasTone)
{
    const auto wav = dir / "played.wav";
    ScopedOutputFactory factory([wav] { return makeWavFileAudioOutput(wav.string(), true); });
    auto control = makeControl();
    std::int32_t handle = 0;
    control->RunAudio(&handle);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(3s);
    control->Stop();
    ASSERT_TRUE(waitForStop(*control));
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // The WAV output holds what was played: whole 250-ms blocks, at least one, and no more than
    // the time that passed. How much less depends on how well the machine kept up (on a quiet
    // one at most a second: the first block's trip and the queue at the stop); it is printed.
    const double seconds = std::stod(streamEntry(wav, "a", "duration"));
    EXPECT_NEAR(std::fmod(seconds + 1e-9, 0.25), 0.0, 1e-6);
    EXPECT_LE(seconds, elapsed + 0.25);
    EXPECT_GE(seconds, 0.25);
    std::printf("played %.2f s of sound in %.2f s\n", seconds, elapsed);
    const auto raw = dir / "played.raw";
    ASSERT_EQ(
        run("ffmpeg -nostdin -v error -i " + quote(wav.string()) + " -f s16le -y " + quote(raw.string()))
            .exitCode,
        0);
    const auto bytes = readFile(raw);
    std::vector<std::int16_t> pcm(bytes.size() / 2);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    EXPECT_GE(toneSnr(pcm, 300, 8000), 25.0);
}

TEST_F(AudioStreamTest, MultipartRecordingCarriesTheSound)
{
    ScopedOutputFactory factory([] { return makeSilentAudioOutput(true); });
    auto control = makeControl();
    const auto recordings = dir / "rec";
    std::filesystem::create_directories(recordings);
    control->put_NormalFilePath(recordings.string());
    control->put_ReservedSpace(0);
    control->put_PlayMode(3);
    std::int32_t handle = 0;
    control->RunAudio(&handle);
    ASSERT_TRUE(
        pumpUntil([&] { return !CImagePeer::audio(*control).m_szAudioUserData.read().empty(); }, 10s));

    // The frame pipeline's part: a 10-fps picture stream handed to the recording step.
    const auto jpeg = cleanJpeg(makePicture(320, 240, 0), 90, dir);
    ASSERT_FALSE(jpeg.empty());
    BitmapInfoHeader header;
    header.biWidth = 320;
    header.biHeight = 240;
    header.biBitCount = 24;
    CImagePeer::run(*control).m_nStatus.store(2);
    control->StartRecording();
    // The file's time is the time the frames were handed over, which a busy machine stretches:
    // the video lasts from the first frame to the last, plus the last frame's slot.
    const auto start = std::chrono::steady_clock::now();
    auto last = start;
    for (int k = 0; k <= 80; ++k) {
        std::this_thread::sleep_until(start + k * 100ms);
        last = std::chrono::steady_clock::now();
        control->RecordFrame(RecordedPicture{header, jpeg.data(), jpeg.size()});
    }
    const double handedOver = std::chrono::duration<double>(last - start).count() + 1.0 / 30;
    control->StopRecording();
    control->RecordFrame(RecordedPicture{header, jpeg.data(), jpeg.size()});
    control->Stop();
    CImagePeer::run(*control).m_nStatus.store(0); // what the image loop does when it ends (none runs here)
    ASSERT_TRUE(waitForStop(*control));

    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(recordings))
        files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u);
    const auto& f = files[0];
    EXPECT_EQ(run("ffmpeg -nostdin -v error -xerror -i " + quote(f.string()) + " -f null -").output, "");
    EXPECT_EQ(run("ffprobe -v warning " + quote(f.string())).output, "");
    EXPECT_EQ(streamEntry(f, "a", "codec_name"), "pcm_s16le");
    EXPECT_EQ(streamEntry(f, "a", "sample_rate"), "8000");
    EXPECT_EQ(streamEntry(f, "a", "channels"), "1");
    const auto raw = dir / "recorded.raw";
    ASSERT_EQ(run("ffmpeg -nostdin -v error -i " + quote(f.string()) + " -map 0:a -f s16le -y " +
                  quote(raw.string()))
                  .exitCode,
              0);
    const auto bytes = readFile(raw);
    const double audio = double(bytes.size()) / 16000;
    const double video = std::stod(streamEntry(f, "v", "duration"));
    EXPECT_NEAR(video, handedOver, 0.1);
    EXPECT_NEAR(audio, video, 0.05 * video);
    std::vector<std::int16_t> pcm(bytes.size() / 2);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    EXPECT_GE(toneSnr(pcm, 300, 8000), 25.0);
}

} // namespace
