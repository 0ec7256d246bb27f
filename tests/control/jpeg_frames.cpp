#include "jpeg_frames.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace jpegtest {

namespace {

struct ErrorJump
{
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jumpOnError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorJump*>(cinfo->err)->jump, 1);
}

void quietMessage(j_common_ptr) {}

} // namespace

RawImage makeImage(int width, int height, int components, int seed)
{
    RawImage img{width, height, components,
                 std::vector<std::uint8_t>(std::size_t(width) * height * components)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = img.at(x, y);
            for (int c = 0; c < components; ++c) {
                const double v =
                    128 + 100 * std::sin((x * (c + 1) + y * (3 - c % 3)) / (17.0 + seed) + c + seed);
                p[c] = static_cast<std::uint8_t>(v);
            }
        }
    return img;
}

std::vector<std::uint8_t> compressJpeg(const RawImage& image, const JpegOptions& options)
{
    jpeg_compress_struct cinfo;
    ErrorJump err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jumpOnError;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(out);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = image.components;
    switch (options.colour) {
    case JpegColour::Grey:
        cinfo.in_color_space = JCS_GRAYSCALE;
        break;
    case JpegColour::YCbCr:
    case JpegColour::Rgb:
        cinfo.in_color_space = JCS_RGB;
        break;
    case JpegColour::Cmyk:
    case JpegColour::Ycck:
        cinfo.in_color_space = JCS_CMYK;
        break;
    }
    jpeg_set_defaults(&cinfo);
    if (options.colour == JpegColour::Rgb)
        jpeg_set_colorspace(&cinfo, JCS_RGB);
    if (options.colour == JpegColour::Ycck)
        jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.fullChroma)
        for (int c = 0; c < cinfo.num_components; ++c) {
            cinfo.comp_info[c].h_samp_factor = 1;
            cinfo.comp_info[c].v_samp_factor = 1;
        }
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    if (options.densityUnit >= 0) {
        cinfo.write_JFIF_header = TRUE;
        cinfo.density_unit = static_cast<UINT8>(options.densityUnit);
        cinfo.X_density = static_cast<UINT16>(options.xDensity);
        cinfo.Y_density = static_cast<UINT16>(options.yDensity);
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.at(0, static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

RawImage decompressJpeg(const std::vector<std::uint8_t>& jpeg, int outColourSpace)
{
    jpeg_decompress_struct cinfo;
    ErrorJump err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jumpOnError;
    err.mgr.output_message = quietMessage;
    RawImage* result = new RawImage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        delete result;
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = static_cast<J_COLOR_SPACE>(outColourSpace);
    jpeg_start_decompress(&cinfo);
    result->width = static_cast<int>(cinfo.output_width);
    result->height = static_cast<int>(cinfo.output_height);
    result->components = cinfo.output_components;
    result->samples.resize(std::size_t(result->width) * result->height * result->components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = result->at(0, static_cast<int>(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    RawImage out = std::move(*result);
    delete result;
    return out;
}

} // namespace jpegtest
