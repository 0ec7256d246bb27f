#include "imagelib/jpeg_input.h"

#include "imagelib/jpeg_error.h"

#include <cstring>

namespace tessivor::jpeg {

bool InputWindow::img_jpeg_fill_input(std::size_t count)
{
    if (count > kSize) {
        return false;
    }
    // Keep the bytes not yet consumed at the front and read behind them until enough are there
    // or the source has no more; a read that brings nothing ends the data, so this never loops.
    const std::size_t left = m_fill - m_pos;
    if (m_pos != 0) {
        if (left != 0) {
            std::memmove(m_buffer, m_buffer + m_pos, left);
        }
        m_base += m_pos;
        m_pos = 0;
        m_fill = left;
    }
    while (m_fill < count) {
        std::uint32_t want = static_cast<std::uint32_t>(kSize - m_fill);
        if (m_firstRead && want > kFirstRead && count <= kFirstRead) {
            want = kFirstRead;
        }
        m_firstRead = false;
        const std::uint32_t got = m_source.read(m_buffer + m_fill, want);
        if (got == 0) {
            return false;
        }
        m_fill += got;
    }
    return true;
}

void InputWindow::endOfData()
{
    img_raise(kStatusEndOfData);
}

void InputWindow::skip(std::uint64_t count)
{
    if (count <= m_fill - m_pos) {
        m_pos += static_cast<std::size_t>(count);
        return;
    }
    seekTo(position() + count);
}

void InputWindow::seekTo(std::uint64_t position)
{
    if (position >= m_base && position <= m_base + m_fill) {
        m_pos = static_cast<std::size_t>(position - m_base);
        return;
    }
    m_source.seek(position);
    m_base = position;
    m_pos = 0;
    m_fill = 0;
}

} // namespace tessivor::jpeg
