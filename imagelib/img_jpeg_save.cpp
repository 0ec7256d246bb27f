// JPEG save entries (see img_jpeg.h): image checks, the output stream, the module settings and
// the optional JFXX thumbnail around the encoder core (jpeg_encoder.h).
//
// A file is never written in place: the stream goes to a new file beside the target, created
// exclusively under a name of its own, and is renamed over the target once it is complete and
// closed. A failed save removes only that temporary file, so an existing picture of the same
// name survives every failure, and a reader never sees half a file.
#include "imagelib/img_jpeg.h"

#include "imagelib/img_frame.h"
#include "imagelib/img_memory.h"
#include "imagelib/img_stream.h"
#include "imagelib/jpeg_encoder.h"
#include "imagelib/jpeg_error.h"
#include "imagelib/jpeg_io.h"
#include "imagelib/jpeg_thumbnail.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

using namespace tessivor::jpeg;

namespace {

// Module-wide settings of the next save; set without the lock, read by each save.
std::atomic<std::int32_t> g_densityUnits{0};
std::atomic<std::int32_t> g_xDensity{1};
std::atomic<std::int32_t> g_yDensity{1};
std::atomic<std::int32_t> g_thumbnailSize{64};

constexpr std::int32_t kErrTooLarge = -73;

// The temporary file beside a save's target.
class TemporaryFile
{
public:
    ~TemporaryFile()
    {
        if (!m_path.empty() && !m_committed) {
            std::remove(m_path.c_str());
        }
    }

    // Creates an empty file next to the target; false when the target's name is unusable or its
    // folder does not take new files.
    bool create(const wchar_t* wideName, const char* name)
    {
        try {
            if (wideName) {
                if (!img_wide_to_utf8(wideName, m_target)) {
                    return false;
                }
            } else if (name) {
                m_target = name;
            }
            if (m_target.empty()) {
                return false;
            }
            static std::atomic<std::uint32_t> counter{0};
            std::random_device random;
            for (int attempt = 0; attempt < 16; ++attempt) {
                const std::string path =
                    m_target + ".tmp" + std::to_string(counter++) + "-" + std::to_string(random());
                // "x": fails when the name exists, so another writer's file is never taken over.
                std::FILE* f = std::fopen(path.c_str(), "wbx");
                if (f) {
                    std::fclose(f);
                    m_path = path;
                    return true;
                }
                if (errno != EEXIST) {
                    return false;
                }
            }
        } catch (const std::exception&) {
        }
        return false;
    }

    const std::string& path() const { return m_path; }

    // Moves the finished file over the target.
    bool commit()
    {
        m_committed = std::rename(m_path.c_str(), m_target.c_str()) == 0;
        return m_committed;
    }

private:
    std::string m_target;
    std::string m_path;
    bool m_committed = false;
};

std::int32_t img_jpeg_encode(const wchar_t* wideName, const char* name, void** memoryResult, img_desc* desc,
                             std::int32_t quality, std::int32_t flags)
{
    const std::int32_t modeBits = flags & ~IMG_JPEG_THUMBNAIL;
    EncodeSettings settings;
    settings.quality = quality;
    settings.mode = modeBits == IMG_JPEG_PROGRESSIVE ? EncodeMode::Progressive
                    : modeBits == IMG_JPEG_OPTIMIZE  ? EncodeMode::Optimized
                                                     : EncodeMode::Sequential;
    if (memoryResult) {
        *memoryResult = nullptr;
    }
    const std::int32_t valid = img_validate_8_24(desc);
    if (valid != IMG_OK) {
        return valid;
    }
    const std::uint32_t width = desc->x1 - desc->x0 + 1;
    const std::uint32_t height = desc->y1 - desc->y0 + 1;
    if (width > 65535 || height > 65535) {
        return kErrTooLarge;
    }

    // The pixels, read through the area from its top row down.
    const std::uint32_t bits = img_bits(desc);
    EncodeImage image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.stride = -static_cast<std::ptrdiff_t>(desc->bytesPerRow);
    image.top = desc->pixels + static_cast<std::size_t>(img_height(desc) - 1 - desc->y0) * desc->bytesPerRow +
                static_cast<std::size_t>(desc->x0) * bits / 8;
    // The palette, completed to 256 entries so that any index byte finds one (black).
    std::array<std::uint8_t, 1024> palette{};
    if (bits == 24) {
        image.kind = PixelKind::Bgr24;
    } else if (desc->typeFlags & IMG_TYPE_GRAY) {
        image.kind = PixelKind::Grey8;
    } else {
        image.kind = PixelKind::Indexed8;
        const std::uint32_t n = desc->palette ? std::min<std::uint32_t>(desc->colourCount, 256) : 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            palette[4 * i] = desc->palette[i].rgbBlue;
            palette[4 * i + 1] = desc->palette[i].rgbGreen;
            palette[4 * i + 2] = desc->palette[i].rgbRed;
        }
        image.palette = palette.data();
    }

    auto lock = img_module_lock(ImgModule::Jpeg);

    // The thumbnail segment is made before any output exists, so that an impossible thumbnail
    // (-70) or missing memory leaves nothing behind.
    if (flags & IMG_JPEG_THUMBNAIL) {
        const std::int32_t r = img_entry(
            [&] { return makeThumbnailSegment(desc, g_thumbnailSize.load(), settings.extraSegment); });
        if (r != IMG_OK) {
            return r;
        }
    }

    TemporaryFile temporary;
    ImgStreamOps ops;
    ImgHandle handle;
    if (memoryResult) {
        void* unused = nullptr;
        handle = img_open_write(nullptr, nullptr, &unused, &ops);
    } else {
        if (!temporary.create(wideName, name)) {
            return IMG_ERR_CREATE_OUTPUT;
        }
        handle = img_open_write(nullptr, temporary.path().c_str(), nullptr, &ops);
    }
    if (handle == IMG_INVALID_HANDLE) {
        return IMG_ERR_CREATE_OUTPUT;
    }
    ImgStreamCloser closer(handle, ops);

    settings.densityUnits = g_densityUnits.load();
    settings.xDensity = g_xDensity.load();
    settings.yDensity = g_yDensity.load();

    StreamSink sink(handle, ops);
    EncodeResult result;
    const std::int32_t guarded = img_guard(IMG_ERR_SAVE, &img_status, [&] {
        result = encodeJpeg(image, settings, sink);
        return IMG_OK;
    });
    if (guarded != IMG_OK) {
        result.code = img_status.load() == IMG_ERR_NO_MEMORY ? IMG_ERR_NO_MEMORY : IMG_ERR_SAVE;
    }
    if (result.headersWritten) {
        g_densityUnits = 0;
        g_xDensity = 1;
        g_yDensity = 1;
    }
    if (result.status != 0) {
        img_status.store(img_status_code(result.status));
    }

    if (memoryResult) {
        if (result.code == IMG_ERR_SAVE) {
            if (result.status == kStatusWriteFailed) {
                img_status.store(img_status_code(kStatusMemoryWriteFailed));
            }
            return IMG_ERR_NO_MEMORY;
        }
        if (result.code != IMG_OK) {
            return result.code;
        }
        return img_memw_collect(handle, memoryResult);
    }
    if (closer.close() == 0 && result.code == IMG_OK) {
        result.code = IMG_ERR_SAVE; // the last bytes did not reach the file
    }
    if (result.code == IMG_OK && !temporary.commit()) {
        result.code = IMG_ERR_CREATE_OUTPUT;
    }
    return result.code;
}

} // namespace

std::int32_t img_save_jpeg_w(const wchar_t* fileName, img_desc* desc, std::int32_t quality)
{
    return img_jpeg_encode(fileName, nullptr, nullptr, desc, quality, 0);
}

std::int32_t img_save_jpeg(const char* fileName, img_desc* desc, std::int32_t quality)
{
    return img_jpeg_encode(nullptr, fileName, nullptr, desc, quality, 0);
}

std::int32_t img_save_jpeg_ex_w(const wchar_t* fileName, img_desc* desc, std::int32_t quality,
                                std::int32_t flags)
{
    return img_jpeg_encode(fileName, nullptr, nullptr, desc, quality, flags);
}

std::int32_t img_save_jpeg_ex(const char* fileName, img_desc* desc, std::int32_t quality, std::int32_t flags)
{
    return img_jpeg_encode(nullptr, fileName, nullptr, desc, quality, flags);
}

std::int32_t img_save_jpeg_mem(void** data, img_desc* desc, std::int32_t quality)
{
    if (!data) {
        return IMG_ERR_ARGUMENT;
    }
    return img_jpeg_encode(nullptr, nullptr, data, desc, quality, 0);
}

std::int32_t img_save_jpeg_mem_ex(void** data, img_desc* desc, std::int32_t quality, std::int32_t flags)
{
    if (!data) {
        return IMG_ERR_ARGUMENT;
    }
    return img_jpeg_encode(nullptr, nullptr, data, desc, quality, flags);
}

void img_jpeg_set_density(std::int32_t xDensity, std::int32_t yDensity, std::int32_t units)
{
    if (units >= 0 && units <= 2) {
        g_densityUnits = units;
    }
    if (xDensity >= 0 && xDensity < 65536) {
        g_xDensity = xDensity;
    }
    if (yDensity >= 0 && yDensity < 65536) {
        g_yDensity = yDensity;
    }
}

std::int32_t img_jpeg_set_thumbnail_size(std::int32_t size)
{
    if (size < 1 || size > 255) {
        return IMG_ERR_RANGE;
    }
    g_thumbnailSize = size;
    return IMG_OK;
}
