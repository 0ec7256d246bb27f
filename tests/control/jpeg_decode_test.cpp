// The frame decoder against djpeg (an independent reader) and against libjpeg's own CMYK output;
// damaged, cut and hostile frames must fail without touching memory past the buffers.
#include "control/cimage.h"
#include "decode_bomb.h"
#include "jpeg_frames.h"
#include "media_tools.h"

#include <gtest/gtest.h>

#include <cstring>
#include <jpeglib.h>

using namespace tessivor;
using namespace mediatest;
using namespace jpegtest;

namespace {

struct Bmp
{
    int width = 0, height = 0, bits = 0;
    std::vector<RgbQuad> palette;
    std::vector<std::uint8_t> rows; // bottom-up, padded
};

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

// djpeg's BMP output for `jpeg`, parsed.
bool djpegBmp(const std::vector<std::uint8_t>& jpeg, const std::filesystem::path& dir, Bmp* bmp)
{
    const auto in = dir / "frame.jpg";
    const auto out = dir / "frame.bmp";
    if (!writeFile(in, jpeg))
        return false;
    const auto r = run("djpeg -bmp -outfile " + quote(out.string()) + " " + quote(in.string()));
    if (r.exitCode != 0) {
        ADD_FAILURE() << r.output;
        return false;
    }
    const auto b = readFile(out);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M')
        return false;
    const std::uint32_t offBits = le32(b, 10);
    const std::uint32_t infoSize = le32(b, 14);
    bmp->width = static_cast<int>(le32(b, 18));
    bmp->height = static_cast<int>(le32(b, 22));
    bmp->bits = b[28] | (b[29] << 8);
    for (std::size_t at = 14 + infoSize; at + 4 <= offBits; at += 4)
        bmp->palette.push_back(RgbQuad{b[at], b[at + 1], b[at + 2], b[at + 3]});
    bmp->rows.assign(b.begin() + offBits, b.end());
    return true;
}

std::vector<std::uint8_t> cjpegWith(const Picture& picture, const std::string& switches,
                                    const std::filesystem::path& dir)
{
    const auto ppm = dir / "in.ppm";
    const auto jpg = dir / "out.jpg";
    if (!writePpm(ppm, picture))
        return {};
    const auto r = run("cjpeg " + switches + " -outfile " + quote(jpg.string()) + " " + quote(ppm.string()));
    if (r.exitCode != 0) {
        ADD_FAILURE() << r.output;
        return {};
    }
    return readFile(jpg);
}

class JpegDecodeTest : public ::testing::Test
{
protected:
    void SetUp() override { dir = freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name()); }

    int decode(const std::vector<std::uint8_t>& frame, const EndRunFlag* stop = nullptr)
    {
        return CImage::DecodeJpegToDib(frame.data(), static_cast<std::uint32_t>(frame.size()), &header,
                                       &pixels, stop);
    }

    std::filesystem::path dir;
    DecodedDibHeader header{};
    std::vector<std::uint8_t> pixels;
};

// Every form the cameras and cjpeg produce decodes to exactly what djpeg makes of it.
TEST_F(JpegDecodeTest, EqualsDjpegBmp)
{
    struct Case
    {
        const char* name;
        int width, height;
        const char* switches;
        int bits;
    };
    const Case cases[] = {
        {"baseline 4:2:0", 320, 240, "-quality 80", 24},
        {"odd size, padded rows", 33, 17, "-quality 90", 24},
        {"grey", 160, 120, "-grayscale", 8},
        {"grey, odd width", 31, 9, "-grayscale -quality 95", 8},
        {"progressive", 320, 240, "-progressive", 24},
        {"progressive grey", 64, 48, "-progressive -grayscale", 8},
        {"4:4:4 optimised", 64, 40, "-sample 1x1 -optimize", 24},
        {"RGB components", 48, 32, "-rgb", 24},
        {"restart markers", 96, 64, "-restart 1", 24},
        {"arithmetic coding", 80, 64, "-arithmetic", 24},
        {"1280x1024", 1280, 1024, "-quality 75", 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto frame = cjpegWith(makePicture(c.width, c.height, 3), c.switches, dir);
        ASSERT_FALSE(frame.empty());
        ASSERT_EQ(decode(frame), 0);
        Bmp bmp;
        ASSERT_TRUE(djpegBmp(frame, dir, &bmp));
        const BitmapInfoHeader& h = header.header;
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biWidth, c.width);
        EXPECT_EQ(h.biHeight, c.height);
        EXPECT_EQ(h.biBitCount, c.bits);
        EXPECT_EQ(h.biCompression, 0u);
        EXPECT_EQ(h.biSizeImage, dibStride(c.width, c.bits) * c.height);
        EXPECT_EQ(bmp.width, c.width);
        EXPECT_EQ(bmp.bits, c.bits);
        ASSERT_GE(bmp.rows.size(), h.biSizeImage);
        ASSERT_GE(pixels.size(), h.biSizeImage);
        EXPECT_EQ(std::memcmp(pixels.data(), bmp.rows.data(), h.biSizeImage), 0);
        if (c.bits == 8) {
            ASSERT_EQ(bmp.palette.size(), 256u);
            for (int i = 0; i < 256; ++i) {
                EXPECT_EQ(header.palette[i].rgbRed, i);
                EXPECT_EQ(header.palette[i].rgbGreen, i);
                EXPECT_EQ(header.palette[i].rgbBlue, i);
                EXPECT_EQ(header.palette[i].rgbReserved, 0);
                EXPECT_EQ(bmp.palette[i].rgbRed, i);
            }
        }
    }
}

TEST_F(JpegDecodeTest, ResolutionFromJfifDensity)
{
    struct Case
    {
        int unit, x, y;
        std::int32_t expectX, expectY;
    };
    const Case cases[] = {
        {0, 1, 1, 2834, 2834},     // aspect ratio only
        {0, 3, 2, 2834, 2834},     // still no unit
        {1, 72, 72, 2834, 2834},   // 72 dpi: 7200 / 2.54 = 2834.6, truncated
        {1, 96, 300, 3779, 11811}, // 3779.5 and 11811.02
        {2, 40, 118, 4000, 11800}, // dots per centimetre x 100
        {2, 65535, 1, 6553500, 100},
    };
    const RawImage image = makeImage(16, 16, 3, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "unit " << c.unit << " " << c.x << "x" << c.y);
        JpegOptions o;
        o.densityUnit = c.unit;
        o.xDensity = c.x;
        o.yDensity = c.y;
        ASSERT_EQ(decode(compressJpeg(image, o)), 0);
        EXPECT_EQ(header.header.biXPelsPerMeter, c.expectX);
        EXPECT_EQ(header.header.biYPelsPerMeter, c.expectY);
        EXPECT_EQ(header.header.biClrUsed, 0u);
        EXPECT_EQ(header.header.biClrImportant, 0u);
    }
}

// CMYK stays as the decoder gives it; YCCK becomes R, G, B of (Y, Cb, Cr) and 255 - K, which is
// the complement of every component of libjpeg's own YCCK to CMYK conversion.
TEST_F(JpegDecodeTest, CmykAndYcckFrames)
{
    for (bool ycck : {false, true}) {
        for (bool fullChroma : {false, true}) {
            SCOPED_TRACE(::testing::Message()
                         << (ycck ? "YCCK" : "CMYK") << (fullChroma ? " 1x1" : " subsampled"));
            const RawImage source = makeImage(57, 35, 4, ycck ? 2 : 5);
            JpegOptions o;
            o.colour = ycck ? JpegColour::Ycck : JpegColour::Cmyk;
            o.quality = 95;
            o.fullChroma = fullChroma;
            const auto frame = compressJpeg(source, o);
            ASSERT_FALSE(frame.empty());
            const RawImage library = decompressJpeg(frame, JCS_CMYK);
            ASSERT_EQ(library.components, 4);

            ASSERT_EQ(decode(frame), 0);
            ASSERT_EQ(header.header.biBitCount, 32);
            ASSERT_EQ(header.header.biWidth, 57);
            ASSERT_EQ(header.header.biHeight, 35);
            const std::uint32_t stride = dibStride(57, 32);
            int farFromSource = 0;
            for (int y = 0; y < 35; ++y)
                for (int x = 0; x < 57; ++x) {
                    const std::uint8_t* got = pixels.data() + std::size_t(34 - y) * stride + x * 4;
                    const std::uint8_t* lib = library.at(x, y);
                    const std::uint8_t* src = source.at(x, y);
                    for (int c = 0; c < 4; ++c) {
                        const int expected = ycck ? 255 - lib[c] : lib[c];
                        ASSERT_EQ(got[c], expected) << "pixel " << x << "," << y << " component " << c;
                        // And near what went in (complemented for YCCK), at quality 95.
                        const int original = ycck ? 255 - src[c] : src[c];
                        if (std::abs(got[c] - original) > 24)
                            ++farFromSource;
                    }
                }
            EXPECT_LT(farFromSource, 57 * 35 * 4 / 50);
        }
    }
}

// Damaged and hostile frames fail (and, under the sanitizer build, never read or write outside
// the frame and the buffer).
TEST_F(JpegDecodeTest, DamagedFramesFail)
{
    const auto good = cjpegWith(makePicture(64, 48, 1), "-quality 85", dir);
    ASSERT_EQ(decode(good), 0);
    const auto progressive = cjpegWith(makePicture(64, 48, 1), "-progressive", dir);
    ASSERT_EQ(decode(progressive), 0);

    auto cut = [](std::vector<std::uint8_t> f, std::size_t keep, bool addEoi) {
        f.resize(keep);
        if (addEoi) {
            f.push_back(0xFF);
            f.push_back(0xD9);
        }
        return f;
    };
    auto sofAt = [](const std::vector<std::uint8_t>& f) {
        for (std::size_t i = 2; i + 9 < f.size(); ++i)
            if (f[i] == 0xFF && (f[i + 1] == 0xC0 || f[i + 1] == 0xC2))
                return i;
        return std::size_t(0);
    };
    auto withSize = [&](std::vector<std::uint8_t> f, int width, int height) {
        const std::size_t sof = sofAt(f);
        f[sof + 5] = static_cast<std::uint8_t>(height >> 8);
        f[sof + 6] = static_cast<std::uint8_t>(height);
        f[sof + 7] = static_cast<std::uint8_t>(width >> 8);
        f[sof + 8] = static_cast<std::uint8_t>(width);
        return f;
    };
    ASSERT_NE(sofAt(good), 0u);

    // Stray bytes before a marker (libjpeg only warns): in front of the EOI.
    auto stray = good;
    stray.insert(stray.end() - 2, {0x12, 0x34, 0x56});

    // A frame whose scan data stops half way, with an EOI put after it.
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> frames = {
        {"empty SOI EOI", {0xFF, 0xD8, 0xFF, 0xD9}},
        {"header only", cut(good, sofAt(good) + 19, false)},
        {"scan cut in half, EOI added", cut(good, good.size() / 2, true)},
        {"scan cut in half", cut(good, good.size() / 2, false)},
        {"progressive cut, EOI added", cut(progressive, progressive.size() * 2 / 3, true)},
        {"last byte missing", cut(good, good.size() - 1, false)},
        {"extraneous bytes before EOI", stray},
        {"not a JPEG", std::vector<std::uint8_t>(200, 0x41)},
        {"width 0", withSize(good, 0, 48)},
        {"65500 x 65500 claimed", withSize(good, 65500, 65500)},
        {"5000 x 5000 claimed (beyond the buffer limit)", withSize(good, 5000, 5000)},
    };
    for (const auto& [name, frame] : frames) {
        SCOPED_TRACE(name);
        EXPECT_EQ(decode(frame), -1);
    }
    // Every prefix of a real frame fails, whatever byte it stops at.
    for (std::size_t keep = 1; keep < good.size(); keep += 7)
        EXPECT_EQ(decode(cut(good, keep, false)), -1) << keep;
    // A tables-only stream has no image.
    EXPECT_EQ(decode(cut(good, sofAt(good), true)), -1);
    // The decoder is still usable after all that.
    EXPECT_EQ(decode(good), 0);
}

// The buffer grows for a larger picture and never shrinks; a picture beyond the limit is refused
// before it is allocated.
TEST_F(JpegDecodeTest, BufferSizedFromHeader)
{
    const auto small = compressJpeg(makeImage(64, 48, 3, 1), {});
    ASSERT_EQ(decode(small), 0);
    EXPECT_GE(pixels.size(), std::size_t(dibStride(64, 24)) * 48);
    const auto big = compressJpeg(makeImage(1280, 1024, 3, 1), {});
    ASSERT_EQ(decode(big), 0);
    EXPECT_GE(pixels.size(), std::size_t(1280) * 1024 * 3);
    const std::size_t grown = pixels.size();
    ASSERT_EQ(decode(small), 0);
    EXPECT_EQ(pixels.size(), grown);

    // Large pictures: a plain pattern is enough (and quick to make).
    auto plain = [](int width, int height) {
        RawImage image{width, height, 3, std::vector<std::uint8_t>(std::size_t(width) * height * 3)};
        for (std::size_t i = 0; i < image.samples.size(); ++i)
            image.samples[i] = static_cast<std::uint8_t>(i / 4096);
        return image;
    };
    ASSERT_EQ(decode(compressJpeg(plain(3000, 3000), {})), 0);  // 27 MB of 24-bit rows: fits
    const auto wayTooBig = compressJpeg(plain(4000, 3000), {}); // 36 MB: beyond the limit
    const std::size_t before = pixels.size();
    EXPECT_EQ(decode(wayTooBig), -1);
    EXPECT_EQ(pixels.size(), before);
}

// A progressive frame makes the decoder walk the whole picture once per scan: a frame with more
// scans than a camera sends is dropped, whatever its size. The pictures are legal progressions
// (decode_bomb.h), so only the count of scans decides.
TEST_F(JpegDecodeTest, FramesWithMoreScansThanCamerasSendAreDropped)
{
    struct Case
    {
        const char* name;
        int side;
        int acScans; // after the one DC scan
        int result;
    };
    const Case cases[] = {
        {"few scans", 64, 5, 0},
        {"at the limit", 64, kMaxScansPerFrame - 1, 0},
        {"one scan beyond", 64, kMaxScansPerFrame, -1},
        {"hundreds of scans", 64, 600, -1},
        {"the served bomb: 5760 x 5760, 500 scans", 5760, 500, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto frame =
            c.side == 5760 ? camsim::servedDecodeBomb() : camsim::decodeBombJpeg(c.side, c.side, c.acScans);
        ASSERT_FALSE(frame.empty());
        EXPECT_EQ(decode(frame), c.result);
        if (c.result == 0) {
            EXPECT_EQ(header.header.biWidth, c.side);
            EXPECT_EQ(header.header.biBitCount, 8);
            EXPECT_EQ(pixels[0], 128); // all coefficients zero: mid-grey
        }
    }
}

// A stop request ends a decode (the image loop passes its stop word); any other state of the word
// lets the frame through.
TEST_F(JpegDecodeTest, AStopRequestEndsTheDecode)
{
    const auto frame = compressJpeg(makeImage(64, 48, 3, 1), {});
    EndRunFlag word;
    const std::pair<EndRun, int> cases[] = {
        {EndRun::Run, 0},
        {EndRun::StopRequested, -1},
        {EndRun::StopAcknowledged, 0},
        {EndRun::FirmwareUpload, 0},
    };
    for (const auto& [state, result] : cases) {
        SCOPED_TRACE(static_cast<int>(state));
        word.store(state);
        EXPECT_EQ(decode(frame, &word), result);
    }
}

} // namespace
