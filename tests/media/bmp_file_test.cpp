// Bitmap files read back by ImageMagick's convert: every pixel format, both row orders, rows with
// padding beyond the DIB's own; views that cannot be written leave the file as it was.
#include "media/bmp_file.h"
#include "media_tools.h"

#include "platform/dib.h"

#include <gtest/gtest.h>

#include <array>

using namespace tessivor;
using namespace mediatest;

namespace {

constexpr int kWidth = 5; // odd, so that 24-bit rows need padding
constexpr int kHeight = 3;

// The colour of pixel (x, y) counted from the top; six colours, none of them grey.
std::array<std::uint8_t, 3> colourAt(int x, int y, int colours)
{
    static constexpr std::uint8_t kTable[6][3] = {{250, 0, 0},   {0, 250, 0},   {0, 0, 250},
                                                  {250, 250, 0}, {0, 250, 250}, {250, 0, 250}};
    const auto* c = kTable[(x + 2 * y) % colours];
    return {c[0], c[1], c[2]};
}

struct Format
{
    const char* name;
    int bits;
    bool bottomUp;
    std::uint32_t extraStride; // bytes after each row beyond the DIB's padding
};

// A view of the test picture in `format`; `bits` and `palette` hold its storage.
DibView makeView(const Format& f, std::vector<std::uint8_t>& bits, std::vector<RgbQuad>& palette)
{
    const int colours = f.bits == 1 ? 2 : 6;
    palette.clear();
    for (int i = 0; i < colours; ++i) {
        const auto c = colourAt(i, 0, colours);
        palette.push_back(RgbQuad{c[2], c[1], c[0], 0});
    }
    const std::uint32_t stride = dibStride(kWidth, static_cast<std::uint32_t>(f.bits)) + f.extraStride;
    bits.assign(stride * kHeight, 0xA5); // padding that a writer must not show
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row =
            bits.data() + stride * static_cast<std::uint32_t>(f.bottomUp ? kHeight - 1 - y : y);
        for (int x = 0; x < kWidth; ++x) {
            const auto c = colourAt(x, y, colours);
            const int index = (x + 2 * y) % colours;
            switch (f.bits) {
            case 1:
                if (x % 8 == 0)
                    row[x / 8] = 0;
                row[x / 8] |= static_cast<std::uint8_t>(index << (7 - x % 8));
                break;
            case 8:
                row[x] = static_cast<std::uint8_t>(index);
                break;
            default: {
                const int bytes = f.bits / 8;
                row[x * bytes] = c[2];
                row[x * bytes + 1] = c[1];
                row[x * bytes + 2] = c[0];
                if (bytes == 4)
                    row[x * bytes + 3] = 0;
            }
            }
        }
    }
    DibView view;
    view.width = kWidth;
    view.height = kHeight;
    view.bottomUp = f.bottomUp;
    view.bitCount = f.bits;
    view.stride = stride;
    view.bits = bits.data();
    view.palette = f.bits <= 8 ? palette.data() : nullptr;
    view.colours = f.bits <= 8 ? colours : 0;
    return view;
}

TEST(BmpFile, EveryFormatReadsBackPixelForPixel)
{
    const Format formats[] = {
        {"24 bits bottom-up", 24, true, 0},  {"24 bits top-down", 24, false, 0},
        {"24 bits wide rows", 24, true, 8},  {"32 bits", 32, true, 0},
        {"8 bits with palette", 8, true, 0}, {"1 bit with palette", 1, false, 4},
    };
    const auto dir = freshDir("bmp_formats");
    for (const Format& f : formats) {
        SCOPED_TRACE(f.name);
        std::vector<std::uint8_t> bits;
        std::vector<RgbQuad> palette;
        const DibView view = makeView(f, bits, palette);
        const auto file = dir / "picture.bmp";
        ASSERT_EQ(writeBmpFile(file, view), ReplaceResult::Ok);

        // The size the headers give is the file's, and its rows carry only the DIB's padding.
        const auto bytes = readFile(file);
        const std::uint32_t colours = f.bits <= 8 ? static_cast<std::uint32_t>(view.colours) : 0;
        const std::size_t expected = 54 + colours * 4 + dibStride(kWidth, f.bits) * kHeight;
        ASSERT_EQ(bytes.size(), expected);
        EXPECT_EQ(bytes[2] | bytes[3] << 8 | bytes[4] << 16 | bytes[5] << 24, static_cast<int>(expected));

        const auto ppm = dir / "picture.ppm";
        const auto r =
            run("/usr/bin/convert " + quote(file.string()) + " -depth 8 " + quote("ppm:" + ppm.string()));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        Picture back;
        ASSERT_TRUE(readPpm(ppm, &back));
        ASSERT_EQ(back.width, kWidth);
        ASSERT_EQ(back.height, kHeight);
        const int paletteColours = f.bits == 1 ? 2 : 6;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const auto c = colourAt(x, y, paletteColours);
                const std::uint8_t* got = back.rgb.data() + (static_cast<std::size_t>(y) * kWidth + x) * 3;
                EXPECT_EQ(std::vector<int>(got, got + 3), std::vector<int>(c.begin(), c.end()))
                    << "pixel " << x << "," << y;
            }
    }
}

TEST(BmpFile, UnwritableViewsLeaveTheFileAlone)
{
    const auto dir = freshDir("bmp_refused");
    const auto file = dir / "kept.bmp";
    const std::vector<std::uint8_t> old{'o', 'l', 'd'};
    ASSERT_TRUE(writeFile(file, old));

    std::vector<std::uint8_t> bits;
    std::vector<RgbQuad> palette;
    const DibView good = makeView({"24 bits", 24, true, 0}, bits, palette);
    std::vector<std::pair<const char*, DibView>> bad;
    DibView v = good;
    v.bits = nullptr;
    bad.emplace_back("no pixels", v);
    v = good;
    v.width = 0;
    bad.emplace_back("no width", v);
    v = good;
    v.stride = dibStride(kWidth, 24) - 4;
    bad.emplace_back("rows shorter than the width", v);
    v = good;
    v.bitCount = 12;
    bad.emplace_back("unknown bit count", v);
    std::vector<std::uint8_t> indexed;
    std::vector<RgbQuad> indexedPalette;
    v = makeView({"8 bits", 8, true, 0}, indexed, indexedPalette);
    v.palette = nullptr;
    bad.emplace_back("8 bits without a colour table", v);

    for (const auto& [name, view] : bad) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(bmpFileBytes(view).empty());
        EXPECT_EQ(writeBmpFile(file, view), ReplaceResult::CannotCreate);
        EXPECT_EQ(readFile(file), old);
    }
    EXPECT_EQ(writeBmpFile(dir / "missing" / "x.bmp", good), ReplaceResult::CannotCreate);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1); // no temporary file left
}

} // namespace
