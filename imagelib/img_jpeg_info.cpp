// JPEG header queries (see img_jpeg.h).
#include "imagelib/img_jpeg.h"

#include "imagelib/img_frame.h"
#include "imagelib/jpeg_io.h"

using tessivor::jpeg::JpegHeader;
using tessivor::jpeg::JpegInputName;

namespace {

template <class Record> void fillFrame(const JpegHeader& h, Record& r)
{
    r.frameType = h.frameType;
    if (h.frameType < 0) {
        return;
    }
    r.width = h.width;
    r.height = h.height;
    r.components = h.componentCount;
    r.precision = h.precision;
    for (int i = 0; i < h.componentCount && i < 4; ++i) {
        r.sampling[i] = h.components[i].h << 4 | h.components[i].v;
    }
    r.bitsPerPixel = h.componentCount == 1 ? 8 : 24;
}

std::int32_t info(const JpegInputName& input, img_info* out)
{
    if (!out) {
        return IMG_ERR_ARGUMENT;
    }
    *out = img_info{};
    auto lock = img_module_lock(ImgModule::Jpeg);
    JpegHeader h;
    const std::int32_t r = tessivor::jpeg::img_jpeg_read_headers(input, h);
    fillFrame(h, *out);
    return r;
}

std::int32_t img_jpeg_read_info_ex(const JpegInputName& input, img_info_ex* out)
{
    if (!out) {
        return IMG_ERR_ARGUMENT;
    }
    *out = img_info_ex{};
    auto lock = img_module_lock(ImgModule::Jpeg);
    JpegHeader h;
    const std::int32_t r = tessivor::jpeg::img_jpeg_read_headers(input, h);
    fillFrame(h, *out);
    out->xDensity = h.xDensity;
    out->yDensity = h.yDensity;
    out->densityUnits = h.densityUnits;
    out->thumbnailPresent = h.thumbnailPresent ? 1 : 0;
    out->thumbnailWidth = static_cast<std::uint8_t>(h.thumbnailWidth);
    out->thumbnailHeight = static_cast<std::uint8_t>(h.thumbnailHeight);
    out->thumbnailBits = static_cast<std::uint8_t>(h.thumbnailBits);
    out->thumbnailKind = static_cast<std::uint8_t>(h.thumbnailKind);
    return r;
}

} // namespace

std::int32_t img_jpeg_info_w(const wchar_t* fileName, img_info* info)
{
    return ::info({fileName, nullptr, nullptr, 0}, info);
}

std::int32_t img_jpeg_info(const char* fileName, img_info* info)
{
    return ::info({nullptr, fileName, nullptr, 0}, info);
}

std::int32_t img_jpeg_info_mem(const void* data, std::uint32_t length, img_info* info)
{
    return ::info({nullptr, nullptr, data, length, true}, info);
}

std::int32_t img_jpeg_info_ex_w(const wchar_t* fileName, img_info_ex* info)
{
    return img_jpeg_read_info_ex({fileName, nullptr, nullptr, 0}, info);
}

std::int32_t img_jpeg_info_ex(const char* fileName, img_info_ex* info)
{
    return img_jpeg_read_info_ex({nullptr, fileName, nullptr, 0}, info);
}

std::int32_t img_jpeg_info_ex_mem(const void* data, std::uint32_t length, img_info_ex* info)
{
    return img_jpeg_read_info_ex({nullptr, nullptr, data, length, true}, info);
}

std::int32_t img_jpeg_last_status()
{
    return img_status.load();
}
