// JPEG load entries (see img_jpeg.h): descriptor checks, header read, frame checks and the
// target geometry around the decoder core (jpeg_decoder.h), and the embedded thumbnail.
#include "imagelib/img_jpeg.h"

#include "imagelib/img_frame.h"
#include "imagelib/jpeg_decoder.h"
#include "imagelib/jpeg_error.h"
#include "imagelib/jpeg_io.h"
#include "imagelib/jpeg_thumbnail.h"

using namespace tessivor::jpeg;

namespace {

// Decodes the picture whose headers were read from `in` into the working area of `desc`
// (already checked).
std::int32_t decodeInto(JpegInput& in, JpegHeader& header, img_desc* desc, bool fit)
{
    std::int32_t status = 0;
    std::int32_t r = checkFrame(header, status);
    if (r != IMG_OK) {
        if (status != 0) {
            img_status.store(img_status_code(status));
        }
        return r;
    }
    if ((header.componentCount == 1) != (img_bits(desc) == 8)) {
        return IMG_ERR_DEPTH;
    }

    DecodeTarget target;
    target.width = static_cast<int>(desc->x1 - desc->x0 + 1);
    target.height = static_cast<int>(desc->y1 - desc->y0 + 1);
    target.fit = fit;
    int fitW = 0;
    int fitH = 0;
    if (fit && !fitSize(header.width, header.height, target.width, target.height, fitW, fitH)) {
        return IMG_ERR_ARGUMENT;
    }
    target.stride = -static_cast<std::ptrdiff_t>(desc->bytesPerRow);
    target.top = desc->pixels +
                 static_cast<std::size_t>(img_height(desc) - 1 - desc->y0) * desc->bytesPerRow +
                 static_cast<std::size_t>(desc->x0) * img_bits(desc) / 8;

    std::int32_t soft = 0;
    r = img_guard(IMG_ERR_JPEG_DECODE, &img_status, [&] {
        in.window().seekTo(0); // the header walk (or a thumbnail) read ahead
        soft = decodeJpeg(in.window(), header, target);
        return IMG_OK;
    });
    if (r != IMG_OK) {
        // A scan the decoder refuses (a missing or bad table, a scan header outside the rules)
        // is a header fault like a refused frame; memory is reported as such.
        status = img_status.load();
        if (status == kStatusBadTable || status == kStatusBadScan) {
            return IMG_ERR_JPEG_HEADER;
        }
        return status == IMG_ERR_NO_MEMORY ? IMG_ERR_NO_MEMORY : r;
    }
    if (soft != 0) {
        img_status.store(img_status_code(soft));
    }
    if (header.componentCount == 1) {
        img_set_gray_palette(desc);
    }
    return IMG_OK;
}

std::int32_t img_jpeg_decode(const JpegInputName& input, img_desc* desc)
{
    const std::int32_t valid = img_validate_8_24(desc);
    if (valid != IMG_OK) {
        return valid;
    }
    auto lock = img_module_lock(ImgModule::Jpeg);
    JpegInput in;
    JpegHeader header;
    const std::int32_t r = img_jpeg_read_headers(input, in, header);
    if (r != IMG_OK) {
        return r;
    }
    return decodeInto(in, header, desc, false);
}

// The embedded thumbnail, unless `skip` is 1; without one to show, the whole picture scaled to
// fit.
std::int32_t loadThumbnailOrFit(const JpegInputName& input, img_desc* desc, std::int32_t skip)
{
    const std::int32_t valid = img_validate_8_24(desc);
    if (valid != IMG_OK) {
        return valid;
    }
    auto lock = img_module_lock(ImgModule::Jpeg);
    JpegInput in;
    JpegHeader header;
    std::int32_t r = img_jpeg_read_headers(input, in, header);
    if (r != IMG_OK) {
        return r;
    }
    if (skip != 1) {
        r = img_entry([&] { return drawJpegThumbnail(in.window(), header, desc); });
        if (r != IMG_ERR_NO_THUMBNAIL) {
            return r;
        }
    }
    return decodeInto(in, header, desc, true);
}

} // namespace

std::int32_t img_load_jpeg_w(const wchar_t* fileName, img_desc* desc)
{
    return img_jpeg_decode({fileName, nullptr, nullptr, 0, false}, desc);
}

std::int32_t img_load_jpeg(const char* fileName, img_desc* desc)
{
    return img_jpeg_decode({nullptr, fileName, nullptr, 0, false}, desc);
}

std::int32_t img_load_jpeg_mem(const void* data, std::uint32_t length, img_desc* desc)
{
    return img_jpeg_decode({nullptr, nullptr, data, length, true}, desc);
}

std::int32_t img_load_jpeg_thumb_w(const wchar_t* fileName, img_desc* desc, std::int32_t skip)
{
    return loadThumbnailOrFit({fileName, nullptr, nullptr, 0, false}, desc, skip);
}

std::int32_t img_load_jpeg_thumb(const char* fileName, img_desc* desc, std::int32_t skip)
{
    return loadThumbnailOrFit({nullptr, fileName, nullptr, 0, false}, desc, skip);
}

std::int32_t img_load_jpeg_thumb_mem(const void* data, std::uint32_t length, img_desc* desc,
                                     std::int32_t skip)
{
    return loadThumbnailOrFit({nullptr, nullptr, data, length, true}, desc, skip);
}
