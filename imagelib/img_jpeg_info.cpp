// JPEG header queries (see img_jpeg.h).
#include "imagelib/img_jpeg.h"

#include "imagelib/img_frame.h"
#include "imagelib/jpeg_io.h"

#include <type_traits>

using tessivor::jpeg::JpegHeader;
using tessivor::jpeg::JpegInput;
using tessivor::jpeg::JpegInputName;

namespace {

// Clears the record, walks the headers and fills in what the walk found, also after a failure.
template <class Record> std::int32_t readInfo(const JpegInputName& input, Record* out)
{
    if (!out) {
        return IMG_ERR_ARGUMENT;
    }
    *out = Record{};
    auto lock = img_module_lock(ImgModule::Jpeg);
    JpegInput in;
    JpegHeader h;
    const std::int32_t r = tessivor::jpeg::img_jpeg_read_headers(input, in, h);
    out->frameType = h.frameType;
    if (h.frameType >= 0) {
        out->width = h.width;
        out->height = h.height;
        out->components = h.componentCount;
        out->precision = h.precision;
        for (int i = 0; i < h.componentCount && i < 4; ++i) {
            out->sampling[i] = h.components[i].h << 4 | h.components[i].v;
        }
        out->bitsPerPixel = h.componentCount == 1 ? 8 : 24;
    }
    if constexpr (std::is_same_v<Record, img_info_ex>) {
        out->xDensity = h.xDensity;
        out->yDensity = h.yDensity;
        out->densityUnits = h.densityUnits;
        out->thumbnailPresent = h.thumbnailPresent ? 1 : 0;
        out->thumbnailWidth = static_cast<std::uint8_t>(h.thumbnailWidth);
        out->thumbnailHeight = static_cast<std::uint8_t>(h.thumbnailHeight);
        out->thumbnailBits = static_cast<std::uint8_t>(h.thumbnailBits);
        out->thumbnailKind = static_cast<std::uint8_t>(h.thumbnailKind);
    }
    return r;
}

} // namespace

std::int32_t img_jpeg_info_w(const wchar_t* fileName, img_info* info)
{
    return readInfo({fileName, nullptr, nullptr, 0}, info);
}

std::int32_t img_jpeg_info(const char* fileName, img_info* info)
{
    return readInfo({nullptr, fileName, nullptr, 0}, info);
}

std::int32_t img_jpeg_info_mem(const void* data, std::uint32_t length, img_info* info)
{
    return readInfo({nullptr, nullptr, data, length, true}, info);
}

std::int32_t img_jpeg_info_ex_w(const wchar_t* fileName, img_info_ex* info)
{
    return readInfo({fileName, nullptr, nullptr, 0}, info);
}

std::int32_t img_jpeg_info_ex(const char* fileName, img_info_ex* info)
{
    return readInfo({nullptr, fileName, nullptr, 0}, info);
}

std::int32_t img_jpeg_info_ex_mem(const void* data, std::uint32_t length, img_info_ex* info)
{
    return readInfo({nullptr, nullptr, data, length, true}, info);
}

std::int32_t img_jpeg_last_status()
{
    return img_status.load();
}
