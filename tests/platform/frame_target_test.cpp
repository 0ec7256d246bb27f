#include "platform/frame_target.h"
#include "platform/pixel_rows.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <iterator>

using namespace tessivor;

namespace {

// A bottom-up 24-bit DIB whose pixel (x, y) (y from the top) is (x, y, 7).
struct Dib24
{
    int w, h;
    std::vector<std::uint8_t> bits;
    Dib24(int w, int h) : w(w), h(h), bits(static_cast<std::size_t>(dibStride(w, 24)) * h, 0)
    {
        const auto stride = dibStride(w, 24);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* p = &bits[(h - 1 - y) * stride + x * 3];
                p[0] = 7; // blue
                p[1] = static_cast<std::uint8_t>(y);
                p[2] = static_cast<std::uint8_t>(x);
            }
    }
    DibView view() const { return DibView{w, h, true, 24, dibStride(w, 24), bits.data(), nullptr, 0}; }
};

TEST(FrameTarget, BlitPlacesBottomUpRowsTheRightWayUpAndClips)
{
    FrameTarget t(8, 6);
    Dib24 dib(5, 4);                                     // odd width: rows are padded
    EXPECT_EQ(t.blit(-1, 3, 5, 4, 0, 0, dib.view()), 3); // one column off the left, one row off the bottom
    auto pic = t.snapshot();
    EXPECT_EQ(pic.pixel(0, 3), (Rgb{1, 0, 7}));
    EXPECT_EQ(pic.pixel(3, 5), (Rgb{4, 2, 7}));
    EXPECT_EQ(pic.pixel(4, 3), (Rgb{0, 0, 0})); // not drawn
    EXPECT_EQ(pic.pixel(0, 2), (Rgb{0, 0, 0}));

    // Source offset.
    EXPECT_EQ(t.blit(0, 0, 2, 2, 3, 2, dib.view()), 2);
    EXPECT_EQ(t.snapshot().pixel(1, 1), (Rgb{4, 3, 7}));
    // Entirely outside.
    EXPECT_EQ(t.blit(8, 0, 2, 2, 0, 0, dib.view()), 0);
}

// The vector colour swap gives the plain form's bytes for every row length around its 4-pixel
// rounds and writes nothing past the row.
TEST(FrameTarget, VectorColourSwapMatchesThePlainOne)
{
    std::vector<std::uint8_t> src(3 * 70);
    for (std::size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<std::uint8_t>(i * 37 + 11);
    for (int pixels = 0; pixels <= 64; ++pixels) {
        std::vector<std::uint8_t> plain(3 * pixels + 16, 0xA5), vector(3 * pixels + 16, 0xA5);
        swapRedBluePlain(src.data(), plain.data(), pixels);
        if (!swapRedBlueVector(src.data(), vector.data(), pixels))
            GTEST_SKIP() << "no vector form on this processor";
        EXPECT_EQ(vector, plain) << pixels << " pixels";
    }
}

// A 24-bit blit into the middle of a wider target leaves the pixels on either side alone.
TEST(FrameTarget, BlitOfCameraRowsTouchesOnlyItsRectangle)
{
    const Rgb background{9, 8, 7};
    for (int width : {1, 4, 5, 6, 16, 21, 33}) {
        FrameTarget t(width + 4, 3);
        t.fill(TargetRect{0, 0, width + 4, 3}, background);
        Dib24 dib(width, 3);
        ASSERT_EQ(t.blit(2, 0, width, 3, 0, 0, dib.view()), 3);
        const auto pic = t.snapshot();
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < width + 4; ++x) {
                const bool inside = x >= 2 && x < width + 2;
                const Rgb expect =
                    inside ? Rgb{static_cast<std::uint8_t>(x - 2), static_cast<std::uint8_t>(y), 7}
                           : background;
                EXPECT_EQ(pic.pixel(x, y), expect) << "width " << width << " at " << x << "," << y;
            }
        }
    }
}

// Rows handed over one at a time land where a blit of the same picture puts them, on a plain
// target and on a palette device, clipped on every side; only rows inside are asked for.
TEST(FrameTarget, DrawnRowsMatchABlitOfThePicture)
{
    struct Case
    {
        int x, y, w, h, depth;
    };
    const Case cases[] = {
        {0, 0, 8, 6, 24},   {2, 1, 5, 4, 24}, {-3, -2, 9, 7, 24}, {6, 4, 5, 5, 24},
        {-1, 5, 12, 3, 24}, {0, 0, 8, 6, 8},  {-2, 1, 7, 9, 8},   {9, 0, 3, 3, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.w << "x" << c.h << " at " << c.x << "," << c.y << " depth " << c.depth);
        Dib24 dib(c.w, c.h);
        for (std::size_t i = 0; i < dib.bits.size(); ++i)
            dib.bits[i] = static_cast<std::uint8_t>(i * 2654435761u >> 11);
        FrameTarget blitted(8, 6, c.depth), drawn(8, 6, c.depth);
        if (c.depth == 8) {
            const std::vector<RgbQuad> palette{RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0},
                                               RgbQuad{0, 0, 255, 0}, RgbQuad{40, 200, 90, 0}};
            blitted.realizePalette(palette);
            drawn.realizePalette(palette);
        }
        const int expected = blitted.blit(c.x, c.y, c.w, c.h, 0, 0, dib.view());
        std::vector<int> asked;
        const int rows = drawn.drawRows(c.x, c.y, c.w, c.h, [&](int y, std::uint8_t* bgr) {
            asked.push_back(y);
            const std::uint8_t* row =
                dib.bits.data() + static_cast<std::size_t>(c.h - 1 - y) * dibStride(c.w, 24);
            std::copy(row, row + c.w * 3, bgr);
        });
        EXPECT_EQ(rows, expected);
        EXPECT_EQ(drawn.snapshot().rgb, blitted.snapshot().rgb);
        EXPECT_EQ(drawn.version(), blitted.version());
        for (int y : asked) {
            EXPECT_GE(y + c.y, 0);
            EXPECT_LT(y + c.y, 6);
        }
        EXPECT_EQ(static_cast<int>(asked.size()), rows);
    }
}

TEST(FrameTarget, PaletteSourcesAndPaletteDevices)
{
    // 4-bit source: two pixels per byte, high nibble first.
    RgbQuad pal[16] = {};
    pal[1] = RgbQuad{0, 0, 255, 0}; // red
    pal[2] = RgbQuad{255, 0, 0, 0}; // blue
    std::uint8_t row[4] = {0x12, 0x00, 0x00, 0x00};
    DibView v{2, 1, true, 4, 4, row, pal, 16};
    FrameTarget t(2, 1);
    t.blit(0, 0, 2, 1, 0, 0, v);
    EXPECT_EQ(t.snapshot().pixel(0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(t.snapshot().pixel(1, 0), (Rgb{0, 0, 255}));

    // An 8-bit device maps whatever is drawn to its realised palette.
    FrameTarget dev(1, 1, 8);
    dev.realizePalette({RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}});
    dev.fill(TargetRect{0, 0, 1, 1}, Rgb{200, 190, 180});
    EXPECT_EQ(dev.snapshot().pixel(0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(dev.depth(), 8);
}

TEST(FrameTarget, HandlesOutliveTheirTargetsHarmlessly)
{
    Handle h = frameTargets::create(4, 4);
    auto t = frameTargets::find(h);
    ASSERT_TRUE(t);
    frameTargets::destroy(h);
    EXPECT_FALSE(frameTargets::find(h));
    EXPECT_FALSE(frameTargets::find(0));
    // A drawer still holding the target draws into a surface nobody shows.
    t->fill(TargetRect{0, 0, 4, 4}, Rgb{1, 2, 3});
    EXPECT_EQ(t->snapshot().pixel(3, 3), (Rgb{1, 2, 3}));
}

TEST(FrameTarget, PpmDumpHoldsThePixels)
{
    FrameTarget t(3, 2);
    t.fill(TargetRect{1, 0, 3, 2}, Rgb{10, 20, 30});
    TargetText label;
    label.rect = TargetRect{0, 0, 3, 2};
    label.text = "label";
    t.drawText(label);
    EXPECT_EQ(t.snapshot().texts.size(), 1u);
    const auto file =
        std::filesystem::path(::testing::TempDir()) / ("target-" + std::to_string(::getpid()) + ".ppm");
    ASSERT_TRUE(t.savePpm(file));
    std::ifstream in(file, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), {});
    const std::string header = "P6\n3 2\n255\n";
    ASSERT_EQ(data.size(), header.size() + 18);
    EXPECT_EQ(data.substr(0, header.size()), header);
    EXPECT_EQ(static_cast<unsigned char>(data[header.size() + 3]), 10);
    EXPECT_EQ(static_cast<unsigned char>(data[header.size() + 0]), 0);
    EXPECT_FALSE(t.savePpm("/nonexistent-folder/x.ppm"));
}

TEST(LogicalPalettes, LiveUntilDestroyed)
{
    Handle h = logicalPalettes::create({RgbQuad{1, 2, 3, 0}, RgbQuad{4, 5, 6, 0}});
    auto p = logicalPalettes::find(h);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->size(), 2u);
    EXPECT_EQ((*p)[1].rgbRed, 6);
    logicalPalettes::destroy(h);
    EXPECT_FALSE(logicalPalettes::find(h));
    EXPECT_FALSE(logicalPalettes::find(0));
    EXPECT_EQ((*p)[0].rgbBlue, 1); // a holder keeps its copy
}

} // namespace
