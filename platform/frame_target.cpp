#include "platform/frame_target.h"
#include "platform/pixel_rows.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace tessivor {

DibView DibView::fromHeader(const BitmapInfoHeader* header, const RgbQuad* palette, const void* bits)
{
    DibView v;
    if (!header)
        return v;
    v.width = header->biWidth;
    v.height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    v.bottomUp = header->biHeight > 0;
    v.bitCount = header->biBitCount;
    v.stride = dibStride(static_cast<std::uint32_t>(std::max(0, v.width)), v.bitCount);
    v.bits = static_cast<const std::uint8_t*>(bits);
    v.palette = palette;
    v.colours =
        header->biClrUsed ? static_cast<int>(header->biClrUsed) : (v.bitCount <= 8 ? 1 << v.bitCount : 0);
    return v;
}

Rgb DibView::pixel(int x, int y) const
{
    const DibView& s = *this;
    const int row = s.bottomUp ? s.height - 1 - y : y;
    const std::uint8_t* line = s.bits + static_cast<std::size_t>(row) * s.stride;
    auto fromPalette = [&](int index) {
        if (!s.palette || index >= s.colours)
            return Rgb{};
        const RgbQuad& q = s.palette[index];
        return Rgb{q.rgbRed, q.rgbGreen, q.rgbBlue};
    };
    switch (s.bitCount) {
    case 1:
        return fromPalette((line[x >> 3] >> (7 - (x & 7))) & 1);
    case 4:
        return fromPalette((line[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F);
    case 8:
        return fromPalette(line[x]);
    case 16: {
        const unsigned v = line[x * 2] | (line[x * 2 + 1] << 8);
        auto expand = [](unsigned c5) { return static_cast<std::uint8_t>((c5 << 3) | (c5 >> 2)); };
        return Rgb{expand((v >> 10) & 31), expand((v >> 5) & 31), expand(v & 31)};
    }
    case 24: {
        const std::uint8_t* p = line + x * 3;
        return Rgb{p[2], p[1], p[0]};
    }
    case 32: {
        const std::uint8_t* p = line + x * 4;
        return Rgb{p[2], p[1], p[0]};
    }
    default:
        return Rgb{};
    }
}

bool DibView::usable() const
{
    const DibView& s = *this;
    switch (s.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return false;
    }
    return s.bits && s.width > 0 && s.height > 0 && s.stride >= dibStride(s.width, s.bitCount);
}

FrameTarget::FrameTarget(int width, int height, int depth)
    : m_width(std::max(0, width)), m_height(std::max(0, height)), m_depth(depth),
      m_rgb(static_cast<std::size_t>(m_width) * m_height * 3, 0)
{
}

int FrameTarget::width() const
{
    std::lock_guard lock(m_mutex);
    return m_width;
}

int FrameTarget::height() const
{
    std::lock_guard lock(m_mutex);
    return m_height;
}

int FrameTarget::depth() const
{
    std::lock_guard lock(m_mutex);
    return m_depth;
}

void FrameTarget::resize(int width, int height)
{
    std::unique_lock lock(m_mutex);
    m_width = std::max(0, width);
    m_height = std::max(0, height);
    m_rgb.assign(static_cast<std::size_t>(m_width) * m_height * 3, 0);
    m_texts.clear();
    changed(lock);
}

Rgb FrameTarget::mapColour(Rgb c) const
{
    if (m_depth > 8 || m_palette.empty())
        return c;
    int best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < m_palette.size(); ++i) {
        const RgbQuad& q = m_palette[i];
        const int dr = q.rgbRed - c.r, dg = q.rgbGreen - c.g, db = q.rgbBlue - c.b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    const RgbQuad& q = m_palette[best];
    return Rgb{q.rgbRed, q.rgbGreen, q.rgbBlue};
}

void FrameTarget::fill(const TargetRect& rect, Rgb colour)
{
    std::unique_lock lock(m_mutex);
    const int l = std::clamp(rect.left, 0, m_width), r = std::clamp(rect.right, 0, m_width);
    const int t = std::clamp(rect.top, 0, m_height), b = std::clamp(rect.bottom, 0, m_height);
    const Rgb c = mapColour(colour);
    for (int y = t; y < b; ++y) {
        std::uint8_t* p = &m_rgb[(static_cast<std::size_t>(y) * m_width + l) * 3];
        for (int x = l; x < r; ++x, p += 3) {
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
    // Painting over text hides it.
    std::erase_if(m_texts, [&](const TargetText& tx) {
        return tx.rect.left >= l && tx.rect.right <= r && tx.rect.top >= t && tx.rect.bottom <= b;
    });
    changed(lock);
}

void FrameTarget::drawText(const TargetText& text)
{
    std::unique_lock lock(m_mutex);
    m_texts.push_back(text);
    changed(lock);
}

int FrameTarget::blit(int dstX, int dstY, int width, int height, int srcX, int srcY, const DibView& src)
{
    if (!src.usable())
        return 0;
    std::unique_lock lock(m_mutex);
    // Clip against the source.
    if (srcX < 0) {
        dstX -= srcX;
        width += srcX;
        srcX = 0;
    }
    if (srcY < 0) {
        dstY -= srcY;
        height += srcY;
        srcY = 0;
    }
    width = std::min(width, src.width - srcX);
    height = std::min(height, src.height - srcY);
    // Clip against the target.
    if (dstX < 0) {
        srcX -= dstX;
        width += dstX;
        dstX = 0;
    }
    if (dstY < 0) {
        srcY -= dstY;
        height += dstY;
        dstY = 0;
    }
    width = std::min(width, m_width - dstX);
    height = std::min(height, m_height - dstY);
    if (width <= 0 || height <= 0)
        return 0;
    if (src.bitCount == 24 && (m_depth > 8 || m_palette.empty())) {
        // Camera pictures, every frame: rows of blue, green, red copied straight, without the
        // per-pixel lookup below (same result: no palette to map onto).
        for (int y = 0; y < height; ++y) {
            const int sy = srcY + y;
            const std::uint8_t* s =
                src.bits + static_cast<std::size_t>(src.bottomUp ? src.height - 1 - sy : sy) * src.stride +
                srcX * 3;
            swapRedBlue(s, &m_rgb[(static_cast<std::size_t>(dstY + y) * m_width + dstX) * 3], width);
        }
        changed(lock);
        return height;
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = &m_rgb[(static_cast<std::size_t>(dstY + y) * m_width + dstX) * 3];
        for (int x = 0; x < width; ++x, p += 3) {
            const Rgb c = mapColour(src.pixel(srcX + x, srcY + y));
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
    changed(lock);
    return height;
}

int FrameTarget::drawRows(int dstX, int dstY, int width, int height,
                          const std::function<void(int y, std::uint8_t* bgr)>& row)
{
    if (width <= 0 || height <= 0 || !row)
        return 0;
    std::unique_lock lock(m_mutex);
    // The picture's columns [srcX, srcX + columns) and rows [srcY, srcY + rows) that land inside.
    const int srcX = dstX < 0 ? -dstX : 0;
    const int srcY = dstY < 0 ? -dstY : 0;
    const int x0 = std::max(dstX, 0), y0 = std::max(dstY, 0);
    const int columns = std::min(width - srcX, m_width - x0);
    const int rows = std::min(height - srcY, m_height - y0);
    if (columns <= 0 || rows <= 0)
        return 0;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    if (m_rowBuffer.size() < rowBytes)
        m_rowBuffer.resize(rowBytes);
    const bool direct = m_depth > 8 || m_palette.empty();
    for (int y = 0; y < rows; ++y) {
        row(srcY + y, m_rowBuffer.data());
        const std::uint8_t* s = m_rowBuffer.data() + static_cast<std::size_t>(srcX) * 3;
        std::uint8_t* p = &m_rgb[(static_cast<std::size_t>(y0 + y) * m_width + x0) * 3];
        if (direct) {
            swapRedBlue(s, p, columns);
            continue;
        }
        for (int x = 0; x < columns; ++x, s += 3, p += 3) {
            const Rgb c = mapColour(Rgb{s[2], s[1], s[0]});
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
    changed(lock);
    return rows;
}

int FrameTarget::stretch(const TargetRect& dst, const TargetRect& src, const DibView& from)
{
    if (!from.usable())
        return 0;
    const int dw = dst.right - dst.left, dh = dst.bottom - dst.top;
    const int sw = src.right - src.left, sh = src.bottom - src.top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return 0;
    std::unique_lock lock(m_mutex);
    int rows = 0;
    for (int y = 0; y < dh; ++y) {
        const int ty = dst.top + y;
        if (ty < 0 || ty >= m_height)
            continue;
        const int sy = src.top + static_cast<int>(static_cast<long long>(y) * sh / dh);
        if (sy < 0 || sy >= from.height)
            continue;
        ++rows;
        for (int x = 0; x < dw; ++x) {
            const int tx = dst.left + x;
            const int sx = src.left + static_cast<int>(static_cast<long long>(x) * sw / dw);
            if (tx < 0 || tx >= m_width || sx < 0 || sx >= from.width)
                continue;
            const Rgb c = mapColour(from.pixel(sx, sy));
            std::uint8_t* p = &m_rgb[(static_cast<std::size_t>(ty) * m_width + tx) * 3];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
    changed(lock);
    return rows;
}

void FrameTarget::realizePalette(std::vector<RgbQuad> palette)
{
    std::lock_guard lock(m_mutex);
    m_palette = std::move(palette);
}

std::vector<RgbQuad> FrameTarget::palette() const
{
    std::lock_guard lock(m_mutex);
    return m_palette;
}

TargetPicture FrameTarget::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return TargetPicture{m_width, m_height, m_depth, m_rgb, m_texts, m_version};
}

void FrameTarget::invalidate()
{
    std::unique_lock lock(m_mutex);
    changed(lock);
}

std::uint64_t FrameTarget::version() const
{
    std::lock_guard lock(m_mutex);
    return m_version;
}

bool FrameTarget::savePpm(const std::filesystem::path& file) const
{
    TargetPicture pic = snapshot();
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out << "P6\n" << pic.width << ' ' << pic.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(pic.rgb.data()), static_cast<std::streamsize>(pic.rgb.size()));
    return static_cast<bool>(out);
}

void FrameTarget::setOnChange(std::function<void()> callback)
{
    std::lock_guard lock(m_mutex);
    m_onChange = std::move(callback);
}

void FrameTarget::changed(std::unique_lock<std::mutex>& lock)
{
    ++m_version;
    std::function<void()> cb = m_onChange;
    lock.unlock();
    if (cb)
        cb();
}

namespace frameTargets {

namespace {
HandleTable<FrameTarget>& table()
{
    static HandleTable<FrameTarget>* t = new HandleTable<FrameTarget>; // outlives every drawing thread
    return *t;
}
} // namespace

Handle create(int width, int height, int depth)
{
    return table().add(std::make_shared<FrameTarget>(width, height, depth));
}

void registerAs(Handle handle, std::shared_ptr<FrameTarget> target)
{
    table().addAs(handle, std::move(target));
}

void destroy(Handle handle)
{
    table().remove(handle);
}

std::shared_ptr<FrameTarget> find(Handle handle)
{
    return handle ? table().find(handle) : nullptr;
}

} // namespace frameTargets

namespace logicalPalettes {

namespace {
HandleTable<const std::vector<RgbQuad>>& table()
{
    static auto* t = new HandleTable<const std::vector<RgbQuad>>; // outlives every drawing thread
    return *t;
}
} // namespace

Handle create(std::vector<RgbQuad> entries)
{
    return table().add(std::make_shared<const std::vector<RgbQuad>>(std::move(entries)));
}

void destroy(Handle handle)
{
    table().remove(handle);
}

std::shared_ptr<const std::vector<RgbQuad>> find(Handle handle)
{
    return handle ? table().find(handle) : nullptr;
}

} // namespace logicalPalettes

} // namespace tessivor
