// Frame targets: the drawing surfaces that stand in for windows and device contexts.
//
// A target is named by a numbered handle (it crosses the automation interface as a 32-bit
// integer). The control draws into it from its own threads; the widget that owns it repaints
// from a snapshot on the UI thread. Every operation locks the target, so drawing and reading may
// happen on any thread. A handle whose target was destroyed finds nothing, and drawing through
// it is a no-op.
//
// Pixels are kept as top-down RGB. A target also reports a colour depth (24 by default); a
// target of 8 bits or less behaves like a palette device: whatever is drawn is mapped to the
// nearest colour of its realised palette. Text is kept as an overlay list, drawn by the widget
// with a real font (and left out of the PPM dump).
#pragma once

#include "platform/dib.h"
#include "platform/handles.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tessivor {

struct Rgb
{
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct TargetRect
{
    int left = 0, top = 0, right = 0, bottom = 0; // right and bottom exclusive
};

struct TargetText
{
    TargetRect rect;
    std::string text;
    Rgb colour;
    std::string font;
    int pixelHeight = 16;
    int weight = 400;
    unsigned format = 0; // DT_* flags below
};

inline constexpr unsigned DT_CENTER = 0x0001;
inline constexpr unsigned DT_VCENTER = 0x0004;
inline constexpr unsigned DT_SINGLELINE = 0x0020;

// A source bitmap for blits. `bits` points at the first stored row; rows are bottom-up when
// `bottomUp` is set. Bit counts 1, 4 and 8 use `palette` (`colours` entries); 16 is 5-5-5,
// 24 is B,G,R and 32 is B,G,R,x.
struct DibView
{
    int width = 0;
    int height = 0;
    bool bottomUp = true;
    int bitCount = 24;
    std::uint32_t stride = 0;
    const std::uint8_t* bits = nullptr;
    const RgbQuad* palette = nullptr;
    int colours = 0;

    // Over a packed DIB header with its colour table and rows.
    static DibView fromHeader(const BitmapInfoHeader* header, const RgbQuad* palette, const void* bits);
    // A known bit count, pixels, a positive size and rows long enough.
    bool usable() const;
    // Colour of pixel (x, y) of a usable view, y counted from the top of the picture; indices
    // beyond the palette read as black.
    Rgb pixel(int x, int y) const;
};

struct TargetPicture
{
    int width = 0;
    int height = 0;
    int depth = 24;
    std::vector<std::uint8_t> rgb; // top-down, 3 bytes per pixel
    std::vector<TargetText> texts;
    std::uint64_t version = 0;

    Rgb pixel(int x, int y) const
    {
        const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return Rgb{p[0], p[1], p[2]};
    }
};

class FrameTarget
{
public:
    FrameTarget(int width, int height, int depth = 24);

    int width() const;
    int height() const;
    int depth() const;
    // Resizes; the content becomes black and the overlay is cleared.
    void resize(int width, int height);

    void fill(const TargetRect& rect, Rgb colour);
    void drawText(const TargetText& text);

    // Copies `width` × `height` pixels from (srcX, srcY) of the source (row 0 = top of the picture)
    // to (dstX, dstY). Clipped to both; returns the number of rows drawn.
    int blit(int dstX, int dstY, int width, int height, int srcX, int srcY, const DibView& src);
    // Draws a 24-bit picture of `width` x `height` pixels at (dstX, dstY) whose rows a producer
    // writes one at a time: `row(y, bgr)` writes picture row y (0 = the top) as blue, green, red
    // into a buffer of `width` pixels, and the row goes into the target as blit would draw that
    // picture. Only the rows inside the target are asked for; clipped to the target; returns the
    // number of rows drawn.
    int drawRows(int dstX, int dstY, int width, int height,
                 const std::function<void(int y, std::uint8_t* bgr)>& row);
    // Scales the source rectangle into the destination rectangle (nearest pixel); returns rows drawn.
    int stretch(const TargetRect& dst, const TargetRect& src, const DibView& from);

    // The palette realised on a palette device (depth 8 or less); ignored at higher depths.
    void realizePalette(std::vector<RgbQuad> palette);
    std::vector<RgbQuad> palette() const;

    TargetPicture snapshot() const;
    std::uint64_t version() const;
    // Binary PPM (P6) of the pixels; false when the file cannot be written.
    bool savePpm(const std::filesystem::path& file) const;

    // Asks the owner to show the target again: the content stays, the version moves on and the
    // change callback runs (a widget repaints, and may clear what it shows).
    void invalidate();

    // Called after every change, on the drawing thread (a widget schedules a repaint from it).
    void setOnChange(std::function<void()> callback);

private:
    Rgb mapColour(Rgb c) const; // to the realised palette on a palette device
    void changed(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_mutex;
    int m_width;
    int m_height;
    int m_depth;
    std::vector<std::uint8_t> m_rgb;
    std::vector<TargetText> m_texts;
    std::vector<RgbQuad> m_palette;
    std::vector<std::uint8_t> m_rowBuffer; // one row of drawRows' producer, kept between drawings
    std::uint64_t m_version = 0;
    std::function<void()> m_onChange;
};

namespace frameTargets {

Handle create(int width, int height, int depth = 24);
// Registers a target under a handle that already names something else of the same owner
// (a control window's own surface uses the window's handle).
void registerAs(Handle handle, std::shared_ptr<FrameTarget> target);
void destroy(Handle handle);
std::shared_ptr<FrameTarget> find(Handle handle);

} // namespace frameTargets

// Logical palettes: colour tables that a drawer makes for an image, selects into a palette
// device (FrameTarget::realizePalette) while it draws, and hands to its caller by handle. Whoever
// receives the handle destroys it.
namespace logicalPalettes {

Handle create(std::vector<RgbQuad> entries);
void destroy(Handle handle);
// The entries, or nullptr for a handle that names no palette.
std::shared_ptr<const std::vector<RgbQuad>> find(Handle handle);

} // namespace logicalPalettes

} // namespace tessivor
