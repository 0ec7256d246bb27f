// The TIFF coder against libtiff's tools and netpbm: every file we write reads back without a
// warning in tiffinfo and equal to our pixels in tifftopnm, and we read what tiffcp writes in
// every compression, byte order and fill order we accept, equal to tifftopnm.
#include "tiff_support.h"

#include <gtest/gtest.h>

using namespace tifftest;
using jpegtest::quote;
using jpegtest::run;

namespace {

struct Kind
{
    std::uint32_t bits;
    bool palette;
    const char* name;
};
const Kind kKinds[] = {
    {1, false, "bilevel"}, {8, false, "grey"}, {8, true, "palette"},
    {16, false, "grey16"}, {24, false, "rgb"},
};

// An image whose area starts off the first column and row (so that rows are cut and, for
// bitmaps, shifted) and needs several strips.
struct Picture
{
    imgtest::Image image;
    Picture(const Kind& k, std::uint32_t seed) : image(k.bits == 1 ? 1203 : 203, 150, k.bits)
    {
        fillPicture(image.desc(), seed, k.palette);
        img_set_area(&image.desc(), 5, 3, k.bits == 1 ? 1190 : 190, 140);
    }
};

bool warningFree(const std::filesystem::path& file, std::string& output)
{
    const auto r = run("tiffinfo -D " + quote(file));
    output = r.output;
    return r.exitCode == 0 && r.output.find("arning") == std::string::npos &&
           r.output.find("rror") == std::string::npos;
}

TEST(TiffPeers, EveryWritableFileReadsBackInLibtiff)
{
    struct Choice
    {
        std::int32_t flags;
        std::uint32_t bits; // 0: every depth that takes it
    };
    const Choice choices[] = {
        {IMG_TIFF_NONE, 0},
        {IMG_TIFF_NONE | IMG_TIFF_ONE_STRIP, 0},
        {IMG_TIFF_LZW, 1},
        {IMG_TIFF_LZW, 8},
        {IMG_TIFF_LZW, 24},
        {IMG_TIFF_LZW | IMG_TIFF_ONE_STRIP, 8},
        {IMG_TIFF_PACKBITS, 1},
        {IMG_TIFF_PACKBITS, 8},
        {IMG_TIFF_CCITT_MH, 1},
        {IMG_TIFF_CCITT_G4, 1},
        {IMG_TIFF_CCITT_G4 | IMG_TIFF_ONE_STRIP, 1},
        {IMG_TIFF_NONE | IMG_TIFF_FILL_LSB, 1},
        {IMG_TIFF_LZW | IMG_TIFF_FILL_LSB, 1},
        {IMG_TIFF_PACKBITS | IMG_TIFF_FILL_LSB, 1},
        {IMG_TIFF_CCITT_MH | IMG_TIFF_FILL_LSB, 1},
        {IMG_TIFF_CCITT_G4 | IMG_TIFF_FILL_LSB, 1},
    };
    int files = 0;
    for (const Kind& k : kKinds) {
        for (const Choice& c : choices) {
            if (c.bits && c.bits != k.bits)
                continue;
            Picture pic(k, static_cast<std::uint32_t>(files));
            const auto file =
                scratch() / ("w-" + std::string(k.name) + "-" + std::to_string(c.flags) + ".tif");
            const std::string label = std::string(k.name) + " flags " + std::to_string(c.flags);
            ASSERT_EQ(img_save_tiff(file.c_str(), &pic.image.desc(), c.flags), 0) << label;
            std::string info, why;
            EXPECT_TRUE(warningFree(file, info)) << label << "\n" << info;
            EXPECT_TRUE(sameAsPnm(pic.image.desc(), tifftopnm(file), why)) << label << ": " << why;
            // And our own reader gives the same pixels back.
            imgtest::Image back(pic.image.desc().x1 - pic.image.desc().x0 + 1,
                                pic.image.desc().y1 - pic.image.desc().y0 + 1, k.bits);
            ASSERT_EQ(img_load_tiff(file.c_str(), &back.desc()), 0) << label;
            EXPECT_TRUE(sameImage(pic.image.desc(), back.desc(), why)) << label << ": " << why;
            ++files;
        }
    }
    EXPECT_EQ(files, 12 + 5 + 5 + 2 + 3);
}

TEST(TiffPeers, BitmapWhoseFirstColourIsWhiteIsWrittenInverted)
{
    for (std::int32_t flags : {IMG_TIFF_NONE, IMG_TIFF_CCITT_G4}) {
        imgtest::Image image(64, 8, 1);
        fillPicture(image.desc(), 1);
        std::swap(image->palette[0], image->palette[1]); // 0 white, 1 black
        const auto file = scratch() / ("inverted-" + std::to_string(flags) + ".tif");
        ASSERT_EQ(img_save_tiff(file.c_str(), &image.desc(), flags), 0);
        const auto fields = firstDirectory(jpegtest::readFile(file));
        EXPECT_EQ(fields.at(262).value, flags == IMG_TIFF_NONE ? 1u : 0u);
        std::string why;
        EXPECT_TRUE(sameAsPnm(image.desc(), tifftopnm(file), why)) << why;
    }
}

TEST(TiffPeers, ReadsWhatTiffcpWrites)
{
    struct Compression
    {
        const char* option;
        bool bilevelOnly;
        bool lzw;
    };
    const Compression compressions[] = {
        {"-c none", false, false},   {"-c packbits", false, false},  {"-c lzw", false, true},
        {"-c lzw:2", false, true},   {"-c g3", true, false},         {"-c g3:2d", true, false},
        {"-c g3:fill", true, false}, {"-c g3:2d:fill", true, false}, {"-c g4", true, false},
    };
    int read = 0;
    for (const Kind& k : kKinds) {
        Picture pic(k, 7);
        const auto source = scratch() / ("src-" + std::string(k.name) + ".tif");
        ASSERT_EQ(img_save_tiff(source.c_str(), &pic.image.desc(), IMG_TIFF_NONE), 0);
        for (const Compression& c : compressions) {
            if (c.bilevelOnly && k.bits != 1)
                continue;
            // PackBits is read for bitmaps and 8 bits; LZW not for 16 bits.
            // tiffcp has no differencing for 1-bit samples.
            if ((std::string(c.option) == "-c packbits" && k.bits > 8) || (c.lzw && k.bits == 16) ||
                (std::string(c.option) == "-c lzw:2" && k.bits == 1))
                continue;
            for (const char* order : {"-L", "-B"}) {
                for (const char* fill : {"", "-f lsb2msb"}) {
                    if (*fill && k.bits != 1)
                        continue;
                    const std::string label = std::string(k.name) + " " + c.option + " " + order + " " + fill;
                    const auto ref = scratch() / ("ref-" + std::to_string(read) + ".tif");
                    const auto made = run(std::string("tiffcp -r 13 ") + c.option + " " + order + " " + fill +
                                          " " + quote(source) + " " + quote(ref));
                    ASSERT_EQ(made.exitCode, 0) << label << made.output;
                    imgtest::Image back(pic.image.desc().x1 - pic.image.desc().x0 + 1,
                                        pic.image.desc().y1 - pic.image.desc().y0 + 1, k.bits);
                    ASSERT_EQ(img_load_tiff(ref.c_str(), &back.desc()), 0) << label;
                    std::string why;
                    EXPECT_TRUE(sameAsPnm(back.desc(), tifftopnm(ref), why)) << label << ": " << why;
                    ++read;
                }
            }
        }
    }
    EXPECT_EQ(read, 2 * 2 * 8 + 2 * 4 * 2 + 1 * 2 + 3 * 2);
}

TEST(TiffPeers, FourBitGreyAndPaletteFromImageMagick)
{
    imgtest::Image grey(40, 10, 8);
    fillPicture(grey.desc(), 3);
    const auto pgm = scratch() / "grey.pgm";
    jpegtest::writeFile(pgm, jpegtest::toPnm(grey.desc()));
    for (const char* compress : {"None", "RLE"}) {
        const auto ref = scratch() / (std::string("four-") + compress + ".tif");
        const auto made =
            run("/usr/bin/convert " + quote(pgm) + " -depth 4 -compress " + compress + " " + quote(ref));
        ASSERT_EQ(made.exitCode, 0) << made.output;
        TiffPageInfo info;
        ASSERT_EQ(img_tiff_info(ref.c_str(), &info), 0);
        ASSERT_EQ(info.bitsPerSample, 4) << compress;
        imgtest::Image back(40, 10, 8);
        ASSERT_EQ(img_load_tiff(ref.c_str(), &back.desc()), 0) << compress;
        const Pnm pnm = tifftopnm(ref);
        ASSERT_TRUE(pnm.ok);
        ASSERT_EQ(pnm.maxval, 15u);
        for (std::uint32_t y = 0; y < 10; ++y)
            for (std::uint32_t x = 0; x < 40; ++x)
                ASSERT_EQ(imgtest::get(back.desc(), x, y), pnm.at(x, y)[0] << 4)
                    << compress << " " << x << "," << y;
    }
}

TEST(TiffPeers, AppendedPagesAreOneValidFile)
{
    const auto file = scratch() / "pages.tif";
    std::filesystem::remove(file);
    const std::int32_t flags[] = {IMG_TIFF_CCITT_G4, IMG_TIFF_LZW, IMG_TIFF_PACKBITS};
    std::vector<std::unique_ptr<Picture>> pages;
    for (int i = 0; i < 3; ++i) {
        pages.push_back(std::make_unique<Picture>(kKinds[i], static_cast<std::uint32_t>(10 + i)));
        ASSERT_EQ(img_append_tiff(file.c_str(), &pages.back()->image.desc(), flags[i], i), 0) << i;
    }
    std::string info;
    EXPECT_TRUE(warningFree(file, info)) << info;
    std::int32_t count = 0, numbers[4] = {-1, -1, -1, -1};
    ASSERT_EQ(img_tiff_page_count(file.c_str(), &count, numbers, 4), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::vector<std::int32_t>(numbers, numbers + 4), (std::vector<std::int32_t>{0, 1, 2, -1}));
    for (int i = 0; i < 3; ++i) {
        const img_desc& source = pages[static_cast<std::size_t>(i)]->image.desc();
        // libtiff's own view of page i, and ours by position and by number.
        const auto single = scratch() / ("page-" + std::to_string(i) + ".tif");
        ASSERT_EQ(
            run("tiffcp " + quote(file.string() + "," + std::to_string(i)) + " " + quote(single)).exitCode,
            0);
        std::string why;
        EXPECT_TRUE(sameAsPnm(source, tifftopnm(single), why)) << "page " << i << ": " << why;
        for (bool byNumber : {false, true}) {
            imgtest::Image back(source.x1 - source.x0 + 1, source.y1 - source.y0 + 1, kKinds[i].bits);
            ASSERT_EQ(byNumber ? img_load_tiff_page(file.c_str(), &back.desc(), i)
                               : img_load_tiff_index(file.c_str(), &back.desc(), i),
                      0);
            EXPECT_TRUE(sameImage(source, back.desc(), why)) << "page " << i << ": " << why;
        }
    }
    // Every page says it is one of three.
    const auto r = run("tiffinfo " + quote(file));
    std::size_t at = 0;
    int totals = 0;
    while ((at = r.output.find("Page Number: ", at)) != std::string::npos) {
        at += 13;
        EXPECT_EQ(r.output.substr(at, r.output.find('\n', at) - at), std::to_string(totals) + "-3");
        ++totals;
    }
    EXPECT_EQ(totals, 3);
}

} // namespace
