#include "imagelib/jpeg_io.h"

#include "imagelib/jpeg_error.h"

#include <limits>

namespace tessivor::jpeg {

std::uint32_t StreamSource::read(std::uint8_t* buffer, std::uint32_t count)
{
    std::uint32_t done = 0;
    if (!m_ops.read(m_handle, buffer, count, &done) || done > count) {
        img_raise(kStatusReadFailed);
    }
    return done;
}

void StreamSource::seek(std::uint64_t position)
{
    if (position > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) ||
        m_ops.seek(m_handle, static_cast<std::int32_t>(position), IMG_SEEK_SET) < 0) {
        img_raise(kStatusReadFailed);
    }
}

bool StreamSink::write(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const auto chunk = static_cast<std::uint32_t>(std::min<std::size_t>(size, 1u << 30));
        std::uint32_t done = 0;
        if (!m_ops.write(m_handle, data, chunk, &done) || done != chunk) {
            return false;
        }
        data += chunk;
        size -= chunk;
    }
    return true;
}

JpegInput::~JpegInput()
{
    m_window.reset();
    m_source.reset();
    if (m_handle != IMG_INVALID_HANDLE && m_ops.close) {
        m_ops.close(m_handle);
    }
}

std::int32_t JpegInput::open(const JpegInputName& input)
{
    if (input.memory) {
        const std::int32_t r = img_check_mem_source(input.data, input.length);
        if (r != IMG_OK) {
            return r;
        }
        m_handle = img_open_read(nullptr, nullptr, input.data, input.length, &m_ops);
    } else {
        m_handle = img_open_read(input.wideName, input.name, nullptr, 0, &m_ops);
    }
    if (m_handle == IMG_INVALID_HANDLE) {
        return IMG_ERR_OPEN_INPUT;
    }
    // The window hands out only bytes it has read: its buffer needs no clearing (a header query
    // of a camera frame reads a few KiB of the 64 KiB).
    m_buffer = img_work_array_unfilled<std::uint8_t>(InputWindow::kSize);
    if (!m_buffer) {
        return IMG_ERR_NO_MEMORY;
    }
    m_source.emplace(m_handle, m_ops);
    m_window.emplace(*m_source, m_buffer.get());
    return IMG_OK;
}

ImgWork<std::int16_t> img_jpeg_alloc_coef(std::size_t blocks)
{
    if (blocks > SIZE_MAX / 64) {
        return {};
    }
    return img_work_array<std::int16_t>(blocks * 64);
}

std::int32_t img_jpeg_read_headers(const JpegInputName& input, JpegInput& in, JpegHeader& header)
{
    header = JpegHeader{};
    const std::int32_t r = in.open(input);
    if (r != IMG_OK) {
        return r;
    }
    img_status.store(0);
    return img_guard(IMG_ERR_JPEG_HEADER, &img_status,
                     [&] { return walkMarkers(in.window(), header, WalkMode::Header, nullptr); });
}

} // namespace tessivor::jpeg
