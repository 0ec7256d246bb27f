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

std::int32_t img_jpeg_decode(const JpegInputName& input, img_desc* desc, bool fit)
{
    const std::int32_t valid = img_validate_8_24(desc);
    if (valid != IMG_OK) {
        return valid;
    }
    auto lock = img_module_lock(ImgModule::Jpeg);
    JpegHeader header;
    std::int32_t r = img_jpeg_read_headers(input, header);
    if (r != IMG_OK) {
        return r;
    }
    JpegInput in;
    r = in.open(input);
    if (r != IMG_OK) {
        return r;
    }
    std::int32_t status = 0;
    r = checkFrame(header, status);
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
        soft = decodeJpeg(in.window(), header, target);
        return IMG_OK;
    });
    if (r != IMG_OK) {
        // A scan the decoder refuses (a missing or bad table, a scan header outside the rules)
        // is a header fault like a refused frame; memory is reported as such.
        const std::int32_t status = img_status.load();
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

// The embedded thumbnail, unless `skip` is 1; -15 when there is none to show.
std::int32_t img_jpeg_load_thumbnail(const JpegInputName& input, img_desc* desc, std::int32_t skip)
{
    const std::int32_t valid = img_validate_8_24(desc);
    if (valid != IMG_OK) {
        return valid;
    }
    auto lock = img_module_lock(ImgModule::Jpeg);
    JpegHeader header;
    const std::int32_t r = img_jpeg_read_headers(input, header);
    if (r != IMG_OK) {
        return r;
    }
    if (skip == 1) {
        return IMG_ERR_NO_THUMBNAIL;
    }
    return img_entry([&] { return drawJpegThumbnail(input, header, desc); });
}

std::int32_t loadThumbnailOrFit(const JpegInputName& input, img_desc* desc, std::int32_t skip)
{
    const std::int32_t r = img_jpeg_load_thumbnail(input, desc, skip);
    return r == IMG_ERR_NO_THUMBNAIL ? img_jpeg_decode(input, desc, true) : r;
}

} // namespace

std::int32_t img_load_jpeg_w(const wchar_t* fileName, img_desc* desc)
{
    return img_jpeg_decode({fileName, nullptr, nullptr, 0, false}, desc, false);
}

std::int32_t img_load_jpeg(const char* fileName, img_desc* desc)
{
    return img_jpeg_decode({nullptr, fileName, nullptr, 0, false}, desc, false);
}

std::int32_t img_load_jpeg_mem(const void* data, std::uint32_t length, img_desc* desc)
{
    return img_jpeg_decode({nullptr, nullptr, data, length, true}, desc, false);
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
