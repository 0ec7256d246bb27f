// The floor the frame benchmarks measure against: libjpeg-turbo decoding a JPEG into RGB rows,
// with nothing else around it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <jpeglib.h>
#include <vector>

// Decodes the `size` bytes at `jpeg` into `rgb`, which holds width x height x 3 bytes of the picture.
inline void bareDecode(const std::uint8_t* jpeg, std::size_t size, std::vector<std::uint8_t>& rgb)
{
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg, static_cast<unsigned long>(size));
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &rgb[d.output_scanline * d.output_width * 3];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

inline void bareDecode(const std::vector<std::uint8_t>& jpeg, std::vector<std::uint8_t>& rgb)
{
    bareDecode(jpeg.data(), jpeg.size(), rgb);
}
