// Colour conversion: the fixed palettes, ordered dithering and error diffusion onto them, median
// cut and the two nearest-colour searches, and the conversions between depths.
#include "image_helpers.h"

#include <random>

using imgtest::fillPattern;
using imgtest::get;
using imgtest::Image;
using imgtest::set;
using tessivor::RgbQuad;

namespace {

constexpr std::uint32_t bgr(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return (b << 16) | (g << 8) | r; // the helpers' 24-bit value: blue byte first in storage
}

void fill(img_desc& d, std::uint32_t value)
{
    for (std::uint32_t y = 0; y < img_height(&d); ++y)
        for (std::uint32_t x = 0; x < img_width(&d); ++x)
            set(d, x, y, value);
}

bool sameColour(const RgbQuad& q, std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return q.rgbRed == r && q.rgbGreen == g && q.rgbBlue == b;
}

TEST(ImgPalettes, FixedPalettes)
{
    Image img(2, 2, 8);
    ASSERT_EQ(img_palette_256(&img), 256);
    const RgbQuad* p = img->palette;
    EXPECT_TRUE(sameColour(p[10], 255, 255, 255));
    EXPECT_TRUE(sameColour(p[225], 0, 0, 0));
    EXPECT_TRUE(sameColour(p[45], 255, 0, 0));                   // levels (5, 0, 0)
    EXPECT_TRUE(sameColour(p[10 + 36 + 12 + 1], 204, 153, 204)); // levels (4, 3, 4)
    EXPECT_TRUE(sameColour(p[226], 16, 16, 16));
    EXPECT_TRUE(sameColour(p[245], 244, 244, 244));
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(sameColour(p[i], img_default_palette[i].rgbRed, img_default_palette[i].rgbGreen,
                               img_default_palette[i].rgbBlue));
        EXPECT_TRUE(sameColour(p[246 + i], img_default_palette[10 + i].rgbRed,
                               img_default_palette[10 + i].rgbGreen, img_default_palette[10 + i].rgbBlue));
    }
    EXPECT_TRUE(sameColour(img_default_palette[0], 0, 0, 0));
    EXPECT_TRUE(sameColour(img_default_palette[13], 255, 0, 0));
    EXPECT_TRUE(sameColour(img_default_palette[19], 255, 255, 255));

    struct Case
    {
        std::int32_t mode, count;
    } modes[] = {{0, 20}, {1, 16}, {2, 256}, {3, 0}, {-1, 0}};
    for (const Case& c : modes) {
        Image m(2, 2, 8);
        EXPECT_EQ(img_stock_palette(c.mode, &m), c.count) << c.mode;
        EXPECT_EQ(m->colourCount, c.count ? static_cast<std::uint32_t>(c.count) : 256u);
    }
    Image sixteen(2, 2, 8);
    img_stock_palette(1, &sixteen);
    EXPECT_TRUE(sameColour(sixteen->palette[7], 192, 192, 192)); // default entry 7
    EXPECT_TRUE(sameColour(sixteen->palette[8], 128, 128, 128)); // default entry 12
    EXPECT_TRUE(sameColour(sixteen->palette[9], 255, 0, 0));
    EXPECT_TRUE(sameColour(sixteen->palette[15], 255, 255, 255));
    // Only 8-bit images with room for the palette change.
    Image c24(2, 2, 24), b1(2, 2, 1);
    EXPECT_EQ(img_palette_256(&c24), 0);
    EXPECT_EQ(img_stock_palette(1, &b1), 0);
}

TEST(ImgDither, OrderedOntoTheFixedPalettes)
{
    struct Case
    {
        std::uint32_t colour;
        std::uint8_t index256, index16;
    } cases[] = {
        {bgr(255, 0, 0), 45, 9},     {bgr(255, 255, 255), 10, 15},
        {bgr(0, 0, 0), 225, 0},      {bgr(0, 0, 255), 220, 12},
        {bgr(0, 255, 255), 190, 14}, {bgr(102, 153, 204), 10 + 3 * 36 + 2 * 6 + 1, 0},
    };
    for (const Case& c : cases) {
        Image source(9, 9, 24), t256(9, 9, 8), t16(9, 9, 8);
        fill(source.desc(), c.colour);
        ASSERT_EQ(img_dither_ordered(&source, &t256, 1), IMG_OK);
        ASSERT_EQ(img_dither_ordered(&source, &t16, 0), IMG_OK);
        EXPECT_EQ(get(t256.desc(), 4, 4), c.index256) << std::hex << c.colour;
        if (c.index16 || c.colour == 0) {
            EXPECT_EQ(get(t16.desc(), 4, 4), c.index16) << std::hex << c.colour;
        }
        EXPECT_EQ(t256->typeFlags & IMG_TYPE_GRAY, 0u);
        EXPECT_EQ(t256->colourCount, 256u);
        EXPECT_EQ(t16->colourCount, 16u);
    }
    // The threshold of pixel k of an n-pixel row is matrix column (n - 1 - k) & 7: for grey 52
    // (level 1, remainder 1) only threshold 0 lifts a channel to level 2.
    Image row(8, 1, 24), out(8, 1, 8);
    fill(row.desc(), bgr(52, 52, 52));
    ASSERT_EQ(img_dither_ordered(&row, &out, 1), IMG_OK);
    EXPECT_EQ(get(out.desc(), 7, 0), 225u - (2 + 12 + 72)); // threshold 0
    EXPECT_EQ(get(out.desc(), 0, 0), 225u - (1 + 6 + 36));  // threshold 50
    EXPECT_EQ(get(out.desc(), 5, 0), 225u - (1 + 6 + 36));  // column 2: threshold 9

    // An 8-bit palette source dithers through its palette.
    Image pal(4, 4, 8), fromPal(4, 4, 8);
    pal->typeFlags = 0;
    pal->palette[3] = RgbQuad{0, 0, 255, 0};
    fill(pal.desc(), 3);
    ASSERT_EQ(img_dither_ordered(&pal, &fromPal, 1), IMG_OK);
    EXPECT_EQ(get(fromPal.desc(), 1, 1), 45u);

    Image c24(4, 4, 24), g16(4, 4, 16);
    EXPECT_EQ(img_dither_ordered(&c24, &c24, 1), IMG_ERR_DEPTH);
    EXPECT_EQ(img_dither_ordered(&g16, &out, 1), IMG_ERR_DEPTH);
}

TEST(ImgDither, DiffusionSpreadsTheError)
{
    // A cube colour maps exactly everywhere.
    Image exact(16, 16, 24), e256(16, 16, 8);
    fill(exact.desc(), bgr(102, 153, 204));
    ASSERT_EQ(img_dither_diffuse(&exact, &e256, 1), IMG_OK);
    for (std::uint32_t y = 0; y < 16; ++y)
        for (std::uint32_t x = 0; x < 16; ++x)
            ASSERT_EQ(get(e256.desc(), x, y), 10u + 3 * 36 + 2 * 6 + 1);

    // Grey 128 lies between levels 2 and 3 (102 and 153): the mean of the output comes back to
    // about 128, which no single level would give.
    Image grey(32, 32, 24), g256(32, 32, 8), g16(32, 32, 8);
    fill(grey.desc(), bgr(128, 128, 128));
    ASSERT_EQ(img_dither_diffuse(&grey, &g256, 1), IMG_OK);
    ASSERT_EQ(img_dither_diffuse(&grey, &g16, 0), IMG_OK);
    for (img_desc* d : {&g256.desc(), &g16.desc()}) {
        double sum = 0;
        for (std::uint32_t y = 0; y < 32; ++y)
            for (std::uint32_t x = 0; x < 32; ++x)
                sum += d->palette[get(*d, x, y)].rgbGreen;
        EXPECT_NEAR(sum / 1024, 128, 6);
    }
}

TEST(ImgReduce, MedianCutAndBothSearchesReproduceFewColoursExactly)
{
    const std::uint32_t colours[4] = {bgr(255, 0, 0), bgr(0, 255, 0), bgr(0, 0, 255), bgr(255, 255, 255)};
    Image source(8, 8, 24);
    for (std::uint32_t y = 0; y < 8; ++y)
        for (std::uint32_t x = 0; x < 8; ++x)
            set(source.desc(), x, y, colours[(x / 2 + y) % 4]);
    for (std::int32_t mode = 0; mode < 4; ++mode) {
        Image target(8, 8, 8);
        ASSERT_EQ(img_reduce_to_palette(4, &source, &target, mode), IMG_OK) << mode;
        EXPECT_EQ(target->colourCount, 4u);
        EXPECT_EQ(target->typeFlags & IMG_TYPE_GRAY, 0u);
        for (std::uint32_t y = 0; y < 8; ++y)
            for (std::uint32_t x = 0; x < 8; ++x) {
                const RgbQuad& q = target->palette[get(target.desc(), x, y)];
                const std::uint32_t c = colours[(x / 2 + y) % 4];
                ASSERT_TRUE(sameColour(q, c & 0xFF, (c >> 8) & 0xFF, c >> 16)) << "mode " << mode;
            }
    }
}

TEST(ImgReduce, OneColourInTwoEntries)
{
    Image source(5, 5, 24), target(5, 5, 8);
    fill(source.desc(), bgr(200, 100, 40));
    ASSERT_EQ(img_reduce_to_palette(2, &source, &target, 0), IMG_OK);
    EXPECT_EQ(target->colourCount, 2u);
    const RgbQuad& a = target->palette[0];
    const RgbQuad& b = target->palette[1];
    EXPECT_TRUE(a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue);
    // 200 >> 3 = 25 widens to 206; 100 -> 12 -> 99; 40 -> 5 -> 41.
    EXPECT_TRUE(sameColour(a, 206, 99, 41));
}

TEST(ImgReduce, ArgumentChecks)
{
    Image c24(4, 4, 24), t8(4, 4, 8), g8(4, 4, 8);
    for (std::int32_t n : {1, 257, 0, -3})
        EXPECT_EQ(img_reduce_to_palette(n, &c24, &t8, 0), IMG_ERR_RANGE) << n;
    EXPECT_EQ(img_reduce_to_palette(16, &c24, &t8, 4), IMG_ERR_RANGE);
    EXPECT_EQ(img_reduce_to_palette(16, &c24, &t8, -1), IMG_ERR_RANGE);
    EXPECT_EQ(img_reduce_to_palette(16, &g8, &t8, 0), IMG_ERR_DEPTH); // 24 bits only
    EXPECT_EQ(img_reduce_to_palette(16, &c24, &c24, 0), IMG_ERR_DEPTH);
    EXPECT_EQ(img_reduce_colors(&c24, &t8, 4), IMG_ERR_RANGE);
    t8->colourCount = 0;
    EXPECT_EQ(img_reduce_colors(&c24, &t8, 0), IMG_ERR_ARGUMENT);
    EXPECT_EQ(img_reduce_to_palette_nearest(3, &c24, &g8), IMG_OK);
    EXPECT_EQ(g8->colourCount, 3u);
}

TEST(ImgReduce, OneFiveFiveFiveCellMapsToTheIndexFoundFirst)
{
    for (std::int32_t mode : {0, 2}) {
        Image source(2, 1, 24), target(2, 1, 8);
        target->colourCount = 2;
        target->palette[0] = RgbQuad{0, 0, 0, 0};
        target->palette[1] = RgbQuad{6, 6, 6, 0};
        set(source.desc(), 0, 0, bgr(6, 6, 6)); // nearest: entry 1
        set(source.desc(), 1, 0, bgr(1, 1, 1)); // nearer to entry 0, but in the same cell
        ASSERT_EQ(img_reduce_colors(&source, &target, mode), IMG_OK);
        EXPECT_EQ(get(target.desc(), 0, 0), 1u) << mode;
        EXPECT_EQ(get(target.desc(), 1, 0), 1u) << mode;
        EXPECT_EQ(target->colourCount, 2u); // the palette stays as it was
    }
}

TEST(ImgReduce, SortedSearchFindsTheNearestColour)
{
    std::mt19937 random(7);
    Image target(64, 64, 8), source(64, 64, 24);
    target->colourCount = 57;
    for (std::uint32_t i = 0; i < 57; ++i)
        target->palette[i] = RgbQuad{static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                                     static_cast<std::uint8_t>(random()), 0};
    // Every pixel in a cell of its own (multiples of 8 per channel), so no cache hit decides.
    std::uint32_t cell = 0;
    for (std::uint32_t y = 0; y < 64; ++y)
        for (std::uint32_t x = 0; x < 64; ++x, cell += 7919) {
            const std::uint32_t c = cell % 32768;
            set(source.desc(), x, y, bgr(((c >> 10) & 31) * 8, ((c >> 5) & 31) * 8, (c & 31) * 8));
        }
    ASSERT_EQ(img_reduce_colors(&source, &target, 2), IMG_OK);
    int checked = 0;
    std::vector<bool> seen(32768);
    for (std::uint32_t y = 0; y < 64; ++y)
        for (std::uint32_t x = 0; x < 64; ++x) {
            const std::uint32_t v = get(source.desc(), x, y);
            const int r = v & 0xFF, g = (v >> 8) & 0xFF, b = v >> 16;
            const std::uint32_t key = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
            if (seen[key])
                continue;
            seen[key] = true;
            auto distance = [&](const RgbQuad& q) {
                return (q.rgbRed - r) * (q.rgbRed - r) + (q.rgbGreen - g) * (q.rgbGreen - g) +
                       (q.rgbBlue - b) * (q.rgbBlue - b);
            };
            int best = 1 << 30;
            for (std::uint32_t i = 0; i < 57; ++i)
                best = std::min(best, distance(target->palette[i]));
            ASSERT_EQ(distance(target->palette[get(target.desc(), x, y)]), best) << x << "," << y;
            ++checked;
        }
    EXPECT_GT(checked, 3000);
}

TEST(ImgReduce, DiffusionModesMoveTheMeanTowardsTheSource)
{
    // Two palette colours, black and white; a grey source maps all to one without diffusion and
    // to a mix with it.
    for (std::int32_t mode = 0; mode < 4; ++mode) {
        Image source(16, 16, 24), target(16, 16, 8);
        fill(source.desc(), bgr(100, 100, 100));
        target->colourCount = 2;
        target->palette[0] = RgbQuad{0, 0, 0, 0};
        target->palette[1] = RgbQuad{255, 255, 255, 0};
        ASSERT_EQ(img_reduce_colors(&source, &target, mode), IMG_OK);
        int white = 0;
        for (std::uint32_t y = 0; y < 16; ++y)
            for (std::uint32_t x = 0; x < 16; ++x)
                white += get(target.desc(), x, y) == 1;
        if (mode == 1 || mode == 3)
            EXPECT_NEAR(white / 256.0, 100 / 255.0, 0.08) << mode;
        else
            EXPECT_EQ(white, 0) << mode;
    }
}

TEST(ImgConvert, PaletteTo24AndGrey)
{
    Image pal(3, 2, 8), rgb(3, 2, 24), grey(3, 2, 8);
    pal->typeFlags = 0;
    pal->palette[9] = RgbQuad{10, 200, 100, 0}; // blue 10, green 200, red 100
    fill(pal.desc(), 9);
    ASSERT_EQ(img_palette_to_rgb(&pal, &rgb), IMG_OK);
    EXPECT_EQ(get(rgb.desc(), 2, 1), bgr(100, 200, 10));
    // (200 * 59 + 100 * 30 + 10 * 11) / 100 = 149
    ASSERT_EQ(img_to_gray(&pal, &grey), IMG_OK);
    EXPECT_EQ(get(grey.desc(), 1, 1), 149u);
    EXPECT_EQ(img_is_gray(&grey), 1);
    Image grey2(3, 2, 8);
    ASSERT_EQ(img_to_gray(&rgb, &grey2), IMG_OK);
    EXPECT_EQ(get(grey2.desc(), 0, 0), 149u);

    pal->palette = nullptr;
    EXPECT_EQ(img_palette_to_rgb(&pal, &rgb), IMG_ERR_ARGUMENT);
    EXPECT_EQ(img_to_gray(&rgb, &rgb), IMG_ERR_DEPTH);
}

TEST(ImgConvert, ToOneBit)
{
    // Threshold mode on a grey ramp: exactly the values 128 and up.
    Image ramp(256, 1, 8), bits(256, 1, 1);
    for (std::uint32_t x = 0; x < 256; ++x)
        set(ramp.desc(), x, 0, x);
    ASSERT_EQ(img_to_1bit(2, &ramp, &bits), IMG_OK);
    for (std::uint32_t x = 0; x < 256; ++x)
        ASSERT_EQ(get(bits.desc(), x, 0), x >= 128 ? 1u : 0u) << x;
    EXPECT_TRUE(sameColour(bits->palette[0], 0, 0, 0));
    EXPECT_TRUE(sameColour(bits->palette[1], 255, 255, 255));

    // Ordered: matrix entry times 5 below the value; row 0 column 1 is 38 (190).
    Image two(2, 1, 8), twoBits(2, 1, 1);
    set(two.desc(), 0, 0, 1);   // threshold 0 < 1: set
    set(two.desc(), 1, 0, 190); // threshold 190 is not below 190: clear
    ASSERT_EQ(img_to_1bit(1, &two, &twoBits), IMG_OK);
    EXPECT_EQ(get(twoBits.desc(), 0, 0), 1u);
    EXPECT_EQ(get(twoBits.desc(), 1, 0), 0u);

    // Stucki: flat black and white stay flat, flat grey 128 comes out about half set.
    for (std::uint32_t level : {0u, 255u, 128u}) {
        Image flat(40, 30, 8), out(40, 30, 1);
        fill(flat.desc(), level);
        ASSERT_EQ(img_to_1bit(0, &flat, &out), IMG_OK);
        int set1 = 0;
        for (std::uint32_t y = 0; y < 30; ++y)
            for (std::uint32_t x = 0; x < 40; ++x)
                set1 += get(out.desc(), x, y);
        if (level == 0)
            EXPECT_EQ(set1, 0);
        else if (level == 255)
            EXPECT_EQ(set1, 1200);
        else
            EXPECT_NEAR(set1 / 1200.0, 0.5, 0.05);
    }

    // A palette that is not grey goes through grey first: index 0 is white here.
    Image pal(8, 2, 8), palBits(8, 2, 1);
    pal->typeFlags = 0;
    pal->palette[0] = RgbQuad{255, 255, 255, 0};
    pal->palette[1] = RgbQuad{0, 0, 0, 0};
    ASSERT_EQ(img_to_1bit(2, &pal, &palBits), IMG_OK);
    EXPECT_EQ(get(palBits.desc(), 3, 1), 1u);

    // The bits land at the target's area, bits beside it untouched.
    Image wide(20, 1, 1);
    img_set_area(&wide, 5, 0, 19, 0);
    set(wide.desc(), 4, 0, 1);
    Image src(15, 1, 8);
    fill(src.desc(), 200);
    ASSERT_EQ(img_to_1bit(2, &src, &wide), IMG_OK);
    for (std::uint32_t x = 0; x < 20; ++x)
        EXPECT_EQ(get(wide.desc(), x, 0), x == 4 || x >= 5 ? 1u : 0u) << x;

    Image c24(4, 4, 24);
    EXPECT_EQ(img_to_1bit(0, &c24, &bits), IMG_ERR_DEPTH);
    EXPECT_EQ(img_to_1bit(0, &ramp, &c24), IMG_ERR_DEPTH);
}

TEST(ImgConvert, OneBitTo8)
{
    Image bits(5, 1, 1), out(5, 1, 8);
    const std::uint32_t pattern[5] = {0, 1, 0, 1, 1};
    for (std::uint32_t x = 0; x < 5; ++x)
        set(bits.desc(), x, 0, pattern[x]);
    ASSERT_EQ(img_1bit_to_8(&bits, &out, 0), IMG_OK);
    for (std::uint32_t x = 0; x < 5; ++x)
        EXPECT_EQ(get(out.desc(), x, 0), pattern[x] ? 255u : 0u);
    ASSERT_EQ(img_1bit_to_8(&bits, &out, 1), IMG_OK);
    // Ends unsmoothed; (0,1,0) -> 170, (1,0,1) -> 85, (0,1,1) -> 212.
    const std::uint32_t smoothed[5] = {0, 170, 85, 212, 255};
    for (std::uint32_t x = 0; x < 5; ++x)
        EXPECT_EQ(get(out.desc(), x, 0), smoothed[x]) << x;
    EXPECT_EQ(img_is_gray(&out), 1);

    Image narrow(2, 1, 1), narrowOut(2, 1, 8);
    EXPECT_EQ(img_1bit_to_8(&narrow, &narrowOut, 1), IMG_ERR_ARGUMENT);
    EXPECT_EQ(img_1bit_to_8(&narrow, &narrowOut, 0), IMG_OK);
    EXPECT_EQ(img_1bit_to_8(&out, &narrowOut, 0), IMG_ERR_DEPTH);
}

TEST(ImgConvert, SixteenBitGrey)
{
    Image g16(3, 1, 16), g8(3, 1, 8), c24(3, 1, 24), back(3, 1, 16);
    set(g16.desc(), 0, 0, 0x12FF);
    set(g16.desc(), 2, 0, 0xFF01);
    ASSERT_EQ(img_16_to_8(&g16, &g8), IMG_OK);
    EXPECT_EQ(get(g8.desc(), 0, 0), 0x12u);
    EXPECT_EQ(get(g8.desc(), 2, 0), 0xFFu);
    ASSERT_EQ(img_8_to_16(&g8, &back), IMG_OK);
    EXPECT_EQ(get(back.desc(), 0, 0), 0x12u * 257);
    EXPECT_EQ(img_16_to_8(&g16, &c24), IMG_ERR_DEPTH);
    EXPECT_EQ(img_8_to_16(&g8, &c24), IMG_ERR_DEPTH);
    EXPECT_EQ(img_16_to_8(&g8, &g8), IMG_ERR_DEPTH);
}

TEST(ImgConvert, LookupTables)
{
    std::uint8_t invert[256], zero[256] = {}, same[256];
    for (int i = 0; i < 256; ++i) {
        invert[i] = static_cast<std::uint8_t>(255 - i);
        same[i] = static_cast<std::uint8_t>(i);
    }
    Image c(2, 2, 24), cOut(2, 2, 24);
    fill(c.desc(), bgr(10, 20, 30));
    ASSERT_EQ(img_apply_lut(invert, same, zero, &c, &cOut), IMG_OK);
    EXPECT_EQ(get(cOut.desc(), 1, 1), bgr(245, 20, 0));

    Image g(2, 2, 8), gOut(2, 2, 8);
    fill(g.desc(), 40);
    ASSERT_EQ(img_apply_lut(invert, zero, zero, &g, &gOut), IMG_OK); // grey: the red table
    EXPECT_EQ(get(gOut.desc(), 0, 0), 215u);
    EXPECT_EQ(img_apply_lut(invert, same, same, &g, &cOut), IMG_ERR_DEPTH);

    // A palette image goes through 24 bits and is reduced back: red inverted gives cyan.
    Image p(4, 4, 8), pOut(4, 4, 8);
    p->typeFlags = 0;
    p->palette[2] = RgbQuad{0, 0, 255, 0};
    fill(p.desc(), 2);
    ASSERT_EQ(img_apply_lut(invert, invert, invert, &p, &pOut), IMG_OK);
    EXPECT_EQ(pOut->colourCount, 256u);
    EXPECT_TRUE(sameColour(pOut->palette[get(pOut.desc(), 3, 3)], 0, 255, 255));

    // The print tone curve: 0 -> 0, 128 -> 218, 255 -> 255.
    Image t(3, 1, 8), tOut(3, 1, 8);
    set(t.desc(), 0, 0, 0);
    set(t.desc(), 1, 0, 128);
    set(t.desc(), 2, 0, 255);
    ASSERT_EQ(img_print_tone(&t, &tOut), IMG_OK);
    EXPECT_EQ(get(tOut.desc(), 0, 0), 0u);
    EXPECT_EQ(get(tOut.desc(), 1, 0), 218u);
    EXPECT_EQ(get(tOut.desc(), 2, 0), 255u);
}

} // namespace
