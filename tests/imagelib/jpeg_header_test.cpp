// JPEG header queries: the frame record, density and thumbnail, and crafted and damaged streams.
#include "jpeg_stream_builder.h"
#include "jpeg_test_support.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace jpegtest;
using imgtest::Image;

namespace {

// Reads `b` from memory with a hang guard: every crafted stream must be answered at once.
std::int32_t infoOf(const Bytes& b, img_info_ex* info)
{
    const auto start = std::chrono::steady_clock::now();
    const std::int32_t r =
        img_jpeg_info_ex_mem(b.empty() ? nullptr : b.data(), static_cast<std::uint32_t>(b.size()), info);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    return r;
}

Bytes ourJpeg(std::uint32_t w, std::uint32_t h, std::uint32_t bits, std::int32_t flags = 0, int quality = 75)
{
    Image img(w, h, bits);
    fillPicture(img.desc(), 21);
    void* block = nullptr;
    EXPECT_EQ(img_save_jpeg_mem_ex(&block, &img, quality, flags), 0);
    return takeBlock(block);
}

TEST(JpegHeader, ReportsTheFrame)
{
    struct Case
    {
        std::uint32_t w, h, bits;
        std::int32_t flags;
        int frameType, components, bpp;
        std::int32_t sampling[4];
    };
    const Case cases[] = {
        {40, 30, 24, 0, 0, 3, 24, {0x22, 0x11, 0x11, 0}},
        {40, 30, 24, IMG_JPEG_PROGRESSIVE, 2, 3, 24, {0x22, 0x11, 0x11, 0}},
        {7, 300, 8, IMG_JPEG_OPTIMIZE, 0, 1, 8, {0x11, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const Bytes b = ourJpeg(c.w, c.h, c.bits, c.flags);
        img_info info;
        ASSERT_EQ(img_jpeg_info_mem(b.data(), static_cast<std::uint32_t>(b.size()), &info), 0);
        EXPECT_EQ(info.frameType, c.frameType);
        EXPECT_EQ(info.width, static_cast<std::int32_t>(c.w));
        EXPECT_EQ(info.height, static_cast<std::int32_t>(c.h));
        EXPECT_EQ(info.components, c.components);
        EXPECT_EQ(info.precision, 8);
        EXPECT_EQ(info.bitsPerPixel, c.bpp);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(info.sampling[i], c.sampling[i]) << i;
        }
        // The same through a file, by narrow and by wide name.
        const std::filesystem::path p = scratch() / "hdr.jpg";
        writeFile(p, b);
        img_info fromFile;
        ASSERT_EQ(img_jpeg_info(p.c_str(), &fromFile), 0);
        EXPECT_EQ(fromFile.width, info.width);
        img_info fromWide;
        ASSERT_EQ(img_jpeg_info_w(p.wstring().c_str(), &fromWide), 0);
        EXPECT_EQ(fromWide.height, info.height);
    }
}

TEST(JpegHeader, InputErrors)
{
    img_info info;
    const Bytes b = ourJpeg(16, 16, 24);
    EXPECT_EQ(img_jpeg_info_mem(nullptr, 100, &info), IMG_ERR_MEM_SOURCE);
    EXPECT_EQ(img_jpeg_info_mem(b.data(), 0, &info), IMG_ERR_MEM_SOURCE);
    EXPECT_EQ(info.frameType, -1);
    EXPECT_EQ(img_jpeg_info((scratch() / "missing.jpg").c_str(), &info), IMG_ERR_OPEN_INPUT);
    EXPECT_EQ(img_jpeg_info(nullptr, &info), IMG_ERR_OPEN_INPUT);
    EXPECT_EQ(img_jpeg_info_mem(b.data(), static_cast<std::uint32_t>(b.size()), nullptr), IMG_ERR_ARGUMENT);
    img_fail_allocation(1); // the input window
    EXPECT_EQ(img_jpeg_info_mem(b.data(), static_cast<std::uint32_t>(b.size()), &info), IMG_ERR_NO_MEMORY);
    img_fail_allocation(0);
}

// Minimal frames around which the cases below vary one thing.
StreamBuilder frameAfter(StreamBuilder s, int sofMarker = 0xC0)
{
    return s.dqt(0).sofColour(sofMarker).sos({1, 2, 3});
}

TEST(JpegHeader, CraftedStreams)
{
    const Bytes app1Big(65533, 0x41); // a 65,535-byte APP1 (length field 0xFFFF)
    Bytes garbage(1 << 20);
    std::uint32_t x = 12345;
    for (auto& g : garbage) {
        x = x * 1103515245u + 12345u;
        g = static_cast<std::uint8_t>(x >> 23);
        if (g == 0xFF) {
            g = 0xFE; // no marker anywhere: the walk has to read to the end
        }
    }
    struct Case
    {
        const char* name;
        Bytes stream;
        std::int32_t result;
        std::int32_t status; // checked when not 0
        int frameType;       // checked when the result is 0
        int components;
    };
    const Case cases[] = {
        {"plain", frameAfter(StreamBuilder().soi().jfif()).bytes(), 0, 0, 0, 3},
        {"not SOI first", frameAfter(StreamBuilder().raw({0xFF, 0xD9}).soi().jfif()).bytes(), -43, 0, 0, 0},
        {"bytes before SOI", frameAfter(StreamBuilder().raw({0x00, 0x12, 0x34}).soi().jfif()).bytes(), 0, 0,
         0, 3},
        {"fill bytes and stray bytes",
         frameAfter(
             StreamBuilder().raw({0xFF, 0xFF}).soi().raw({0x11, 0xFF, 0xFF, 0xFF}).jfif().raw({0x00, 0x7F}))
             .bytes(),
         0, 0, 0, 3},
        {"no APP0, APP1 first",
         frameAfter(StreamBuilder().soi().segment(0xE1, {'E', 'x', 'i', 'f', 0, 0})).bytes(), 0, 0, 0, 3},
        {"first APP0 not JFIF",
         frameAfter(StreamBuilder().soi().segment(0xE0, {'J', 'F', 'X', 'X', 0, 0x10})).bytes(), -43, 0, 0,
         0},
        {"65535-byte APP1", frameAfter(StreamBuilder().soi().jfif().segment(0xE1, app1Big)).bytes(), 0, 0, 0,
         3},
        {"65535-byte COM before JFIF",
         frameAfter(StreamBuilder().soi().segment(0xFE, app1Big).jfif()).bytes(), 0, 0, 0, 3},
        {"extended sequential", frameAfter(StreamBuilder().soi().jfif(), 0xC1).bytes(), 0, 0, 1, 3},
        {"lossless", frameAfter(StreamBuilder().soi().jfif(), 0xC3).bytes(), 0, 0, 3, 3},
        {"arithmetic", frameAfter(StreamBuilder().soi().jfif(), 0xC9).bytes(), 0, 0, 9, 3},
        {"arithmetic progressive", frameAfter(StreamBuilder().soi().jfif(), 0xCA).bytes(), 0, 0, 10, 3},
        {"arithmetic lossless", frameAfter(StreamBuilder().soi().jfif(), 0xCB).bytes(), 0, 0, 11, 3},
        {"CMYK",
         StreamBuilder()
             .soi()
             .jfif()
             .sof(0xC0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}})
             .sos({1})
             .bytes(),
         0, 0, 0, 4},
        {"five components",
         StreamBuilder()
             .soi()
             .sof(0xC0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}, {5, 0x11, 0}})
             .sos({1})
             .bytes(),
         -43, -106, 0, 0},
        {"SOF shorter than its components",
         StreamBuilder().soi().segment(0xC0, {8, 0, 8, 0, 8, 3, 1, 0x22}).bytes(), -43, -106, 0, 0},
        {"SOS without SOF", StreamBuilder().soi().jfif().sos({1}).bytes(), 0, 0, -1, 0},
        {"EOI before SOS", StreamBuilder().soi().jfif().dqt(0).sofColour().eoi().bytes(), -43, 0, 0, 0},
        {"ends before SOS", StreamBuilder().soi().jfif().dqt(0).sofColour().bytes(), -43, -101, 0, 0},
        {"ends inside a segment",
         StreamBuilder().soi().jfif().raw({0xFF, 0xDB, 0x00, 0x43, 0x00, 0x01}).bytes(), -43, -101, 0, 0},
        {"segment length 1", frameAfter(StreamBuilder().soi().jfif().raw({0xFF, 0xE1, 0x00, 0x01})).bytes(),
         -43, 0, 0, 0},
        {"segment length 0", frameAfter(StreamBuilder().soi().raw({0xFF, 0xFE, 0x00, 0x00})).bytes(), -43, 0,
         0, 0},
        {"DHT counts above 256",
         frameAfter(StreamBuilder().soi().jfif().dht(0, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 255},
                                                     Bytes(257, 1)))
             .bytes(),
         -43, -106, 0, 0},
        {"DHT counts of 16 x 255",
         frameAfter(StreamBuilder().soi().jfif().dht(1, 0, std::vector<int>(16, 255), Bytes(300, 1))).bytes(),
         -43, -106, 0, 0},
        {"DHT table number 4", frameAfter(StreamBuilder().soi().jfif().dht(0, 4, {1}, {0})).bytes(), -43,
         -106, 0, 0},
        {"DHT class 2", frameAfter(StreamBuilder().soi().jfif().dht(2, 0, {1}, {0})).bytes(), -43, -106, 0,
         0},
        {"DHT values past the segment",
         frameAfter(StreamBuilder().soi().jfif().segment(
                        0xC4, {0x00, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}))
             .bytes(),
         -43, -106, 0, 0},
        {"DQT table number 5", frameAfter(StreamBuilder().soi().jfif().dqt(5)).bytes(), -43, -106, 0, 0},
        {"DQT precision 2", frameAfter(StreamBuilder().soi().jfif().dqt(0x20)).bytes(), -43, -106, 0, 0},
        {"garbage after SOI", StreamBuilder().soi().raw(garbage).bytes(), -43, 0, 0, 0},
        {"only SOI", StreamBuilder().soi().bytes(), -43, -101, 0, 0},
    };
    for (const Case& c : cases) {
        img_info_ex info;
        EXPECT_EQ(infoOf(c.stream, &info), c.result) << c.name;
        if (c.status != 0) {
            EXPECT_EQ(img_jpeg_last_status(), c.status) << c.name;
        }
        if (c.result == 0) {
            EXPECT_EQ(info.frameType, c.frameType) << c.name;
            EXPECT_EQ(info.components, c.components) << c.name;
            EXPECT_EQ(info.bitsPerPixel, c.frameType < 0 ? 0 : 24) << c.name;
        }
    }
}

// Every prefix of a good file: a cut before the first SOS is -43 with the end of the data in
// the status word; once the SOS marker is there the header is complete. The whole file is read
// before every prefix: the input window's memory is not cleared between reads, so a window that
// handed out bytes this input never brought would find the rest of the file there.
TEST(JpegHeader, FileCutInEverySegment)
{
    const Bytes b = ourJpeg(24, 16, 24);
    std::size_t sos = 0;
    for (std::size_t i = 0; i + 1 < b.size(); ++i) {
        if (b[i] == 0xFF && b[i + 1] == 0xDA) {
            sos = i;
            break;
        }
    }
    ASSERT_GT(sos, 0u);
    for (std::size_t n = 1; n < b.size(); ++n) {
        img_info_ex info;
        const Bytes prefix(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
        ASSERT_EQ(infoOf(b, &info), 0);
        const std::int32_t r = infoOf(prefix, &info);
        if (n < sos + 4) { // the SOS marker and its length have not all arrived
            ASSERT_EQ(r, -43) << n;
            EXPECT_EQ(img_jpeg_last_status(), -101) << n;
        } else {
            ASSERT_EQ(r, 0) << n;
            EXPECT_EQ(info.width, 24);
        }
    }
}

TEST(JpegHeader, DensityAndThumbnails)
{
    struct Case
    {
        const char* name;
        Bytes stream;
        int present, width, height, bits, kind;
        int units, x, y;
    };
    auto jfxx = [](int code, int w, int h, std::size_t bytes) {
        Bytes p = {'J', 'F', 'X', 'X', 0, static_cast<std::uint8_t>(code)};
        if (code != 0x10) {
            p.push_back(static_cast<std::uint8_t>(w));
            p.push_back(static_cast<std::uint8_t>(h));
        }
        p.resize(p.size() + bytes, 7);
        return p;
    };
    const Case cases[] = {
        {"none", frameAfter(StreamBuilder().soi().jfif(1, 300, 200)).bytes(), 0, 0, 0, 0, 0, 1, 300, 200},
        {"units out of range", frameAfter(StreamBuilder().soi().jfif(3, 300, 200)).bytes(), 0, 0, 0, 0, 0, 0,
         0, 0},
        {"JFIF 10 x 10", frameAfter(StreamBuilder().soi().jfif(0, 1, 1, 10, 10, 300)).bytes(), 1, 10, 10, 24,
         0x13, 0, 1, 1},
        {"JFIF 10 x 10 in a short segment",
         frameAfter(StreamBuilder().soi().jfif(0, 1, 1, 10, 10, 299)).bytes(), 0, 0, 0, 0, 0, 0, 1, 1},
        {"JFIF 0 x 10", frameAfter(StreamBuilder().soi().jfif(0, 1, 1, 0, 10, 0)).bytes(), 0, 0, 10, 0, 0, 0,
         1, 1},
        {"JFXX RGB", frameAfter(StreamBuilder().soi().jfif().segment(0xE0, jfxx(0x13, 4, 3, 36))).bytes(), 1,
         4, 3, 24, 0x13, 0, 1, 1},
        {"JFXX palette",
         frameAfter(StreamBuilder().soi().jfif().segment(0xE0, jfxx(0x11, 5, 2, 768 + 10))).bytes(), 1, 5, 2,
         8, 0x11, 0, 1, 1},
        {"JFXX palette cut short",
         frameAfter(StreamBuilder().soi().jfif().segment(0xE0, jfxx(0x11, 5, 2, 768 + 9))).bytes(), 0, 5, 2,
         8, 0x11, 0, 1, 1},
        {"JFXX JPEG-coded",
         frameAfter(StreamBuilder().soi().jfif().segment(0xE0, jfxx(0x10, 0, 0, 20))).bytes(), 0, 0, 0, 24,
         0x10, 0, 1, 1},
        {"JFXX JPEG-coded after a JFIF thumbnail",
         frameAfter(StreamBuilder().soi().jfif(0, 1, 1, 2, 2, 12).segment(0xE0, jfxx(0x10, 0, 0, 20)))
             .bytes(),
         1, 2, 2, 24, 0x10, 0, 1, 1},
    };
    for (const Case& c : cases) {
        img_info_ex info;
        ASSERT_EQ(infoOf(c.stream, &info), 0) << c.name;
        EXPECT_EQ(info.thumbnailPresent, c.present) << c.name;
        EXPECT_EQ(info.thumbnailWidth, c.width) << c.name;
        EXPECT_EQ(info.thumbnailHeight, c.height) << c.name;
        EXPECT_EQ(info.thumbnailBits, c.bits) << c.name;
        EXPECT_EQ(info.thumbnailKind, c.kind) << c.name;
        EXPECT_EQ(info.densityUnits, c.units) << c.name;
        EXPECT_EQ(info.xDensity, c.x) << c.name;
        EXPECT_EQ(info.yDensity, c.y) << c.name;
    }
}

} // namespace
