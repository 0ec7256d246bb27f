#include "imagelib/jpeg_bitwriter.h"

namespace tessivor::jpeg {

namespace {

// True when any byte of v is 0xFF: ~v then has a zero byte.
inline bool hasFFByte(std::uint64_t v)
{
    const std::uint64_t x = ~v;
    return ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0;
}

} // namespace

void BitWriter::emitRegister()
{
    reserve();
    std::uint8_t* out = m_buffer.get() + m_fill;
    if (!hasFFByte(m_acc)) {
        for (int i = 0; i < 8; ++i) {
            out[i] = static_cast<std::uint8_t>(m_acc >> (56 - 8 * i));
        }
        m_fill += 8;
        return;
    }
    std::size_t n = 0;
    for (int i = 0; i < 8; ++i) {
        const auto b = static_cast<std::uint8_t>(m_acc >> (56 - 8 * i));
        out[n++] = b;
        if (b == 0xFF) {
            out[n++] = 0;
        }
    }
    m_fill += n;
}

void BitWriter::alignWithOnes()
{
    put(0x7F, 7);
    const int valid = 64 - m_free;
    const int bytes = valid / 8;
    reserve();
    for (int i = 0; i < bytes; ++i) {
        const auto b = static_cast<std::uint8_t>(m_acc >> (valid - 8 * (i + 1)));
        m_buffer[m_fill++] = b;
        if (b == 0xFF) {
            m_buffer[m_fill++] = 0;
        }
    }
    m_acc = 0;
    m_free = 64;
}

void BitWriter::flushBuffer()
{
    if (m_fill == 0) {
        return;
    }
    const std::size_t n = m_fill;
    m_fill = 0;
    if (!m_sink.write(m_buffer.get(), n)) {
        img_raise(kStatusWriteFailed);
    }
}

} // namespace tessivor::jpeg
