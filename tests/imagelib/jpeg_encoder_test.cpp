// The JPEG encoder against libjpeg-turbo's cjpeg and the jpeginfo / djpeg checkers, and the
// behaviour of the save entries.
#include "jpeg_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace jpegtest;
using imgtest::Image;

namespace {

struct ModeCase
{
    std::int32_t flags;
    const char* cjpegOptions;
};

const ModeCase kModes[] = {
    {0, "-dct int"},
    {IMG_JPEG_OPTIMIZE, "-dct int -optimize"},
    {IMG_JPEG_PROGRESSIVE, "-dct int -progressive"},
};

// Same stream as cjpeg, apart from the JFIF minor version (ours 1.02, libjpeg-turbo's 1.01).
void expectSameAsCjpeg(const Bytes& ours, const Bytes& theirs, const std::string& label)
{
    ASSERT_EQ(ours.size(), theirs.size()) << label;
    ASSERT_GT(ours.size(), 13u) << label;
    EXPECT_EQ(ours[12], 2) << label;
    EXPECT_EQ(theirs[12], 1) << label;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        if (i != 12 && ours[i] != theirs[i]) {
            ADD_FAILURE() << label << ": first difference at byte " << i;
            return;
        }
    }
}

TEST(JpegEncoder, MatchesCjpegInEveryModeAndQuality)
{
    struct Picture
    {
        std::uint32_t w, h, bits;
    };
    const Picture pictures[] = {{64, 48, 24}, {160, 112, 24}, {64, 48, 8}, {96, 128, 8}};
    const int qualities[] = {2, 10, 25, 50, 75, 90, 100};
    int seed = 0;
    for (const Picture& pic : pictures) {
        Image img(pic.w, pic.h, pic.bits);
        ASSERT_EQ(img.result(), 0);
        fillPicture(img.desc(), ++seed);
        const std::filesystem::path pnm = scratch() / "enc-in.pnm";
        writeFile(pnm, toPnm(img.desc()));
        for (int q : qualities) {
            for (const ModeCase& mode : kModes) {
                const std::string label = std::to_string(pic.w) + "x" + std::to_string(pic.h) + "x" +
                                          std::to_string(pic.bits) + " q" + std::to_string(q) + " " +
                                          mode.cjpegOptions;
                void* block = nullptr;
                ASSERT_EQ(img_save_jpeg_mem_ex(&block, &img, q, mode.flags), 0) << label;
                const Bytes ours = takeBlock(block);
                const std::filesystem::path ref = scratch() / "enc-ref.jpg";
                const RunResult r = run(std::string("cjpeg ") + mode.cjpegOptions + " -quality " +
                                        std::to_string(q) + " -outfile " + quote(ref) + " " + quote(pnm));
                ASSERT_EQ(r.exitCode, 0) << label << r.output;
                expectSameAsCjpeg(ours, readFile(ref), label);
            }
        }
    }
}

// Every size, depth, quality and mode gives a file that jpeginfo finds sound and djpeg decodes
// without a word of warning.
TEST(JpegEncoder, OddSizesAndAllModesPassJpeginfoAndDjpeg)
{
    struct Picture
    {
        std::uint32_t w, h, bits;
        bool grey;
    };
    const Picture pictures[] = {
        {1, 1, 24, false},   {17, 9, 24, false}, {37, 23, 24, false}, {333, 5, 24, false},
        {2, 201, 24, false}, {31, 33, 8, true},  {1, 1, 8, true},     {45, 19, 8, false},
    };
    const int qualities[] = {0, 1, 37, 100};
    const std::int32_t flags[] = {0, IMG_JPEG_OPTIMIZE, IMG_JPEG_PROGRESSIVE};
    int seed = 10;
    for (const Picture& pic : pictures) {
        Image img(pic.w, pic.h, pic.bits);
        ASSERT_EQ(img.result(), 0);
        if (pic.bits == 8 && !pic.grey) {
            // A colour palette: the image goes through it as a three-component picture.
            for (int i = 0; i < 256; ++i) {
                img->palette[i] =
                    tessivor::RgbQuad{static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i),
                                      static_cast<std::uint8_t>(i * 3), 0};
            }
            img->typeFlags = 0;
        }
        fillPicture(img.desc(), ++seed);
        for (int q : qualities) {
            for (std::int32_t f : flags) {
                const std::string label = std::to_string(pic.w) + "x" + std::to_string(pic.h) + "x" +
                                          std::to_string(pic.bits) + (pic.grey ? "g" : "") + " q" +
                                          std::to_string(q) + " flags " + std::to_string(f);
                const std::filesystem::path out = scratch() / "odd.jpg";
                ASSERT_EQ(img_save_jpeg_ex(out.c_str(), &img, q, f), 0) << label;
                const RunResult info = run("jpeginfo -c " + quote(out));
                EXPECT_EQ(info.exitCode, 0) << label << info.output;
                EXPECT_NE(info.output.find("OK"), std::string::npos) << label << info.output;
                const RunResult dj = run("djpeg -outfile /dev/null " + quote(out));
                EXPECT_EQ(dj.exitCode, 0) << label << dj.output;
                EXPECT_EQ(dj.output, "") << label;
                // The components and sampling the frame announces.
                img_info hdr;
                ASSERT_EQ(img_jpeg_info(out.c_str(), &hdr), 0) << label;
                EXPECT_EQ(hdr.width, static_cast<std::int32_t>(pic.w));
                EXPECT_EQ(hdr.height, static_cast<std::int32_t>(pic.h));
                EXPECT_EQ(hdr.components, pic.grey ? 1 : 3) << label;
                EXPECT_EQ(hdr.sampling[0], pic.grey ? 0x11 : 0x22) << label;
            }
        }
    }
}

// The working area is what gets written: the same pixels saved from a larger image decode to
// the same stream as a picture of the area's own size.
TEST(JpegEncoder, WritesOnlyTheWorkingArea)
{
    Image big(50, 40, 24);
    fillPicture(big.desc(), 3);
    Image small(17, 9, 24);
    for (std::uint32_t y = 0; y < 9; ++y) {
        for (std::uint32_t x = 0; x < 17; ++x) {
            std::memcpy(imgtest::pixelAt(small.desc(), x, y), imgtest::pixelAt(big.desc(), x + 20, y + 30),
                        3);
        }
    }
    img_set_area(&big, 20, 30, 36, 38);
    void* a = nullptr;
    void* b = nullptr;
    ASSERT_EQ(img_save_jpeg_mem(&a, &big, 80), 0);
    ASSERT_EQ(img_save_jpeg_mem(&b, &small, 80), 0);
    EXPECT_EQ(takeBlock(a), takeBlock(b));
}

// Offsets in our own streams: SOF right after SOI, APP0 (20 bytes) and the DQT segments.
std::size_t findMarker(const Bytes& b, std::uint8_t marker)
{
    for (std::size_t i = 2; i + 1 < b.size(); ++i) {
        if (b[i] == 0xFF && b[i + 1] == marker) {
            return i;
        }
    }
    return std::string::npos;
}

TEST(JpegEncoder, QuantisationTablesAndFrameTypeFollowTheQuality)
{
    Image img(32, 16, 24);
    fillPicture(img.desc(), 5);
    struct Case
    {
        int quality;
        std::int32_t flags;
        std::uint8_t sof;
        int dqtLength;
        int firstValue; // first entry of the luminance table
    };
    const Case cases[] = {
        {100, 0, 0xC0, 67, 1},
        {0, 0, 0xC1, 131, 800}, // quality 0 acts as 1: 16 x 5000 / 100
        {1, IMG_JPEG_OPTIMIZE, 0xC1, 131, 800},
        {2, IMG_JPEG_PROGRESSIVE, 0xC2, 131, 400}, // progressive stays SOF2
        {150, 0, 0xC0, 67, 1},                     // above 100 acts as 100
        {50, 0, 0xC0, 67, 16},
    };
    for (const Case& c : cases) {
        void* block = nullptr;
        ASSERT_EQ(img_save_jpeg_mem_ex(&block, &img, c.quality, c.flags), 0);
        const Bytes b = takeBlock(block);
        const std::size_t dqt = findMarker(b, 0xDB);
        ASSERT_NE(dqt, std::string::npos);
        EXPECT_EQ(dqt, 20u) << c.quality;
        EXPECT_EQ(b[dqt + 2] << 8 | b[dqt + 3], c.dqtLength) << c.quality;
        const int first = c.dqtLength == 131 ? (b[dqt + 5] << 8 | b[dqt + 6]) : b[dqt + 5];
        EXPECT_EQ(first, c.firstValue) << c.quality;
        EXPECT_NE(findMarker(b, c.sof), std::string::npos) << c.quality;
    }
}

TEST(JpegEncoder, ModeComesFromTheFlagsWithoutTheThumbnailBit)
{
    Image img(32, 32, 24);
    fillPicture(img.desc(), 6);
    auto save = [&](std::int32_t flags) {
        void* block = nullptr;
        EXPECT_EQ(img_save_jpeg_mem_ex(&block, &img, 75, flags), 0);
        return takeBlock(block);
    };
    const Bytes plain = save(0);
    const Bytes optimised = save(IMG_JPEG_OPTIMIZE);
    const Bytes progressive = save(IMG_JPEG_PROGRESSIVE);
    EXPECT_NE(plain, optimised);
    EXPECT_NE(findMarker(progressive, 0xC2), std::string::npos);
    EXPECT_EQ(save(0x21), plain); // not a mode: the default
    EXPECT_EQ(save(3), plain);
    EXPECT_EQ(save(-1 & ~IMG_JPEG_THUMBNAIL), plain);
}

TEST(JpegEncoder, DensityAppliesToTheNextSaveOnly)
{
    Image img(16, 16, 24);
    fillPicture(img.desc(), 7);
    auto densityBytes = [&] {
        void* block = nullptr;
        EXPECT_EQ(img_save_jpeg_mem(&block, &img, 75), 0);
        const Bytes b = takeBlock(block);
        return Bytes(b.begin() + 13, b.begin() + 18); // units, X density, Y density
    };
    img_jpeg_set_density(300, 300, 1);
    EXPECT_EQ(densityBytes(), (Bytes{1, 0x01, 0x2C, 0x01, 0x2C}));
    EXPECT_EQ(densityBytes(), (Bytes{0, 0, 1, 0, 1}));

    // Out-of-range arguments leave their setting alone.
    img_jpeg_set_density(65536, 72, 3);
    EXPECT_EQ(densityBytes(), (Bytes{0, 0, 1, 0, 72}));
    img_jpeg_set_density(-1, 20, 2);
    EXPECT_EQ(densityBytes(), (Bytes{2, 0, 1, 0, 20}));

    img_info_ex info;
    img_jpeg_set_density(96, 48, 2);
    const std::filesystem::path out = scratch() / "density.jpg";
    ASSERT_EQ(img_save_jpeg(out.c_str(), &img, 90), 0);
    ASSERT_EQ(img_jpeg_info_ex(out.c_str(), &info), 0);
    EXPECT_EQ(info.xDensity, 96);
    EXPECT_EQ(info.yDensity, 48);
    EXPECT_EQ(info.densityUnits, 2);
}

TEST(JpegEncoder, RefusesWhatItCannotWrite)
{
    Image img(16, 16, 24);
    fillPicture(img.desc(), 8);
    Image mono(16, 16, 1);
    Image deep(16, 16, 16);
    img_desc empty;
    void* block = reinterpret_cast<void*>(1);

    EXPECT_EQ(img_save_jpeg_mem(&block, &mono, 75), IMG_ERR_DEPTH);
    EXPECT_EQ(block, nullptr); // cleared first
    EXPECT_EQ(img_save_jpeg_mem(&block, &deep, 75), IMG_ERR_DEPTH);
    EXPECT_EQ(img_save_jpeg_mem(&block, &empty, 75), IMG_ERR_NO_PIXELS);
    EXPECT_EQ(img_save_jpeg_mem(nullptr, &img, 75), IMG_ERR_ARGUMENT);
    EXPECT_EQ(img_save_jpeg((scratch() / "no-such-folder" / "x.jpg").c_str(), &img, 75),
              IMG_ERR_CREATE_OUTPUT);
    EXPECT_EQ(img_save_jpeg("", &img, 75), IMG_ERR_CREATE_OUTPUT);
    EXPECT_EQ(img_save_jpeg(nullptr, &img, 75), IMG_ERR_CREATE_OUTPUT);
    EXPECT_EQ(img_jpeg_set_thumbnail_size(0), IMG_ERR_RANGE);
    EXPECT_EQ(img_jpeg_set_thumbnail_size(256), IMG_ERR_RANGE);
    EXPECT_EQ(img_jpeg_set_thumbnail_size(64), 0);
}

// A save never truncates or removes a picture that is already there, and leaves no temporary
// file behind.
TEST(JpegEncoder, FailedSaveKeepsTheExistingFile)
{
    const std::filesystem::path dir = scratch() / "keep";
    std::filesystem::create_directories(dir);
    const std::filesystem::path target = dir / "snap.jpg";
    const Bytes before = {'o', 'l', 'd'};
    writeFile(target, before);

    Image img(64, 64, 24);
    fillPicture(img.desc(), 9);
    // Out of memory for the whole-picture coefficients of the optimised mode.
    img_fail_allocation(1);
    EXPECT_EQ(img_save_jpeg_ex(target.c_str(), &img, 75, IMG_JPEG_OPTIMIZE), IMG_ERR_NO_MEMORY);
    img_fail_allocation(0);
    EXPECT_EQ(readFile(target), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

    // A success replaces it whole.
    ASSERT_EQ(img_save_jpeg_w(target.wstring().c_str(), &img, 75), 0);
    void* block = nullptr;
    ASSERT_EQ(img_save_jpeg_mem(&block, &img, 75), 0);
    EXPECT_EQ(readFile(target), takeBlock(block));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

// Memory output: exactly the stream, in an image block of the library; a failure leaves no
// block and nothing allocated.
TEST(JpegEncoder, MemoryOutputIsOneBlockOfTheStreamLength)
{
    Image img(48, 32, 8);
    fillPicture(img.desc(), 11);
    const std::size_t live = img_live_allocations();
    void* block = nullptr;
    ASSERT_EQ(img_save_jpeg_mem_ex(&block, &img, 60, IMG_JPEG_PROGRESSIVE), 0);
    ASSERT_TRUE(img_block_owned(block));
    const Bytes b = takeBlock(block);
    ASSERT_GT(b.size(), 4u);
    EXPECT_EQ(b[0], 0xFF);
    EXPECT_EQ(b[1], 0xD8);
    EXPECT_EQ(b[b.size() - 2], 0xFF);
    EXPECT_EQ(b[b.size() - 1], 0xD9);
    EXPECT_EQ(img_live_allocations(), live);

    img_fail_allocation(1);
    EXPECT_EQ(img_save_jpeg_mem_ex(&block, &img, 60, IMG_JPEG_PROGRESSIVE), IMG_ERR_NO_MEMORY);
    img_fail_allocation(0);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(img_live_allocations(), live);
}

} // namespace
