// The frame pipeline driven frame by frame on the test's thread: which frames get through, the
// size-change event, drawing into frame targets (PPM dumps against pictures computed here),
// rotation, snapshots (checked by jpeginfo and by their quantisation tables) and the e-mail
// picture in simulated time.
#include "control/cimage.h"
#include "event_recorder.h"
#include "jpeg_frames.h"
#include "media_tools.h"
#include "platform/clock.h"
#include "platform/frame_target.h"
#include "refused_port.h"
#include "shared_slot.h"
#include "test_wall_clock.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <sstream>
#include <thread>

using namespace tessivor;
using namespace tessivor::testing;
using namespace jpegtest;
using mediatest::freshDir;
using mediatest::quote;
using mediatest::readFile;
using mediatest::run;

namespace {

// A picture of 40 x 40 blocks of flat colours: block (i, j) has colour blockColour(i, j).
Rgb blockColour(int i, int j)
{
    return Rgb{static_cast<std::uint8_t>(30 + 50 * (i % 5)), static_cast<std::uint8_t>(40 + 35 * (j % 6)),
               static_cast<std::uint8_t>(i * 7 + j * 13 > 60 ? 200 : 60)};
}
constexpr int kBlock = 40;

RawImage blockImage(int width, int height)
{
    RawImage img{width, height, 3, std::vector<std::uint8_t>(std::size_t(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = blockColour(x / kBlock, y / kBlock);
            std::uint8_t* p = img.at(x, y);
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    return img;
}

std::vector<std::uint8_t> jpegOf(const RawImage& image, int quality = 95)
{
    JpegOptions o;
    o.quality = quality;
    o.fullChroma = true;
    return compressJpeg(image, o);
}

bool near(Rgb a, Rgb b, int tolerance = 12)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// All quantisation tables of a JPEG file; empty when its markers cannot be walked.
std::vector<std::vector<int>> quantTables(const std::vector<std::uint8_t>& f)
{
    std::vector<std::vector<int>> tables;
    std::size_t at = 2;
    while (at + 4 <= f.size() && f[at] == 0xFF) {
        const int marker = f[at + 1];
        const std::size_t length = (f[at + 2] << 8) | f[at + 3];
        if (marker == 0xDA || at + 2 + length > f.size())
            break;
        if (marker == 0xDB) {
            std::size_t p = at + 4;
            while (p < at + 2 + length) {
                const bool wide = (f[p] >> 4) != 0;
                ++p;
                std::vector<int> table;
                for (int i = 0; i < 64; ++i, p += wide ? 2 : 1)
                    table.push_back(wide ? (f[p] << 8) | f[p + 1] : f[p]);
                tables.push_back(table);
            }
        }
        at += 2 + length;
    }
    return tables;
}

struct JpegInfo
{
    bool ok = false;
    int width = 0, height = 0, bits = 0;
};

// jpeginfo -c prints "FILE  W x  H 24bit ... OK" for a sound file.
JpegInfo jpeginfo(const std::filesystem::path& file)
{
    JpegInfo info;
    const auto r = run("jpeginfo -c " + quote(file.string()));
    std::istringstream words(r.output);
    std::vector<std::string> w{std::istream_iterator<std::string>(words),
                               std::istream_iterator<std::string>()};
    for (std::size_t i = 1; i + 2 < w.size(); ++i)
        if (w[i] == "x" && w[i + 2].size() > 3 && w[i + 2].ends_with("bit")) {
            info.width = std::atoi(w[i - 1].c_str());
            info.height = std::atoi(w[i + 1].c_str());
            info.bits = std::atoi(w[i + 2].c_str());
            break;
        }
    info.ok = r.exitCode == 0 && !w.empty() && w.back() == "OK";
    return info;
}

class FramePipelineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        installClock(&clock);
        dir = freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        control = std::make_unique<CImage>();
        recorder = std::make_shared<EventRecorder>();
        std::uint32_t cookie = 0;
        ASSERT_EQ(control->events().advise(recorder, &cookie), S_OK);
        control->put_Protocol(PROTOCOL_NATIVE); // frames come in m_FrameBuffer
        target = frameTargets::create(400, 300);
        paintTarget(Rgb{255, 0, 255});
    }
    void TearDown() override
    {
        control.reset();
        frameTargets::destroy(target);
        installClock(nullptr);
    }

    int feed(const std::vector<std::uint8_t>& frame)
    {
        EXPECT_LE(frame.size(), CImage::kFrameBufferSize);
        std::memcpy(CImagePeer::buffers(*control).m_FrameBuffer.get(), frame.data(), frame.size());
        return control->ProcessFrame(static_cast<std::uint32_t>(frame.size()));
    }

    std::vector<std::int32_t> codes()
    {
        messageLoop::pump();
        return recorder->imageCodes();
    }

    void paintTarget(Rgb colour)
    {
        auto t = frameTargets::find(target);
        t->fill(TargetRect{0, 0, t->width(), t->height()}, colour);
    }

    // Draw into the test's target.
    void useTarget()
    {
        control->put_OtherDC(VariantBool(-1));
        control->put_PreviewhWnd(static_cast<std::int32_t>(target));
        control->put_PreviewDC(static_cast<std::int32_t>(target));
    }

    WallClock clock{activeClock()};
    std::filesystem::path dir;
    std::unique_ptr<CImage> control;
    std::shared_ptr<EventRecorder> recorder;
    Handle target = 0;
};

// Only whole JPEG frames that libjpeg decodes without a warning go through; everything else is
// dropped without an event and draws nothing, though it is counted.
constexpr std::uint8_t kSof0[] = {0xFF, 0xC0};

TEST_F(FramePipelineTest, OnlyWholeFramesGoThrough)
{
    useTarget();
    const auto good = jpegOf(blockImage(320, 240));
    auto withTail = [&](std::vector<std::uint8_t> tail) {
        auto f = good;
        f.insert(f.end(), tail.begin(), tail.end());
        return f;
    };
    auto cut = [&](std::size_t keep, bool eoi) {
        std::vector<std::uint8_t> f(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(keep));
        if (eoi)
            f.insert(f.end(), {0xFF, 0xD9});
        return f;
    };
    // Stray bytes between two header segments: libjpeg skips them with a warning.
    auto stray = good;
    const auto sof = std::search(stray.begin(), stray.end(), std::begin(kSof0), std::end(kSof0));
    ASSERT_NE(sof, stray.end());
    stray.insert(sof, {0x00, 0x11, 0x22});
    auto noSoi = good;
    noSoi[1] = 0xD7;

    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> dropped = {
        {"no EOI", cut(good.size() - 2, false)},
        {"EOI's last byte missing", cut(good.size() - 1, false)},
        {"trailing garbage", withTail({0x55, 0x66, 0x77})},
        {"trailing zero bytes", withTail({0, 0})},
        {"scan cut short, EOI added", cut(good.size() / 2, true)},
        {"extraneous bytes before a marker", stray},
        {"no SOI", noSoi},
        {"two bytes", {0xFF, 0xD8}},
    };
    for (const auto& [name, frame] : dropped) {
        SCOPED_TRACE(name);
        const auto version = frameTargets::find(target)->version();
        EXPECT_EQ(feed(frame), 0);
        EXPECT_TRUE(codes().empty());
        EXPECT_EQ(frameTargets::find(target)->version(), version);
        std::int32_t w = -1;
        control->get_ImageWidth(&w);
        EXPECT_EQ(w, 0);
    }
    std::int32_t counted = 0;
    control->get_FrameCount(&counted);
    EXPECT_EQ(counted, static_cast<std::int32_t>(dropped.size()));

    EXPECT_EQ(feed(good), -1);
    EXPECT_EQ(codes(), std::vector<std::int32_t>{EVT_IMAGE_SIZE_CHANGED});
    EXPECT_TRUE(near(frameTargets::find(target)->snapshot().pixel(20, 20), blockColour(0, 0)));
}

// FrameCount counts every frame handed to the pipeline, bad ones too, up to 5000, where it
// stays until it is read; reading sets it back to 0.
TEST_F(FramePipelineTest, FrameCountStopsAtItsCapUntilRead)
{
    struct Case
    {
        const char* what;
        std::int32_t start;
        int frames;
        std::int32_t counted;
    };
    const Case cases[] = {
        {"below the cap", 4990, 5, 4995}, {"up to the cap", 4998, 2, 5000}, {"past the cap", 4998, 10, 5000},
        {"at the cap", 5000, 3, 5000},    {"from nothing", 0, 1, 1},
    };
    const std::vector<std::uint8_t> notAJpeg{0x00, 0x01, 0x02}; // counted, then dropped
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CImagePeer::streaminfo(*control).m_nFrameCount.store(c.start);
        for (int i = 0; i < c.frames; ++i)
            feed(notAJpeg);
        std::int32_t count = -1;
        control->get_FrameCount(&count);
        EXPECT_EQ(count, c.counted);
        control->get_FrameCount(&count);
        EXPECT_EQ(count, 0);
    }
}

// Frame sharing: every frame flips the slot, also one that is not copied (204,800 bytes or more,
// or its slot busy with the consumer); a copied frame carries the next sequence number, which
// starts again at 0 once it has passed 50,000.
TEST_F(FramePipelineTest, SharingFlipsSlotsAndWrapsItsSequence)
{
    control->put_EnableServer(VariantBool(-1));
    ClientBlock& block = *CImagePeer::sharing(*control).m_ClientBlock;
    auto& sequence = CImagePeer::streaminfo(*control).m_nShareSequence;
    struct Step
    {
        const char* what;
        std::size_t length;
        int busySlot;                // 1 or 2: the consumer reads that slot meanwhile; 0 none
        std::int32_t sequenceBefore; // -1: as the last step left it
        int slotWritten;             // 1 or 2, or 0: none
        std::int32_t storedSequence;
        std::int32_t sequenceAfter;
    };
    const Step steps[] = {
        {"the first frame goes to slot 1", 1000, 0, -1, 1, 1, 1},
        {"the next to slot 2", 1000, 0, -1, 2, 2, 2},
        {"204,800 bytes are not copied, slot 1 is passed", ClientBlock::kSlotSize, 0, -1, 0, 0, 2},
        {"then slot 2", 1000, 0, -1, 2, 3, 3},
        {"slot 1 busy: passed", 1000, 1, -1, 0, 0, 3},
        {"204,799 bytes fit slot 2", ClientBlock::kSlotSize - 1, 0, -1, 2, 4, 4},
        {"past 50,000 the count starts again", 1000, 0, 50000, 1, 50001, 0},
        {"the first after the wrap", 1000, 0, -1, 2, 1, 1},
    };
    int flips = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.sequenceBefore >= 0)
            sequence.store(step.sequenceBefore);
        std::vector<std::uint8_t> frame(step.length);
        for (std::size_t i = 0; i < frame.size(); ++i)
            frame[i] = static_cast<std::uint8_t>(i * 7 + static_cast<std::size_t>(flips));
        const std::int32_t before[2] = {block.sequence1.load(), block.sequence2.load()};
        if (step.busySlot != 0)
            sharedSlot(block, step.busySlot - 1).readerBusy.store(1);
        feed(frame);
        if (step.busySlot != 0)
            sharedSlot(block, step.busySlot - 1).readerBusy.store(0);
        ++flips;
        EXPECT_EQ(block.nextSlot.load(), flips % 2 == 1 ? 2 : 1);
        EXPECT_EQ(sequence.load(), step.sequenceAfter);
        for (int slot = 1; slot <= 2; ++slot) {
            SCOPED_TRACE(slot);
            auto [seq, busy, writing, length, data] = sharedSlot(block, slot - 1);
            EXPECT_EQ(writing.load(), 0);
            if (slot != step.slotWritten) {
                EXPECT_EQ(seq.load(), before[slot - 1]); // left alone
                continue;
            }
            EXPECT_EQ(seq.load(), step.storedSequence);
            ASSERT_EQ(length.load(), static_cast<std::int32_t>(step.length));
            EXPECT_EQ(std::memcmp(data, frame.data(), frame.size()), 0);
        }
    }
}

// Event 28 at every change of size, and only then; 1280 x 1024 frames decode in full.
TEST_F(FramePipelineTest, SizeChangesAndLargeFrames)
{
    control->put_MotionDetectMode(2);
    const auto vga = jpegOf(blockImage(640, 480), 80);
    const auto qvga = jpegOf(blockImage(320, 240), 80);
    const auto large = jpegOf(blockImage(1280, 1024), 50);
    ASSERT_LE(large.size(), CImage::kFrameBufferSize);
    for (const auto* f : {&vga, &vga, &qvga, &qvga, &large, &large, &vga})
        EXPECT_EQ(feed(*f), -1);
    EXPECT_EQ(codes(), (std::vector<std::int32_t>{28, 28, 28, 28}));
    std::int32_t w = 0, h = 0;
    control->get_ImageWidth(&w);
    control->get_ImageHeight(&h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);

    // The 1280 x 1024 picture was decoded whole: a snapshot of it has every block.
    control->Capture((dir / "large.jpg").string(), 0);
    EXPECT_EQ(feed(large), -1);
    const JpegInfo info = jpeginfo(dir / "large.jpg");
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.width, 1280);
    EXPECT_EQ(info.height, 1024);
    const RawImage back = decompressJpeg(readFile(dir / "large.jpg"), JCS_RGB);
    ASSERT_EQ(back.width, 1280);
    for (int j = 0; j < 1024 / kBlock; ++j)
        for (int i = 0; i < 1280 / kBlock; ++i) {
            const std::uint8_t* p = back.at(i * kBlock + kBlock / 2, j * kBlock + kBlock / 2);
            ASSERT_TRUE(near(Rgb{p[0], p[1], p[2]}, blockColour(i, j), 16)) << i << "," << j;
        }
}

// The preview target holds the picture scaled to the preview size, placed by the preview offsets.
TEST_F(FramePipelineTest, DrawsPreviewSizesAndOffsets)
{
    struct Case
    {
        const char* name;
        bool otherDc;
        int previewWidth, previewHeight;
        int left, top, targetLeft, targetTop;
        int rotate;
    };
    const Case cases[] = {
        {"own window", false, 320, 240, 0, 0, 0, 0, 0},
        {"320x240 at the top-left", true, 320, 240, 0, 0, 0, 0, 0},
        {"half size", true, 160, 120, 0, 0, 0, 0, 0},
        {"double size, clipped", true, 640, 480, 0, 0, 0, 0, 0},
        {"PreviewLeft 100: shifted left", true, 320, 240, 100, 0, 0, 0, 0},
        {"target point 50, 30: shifted right and down", true, 320, 240, 0, 0, 50, 30, 0},
        {"picture point 20, 10 on target point 60, 40", true, 320, 240, 20, 10, 60, 40, 0},
        {"picture point below target point and beyond", true, 200, 150, 70, 90, 10, 20, 0},
        {"rotated by 90", true, 240, 320, 0, 0, 0, 0, 90},
    };
    const RawImage source = blockImage(320, 240);
    const auto frame = jpegOf(source);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        paintTarget(Rgb{255, 0, 255});
        control->put_OtherDC(VariantBool(c.otherDc ? -1 : 0));
        control->put_PreviewhWnd(static_cast<std::int32_t>(target));
        control->put_PreviewDC(static_cast<std::int32_t>(target));
        control->put_PreviewWidth(c.previewWidth);
        control->put_PreviewHeight(c.previewHeight);
        control->put_PreviewLeft(c.left);
        control->put_PreviewTop(c.top);
        control->put_PreviewTargetLeft(c.targetLeft);
        control->put_PreviewTargetTop(c.targetTop);
        control->put_RotateAngle(c.rotate);
        if (!c.otherDc) {
            auto own = frameTargets::find(control->windowHandle());
            own->resize(400, 300);
            own->fill(TargetRect{0, 0, 400, 300}, Rgb{255, 0, 255});
        }
        ASSERT_EQ(feed(frame), -1);

        const Handle drawn = c.otherDc ? target : control->windowHandle();
        auto t = frameTargets::find(drawn);
        const std::string base = std::string("case-") + std::to_string(&c - cases);
        ASSERT_TRUE(t->savePpm(dir / (base + ".ppm")));
        mediatest::Picture dump;
        ASSERT_TRUE(mediatest::readPpm(dir / (base + ".ppm"), &dump));
        ASSERT_EQ(dump.width, 400);
        ASSERT_EQ(dump.height, 300);

        // Where each target pixel comes from: preview point (x - dx + sx, y - dy + sy), with
        // the source and destination offsets of the placement rule.
        const int sx = c.otherDc ? std::max(0, c.left - c.targetLeft) : 0;
        const int sy = c.otherDc ? std::max(0, c.top - c.targetTop) : 0;
        const int dx = c.otherDc ? std::max(0, c.targetLeft - c.left) : 0;
        const int dy = c.otherDc ? std::max(0, c.targetTop - c.top) : 0;
        const int pictureWidth = c.rotate == 90 ? 240 : 320;
        const int pictureHeight = c.rotate == 90 ? 320 : 240;
        int checked = 0, wrong = 0, untouchedWrong = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x) {
                const std::uint8_t* p = &dump.rgb[(std::size_t(y) * 400 + x) * 3];
                const Rgb got{p[0], p[1], p[2]};
                const int px = x - dx + sx, py = y - dy + sy;
                if (x < dx || y < dy || px >= c.previewWidth || py >= c.previewHeight) {
                    untouchedWrong += !(got == Rgb{255, 0, 255});
                    continue;
                }
                // The picture point this preview point samples, away from block edges (where
                // nearest-neighbour rounding may pick either side).
                const double fx = (px + 0.5) * pictureWidth / c.previewWidth;
                const double fy = (py + 0.5) * pictureHeight / c.previewHeight;
                // Back to the unrotated source: 90 degrees counter-clockwise brings the source's
                // top-right corner to the top-left.
                const double ux = c.rotate == 90 ? 320 - fy : fx;
                const double uy = c.rotate == 90 ? fx : fy;
                const double ex = std::fmod(ux, kBlock), ey = std::fmod(uy, kBlock);
                if (ex < 3 || ex > kBlock - 3 || ey < 3 || ey > kBlock - 3)
                    continue;
                ++checked;
                wrong += !near(got, blockColour(int(ux) / kBlock, int(uy) / kBlock));
            }
        EXPECT_GT(checked, 1000);
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(untouchedWrong, 0);
    }
}

// A grey camera: 8-bit pictures with the grey palette are drawn and snapshotted; motion never.
TEST_F(FramePipelineTest, GreyFrames)
{
    useTarget();
    control->put_MotionDetectMode(2);
    RawImage grey{320, 240, 1, std::vector<std::uint8_t>(320 * 240, 90)};
    const auto dark = [&] {
        JpegOptions o;
        o.colour = JpegColour::Grey;
        return compressJpeg(grey, o);
    }();
    std::fill(grey.samples.begin(), grey.samples.end(), 220);
    JpegOptions o;
    o.colour = JpegColour::Grey;
    const auto light = compressJpeg(grey, o);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(feed(i % 2 ? light : dark), -1);
    EXPECT_EQ(codes(), std::vector<std::int32_t>{28});
    EXPECT_TRUE(near(frameTargets::find(target)->snapshot().pixel(100, 100), Rgb{220, 220, 220}, 3));
    control->Capture((dir / "grey.jpg").string(), 2);
    EXPECT_EQ(feed(dark), -1);
    const JpegInfo info = jpeginfo(dir / "grey.jpg");
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.bits, 8);
}

// CMYK frames decode (the decoder's own tests check their pixels) but have no picture form the
// image library can draw: they go through without drawing anything.
TEST_F(FramePipelineTest, CmykFramesAreNotDrawn)
{
    useTarget();
    for (JpegColour colour : {JpegColour::Cmyk, JpegColour::Ycck}) {
        JpegOptions o;
        o.colour = colour;
        const auto frame = compressJpeg(makeImage(64, 48, 4, 1), o);
        const auto version = frameTargets::find(target)->version();
        feed(frame);
        EXPECT_EQ(frameTargets::find(target)->version(), version);
    }
}

// Capture writes the next frame at the size code's size, as a quality-100 JPEG (all-one
// quantisation tables) that jpeginfo accepts, and posts 15.
TEST_F(FramePipelineTest, CaptureSizeCodes)
{
    struct Case
    {
        int code, width, height;
    };
    const Case cases[] = {{0, 640, 480}, {1, 160, 120},  {2, 320, 240},
                          {3, 640, 480}, {-1, 640, 480}, {7, 640, 480}};
    const auto frame = jpegOf(blockImage(640, 480), 75);
    feed(frame);
    codes();
    recorder->events.clear();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const auto file = dir / ("capture" + std::to_string(c.code) + ".jpg");
        control->Capture(file.string(), c.code);
        EXPECT_EQ(feed(frame), -1);
        EXPECT_EQ(codes(), std::vector<std::int32_t>{EVT_CAPTURE_SAVED});
        recorder->events.clear();
        EXPECT_EQ(CImagePeer::capture(*control).m_bCaptureRequest.load(), 0);
        if (c.code >= 1 && c.code <= 3) {
            EXPECT_EQ(CImagePeer::capture(*control).m_nCaptureSize.load(), 0);
        }
        const JpegInfo info = jpeginfo(file);
        EXPECT_TRUE(info.ok);
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        EXPECT_EQ(info.bits, 24);
        const auto tables = quantTables(readFile(file));
        ASSERT_FALSE(tables.empty());
        for (const auto& t : tables)
            EXPECT_TRUE(std::all_of(t.begin(), t.end(), [](int q) { return q == 1; }));
        // The picture is the frame's: the block at the centre of the picture keeps its colour.
        const RawImage back = decompressJpeg(readFile(file), JCS_RGB);
        const std::uint8_t* p = back.at(back.width / 2 - back.width / 32, back.height / 2 - back.height / 24);
        EXPECT_TRUE(near(Rgb{p[0], p[1], p[2]}, blockColour(7, 5), 16));
    }
    // Rotated pictures are saved as shown.
    control->put_RotateAngle(90);
    control->Capture((dir / "rotated.jpg").string(), 0);
    feed(frame);
    EXPECT_EQ(jpeginfo(dir / "rotated.jpg").width, 480);
    control->put_RotateAngle(45);
    control->Capture((dir / "turned.jpg").string(), 0);
    feed(frame);
    EXPECT_EQ(jpeginfo(dir / "turned.jpg").width, 640);
}

// A snapshot that cannot be written posts nothing and clears the request; Snapshot then reports
// 0, and -1 for a picture that was written.
TEST_F(FramePipelineTest, SnapshotResult)
{
    const auto frame = jpegOf(blockImage(320, 240));
    feed(frame);
    codes();
    recorder->events.clear();

    control->Capture((dir / "no-such-folder" / "x.jpg").string(), 2);
    EXPECT_EQ(feed(frame), -1);
    EXPECT_TRUE(codes().empty());
    EXPECT_EQ(CImagePeer::capture(*control).m_bCaptureRequest.load(), 0);

    for (const auto& [file, expected] :
         {std::pair{dir / "missing" / "s.jpg", 0}, std::pair{dir / "s.jpg", -1}}) {
        // The image thread of this test: frames until the request is served.
        std::atomic<bool> stop{false};
        std::thread imageThread([&] {
            while (!stop.load()) {
                if (CImagePeer::capture(*control).m_bCaptureRequest.load() != 0)
                    feed(frame);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        std::int32_t result = 99;
        control->Snapshot(file.string(), &result);
        stop.store(true);
        imageThread.join();
        EXPECT_EQ(result, expected) << file;
        EXPECT_EQ(std::filesystem::exists(file), expected == -1);
    }
}

// The recording step gets the picture as shown: a new size ends the open file and the same frame
// opens one of the new size; rotated pictures are recorded rotated. ffprobe reads the files.
TEST_F(FramePipelineTest, RecordingFollowsThePicture)
{
    const auto recordings = dir / "rec";
    std::filesystem::create_directories(recordings);
    control->put_NormalFilePath(recordings.string());
    control->put_ReservedSpace(0);
    CImagePeer::run(*control).m_nStatus.store(2);
    const auto vga = jpegOf(blockImage(640, 480), 80);
    const auto qvga = jpegOf(blockImage(320, 240), 80);
    auto feedFor = [&](const std::vector<std::uint8_t>& frame, int count) {
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(feed(frame), -1);
            std::this_thread::sleep_for(std::chrono::milliseconds(40)); // the next 33-ms slot
        }
    };
    auto files = [&] {
        std::vector<std::filesystem::path> out;
        for (const auto& e : std::filesystem::directory_iterator(recordings))
            out.push_back(e.path());
        std::sort(out.begin(), out.end());
        return out;
    };
    auto size = [](const std::filesystem::path& f) {
        return mediatest::streamEntry(f, "v", "width") + "x" + mediatest::streamEntry(f, "v", "height");
    };

    control->StartRecording();
    feedFor(vga, 3);
    feedFor(qvga, 3);
    control->StopRecording();
    feedFor(qvga, 1);
    EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_IMAGE_SIZE_CHANGED, EVT_RECORD_STARTED,
                                                  EVT_IMAGE_SIZE_CHANGED, EVT_RECORD_STOPPED}));
    auto made = files();
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(size(made[0]), "640x480");
    EXPECT_EQ(size(made[1]), "320x240");

    for (const auto& f : made)
        std::filesystem::remove(f);
    control->put_RotateAngle(90);
    control->StartRecording();
    feedFor(qvga, 3);
    control->StopRecording();
    feedFor(qvga, 1);
    made = files();
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(size(made[0]), "240x320");
    EXPECT_EQ(mediatest::run("ffmpeg -nostdin -v error -xerror -i " + quote(made[0].string()) + " -f null -")
                  .output,
              "");
}

// The e-mail picture: written and WM_STARTMAIL posted at the first motion frame, then only once
// MailIntervalTime seconds have passed and no job runs; a picture that cannot be written starts
// nothing.
TEST_F(FramePipelineTest, MotionMailPicture)
{
    RefusedPort smtp; // the jobs started here fail at once, on loopback
    CImagePeer::mail(*control).m_MailClient.SetPort(smtp.port());
    std::int32_t ignored = 0;
    control->SetEMailProperty(RefusedPort::kAddress, "to@example.org", "from@example.org", "motion",
                              &ignored);
    const auto mailFile = dir / "mail.jpg";
    control->put_EMailFileName(mailFile.string());
    control->put_MailIntervalTime(60);
    control->put_MotionDetectMode(4);

    RawImage a = blockImage(320, 240), b = blockImage(320, 240);
    std::fill(b.samples.begin(), b.samples.end(), 0);
    const auto still = jpegOf(a), moved = jpegOf(b);
    bool flip = false;
    auto motionFrame = [&] { return feed((flip = !flip) ? moved : still); };
    auto jobsStarted = [&] {
        messageLoop::pump();
        const auto c = recorder->imageCodes();
        return std::count(c.begin(), c.end(), EVT_MAIL_STARTED);
    };
    auto waitIdle = [&] {
        return pumpUntil([&] { return CImagePeer::run(*control).m_bMailIdle.load() == 1; });
    };

    feed(still); // primes
    EXPECT_EQ(jobsStarted(), 0);
    motionFrame();
    EXPECT_TRUE(std::filesystem::exists(mailFile));
    EXPECT_TRUE(jpeginfo(mailFile).ok);
    EXPECT_EQ(CImagePeer::run(*control).m_bMailIdle.load(), 0);
    EXPECT_TRUE(pumpUntil([&] { return jobsStarted() == 1; }));
    ASSERT_TRUE(waitIdle());

    std::filesystem::remove(mailFile);
    clock.seconds += 59;
    motionFrame(); // 59 s later: nothing, although the job has ended
    EXPECT_FALSE(std::filesystem::exists(mailFile));
    clock.seconds += 1;
    motionFrame(); // 60 s: the next e-mail
    EXPECT_TRUE(std::filesystem::exists(mailFile));
    EXPECT_TRUE(pumpUntil([&] { return jobsStarted() == 2; }));
    ASSERT_TRUE(waitIdle());

    // While a job runs, no picture is written.
    std::filesystem::remove(mailFile);
    clock.seconds += 120;
    CImagePeer::run(*control).m_bMailIdle.store(0);
    motionFrame();
    EXPECT_FALSE(std::filesystem::exists(mailFile));
    CImagePeer::run(*control).m_bMailIdle.store(1);

    // A picture that cannot be written: no job, and idle again.
    control->put_EMailFileName((dir / "missing" / "mail.jpg").string());
    clock.seconds += 120;
    motionFrame();
    EXPECT_EQ(CImagePeer::run(*control).m_bMailIdle.load(), 1);
    messageLoop::pump();
    EXPECT_EQ(jobsStarted(), 2);
}

} // namespace
