// Input of the JPEG reader: a 64 KiB window over a byte source. Everything the header walk and
// the entropy decoder read comes through the window, which is refilled from the first byte not
// yet consumed whenever more is needed; skips that go past the window seek the source instead
// of reading through it, so a segment of any length costs one seek.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessivor::jpeg {

class ByteSource
{
public:
    virtual ~ByteSource() = default;
    // Reads up to `count` bytes into `buffer`; returns how many came (0 at the end of the data).
    // Raises kStatusReadFailed when the read fails.
    virtual std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) = 0;
    // Moves to `position` bytes from the start; raises kStatusReadFailed when it cannot.
    // A position past the end is allowed; reads there give 0 bytes.
    virtual void seek(std::uint64_t position) = 0;
};

class InputWindow
{
public:
    static constexpr std::size_t kSize = 65536;
    // The first read asks for this much only: a header query usually needs well under it.
    static constexpr std::uint32_t kFirstRead = 4096;

    // `buffer` holds kSize bytes and outlives the window. The source is at position 0.
    InputWindow(ByteSource& source, std::uint8_t* buffer) : m_source(source), m_buffer(buffer) {}

    // Stream offset of the next byte.
    std::uint64_t position() const { return m_base + m_pos; }

    // Makes at least `count` (at most kSize) bytes available at the current position. False when
    // the data ends first (what there is stays available).
    bool ensure(std::size_t count) { return m_fill - m_pos >= count || img_jpeg_fill_input(count); }

    std::size_t available() const { return m_fill - m_pos; }
    const std::uint8_t* current() const { return m_buffer + m_pos; }
    void consume(std::size_t count) { m_pos += count; }

    // The next byte and 16-bit big-endian number; at the end of the data they raise
    // kStatusEndOfData.
    std::uint8_t byte()
    {
        if (m_pos == m_fill && !img_jpeg_fill_input(1)) {
            endOfData();
        }
        return m_buffer[m_pos++];
    }
    std::uint16_t u16()
    {
        const std::uint8_t hi = byte();
        return static_cast<std::uint16_t>(hi << 8 | byte());
    }

    // Steps over `count` bytes: within the window by moving, beyond it by seeking the source.
    void skip(std::uint64_t count);
    // Moves to stream offset `position`.
    void seekTo(std::uint64_t position);

private:
    bool img_jpeg_fill_input(std::size_t count);
    [[noreturn]] void endOfData();

    ByteSource& m_source;
    std::uint8_t* m_buffer;
    std::uint64_t m_base = 0; // stream offset of m_buffer[0]
    std::size_t m_pos = 0;    // consumed
    std::size_t m_fill = 0;   // valid bytes in the buffer
    bool m_firstRead = true;
};

} // namespace tessivor::jpeg
