// Motion detection on pictures made here: the sampled cells and their limits, thresholds,
// rectangles, row strides and picture sizes; the motion step with its priming, hold-off in
// simulated time, beep and e-mail request.
#include "control/cimage.h"
#include "event_recorder.h"
#include "imagelib/img_desc.h"
#include "media_tools.h"
#include "platform/audio_output.h"
#include "platform/clock.h"
#include "platform/message_beep.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

using namespace tessivor;
using namespace tessivor::testing;

namespace {

class FakeClock final : public Clock
{
public:
    std::uint32_t tickCount() override { return ticks; }
    void sleepMs(std::uint32_t ms) override { ticks += ms; }
    std::time_t now() override { return base + ticks / 1000; }

    std::uint32_t ticks = 1000;
    std::time_t base = 1796712534;
};

// A 24-bit (or 8-bit) image with a mid-grey content and noise in the row padding, so that a
// detector that read the padding as pixels would see motion.
class Picture
{
public:
    Picture(int width, int height, int bits = 24)
    {
        EXPECT_EQ(img_alloc(&m_desc, width, height, bits), 0);
        std::mt19937 noise(7);
        const int rowBytes = width * bits / 8;
        for (int row = 0; row < height; ++row) {
            std::uint8_t* p = m_desc.pixels + std::size_t(row) * m_desc.bytesPerRow;
            std::memset(p, 100, rowBytes);
            for (std::uint32_t i = rowBytes; i < m_desc.bytesPerRow; ++i)
                p[i] = static_cast<std::uint8_t>(noise());
        }
    }
    ~Picture() { img_free(&m_desc); }
    Picture(const Picture&) = delete;

    // Pixel (x, y), y counted from the top as the host sees it.
    std::uint8_t* at(int x, int y)
    {
        const int height = static_cast<int>(img_height(&m_desc));
        return m_desc.pixels + std::size_t(height - 1 - y) * m_desc.bytesPerRow + x * 3;
    }
    // Adds `delta` to every byte of the w x h pixels at (x, y) (top-down coordinates).
    void change(int x, int y, int w, int h, int delta = 100)
    {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i)
                for (int c = 0; c < 3; ++c)
                    at(i, j)[c] = static_cast<std::uint8_t>(at(i, j)[c] + delta);
    }
    // Changes exactly `count` pixels of the cell at (x, y) of size `cell` (top-down).
    void changePixels(int x, int y, int cell, int count)
    {
        for (int k = 0; k < count; ++k)
            change(x + k % cell, y + k / cell, 1, 1);
    }
    void fill(std::uint8_t value)
    {
        const int height = static_cast<int>(img_height(&m_desc));
        const int rowBytes = static_cast<int>(img_width(&m_desc) * img_bits(&m_desc) / 8);
        for (int row = 0; row < height; ++row)
            std::memset(m_desc.pixels + std::size_t(row) * m_desc.bytesPerRow, value, rowBytes);
    }
    img_desc* desc() { return &m_desc; }
    int width() const { return static_cast<int>(img_width(&m_desc)); }
    int height() const { return static_cast<int>(img_height(&m_desc)); }

private:
    img_desc m_desc;
};

class MotionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        installClock(&clock);
        recorder = std::make_shared<EventRecorder>();
        std::uint32_t cookie = 0;
        ASSERT_EQ(control.events().advise(recorder, &cookie), S_OK);
    }
    void TearDown() override { installClock(nullptr); }

    // DetectMotion of `now` against `before` (the reference is filled from `before` first).
    int compare(Picture& before, Picture& now, int sensitivity = 5, bool rectangles = false)
    {
        reference.assign(CImage::kMotionReferenceSize, 0);
        control.DetectMotion(before.desc()->pixels, before.desc()->bytesPerRow, reference.data(),
                             before.width(), before.height(), sensitivity, rectangles);
        return control.DetectMotion(now.desc()->pixels, now.desc()->bytesPerRow, reference.data(),
                                    now.width(), now.height(), sensitivity, rectangles);
    }

    std::vector<std::int32_t> motionEvents()
    {
        messageLoop::pump();
        std::vector<std::int32_t> out;
        for (auto c : recorder->imageCodes())
            if (c == EVT_MOTION)
                out.push_back(c);
        return out;
    }

    FakeClock clock;
    CImage control;
    std::shared_ptr<EventRecorder> recorder;
    std::vector<std::uint8_t> reference;
};

TEST_F(MotionTest, SampledCellsAndLimits)
{
    struct Case
    {
        const char* name;
        int width, height;
        int x, y, cell, pixels; // changed pixels inside the cell at top-down (x, y)
        int expect;
    };
    // Cells lie at block corners (x, y) and diagonally at (x + cell, y + cell), y counted from
    // the bottom line: bottom-up row r is top-down row height - 1 - r.
    const Case cases[] = {
        {"320 wide: 16 pixels of a corner cell", 320, 240, 0, 236, 4, 16, 1},
        {"320 wide: 9 of 16", 320, 240, 8, 236, 4, 9, 1},
        {"320 wide: 8 of 16 is the limit", 320, 240, 8, 236, 4, 8, 0},
        {"320 wide: a diagonal cell", 320, 240, 12, 232, 4, 16, 1},
        {"320 wide: a region between the sampled cells", 320, 240, 4, 236, 4, 16, 0},
        {"640 wide: 33 of 64", 640, 480, 16, 472, 8, 33, 1},
        {"640 wide: 32 of 64", 640, 480, 16, 472, 8, 32, 0},
        {"160 wide: 3 of 4", 160, 120, 4, 118, 2, 3, 1},
        {"160 wide: 2 of 4", 160, 120, 4, 118, 2, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture before(c.width, c.height), now(c.width, c.height);
        now.changePixels(c.x, c.y, c.cell, c.pixels);
        EXPECT_EQ(compare(before, now), c.expect);
        // Two identical pictures never move.
        Picture again(c.width, c.height);
        EXPECT_EQ(compare(before, again), 0);
    }
}

TEST_F(MotionTest, ThresholdBySensitivity)
{
    struct Case
    {
        int sensitivity, delta, expect;
    };
    const Case cases[] = {
        {0, 70, 0},  // threshold 79
        {10, 70, 1}, // threshold 59
        {5, 69, 0},  // threshold 69: more than 69 needed
        {5, 70, 1},
        {40, 0, 1}, // threshold -1: every pixel counts, even unchanged ones
        {-1000, 255 - 100, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "sensitivity " << c.sensitivity << " change " << c.delta);
        Picture before(320, 240), now(320, 240);
        now.change(0, 0, 320, 240, c.delta);
        EXPECT_EQ(compare(before, now, c.sensitivity), c.expect);
    }
}

// The detector reads rows at the picture's stride, leaves rows of width x 3 bytes in the
// reference, skips cells that reach past the picture and refuses pictures larger than its
// reference.
TEST_F(MotionTest, StrideEdgesAndLargePictures)
{
    {
        SCOPED_TRACE("101 wide: padded rows with noise in the padding");
        Picture before(101, 75), now(101, 75);
        ASSERT_GT(now.desc()->bytesPerRow, 303u);
        EXPECT_EQ(compare(before, now), 0);
        now.change(96, 71, 4, 4); // whole cells in the bottom-right corner
        EXPECT_EQ(compare(before, now), 1);
    }
    {
        SCOPED_TRACE("a change only in the last column of an odd width lies in no whole cell");
        Picture before(101, 75), now(101, 75);
        now.change(100, 0, 1, 75);
        EXPECT_EQ(compare(before, now), 0);
    }
    {
        SCOPED_TRACE("1280x720 is never examined and leaves the reference alone");
        Picture before(320, 240), big(1280, 720), bigChanged(1280, 720);
        bigChanged.fill(0);
        reference.assign(CImage::kMotionReferenceSize, 0);
        control.DetectMotion(before.desc()->pixels, before.desc()->bytesPerRow, reference.data(), 320, 240, 5,
                             false);
        const auto kept = reference;
        EXPECT_EQ(control.DetectMotion(big.desc()->pixels, big.desc()->bytesPerRow, reference.data(), 1280,
                                       720, 5, false),
                  0);
        EXPECT_EQ(control.DetectMotion(bigChanged.desc()->pixels, bigChanged.desc()->bytesPerRow,
                                       reference.data(), 1280, 720, 5, false),
                  0);
        EXPECT_EQ(reference, kept);
    }
}

// A reference holds the cells of one sampling grid: switching rectangle mode on at 640 pixels
// (another grid) starts afresh, at 320 pixels (the same grid) it goes on comparing.
TEST_F(MotionTest, GridChangePrimesAgain)
{
    control.put_MotionDetectMode(2);
    for (int width : {640, 320}) {
        SCOPED_TRACE(width);
        const int height = width * 3 / 4;
        control.SetMotionBlock(0, 0, 0, width, height - 1);
        Picture a(width, height), b(width, height);
        b.change(0, 0, width, height);
        control.put_MotionBlockCount(0);
        const auto before = motionEvents().size();
        control.MotionStep(a.desc()); // primes (new size)
        control.MotionStep(a.desc());
        control.put_MotionBlockCount(1);
        control.MotionStep(b.desc());
        clock.ticks += 60000;
        EXPECT_EQ(motionEvents().size() - before, width == 640 ? 0u : 1u);
        control.MotionStep(a.desc());
        EXPECT_EQ(motionEvents().size() - before, 1u);
    }
}

TEST_F(MotionTest, Rectangles)
{
    auto withRects = [&](std::vector<MotionRect> rects) {
        for (std::size_t i = 0; i < rects.size(); ++i) {
            const MotionRect& r = rects[i];
            control.SetMotionBlock(static_cast<std::int32_t>(i), r.left, r.top, r.right, r.bottom);
        }
        control.put_MotionBlockCount(static_cast<std::int32_t>(rects.size()));
    };
    struct Case
    {
        const char* name;
        std::vector<MotionRect> rects;
        int x, y, w, h; // changed region, top-down
        int expect;
    };
    const Case cases[] = {
        {"upper-left quarter, change inside", {{0, 0, 160, 120}}, 40, 40, 16, 16, 1},
        {"upper-left quarter, change outside", {{0, 0, 160, 120}}, 200, 160, 40, 40, 0},
        {"right beyond the picture is skipped", {{0, 0, 321, 239}}, 0, 0, 320, 240, 0},
        {"left equal to right is skipped", {{100, 0, 100, 239}}, 0, 0, 320, 240, 0},
        {"bottom beyond the picture is skipped", {{0, 0, 320, 241}}, 0, 0, 320, 240, 0},
        {"a skipped one, then a valid one", {{-1, 0, 50, 50}, {200, 100, 300, 200}}, 220, 120, 16, 16, 1},
        // Blocks are chosen by their corner: x = 0, 8, ... with left <= x < right, and block rows
        // y = 0, 8, ... (from the bottom line) with top' <= y < bottom'. Each chosen block has its
        // cell at (x, y) and its second cell at (x + 4, y + 4), even where they reach past the
        // rectangle.
        {"a narrow rectangle holds the block at its corner", {{0, 0, 3, 239}}, 0, 0, 3, 240, 1},
        {"the block at x = 8 of a rectangle from 1 to 11", {{1, 0, 11, 239}}, 8, 0, 3, 240, 1},
        {"no corner at x = 4 in a rectangle from 1 to 11", {{1, 0, 11, 239}}, 4, 0, 4, 240, 0},
        // (0, 0, 160, 120) covers bottom rows 119..239: the blocks at y = 120 .. 232, whose cells
        // reach up to the top line. The topmost four lines are examined, the line below the
        // rectangle's last block row is not.
        {"the top lines of the upper-left quarter", {{0, 0, 160, 120}}, 0, 0, 160, 4, 1},
        {"left of the quarter's edge at 160", {{0, 0, 160, 120}}, 156, 56, 4, 4, 1},
        {"the first column right of the quarter", {{0, 0, 160, 120}}, 160, 0, 8, 120, 0},
        {"the lines below the quarter's last block row", {{0, 0, 160, 120}}, 0, 120, 160, 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        withRects(c.rects);
        Picture before(320, 240), now(320, 240);
        now.change(c.x, c.y, c.w, c.h);
        EXPECT_EQ(compare(before, now, 5, true), c.expect);
    }
    // The same picture pair over the whole picture does move.
    Picture before(320, 240), now(320, 240);
    now.change(0, 0, 320, 240);
    EXPECT_EQ(compare(before, now, 5, false), 1);
}

TEST_F(MotionTest, StepPrimesHoldsOffAndAsksForMail)
{
    Picture still(320, 240), moved(320, 240);
    moved.change(0, 0, 320, 240);
    auto frame = [&](int n) { return n % 2 ? moved.desc() : still.desc(); };

    // Off: nothing, and the detector stays unprimed.
    EXPECT_FALSE(control.MotionStep(moved.desc()));
    EXPECT_EQ(CImagePeer::streaminfo(control).m_bMotionPrimed.load(), 0);

    control.put_MotionDetectMode(4); // e-mail bit only
    // The first frame primes (no event even though it differs from whatever was before).
    EXPECT_FALSE(control.MotionStep(still.desc()));
    EXPECT_EQ(CImagePeer::streaminfo(control).m_bMotionPrimed.load(), 1);
    EXPECT_FALSE(control.MotionStep(still.desc()));
    EXPECT_TRUE(motionEvents().empty());

    // Continuous motion, one frame per second: event 6 at the first frame, then none until the
    // hold-off has passed (more than 5 s): the frame at +6 s ends it and posts nothing, the
    // frame at +7 s posts. Every motion frame asks for the e-mail picture.
    std::vector<int> eventFrames;
    for (int n = 1; n <= 16; ++n) {
        clock.ticks += 1000;
        const std::size_t before = motionEvents().size();
        EXPECT_TRUE(control.MotionStep(frame(n))) << n;
        if (motionEvents().size() > before)
            eventFrames.push_back(n);
    }
    EXPECT_EQ(eventFrames, (std::vector<int>{1, 8, 15}));

    // Without the e-mail bit a motion frame clears the time of the last e-mail.
    CImagePeer::mail(control).m_tLastMail = 12345;
    control.put_MotionDetectMode(2);
    EXPECT_FALSE(control.MotionStep(frame(17)));
    EXPECT_EQ(CImagePeer::mail(control).m_tLastMail, 0);

    // Off for one frame: the next frame primes again.
    control.put_MotionDetectMode(0);
    EXPECT_FALSE(control.MotionStep(frame(18)));
    control.put_MotionDetectMode(2);
    const auto count = motionEvents().size();
    clock.ticks += 10000;
    control.MotionStep(frame(19)); // primes
    EXPECT_EQ(motionEvents().size(), count);
    control.MotionStep(frame(20)); // moves: posts (the hold-off was cleared by priming)
    EXPECT_EQ(motionEvents().size(), count + 1);
}

// Grey pictures and a size change give no motion; each starts the detector afresh.
TEST_F(MotionTest, NoMotionAcrossGreyAndSizeChange)
{
    control.put_MotionDetectMode(2);
    Picture a(320, 240), b(320, 240), grey(320, 240, 8), greyChanged(320, 240, 8), small(160, 120);
    b.change(0, 0, 320, 240);
    greyChanged.fill(250);
    small.change(0, 0, 160, 120);

    control.MotionStep(a.desc()); // primes
    control.MotionStep(grey.desc());
    EXPECT_EQ(CImagePeer::streaminfo(control).m_bMotionPrimed.load(), 0);
    control.MotionStep(greyChanged.desc());
    control.MotionStep(b.desc());     // primes again
    control.MotionStep(small.desc()); // another size: primes, no comparison with the old bytes
    control.MotionStep(small.desc());
    control.MotionStep(b.desc()); // and back: primes
    EXPECT_TRUE(motionEvents().empty());
    control.MotionStep(a.desc());
    EXPECT_EQ(motionEvents().size(), 1u);
}

// A short tone through the sound output on every motion frame with bit value 1, when an output
// exists; the WAV-file output stands in for a device.
TEST_F(MotionTest, BeepsThroughTheSoundOutput)
{
    const auto wav = mediatest::freshDir("BeepsThroughTheSoundOutput") / "beeps.wav";
    setAudioOutputFactory([&] { return makeWavFileAudioOutput(wav.string(), false); });
    resetMessageBeep();

    Picture still(320, 240), moved(320, 240);
    moved.change(0, 0, 320, 240);
    auto dataBytes = [&] {
        const auto bytes = mediatest::readFile(wav);
        return bytes.size() > 44 ? bytes.size() - 44 : 0;
    };
    // The output writes from its own thread: waits until `n` bytes are there (or the limit).
    auto waitForBytes = [&](std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (dataBytes() < n && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return dataBytes();
    };
    const std::size_t tone = 22050u * 100 / 1000 * 2; // 100 ms of 16-bit mono at 22050 Hz

    control.put_MotionDetectMode(1);
    control.MotionStep(still.desc()); // primes: no beep
    control.MotionStep(still.desc()); // no motion: no beep
    EXPECT_EQ(dataBytes(), 0u);
    control.MotionStep(moved.desc());
    EXPECT_EQ(waitForBytes(tone), tone);
    // A beep while the tone still sounds merges into it; once the output has told that it has
    // played (its own thread, at its own pace), the next motion frame sounds a second tone.
    bool movedShown = true;
    for (int frame = 0; frame < 100 && dataBytes() < 2 * tone; ++frame) {
        movedShown = !movedShown;
        control.MotionStep(movedShown ? moved.desc() : still.desc()); // motion either way
        waitForBytes(2 * tone, std::chrono::milliseconds(100));
    }
    EXPECT_EQ(waitForBytes(2 * tone), 2 * tone);

    control.put_MotionDetectMode(4); // no beep bit
    control.MotionStep(movedShown ? still.desc() : moved.desc());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(dataBytes(), 2 * tone);

    setAudioOutputFactory({});
    resetMessageBeep();
}

} // namespace
