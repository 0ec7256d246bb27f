// Capture: bitmaps and DIB sections of every depth, and windows and the screen of an X server
// (an Xvfb the test starts; the tests that need it are skipped when there is none).
#include "image_helpers.h"
#include "xvfb_server.h"

#include "imagelib/img_capture.h"
#include "platform/bitmaps.h"
#include "platform/screen.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessivor;

namespace {

// ---- bitmaps ----

TEST(CaptureBitmap, DepthsAndPalettes)
{
    struct Case
    {
        int bits;
        std::uint32_t imageBits;
    };
    const Case cases[] = {{1, 1}, {4, 8}, {8, 8}, {16, 24}, {24, 24}, {32, 24}};
    for (const Case& c : cases) {
        Bitmap b = Bitmap::make(13, 5, c.bits, false);
        for (std::size_t i = 0; i < b.bits.size(); ++i)
            b.bits[i] = static_cast<std::uint8_t>(i * 37 + 11);
        const DibView view = b.view();
        const Handle h = bitmaps::create(b);
        std::vector<RgbQuad> entries(256);
        for (std::size_t i = 0; i < entries.size(); ++i)
            entries[i] = RgbQuad{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7, 0};
        const Handle palette = logicalPalettes::create(entries);
        img_desc shell;
        ASSERT_EQ(img_capture_bitmap(h, palette, &shell), 0) << c.bits;
        EXPECT_EQ(img_bits(&shell), c.imageBits) << c.bits;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x) {
                const std::uint32_t v =
                    imgtest::get(shell, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
                if (c.imageBits == 24) {
                    const Rgb want = view.pixel(x, y);
                    ASSERT_EQ(v, (std::uint32_t{want.b} << 16) | (std::uint32_t{want.g} << 8) | want.r)
                        << c.bits << " at " << x << "," << y;
                } else {
                    // Indices stay what they were; the palette is the one given.
                    const std::uint8_t* line = b.bits.data() + static_cast<std::size_t>(4 - y) * b.stride();
                    const std::uint32_t index = c.bits == 1   ? (line[x >> 3] >> (7 - (x & 7))) & 1
                                                : c.bits == 4 ? (line[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF
                                                              : line[x];
                    ASSERT_EQ(v, index) << c.bits << " at " << x << "," << y;
                }
            }
        if (c.imageBits <= 8) {
            EXPECT_EQ(shell.colourCount, c.imageBits == 1 ? 2u : 256u);
            EXPECT_EQ(shell.palette[1].rgbGreen, 254);
        }
        img_free(&shell);
        bitmaps::destroy(h);
        logicalPalettes::destroy(palette);
    }
}

TEST(CaptureBitmap, FrameTargetsAndHandlesThatAreNoBitmap)
{
    const Handle target = frameTargets::create(6, 4);
    frameTargets::find(target)->fill(TargetRect{2, 1, 5, 3}, Rgb{10, 200, 30});
    img_desc desc;
    ASSERT_EQ(img_capture_bitmap(target, 0, &desc), 0);
    EXPECT_EQ(img_bits(&desc), 24u);
    EXPECT_EQ(imgtest::get(desc, 3, 2), (30u << 16) | (200u << 8) | 10u);
    EXPECT_EQ(imgtest::get(desc, 0, 0), 0u);
    img_free(&desc);
    frameTargets::destroy(target);
    EXPECT_EQ(img_capture_bitmap(target, 0, &desc), -68);
    EXPECT_EQ(img_from_dib_section(target, &desc), -68);
}

TEST(CaptureBitmap, DibSectionCopies)
{
    Bitmap section = Bitmap::make(9, 3, 8, true);
    for (std::size_t i = 0; i < section.bits.size(); ++i)
        section.bits[i] = static_cast<std::uint8_t>(i);
    for (std::size_t i = 0; i < section.colours.size(); ++i)
        section.colours[i] = RgbQuad{static_cast<std::uint8_t>(i), 0, 0, 0};
    const Handle h = bitmaps::create(section);
    img_desc desc;
    ASSERT_EQ(img_from_dib_section(h, &desc), 0);
    EXPECT_EQ(imgtest::get(desc, 4, 2), section.bits[4]) << "bottom-up rows in the same order";
    EXPECT_EQ(imgtest::get(desc, 4, 0), section.bits[2 * section.stride() + 4]);
    EXPECT_EQ(desc.palette[200].rgbBlue, 200);
    EXPECT_FALSE(desc.typeFlags & IMG_TYPE_GRAY);
    img_free(&desc);
    bitmaps::destroy(h);

    struct Case
    {
        int bits;
        bool dib;
        std::uint32_t compression;
        std::int32_t code;
    };
    const Case refused[] = {{16, true, 0, -26}, {4, true, 0, -26}, {8, true, 1, -12}, {8, false, 0, -68}};
    for (const Case& c : refused) {
        Bitmap b = Bitmap::make(4, 4, c.bits, c.dib);
        b.compression = c.compression;
        const Handle other = bitmaps::create(b);
        EXPECT_EQ(img_from_dib_section(other, &desc), c.code) << c.bits;
        bitmaps::destroy(other);
    }
}

// ---- the screen ----

// DISPLAY set to `value` (or unset) for the scope.
class DisplayVariable
{
public:
    explicit DisplayVariable(const char* value)
    {
        const char* old = std::getenv("DISPLAY");
        m_had = old != nullptr;
        if (old)
            m_old = old;
        if (value)
            ::setenv("DISPLAY", value, 1);
        else
            ::unsetenv("DISPLAY");
    }
    ~DisplayVariable()
    {
        if (m_had)
            ::setenv("DISPLAY", m_old.c_str(), 1);
        else
            ::unsetenv("DISPLAY");
    }

private:
    bool m_had = false;
    std::string m_old;
};

TEST(CaptureScreen, WithoutADisplayEveryCaptureSaysSo)
{
    DisplayVariable none(nullptr);
    img_desc desc;
    const ImgScreenRect rect{0, 0, 10, 10};
    EXPECT_EQ(img_capture_rect(&rect, &desc), -14);
    EXPECT_EQ(img_capture_window(0x200001, &desc), -14);
    EXPECT_EQ(img_capture_client(0x200001, &desc), -14);
    EXPECT_EQ(desc.pixels, nullptr);
    EXPECT_EQ(screen::windowTitle(0x200001), "");
}

// A window without a window manager's frame, painted with known pixels.
struct PaintedWindow
{
    xcb_connection_t* c = nullptr;
    xcb_window_t window = 0;
    int width, height;

    PaintedWindow(int x, int y, int w, int h) : width(w), height(h)
    {
        c = xcb_connect(nullptr, nullptr);
        xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        window = xcb_generate_id(c);
        const std::uint32_t values[] = {s->black_pixel, 1};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, s->root, static_cast<std::int16_t>(x),
                          static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w),
                          static_cast<std::uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        const char title[] = "painted by the test";
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            sizeof title - 1, title);
        xcb_map_window(c, window);
        sync();
        // Pixels as 32-bit words 0x00RRGGBB (Xvfb's 24-bit depth is 32 bits a pixel, LSB first).
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h);
        for (int py = 0; py < h; ++py)
            for (int px = 0; px < w; ++px)
                pixels[static_cast<std::size_t>(py) * w + px] = colour(px, py);
        const xcb_gcontext_t gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, window, 0, nullptr);
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc, static_cast<std::uint16_t>(w),
                      static_cast<std::uint16_t>(h), 0, 0, 0, 24,
                      static_cast<std::uint32_t>(pixels.size() * 4),
                      reinterpret_cast<const std::uint8_t*>(pixels.data()));
        sync();
    }
    ~PaintedWindow() { xcb_disconnect(c); }
    void sync() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }
    static std::uint32_t colour(int x, int y)
    {
        return (static_cast<std::uint32_t>(x * 5 % 256) << 16) |
               (static_cast<std::uint32_t>(y * 9 % 256) << 8) | static_cast<std::uint32_t>((x ^ y) & 0xFF);
    }
};

// Whether the image shows the window's pixels from window column `fromX` on.
void expectWindowPixels(const img_desc& d, int fromX, int columns, int rows)
{
    ASSERT_EQ(img_width(&d), static_cast<std::uint32_t>(columns));
    ASSERT_EQ(img_height(&d), static_cast<std::uint32_t>(rows));
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) {
            const std::uint32_t c = PaintedWindow::colour(fromX + x, y);
            // imgtest::get gives B << 16 | G << 8 | R for 24 bits.
            const std::uint32_t want = ((c & 0xFF) << 16) | (c & 0xFF00) | (c >> 16);
            ASSERT_EQ(imgtest::get(d, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)), want)
                << x << "," << y;
        }
}

TEST(CaptureScreen, WindowsAndRectanglesShowWhatWasPainted)
{
    Xvfb xvfb;
    if (xvfb.display().empty())
        GTEST_SKIP() << xvfb.why();
    DisplayVariable use(xvfb.display().c_str());
    PaintedWindow w(30, 20, 64, 48);

    img_desc desc;
    const ImgScreenRect rect{30, 20, 94, 68};
    ASSERT_EQ(img_capture_rect(&rect, &desc), 0);
    expectWindowPixels(desc, 0, 64, 48);
    img_free(&desc);
    ASSERT_EQ(img_capture_window(w.window, &desc), 0);
    expectWindowPixels(desc, 0, 64, 48);
    img_free(&desc);
    ASSERT_EQ(img_capture_client(w.window, &desc), 0);
    expectWindowPixels(desc, 0, 64, 48);
    img_free(&desc);
    EXPECT_EQ(screen::windowTitle(w.window), "painted by the test");
    EXPECT_EQ(img_capture_window(0x7FFFFF, &desc), -1) << "a window the server does not know";

    // A window partly off the screen (320 wide): its visible part only.
    PaintedWindow edge(300, 100, 50, 10);
    ASSERT_EQ(img_capture_window(edge.window, &desc), 0);
    expectWindowPixels(desc, 0, 20, 10);
    img_free(&desc);
    const ImgScreenRect off{400, 0, 500, 10};
    EXPECT_EQ(img_capture_rect(&off, &desc), -14);
}

} // namespace
