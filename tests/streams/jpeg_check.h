// Whether bytes are one whole, undamaged JPEG: libjpeg decodes them to the end without an error
// or a warning (a frame put together from pieces of two frames fails here even when it begins
// with SOI and ends with EOI).
#pragma once

#include <jpeglib.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace tessivor::testing {

inline bool decodesCleanly(const std::uint8_t* data, std::size_t size)
{
    struct Errors
    {
        jpeg_error_mgr mgr;
        std::jmp_buf jump;
    };
    jpeg_decompress_struct info{};
    Errors errors{};
    info.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<Errors*>(c->err)->jump, 1); };
    errors.mgr.output_message = [](j_common_ptr) {};
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(info.output_width) * info.output_components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&info, &r, 1);
    }
    jpeg_finish_decompress(&info);
    const bool clean = errors.mgr.num_warnings == 0;
    jpeg_destroy_decompress(&info);
    return clean;
}

} // namespace tessivor::testing
