// Resize: the Bresenham masks, nearest-neighbour resampling at every depth, overlapping areas,
// the copies it shares with the other operations, the smooth paths' fixed-point results, the
// bit-row helpers, and clean-up when memory runs out half way.
#include "image_helpers.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using imgtest::fillPattern;
using imgtest::get;
using imgtest::Image;
using imgtest::set;

namespace {

std::string maskBits(const ResizeMask& m)
{
    std::string s;
    for (std::uint32_t i = 0; i < m.bitCount; ++i)
        s += m.test(i) ? '1' : '0';
    return s;
}

TEST(ImgResizeMask, Sequences)
{
    struct Case
    {
        std::uint32_t t, s;
        bool dense;
        const char* bits;
    } cases[] = {
        {2, 3, false, "110"},  // 3 -> 2 keeps sources 0 and 1
        {3, 2, true, "110"},   // 2 -> 3: targets from sources 0, 1, 1
        {2, 4, false, "1010"}, // halving keeps 0 and 2
        {4, 2, true, "1010"},  // doubling repeats each
        {3, 3, true, "111"},       {1, 5, false, "10000"},   {5, 1, true, "10000"},
        {5, 8, false, "11011010"}, {8, 5, true, "11011010"},
    };
    for (const Case& c : cases) {
        ResizeMask m;
        ASSERT_EQ(img_resize_mask(&m, c.t, c.s), IMG_OK);
        EXPECT_EQ(m.dense, c.dense) << c.t << "<-" << c.s;
        EXPECT_EQ(maskBits(m), c.bits) << c.t << "<-" << c.s;
    }
    // Every size pair: exactly min(T, S) bits set, bit 0 among them.
    for (std::uint32_t t = 1; t < 40; ++t)
        for (std::uint32_t s = 1; s < 40; ++s) {
            ResizeMask m;
            ASSERT_EQ(img_resize_mask(&m, t, s), IMG_OK);
            const std::string bits = maskBits(m);
            ASSERT_EQ(bits.size(), std::max(t, s));
            ASSERT_EQ(bits[0], '1');
            ASSERT_EQ(static_cast<std::uint32_t>(std::count(bits.begin(), bits.end(), '1')), std::min(t, s));
        }
    ResizeMask m;
    img_fail_allocation(1);
    EXPECT_EQ(img_resize_mask(&m, 10, 20), IMG_ERR_NO_MEMORY);
}

// Source position of each target position along one axis, as the masks define it.
std::vector<std::uint32_t> picks(std::uint32_t t, std::uint32_t s)
{
    ResizeMask m;
    EXPECT_EQ(img_resize_mask(&m, t, s), IMG_OK);
    std::vector<std::uint32_t> out;
    std::uint32_t source = 0;
    for (std::uint32_t i = 0; i < m.bitCount; ++i) {
        if (m.dense) {
            if (m.test(i) && i)
                ++source;
            out.push_back(source);
        } else if (m.test(i)) {
            out.push_back(i);
        }
    }
    return out;
}

TEST(ImgResize, NearestNeighbourAtEachDepthPicksTheMaskedPixels)
{
    struct Case
    {
        std::uint32_t sw, sh, tw, th;
    } sizes[] = {{2, 2, 4, 4},   {4, 4, 2, 2},    {3, 3, 2, 2},   {2, 2, 3, 3},
                 {17, 5, 40, 3}, {40, 9, 13, 21}, {1, 1, 9, 2},   {97, 3, 50, 2},
                 {64, 2, 22, 2}, {300, 2, 37, 1}, {33, 2, 70, 1}, {100, 1, 100, 1}};
    for (bool vector : {true, false})
        for (std::uint32_t bits : {1u, 8u, 24u})
            for (const Case& c : sizes) {
                SCOPED_TRACE(testing::Message() << bits << " bits " << c.sw << "x" << c.sh << " -> " << c.tw
                                                << "x" << c.th << (vector ? "" : " plain"));
                img_allow_vector_paths(vector);
                // Areas inside larger images, at odd offsets (1-bit runs start mid-byte).
                Image source(c.sw + 5, c.sh + 4, bits), target(c.tw + 11, c.th + 2, bits);
                fillPattern(source.desc());
                fillPattern(target.desc());
                img_set_area(&source, 3, 1, 3 + c.sw - 1, 1 + c.sh - 1);
                img_set_area(&target, 9, 2, 9 + c.tw - 1, 2 + c.th - 1);
                ASSERT_EQ(img_resize(&source, &target), IMG_OK);
                const auto cols = picks(c.tw, c.sw), rows = picks(c.th, c.sh);
                for (std::uint32_t y = 0; y < img_height(&target); ++y)
                    for (std::uint32_t x = 0; x < img_width(&target); ++x) {
                        const bool inside = x >= 9 && x < 9 + c.tw && y >= 2 && y < 2 + c.th;
                        const std::uint32_t want = inside
                                                       ? get(source.desc(), 3 + cols[x - 9], 1 + rows[y - 2])
                                                       : imgtest::pattern(x, y, bits);
                        ASSERT_EQ(get(target.desc(), x, y), want) << x << "," << y;
                    }
            }
    img_allow_vector_paths(true);
}

// Every form of the 24-bit nearest-neighbour resize this processor has must give the plain
// form's bytes and write nothing beside the target area. The cases cover windows of every
// width the vector forms plan for (and wider, which they hand to the plain code), areas that
// start inside the rows and areas that end at the last stored byte of a row (no padding), where
// a whole-piece read or store would leave the row, and rows shorter than one chunk.
TEST(ImgResize, EveryForm24BitGivesThePlainBytesAndStaysInItsArea)
{
    struct Case
    {
        std::uint32_t sx0, sw, sRight, tx0, tw, tRight, sh, th;
    } cases[] = {
        {0, 640, 0, 0, 320, 0, 4, 2},  // 2, rows without padding
        {4, 640, 0, 3, 320, 0, 3, 2},  // 2, both areas inside the rows, ending at the row end
        {0, 640, 0, 0, 427, 1, 3, 3},  // 1.5
        {1, 100, 3, 2, 100, 1, 2, 2},  // 1
        {0, 520, 0, 0, 200, 0, 3, 2},  // 2.6
        {3, 600, 1, 5, 200, 3, 3, 2},  // 3
        {0, 500, 0, 0, 100, 0, 5, 2},  // 5
        {2, 331, 0, 1, 127, 0, 3, 2},  // about 2.6, odd widths
        {1, 49, 0, 0, 19, 0, 2, 1},    // about 2.6, odd, a few chunks
        {0, 97, 0, 4, 33, 0, 3, 2},    // about 2.9
        {0, 90, 0, 0, 100, 0, 2, 3},   // 0.9
        {5, 100, 0, 0, 250, 0, 2, 5},  // 0.4
        {0, 1, 0, 1, 40, 0, 1, 2},     // one source pixel
        {0, 7, 0, 0, 5, 0, 2, 2},      // below 16 pixels
        {2, 5, 0, 1, 15, 0, 2, 3},     // below 16 pixels, enlarging
        {0, 13, 0, 3, 3, 0, 3, 1},     // below 16 pixels, shrinking by 4.3
        {0, 16, 0, 0, 16, 0, 1, 1},    // exactly three chunks
        {0, 22, 0, 0, 11, 0, 2, 1},    // 33 target bytes: two chunks and a one-byte tail
        {6, 1000, 0, 7, 301, 0, 2, 2}, // about 3.3: windows wider than three pieces
        {0, 1000, 0, 2, 330, 0, 2, 2}, // about 3.03: every sixth window wider than three pieces
        {1, 97, 0, 0, 31, 0, 2, 1},    // about 3.1, odd: windows of three and four pieces mixed
    };
    const ImgResizePath forms[] = {ImgResizePath::Ssse3, ImgResizePath::Vbmi};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sw << " -> " << c.tw << " at " << c.sx0 << ", " << c.tx0);
        Image source(c.sx0 + c.sw + c.sRight, c.sh + 1, 24);
        Image target(c.tx0 + c.tw + c.tRight, c.th + 2, 24);
        const std::size_t targetBytes = std::size_t{target->bytesPerRow} * img_height(&target);
        for (std::size_t i = 0; i < std::size_t{source->bytesPerRow} * img_height(&source); ++i)
            source->pixels[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
        // From picture row 0: it is stored last, so a read past its end leaves the buffer.
        img_set_area(&source, c.sx0, 0, c.sx0 + c.sw - 1, c.sh - 1);
        // Runs one form on a freshly filled target and returns all the target's bytes.
        auto run = [&](ImgResizePath form) {
            for (std::size_t i = 0; i < targetBytes; ++i)
                target->pixels[i] = static_cast<std::uint8_t>(i * 40503u >> 5);
            img_set_area(&target, c.tx0, 1, c.tx0 + c.tw - 1, c.th);
            EXPECT_EQ(img_resize_path(), form);
            EXPECT_EQ(img_resize(&source, &target), IMG_OK);
            return std::vector<std::uint8_t>(target->pixels, target->pixels + targetBytes);
        };
        ASSERT_TRUE(img_force_resize_path(ImgResizePath::Plain));
        const std::vector<std::uint8_t> plain = run(ImgResizePath::Plain);
        // Plain: the area holds the masked pixels, every other byte is as it was filled.
        const auto cols = picks(c.tw, c.sw), rows = picks(c.th, c.sh);
        for (std::size_t i = 0; i < targetBytes; ++i) {
            const std::uint32_t y =
                img_height(&target) - 1 - static_cast<std::uint32_t>(i / target->bytesPerRow);
            const std::uint32_t x = static_cast<std::uint32_t>(i % target->bytesPerRow) / 3;
            const bool inside = y >= 1 && y <= c.th && x >= c.tx0 && x < c.tx0 + c.tw;
            const std::uint8_t want = inside ? imgtest::pixelAt(source.desc(), c.sx0 + cols[x - c.tx0],
                                                                rows[y - 1])[i % target->bytesPerRow % 3]
                                             : static_cast<std::uint8_t>(i * 40503u >> 5);
            ASSERT_EQ(plain[i], want) << "byte " << i;
        }
        for (ImgResizePath form : forms) {
            if (!img_force_resize_path(form))
                continue;
            SCOPED_TRACE(static_cast<int>(form));
            const std::vector<std::uint8_t> got = run(form);
            for (std::size_t i = 0; i < targetBytes; ++i)
                ASSERT_EQ(got[i], plain[i]) << "byte " << i;
        }
    }
    // While vector paths are switched off every resize takes the plain form.
    img_allow_vector_paths(false);
    EXPECT_EQ(img_resize_path(), ImgResizePath::Plain);
    img_allow_vector_paths(true);
    EXPECT_FALSE(img_force_resize_path(static_cast<ImgResizePath>(17)));
    img_force_resize_path(ImgResizePath::Best);
}

// Rows built one at a time are the rows img_resize stores, in every form, at 8 and 24 bits,
// shrinking and enlarging each way, from an area inside the source; nothing is written past a
// row's bytes.
TEST(ImgScaledRows, RowsAreTheRowsOfTheResize)
{
    struct Case
    {
        std::uint32_t bits, sx0, sy0, sw, sh, tw, th;
    } cases[] = {
        {24, 0, 0, 640, 48, 320, 24}, {24, 3, 2, 101, 37, 250, 61}, {24, 1, 0, 97, 20, 31, 45},
        {24, 0, 0, 16, 16, 16, 16},   {24, 0, 1, 7, 5, 3, 9},       {8, 2, 3, 50, 30, 21, 44},
        {8, 0, 0, 13, 11, 40, 4},
    };
    const ImgResizePath forms[] = {ImgResizePath::Plain, ImgResizePath::Ssse3, ImgResizePath::Vbmi};
    for (const Case& c : cases) {
        Image source(c.sx0 + c.sw + 2, c.sy0 + c.sh + 1, c.bits);
        for (std::size_t i = 0; i < std::size_t{source->bytesPerRow} * img_height(&source); ++i)
            source->pixels[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
        img_set_area(&source, c.sx0, c.sy0, c.sx0 + c.sw - 1, c.sy0 + c.sh - 1);
        for (ImgResizePath form : forms) {
            if (!img_force_resize_path(form))
                continue;
            SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.sw << "x" << c.sh << " -> " << c.tw
                                            << "x" << c.th << ", form " << static_cast<int>(form));
            Image resized(c.tw, c.th, c.bits);
            ASSERT_EQ(img_resize(&source, &resized), IMG_OK);
            ImgScaledRows rows;
            ASSERT_EQ(rows.open(&source, c.tw, c.th), IMG_OK);
            EXPECT_EQ(rows.bytesPerPixel(), c.bits / 8);
            const std::size_t rowBytes = std::size_t{c.tw} * (c.bits / 8);
            for (std::uint32_t y = 0; y < c.th; ++y) {
                std::vector<std::uint8_t> row(rowBytes + 64, 0xA5);
                rows.row(y, row.data());
                const std::uint8_t* want = imgtest::pixelAt(resized.desc(), 0, y);
                ASSERT_TRUE(std::equal(want, want + rowBytes, row.begin())) << "row " << y;
                ASSERT_TRUE(std::all_of(row.begin() + static_cast<std::ptrdiff_t>(rowBytes), row.end(),
                                        [](std::uint8_t b) { return b == 0xA5; }))
                    << "row " << y;
            }
        }
    }
    img_force_resize_path(ImgResizePath::Best);

    Image bits1(8, 8, 1), c24(8, 8, 24);
    ImgScaledRows rows;
    EXPECT_EQ(rows.open(&bits1, 4, 4), IMG_ERR_DEPTH);
    EXPECT_EQ(rows.open(&c24, 0, 4), IMG_ERR_ARGUMENT);
    img_desc empty;
    EXPECT_EQ(rows.open(&empty, 4, 4), IMG_ERR_NO_PIXELS);
    // Its memory lives as long as it does.
    const auto results = imgtest::runUnderAllocationFailures([&] {
        ImgScaledRows planned;
        return planned.open(&c24, 5, 3);
    });
    ASSERT_FALSE(results.empty());
    EXPECT_EQ(results.front(), IMG_ERR_NO_MEMORY);
    EXPECT_EQ(results.back(), IMG_OK);
}

TEST(ImgResize, DoublingAndHalvingByHand)
{
    Image s(2, 2, 8), t(4, 4, 8);
    set(s.desc(), 0, 0, 1);
    set(s.desc(), 1, 0, 2);
    set(s.desc(), 0, 1, 3);
    set(s.desc(), 1, 1, 4);
    ASSERT_EQ(img_resize(&s, &t), IMG_OK);
    const std::uint32_t doubled[4][4] = {{1, 1, 2, 2}, {1, 1, 2, 2}, {3, 3, 4, 4}, {3, 3, 4, 4}};
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 4; ++x)
            EXPECT_EQ(get(t.desc(), x, y), doubled[y][x]);

    Image h(2, 2, 8);
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 4; ++x)
            set(t.desc(), x, y, 10 * y + x);
    ASSERT_EQ(img_resize(&t, &h), IMG_OK);
    EXPECT_EQ(get(h.desc(), 0, 0), 0u);
    EXPECT_EQ(get(h.desc(), 1, 0), 2u);
    EXPECT_EQ(get(h.desc(), 0, 1), 20u);
    EXPECT_EQ(get(h.desc(), 1, 1), 22u);
}

TEST(ImgResize, ErrorsAndPalette)
{
    Image g8(4, 4, 8), c24(4, 4, 24), g16(4, 4, 16);
    EXPECT_EQ(img_resize(&g8, &c24), IMG_ERR_DEPTH);
    EXPECT_EQ(img_resize(&g16, &g16), IMG_ERR_DEPTH);
    img_desc empty;
    EXPECT_EQ(img_resize(&empty, &g8), IMG_ERR_NO_PIXELS);

    // A palette target receives the source's palette and grey flag.
    Image p(3, 3, 8), q(5, 5, 8);
    p->palette[7] = tessivor::RgbQuad{1, 2, 3, 0};
    p->typeFlags = 0;
    p->colourCount = 9;
    ASSERT_EQ(img_resize(&p, &q), IMG_OK);
    EXPECT_EQ(q->palette[7].rgbRed, 3);
    EXPECT_EQ(q->colourCount, 9u);
    EXPECT_EQ(q->typeFlags & IMG_TYPE_GRAY, 0u);
}

TEST(ImgResize, OverlappingAreasOfOneImageGiveTheSeparateResult)
{
    for (std::uint32_t bits : {1u, 8u, 24u}) {
        SCOPED_TRACE(bits);
        Image img(48, 40, bits), copy(48, 40, bits), separate(48, 40, bits);
        fillPattern(img.desc());
        fillPattern(separate.desc());
        ASSERT_EQ(img_copy_image(&img, &copy), IMG_OK);
        img_set_area(&img, 2, 3, 21, 17); // source
        img_set_area(&copy, 2, 3, 21, 17);
        img_desc target;
        img_copy_desc(&img.desc(), &target);
        img_set_area(&target, 7, 5, 36, 31); // overlaps the source
        img_set_area(&separate, 7, 5, 36, 31);
        ASSERT_EQ(img_resize(&copy, &separate), IMG_OK);
        ASSERT_EQ(img_resize(&img, &target), IMG_OK);
        for (std::uint32_t y = 5; y <= 31; ++y)
            for (std::uint32_t x = 7; x <= 36; ++x)
                ASSERT_EQ(get(img.desc(), x, y), get(separate.desc(), x, y)) << x << "," << y;
    }
}

TEST(ImgResize, MemoryFailuresAnywhereLeaveNothingBehind)
{
    Image img(64, 48, 24);
    fillPattern(img.desc());
    img_desc source, target;
    img_copy_desc(&img.desc(), &source);
    img_copy_desc(&img.desc(), &target);
    img_set_area(&source, 0, 0, 31, 23);
    img_set_area(&target, 10, 10, 59, 45); // overlapping: a temporary is used
    const auto results = imgtest::runUnderAllocationFailures([&] { return img_resize(&source, &target); });
    // Two masks and the column table are needed; the temporary and the vector path's chunk plan
    // are not: without them the work goes straight into the target, by the plain path.
    ASSERT_GE(results.size(), 5u);
    EXPECT_EQ(results[0], IMG_ERR_NO_MEMORY);
    EXPECT_EQ(results[1], IMG_ERR_NO_MEMORY);
    EXPECT_EQ(results[2], IMG_ERR_NO_MEMORY);
    for (std::size_t i = 3; i < results.size(); ++i)
        EXPECT_EQ(results[i], IMG_OK) << i;
}

TEST(ImgCopyPixels, OverlappingCopiesWithinOneImageReadNothingOverwritten)
{
    struct Case
    {
        std::uint32_t sx, sy, tx, ty;
    } shifts[] = {{0, 0, 0, 1}, {0, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 3, 2}, {3, 2, 0, 0}};
    for (std::uint32_t bits : {1u, 8u, 24u})
        for (const Case& c : shifts) {
            SCOPED_TRACE(testing::Message()
                         << bits << " bits from " << c.sx << "," << c.sy << " to " << c.tx << "," << c.ty);
            Image img(20, 12, bits), before(20, 12, bits);
            fillPattern(img.desc());
            fillPattern(before.desc());
            img_desc from, to;
            img_copy_desc(&img.desc(), &from);
            img_copy_desc(&img.desc(), &to);
            img_set_area(&from, c.sx, c.sy, c.sx + 14, c.sy + 8);
            img_set_area(&to, c.tx, c.ty, c.tx + 14, c.ty + 8);
            ASSERT_EQ(img_copy_pixels(&from, &to), IMG_OK);
            for (std::uint32_t y = 0; y < 9; ++y)
                for (std::uint32_t x = 0; x < 15; ++x)
                    ASSERT_EQ(get(img.desc(), c.tx + x, c.ty + y), get(before.desc(), c.sx + x, c.sy + y));
        }
}

TEST(ImgCopyPalette, CopiesWhatBothHold)
{
    Image a(2, 2, 8), b(2, 2, 1), c(2, 2, 24);
    a->palette[1] = tessivor::RgbQuad{9, 9, 9, 0};
    a->typeFlags = 0;
    img_copy_palette(&a, &b); // the 1-bit target holds 2 entries
    EXPECT_EQ(b->colourCount, 2u);
    EXPECT_EQ(b->palette[1].rgbRed, 9);
    EXPECT_EQ(b->typeFlags & IMG_TYPE_GRAY, 0u);
    img_copy_palette(&a, &c); // no palette: nothing
    EXPECT_EQ(c->colourCount, 0u);
}

TEST(ImgResizeSmooth, BilinearAndBoxFollowTheFixedPointForms)
{
    Image s(2, 2, 8), t(3, 3, 8);
    set(s.desc(), 0, 0, 0);
    set(s.desc(), 1, 0, 100);
    set(s.desc(), 0, 1, 200);
    set(s.desc(), 1, 1, 50);
    ASSERT_EQ(img_resize_smooth(&s, &t, 1), IMG_OK);
    // Worked by hand from the fixed-point form (the vertical step truncates before it scales).
    const std::uint32_t want[3][3] = {{0, 67, 100}, {133, 89, 67}, {200, 100, 50}};
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 3; ++x)
            EXPECT_EQ(get(t.desc(), x, y), want[y][x]) << x << "," << y;

    // Shrinking both ways averages boxes: 4 x 4 -> 2 x 2 takes 2 x 2 means, 24 bits per channel.
    Image big(4, 4, 24), small(2, 2, 24);
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 4; ++x)
            set(big.desc(), x, y, ((x * 10 + y) << 16) | ((y * 30) << 8) | (x + y * 4));
    ASSERT_EQ(img_resize_smooth(&big, &small, 1), IMG_OK);
    // Top-left box: blue (0+10+1+11)/4 = 5, green (0+0+30+30)/4 = 15, red (0+1+4+5)/4 = 2.
    EXPECT_EQ(get(small.desc(), 0, 0), (5u << 16) | (15u << 8) | 2u);
    // Bottom-right box (x 2..3, y 2..3): blue (22+23+32+33)/4 = 27, green (60+60+90+90)/4 = 75,
    // red (10+11+14+15)/4 = 12.
    EXPECT_EQ(get(small.desc(), 1, 1), (27u << 16) | (75u << 8) | 12u);
}

TEST(ImgResizeSmooth, FallbacksAndPaletteImages)
{
    // 1 bit: the nearest-neighbour result whatever the mode.
    Image b(7, 5, 1), t1(10, 3, 1), t2(10, 3, 1);
    fillPattern(b.desc());
    ASSERT_EQ(img_resize_smooth(&b, &t1, 1), IMG_OK);
    ASSERT_EQ(img_resize(&b, &t2), IMG_OK);
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 10; ++x)
            ASSERT_EQ(get(t1.desc(), x, y), get(t2.desc(), x, y));

    // Equal sizes: a plain copy (no smoothing of the pattern).
    Image c(6, 6, 24), d(6, 6, 24);
    fillPattern(c.desc());
    ASSERT_EQ(img_resize_smooth(&c, &d, 1), IMG_OK);
    for (std::uint32_t y = 0; y < 6; ++y)
        for (std::uint32_t x = 0; x < 6; ++x)
            ASSERT_EQ(get(d.desc(), x, y), get(c.desc(), x, y));

    // A palette image is worked in 24 bits and comes back on its own palette: two colours in
    // halves stay those two colours.
    Image p(8, 8, 8), q(12, 12, 8);
    p->typeFlags = 0;
    p->colourCount = 2;
    p->palette[0] = tessivor::RgbQuad{0, 0, 255, 0};
    p->palette[1] = tessivor::RgbQuad{255, 0, 0, 0};
    for (std::uint32_t y = 0; y < 8; ++y)
        for (std::uint32_t x = 0; x < 8; ++x)
            set(p.desc(), x, y, x < 4 ? 0 : 1);
    ASSERT_EQ(img_resize_smooth(&p, &q, 1), IMG_OK);
    EXPECT_EQ(q->colourCount, 2u);
    EXPECT_EQ(get(q.desc(), 0, 5), 0u);
    EXPECT_EQ(get(q.desc(), 11, 5), 1u);
    for (std::uint32_t y = 0; y < 12; ++y)
        for (std::uint32_t x = 0; x < 12; ++x)
            ASSERT_LT(get(q.desc(), x, y), 2u);

    Image e(4, 4, 8), f(4, 4, 24);
    EXPECT_EQ(img_resize_smooth(&e, &f, 1), IMG_ERR_DEPTH);

    // Temporaries of the palette path are freed whichever allocation fails.
    const auto results = imgtest::runUnderAllocationFailures([&] { return img_resize_smooth(&p, &q, 1); });
    EXPECT_GT(results.size(), 3u);
    for (std::size_t i = 0; i + 1 < results.size(); ++i)
        EXPECT_EQ(results[i], IMG_ERR_NO_MEMORY) << i;
    EXPECT_EQ(results.back(), IMG_OK);
}

TEST(ImgBits, ExtractInsertClearFillAgreeWithABitByBitModel)
{
    const std::uint8_t row[6] = {0xA5, 0x3C, 0xF0, 0x0F, 0x96, 0x69};
    auto bitOf = [](const std::uint8_t* r, std::uint32_t i) { return (r[i >> 3] >> (7 - (i & 7))) & 1; };
    for (std::uint32_t x = 0; x < 16; ++x)
        for (std::uint32_t n = 1; x + n <= 48; ++n) {
            std::uint8_t out[8];
            std::memset(out, 0xFF, sizeof out);
            img_bits_extract(row, x, n, out);
            for (std::uint32_t i = 0; i < (n + 7) / 8 * 8; ++i)
                ASSERT_EQ(bitOf(out, i), i < n ? bitOf(row, x + i) : 0u) << x << "/" << n << "/" << i;

            std::uint8_t into[6] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
            const std::uint8_t original[6] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
            img_bits_insert(into, x, n, out);
            for (std::uint32_t i = 0; i < 48; ++i)
                ASSERT_EQ(bitOf(into, i), i >= x && i < x + n ? bitOf(row, i) : bitOf(original, i));

            std::uint8_t cleared[6], filled[6];
            std::memcpy(cleared, original, 6);
            std::memcpy(filled, original, 6);
            img_bits_clear(cleared, x, n);
            img_bits_fill(filled, x, n);
            for (std::uint32_t i = 0; i < 48; ++i) {
                const bool in = i >= x && i < x + n;
                ASSERT_EQ(bitOf(cleared, i), in ? 0u : bitOf(original, i));
                ASSERT_EQ(bitOf(filled, i), in ? 1u : bitOf(original, i));
            }
        }
}

TEST(ImgPixels, PutPixelAndOffsets)
{
    Image c(5, 4, 24), g(5, 4, 8), b(10, 4, 1);
    img_put_pixel(&c, 2, 1, 0x112233);
    EXPECT_EQ(img_pixel_offset(&c, 2, 1), 6u + 2u * c->bytesPerRow);
    const std::uint8_t* p = c->pixels + img_pixel_offset(&c, 2, 1);
    EXPECT_EQ(p[0], 0x11); // blue first in storage
    EXPECT_EQ(p[2], 0x33);
    img_put_pixel(&g, 4, 3, 0x1FF);
    EXPECT_EQ(get(g.desc(), 4, 3), 0xFFu);
    img_put_pixel(&b, 9, 0, 3);
    EXPECT_EQ(get(b.desc(), 9, 0), 1u);
    img_put_pixel(&b, 9, 0, 2);
    EXPECT_EQ(get(b.desc(), 9, 0), 0u);
}

} // namespace
