// Motion detection: each picture of the stream against the one before it, by a sampled block
// test on the 24-bit picture, over the whole picture or inside the host's rectangles.
//
// The test. A pixel differs when any of its three bytes differs from the reference by more than
// the threshold 79 - 2 x sensitivity. The picture is walked in block rows of `step` pixels; in
// each block two cells of `cell` x `cell` pixels are counted, one at the block's corner and one
// diagonally next to it, so that with the step twice the cell a quarter of the pixels is looked
// at. A cell with more than `limit` differing pixels is motion; after the first one the cells are
// only copied.
//
// The reference. Only the sampled cells are ever compared, so only they are kept, packed in the
// order of the walk (motion_cells.h): every call leaves the picture's cells of its sampling grid
// in the reference. That costs reading the picture once and writing a quarter of it, instead of
// reading and writing a whole picture more; the price is that a reference is good only for one
// grid and picture size, so the motion step primes again when either changes (a new width
// class, or rectangle mode switched on or off where its grid differs). The reference holds at
// most CImage::kMotionReferenceSize bytes of picture: a larger picture is never examined.
//
// Pictures are DIB rows, bottom-up: block row y counts from the bottom line. The picture is read
// at its own row stride. Cells that do not lie wholly inside the picture are skipped: a picture
// whose size is not a multiple of the step has no partial cells at its right and top edges. A
// rectangle selects blocks by their corner (x, y): both cells of a block whose corner lies in the
// rectangle are examined, also where they reach past its right or upper edge.
#include "control/cimage.h"

#include "media/motion_cells.h"
#include "imagelib/img_desc.h"
#include "platform/clock.h"
#include "platform/message_beep.h"

#include <algorithm>
#include <array>

namespace tessivor {

namespace {

constexpr std::time_t kMotionEventHoldSeconds = 5;

struct BlockGrid
{
    int step;
    int cell;
    int limit; // differing pixels a cell may have without being motion

    int id() const { return step * 16 + cell; }
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

BlockGrid gridFor(int width, bool rectangles)
{
    return rectangles ? kRectangleGrid : gridForWidth(width);
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
    const int threshold =
        static_cast<int>(std::clamp<std::int64_t>(79 - 2 * std::int64_t(sensitivity), -1, 255));
    const BlockGrid g = gridFor(width, useRectangles);

    // The host's rectangles in bitmap rows (the host counts y from the top, the rows count from
    // the bottom line); invalid ones are left out.
    std::array<MotionRect, kMotionRectCount> rects;
    int rectCount = 0;
    if (useRectangles) {
        const MotionSettings motionCfg = m_MotionSettings.read();
        const int count = std::clamp<std::int32_t>(motionCfg.m_nMotionBlockCount, 0, kMotionRectCount);
        for (int i = 0; i < count; ++i) {
            const MotionRect r = motionCfg.m_MotionRects[static_cast<std::size_t>(i)];
            const MotionRect rows{r.left, height - 1 - r.bottom, r.right, height - 1 - r.top};
            if (IsMotionRectValid(rows, width, height))
                rects[static_cast<std::size_t>(rectCount++)] = rows;
        }
    }
    // The block at corner (x, y), with both its cells, when that corner lies in a rectangle.
    auto watched = [&](int x, int y) {
        if (!useRectangles)
            return true;
        for (int i = 0; i < rectCount; ++i) {
            const MotionRect& r = rects[static_cast<std::size_t>(i)];
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
                return true;
        }
        return false;
    };

    // Bands: the cells of pass A of a block row (corners at x = 0, step, ...) and of pass B (at
    // x + cell, y + cell), each walked pixel row by pixel row.
    const std::size_t bandCells = static_cast<std::size_t>(width / g.step + 1);
    if (m_Motion.m_MotionBandCompare.size() < bandCells) { // grows once per wider picture, never per frame
        m_Motion.m_MotionBandCompare.resize(bandCells);
        m_Motion.m_MotionBandCounts.resize(bandCells);
    }
    std::uint8_t* compare = m_Motion.m_MotionBandCompare.data();
    int* counts = m_Motion.m_MotionBandCounts.data();
    std::uint8_t* packed = reference;
    bool moved = false;
    for (int y = 0; y < height; y += g.step) {
        for (int offset : {0, g.cell}) {
            const int top = y + offset;
            if (top + g.cell > height)
                continue;
            // Cells that lie wholly inside the picture.
            const int cells = width - offset >= g.cell ? (width - offset - g.cell) / g.step + 1 : 0;
            for (int i = 0; i < cells; ++i) {
                compare[i] = !moved && watched(i * g.step, y) ? 1 : 0;
                counts[i] = 0;
            }
            for (int row = top; row < top + g.cell; ++row)
                packed = motionBandRow(picture + static_cast<std::size_t>(row) * stride, packed, offset,
                                       g.step, cells, g.cell, threshold, compare, counts);
            for (int i = 0; i < cells && !moved; ++i)
                moved = counts[i] > g.limit;
        }
    }
    return moved ? 1 : 0;
}

bool CImage::MotionStep(const img_desc* working)
{
    const MotionSettings motionCfg = m_MotionSettings.read(); // this frame's settings
    const std::int32_t mode = motionCfg.m_nMotionDetectMode;
    if (mode <= 0) {
        m_StreamInfo.m_bMotionPrimed.store(0);
        return false;
    }
    // The detector knows 24-bit pictures only; any other picture (a grey camera) is no motion,
    // and the next 24-bit picture starts afresh.
    if (!working || !working->pixels || img_bits(working) != 24) {
        m_StreamInfo.m_bMotionPrimed.store(0);
        return false;
    }
    const int width = static_cast<int>(img_width(working));
    const int height = static_cast<int>(img_height(working));
    const int sensitivity = motionCfg.m_nMotionSensitivity;
    const bool rectangles = motionCfg.m_nMotionBlockCount > 0;
    const int grid = gridFor(width, rectangles).id();

    // Priming, also when the picture size or the sampling grid changed: such a reference holds
    // no previous picture of these cells.
    if (m_StreamInfo.m_bMotionPrimed.load() == 0 || width != m_Motion.m_nMotionReferenceWidth ||
        height != m_Motion.m_nMotionReferenceHeight || grid != m_Motion.m_nMotionReferenceGrid) {
        DetectMotion(working->pixels, working->bytesPerRow, m_Motion.m_MotionReference.data(), width, height,
                     sensitivity, rectangles);
        m_Motion.m_nMotionReferenceWidth = width;
        m_Motion.m_nMotionReferenceHeight = height;
        m_Motion.m_nMotionReferenceGrid = grid;
        m_StreamInfo.m_bMotionPrimed.store(1);
        m_Motion.m_bMotionEventHeld = 0;
        return false;
    }

    if (!DetectMotion(working->pixels, working->bytesPerRow, m_Motion.m_MotionReference.data(), width, height,
                      sensitivity, rectangles))
        return false;

    // Event 6 at the first motion frame, then at most about once per hold-off while it goes on:
    // the frame that ends the hold-off posts nothing, the next motion frame does.
    if (m_Motion.m_bMotionEventHeld) {
        m_Motion.m_tMotionNow = wallNow();
        if (m_Motion.m_tMotionNow - m_Motion.m_tLastMotionEvent > kMotionEventHoldSeconds)
            m_Motion.m_bMotionEventHeld = 0;
    } else {
        PostImageEvent(EVT_MOTION);
        m_Motion.m_tLastMotionEvent = wallNow();
        m_Motion.m_bMotionEventHeld = 1;
    }
    if (mode & 1)
        messageBeep();
    if (mode & 4)
        return true;
    m_Mail.m_tLastMail = 0; // the first motion after the e-mail bit is set again sends at once
    return false;
}

} // namespace tessivor
