#include "picture.h"

#include <jpeglib.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <setjmp.h>

namespace camsim {

namespace {

// 5 x 7 dot patterns of the digits 0-9, one row per byte, bit 4 = leftmost dot.
constexpr std::array<std::array<std::uint8_t, 7>, 10> kDigitFont = {{
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
}};

struct Canvas
{
    int width;
    int height;
    std::vector<std::uint8_t> rgb;

    void fillRect(int x0, int y0, int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
            for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x) {
                std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
                p[0] = r;
                p[1] = g;
                p[2] = b;
            }
    }

    void drawNumber(std::uint64_t number, int x, int y, int scale)
    {
        const std::string digits = std::to_string(number);
        fillRect(x - scale, y - scale, static_cast<int>(digits.size()) * 6 * scale + scale, 9 * scale, 0, 0,
                 0);
        for (char d : digits) {
            const auto& glyph = kDigitFont[static_cast<std::size_t>(d - '0')];
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (glyph[static_cast<std::size_t>(row)] & (0x10 >> col))
                        fillRect(x + col * scale, y + row * scale, scale, scale, 255, 255, 255);
            x += 6 * scale;
        }
    }
};

struct ErrorExit
{
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

void onJpegError(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<ErrorExit*>(cinfo->err)->jump, 1);
}

} // namespace

namespace {

// The canvas compressed as a baseline JPEG at `quality`, with the frame's comment; empty on a
// libjpeg error.
std::vector<std::uint8_t> compress(const Canvas& c, std::uint64_t number, int quality)
{
    jpeg_compress_struct cinfo{};
    ErrorExit err{};
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onJpegError;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(out);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(c.width);
    cinfo.image_height = static_cast<JDIMENSION>(c.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const std::string comment = kFrameCommentPrefix + std::to_string(number);
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                      static_cast<unsigned>(comment.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(&c.rgb[static_cast<std::size_t>(cinfo.next_scanline) * c.width * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> jpeg(out, out + outSize);
    std::free(out);
    return jpeg;
}

} // namespace

bool scanHasStuffedByte(const std::vector<std::uint8_t>& jpeg)
{
    // Walk the marker segments from SOI to SOS; the entropy-coded data follows the SOS header.
    std::size_t pos = 2;
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return false;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
        const std::uint8_t marker = jpeg[pos + 1];
        const std::size_t length = (static_cast<std::size_t>(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
        if (length < 2)
            return false;
        pos += 2 + length;
        if (marker == 0xDA) {
            for (std::size_t i = pos; i + 1 < jpeg.size(); ++i)
                if (jpeg[i] == 0xFF && jpeg[i + 1] == 0x00)
                    return true;
            return false;
        }
    }
    return false;
}

std::vector<std::uint8_t> encodeTestPicture(std::uint64_t number, int width, int height, int quality)
{
    if (width < 8 || height < 8 || width > 4096 || height > 4096)
        return {};
    Canvas c{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    // A diagonal colour ramp that drifts with the frame number, a bar that sweeps across the
    // picture, and the number itself in the top-left corner.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &c.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>((x * 255) / width);
            p[1] = static_cast<std::uint8_t>((y * 255) / height);
            p[2] = static_cast<std::uint8_t>((x + y + number * 4) & 0xFF);
        }
    const int barWidth = std::max(4, width / 16);
    const int barX = static_cast<int>((number * 8) % static_cast<std::uint64_t>(width + barWidth)) - barWidth;
    c.fillRect(barX, 0, barWidth, height, 250, 250, 40);
    const int scale = std::max(1, height / 60);
    c.drawNumber(number, 2 * scale, 2 * scale, scale);

    std::vector<std::uint8_t> jpeg = compress(c, number, quality);
    // See picture.h: a picture whose scan holds no stuffed byte is compressed again at a few
    // higher qualities (more coefficients, so more chances of a 0xFF byte) until one has it.
    if (jpeg.empty() || scanHasStuffedByte(jpeg))
        return jpeg;
    for (int step = 1; quality < 100; step *= 2) {
        const int higher = std::min(100, quality + step);
        std::vector<std::uint8_t> again = compress(c, number, higher);
        if (!again.empty() && scanHasStuffedByte(again))
            return again;
        if (higher == 100)
            break;
    }
    return jpeg;
}

} // namespace camsim
