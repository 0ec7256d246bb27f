// Display: drawing into frame targets with clipping, offsets and logical palettes, and the
// reduction of the visible part for 8-bit and 4-bit targets.
#include "image_helpers.h"

#include "platform/frame_target.h"

using imgtest::get;
using imgtest::Image;
using imgtest::set;
using tessivor::Handle;
using tessivor::Rgb;
using tessivor::frameTargets::create;
using tessivor::frameTargets::destroy;
using tessivor::frameTargets::find;

namespace {

// A 24-bit image whose pixel (x, y) is red x, green y, blue 7.
void coordinates(img_desc& d)
{
    for (std::uint32_t y = 0; y < img_height(&d); ++y)
        for (std::uint32_t x = 0; x < img_width(&d); ++x)
            set(d, x, y, (7u << 16) | (y << 8) | x);
}

struct Target
{
    Handle handle;
    explicit Target(int w, int h, int depth = 24) : handle(create(w, h, depth)) {}
    ~Target() { destroy(handle); }
    tessivor::TargetPicture picture() const { return find(handle)->snapshot(); }
};

TEST(ImgDisplay, DrawsClippedToTheClientAndLeavesNoPaletteFor24Bits)
{
    Image img(50, 40, 24);
    coordinates(img.desc());
    Target window(30, 20);
    Handle palette = 99;
    ASSERT_EQ(img_display(window.handle, 0, &palette, 5, 6, &img), IMG_OK);
    EXPECT_EQ(palette, 0);
    const auto pic = window.picture();
    EXPECT_EQ(pic.pixel(0, 0), (Rgb{5, 6, 7}));
    EXPECT_EQ(pic.pixel(29, 19), (Rgb{34, 25, 7}));

    // Source offset beyond the image: nothing drawn, no error.
    Target other(10, 10);
    ASSERT_EQ(img_display(other.handle, 0, nullptr, 60, 0, &img), IMG_OK);
    EXPECT_EQ(find(other.handle)->version(), 0u);
    // Handles that name nothing draw nothing.
    EXPECT_EQ(img_display(123456789, 0, nullptr, 0, 0, &img), IMG_OK);
    img_desc empty;
    EXPECT_EQ(img_display(window.handle, 0, nullptr, 0, 0, &empty), IMG_ERR_NO_PIXELS);
}

// Drawing a resized picture row by row draws what resizing it into an image and displaying that
// image draws: on plain and palette devices, with clients smaller and larger than the picture
// and a device context that is not the window.
TEST(ImgDisplay, ResizedDrawingMatchesResizeThenDisplay)
{
    struct Case
    {
        std::uint32_t sw, sh, tw, th;
        int windowW, windowH, dcW, dcH, depth;
    };
    const Case cases[] = {
        {64, 48, 32, 24, 32, 24, 0, 0, 24}, {64, 48, 32, 24, 20, 10, 0, 0, 24},
        {30, 20, 45, 31, 60, 40, 0, 0, 24}, {64, 48, 32, 24, 25, 30, 12, 9, 24},
        {64, 48, 33, 17, 40, 20, 0, 0, 8},  {50, 37, 19, 23, 11, 30, 40, 40, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.tw << "x" << c.th << " into "
                                        << c.windowW << "x" << c.windowH << " depth " << c.depth);
        Image img(c.sw, c.sh, 24);
        imgtest::fillPattern(img.desc());
        auto setUp = [&](Target& t) {
            if (c.depth == 8)
                find(t.handle)->realizePalette(
                    {tessivor::RgbQuad{0, 0, 0, 0}, tessivor::RgbQuad{255, 255, 255, 0},
                     tessivor::RgbQuad{200, 30, 60, 0}, tessivor::RgbQuad{20, 180, 90, 0}});
        };
        Target windowA(c.windowW, c.windowH, c.depth), windowB(c.windowW, c.windowH, c.depth);
        const bool ownDc = c.dcW > 0;
        Target dcA(ownDc ? c.dcW : 1, ownDc ? c.dcH : 1, c.depth),
            dcB(ownDc ? c.dcW : 1, ownDc ? c.dcH : 1, c.depth);
        for (Target* t : {&windowA, &windowB, &dcA, &dcB})
            setUp(*t);

        Image preview(c.tw, c.th, 24);
        ASSERT_EQ(img_resize(&img, &preview), IMG_OK);
        Handle paletteA = 99, paletteB = 99;
        ASSERT_EQ(img_display(windowA.handle, ownDc ? dcA.handle : 0, &paletteA, 0, 0, &preview), IMG_OK);
        ASSERT_EQ(img_display_resized(windowB.handle, ownDc ? dcB.handle : 0, &paletteB, &img, c.tw, c.th),
                  IMG_OK);
        EXPECT_EQ(paletteA, 0);
        EXPECT_EQ(paletteB, 0);
        EXPECT_EQ(windowB.picture().rgb, windowA.picture().rgb);
        EXPECT_EQ(dcB.picture().rgb, dcA.picture().rgb);
        EXPECT_EQ(find(windowB.handle)->version(), find(windowA.handle)->version());
        EXPECT_EQ(find(dcB.handle)->version(), find(dcA.handle)->version());
    }

    Image img(8, 8, 24), grey(8, 8, 8);
    Target window(8, 8);
    EXPECT_EQ(img_display_resized(window.handle, 0, nullptr, &grey, 4, 4), IMG_ERR_DEPTH);
    EXPECT_EQ(img_display_resized(window.handle, 0, nullptr, &img, 0, 4), IMG_ERR_ARGUMENT);
    EXPECT_EQ(img_display_resized(123456789, 0, nullptr, &img, 4, 4), IMG_OK); // nothing to draw into
    EXPECT_EQ(find(window.handle)->version(), 0u);
}

TEST(ImgDisplay, WindowGivesTheClientAndTheDeviceContextTheSurface)
{
    Image img(8, 8, 24);
    coordinates(img.desc());
    Target window(4, 3), dc(10, 10);
    ASSERT_EQ(img_display_at(window.handle, dc.handle, nullptr, 0, 0, &img, 1, 1), IMG_OK);
    const auto pic = dc.picture();
    EXPECT_EQ(pic.pixel(1, 1), (Rgb{0, 0, 7}));
    EXPECT_EQ(pic.pixel(3, 2), (Rgb{2, 1, 7}));
    EXPECT_EQ(pic.pixel(4, 2), (Rgb{0, 0, 0})); // beyond the window's client width
    EXPECT_EQ(pic.pixel(1, 3), (Rgb{0, 0, 0}));
    EXPECT_EQ(window.picture().pixel(1, 1), (Rgb{0, 0, 0}));
}

TEST(ImgDisplay, PaletteImagesLeaveALogicalPalette)
{
    Image img(4, 4, 8);
    img->typeFlags = 0;
    img->palette[3] = tessivor::RgbQuad{255, 0, 0, 0}; // blue
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 4; ++x)
            set(img.desc(), x, y, 3);
    Target window(4, 4);
    Handle palette = 0;
    ASSERT_EQ(img_display(window.handle, 0, &palette, 0, 0, &img), IMG_OK);
    ASSERT_NE(palette, 0);
    auto entries = tessivor::logicalPalettes::find(palette);
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 256u);
    EXPECT_EQ((*entries)[3].rgbBlue, 255);
    EXPECT_EQ(window.picture().pixel(2, 2), (Rgb{0, 0, 255}));
    tessivor::logicalPalettes::destroy(palette);
}

TEST(ImgDisplayEx, PicturePointLandsOnTargetPoint)
{
    Image img(100, 80, 24);
    coordinates(img.desc());
    {
        Target window(20, 20);
        ASSERT_EQ(img_display_ex(window.handle, 0, nullptr, 30, 40, &img, 0, 0, 0), IMG_OK);
        EXPECT_EQ(window.picture().pixel(0, 0), (Rgb{30, 40, 7}));
        EXPECT_EQ(window.picture().pixel(19, 19), (Rgb{49, 59, 7}));
    }
    {
        Target window(200, 200);
        ASSERT_EQ(img_display_ex(window.handle, 0, nullptr, 0, 0, &img, 50, 60, 0), IMG_OK);
        const auto pic = window.picture();
        EXPECT_EQ(pic.pixel(50, 60), (Rgb{0, 0, 7}));
        EXPECT_EQ(pic.pixel(149, 139), (Rgb{99, 79, 7}));
        EXPECT_EQ(pic.pixel(49, 60), (Rgb{0, 0, 0}));
        EXPECT_EQ(pic.pixel(150, 139), (Rgb{0, 0, 0}));
    }
}

TEST(ImgDisplayEx, ReducesForPaletteDevices)
{
    // Left half pure red, right half pure blue: both survive every reduction exactly.
    Image img(16, 8, 24);
    for (std::uint32_t y = 0; y < 8; ++y)
        for (std::uint32_t x = 0; x < 16; ++x)
            set(img.desc(), x, y, x < 8 ? 0x0000FFu : 0xFF0000u);
    struct Case
    {
        int depth;
        std::int32_t dither;
        std::size_t paletteSize;
    } cases[] = {{8, 0, 256}, {8, 1, 256}, {8, 2, 256}, {4, 0, 16}, {4, 2, 16}, {1, 1, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.depth << "-bit device, dither " << c.dither);
        Target window(20, 10, c.depth);
        Handle palette = 0;
        ASSERT_EQ(img_display_ex(window.handle, 0, &palette, 2, 0, &img, 0, 1, c.dither), IMG_OK);
        const auto pic = window.picture();
        EXPECT_EQ(pic.pixel(0, 1), (Rgb{255, 0, 0}));  // picture (2, 0)
        EXPECT_EQ(pic.pixel(13, 8), (Rgb{0, 0, 255})); // picture (15, 7)
        EXPECT_EQ(pic.pixel(14, 8), (Rgb{0, 0, 0}));   // beyond the picture
        EXPECT_EQ(pic.pixel(0, 0), (Rgb{0, 0, 0}));
        auto entries = tessivor::logicalPalettes::find(palette);
        ASSERT_TRUE(entries);
        // The 8-bit device without dithering gets a computed palette of the image's colours.
        if (c.depth == 8 && c.dither == 0) {
            EXPECT_EQ(entries->size(), 256u);
        } else {
            EXPECT_EQ(entries->size(), c.paletteSize);
        }
        tessivor::logicalPalettes::destroy(palette);
    }

    // A 16-colour palette image is drawn as it is on a 4-bit device.
    Image few(4, 4, 8);
    few->colourCount = 16;
    Target four(4, 4, 4);
    Handle palette = 0;
    ASSERT_EQ(img_display_ex(four.handle, 0, &palette, 0, 0, &few, 0, 0, 0), IMG_OK);
    ASSERT_TRUE(tessivor::logicalPalettes::find(palette));
    EXPECT_EQ(tessivor::logicalPalettes::find(palette)->size(), 16u);
    tessivor::logicalPalettes::destroy(palette);
}

TEST(ImgReduceVisible, TakesThePartTheClientShows)
{
    Image img(50, 40, 24);
    coordinates(img.desc());
    Target window(20, 10);
    img_desc out;
    ASSERT_EQ(img_reduce_visible(window.handle, 40, 5, 3, 2, 8, &img, &out, 1), IMG_OK);
    // From (40, 5) to (min(40 + 20 - 3 - 1, 49), min(5 + 10 - 2 - 1, 39)) = (49, 12).
    EXPECT_EQ(img_width(&out), 10u);
    EXPECT_EQ(img_height(&out), 8u);
    img_free(&out);
    const std::size_t before = img_live_allocations();
    EXPECT_EQ(img_reduce_visible(window.handle, 60, 0, 0, 0, 8, &img, &out, 1), IMG_ERR_ARGUMENT);
    EXPECT_EQ(out.header, nullptr);
    img_fail_allocation(2); // the dithering's row buffer
    EXPECT_EQ(img_reduce_visible(window.handle, 0, 0, 0, 0, 4, &img, &out, 1), IMG_ERR_NO_MEMORY);
    img_fail_allocation(0);
    EXPECT_EQ(out.header, nullptr);
    EXPECT_EQ(img_live_allocations(), before);
}

} // namespace
