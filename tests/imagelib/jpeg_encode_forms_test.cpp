// The encoder's vector forms (SSE2, AVX2) against its plain form: kernel by kernel on blocks and
// rows chosen to reach the ends of every range, then whole pictures of every kind, size, quality
// and mode, byte for byte. Forms the processor cannot run are reported as skipped.
#include "jpeg_test_support.h"

#include "imagelib/jpeg_encode_kernels.h"
#include "imagelib/jpeg_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using namespace jpegtest;
using imgtest::Image;
using tessivor::jpeg::EncodeKernels;
using tessivor::jpeg::EncodePath;

namespace {

struct Form
{
    EncodePath path;
    const char* name;
    const EncodeKernels* kernels;
};

// The vector forms this build has.
std::vector<Form> vectorForms()
{
#if defined(__x86_64__)
    return {{EncodePath::Sse2, "SSE2", &tessivor::jpeg::kSse2EncodeKernels},
            {EncodePath::Avx2, "AVX2", &tessivor::jpeg::kAvx2EncodeKernels}};
#else
    return {};
#endif
}

// Forces a form for the scope, then hands the choice back to the processor check.
class ForcedPath
{
public:
    explicit ForcedPath(EncodePath path) : m_ok(tessivor::jpeg::forceEncodePath(path)) {}
    ~ForcedPath() { tessivor::jpeg::forceEncodePath(EncodePath::Best); }
    bool ok() const { return m_ok; }

private:
    bool m_ok;
};

#define SKIP_UNLESS_FORM_RUNS(form)                                                                          \
    ForcedPath forced((form).path);                                                                          \
    if (!forced.ok()) {                                                                                      \
        GTEST_SKIP() << (form).name << " is not available on this processor";                                \
    }

// 8 x 8 sample blocks that drive the DCT's sums and the quantiser's quotients to their ends:
// flat black and white, checkerboards and stripes of 0 and 255 (the largest AC terms), a ramp,
// and random blocks.
std::vector<std::vector<std::uint8_t>> testBlocks()
{
    std::vector<std::vector<std::uint8_t>> blocks;
    auto make = [&](auto sample) {
        std::vector<std::uint8_t> b(64);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                b[y * 8 + x] = static_cast<std::uint8_t>(sample(x, y));
            }
        }
        blocks.push_back(b);
    };
    make([](int, int) { return 0; });
    make([](int, int) { return 255; });
    make([](int x, int y) { return (x + y) % 2 ? 255 : 0; });
    make([](int x, int y) { return (x + y) % 2 ? 0 : 255; });
    make([](int x, int) { return x % 2 ? 255 : 0; });
    make([](int, int y) { return y % 2 ? 255 : 0; });
    make([](int x, int) { return x < 4 ? 0 : 255; });
    make([](int, int y) { return y < 4 ? 255 : 0; });
    make([](int x, int y) { return (x < 4) == (y < 4) ? 255 : 0; });
    make([](int x, int y) { return x * 32 + y; });
    // Each basis pattern of the transform, as 0 / 255 by the sign of its cosine product.
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            make([u, v](int x, int y) {
                const double c =
                    std::cos((2 * x + 1) * u * M_PI / 16) * std::cos((2 * y + 1) * v * M_PI / 16);
                return c >= 0 ? 255 : 0;
            });
        }
    }
    std::mt19937 random(27);
    for (int i = 0; i < 3000; ++i) {
        const int spread = 1 + static_cast<int>(random() % 256);
        const int base = static_cast<int>(random() % (257 - spread));
        make([&](int, int) { return base + static_cast<int>(random() % spread); });
    }
    return blocks;
}

TEST(JpegEncodeForms, TransformGivesThePlainCoefficientsForEveryTable)
{
    const auto blocks = testBlocks();
    const int qualities[] = {1, 2, 5, 10, 25, 50, 75, 90, 99, 100};
    for (const Form& form : vectorForms()) {
        SKIP_UNLESS_FORM_RUNS(form);
        for (int quality : qualities) {
            for (const auto* base :
                 {&tessivor::jpeg::kStdLuminanceQuant, &tessivor::jpeg::kStdChrominanceQuant}) {
                const auto table =
                    tessivor::jpeg::makeQuantTable(*base, tessivor::jpeg::qualityScale(quality));
                for (std::size_t i = 0; i < blocks.size(); ++i) {
                    // Pairs of different blocks, and a block paired with itself.
                    const auto& a = blocks[i];
                    const auto& b = blocks[(i * 7 + 1) % blocks.size()];
                    std::int16_t expectA[64], expectB[64], gotA[64], gotB[64], self[64];
                    tessivor::jpeg::kPlainEncodeKernels.transformPair(a.data(), b.data(), 8, table, expectA,
                                                                      expectB);
                    form.kernels->transformPair(a.data(), b.data(), 8, table, gotA, gotB);
                    form.kernels->transformPair(a.data(), a.data(), 8, table, self, self);
                    const bool same = std::memcmp(expectA, gotA, sizeof gotA) == 0 &&
                                      std::memcmp(expectB, gotB, sizeof gotB) == 0 &&
                                      std::memcmp(expectA, self, sizeof self) == 0;
                    ASSERT_TRUE(same) << form.name << " quality " << quality << " block " << i;
                }
            }
        }
    }
}

TEST(JpegEncodeForms, RowKernelsGiveThePlainSamplesAndStayInsideTheirRows)
{
    std::mt19937 random(5);
    constexpr std::uint8_t kGuard = 0xA5;
    for (const Form& form : vectorForms()) {
        SKIP_UNLESS_FORM_RUNS(form);
        // Widths around the kernels' rounds (16 and 32 samples) and their tails.
        for (int width = 0; width <= 100; ++width) {
            std::vector<std::uint8_t> bgr(3 * static_cast<std::size_t>(width));
            for (std::size_t i = 0; i < bgr.size(); ++i) {
                // Every third row of the loop is all extremes.
                bgr[i] = width % 3 == 0 ? (random() % 2 ? 255 : 0) : static_cast<std::uint8_t>(random());
            }
            std::vector<std::uint8_t> expect(3 * (width + 1), kGuard), got(3 * (width + 1), kGuard);
            auto convert = [&](const EncodeKernels& k, std::vector<std::uint8_t>& out) {
                k.convertBgr(bgr.data(), width, out.data(), out.data() + width + 1,
                             out.data() + 2 * (width + 1));
            };
            convert(tessivor::jpeg::kPlainEncodeKernels, expect);
            convert(*form.kernels, got);
            EXPECT_EQ(got, expect) << form.name << " colour conversion, width " << width;

            const std::vector<std::uint8_t> rows(bgr.begin(), bgr.end());
            const int outW = width / 2;
            std::vector<std::uint8_t> expectHalf(outW + 1, kGuard), gotHalf(outW + 1, kGuard);
            tessivor::jpeg::kPlainEncodeKernels.downsample(rows.data(), rows.data() + width, outW,
                                                           expectHalf.data());
            form.kernels->downsample(rows.data(), rows.data() + width, outW, gotHalf.data());
            EXPECT_EQ(gotHalf, expectHalf) << form.name << " downsampling, width " << outW;
        }
    }
}

// Whole pictures: every form writes the plain form's bytes, in every mode, for colour, grey
// and palette pictures whose sizes leave partial MCUs and odd MCU counts on either edge.
TEST(JpegEncodeForms, EveryFormWritesThePlainFormsFile)
{
    struct Picture
    {
        std::uint32_t w, h, bits;
        bool palette;
    };
    const Picture pictures[] = {
        {64, 48, 24, false}, {160, 112, 24, false}, {1, 1, 24, false},   {17, 9, 24, false},
        {37, 23, 24, false}, {333, 5, 24, false},   {2, 201, 24, false}, {640, 480, 24, false},
        {64, 48, 8, false},  {96, 128, 8, false},   {31, 33, 8, false},  {1, 1, 8, false},
        {45, 19, 8, true},   {24, 40, 8, true},
    };
    const int qualities[] = {1, 25, 75, 100};
    const std::int32_t modes[] = {0, IMG_JPEG_OPTIMIZE, IMG_JPEG_PROGRESSIVE};

    auto encodeAll = [&](EncodePath path) {
        std::vector<Bytes> files;
        ForcedPath forced(path);
        if (!forced.ok()) {
            return files;
        }
        int seed = 40;
        for (const Picture& pic : pictures) {
            Image img(pic.w, pic.h, pic.bits);
            EXPECT_EQ(img.result(), 0);
            if (pic.palette) {
                for (int i = 0; i < 256; ++i) {
                    img->palette[i] = tessivor::RgbQuad{static_cast<std::uint8_t>(i * 5),
                                                        static_cast<std::uint8_t>(255 - i),
                                                        static_cast<std::uint8_t>(i * 11), 0};
                }
                img->typeFlags = 0;
            }
            fillPicture(img.desc(), ++seed);
            for (int q : qualities) {
                for (std::int32_t mode : modes) {
                    void* block = nullptr;
                    EXPECT_EQ(img_save_jpeg_mem_ex(&block, &img, q, mode), 0);
                    files.push_back(takeBlock(block));
                }
            }
        }
        return files;
    };

    const std::vector<Bytes> plain = encodeAll(EncodePath::Plain);
    ASSERT_EQ(plain.size(), std::size(pictures) * std::size(qualities) * std::size(modes));
    for (const Form& form : vectorForms()) {
        SKIP_UNLESS_FORM_RUNS(form);
        const std::vector<Bytes> files = encodeAll(form.path);
        ASSERT_EQ(files.size(), plain.size()) << form.name;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const std::size_t pic = i / (std::size(qualities) * std::size(modes));
            EXPECT_EQ(files[i], plain[i]) << form.name << ": " << pictures[pic].w << "x" << pictures[pic].h
                                          << "x" << pictures[pic].bits << " case " << i;
        }
    }
}

} // namespace
