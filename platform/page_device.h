// Page devices: the printer in place of a printer device context.
//
// A page device has a resolution (300 dpi unless set), a page size and a printable area (the
// page less its margins). Coordinates are device pixels with (0, 0) at the printable area's
// top-left corner. A document is started, gets pages, and is then ended or aborted; drawing
// happens inside a page. The document is rendered through cairo into a PDF or PostScript file
// (written under a temporary name and renamed when the document ends, so an aborted or failed
// document leaves no file), and, when a print queue is named, that file is handed to libcups.
//
// The lifecycle calls return what the printing calls of the original interface return: a value
// above 0 on success, 0 or below on failure. A device is used by one thread at a time (the print
// that holds it); pageDevices:: may be called from any thread.
#pragma once

#include "platform/frame_target.h"
#include "platform/handles.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace tessivor {

struct PageSetup
{
    std::filesystem::path file; // the document's file
    bool postScript = false;    // PostScript instead of PDF
    std::string queue;          // a print queue for libcups; empty: the file only
    int dpiX = 300, dpiY = 300;
    double pageWidth = 8.5, pageHeight = 11.0; // inches
    double margin = 0.0;                       // inches on every side
};

enum class StretchMode
{
    ColorOnColor, // nearest pixel
    BlackOnWhite, // shrinking keeps black pixels (a target pixel is black when any of its source pixels is)
};

class PageDevice
{
public:
    enum class State
    {
        Idle,
        InDocument,
        InPage,
        Ended,
        Aborted,
        Failed,
    };

    explicit PageDevice(PageSetup setup);
    ~PageDevice(); // an open document is aborted
    PageDevice(const PageDevice&) = delete;
    PageDevice& operator=(const PageDevice&) = delete;

    int dpiX() const { return m_setup.dpiX; }
    int dpiY() const { return m_setup.dpiY; }
    // The printable area in device pixels.
    int printableWidth() const;
    int printableHeight() const;
    // The rectangle a print is about to fill (kept, for tests to see).
    void setBounds(const TargetRect& bounds) { m_bounds = bounds; }
    TargetRect bounds() const { return m_bounds; }

    // Called by the device while it renders a page (at the end of each page), as a spooler calls
    // the abort procedure; false cancels the document.
    void setAbortProc(std::function<bool()> proc) { m_abortProc = std::move(proc); }

    int startDoc(const std::string& name);
    int startPage();
    int endPage();
    int endDoc();
    int abortDoc();
    State state() const { return m_state; }
    int pagesEnded() const { return m_pages; }
    std::string documentName() const { return m_name; }
    // The print job libcups gave the document, 0 without a queue.
    int jobId() const { return m_job; }

    // ---- drawing (inside a page; false otherwise) ----
    void setStretchMode(StretchMode mode) { m_mode = mode; }
    // Scales the source rectangle (rows counted from the picture's top) into the destination
    // rectangle (right and bottom exclusive).
    bool stretch(const TargetRect& dst, const TargetRect& src, const DibView& from);
    // Draws `rows` rows of `width` 1-bit pixels at (x, y): a set bit white, a clear one black.
    bool blitBits(int x, int y, int width, int rows, const std::uint8_t* bits, std::uint32_t stride);
    // A black frame of `pen` pixels inside the rectangle (right and bottom inclusive).
    bool frame(int left, int top, int right, int bottom, int pen);

private:
    struct Render;
    bool paintRgb(int x, int y, int width, int height, const std::uint32_t* pixels);
    void fail();

    PageSetup m_setup;
    TargetRect m_bounds;
    std::function<bool()> m_abortProc;
    StretchMode m_mode = StretchMode::ColorOnColor;
    State m_state = State::Idle;
    std::string m_name;
    std::filesystem::path m_temp;
    std::unique_ptr<Render> m_render;
    int m_pages = 0;
    int m_job = 0;
};

namespace pageDevices {

Handle create(PageSetup setup);
void destroy(Handle handle);
std::shared_ptr<PageDevice> find(Handle handle);

} // namespace pageDevices

} // namespace tessivor
