// The TIFF entry points: file layout, strips, pages and append, queries, and bad or hostile
// files and failed saves that must leave existing files as they were.
#include "tiff_support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tifftest;
using jpegtest::readFile;
using jpegtest::writeFile;

namespace {

Bytes saveToMemory(img_desc* desc, std::int32_t flags)
{
    void* block = nullptr;
    EXPECT_EQ(img_save_tiff_mem(&block, desc, flags), 0);
    Bytes b(static_cast<const std::uint8_t*>(block),
            static_cast<const std::uint8_t*>(block) + img_block_size(block));
    img_block_free(block);
    return b;
}

std::int32_t loadMemory(const Bytes& b, img_desc* desc)
{
    return img_load_tiff_mem(b.data(), static_cast<std::uint32_t>(b.size()), desc);
}

TEST(TiffLayout, OnePixelIsOneInlineStrip)
{
    imgtest::Image image(1, 1, 8);
    const Bytes file = saveToMemory(&image.desc(), IMG_TIFF_NONE);
    const auto fields = firstDirectory(file);
    EXPECT_EQ(fields.at(273).count, 1u);
    EXPECT_EQ(fields.at(273).value, 8u + 272 + 8) << "the strip follows the 8 unused bytes";
    EXPECT_EQ(fields.at(279).value, 1u);
    EXPECT_EQ(fields.at(278).value, 1u);
    EXPECT_EQ(file.size(), 8u + 272 + 8 + 1);
}

TEST(TiffLayout, StripsOfAtMost16KiBUnlessOneIsAsked)
{
    imgtest::Image image(100, 400, 8);
    fillPicture(image.desc(), 2);
    for (bool one : {false, true}) {
        const Bytes file = saveToMemory(&image.desc(), one ? IMG_TIFF_ONE_STRIP : IMG_TIFF_NONE);
        const auto fields = firstDirectory(file);
        EXPECT_EQ(fields.at(278).value, one ? 400u : 163u);
        ASSERT_EQ(fields.at(279).count, one ? 1u : 3u);
        if (!one) {
            const std::uint32_t counts = fields.at(279).value;
            EXPECT_EQ(le32(file, counts), 16300u);
            EXPECT_EQ(le32(file, counts + 4), 16300u);
            EXPECT_EQ(le32(file, counts + 8), 7400u);
        }
        imgtest::Image back(100, 400, 8);
        ASSERT_EQ(loadMemory(file, &back.desc()), 0);
        std::string why;
        EXPECT_TRUE(sameImage(image.desc(), back.desc(), why)) << why;
    }
}

TEST(TiffLayout, ColourMapAlwaysHoldsEveryEntryOfTheDepth)
{
    imgtest::Image image(30, 20, 8);
    fillPicture(image.desc(), 4, true, 5);
    const Bytes file = saveToMemory(&image.desc(), IMG_TIFF_LZW);
    const auto fields = firstDirectory(file);
    EXPECT_EQ(fields.at(262).value, 3u);
    EXPECT_EQ(fields.at(320).count, 768u);
    tessivor::RgbQuad palette[256];
    EXPECT_EQ(img_tiff_palette_mem(file.data(), static_cast<std::uint32_t>(file.size()), palette), 256);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(palette[i].rgbRed, image->palette[i].rgbRed);
        EXPECT_EQ(palette[i].rgbBlue, image->palette[i].rgbBlue);
    }
    EXPECT_EQ(palette[5].rgbGreen, 0);
    imgtest::Image back(30, 20, 8);
    ASSERT_EQ(loadMemory(file, &back.desc()), 0);
    EXPECT_EQ(back->colourCount, 256u);
    EXPECT_FALSE(back->typeFlags & IMG_TYPE_GRAY);
    std::string why;
    EXPECT_TRUE(sameImage(image.desc(), back.desc(), why)) << why;
}

TEST(TiffLayout, ResolutionHoldsForOneSave)
{
    imgtest::Image image(4, 4, 24);
    img_tiff_set_resolution(200, -5, 3);
    const auto first = scratch() / "res1.tif", second = scratch() / "res2.tif";
    ASSERT_EQ(img_save_tiff(first.c_str(), &image.desc(), 0), 0);
    ASSERT_EQ(img_save_tiff(second.c_str(), &image.desc(), 0), 0);
    std::int32_t x = 0, y = 0, unit = 0;
    ASSERT_EQ(img_tiff_resolution(first.c_str(), &x, &y, &unit), 0);
    EXPECT_EQ(std::vector<std::int32_t>({x, y, unit}), (std::vector<std::int32_t>{200, 300, 3}));
    ASSERT_EQ(img_tiff_index_resolution(second.c_str(), &x, &y, &unit, 0), 0);
    EXPECT_EQ(std::vector<std::int32_t>({x, y, unit}), (std::vector<std::int32_t>{300, 300, 2}));
}

TEST(TiffSave, RefusedFlagsAndPairs)
{
    imgtest::Image bits16(8, 8, 16), bits8(8, 8, 8);
    EXPECT_EQ(img_save_tiff_mem(nullptr, &bits8.desc(), 5), -9);
    EXPECT_EQ(img_save_tiff_mem(nullptr, &bits8.desc(), 0x40), -9);
    void* block = nullptr;
    EXPECT_EQ(img_save_tiff_mem(&block, &bits16.desc(), IMG_TIFF_LZW), -9);
    EXPECT_EQ(img_save_tiff_mem(&block, &bits8.desc(), IMG_TIFF_CCITT_G4), -9);
    EXPECT_EQ(block, nullptr);
    img_desc empty;
    EXPECT_EQ(img_save_tiff_mem(&block, &empty, 0), -42);
}

TEST(TiffLoad, AreaTakesWhatFitsAndKeepsTheRest)
{
    imgtest::Image page(20, 10, 8);
    fillPicture(page.desc(), 5);
    const Bytes file = saveToMemory(&page.desc(), IMG_TIFF_PACKBITS);
    // A smaller area: the page's top-left part.
    imgtest::Image small(30, 30, 8);
    img_set_area(&small.desc(), 2, 3, 9, 6);
    ASSERT_EQ(loadMemory(file, &small.desc()), 0);
    for (std::uint32_t y = 0; y < 30; ++y)
        for (std::uint32_t x = 0; x < 30; ++x) {
            const bool inside = x >= 2 && x <= 9 && y >= 3 && y <= 6;
            ASSERT_EQ(imgtest::get(small.desc(), x, y), inside ? imgtest::get(page.desc(), x - 2, y - 3) : 0u)
                << x << "," << y;
        }
    // A larger area: the page fills its top-left corner.
    imgtest::Image large(25, 12, 8);
    ASSERT_EQ(loadMemory(file, &large.desc()), 0);
    EXPECT_EQ(imgtest::get(large.desc(), 19, 9), imgtest::get(page.desc(), 19, 9));
    EXPECT_EQ(imgtest::get(large.desc(), 20, 9), 0u);
    EXPECT_EQ(imgtest::get(large.desc(), 0, 10), 0u);
}

TEST(TiffLoad, DepthMustMatch)
{
    imgtest::Image page(8, 8, 24);
    const Bytes file = saveToMemory(&page.desc(), 0);
    for (std::uint32_t bits : {1u, 8u, 16u}) {
        imgtest::Image other(8, 8, bits);
        EXPECT_EQ(loadMemory(file, &other.desc()), -26) << bits;
    }
}

TEST(TiffPages, AppendingCreatesAndLinks)
{
    imgtest::Image image(16, 4, 1);
    const auto file = scratch() / "append.tif";
    std::filesystem::remove(file);
    ASSERT_EQ(img_append_tiff(file.c_str(), &image.desc(), IMG_TIFF_CCITT_G4, 5), 0);
    auto fields = firstDirectory(readFile(file));
    EXPECT_EQ(fields.at(297).value, 5u | (1u << 16));
    EXPECT_EQ(fields.at(254).value, 2u);
    EXPECT_EQ(fields.at(255).value, 3u);

    // A plain two-page file: the first page has no PageNumber, the second gets one.
    const auto two = scratch() / "two.tif";
    ASSERT_EQ(img_save_tiff(two.c_str(), &image.desc(), 0), 0);
    ASSERT_EQ(img_append_tiff(two.c_str(), &image.desc(), 0, 7), 0);
    ASSERT_EQ(img_append_tiff(two.c_str(), &image.desc(), 0, 9), 0);
    const Bytes b = readFile(two);
    std::uint32_t at = le32(b, 4);
    std::vector<std::uint32_t> totals;
    while (at) {
        const auto dir = directoryAt(b, at);
        if (dir.count(297))
            totals.push_back(dir.at(297).value >> 16);
        at = le32(b, at + 2 + 12u * le16(b, at));
    }
    EXPECT_EQ(totals, (std::vector<std::uint32_t>{3, 3}));
    std::int32_t count = 0, numbers[3];
    ASSERT_EQ(img_tiff_page_count(two.c_str(), &count, numbers, 3), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::vector<std::int32_t>(numbers, numbers + 3), (std::vector<std::int32_t>{0, 7, 9}));

    TiffPageInfo info;
    EXPECT_EQ(img_tiff_page_info(two.c_str(), &info, 8), -51);
    EXPECT_EQ(img_tiff_page_info(two.c_str(), &info, 9), 0);
    EXPECT_EQ(img_tiff_page_info(two.c_str(), &info, -1), 0);
    EXPECT_EQ(img_tiff_index_info(two.c_str(), &info, 3), -51);
    EXPECT_EQ(img_append_tiff(two.c_str(), &image.desc(), 0, -1), -1);
}

TEST(TiffPages, FailedSavesAndAppendsLeaveTheFileAsItWas)
{
    imgtest::Image image(16, 4, 8);
    const auto file = scratch() / "keep.tif";
    ASSERT_EQ(img_save_tiff(file.c_str(), &image.desc(), 0), 0);
    const Bytes before = readFile(file);

    // The writer fails in the middle: a row of 20,000 alternating pixels is too much for G4.
    imgtest::Image busy(20000, 2, 1);
    std::memset(busy->pixels, 0xAA, busy->bytesPerRow * 2);
    EXPECT_EQ(img_save_tiff(file.c_str(), &busy.desc(), IMG_TIFF_CCITT_G4), -44);
    EXPECT_EQ(img_append_tiff(file.c_str(), &busy.desc(), IMG_TIFF_CCITT_G4, 1), -44);
    EXPECT_EQ(img_tiff_status(), -44 | 0x10000000);
    EXPECT_EQ(readFile(file), before);

    // Not a TIFF, and a big-endian TIFF: the append is refused and nothing changes.
    const auto text = scratch() / "text.tif";
    writeFile(text, Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
    EXPECT_EQ(img_append_tiff(text.c_str(), &image.desc(), 0, 1), -6);
    EXPECT_EQ(readFile(text).size(), 11u);
    const auto big = scratch() / "big.tif";
    Bytes mm = before;
    mm[0] = mm[1] = 'M';
    mm[2] = 0;
    mm[3] = 42;
    writeFile(big, mm);
    EXPECT_EQ(img_append_tiff(big.c_str(), &image.desc(), 0, 1), -69);
    EXPECT_EQ(readFile(big), mm);

    // An output that cannot be created.
    EXPECT_EQ(img_save_tiff((scratch() / "no-such-folder" / "x.tif").c_str(), &image.desc(), 0), -10);
    // No temporary file stays behind.
    for (const auto& e : std::filesystem::directory_iterator(scratch()))
        EXPECT_EQ(e.path().string().find(".new"), std::string::npos) << e.path();
}

TEST(TiffLoad, FirstByteCountLargerThanTheFileUsesTheOffsets)
{
    imgtest::Image image(100, 400, 8);
    fillPicture(image.desc(), 8);
    Bytes file = saveToMemory(&image.desc(), IMG_TIFF_NONE);
    const std::uint32_t counts = firstDirectory(file).at(279).value;
    file[counts + 3] = 0x7F;
    imgtest::Image back(100, 400, 8);
    ASSERT_EQ(loadMemory(file, &back.desc()), 0);
    std::string why;
    EXPECT_TRUE(sameImage(image.desc(), back.desc(), why)) << why;
}

// ---- hostile and broken files ----

TEST(TiffHostile, TruncatedDataKeepsTheRowsDecodedSoFar)
{
    for (std::int32_t flags : {IMG_TIFF_NONE, IMG_TIFF_LZW, IMG_TIFF_PACKBITS}) {
        imgtest::Image image(100, 400, 8);
        fillPicture(image.desc(), 9);
        Bytes file = saveToMemory(&image.desc(), flags);
        ASSERT_GT(file.size(), 2000u);
        file.erase(file.end() - 2000, file.end());
        imgtest::Image back(100, 400, 8);
        std::memset(back->pixels, 7, back->bytesPerRow * 400);
        EXPECT_EQ(loadMemory(file, &back.desc()), -62) << flags;
        EXPECT_EQ(imgtest::get(back.desc(), 50, 10), imgtest::get(image.desc(), 50, 10)) << flags;
        EXPECT_EQ(imgtest::get(back.desc(), 50, 399), 7u) << flags;
        EXPECT_TRUE(back->typeFlags & IMG_TYPE_GRAY) << "the palette step still ran";
    }
}

TEST(TiffHostile, BrokenStructuresAreRefused)
{
    imgtest::Image image(100, 400, 8);
    fillPicture(image.desc(), 10);
    const Bytes good = saveToMemory(&image.desc(), IMG_TIFF_NONE);
    const auto fields = firstDirectory(good);
    const std::uint32_t dir = le32(good, 4);
    const auto entryOf = [&](std::uint16_t tag) {
        for (std::uint32_t i = 0; i < le16(good, dir); ++i)
            if (le16(good, dir + 2 + 12 * i) == tag)
                return dir + 2 + 12 * i;
        return 0u;
    };
    const auto patched = [&](std::size_t at, std::uint32_t v, int bytes = 4) {
        Bytes b = good;
        for (int i = 0; i < bytes; ++i)
            b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        return b;
    };
    struct Case
    {
        const char* what;
        Bytes file;
        std::int32_t code;
    };
    const std::uint32_t offsets = fields.at(273).value;
    const Case cases[] = {
        {"not a header", patched(0, 0x2A2A, 2), -6},
        {"wrong version", patched(2, 43, 2), -6},
        {"directory beyond the end", patched(4, 0x7FFFFF00), -6},
        {"directory chain that loops", patched(dir + 2 + 12 * le16(good, dir), dir), 0},
        {"strip offsets beyond the end", patched(offsets + 4, 0xFFFFFF00), -62},
        {"a strip count of a billion", patched(entryOf(273) + 4, 1000000000), -6},
        {"width of a single-value field with count 2", patched(entryOf(256) + 4, 2), -6},
        {"width 0", patched(entryOf(256) + 8, 0), -6},
        {"compression 7", patched(entryOf(259) + 8, 7, 2), -9},
        {"no StripOffsets", patched(entryOf(273), 999, 2), -6},
        {"BitsPerSample with five values", patched(entryOf(258) + 4, 5), -6},
        {"a width of two billion", patched(entryOf(256) + 8, 2000000000), -9},
        {"an empty file", Bytes{}, -4},
        {"a header alone", Bytes(good.begin(), good.begin() + 8), -6},
    };
    for (const Case& c : cases) {
        imgtest::Image back(100, 400, 8);
        EXPECT_EQ(loadMemory(c.file, &back.desc()), c.code) << c.what;
    }
    // The looping chain loads its first page, but counting its pages is refused.
    const Bytes loop = patched(dir + 2 + 12 * le16(good, dir), dir);
    const auto loopFile = scratch() / "loop.tif";
    writeFile(loopFile, loop);
    std::int32_t count = 0;
    EXPECT_EQ(img_tiff_page_count(loopFile.c_str(), &count, nullptr, 0), -6);
    EXPECT_EQ(img_tiff_index_info(loopFile.c_str(), nullptr, 0), -1);
    TiffPageInfo info;
    EXPECT_EQ(img_tiff_index_info(loopFile.c_str(), &info, 5), -6);
}

TEST(TiffHostile, PaletteNeverPassesTheImagesRoom)
{
    // A bitmap page with a 256-colour map: the 1-bit image takes 2 entries.
    imgtest::Image palette(8, 8, 8);
    fillPicture(palette.desc(), 1, true, 200);
    Bytes file = saveToMemory(&palette.desc(), IMG_TIFF_NONE);
    const std::uint32_t dir = le32(file, 4);
    for (std::uint32_t i = 0; i < le16(file, dir); ++i) {
        const std::uint32_t e = dir + 2 + 12 * i;
        if (le16(file, e) == 258)
            file[e + 8] = 1; // BitsPerSample 1
    }
    imgtest::Image bitmap(8, 8, 1);
    EXPECT_EQ(loadMemory(file, &bitmap.desc()), 0);
    EXPECT_LE(bitmap->colourCount, 2u);
}

TEST(TiffLoad, WideNamesAndMissingFiles)
{
    imgtest::Image image(9, 9, 24);
    fillPicture(image.desc(), 11);
    const std::wstring wide = scratch().wstring() + L"/wide-\u00e9.tif";
    ASSERT_EQ(img_save_tiff_w(wide.c_str(), &image.desc(), IMG_TIFF_LZW), 0);
    imgtest::Image back(9, 9, 24);
    ASSERT_EQ(img_load_tiff_w(wide.c_str(), &back.desc()), 0);
    std::string why;
    EXPECT_TRUE(sameImage(image.desc(), back.desc(), why)) << why;
    EXPECT_EQ(img_load_tiff((scratch() / "missing.tif").c_str(), &back.desc()), -4);
    TiffPageInfo info;
    ASSERT_EQ(img_tiff_info_w(wide.c_str(), &info), 0);
    EXPECT_EQ(info.byteOrder, 0x4949);
    EXPECT_EQ(info.bitsPerPixel, 24);
    EXPECT_EQ(info.compression, 5);
    EXPECT_EQ(info.samplesPerPixel, 3);
    EXPECT_EQ(info.photometric, 2);
}

} // namespace
