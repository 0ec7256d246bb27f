#include "app/viewer/kestra_viewer.h"

#include "imagelib/img_desc.h"
#include "imagelib/img_jpeg.h"
#include "media/avi_writer.h"
#include "media/bmp_file.h"
#include "media/motion_cells.h"
#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/frame_target.h"
#include "platform/message_beep.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace pellucor {

namespace fs = std::filesystem;

namespace {

// The control's sampling grid by picture width: step, cell and the differing pixels a cell may
// have without being motion.
struct Grid
{
    int step, cell, limit;
};
Grid gridForWidth(int width)
{
    if (width >= 640)
        return {16, 8, 32};
    if (width >= 320)
        return {8, 4, 8};
    return {4, 2, 2};
}

// The decoded picture as it is kept: bottom-up rows of B G R, padded to whole 32-bit words.
tessivor::DibView pictureView(const std::vector<std::uint8_t>& pixels, int width, int height,
                              std::uint32_t stride)
{
    tessivor::DibView view;
    view.width = width;
    view.height = height;
    view.bottomUp = true;
    view.bitCount = 24;
    view.stride = stride;
    view.bits = pixels.data();
    return view;
}

} // namespace

KestraViewer::KestraViewer(int slot, ViewerEvents* events, tessivor::Clock& clock)
    : m_slot(slot), m_events(events), m_clock(clock)
{
}

KestraViewer::~KestraViewer()
{
    if (m_avi)
        m_avi->Close();
}

void KestraViewer::setDrawingWindow(std::int32_t handle)
{
    m_target = handle;
    m_drawWidth = m_drawHeight = 0;
}

void KestraViewer::attachWindow(std::int32_t handle, std::int16_t width, std::int16_t height)
{
    m_target = handle;
    m_drawWidth = std::max<int>(0, width);
    m_drawHeight = std::max<int>(0, height);
    draw();
}

void KestraViewer::stopShowing()
{
    m_showing = false;
}

void KestraViewer::setMotionMode(std::int32_t mode)
{
    if (mode == 0)
        m_primed = false;
    m_motionMode = mode;
}

KestraViewer::FrameResult KestraViewer::feedFrame(const std::uint8_t* jpeg, std::size_t bytes)
{
    if (!m_showing)
        return FrameResult::NotShowing;
    if (!decode(jpeg, bytes))
        return FrameResult::Refused;
    m_jpeg.assign(jpeg, jpeg + bytes);
    draw();
    const bool motion = motionStep();
    if (m_recordRequest)
        recordFrame(jpeg, bytes);
    if (motion && m_events) {
        m_events->onViewerMotion(m_slot);
        if (m_motionMode & 4)
            m_events->onViewerMailAlarm(m_slot);
    }
    return FrameResult::Shown;
}

bool KestraViewer::decode(const std::uint8_t* jpeg, std::size_t bytes)
{
    if (!jpeg || bytes == 0 || bytes > 0xFFFFFFFFu)
        return false;
    img_info info;
    if (img_jpeg_info_mem(jpeg, static_cast<std::uint32_t>(bytes), &info) != 0)
        return false;
    if (info.width <= 0 || info.height <= 0 || info.width > kMaxSide || info.height > kMaxSide ||
        info.components != 3)
        return false;
    ImgTempImage image;
    if (img_alloc(image.get(), static_cast<std::uint32_t>(info.width),
                  static_cast<std::uint32_t>(info.height), 24) != 0)
        return false;
    // A frame cut short decodes "successfully" with what arrived: a frame must end with its EOI
    // marker (a few bytes of padding after it are allowed).
    bool ended = false;
    for (std::size_t i = bytes >= 18 ? bytes - 18 : 0; i + 1 < bytes && !ended; ++i)
        ended = jpeg[i] == 0xFF && jpeg[i + 1] == 0xD9;
    if (!ended || img_load_jpeg_mem(jpeg, static_cast<std::uint32_t>(bytes), image.get()) != 0)
        return false;
    m_width = info.width;
    m_height = info.height;
    m_stride = image->bytesPerRow;
    m_pixels.assign(image->pixels, image->pixels + static_cast<std::size_t>(m_stride) * m_height);
    return true;
}

void KestraViewer::draw()
{
    if (!m_showing || m_target == 0 || m_pixels.empty())
        return;
    auto target = tessivor::frameTargets::find(static_cast<tessivor::Handle>(m_target));
    if (!target)
        return; // the window is gone
    const int w = m_drawWidth > 0 ? m_drawWidth : target->width();
    const int h = m_drawHeight > 0 ? m_drawHeight : target->height();
    target->stretch({0, 0, w, h}, {0, 0, m_width, m_height},
                    pictureView(m_pixels, m_width, m_height, m_stride));
}

bool KestraViewer::motionStep()
{
    if (m_motionMode == 0 || m_pixels.empty())
        return false;
    const Grid g = gridForWidth(m_width);
    const int threshold = std::clamp(79 - 2 * m_sensitivity, -1, 255);
    const bool priming = !m_primed || m_refWidth != m_width || m_refHeight != m_height;
    if (priming) {
        m_reference.assign(static_cast<std::size_t>(m_width) * m_height * 3, 0);
        m_refWidth = m_width;
        m_refHeight = m_height;
        m_motionHeld = false;
    }
    // The control's walk: two cells per block, each band row by row; after the first moving
    // cell the rest is only copied.
    std::vector<std::uint8_t> compare(static_cast<std::size_t>(m_width / g.step + 1));
    std::vector<int> counts(compare.size());
    std::uint8_t* packed = m_reference.data();
    bool moved = false;
    for (int y = 0; y < m_height; y += g.step) {
        for (int offset : {0, g.cell}) {
            const int top = y + offset;
            if (top + g.cell > m_height)
                continue;
            const int cells = m_width - offset >= g.cell ? (m_width - offset - g.cell) / g.step + 1 : 0;
            for (int i = 0; i < cells; ++i) {
                compare[static_cast<std::size_t>(i)] = moved || priming ? 0 : 1;
                counts[static_cast<std::size_t>(i)] = 0;
            }
            for (int row = top; row < top + g.cell; ++row)
                packed = tessivor::motionBandRow(m_pixels.data() + static_cast<std::size_t>(row) * m_stride,
                                                 packed, offset, g.step, cells, g.cell, threshold,
                                                 compare.data(), counts.data());
            for (int i = 0; i < cells && !moved; ++i)
                moved = counts[static_cast<std::size_t>(i)] > g.limit;
        }
    }
    m_primed = true;
    if (!moved)
        return false;
    if (m_motionMode & 1)
        tessivor::messageBeep();
    const std::time_t now = m_clock.now();
    if (m_motionHeld) {
        if (now - m_lastMotion > kMotionHoldSeconds)
            m_motionHeld = false;
        return false;
    }
    m_lastMotion = now;
    m_motionHeld = true;
    return true;
}

void KestraViewer::setAlertPicture(bool on)
{
    m_alertPicture = on;
    // The engine reads the file right after this call returns.
    if (on && !m_mailFile.empty() && !m_jpeg.empty())
        tessivor::replaceFileContents(m_mailFile, m_jpeg.data(), m_jpeg.size());
}

bool KestraViewer::snapshotToFile(const std::string& file)
{
    if (m_pixels.empty() || file.empty())
        return false;
    return tessivor::writeBmpFile(file, pictureView(m_pixels, m_width, m_height, m_stride)) ==
           tessivor::ReplaceResult::Ok;
}

// ---- recording ----

bool KestraViewer::recording() const
{
    return m_avi && m_avi->IsOpen();
}

fs::path KestraViewer::recordingFile() const
{
    return recording() ? fs::path(m_avi->FileName()) : fs::path();
}

void KestraViewer::startRecording()
{
    m_recordRequest = true; // the file opens with the next frame, at that frame's size
}

void KestraViewer::stopRecording()
{
    m_recordRequest = false;
    if (m_avi)
        m_avi->Close();
}

bool KestraViewer::openFile()
{
    if (m_folder.empty())
        return false;
    const std::time_t now = m_clock.now();
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    fs::path file = fs::path(m_folder) / (std::string(stamp) + ".avi");
    std::error_code ec;
    for (int n = 2; fs::exists(file, ec) && n < 100; ++n)
        file = fs::path(m_folder) / (std::string(stamp) + "_" + std::to_string(n) + ".avi");
    if (!m_avi)
        m_avi = std::make_unique<tessivor::CAviWriter>();
    tessivor::BitmapInfoHeader header;
    header.biWidth = m_width;
    header.biHeight = m_height;
    header.biBitCount = 24;
    header.biSizeImage = m_stride * static_cast<std::uint32_t>(m_height);
    m_avi->Init(file.string(), header, kRecordRate);
    if (m_avi->OpenVideo(0) != 1)
        return false;
    m_recordStartTick = m_clock.tickCount();
    m_lastSlot = -1;
    return true;
}

void KestraViewer::recordFrame(const std::uint8_t* jpeg, std::size_t bytes)
{
    if (!recording() && !openFile()) {
        m_recordRequest = false; // no folder or no file: nothing records until started again
        return;
    }
    const std::uint64_t split = static_cast<std::uint64_t>(std::max<int>(1, m_splitMB)) << 20;
    if (m_avi->FinalFileBytes() + bytes + 32 > split || m_avi->NearSizeLimit()) {
        // The file is full: it is closed, and the engine decides where the next one goes.
        m_avi->Close();
        m_recordRequest = false;
        if (m_events)
            m_events->onViewerRecordStop(m_slot);
        if (!m_recordRequest || (!recording() && !openFile()))
            return;
    }
    const std::uint32_t elapsed = m_clock.tickCount() - m_recordStartTick;
    std::int32_t slot = static_cast<std::int32_t>(static_cast<std::uint64_t>(elapsed) * kRecordRate / 1000);
    if (slot <= m_lastSlot)
        slot = m_lastSlot + 1;
    std::int64_t written = 0;
    if (m_avi->AddFrame(jpeg, static_cast<std::uint32_t>(bytes), &written, slot) == 1)
        m_lastSlot = slot;
}

} // namespace pellucor
