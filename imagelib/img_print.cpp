// Printing (see img_print.h).
#include "imagelib/img_print.h"

#include "imagelib/img_colour.h"
#include "imagelib/img_colour_rows.h"
#include "imagelib/img_diffusion.h"
#include "imagelib/img_frame.h"
#include "imagelib/img_memory.h"
#include "imagelib/img_resize.h"
#include "platform/control_window.h"
#include "platform/page_device.h"
#include "platform/screen.h"

#include <algorithm>
#include <cstring>

using namespace tessivor;

const std::uint8_t img_print_dither[8][8] = {
    {112, 40, 72, 104, 144, 176, 208, 136}, {88, 8, 16, 48, 192, 232, 240, 168},
    {56, 24, 0, 80, 160, 224, 248, 200},    {96, 64, 32, 120, 128, 216, 184, 152},
    {148, 180, 212, 140, 116, 44, 76, 108}, {196, 236, 244, 172, 92, 12, 20, 52},
    {164, 228, 252, 204, 60, 28, 4, 84},    {132, 220, 188, 156, 100, 68, 36, 124},
};

namespace {

constexpr std::int32_t kBadRect = -1;
constexpr std::int32_t kNoDocument = -18;
constexpr std::uint32_t kBandBytes = 24576;

// One print: the pixel rectangle and the progress state.
struct Job
{
    PageDevice* device = nullptr;
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    std::int32_t frame = 0;
    const ImgPrintProgress* progress = nullptr;
    std::int32_t counter = 0;
    std::int32_t cancel = 0;
    bool ownDocument = false;
    std::string title;

    // The abort procedure: asks the progress function, lets the thread's messages run, and says
    // whether to go on.
    bool abortProc()
    {
        if (progress && *progress) {
            cancel = (*progress)(counter);
            if (counter < 10)
                ++counter;
        }
        messageLoop::pump();
        return cancel == 0;
    }

    std::int32_t startDocument()
    {
        if (!ownDocument)
            return IMG_OK;
        if (device->startDoc(title) <= 0)
            return kNoDocument;
        if (device->startPage() <= 0) {
            device->abortDoc();
            return kNoDocument;
        }
        return IMG_OK;
    }

    void endDocument(bool abort)
    {
        if (!ownDocument)
            return;
        if (abort)
            device->abortDoc();
        else if (device->endPage() > 0)
            device->endDoc();
    }

    void drawFrame()
    {
        if (frame)
            device->frame(left, top, left + width - 1, top + height - 1, frame);
    }
};

std::int32_t printDirect(Job& job, img_desc* desc)
{
    std::int32_t r = job.startDocument();
    if (r != IMG_OK)
        return r;
    job.device->setStretchMode(img_bits(desc) == 1 ? StretchMode::BlackOnWhite : StretchMode::ColorOnColor);
    job.abortProc();
    const bool cancelled = job.cancel != 0;
    if (!cancelled) {
        const DibView view = DibView::fromHeader(desc->header, desc->palette, desc->pixels);
        const TargetRect dst{job.left, job.top, job.left + job.width, job.top + job.height};
        const TargetRect src{static_cast<int>(desc->x0), static_cast<int>(desc->y0),
                             static_cast<int>(desc->x1) + 1, static_cast<int>(desc->y1) + 1};
        job.device->stretch(dst, src, view);
        job.drawFrame();
    }
    job.endDocument(cancelled);
    return IMG_OK;
}

// The 1-bit rows of a banded print, drawn a band at a time.
class Band
{
public:
    Band(Job& job, std::uint8_t* rows, std::uint32_t stride, std::uint32_t capacity)
        : m_job(job), m_rows(rows), m_stride(stride), m_capacity(capacity)
    {
    }
    std::uint32_t printed() const { return m_top + m_count; }

    // Appends a finished row; draws the band when full. Rows past the target height are dropped.
    void add(const std::uint8_t* bits)
    {
        if (printed() >= static_cast<std::uint32_t>(m_job.height))
            return;
        std::memcpy(m_rows + std::size_t{m_count} * m_stride, bits, m_stride);
        if (++m_count == std::min(m_capacity, static_cast<std::uint32_t>(m_job.height) - m_top))
            flush();
    }
    void flush()
    {
        if (!m_count)
            return;
        m_job.device->blitBits(m_job.left, m_job.top + static_cast<int>(m_top), m_job.width,
                               static_cast<int>(m_count), m_rows, m_stride);
        m_top += m_count;
        m_count = 0;
    }

private:
    Job& m_job;
    std::uint8_t* m_rows;
    std::uint32_t m_stride, m_capacity;
    std::uint32_t m_top = 0, m_count = 0;
};

std::int32_t printBanded(Job& job, img_desc* desc, std::int32_t mode)
{
    // The grey source: the image itself when its palette is the grey ramp, else a grey copy
    // through the print tone curve.
    img_desc source;
    img_copy_desc(desc, &source);
    ImgTempImage grey;
    if (!img_is_gray(desc)) {
        std::int32_t r = img_alloc_mem(grey.get(), desc->x1 - desc->x0 + 1, desc->y1 - desc->y0 + 1, 8);
        if (r == IMG_OK)
            r = img_to_gray(desc, grey.get());
        if (r == IMG_OK)
            r = img_print_tone(grey.get(), grey.get());
        if (r != IMG_OK)
            return r;
        img_copy_desc(grey.get(), &source);
    }
    const auto width = static_cast<std::uint32_t>(job.width), height = static_cast<std::uint32_t>(job.height);
    const std::uint32_t stride = ((width + 15) / 8) & ~1u;
    std::uint32_t bandRows = std::min(kBandBytes / stride, height);
    if (bandRows == 0)
        return IMG_ERR_NO_MEMORY;
    // One block: an output row, the scaled row and the band; fewer band rows when memory is short.
    ImgWork<std::uint8_t> block;
    for (; bandRows > 0 && !block; --bandRows)
        block = img_work_array<std::uint8_t>(stride + width + 4 + std::size_t{stride} * bandRows);
    if (!block)
        return IMG_ERR_NO_MEMORY;
    ++bandRows;
    std::uint8_t* bits = block.get();
    std::uint8_t* scaled = bits + stride;
    Band band(job, scaled + width + 4, stride, bandRows);

    const std::uint32_t sw = source.x1 - source.x0 + 1, sh = source.y1 - source.y0 + 1;
    ResizeMask columnMask, rowMask;
    ImgStuckiRows stucki;
    ImgWork<std::uint32_t> columns = img_work_array<std::uint32_t>(width);
    if (img_resize_mask(&columnMask, width, sw) != IMG_OK ||
        img_resize_mask(&rowMask, height, sh) != IMG_OK || !columns ||
        (mode == 2 && stucki.init(width) != IMG_OK))
        return IMG_ERR_NO_MEMORY;
    img_scale_columns(columnMask, columns.get());

    std::int32_t r = job.startDocument();
    if (r != IMG_OK)
        return r;

    std::uint32_t step = 0;
    // Halftones the scaled row into the band.
    const auto halftone = [&] {
        if (mode == 2) {
            if (stucki.feed(scaled, bits))
                band.add(bits);
            return;
        }
        std::memset(bits, 0, stride);
        const std::uint8_t* thresholds = img_print_dither[step & 7];
        for (std::uint32_t k = 0; k < width; ++k)
            if (thresholds[k & 7] < scaled[k])
                bits[k >> 3] |= static_cast<std::uint8_t>(0x80 >> (k & 7));
        band.add(bits);
    };

    bool cancelled = false;
    std::uint32_t nextSource = 0;
    std::int64_t tenth = -1;
    for (step = 0; step < rowMask.bitCount; ++step) {
        const std::int64_t now = std::int64_t{step} * 10 / height;
        if (now != tenth) {
            tenth = now;
            job.abortProc();
        }
        if (rowMask.test(step)) {
            const std::uint32_t sy = rowMask.dense ? nextSource++ : step;
            img_scale_row8(imgrows::areaRow(&source, sy), scaled, columns.get(), width);
            halftone();
        } else if (rowMask.dense) {
            halftone();
        }
        if (job.cancel == 1) {
            cancelled = true;
            break;
        }
    }
    if (!cancelled) {
        // The diffusion gives its rows two rows late: the last scaled row again fills the height.
        while (band.printed() < height)
            halftone();
        band.flush();
        job.drawFrame();
    }
    job.endDocument(cancelled);
    return IMG_OK;
}

std::int32_t print(Handle window, Handle deviceHandle, std::int32_t mode, img_desc* desc,
                   const ImgPrintRect* rect, std::int32_t frameWidth, const ImgPrintProgress& progress,
                   bool ownDocument)
{
    return img_entry([&]() -> std::int32_t {
        std::int32_t r = img_validate_1_8_24(desc);
        if (r != IMG_OK)
            return r;
        if (!rect)
            return kBadRect;
        auto lock = img_module_lock(ImgModule::Print);
        const std::shared_ptr<PageDevice> device = pageDevices::find(deviceHandle);
        if (!device)
            return IMG_ERR_NO_MEMORY;
        const std::int64_t dpiX = device->dpiX(), dpiY = device->dpiY();
        const std::int64_t width = (std::int64_t{rect->right} - rect->left + 1) * dpiX / 1000;
        const std::int64_t height = (std::int64_t{rect->bottom} - rect->top + 1) * dpiY / 1000;
        const std::int64_t left = dpiX * rect->left / 1000, top = dpiY * rect->top / 1000;
        device->setBounds(TargetRect{static_cast<int>(left), static_cast<int>(top),
                                     static_cast<int>(left + width - 1), static_cast<int>(top + height - 1)});
        if (width <= 0 || height <= 0 || width < frameWidth || height < frameWidth || frameWidth < 0 ||
            left < 0 || top < 0 || device->printableWidth() < left + width ||
            device->printableHeight() < top + height)
            return kBadRect;

        Job job;
        job.device = device.get();
        job.left = static_cast<std::int32_t>(left);
        job.top = static_cast<std::int32_t>(top);
        job.width = static_cast<std::int32_t>(width);
        job.height = static_cast<std::int32_t>(height);
        job.frame = frameWidth;
        job.progress = &progress;
        job.ownDocument = ownDocument;
        if (ownDocument)
            job.title = screen::windowTitle(static_cast<std::uint32_t>(window)).substr(0, 80);
        device->setAbortProc([&job] { return job.abortProc(); });
        r = img_bits(desc) == 8 && mode != 0 ? printBanded(job, desc, mode) : printDirect(job, desc);
        device->setAbortProc(nullptr);
        return r;
    });
}

} // namespace

std::int32_t img_print(Handle window, Handle device, std::int32_t mode, img_desc* desc,
                       const ImgPrintRect* rect, std::int32_t frameWidth, const ImgPrintProgress& progress)
{
    return print(window, device, mode, desc, rect, frameWidth, progress, true);
}

std::int32_t img_print_page(Handle window, Handle device, std::int32_t mode, img_desc* desc,
                            const ImgPrintRect* rect, std::int32_t frameWidth,
                            const ImgPrintProgress& progress)
{
    return print(window, device, mode, desc, rect, frameWidth, progress, false);
}
