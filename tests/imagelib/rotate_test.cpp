// Rotation and mirroring: quarter turns and flips bit-exact against netpbm's pamflip, angle
// normalisation, palettes, working sizes, the general-angle sampler, 1-bit images and clean-up
// when memory runs out half way.
#include "image_helpers.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

using imgtest::fillPattern;
using imgtest::get;
using imgtest::Image;
using imgtest::set;

namespace {

std::filesystem::path scratchDir()
{
    const char* home = std::getenv("TESSIVOR_TEST_HOME");
    std::filesystem::path dir = std::filesystem::path(home ? home : "/tmp") / "rotate";
    std::filesystem::create_directories(dir);
    return dir;
}

// PGM (8-bit grey) or PPM (24-bit) of the whole image, top row first, red-green-blue.
void writeNetpbm(const img_desc& d, const std::filesystem::path& file)
{
    const std::uint32_t w = img_width(&d), h = img_height(&d);
    const bool colour = img_bits(&d) == 24;
    std::ofstream out(file, std::ios::binary);
    out << (colour ? "P6\n" : "P5\n") << w << ' ' << h << "\n255\n";
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint32_t v = get(d, x, y);
            if (colour) {
                const char rgb[3] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                                     static_cast<char>(v >> 16)};
                out.write(rgb, 3);
            } else {
                out.put(static_cast<char>(v));
            }
        }
}

struct Netpbm
{
    std::uint32_t width = 0, height = 0, channels = 0;
    std::vector<std::uint8_t> samples;
};

Netpbm readNetpbm(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    in >> magic;
    Netpbm p;
    p.channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
    std::uint32_t maxval = 0;
    in >> p.width >> p.height >> maxval;
    in.get(); // the single whitespace before the samples
    p.samples.resize(static_cast<std::size_t>(p.width) * p.height * p.channels);
    in.read(reinterpret_cast<char*>(p.samples.data()), static_cast<std::streamsize>(p.samples.size()));
    if (!in || maxval != 255)
        p.channels = 0;
    return p;
}

// Our value of a netpbm pixel: the grey sample, or B << 16 | G << 8 | R.
std::uint32_t netpbmPixel(const Netpbm& p, std::uint32_t x, std::uint32_t y)
{
    const std::uint8_t* s = &p.samples[(static_cast<std::size_t>(y) * p.width + x) * p.channels];
    return p.channels == 1 ? s[0] : (s[2] << 16) | (s[1] << 8) | s[0];
}

TEST(ImgRotate, QuarterTurnsAndFlipsMatchPamflip)
{
    ASSERT_EQ(std::system("command -v pamflip > /dev/null"), 0)
        << "netpbm's pamflip is needed (scripts/packages.txt)";
    struct Op
    {
        const char* name;
        const char* pamflip;
        bool swapsSides;
        std::int32_t (*run)(img_desc*, img_desc*);
    } ops[] = {
        {"rotate 90", "-r90", true, [](img_desc* s, img_desc* t) { return img_rotate(90, s, t); }},
        {"rotate 270", "-r270", true, [](img_desc* s, img_desc* t) { return img_rotate(270, s, t); }},
        {"rotate -90", "-r270", true, [](img_desc* s, img_desc* t) { return img_rotate(-90, s, t); }},
        {"rotate_90 set", "-r90", true, [](img_desc* s, img_desc* t) { return img_rotate_90(1, s, t); }},
        {"rotate 180", "-r180", false, [](img_desc* s, img_desc* t) { return img_rotate(180, s, t); }},
        {"flip", "-lr", false, img_flip},
        {"flip vertical", "-tb", false, img_flip_vertical},
    };
    struct Size
    {
        std::uint32_t w, h;
    } sizes[] = {{7, 5}, {8, 6}, {1, 9}, {9, 1}, {16, 3}, {33, 20}, {101, 64}, {70, 71}, {161, 50}, {64, 96}};
    const std::filesystem::path dir = scratchDir();
    for (std::uint32_t bits : {8u, 24u})
        for (const Size& size : sizes) {
            Image source(size.w, size.h, bits);
            fillPattern(source.desc());
            const std::filesystem::path in = dir / ("in" + std::string(bits == 8 ? ".pgm" : ".ppm"));
            writeNetpbm(source.desc(), in);
            for (const Op& op : ops) {
                SCOPED_TRACE(testing::Message()
                             << op.name << ", " << bits << " bits, " << size.w << "x" << size.h);
                const std::filesystem::path out = dir / "out.pnm";
                const std::string command =
                    std::string("pamflip ") + op.pamflip + " '" + in.string() + "' > '" + out.string() + "'";
                ASSERT_EQ(std::system(command.c_str()), 0);
                const Netpbm want = readNetpbm(out);
                ASSERT_NE(want.channels, 0u);
                // Both the vector path (where the processor has it) and the plain path.
                for (bool vector : {true, false}) {
                    SCOPED_TRACE(vector ? "vector path allowed" : "plain path");
                    img_allow_vector_paths(vector);
                    Image target(op.swapsSides ? size.h : size.w, op.swapsSides ? size.w : size.h, bits);
                    ASSERT_EQ(op.run(&source, &target), IMG_OK);
                    ASSERT_EQ(img_width(&target), want.width);
                    ASSERT_EQ(img_height(&target), want.height);
                    for (std::uint32_t y = 0; y < want.height; ++y)
                        for (std::uint32_t x = 0; x < want.width; ++x)
                            ASSERT_EQ(get(target.desc(), x, y), netpbmPixel(want, x, y)) << x << "," << y;
                }
            }
        }
    img_allow_vector_paths(true);
}

// The result of rotating a fresh copy of `source` by `angle` into a target of `w` x `h`.
std::vector<std::uint32_t> rotated(img_desc* source, double angle, std::uint32_t w, std::uint32_t h)
{
    Image target(w, h, img_bits(source));
    EXPECT_EQ(img_rotate(angle, source, &target), IMG_OK) << angle;
    std::vector<std::uint32_t> pixels;
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            pixels.push_back(get(target.desc(), x, y));
    return pixels;
}

TEST(ImgRotate, AnglesAreTakenModuloWholeTurns)
{
    Image source(6, 4, 24);
    fillPattern(source.desc());
    const auto identity = rotated(&source, 0, 6, 4);
    for (double a : {360.0, 720.0, -360.0, -720.0, 3600.0})
        EXPECT_EQ(rotated(&source, a, 6, 4), identity) << a;
    EXPECT_EQ(rotated(&source, -90, 4, 6), rotated(&source, 270, 4, 6));
    EXPECT_EQ(rotated(&source, 450, 4, 6), rotated(&source, 90, 4, 6));
    EXPECT_EQ(rotated(&source, -270, 4, 6), rotated(&source, 90, 4, 6));
    EXPECT_EQ(rotated(&source, 540, 6, 4), rotated(&source, 180, 6, 4));
    EXPECT_NE(rotated(&source, 90, 4, 6), rotated(&source, 270, 4, 6));

    // Huge and non-finite angles come back at once.
    Image target(6, 4, 24);
    EXPECT_EQ(img_rotate(1e300, &source, &target), IMG_OK);
    EXPECT_EQ(img_rotate(std::numeric_limits<double>::infinity(), &source, &target), IMG_ERR_RANGE);
    EXPECT_EQ(img_rotate(std::numeric_limits<double>::quiet_NaN(), &source, &target), IMG_ERR_RANGE);
}

TEST(ImgRotate, PalettesOfZeroAndHalfTurns)
{
    Image source(4, 3, 8), target(4, 3, 8);
    fillPattern(source.desc());
    source->typeFlags = 0;
    source->palette[5] = tessivor::RgbQuad{10, 20, 30, 0};
    source->colourCount = 200;
    // 0 degrees copies pixels and palette.
    ASSERT_EQ(img_rotate(0, &source, &target), IMG_OK);
    EXPECT_EQ(target->palette[5].rgbRed, 30);
    EXPECT_EQ(target->colourCount, 200u);
    EXPECT_EQ(get(target.desc(), 3, 2), get(source.desc(), 3, 2));
    // 180 degrees leaves the target its own palette.
    Image turned(4, 3, 8);
    ASSERT_EQ(img_rotate(180, &source, &turned), IMG_OK);
    EXPECT_EQ(turned->palette[5].rgbRed, 5);
    EXPECT_EQ(turned->typeFlags, IMG_TYPE_GRAY);
    EXPECT_EQ(get(turned.desc(), 0, 0), get(source.desc(), 3, 2));
    // 90 degrees of a palette image moves indices and gives the target the palette.
    Image quarter(3, 4, 8);
    ASSERT_EQ(img_rotate(90, &source, &quarter), IMG_OK);
    EXPECT_EQ(quarter->palette[5].rgbRed, 30);
    EXPECT_EQ(get(quarter.desc(), 0, 0), get(source.desc(), 3, 0));
}

TEST(ImgRotate, QuarterTurnIntoOtherSizesUsesTheCentredWorkingSize)
{
    // Into a larger target only the rotated source's box is written; the rest keeps its pixels.
    Image source(4, 6, 8), large(10, 10, 8);
    fillPattern(source.desc());
    for (std::uint32_t y = 0; y < 10; ++y)
        for (std::uint32_t x = 0; x < 10; ++x)
            set(large.desc(), x, y, 77);
    ASSERT_EQ(img_rotate(90, &source, &large), IMG_OK);
    for (std::uint32_t y = 0; y < 10; ++y)
        for (std::uint32_t x = 0; x < 10; ++x) {
            if (x < 6 && y < 4) // the source's column 3 - y, row x
                ASSERT_EQ(get(large.desc(), x, y), get(source.desc(), 3 - y, x)) << x << "," << y;
            else
                ASSERT_EQ(get(large.desc(), x, y), 77u) << x << "," << y;
        }

    // Into a smaller target the middle of the source is taken: a 6 x 4 source into 2 x 3 uses
    // columns 1 to 3 and rows 1 to 2.
    Image wide(6, 4, 8), small(2, 3, 8);
    fillPattern(wide.desc());
    ASSERT_EQ(img_rotate(90, &wide, &small), IMG_OK);
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 2; ++x)
            EXPECT_EQ(get(small.desc(), x, y), get(wide.desc(), 1 + (2 - y), 1 + x)) << x << "," << y;
    ASSERT_EQ(img_rotate(270, &wide, &small), IMG_OK);
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 2; ++x)
            EXPECT_EQ(get(small.desc(), x, y), get(wide.desc(), 1 + y, 1 + (1 - x))) << x << "," << y;
}

TEST(ImgRotate, GeneralAngleKeepsTheCentreAndLeavesCornersAlone)
{
    Image source(9, 9, 24), target(9, 9, 24);
    for (std::uint32_t y = 0; y < 9; ++y)
        for (std::uint32_t x = 0; x < 9; ++x)
            set(source.desc(), x, y, 0x404040);
    set(source.desc(), 4, 4, 0xA0B0C0); // the centre
    ASSERT_EQ(img_rotate(45, &source, &target), IMG_OK);
    EXPECT_EQ(get(target.desc(), 4, 4), 0xA0B0C0u);
    // The corners of the square turned by 45 degrees lie outside the source: they stay black.
    for (auto [x, y] : {std::pair{0u, 0u}, {8u, 0u}, {0u, 8u}, {8u, 8u}})
        EXPECT_EQ(get(target.desc(), x, y), 0u) << x << "," << y;
    // The middle of each side lies inside it.
    for (auto [x, y] : {std::pair{4u, 0u}, {0u, 4u}, {8u, 4u}, {4u, 8u}})
        EXPECT_EQ(get(target.desc(), x, y), 0x404040u) << x << "," << y;

    // 30 degrees of a grey image: every written pixel lies between the source's extremes.
    Image grey(20, 12, 8), greyTarget(20, 12, 8);
    for (std::uint32_t y = 0; y < 12; ++y)
        for (std::uint32_t x = 0; x < 20; ++x)
            set(grey.desc(), x, y, 50 + (x * 7 + y * 3) % 100);
    ASSERT_EQ(img_rotate(30, &grey, &greyTarget), IMG_OK);
    EXPECT_EQ(get(greyTarget.desc(), 0, 0), 0u);
    for (std::uint32_t y = 0; y < 12; ++y)
        for (std::uint32_t x = 0; x < 20; ++x) {
            const std::uint32_t v = get(greyTarget.desc(), x, y);
            ASSERT_TRUE(v == 0 || (v >= 50 && v < 150)) << x << "," << y << ": " << v;
        }
}

TEST(ImgRotate, OneBitImagesComeBackAsOneBit)
{
    Image source(13, 9, 1), target(13, 9, 1);
    fillPattern(source.desc());
    ASSERT_EQ(img_rotate(30, &source, &target), IMG_OK);
    EXPECT_EQ(img_bits(&target), 1u);
    EXPECT_EQ(target->colourCount, 2u);
    EXPECT_EQ(target->palette[0].rgbRed, 0);
    EXPECT_EQ(target->palette[1].rgbGreen, 255);

    // A quarter turn of a 1-bit image is still an exact permutation.
    Image quarter(9, 13, 1);
    ASSERT_EQ(img_rotate(90, &source, &quarter), IMG_OK);
    for (std::uint32_t y = 0; y < 13; ++y)
        for (std::uint32_t x = 0; x < 9; ++x)
            ASSERT_EQ(get(quarter.desc(), x, y), get(source.desc(), 12 - y, x)) << x << "," << y;
}

TEST(ImgRotate, GeneralAngleOfAPaletteImageStaysOnItsPalette)
{
    Image source(16, 16, 8), target(16, 16, 8);
    source->typeFlags = 0;
    source->colourCount = 3;
    source->palette[0] = tessivor::RgbQuad{0, 0, 0, 0};
    source->palette[1] = tessivor::RgbQuad{0, 0, 255, 0};
    source->palette[2] = tessivor::RgbQuad{255, 0, 0, 0};
    for (std::uint32_t y = 0; y < 16; ++y)
        for (std::uint32_t x = 0; x < 16; ++x)
            set(source.desc(), x, y, x < 8 ? 1 : 2);
    ASSERT_EQ(img_rotate(20, &source, &target), IMG_OK);
    EXPECT_EQ(target->colourCount, 3u);
    EXPECT_EQ(target->palette[1].rgbRed, 255);
    for (std::uint32_t y = 0; y < 16; ++y)
        for (std::uint32_t x = 0; x < 16; ++x)
            ASSERT_LT(get(target.desc(), x, y), 3u);
    EXPECT_EQ(get(target.desc(), 3, 8), 1u);  // left half stays red
    EXPECT_EQ(get(target.desc(), 12, 8), 2u); // right half blue
}

TEST(ImgRotate, RejectedDepthsAndDescriptors)
{
    Image g16(4, 4, 16), c24(4, 4, 24), g8(4, 4, 8);
    EXPECT_EQ(img_rotate(90, &g16, &g16), IMG_ERR_DEPTH);
    EXPECT_EQ(img_rotate(90, &g8, &c24), IMG_ERR_DEPTH);
    EXPECT_EQ(img_flip(&g8, &c24), IMG_ERR_DEPTH);
    EXPECT_EQ(img_flip_vertical(&g16, &g16), IMG_ERR_DEPTH);
    img_desc empty;
    EXPECT_EQ(img_rotate(45, &empty, &c24), IMG_ERR_NO_PIXELS);
}

TEST(ImgFlip, InPlaceTwiceRestoresAndTheMiddleRowStays)
{
    for (std::uint32_t bits : {1u, 8u, 24u}) {
        Image img(11, 7, bits), original(11, 7, bits);
        fillPattern(img.desc());
        fillPattern(original.desc());
        img_set_area(&img, 2, 1, 9, 5); // odd number of rows, area inside the image
        ASSERT_EQ(img_flip(&img, &img), IMG_OK);
        EXPECT_EQ(get(img.desc(), 2, 1), get(original.desc(), 9, 1)) << bits;
        EXPECT_EQ(get(img.desc(), 1, 1), get(original.desc(), 1, 1)) << bits; // outside the area
        ASSERT_EQ(img_flip(&img, &img), IMG_OK);
        ASSERT_EQ(img_flip_vertical(&img, &img), IMG_OK);
        EXPECT_EQ(get(img.desc(), 4, 3), get(original.desc(), 4, 3)) << bits; // middle row
        EXPECT_EQ(get(img.desc(), 4, 1), get(original.desc(), 4, 5)) << bits;
        ASSERT_EQ(img_flip_vertical(&img, &img), IMG_OK);
        for (std::uint32_t y = 0; y < 7; ++y)
            for (std::uint32_t x = 0; x < 11; ++x)
                ASSERT_EQ(get(img.desc(), x, y), get(original.desc(), x, y)) << bits << ": " << x << "," << y;
    }
}

TEST(ImgRotate, WorkingImagesAreFreedWhateverAllocationFails)
{
    struct Case
    {
        const char* what;
        std::uint32_t bits;
        bool palette;
        double angle;
    } cases[] = {
        {"1 bit, general angle", 1, false, 30},
        {"1 bit, quarter turn", 1, false, 90},
        {"palette, general angle", 8, true, 30},
        {"24 bits into itself", 24, false, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image source(24, 16, c.bits), target(24, 16, c.bits);
        fillPattern(source.desc());
        if (c.palette) {
            source->typeFlags = 0;
            target->typeFlags = 0;
        }
        img_desc* to = std::string(c.what).find("itself") != std::string::npos ? &source : &target;
        const auto results =
            imgtest::runUnderAllocationFailures([&] { return img_rotate(c.angle, &source, to); });
        ASSERT_GE(results.size(), 2u);
        for (std::size_t i = 0; i + 1 < results.size(); ++i)
            EXPECT_EQ(results[i], IMG_ERR_NO_MEMORY) << "allocation " << i + 1;
        EXPECT_EQ(results.back(), IMG_OK);
    }
}

} // namespace
