// The JPEG decoder against libjpeg-turbo's djpeg on files made by cjpeg and jpegtran, its
// target geometry, and damaged input.
#include "jpeg_stream_builder.h"
#include "jpeg_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

using namespace jpegtest;
using imgtest::Image;

namespace {

std::int32_t loadMem(const Bytes& b, img_desc* d)
{
    return img_load_jpeg_mem(b.empty() ? nullptr : b.data(), static_cast<std::uint32_t>(b.size()), d);
}

// The reference decode: the accurate integer IDCT, upsampling by replication, no SIMD.
Bytes djpeg(const std::filesystem::path& jpeg)
{
    const std::filesystem::path out = scratch() / "djpeg.pnm";
    const RunResult r =
        run("JSIMD_FORCENONE=1 djpeg -dct int -nosmooth -outfile " + quote(out) + " " + quote(jpeg));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, "");
    return readFile(out);
}

struct Source
{
    std::uint32_t w, h;
    bool grey;
};

struct Variant
{
    std::string name;
    std::string command; // %in: the PNM, %base: a baseline JPEG of it, %out: the file to make
};

std::string expand(std::string s, const std::filesystem::path& in, const std::filesystem::path& base,
                   const std::filesystem::path& out)
{
    auto replace = [&](const std::string& key, const std::string& value) {
        for (std::size_t p; (p = s.find(key)) != std::string::npos;) {
            s.replace(p, key.size(), value);
        }
    };
    replace("%in", quote(in));
    replace("%base", quote(base));
    replace("%out", quote(out));
    return s;
}

TEST(JpegDecoder, MatchesDjpegOnACjpegAndJpegtranCorpus)
{
    const Source sources[] = {{64, 48, false}, {37, 23, false}, {1, 1, false}, {17, 9, false},
                              {200, 8, false}, {31, 33, true},  {8, 1, true}};
    const std::filesystem::path seqScans = scratch() / "separate-scans.txt";
    writeFile(seqScans, Bytes{'0', ':', ' ', '0', ' ', '6', '3', ' ', '0', ' ', '0', ';', '\n', '1',
                              ' ', '2', ':', ' ', '0', ' ', '6', '3', ' ', '0', ' ', '0', ';',  '\n'});
    const std::string scans = quote(seqScans);
    const Variant variants[] = {
        {"baseline", "cjpeg -dct int -quality 85 -outfile %out %in"},
        {"baseline q100", "cjpeg -dct int -quality 100 -outfile %out %in"},
        {"16-bit tables", "cjpeg -dct int -quality 3 -outfile %out %in"},
        {"optimised", "cjpeg -dct int -optimize -quality 60 -outfile %out %in"},
        {"progressive", "cjpeg -dct int -progressive -quality 90 -outfile %out %in"},
        {"restart every row", "cjpeg -dct int -restart 1 -quality 75 -outfile %out %in"},
        {"restart every 3 MCUs", "cjpeg -dct int -restart 3B -quality 75 -outfile %out %in"},
        {"4:4:4", "cjpeg -dct int -sample 1x1 -quality 95 -outfile %out %in"},
        {"4:2:2 progressive with restarts",
         "cjpeg -dct int -sample 2x1 -progressive -restart 1 -outfile %out %in"},
        {"1x2 luma", "cjpeg -dct int -sample 1x2 -outfile %out %in"},
        {"jpegtran progressive", "jpegtran -progressive -outfile %out %base"},
        {"jpegtran restarts", "jpegtran -restart 2B -outfile %out %base"},
        {"jpegtran optimised", "jpegtran -optimize -outfile %out %base"},
        {"components in separate scans", "jpegtran -scans " + scans + " -outfile %out %base"},
    };
    int seed = 40;
    for (const Source& src : sources) {
        Image img(src.w, src.h, src.grey ? 8 : 24);
        ASSERT_EQ(img.result(), 0);
        fillPicture(img.desc(), ++seed);
        const std::filesystem::path in = scratch() / "corpus-in.pnm";
        const std::filesystem::path base = scratch() / "corpus-base.jpg";
        const std::filesystem::path jpg = scratch() / "corpus.jpg";
        writeFile(in, toPnm(img.desc()));
        ASSERT_EQ(run("cjpeg -dct int -quality 80 -outfile " + quote(base) + " " + quote(in)).exitCode, 0);
        for (const Variant& v : variants) {
            if (src.grey && v.name.find("separate") != std::string::npos) {
                continue; // one component: nothing to separate
            }
            const std::string label =
                std::to_string(src.w) + "x" + std::to_string(src.h) + (src.grey ? " grey " : " ") + v.name;
            const RunResult made = run(expand(v.command, in, base, jpg));
            ASSERT_EQ(made.exitCode, 0) << label << made.output;
            const Bytes file = readFile(jpg);
            int w = 0;
            int h = 0;
            const Bytes expected = pnmPixels(djpeg(jpg), &w, &h);
            ASSERT_EQ(w, static_cast<int>(src.w)) << label;

            Image out(src.w, src.h, src.grey ? 8 : 24);
            ASSERT_EQ(loadMem(file, &out), 0) << label << " status " << img_jpeg_last_status();
            EXPECT_EQ(areaPixels(out.desc()), expected) << label;
            // Through a file as well.
            Image fromFile(src.w, src.h, src.grey ? 8 : 24);
            ASSERT_EQ(img_load_jpeg(jpg.c_str(), &fromFile), 0) << label;
            EXPECT_EQ(areaPixels(fromFile.desc()), expected) << label;
        }
    }
}

Bytes cjpegFile(std::uint32_t w, std::uint32_t h, bool grey, const std::string& options, int seed = 7)
{
    Image img(w, h, grey ? 8 : 24);
    fillPicture(img.desc(), static_cast<std::uint32_t>(seed));
    const std::filesystem::path in = scratch() / "one-in.pnm";
    const std::filesystem::path out = scratch() / "one.jpg";
    writeFile(in, toPnm(img.desc()));
    EXPECT_EQ(run("cjpeg " + options + " -outfile " + quote(out) + " " + quote(in)).exitCode, 0);
    return readFile(out);
}

TEST(JpegDecoder, DepthMustMatchTheComponents)
{
    const Bytes grey = cjpegFile(16, 16, true, "-quality 80");
    const Bytes colour = cjpegFile(16, 16, false, "-quality 80");
    Image rgb(16, 16, 24);
    Image idx(16, 16, 8);
    idx->palette[3] = tessivor::RgbQuad{1, 2, 3, 0}; // no longer the grey ramp
    idx->typeFlags = 0;
    Image mono(16, 16, 1);
    EXPECT_EQ(loadMem(grey, &rgb), IMG_ERR_DEPTH);
    EXPECT_EQ(loadMem(colour, &idx), IMG_ERR_DEPTH);
    EXPECT_EQ(loadMem(colour, &mono), IMG_ERR_DEPTH);
    ASSERT_EQ(loadMem(grey, &idx), 0);
    EXPECT_EQ(img_is_gray(&idx), 1); // the grey palette comes back with the pixels
    EXPECT_EQ(idx->typeFlags & IMG_TYPE_GRAY, IMG_TYPE_GRAY);
}

// A picture larger than the area fills it with its top-left part; a smaller one leaves the rest
// of the area, and everything outside the area, untouched.
TEST(JpegDecoder, FullSizeIsCutToTheArea)
{
    const Bytes file = cjpegFile(40, 30, false, "-quality 90");
    Image whole(40, 30, 24);
    ASSERT_EQ(loadMem(file, &whole), 0);

    struct Case
    {
        std::uint32_t imgW, imgH, x0, y0, x1, y1;
    };
    const Case cases[] = {
        {40, 30, 0, 0, 9, 6},   // smaller area: top-left part
        {60, 50, 5, 7, 59, 49}, // larger area at an offset: the picture, then untouched pixels
        {60, 50, 3, 2, 20, 40}, // narrower but taller
    };
    for (const Case& c : cases) {
        Image img(c.imgW, c.imgH, 24);
        std::memset(img->pixels, 0x5A, static_cast<std::size_t>(img->bytesPerRow) * c.imgH);
        img_set_area(&img, c.x0, c.y0, c.x1, c.y1);
        ASSERT_EQ(loadMem(file, &img), 0);
        for (std::uint32_t y = 0; y < c.imgH; ++y) {
            for (std::uint32_t x = 0; x < c.imgW; ++x) {
                const bool inArea = x >= c.x0 && x <= c.x1 && y >= c.y0 && y <= c.y1;
                const bool inPicture = inArea && x - c.x0 < 40 && y - c.y0 < 30;
                const std::uint32_t v = imgtest::get(img.desc(), x, y);
                if (inPicture) {
                    ASSERT_EQ(v, imgtest::get(whole.desc(), x - c.x0, y - c.y0)) << x << "," << y;
                } else {
                    ASSERT_EQ(v, 0x5A5A5Au) << x << "," << y;
                }
            }
        }
    }
}

// Restart markers are taken whatever their number: renumbering them changes nothing.
TEST(JpegDecoder, RestartMarkersOutOfSequence)
{
    Bytes file = cjpegFile(48, 48, false, "-quality 80 -restart 1");
    Image expected(48, 48, 24);
    ASSERT_EQ(loadMem(file, &expected), 0);
    int renumbered = 0;
    for (std::size_t i = 0; i + 1 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] >= 0xD0 && file[i + 1] <= 0xD7) {
            file[i + 1] = 0xD7;
            ++renumbered;
        }
    }
    ASSERT_GT(renumbered, 1);
    Image img(48, 48, 24);
    ASSERT_EQ(loadMem(file, &img), 0);
    EXPECT_EQ(areaPixels(img.desc()), areaPixels(expected.desc()));
}

// Every prefix of a file: a cut in the headers is a header error, a cut in the only scan of a
// sequential file is -62, and a progressive file cut after its first complete scan shows what
// came, with the end of the data in the status word.
TEST(JpegDecoder, FileCutAnywhere)
{
    struct Case
    {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        {"baseline", cjpegFile(24, 24, false, "-quality 70")},
        {"restarts", cjpegFile(24, 24, false, "-quality 70 -restart 1")},
        {"progressive", cjpegFile(24, 24, false, "-quality 70 -progressive")},
        {"grey progressive", cjpegFile(16, 24, true, "-quality 70 -progressive")},
    };
    for (const Case& c : cases) {
        const bool progressive = std::string(c.name).find("progressive") != std::string::npos;
        const std::uint32_t bits = std::string(c.name).find("grey") != std::string::npos ? 8 : 24;
        // The first SOS, and the marker that ends the first scan's data.
        std::size_t sos = 0;
        for (std::size_t i = 0; i + 1 < c.file.size(); ++i) {
            if (c.file[i] == 0xFF && c.file[i + 1] == 0xDA) {
                sos = i;
                break;
            }
        }
        ASSERT_GT(sos, 0u);
        std::size_t scanEnd = sos + 2 + (c.file[sos + 2] << 8 | c.file[sos + 3]);
        while (!(c.file[scanEnd] == 0xFF && c.file[scanEnd + 1] != 0 &&
                 (c.file[scanEnd + 1] < 0xD0 || c.file[scanEnd + 1] > 0xD7))) {
            ++scanEnd;
        }
        for (std::size_t n = 1; n <= c.file.size(); ++n) {
            const Bytes prefix(c.file.begin(), c.file.begin() + static_cast<std::ptrdiff_t>(n));
            Image img(24, 24, bits);
            const auto start = std::chrono::steady_clock::now();
            const std::int32_t r = loadMem(prefix, &img);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
            const std::string label = std::string(c.name) + " cut at " + std::to_string(n);
            if (n < sos + 4) {
                ASSERT_EQ(r, -43) << label;
            } else if (n < scanEnd) {
                // The first scan cannot complete.
                ASSERT_EQ(r, -62) << label;
                EXPECT_EQ(img_jpeg_last_status(), -101) << label;
            } else {
                ASSERT_EQ(r, 0) << label;
                if (progressive) {
                    EXPECT_EQ(img_jpeg_last_status(), n < c.file.size() ? -101 : 0) << label;
                }
            }
        }
    }
}

// Streams a decoder must refuse before it decodes, and damaged scan data.
TEST(JpegDecoder, RefusesFramesAndScansItCannotDecode)
{
    // A valid 8 x 8 grey baseline stream whose one block is DC 0 and EOB, with a table set of
    // one DC code (symbol 0) and one AC code (EOB), both "0"; data byte 0x3F = 00 + six
    // padding one-bits.
    auto grey = [](int sofMarker, int precision, std::vector<std::array<int, 3>> comps, int dcTableInScan,
                   Bytes data) {
        StreamBuilder s;
        s.soi().jfif().dqt(0).sof(sofMarker, 8, 8, comps, precision);
        s.dht(0, 0, {1}, {0}).dht(1, 0, {1}, {0});
        s.sos({1}, dcTableInScan << 4).raw(data).eoi();
        return s.bytes();
    };
    struct Case
    {
        const char* name;
        Bytes stream;
        std::int32_t result;
        std::int32_t status;
    };
    const std::vector<std::array<int, 3>> one = {{1, 0x11, 0}};
    const Case cases[] = {
        {"valid", grey(0xC0, 8, one, 0, {0x3F}), 0, 0},
        {"lossless", grey(0xC3, 8, one, 0, {0x3F}), -43, -110},
        {"arithmetic", grey(0xC9, 8, one, 0, {0x3F}), -43, -110},
        {"12-bit", grey(0xC1, 12, one, 0, {0x3F}), -43, -100},
        {"two components", grey(0xC0, 8, {{1, 0x11, 0}, {2, 0x11, 0}}, 0, {0x3F}), -43, -109},
        {"sampling 5", grey(0xC0, 8, {{1, 0x51, 0}}, 0, {0x3F}), -43, -106},
        {"missing quantisation table", grey(0xC0, 8, {{1, 0x11, 2}}, 0, {0x3F}), -43, -106},
        {"undefined DC table in the scan", grey(0xC0, 8, one, 1, {0x3F}), -43, -106},
        {"data cut at a marker", grey(0xC0, 8, one, 0, {}), -62, -101},
        {"MCU of 12 blocks",
         StreamBuilder()
             .soi()
             .dqt(0)
             .sof(0xC0, 16, 16, {{1, 0x22, 0}, {2, 0x22, 0}, {3, 0x22, 0}})
             .sos({1, 2, 3})
             .eoi()
             .bytes(),
         -43, -107},
        {"width 0", StreamBuilder().soi().dqt(0).sof(0xC0, 0, 8, one).sos({1}).eoi().bytes(), -1, 0},
        {"height 0", StreamBuilder().soi().dqt(0).sof(0xC0, 8, 0, one).sos({1}).eoi().bytes(), -1, 0},
        {"width 40000", StreamBuilder().soi().dqt(0).sof(0xC0, 40000, 8, one).sos({1}).eoi().bytes(), -1, 0},
    };
    for (const Case& c : cases) {
        Image img(8, 8, 8);
        EXPECT_EQ(loadMem(c.stream, &img), c.result) << c.name;
        if (c.status != 0) {
            EXPECT_EQ(img_jpeg_last_status(), c.status) << c.name;
        }
    }

    // Progressive scan headers outside the rules.
    const Bytes good = cjpegFile(16, 16, true, "-quality 80 -progressive");
    struct ScanCase
    {
        const char* name;
        int ss, se, a;
    };
    const ScanCase scanCases[] = {
        {"DC scan with Se 5", 0, 5, 0x01},
        {"AC scan with Ss above Se", 9, 5, 0x02},
        {"AC scan with Se 64", 1, 64, 0x02},
        {"refinement with Ah != Al + 1", 1, 63, 0x20},
        {"Al 14", 1, 63, 0x0E},
    };
    std::size_t firstSos = 0;
    for (std::size_t i = 0; i + 1 < good.size(); ++i) {
        if (good[i] == 0xFF && good[i + 1] == 0xDA) {
            firstSos = i;
            break;
        }
    }
    ASSERT_GT(firstSos, 0u);
    for (const ScanCase& c : scanCases) {
        Bytes bad = good;
        const std::size_t at = firstSos + 2 + 2 + 1 + 2; // after length, count and one component
        bad[at] = static_cast<std::uint8_t>(c.ss);
        bad[at + 1] = static_cast<std::uint8_t>(c.se);
        bad[at + 2] = static_cast<std::uint8_t>(c.a);
        Image img(16, 16, 8);
        EXPECT_EQ(loadMem(bad, &img), -43) << c.name;
        EXPECT_EQ(img_jpeg_last_status(), -113) << c.name;
    }
}

TEST(JpegDecoder, InputAndAllocationErrors)
{
    const Bytes file = cjpegFile(64, 64, false, "-quality 80 -progressive");
    Image img(64, 64, 24);
    img_desc empty;
    EXPECT_EQ(img_load_jpeg_mem(nullptr, 10, &img), IMG_ERR_MEM_SOURCE);
    EXPECT_EQ(img_load_jpeg_mem(file.data(), 0, &img), IMG_ERR_MEM_SOURCE);
    EXPECT_EQ(loadMem(file, &empty), IMG_ERR_NO_PIXELS);
    EXPECT_EQ(img_load_jpeg((scratch() / "missing.jpg").c_str(), &img), IMG_ERR_OPEN_INPUT);

    const std::size_t live = img_live_allocations();
    // 1: the header window, 2: the decoder's window, 3: the first coefficient buffer.
    img_fail_allocation(3);
    EXPECT_EQ(loadMem(file, &img), IMG_ERR_NO_MEMORY);
    img_fail_allocation(0);
    EXPECT_EQ(img_live_allocations(), live);
    ASSERT_EQ(loadMem(file, &img), 0);
}

} // namespace
