// Our Kestra viewer fed JPEG frames through its seam: drawing, motion, snapshots, alert
// pictures and recordings, each read back by a program nobody here wrote (ImageMagick's
// convert, djpeg, ffprobe); damaged and hostile frames change nothing.
#include "app/viewer/kestra_viewer.h"
#include "jpeg_pictures.h"
#include "test_folder.h"

#include "platform/clock.h"
#include "platform/frame_target.h"

#include <gtest/gtest.h>

using namespace pellucor;
using pictures::run;

namespace {

class StepClock : public tessivor::Clock
{
public:
    std::uint32_t tickCount() override { return ms; }
    void sleepMs(std::uint32_t m) override { ms += m; }
    std::time_t now() override { return 1709546400 + ms / 1000; }
    std::uint32_t ms = 0;
};

// Answers the viewer's events as the engine does: a full file is followed by a new one.
struct Events : ViewerEvents
{
    KestraViewer* viewer = nullptr;
    int recordStops = 0, motions = 0, alarms = 0;
    void onViewerRecordStop(int slot) override
    {
        EXPECT_EQ(slot, 2);
        ++recordStops;
        viewer->stopRecording();
        viewer->startRecording();
    }
    void onViewerMotion(int) override { ++motions; }
    void onViewerMailAlarm(int) override { ++alarms; }
};

class Viewer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        a = pictures::stripes(dir.path() / "a.jpg", 0);
        b = pictures::stripes(dir.path() / "b.jpg", 8);
        ASSERT_GT(a.size(), 1000u) << "cjpeg is missing";
        events.viewer = &viewer;
        viewer.startShowing();
    }

    KestraViewer::FrameResult feed(const std::vector<std::uint8_t>& jpeg)
    {
        return viewer.feedFrame(jpeg.data(), jpeg.size());
    }

    TestFolder dir{"viewer"};
    StepClock clock;
    Events events;
    KestraViewer viewer{2, &events, clock};
    std::vector<std::uint8_t> a, b;
};

TEST_F(Viewer, SettingsAndShowingState)
{
    viewer.setUserName("admin");
    EXPECT_EQ(viewer.loginName(), "admin");
    EXPECT_EQ(viewer.state() & CameraViewer::kStateShowing, CameraViewer::kStateShowing);
    viewer.stopShowing();
    EXPECT_EQ(viewer.state(), 0);
    EXPECT_EQ(feed(a), KestraViewer::FrameResult::NotShowing);
    viewer.setMotionMode(13);
    EXPECT_EQ(viewer.motionMode(), 13);
}

TEST_F(Viewer, DrawsIntoTheAttachedTargetAtTheAttachSize)
{
    const auto handle = tessivor::frameTargets::create(400, 300);
    viewer.attachWindow(static_cast<std::int32_t>(handle), 160, 120);
    ASSERT_EQ(feed(a), KestraViewer::FrameResult::Shown);
    EXPECT_EQ(viewer.imageWidth(), 320);
    EXPECT_EQ(viewer.imageHeight(), 240);
    const auto picture = tessivor::frameTargets::find(handle)->snapshot();
    // Top-left of the stripes is the "on" colour (220, 40, 90); outside 160x120 nothing is drawn.
    const tessivor::Rgb tl = picture.pixel(2, 2);
    EXPECT_NEAR(tl.r, 220, 12);
    EXPECT_NEAR(tl.g, 40, 12);
    EXPECT_NEAR(tl.b, 90, 12);
    EXPECT_EQ(picture.pixel(200, 200), (tessivor::Rgb{0, 0, 0}));

    tessivor::frameTargets::destroy(handle);
    EXPECT_EQ(feed(b), KestraViewer::FrameResult::Shown); // a window that is gone is no fault
}

TEST_F(Viewer, SnapshotIsABmpThatConvertReads)
{
    EXPECT_FALSE(viewer.snapshotToFile((dir.path() / "none.bmp").string())); // no picture yet
    ASSERT_EQ(feed(a), KestraViewer::FrameResult::Shown);
    const auto file = dir.path() / "snap.bmp";
    ASSERT_TRUE(viewer.snapshotToFile(file.string()));
    EXPECT_EQ(run("/usr/bin/convert '" + file.string() + "' -format '%w %h' info:"), "320 240");
    // The top-left pixel as ImageMagick reads it: the rows were written bottom-up.
    const std::string px =
        run("/usr/bin/convert '" + file.string() +
            "' -crop 1x1+2+2 -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:");
    int r = 0, g = 0, bl = 0;
    ASSERT_EQ(std::sscanf(px.c_str(), "%d %d %d", &r, &g, &bl), 3) << px;
    EXPECT_NEAR(r, 220, 12);
    EXPECT_NEAR(g, 40, 12);
    EXPECT_NEAR(bl, 90, 12);
}

TEST_F(Viewer, AlertPictureIsTheCurrentFrameAsAJpegThatDjpegReads)
{
    const auto file = dir.path() / "CAM2_Door.jpg";
    viewer.setMailPictureFile(file.string());
    viewer.setAlertPicture(true); // no frame yet: no file
    EXPECT_FALSE(std::filesystem::exists(file));
    ASSERT_EQ(feed(b), KestraViewer::FrameResult::Shown);
    viewer.setAlertPicture(true);
    EXPECT_EQ(pictures::readBytes(file), b);
    const std::string ppm = run("djpeg -pnm '" + file.string() + "' | head -c 15");
    EXPECT_EQ(ppm.substr(0, 11), "P6\n320 240\n");
}

TEST_F(Viewer, MotionFollowsTheControlsRuleAndHoldOff)
{
    viewer.setMotionMode(4);
    feed(a); // primes
    feed(a);
    EXPECT_EQ(events.motions, 0);
    feed(b);
    EXPECT_EQ(events.motions, 1);
    EXPECT_EQ(events.alarms, 1); // e-mail bit set: the engine decides on the interval
    clock.ms += 3000;
    feed(a);
    EXPECT_EQ(events.motions, 1); // held off
    clock.ms += 3000;
    feed(b); // ends the hold-off, as the control's first frame after it
    feed(a);
    EXPECT_EQ(events.motions, 2);

    viewer.setMotionMode(0);
    feed(b);
    EXPECT_EQ(events.motions, 2);
    viewer.setMotionMode(2);
    feed(a); // primes again: no motion against a stale reference
    EXPECT_EQ(events.motions, 2);
    EXPECT_EQ(events.alarms, 2); // one per reported motion while the e-mail bit was set
}

TEST_F(Viewer, RecordingsSplitBySizeAndPlay)
{
    std::vector<std::vector<std::uint8_t>> frames;
    for (int i = 0; i < 4; ++i)
        frames.push_back(pictures::stripes(dir.path() / ("n" + std::to_string(i) + ".jpg"), i, true));
    ASSERT_GT(frames[0].size(), 60000u);
    const auto folder = dir.path() / "CAM2_Door";
    std::filesystem::create_directories(folder);
    viewer.setRecordFolder(folder.string());
    viewer.setSplitSize(1);
    viewer.startRecording();
    for (int i = 0; i < 40; ++i) {
        clock.ms += 1000; // a new second: a new file name after each split
        ASSERT_EQ(feed(frames[static_cast<std::size_t>(i % 4)]), KestraViewer::FrameResult::Shown);
    }
    EXPECT_TRUE(viewer.recording());
    viewer.stopRecording();
    EXPECT_FALSE(viewer.recording());
    EXPECT_GE(events.recordStops, 2);

    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        ++files;
        SCOPED_TRACE(e.path().string());
        EXPECT_LE(std::filesystem::file_size(e.path()), 1u << 20);
        EXPECT_EQ(run("ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 '" +
                      e.path().string() + "'"),
                  "mjpeg,320,240\n");
    }
    EXPECT_EQ(files, events.recordStops + 1);
}

TEST_F(Viewer, DamagedAndHostileFramesChangeNothing)
{
    ASSERT_EQ(feed(a), KestraViewer::FrameResult::Shown);
    const auto snapshotBefore = dir.path() / "before.bmp";
    ASSERT_TRUE(viewer.snapshotToFile(snapshotBefore.string()));

    std::vector<std::vector<std::uint8_t>> bad;
    bad.push_back({});
    bad.push_back({0xFF, 0xD8, 0xFF, 0xD9});
    bad.push_back(
        std::vector<std::uint8_t>(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(b.size() / 2)));
    auto corrupt = b;
    for (std::size_t i = b.size() / 3; i < b.size() / 3 + 200; ++i)
        corrupt[i] = 0xFF;
    bad.push_back(corrupt);
    // A frame header claiming 60000 x 60000 pixels.
    auto huge = b;
    for (std::size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0xEA;
            huge[i + 6] = huge[i + 8] = 0x60;
            break;
        }
    bad.push_back(huge);
    std::vector<std::uint8_t> noise(5000);
    std::mt19937 random(7);
    for (auto& byte : noise)
        byte = static_cast<std::uint8_t>(random());
    noise[0] = 0xFF;
    noise[1] = 0xD8;
    bad.push_back(noise);

    viewer.setMotionMode(2);
    for (std::size_t i = 0; i < bad.size(); ++i) {
        const auto r = viewer.feedFrame(bad[i].data(), bad[i].size());
        // A corrupted scan may still decode to something; everything else is refused.
        if (i != 3) {
            EXPECT_EQ(r, KestraViewer::FrameResult::Refused) << i;
        }
    }
    EXPECT_EQ(viewer.imageWidth(), 320);
    EXPECT_EQ(events.motions, 0);
    EXPECT_EQ(viewer.feedFrame(nullptr, 100), KestraViewer::FrameResult::Refused);
}

} // namespace
