// Motion detection: each picture of the stream against the one before it, by a sampled block
// test on the 24-bit picture, over the whole picture or inside the host's rectangles.
//
// The test. A pixel differs when any of its three bytes differs from the reference by more than
// the threshold 79 - 2 x sensitivity. The picture is walked in block rows of `step` pixels; in
// each block two cells of `cell` x `cell` pixels are counted, one at the block's corner and one
// diagonally next to it, so that with the step twice the cell a quarter of the pixels is looked
// at. The first cell with more than `limit` differing pixels is motion and ends the walk. Either
// way the picture then becomes the reference.
//
// Pictures are DIB rows, bottom-up: block row y counts from the bottom line. The picture is read
// at its own row stride; the reference keeps rows of exactly width x 3 bytes, at most
// CImage::kMotionReferenceSize bytes, so a larger picture is never examined (no motion).
//
// Cells that do not lie wholly inside the picture (or the rectangle) are skipped: a picture
// whose size is not a multiple of the step has no partial cells at its right and top edges.
#include "control/cimage.h"

#include "imagelib/img_desc.h"
#include "platform/clock.h"
#include "platform/message_beep.h"

#include <algorithm>
#include <cstring>

namespace tessivor {

namespace {

constexpr std::time_t kMotionEventHoldSeconds = 5;

struct BlockGrid
{
    int step;
    int cell;
    int limit; // differing pixels a cell may have without being motion
};

BlockGrid gridForWidth(int width)
{
    if (width >= 640)
        return {16, 8, 32};
    if (width >= 320)
        return {8, 4, 8};
    return {4, 2, 2};
}
constexpr BlockGrid kRectangleGrid{8, 4, 8};

// The rows the detector compares: the picture at its stride, the reference packed.
struct MotionFrames
{
    const std::uint8_t* picture;
    std::uint32_t pictureStride;
    const std::uint8_t* reference;
    std::uint32_t referenceStride;
    int threshold;
};

// True when more than `limit` pixels of the cell at (x, y) differ.
bool cellMoves(const MotionFrames& f, int x, int y, int cell, int limit)
{
    int differing = 0;
    const int t = f.threshold;
    for (int row = y; row < y + cell; ++row) {
        const std::uint8_t* p = f.picture + static_cast<std::size_t>(row) * f.pictureStride + x * 3;
        const std::uint8_t* r = f.reference + static_cast<std::size_t>(row) * f.referenceStride + x * 3;
        for (int i = 0; i < cell * 3; i += 3) {
            if (std::abs(p[i] - r[i]) > t || std::abs(p[i + 1] - r[i + 1]) > t ||
                std::abs(p[i + 2] - r[i + 2]) > t) {
                if (++differing > limit)
                    return true;
            }
        }
    }
    return false;
}

} // namespace

int CImage::IsMotionRectValid(const MotionRect& rect, int width, int height)
{
    return rect.left >= 0 && rect.left < rect.right && rect.right <= width && rect.top >= 0 &&
                   rect.top < rect.bottom && rect.bottom <= height
               ? 1
               : 0;
}

int CImage::DetectMotion(const std::uint8_t* picture, std::uint32_t stride, std::uint8_t* reference,
                         int width, int height, int sensitivity, bool useRectangles)
{
    if (!picture || !reference || width <= 0 || height <= 0 ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 3 > kMotionReferenceSize ||
        stride < static_cast<std::uint32_t>(width) * 3)
        return 0;

    // Not limited: sensitivity 40 or more makes every pixel count, and a very low one none.
    const std::int64_t threshold = 79 - 2 * static_cast<std::int64_t>(sensitivity);
    const MotionFrames frames{picture, stride, reference, static_cast<std::uint32_t>(width) * 3,
                              static_cast<int>(std::clamp<std::int64_t>(threshold, -1, 255))};

    auto scan = [&](const BlockGrid& g, int left, int top, int right, int bottom) {
        auto inside = [&](int x, int y) {
            return x >= left && x + g.cell <= right && y >= top && y + g.cell <= bottom;
        };
        for (int y = 0; y < height; y += g.step) {
            for (int x = 0; x < width; x += g.step)
                if (inside(x, y) && cellMoves(frames, x, y, g.cell, g.limit))
                    return true;
            for (int x = 0; x < width; x += g.step)
                if (inside(x + g.cell, y + g.cell) &&
                    cellMoves(frames, x + g.cell, y + g.cell, g.cell, g.limit))
                    return true;
        }
        return false;
    };

    bool moved = false;
    if (!useRectangles) {
        moved = scan(gridForWidth(width), 0, 0, width, height);
    } else {
        const int count = std::clamp<std::int32_t>(m_nMotionBlockCount.load(), 0, kMotionRectCount);
        for (int i = 0; i < count && !moved; ++i) {
            const MotionRect r = m_MotionRects[static_cast<std::size_t>(i)];
            // To bitmap rows: the host counts y from the top, the picture's rows from the bottom.
            const MotionRect rows{r.left, height - 1 - r.bottom, r.right, height - 1 - r.top};
            if (IsMotionRectValid(rows, width, height))
                moved = scan(kRectangleGrid, rows.left, rows.top, rows.right, rows.bottom);
        }
    }

    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (int row = 0; row < height; ++row)
        std::memcpy(reference + row * rowBytes, picture + static_cast<std::size_t>(row) * stride, rowBytes);
    return moved ? 1 : 0;
}

void CImage::RestartMotionDetection()
{
    m_bMotionPrimed.store(0);
}

bool CImage::MotionStep(const img_desc* working)
{
    const std::int32_t mode = m_nMotionDetectMode.load();
    if (mode <= 0) {
        m_bMotionPrimed.store(0);
        return false;
    }
    // The detector knows 24-bit pictures only; any other picture (a grey camera) is no motion,
    // and the next 24-bit picture starts afresh.
    if (!working || !working->pixels || img_bits(working) != 24) {
        m_bMotionPrimed.store(0);
        return false;
    }
    const int width = static_cast<int>(img_width(working));
    const int height = static_cast<int>(img_height(working));
    const int sensitivity = m_nMotionSensitivity.load();
    const bool rectangles = m_nMotionBlockCount.load() > 0;

    // Priming, also when the picture size changed: a reference of another size is not a
    // previous picture of this one.
    if (m_bMotionPrimed.load() == 0 || width != m_nMotionReferenceWidth ||
        height != m_nMotionReferenceHeight) {
        DetectMotion(working->pixels, working->bytesPerRow, m_MotionReference.data(), width, height,
                     sensitivity, rectangles);
        m_nMotionReferenceWidth = width;
        m_nMotionReferenceHeight = height;
        m_bMotionPrimed.store(1);
        m_bMotionEventHeld = 0;
        return false;
    }

    if (!DetectMotion(working->pixels, working->bytesPerRow, m_MotionReference.data(), width, height,
                      sensitivity, rectangles))
        return false;

    // Event 6 at the first motion frame, then at most about once per hold-off while it goes on:
    // the frame that ends the hold-off posts nothing, the next motion frame does.
    if (m_bMotionEventHeld) {
        m_tMotionNow = wallNow();
        if (m_tMotionNow - m_tLastMotionEvent > kMotionEventHoldSeconds)
            m_bMotionEventHeld = 0;
    } else {
        PostImageEvent(EVT_MOTION);
        m_tLastMotionEvent = wallNow();
        m_bMotionEventHeld = 1;
    }
    if (mode & 1)
        messageBeep();
    if (mode & 4)
        return true;
    m_tLastMail = 0; // the first motion after the e-mail bit is set again sends at once
    return false;
}

} // namespace tessivor
