// Thumbnails: the JFXX segment the encoder adds, showing embedded thumbnails, and the decoder's
// fit mode that the thumbnail entries fall back to.
#include "jpeg_stream_builder.h"
#include "jpeg_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace jpegtest;
using imgtest::Image;

namespace {

std::int32_t loadThumb(const Bytes& b, img_desc* d, std::int32_t skip)
{
    return img_load_jpeg_thumb_mem(b.data(), static_cast<std::uint32_t>(b.size()), d, skip);
}

Bytes saveMem(Image& img, int quality, std::int32_t flags)
{
    void* block = nullptr;
    EXPECT_EQ(img_save_jpeg_mem_ex(&block, &img, quality, flags), 0);
    return takeBlock(block);
}

// The first APP0 segment after `from` whose identifier starts with `id`; its offset or npos.
std::size_t findApp0(const Bytes& b, const char* id, std::size_t from = 2)
{
    for (std::size_t i = from; i + 8 < b.size(); ++i) {
        if (b[i] == 0xFF && b[i + 1] == 0xE0 && std::memcmp(&b[i + 4], id, std::strlen(id)) == 0) {
            return i;
        }
    }
    return std::string::npos;
}

TEST(JpegThumbnail, EncoderAddsAJfxxSegment)
{
    struct Case
    {
        std::uint32_t w, h, bits;
        std::int32_t flags;
        int size; // longer side set before the save
        int kind, tw, th;
        int length; // of the segment
    };
    const Case cases[] = {
        {640, 480, 24, IMG_JPEG_THUMBNAIL, 64, 0x13, 64, 48, 9226},
        {480, 640, 24, IMG_JPEG_THUMBNAIL | IMG_JPEG_OPTIMIZE, 64, 0x13, 48, 64, 9226},
        {100, 100, 8, IMG_JPEG_THUMBNAIL | IMG_JPEG_PROGRESSIVE, 40, 0x11, 40, 40, 1600 + 778},
        {300, 7, 24, IMG_JPEG_THUMBNAIL, 255, 0x13, 255, 5, 255 * 5 * 3 + 10},
    };
    int seed = 60;
    for (const Case& c : cases) {
        Image img(c.w, c.h, c.bits);
        fillPicture(img.desc(), ++seed);
        ASSERT_EQ(img_jpeg_set_thumbnail_size(c.size), 0);
        const std::filesystem::path out = scratch() / "thumb.jpg";
        ASSERT_EQ(img_save_jpeg_ex(out.c_str(), &img, 80, c.flags), 0);
        const Bytes b = readFile(out);
        const std::size_t at = findApp0(b, "JFXX");
        ASSERT_EQ(at, 20u) << c.w; // right after the JFIF segment
        EXPECT_EQ(b[at + 2] << 8 | b[at + 3], c.length);
        EXPECT_EQ(b[at + 9], c.kind);
        img_info_ex info;
        ASSERT_EQ(img_jpeg_info_ex(out.c_str(), &info), 0);
        EXPECT_EQ(info.thumbnailPresent, 1);
        EXPECT_EQ(info.thumbnailKind, c.kind);
        EXPECT_EQ(info.thumbnailWidth, c.tw);
        EXPECT_EQ(info.thumbnailHeight, c.th);
        EXPECT_EQ(info.thumbnailBits, c.kind == 0x11 ? 8 : 24);
        const RunResult check =
            run("jpeginfo -c " + quote(out) + " && djpeg -outfile /dev/null " + quote(out));
        EXPECT_EQ(check.exitCode, 0) << check.output;
        EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
        // The picture itself is the one a save without the thumbnail writes.
        void* plain = nullptr;
        ASSERT_EQ(img_save_jpeg_mem_ex(&plain, &img, 80, c.flags & ~IMG_JPEG_THUMBNAIL), 0);
        Bytes withoutSegment(b.begin(), b.begin() + 20);
        withoutSegment.insert(withoutSegment.end(), b.begin() + 20 + 2 + c.length, b.end());
        EXPECT_EQ(withoutSegment, takeBlock(plain));
    }
    img_jpeg_set_thumbnail_size(64);
}

// The thumbnail's pixels are the picture scaled down: a flat colour stays that colour.
TEST(JpegThumbnail, EncoderThumbnailShowsThePicture)
{
    Image img(64, 32, 24);
    for (std::uint32_t y = 0; y < 32; ++y) {
        for (std::uint32_t x = 0; x < 64; ++x) {
            imgtest::set(img.desc(), x, y, x < 32 ? 0x1020F0u : 0xF02010u); // B, G, R
        }
    }
    ASSERT_EQ(img_jpeg_set_thumbnail_size(16), 0);
    const Bytes b = saveMem(img, 90, IMG_JPEG_THUMBNAIL);
    img_jpeg_set_thumbnail_size(64);
    const std::size_t at = findApp0(b, "JFXX");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(b[at + 10], 16);
    ASSERT_EQ(b[at + 11], 8);
    const std::uint8_t* px = &b[at + 12];
    EXPECT_EQ(px[0], 0xF0); // R of the left half
    EXPECT_EQ(px[1], 0x20);
    EXPECT_EQ(px[2], 0x10);
    const std::uint8_t* right = px + 3 * 15;
    EXPECT_EQ(right[0], 0x10);
    EXPECT_EQ(right[2], 0xF0);
}

TEST(JpegThumbnail, ImpossibleThumbnailFailsWithoutTouchingTheFile)
{
    const std::filesystem::path target = scratch() / "big-thumb.jpg";
    const Bytes before = {1, 2, 3};
    writeFile(target, before);
    Image square(100, 100, 24);
    fillPicture(square.desc(), 3);
    ASSERT_EQ(img_jpeg_set_thumbnail_size(148), 0); // 148 x 148 x 3 + 10 > 65535
    EXPECT_EQ(img_save_jpeg_ex(target.c_str(), &square, 75, IMG_JPEG_THUMBNAIL), -70);
    void* block = nullptr;
    EXPECT_EQ(img_save_jpeg_mem_ex(&block, &square, 75, IMG_JPEG_THUMBNAIL), -70);
    EXPECT_EQ(block, nullptr);
    ASSERT_EQ(img_jpeg_set_thumbnail_size(64), 0);
    Image sliver(1000, 1, 24); // a 64 x 0 thumbnail
    EXPECT_EQ(img_save_jpeg_ex(target.c_str(), &sliver, 75, IMG_JPEG_THUMBNAIL), -70);
    EXPECT_EQ(readFile(target), before);
}

// The thumbnail entries show the embedded thumbnail: at its own size a plain copy of its pixels,
// in a larger area scaled as the library's nearest-neighbour resize scales it.
TEST(JpegThumbnail, ShowsTheEmbeddedThumbnail)
{
    Image img(120, 90, 24);
    fillPicture(img.desc(), 70);
    ASSERT_EQ(img_jpeg_set_thumbnail_size(40), 0);
    const Bytes b = saveMem(img, 85, IMG_JPEG_THUMBNAIL);
    img_jpeg_set_thumbnail_size(64);
    const std::size_t at = findApp0(b, "JFXX");
    ASSERT_NE(at, std::string::npos);
    // The thumbnail as an image of its own, from the segment's bytes.
    Image thumb(40, 30, 24);
    for (std::uint32_t y = 0; y < 30; ++y) {
        for (std::uint32_t x = 0; x < 40; ++x) {
            const std::uint8_t* p = &b[at + 12 + 3 * (y * 40 + x)];
            imgtest::set(thumb.desc(), x, y, static_cast<std::uint32_t>(p[2] << 16 | p[1] << 8 | p[0]));
        }
    }

    Image same(40, 30, 24);
    ASSERT_EQ(loadThumb(b, &same, 0), 0);
    EXPECT_EQ(areaPixels(same.desc()), areaPixels(thumb.desc()));

    Image larger(100, 100, 24);
    std::memset(larger->pixels, 0x77, static_cast<std::size_t>(larger->bytesPerRow) * 100);
    ASSERT_EQ(loadThumb(b, &larger, 0), 0);
    Image expected(100, 100, 24);
    std::memset(expected->pixels, 0x77, static_cast<std::size_t>(expected->bytesPerRow) * 100);
    img_set_area(&expected, 0, 0, 99, 74); // 40 x 30 into a 100 x 100 box keeps 4:3
    ASSERT_EQ(img_resize(&thumb, &expected), 0);
    img_set_area(&expected, 0, 0, 99, 99);
    EXPECT_EQ(areaPixels(larger.desc()), areaPixels(expected.desc()));

    // The box is never larger than the picture itself: a 120 x 90 picture in a 400 x 400 area.
    Image huge(400, 400, 24);
    std::memset(huge->pixels, 0x77, static_cast<std::size_t>(huge->bytesPerRow) * 400);
    ASSERT_EQ(loadThumb(b, &huge, 0), 0);
    EXPECT_NE(imgtest::get(huge.desc(), 119, 89), 0x777777u);
    EXPECT_EQ(imgtest::get(huge.desc(), 120, 0), 0x777777u);
    EXPECT_EQ(imgtest::get(huge.desc(), 0, 90), 0x777777u);
}

TEST(JpegThumbnail, KindsOfThumbnail)
{
    Image pic(32, 32, 24);
    fillPicture(pic.desc(), 80);
    const Bytes plain = saveMem(pic, 80, 0);
    const Bytes rest(plain.begin() + 20, plain.end()); // after SOI and JFIF
    Image whole(32, 32, 24);
    ASSERT_EQ(img_load_jpeg_mem(plain.data(), static_cast<std::uint32_t>(plain.size()), &whole), 0);

    // A 2 x 2 RGB thumbnail inside the JFIF segment.
    const Bytes rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 8, 7};
    const Bytes jfifThumb = StreamBuilder().soi().jfif(0, 1, 1, 2, 2, 0).bytes();
    Bytes withJfif(jfifThumb.begin(), jfifThumb.end());
    withJfif[5] = static_cast<std::uint8_t>(16 + rgb.size()); // segment length
    withJfif.insert(withJfif.end(), rgb.begin(), rgb.end());
    withJfif.insert(withJfif.end(), rest.begin(), rest.end());
    Image two(2, 2, 24);
    ASSERT_EQ(loadThumb(withJfif, &two, 0), 0);
    EXPECT_EQ(imgtest::get(two.desc(), 0, 0), 0x0000FFu); // red, stored B, G, R
    EXPECT_EQ(imgtest::get(two.desc(), 1, 0), 0x00FF00u);
    EXPECT_EQ(imgtest::get(two.desc(), 0, 1), 0xFF0000u);
    EXPECT_EQ(imgtest::get(two.desc(), 1, 1), 0x070809u);

    // A palette thumbnail (JFXX 0x11) in a 24-bit image: the palette's colours.
    Bytes jfxx = {'J', 'F', 'X', 'X', 0, 0x11, 2, 1};
    for (int i = 0; i < 256; ++i) {
        jfxx.insert(jfxx.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 40});
    }
    jfxx.insert(jfxx.end(), {3, 200});
    const Bytes withPalette = StreamBuilder().soi().jfif().segment(0xE0, jfxx).raw(rest).bytes();
    Image pal(2, 1, 24);
    ASSERT_EQ(loadThumb(withPalette, &pal, 0), 0);
    EXPECT_EQ(imgtest::get(pal.desc(), 0, 0), (40u << 16) | (252u << 8) | 3u);
    EXPECT_EQ(imgtest::get(pal.desc(), 1, 0), (40u << 16) | (55u << 8) | 200u);

    // An RGB thumbnail cannot go into an 8-bit image.
    Image grey(2, 2, 8);
    EXPECT_EQ(loadThumb(withJfif, &grey, 0), IMG_ERR_DEPTH);

    // A JPEG-coded thumbnail (JFXX 0x10), a skip flag 1, or no thumbnail: the whole picture,
    // scaled to fit (here at its own size).
    const Bytes coded = StreamBuilder()
                            .soi()
                            .jfif()
                            .segment(0xE0, {'J', 'F', 'X', 'X', 0, 0x10, 0xFF, 0xD8})
                            .raw(rest)
                            .bytes();
    for (const Bytes* file : std::initializer_list<const Bytes*>{&coded, &withJfif, &plain}) {
        Image fit(32, 32, 24);
        ASSERT_EQ(loadThumb(*file, &fit, file == &withJfif ? 1 : 0), 0);
        EXPECT_EQ(areaPixels(fit.desc()), areaPixels(whole.desc()));
    }

    // A thumbnail whose pixels lie past the end of the data.
    Bytes cut = withJfif;
    cut.resize(20 + 4);
    Image small(2, 2, 24);
    EXPECT_EQ(loadThumb(cut, &small, 0), -43); // the headers are cut too
}

// Skip flag 1: fit mode, which keeps the aspect ratio, never enlarges, and takes source pixel (x * W / w, y *
// H / h) for target pixel (x, y).
TEST(JpegThumbnail, WithoutOneTheWholePictureIsFitted)
{
    Image source(64, 40, 24);
    fillPicture(source.desc(), 33);
    const Bytes file = saveMem(source, 90, IMG_JPEG_PROGRESSIVE);
    Image whole(64, 40, 24);
    ASSERT_EQ(img_load_jpeg_mem(file.data(), static_cast<std::uint32_t>(file.size()), &whole), 0);
    struct Case
    {
        std::uint32_t areaW, areaH, outW, outH;
    };
    const Case cases[] = {
        {32, 32, 32, 20}, // width decides
        {50, 10, 16, 10}, // height decides
        {13, 7, 11, 7},
        {200, 100, 64, 40}, // never larger than the picture
    };
    for (const Case& c : cases) {
        Image img(c.areaW, c.areaH, 24);
        std::memset(img->pixels, 0x33, static_cast<std::size_t>(img->bytesPerRow) * c.areaH);
        ASSERT_EQ(img_load_jpeg_thumb_mem(file.data(), static_cast<std::uint32_t>(file.size()), &img, 1), 0);
        for (std::uint32_t y = 0; y < c.areaH; ++y) {
            for (std::uint32_t x = 0; x < c.areaW; ++x) {
                const std::uint32_t v = imgtest::get(img.desc(), x, y);
                if (x < c.outW && y < c.outH) {
                    ASSERT_EQ(v, imgtest::get(whole.desc(), x * 64 / c.outW, y * 40 / c.outH))
                        << c.areaW << "x" << c.areaH << " at " << x << "," << y;
                } else {
                    ASSERT_EQ(v, 0x333333u) << c.areaW << "x" << c.areaH << " at " << x << "," << y;
                }
            }
        }
    }
}

} // namespace
