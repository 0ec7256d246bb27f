// Motion detection end to end: scripted clips served by the simulated camera (tools/camsim),
// received by the image loop over loopback, and code 6 checked frame by frame.
//
// camsim holds one clip picture and sends it again and again until the test selects the next
// one; repeated pictures are never motion, so each selection is one "frame" of the script. The
// test knows a picture has been through the pipeline when the frame-sharing block shows it and
// then a later frame: frames are shared at the start of the pipeline, one after another on the
// image thread. The wall clock of the motion hold-off is the test's, so the 5-second hold-off
// costs no real time.
#include "camsim_process.h"
#include "control/cimage.h"
#include "event_recorder.h"
#include "jpeg_frames.h"
#include "media_tools.h"
#include "platform/clock.h"
#include "shared_slot.h"
#include "test_wall_clock.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace tessivor;
using namespace tessivor::testing;
using namespace jpegtest;
using namespace std::chrono_literals;

namespace {

// The clip's pictures, by name.
enum Scene
{
    Base,            // 320x240 colour scene
    Moved,           // Base with a 16x16 patch changed at sampled cells (upper left)
    Unsampled,       // Base with a 4x4 patch changed where no cell is sampled
    MovedLowerRight, // Base with a patch changed in the lower-right quarter
    GreyDark,        // 320x240 one-component pictures
    GreyLight,
    Small, // 160x120 colour scene, quite unlike Base
    SceneCount
};

RawImage baseImage(int width, int height)
{
    RawImage img = makeImage(width, height, 3, 4);
    return img;
}

void changePatch(RawImage& img, int x0, int y0, int size)
{
    for (int y = y0; y < y0 + size; ++y)
        for (int x = x0; x < x0 + size; ++x)
            for (int c = 0; c < 3; ++c)
                img.at(x, y)[c] = static_cast<std::uint8_t>(img.at(x, y)[c] ^ 0x80);
}

std::vector<std::vector<std::uint8_t>> makeScenes()
{
    std::vector<std::vector<std::uint8_t>> scenes(SceneCount);
    // Quality 100: the pictures come back within a step or two of what was drawn, so a change
    // stays where it was made.
    JpegOptions colour;
    colour.quality = 100;
    colour.fullChroma = true;
    scenes[Base] = compressJpeg(baseImage(320, 240), colour);
    RawImage moved = baseImage(320, 240);
    changePatch(moved, 40, 40, 16);
    scenes[Moved] = compressJpeg(moved, colour);
    // With 320-pixel pictures cells are 4x4 at x = 0, 8, ... (and x + 4) on block rows counted
    // from the bottom line; top-down rows 236..239 are bottom rows 0..3, where only the cells at
    // x = 0, 8, ... lie. Columns 4..7 there are never sampled. An aligned 8x8 block keeps the
    // JPEG's changes inside it.
    RawImage unsampled = baseImage(320, 240);
    for (int y = 236; y < 240; ++y)
        for (int x = 4; x < 8; ++x)
            for (int c = 0; c < 3; ++c)
                unsampled.at(x, y)[c] = static_cast<std::uint8_t>(unsampled.at(x, y)[c] ^ 0x80);
    scenes[Unsampled] = compressJpeg(unsampled, colour);
    RawImage lowerRight = baseImage(320, 240);
    changePatch(lowerRight, 240, 180, 16);
    scenes[MovedLowerRight] = compressJpeg(lowerRight, colour);
    JpegOptions grey;
    grey.colour = JpegColour::Grey;
    scenes[GreyDark] = compressJpeg(RawImage{320, 240, 1, std::vector<std::uint8_t>(320 * 240, 40)}, grey);
    scenes[GreyLight] = compressJpeg(RawImage{320, 240, 1, std::vector<std::uint8_t>(320 * 240, 220)}, grey);
    scenes[Small] = compressJpeg(makeImage(160, 120, 3, 9), colour);
    return scenes;
}

class MotionClipTest : public ::testing::TestWithParam<int>
{
protected:
    void SetUp() override
    {
        installClock(&clock);
        dir = mediatest::freshDir("MotionClip" + std::to_string(GetParam()));
        scenes = makeScenes();
        std::ofstream list(dir / "clip.txt");
        for (std::size_t i = 0; i < scenes.size(); ++i) {
            ASSERT_FALSE(scenes[i].empty());
            const auto name = "scene" + std::to_string(i) + ".jpg";
            ASSERT_TRUE(mediatest::writeFile(dir / name, scenes[i]));
            list << name << "\n";
        }
        list.close();
        camera = std::make_unique<CamSim>(
            std::vector<std::string>{"--clip", (dir / "clip.txt").string(), "--rate", "50"});

        control = std::make_unique<CImage>();
        recorder = std::make_shared<EventRecorder>();
        std::uint32_t cookie = 0;
        control->events().advise(recorder, &cookie);
        const int protocol = GetParam();
        control->put_RemoteHost(camera->address());
        control->put_RemotePort(protocol == PROTOCOL_NATIVE ? camera->nativePort() : camera->httpPort());
        control->put_Protocol(protocol);
        control->put_TimeOut(1);
        control->put_ConnTimeOut(1);
        control->put_DisplayDelay(0);
        control->put_EnableServer(VariantBool(-1));
        control->put_DrawImage(VariantBool(0));
        control->put_MotionDetectMode(2);
    }
    void TearDown() override
    {
        if (control) {
            control->Stop();
            pumpUntil([&] { return !control->ImageThreadRunning(); });
        }
        control.reset();
        camera.reset();
        installClock(nullptr);
    }

    // Serves `scene` from now on and returns once a frame of it has been through the pipeline.
    void show(Scene scene)
    {
        ASSERT_EQ(camera->command("clip " + std::to_string(scene)).rfind("ok", 0), 0u);
        ASSERT_TRUE(waitProcessed(scenes[scene])) << "scene " << scene << " never went through";
    }

    bool waitProcessed(const std::vector<std::uint8_t>& picture)
    {
        ClientBlock& b = *CImagePeer::sharing(*control).m_ClientBlock;
        std::int32_t seenAt = 0;
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < end) {
            messageLoop::pump();
            for (int slot = 0; slot < 2; ++slot) {
                auto [seq, busy, writing, length, data] = sharedSlot(b, slot);
                const std::int32_t s = seq.load();
                if (seenAt != 0) {
                    if (s > seenAt)
                        return true; // a later frame: the picture's call has ended
                    continue;
                }
                if (s == 0)
                    continue;
                busy.store(1);
                const bool same = writing.load() == 0 && seq.load() == s &&
                                  length.load() == static_cast<std::int32_t>(picture.size()) &&
                                  std::memcmp(data, picture.data(), picture.size()) == 0;
                busy.store(0);
                if (same && s > lastSeen)
                    seenAt = s;
            }
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    // Shows each scene of `script` one second after the last; expects code 6 exactly at the
    // steps marked.
    void play(const std::vector<std::pair<Scene, bool>>& script)
    {
        for (std::size_t i = 0; i < script.size(); ++i) {
            clock.seconds += 1;
            const auto before = motionCount();
            show(script[i].first);
            lastSeen = latestSequence();
            messageLoop::pump();
            EXPECT_EQ(motionCount() - before, script[i].second ? 1 : 0) << "script step " << i;
        }
    }

    long motionCount() const
    {
        const auto codes = recorder->imageCodes();
        return std::count(codes.begin(), codes.end(), EVT_MOTION);
    }
    std::int32_t latestSequence() const
    {
        return std::max(CImagePeer::sharing(*control).m_ClientBlock->sequence1.load(),
                        CImagePeer::sharing(*control).m_ClientBlock->sequence2.load());
    }
    void start()
    {
        std::int32_t h = 0;
        ASSERT_EQ(control->Run(&h), S_OK);
        show(Base);
        lastSeen = latestSequence();
    }

    WallClock clock{activeClock()};
    std::filesystem::path dir;
    std::vector<std::vector<std::uint8_t>> scenes;
    std::unique_ptr<CamSim> camera;
    std::unique_ptr<CImage> control;
    std::shared_ptr<EventRecorder> recorder;
    std::int32_t lastSeen = 0;
};

// Continuous motion: code 6 at the first moving frame, then none until more than 5 seconds have
// passed since it; the frame that ends the hold-off posts nothing, the next moving one does.
TEST_P(MotionClipTest, HoldOffOverContinuousMotion)
{
    start(); // primes on Base
    play({
        {Base, false},      // t1: same picture
        {Moved, true},      // t2: first motion
        {Base, false},      // t3: held (1 s)
        {Moved, false},     // t4
        {Base, false},      // t5
        {Moved, false},     // t6
        {Base, false},      // t7: 5 s, still held
        {Moved, false},     // t8: 6 s: the hold-off ends, nothing posted
        {Base, true},       // t9: posted again
        {Base, false},      // t10: no motion
        {Unsampled, false}, // t11: a change no sampled cell sees (hold-off over by t16)
        {Base, false},
        {Base, false},
        {Base, false},
        {Base, false},
        {Base, false},     // t16
        {Moved, false},    // t17: 8 s after the last event: this frame only ends the hold-off
        {Unsampled, true}, // t18: posts
    });
}

// Rectangle mode: only changes inside the host's rectangles count.
TEST_P(MotionClipTest, RectangleMode)
{
    control->SetMotionBlock(0, 0, 0, 160, 120); // the upper-left quarter
    control->put_MotionBlockCount(1);
    start();
    play({
        {MovedLowerRight, false}, // outside the rectangle
        {Base, false},
        {Moved, true}, // the patch at 40, 40 lies inside
    });
    control->SetMotionBlock(0, 200, 100, 320, 239); // the lower-right part
    clock.seconds += 10;
    play({
        {Base, false},            // the change at 40, 40 goes away: no longer watched
        {MovedLowerRight, false}, // seen, but the first motion after the hold-off only ends it
        {Base, true},
    });
}

// Grey pictures and a size change are never motion; detection resumes after each. A reconnect
// is no new start: a scene that changed while the camera was away is motion when it comes back.
TEST_P(MotionClipTest, GreyAndSizeChangeGiveNoMotionAndAReconnectComparesOn)
{
    start();
    play({
        {GreyDark, false},
        {GreyLight, false},
        {GreyDark, false},
        {Moved, false}, // the first colour picture primes
        {Small, false}, // another size primes
        {Moved, false}, // and back
    });
    clock.seconds += 10;
    play({{Base, true}}); // detection is on again
    clock.seconds += 10;
    play({{Moved, false}}); // ends the hold-off: the next motion posts at once

    // Reconnect: the camera holds its frames, drops the connection, and sends another picture
    // on the next connection.
    const long connections = camera->stat("connections");
    camera->command("stall");
    camera->command("clip " + std::to_string(Base));
    camera->command("drop");
    camera->command("resume");
    const auto before = motionCount();
    ASSERT_TRUE(waitProcessed(scenes[Base]));
    lastSeen = latestSequence();
    EXPECT_GT(camera->stat("connections"), connections);
    messageLoop::pump();
    EXPECT_EQ(motionCount(), before + 1);
    play({{Base, false}});
}

INSTANTIATE_TEST_SUITE_P(Protocols, MotionClipTest, ::testing::Values(PROTOCOL_NATIVE, PROTOCOL_MJPEG_CGI),
                         [](const auto& info) { return info.param == 0 ? "Native" : "MjpegCgi"; });

} // namespace
