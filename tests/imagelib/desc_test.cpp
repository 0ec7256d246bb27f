// Image descriptor: allocation and its layouts, freeing, the checks every operation runs, the
// grey palette and descriptors over packed bitmaps.
#include "image_helpers.h"

#include <cstring>

using imgtest::Image;
using tessivor::BitmapInfoHeader;
using tessivor::RgbQuad;

namespace {

// A caller's packed 24-bit bitmap: its header, then `width` x `height` pixels of `fill`.
std::vector<std::uint8_t> packedBitmap24(std::int32_t width, std::int32_t height, std::uint8_t fill)
{
    std::vector<std::uint8_t> packed(40 + tessivor::dibStride(static_cast<std::uint32_t>(width), 24) *
                                              static_cast<std::size_t>(height),
                                     fill);
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = 24;
    std::memcpy(packed.data(), &h, 40);
    return packed;
}

TEST(ImgAlloc, LayoutsByDepth)
{
    struct Case
    {
        std::uint32_t w, h, bits;
        std::int32_t result;
        std::uint32_t bitsMade, bytesPerRow, colours, flags;
    } cases[] = {
        {5, 3, 1, IMG_OK, 1, 4, 2, IMG_TYPE_GRAY},
        {33, 2, 1, IMG_OK, 1, 8, 2, IMG_TYPE_GRAY},
        {5, 3, 4, IMG_OK, 8, 8, 256, IMG_TYPE_GRAY}, // 4 bits are made 8
        {5, 3, 8, IMG_OK, 8, 8, 256, IMG_TYPE_GRAY},
        {5, 3, 16, IMG_OK, 16, 12, 0, IMG_TYPE_GRAY},
        {5, 3, 24, IMG_OK, 24, 16, 0, 0},
        {4, 1, 24, IMG_OK, 24, 12, 0, 0},
        {5, 3, 32, IMG_ERR_DEPTH, 0, 0, 0, 0},
        {5, 3, 2, IMG_ERR_DEPTH, 0, 0, 0, 0},
        {0, 3, 8, IMG_ERR_ARGUMENT, 0, 0, 0, 0},
        {5, 0, 24, IMG_ERR_ARGUMENT, 0, 0, 0, 0},
        {0x7FFFFFFF, 0x7FFFFFFF, 24, IMG_ERR_NO_MEMORY, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bits);
        img_desc d;
        d.x1 = 77; // cleared by the allocation whatever its outcome
        ASSERT_EQ(img_alloc(&d, c.w, c.h, c.bits), c.result);
        if (c.result != IMG_OK) {
            EXPECT_EQ(d.header, nullptr);
            EXPECT_EQ(d.x1, 0u);
            continue;
        }
        const BitmapInfoHeader& h = *d.header;
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biWidth, static_cast<std::int32_t>(c.w));
        EXPECT_EQ(h.biHeight, static_cast<std::int32_t>(c.h));
        EXPECT_EQ(h.biPlanes, 1);
        EXPECT_EQ(h.biBitCount, c.bitsMade);
        EXPECT_EQ(h.biCompression, 0u);
        EXPECT_EQ(h.biSizeImage, c.bytesPerRow * c.h);
        EXPECT_EQ(h.biClrUsed, c.colours);
        EXPECT_EQ(h.biClrImportant, c.colours);
        EXPECT_EQ(d.bytesPerRow, c.bytesPerRow);
        EXPECT_EQ(d.colourCount, c.colours);
        EXPECT_EQ(d.typeFlags, c.flags);
        EXPECT_EQ(d.x0, 0u);
        EXPECT_EQ(d.y0, 0u);
        EXPECT_EQ(d.x1, c.w - 1);
        EXPECT_EQ(d.y1, c.h - 1);
        // One block: header, palette, pixels; the pixels are zero.
        auto* base = reinterpret_cast<std::uint8_t*>(d.header);
        EXPECT_EQ(reinterpret_cast<std::uint8_t*>(d.palette), c.colours ? base + 40 : nullptr);
        EXPECT_EQ(d.pixels, base + 40 + c.colours * 4);
        EXPECT_EQ(img_block_size(d.header), 40 + c.colours * 4 + c.bytesPerRow * c.h);
        for (std::uint32_t i = 0; i < c.bytesPerRow * c.h; ++i)
            ASSERT_EQ(d.pixels[i], 0);
        EXPECT_EQ(img_validate_1_8_16_24(&d), IMG_OK);
        img_free(&d);
        EXPECT_EQ(d.header, nullptr);
        EXPECT_EQ(d.pixels, nullptr);
    }
}

TEST(ImgAlloc, GreyRampsOfNewImages)
{
    Image g8(2, 2, 8), g1(2, 2, 1);
    for (int i = 0; i < 256; ++i) {
        const RgbQuad& q = g8->palette[i];
        ASSERT_EQ(q.rgbRed, i);
        ASSERT_EQ(q.rgbGreen, i);
        ASSERT_EQ(q.rgbBlue, i);
        ASSERT_EQ(q.rgbReserved, 0);
    }
    EXPECT_EQ(g1->palette[0].rgbRed, 0);
    EXPECT_EQ(g1->palette[1].rgbRed, 255);
    EXPECT_EQ(g1->palette[1].rgbBlue, 255);
    EXPECT_EQ(img_is_gray(&g8), 1);
    EXPECT_EQ(img_is_gray(&g1), 1);

    const std::uint32_t steps[] = {255, 255, 85, 36, 17, 8, 4, 2, 1, 1, 1};
    for (std::uint32_t bits = 0; bits < 11; ++bits)
        EXPECT_EQ(img_gray_step(bits), steps[bits]) << bits;
}

TEST(ImgAlloc, GreyTests)
{
    Image g8(2, 2, 8), c24(2, 2, 24), g16(2, 2, 16);
    EXPECT_EQ(img_is_gray(&c24), 0);
    EXPECT_EQ(img_is_gray(&g16), 1);
    g16->typeFlags = 0;
    EXPECT_EQ(img_is_gray(&g16), 0);
    img_set_gray_palette(&g16);
    EXPECT_EQ(g16->typeFlags, IMG_TYPE_GRAY);

    g8->palette[200].rgbGreen = 199; // not grey
    EXPECT_EQ(img_is_gray(&g8), 0);
    g8->palette[200] = RgbQuad{201, 201, 201, 0}; // grey, but off the ramp
    EXPECT_EQ(img_is_gray(&g8), 0);
    g8->typeFlags = 0;
    img_set_gray_palette(&g8);
    EXPECT_EQ(img_is_gray(&g8), 1);
    EXPECT_EQ(g8->typeFlags, IMG_TYPE_GRAY);
    g8->colourCount = 0;
    EXPECT_EQ(img_is_gray(&g8), 0);
}

TEST(ImgAlloc, FailedAllocationLeavesNoMemory)
{
    const std::size_t before = img_live_allocations();
    img_desc d;
    img_fail_allocation(1);
    EXPECT_EQ(img_alloc(&d, 10, 10, 24), IMG_ERR_NO_MEMORY);
    EXPECT_EQ(d.header, nullptr);
    EXPECT_EQ(d.pixels, nullptr);
    EXPECT_EQ(img_live_allocations(), before);
}

// img_fit keeps a block of the same size and depth with its pixels, and makes the rest of the
// image exactly what a new one would be; any other request gets a new zero-filled block.
TEST(ImgFit, KeepsTheBlockAndPixelsOfTheSameImageOnly)
{
    const std::size_t before = img_live_allocations();
    // Header, palette and descriptor fields other than the block's own pointers.
    auto expectLikeNew = [](const img_desc& d, std::uint32_t w, std::uint32_t h, std::uint32_t bits) {
        Image fresh(w, h, bits);
        EXPECT_EQ(std::memcmp(d.header, fresh->header, sizeof(BitmapInfoHeader)), 0);
        EXPECT_EQ(d.colourCount, fresh->colourCount);
        EXPECT_EQ(d.typeFlags, fresh->typeFlags);
        EXPECT_EQ(d.bytesPerRow, fresh->bytesPerRow);
        EXPECT_EQ(d.x0, 0u);
        EXPECT_EQ(d.y0, 0u);
        EXPECT_EQ(d.x1, w - 1);
        EXPECT_EQ(d.y1, h - 1);
        ASSERT_EQ(d.palette == nullptr, fresh->palette == nullptr);
        if (d.palette) {
            EXPECT_EQ(std::memcmp(d.palette, fresh->palette, fresh->colourCount * sizeof(RgbQuad)), 0);
        }
    };
    for (std::uint32_t bits : {1u, 8u, 16u, 24u}) {
        SCOPED_TRACE(bits);
        img_desc d;
        ASSERT_EQ(img_fit(&d, 7, 5, bits), IMG_OK);
        expectLikeNew(d, 7, 5, bits);
        // A user of the image changes pixels, palette, area, flags and header fields.
        std::memset(d.pixels, 0xA5, d.bytesPerRow * 5);
        if (d.palette) {
            d.palette[1] = RgbQuad{1, 2, 3, 4};
            d.colourCount = 1;
        }
        d.typeFlags = 0;
        d.x0 = 2;
        d.y1 = 1;
        d.header->biXPelsPerMeter = 3000;
        const auto* block = d.header;
        ASSERT_EQ(img_fit(&d, 7, 5, bits), IMG_OK);
        EXPECT_EQ(d.header, block);
        expectLikeNew(d, 7, 5, bits);
        for (std::uint32_t i = 0; i < d.bytesPerRow * 5; ++i)
            ASSERT_EQ(d.pixels[i], 0xA5) << i;
        EXPECT_EQ(img_live_allocations(), before + 1);

        // Another width, height or depth: a new zero-filled image.
        const std::uint32_t otherBits = bits == 24 ? 8 : 24;
        const struct
        {
            std::uint32_t w, h, bits;
        } others[] = {{8, 5, bits}, {8, 6, bits}, {8, 6, otherBits}};
        for (const auto& o : others) {
            std::memset(d.pixels, 0xA5, d.header->biSizeImage);
            ASSERT_EQ(img_fit(&d, o.w, o.h, o.bits), IMG_OK);
            expectLikeNew(d, o.w, o.h, o.bits);
            for (std::uint32_t i = 0; i < d.header->biSizeImage; ++i)
                ASSERT_EQ(d.pixels[i], 0) << i;
            EXPECT_EQ(img_live_allocations(), before + 1);
        }
        img_free(&d);
    }
    EXPECT_EQ(img_live_allocations(), before);
}

TEST(ImgFit, FailuresLeaveAnEmptyDescriptorAndNoMemory)
{
    const std::size_t before = img_live_allocations();
    img_desc d;
    ASSERT_EQ(img_fit(&d, 4, 4, 24), IMG_OK);
    EXPECT_EQ(img_fit(&d, 4, 4, 32), IMG_ERR_DEPTH);
    EXPECT_EQ(d.header, nullptr);
    EXPECT_EQ(img_fit(&d, 0, 4, 24), IMG_ERR_ARGUMENT);
    EXPECT_EQ(d.header, nullptr);
    ASSERT_EQ(img_fit(&d, 4, 4, 24), IMG_OK);
    img_fail_allocation(1);
    EXPECT_EQ(img_fit(&d, 5, 4, 24), IMG_ERR_NO_MEMORY);
    EXPECT_EQ(d.header, nullptr);
    EXPECT_EQ(d.pixels, nullptr);
    EXPECT_EQ(img_live_allocations(), before);
    EXPECT_EQ(img_fit(nullptr, 4, 4, 24), IMG_ERR_ARGUMENT);

    // A descriptor over a caller's bitmap of the very same size is not taken over: it gets a
    // block of its own, and the caller's memory is left as it was.
    std::vector<std::uint8_t> packed = packedBitmap24(4, 4, 0x5A);
    img_desc over;
    ASSERT_EQ(img_from_bitmapinfo(packed.data(), &over), IMG_OK);
    ASSERT_EQ(img_fit(&over, 4, 4, 24), IMG_OK);
    EXPECT_NE(over.header, reinterpret_cast<BitmapInfoHeader*>(packed.data()));
    for (std::size_t i = 40; i < packed.size(); ++i)
        ASSERT_EQ(packed[i], 0x5A) << i;
    EXPECT_EQ(img_live_allocations(), before + 1);
    img_free(&over);
    EXPECT_EQ(img_live_allocations(), before);
}

TEST(ImgFree, OnlyTheOwnerFreesAndForeignMemoryIsLeftAlone)
{
    const std::size_t before = img_live_allocations();
    img_desc d, copy;
    ASSERT_EQ(img_alloc(&d, 4, 4, 8), IMG_OK);
    img_copy_desc(&d, &copy);
    EXPECT_EQ(copy.header, d.header);
    EXPECT_EQ(copy.pixels, d.pixels);
    img_free(&d);
    EXPECT_EQ(img_live_allocations(), before);
    // The copy points at a block that is gone: freeing it does nothing and keeps it as it is.
    img_free(&copy);
    EXPECT_NE(copy.header, nullptr);
    img_desc empty;
    img_free(&empty);
    img_free(nullptr);

    // A descriptor over a caller's packed bitmap is never freed by the library.
    std::vector<std::uint8_t> packed = packedBitmap24(1, 4, 0);
    img_desc over;
    ASSERT_EQ(img_from_bitmapinfo(packed.data(), &over), IMG_OK);
    img_free(&over);
    EXPECT_EQ(over.header, reinterpret_cast<BitmapInfoHeader*>(packed.data()));
    EXPECT_EQ(img_live_allocations(), before);
}

TEST(ImgFromBitmapInfo, PointsIntoThePackedBitmap)
{
    struct Case
    {
        std::uint16_t bits;
        std::uint32_t compression, clrUsed;
        std::int32_t result;
        std::uint32_t colours, bytesPerRow;
    } cases[] = {
        {8, 0, 0, IMG_OK, 256, 4}, {8, 0, 16, IMG_OK, 16, 4},      {1, 0, 0, IMG_OK, 2, 4},
        {24, 0, 0, IMG_OK, 0, 12}, {4, 0, 0, IMG_ERR_DEPTH, 0, 0}, {8, 1, 0, IMG_ERR_COMPRESSED, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> packed(40 + 256 * 4 + 12 * 3, 0);
        BitmapInfoHeader h;
        h.biWidth = 3;
        h.biHeight = 3;
        h.biBitCount = c.bits;
        h.biCompression = c.compression;
        h.biClrUsed = c.clrUsed;
        std::memcpy(packed.data(), &h, 40);
        img_desc d;
        ASSERT_EQ(img_from_bitmapinfo(packed.data(), &d), c.result) << c.bits;
        if (c.result != IMG_OK)
            continue;
        EXPECT_EQ(d.colourCount, c.colours);
        EXPECT_EQ(reinterpret_cast<std::uint8_t*>(d.palette), c.colours ? packed.data() + 40 : nullptr);
        EXPECT_EQ(d.pixels, packed.data() + 40 + c.colours * 4);
        EXPECT_EQ(d.bytesPerRow, c.bytesPerRow);
        EXPECT_EQ(d.x1, 2u);
        EXPECT_EQ(d.y1, 2u);
    }
}

TEST(ImgValidate, ChecksInOrderAndPutsTheAreaInOrder)
{
    Image img(20, 30, 8);
    img_set_area(&img, 10, 20, 5, 3);
    EXPECT_EQ(img_validate_8_24(&img), IMG_OK);
    EXPECT_EQ(img->x0, 5u);
    EXPECT_EQ(img->y0, 3u);
    EXPECT_EQ(img->x1, 10u);
    EXPECT_EQ(img->y1, 20u);
    std::int32_t a, b, c, d;
    img_get_area(&img, &a, &b, &c, &d);
    EXPECT_EQ(a + b + c + d, 5 + 3 + 10 + 20);

    struct Case
    {
        const char* what;
        std::int32_t x0, y0, x1, y1;
        std::int32_t result;
    } areas[] = {
        {"whole image", 0, 0, 19, 29, IMG_OK},
        {"last column beyond the width", 0, 0, 20, 29, IMG_ERR_ARGUMENT},
        {"last row beyond the height", 0, 0, 19, 30, IMG_ERR_ARGUMENT},
        {"negative column", -1, 0, 5, 5, IMG_ERR_ARGUMENT}, // unsigned: -1 is huge, swapped to x1
        {"negative row", 0, -2, 5, 5, IMG_ERR_ARGUMENT},
    };
    for (const Case& c : areas) {
        img_put_area(c.x0, c.y0, c.x1, c.y1, &img);
        EXPECT_EQ(img_validate_8_24(&img), c.result) << c.what;
    }
    img_set_area(&img, 0, 0, 19, 29);

    // Other faults of the descriptor, each on a copy.
    struct Fault
    {
        const char* what;
        void (*spoil)(img_desc&);
        std::int32_t result;
    } faults[] = {
        {"no pixels", [](img_desc& d) { d.pixels = nullptr; }, IMG_ERR_NO_PIXELS},
        {"no header", [](img_desc& d) { d.header = nullptr; }, IMG_ERR_ARGUMENT},
        {"rows too short", [](img_desc& d) { d.bytesPerRow = 16; }, IMG_ERR_ARGUMENT},
        {"rows beyond the block", [](img_desc& d) { d.bytesPerRow = 24; }, IMG_ERR_ARGUMENT},
        {"pixels beyond the block", [](img_desc& d) { d.pixels += 4; }, IMG_ERR_ARGUMENT},
    };
    for (const Fault& f : faults) {
        img_desc copy;
        img_copy_desc(&img, &copy);
        f.spoil(copy);
        EXPECT_EQ(img_validate_8_24(&copy), f.result) << f.what;
    }
    EXPECT_EQ(img_validate(nullptr, IMG_DEPTH_8), IMG_ERR_NO_PIXELS);

    img->header->biCompression = 1;
    EXPECT_EQ(img_validate_8_24(&img), IMG_ERR_COMPRESSED);
    img->header->biCompression = 0;

    // Depths accepted by each flavour.
    Image i1(3, 3, 1), i16(3, 3, 16), i24(3, 3, 24);
    EXPECT_EQ(img_validate_8_24(&i1), IMG_ERR_DEPTH);
    EXPECT_EQ(img_validate_1_8_24(&i1), IMG_OK);
    EXPECT_EQ(img_validate_1_8_24(&i16), IMG_ERR_DEPTH);
    EXPECT_EQ(img_validate_1_8_16_24(&i16), IMG_OK);
    EXPECT_EQ(img_validate_8_24(&i24), IMG_OK);
}

TEST(ImgValidate, CoordinateLimits)
{
    struct Case
    {
        std::uint32_t w, h, bits, x1, y1;
        std::int32_t result;
    } cases[] = {
        {32768, 1, 8, 32767, 0, IMG_OK}, {32769, 1, 8, 32768, 0, IMG_ERR_ARGUMENT},
        {65535, 1, 1, 65534, 0, IMG_OK}, {65536, 1, 1, 65535, 0, IMG_ERR_ARGUMENT},
        {1, 32768, 8, 0, 32767, IMG_OK}, {1, 32769, 8, 0, 32768, IMG_ERR_ARGUMENT},
    };
    for (const Case& c : cases) {
        Image img(c.w, c.h, c.bits);
        ASSERT_EQ(img.result(), IMG_OK);
        img_set_area(&img, 0, 0, c.x1, c.y1);
        EXPECT_EQ(img_validate_1_8_24(&img), c.result) << c.w << "x" << c.h;
    }
}

TEST(ImgValidate, RowsMustHoldEveryPixelOfTheWidth)
{
    // A 1-bit row of 9 pixels needs 2 bytes: a partly used last byte still counts.
    struct Case
    {
        std::uint32_t w, bits, bytesPerRow;
        std::int32_t result;
    } cases[] = {
        {9, 1, 1, IMG_ERR_ARGUMENT}, {9, 1, 2, IMG_OK}, {8, 1, 1, IMG_OK},
        {5, 8, 4, IMG_ERR_ARGUMENT}, {5, 8, 5, IMG_OK}, {5, 24, 14, IMG_ERR_ARGUMENT},
        {5, 24, 15, IMG_OK},
    };
    for (const Case& c : cases) {
        Image img(c.w, 2, c.bits);
        ASSERT_EQ(img.result(), IMG_OK);
        img->bytesPerRow = c.bytesPerRow;
        EXPECT_EQ(img_validate_1_8_24(&img), c.result)
            << c.w << " pixels of " << c.bits << " bits in " << c.bytesPerRow << " bytes";
    }
}

TEST(ImgArea, CommonSizeIsTheSmallerOfEach)
{
    Image a(10, 4, 8), b(6, 9, 8);
    std::uint32_t h = 0, w = 0;
    img_common_size(&a, &b, &h, &w);
    EXPECT_EQ(h, 4u);
    EXPECT_EQ(w, 6u);
    img_set_area(&b, 2, 2, 3, 3);
    img_common_size(&a, &b, &h, &w);
    EXPECT_EQ(h, 2u);
    EXPECT_EQ(w, 2u);
}

} // namespace
