// Page devices over cairo's PDF and PostScript surfaces, printed through libcups (see
// page_device.h).
#include "platform/page_device.h"

#include <cairo-pdf.h>
#include <cairo-ps.h>
#include <cairo.h>
#include <cups/cups.h>

#include <algorithm>
#include <random>

namespace tessivor {

struct PageDevice::Render
{
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;

    ~Render()
    {
        if (cr)
            cairo_destroy(cr);
        if (surface)
            cairo_surface_destroy(surface);
    }
    // Finishes the document's file; false when cairo met an error on the way.
    bool finish()
    {
        bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(cr);
        cr = nullptr;
        cairo_surface_finish(surface);
        ok = ok && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
        cairo_surface_destroy(surface);
        surface = nullptr;
        return ok;
    }
};

PageDevice::PageDevice(PageSetup setup) : m_setup(std::move(setup))
{
    m_setup.dpiX = std::max(1, m_setup.dpiX);
    m_setup.dpiY = std::max(1, m_setup.dpiY);
}

PageDevice::~PageDevice()
{
    if (m_state == State::InDocument || m_state == State::InPage)
        abortDoc();
}

int PageDevice::printableWidth() const
{
    return static_cast<int>((m_setup.pageWidth - 2 * m_setup.margin) * m_setup.dpiX);
}

int PageDevice::printableHeight() const
{
    return static_cast<int>((m_setup.pageHeight - 2 * m_setup.margin) * m_setup.dpiY);
}

int PageDevice::startDoc(const std::string& name)
{
    if (m_state == State::InDocument || m_state == State::InPage || m_setup.file.empty())
        return -1;
    m_name = name;
    m_pages = 0;
    m_job = 0;
    std::random_device random;
    m_temp = m_setup.file;
    m_temp += ".part" + std::to_string(random());
    const double w = m_setup.pageWidth * 72, h = m_setup.pageHeight * 72;
    auto render = std::make_unique<Render>();
    render->surface = m_setup.postScript ? cairo_ps_surface_create(m_temp.c_str(), w, h)
                                         : cairo_pdf_surface_create(m_temp.c_str(), w, h);
    if (cairo_surface_status(render->surface) != CAIRO_STATUS_SUCCESS) {
        m_state = State::Failed;
        std::error_code ec;
        std::filesystem::remove(m_temp, ec);
        return -1;
    }
    if (!m_setup.postScript)
        cairo_pdf_surface_set_metadata(render->surface, CAIRO_PDF_METADATA_TITLE, name.c_str());
    render->cr = cairo_create(render->surface);
    // Device pixels: 1/dpi inch, from the printable area's corner.
    cairo_scale(render->cr, 72.0 / m_setup.dpiX, 72.0 / m_setup.dpiY);
    cairo_translate(render->cr, m_setup.margin * m_setup.dpiX, m_setup.margin * m_setup.dpiY);
    cairo_set_antialias(render->cr, CAIRO_ANTIALIAS_NONE);
    m_render = std::move(render);
    m_state = State::InDocument;
    return 1;
}

int PageDevice::startPage()
{
    if (m_state != State::InDocument)
        return -1;
    m_state = State::InPage;
    return 1;
}

int PageDevice::endPage()
{
    if (m_state != State::InPage)
        return -1;
    if (m_abortProc && !m_abortProc()) {
        abortDoc();
        return -1;
    }
    cairo_show_page(m_render->cr);
    ++m_pages;
    m_state = State::InDocument;
    return 1;
}

void PageDevice::fail()
{
    m_render.reset();
    std::error_code ec;
    std::filesystem::remove(m_temp, ec);
    m_state = State::Failed;
}

int PageDevice::endDoc()
{
    if (m_state != State::InDocument)
        return -1;
    if (!m_render->finish()) {
        fail();
        return -1;
    }
    m_render.reset();
    std::error_code ec;
    std::filesystem::rename(m_temp, m_setup.file, ec);
    if (ec) {
        fail();
        return -1;
    }
    if (!m_setup.queue.empty()) {
        m_job = cupsPrintFile(m_setup.queue.c_str(), m_setup.file.c_str(), m_name.c_str(), 0, nullptr);
        if (m_job <= 0) {
            m_job = 0;
            m_state = State::Failed;
            return -1;
        }
    }
    m_state = State::Ended;
    return 1;
}

int PageDevice::abortDoc()
{
    if (m_state != State::InDocument && m_state != State::InPage)
        return -1;
    m_render.reset();
    std::error_code ec;
    std::filesystem::remove(m_temp, ec);
    m_state = State::Aborted;
    return 1;
}

bool PageDevice::paintRgb(int x, int y, int width, int height, const std::uint32_t* pixels)
{
    if (m_state != State::InPage || width <= 0 || height <= 0)
        return false;
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(image);
        return false;
    }
    // The surface owns its memory: cairo may keep it until the page is written.
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int row = 0; row < height; ++row)
        std::copy_n(pixels + static_cast<std::size_t>(row) * width, width,
                    reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(row) * stride));
    cairo_surface_mark_dirty(image);
    cairo_t* cr = m_render->cr;
    cairo_save(cr);
    cairo_set_source_surface(cr, image, x, y);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, x, y, width, height);
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_surface_destroy(image);
    return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

bool PageDevice::stretch(const TargetRect& dst, const TargetRect& src, const DibView& from)
{
    const int dw = dst.right - dst.left, dh = dst.bottom - dst.top;
    const int sw = src.right - src.left, sh = src.bottom - src.top;
    if (m_state != State::InPage || !from.usable() || dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 ||
        src.left < 0 || src.top < 0 || src.right > from.width || src.bottom > from.height)
        return false;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(dw) * dh);
    const bool combine = m_mode == StretchMode::BlackOnWhite && (sw > dw || sh > dh);
    for (int y = 0; y < dh; ++y) {
        const int y0 = src.top + static_cast<int>(static_cast<long long>(y) * sh / dh);
        const int y1 =
            combine ? std::max(y0 + 1, src.top + static_cast<int>(static_cast<long long>(y + 1) * sh / dh))
                    : y0 + 1;
        for (int x = 0; x < dw; ++x) {
            const int x0 = src.left + static_cast<int>(static_cast<long long>(x) * sw / dw);
            const int x1 =
                combine
                    ? std::max(x0 + 1, src.left + static_cast<int>(static_cast<long long>(x + 1) * sw / dw))
                    : x0 + 1;
            // Black on white keeps the darkest of the pixels a shrunk pixel stands for.
            Rgb c{255, 255, 255};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx) {
                    const Rgb p = from.pixel(sx, sy);
                    c = Rgb{std::min(c.r, p.r), std::min(c.g, p.g), std::min(c.b, p.b)};
                }
            pixels[static_cast<std::size_t>(y) * dw + x] =
                (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
        }
    }
    return paintRgb(dst.left, dst.top, dw, dh, pixels.data());
}

bool PageDevice::blitBits(int x, int y, int width, int rows, const std::uint8_t* bits, std::uint32_t stride)
{
    if (!bits || width <= 0 || rows <= 0 || stride < static_cast<std::uint32_t>((width + 7) / 8))
        return false;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * rows);
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* line = bits + static_cast<std::size_t>(r) * stride;
        for (int k = 0; k < width; ++k)
            pixels[static_cast<std::size_t>(r) * width + k] =
                ((line[k >> 3] >> (7 - (k & 7))) & 1) ? 0xFFFFFF : 0;
    }
    return paintRgb(x, y, width, rows, pixels.data());
}

bool PageDevice::frame(int left, int top, int right, int bottom, int pen)
{
    if (m_state != State::InPage || pen <= 0 || right < left || bottom < top)
        return false;
    cairo_t* cr = m_render->cr;
    cairo_save(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    const int w = right + 1 - left, h = bottom + 1 - top;
    const int p = std::min({pen, w, h});
    cairo_rectangle(cr, left, top, w, p);
    cairo_rectangle(cr, left, bottom + 1 - p, w, p);
    cairo_rectangle(cr, left, top, p, h);
    cairo_rectangle(cr, right + 1 - p, top, p, h);
    cairo_fill(cr);
    cairo_restore(cr);
    return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

namespace pageDevices {

namespace {
HandleTable<PageDevice>& table()
{
    static HandleTable<PageDevice> t;
    return t;
}
} // namespace

Handle create(PageSetup setup)
{
    return table().add(std::make_shared<PageDevice>(std::move(setup)));
}

void destroy(Handle handle)
{
    table().remove(handle);
}

std::shared_ptr<PageDevice> find(Handle handle)
{
    return table().find(handle);
}

} // namespace pageDevices

} // namespace tessivor
