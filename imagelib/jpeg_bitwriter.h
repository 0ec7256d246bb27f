// Entropy-coded output of the JPEG encoder: codes are packed most significant bit first into a
// 64-bit register, which goes out 8 bytes at a time into a 64 KiB buffer with a 0x00 stuffed
// after every 0xFF byte (T.81 F.1.2.3), so that no marker can appear inside the data.
#pragma once

#include "imagelib/jpeg_error.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tessivor::jpeg {

// Where the encoder's bytes go. write() returns false when it could not take all `size` bytes.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
};

class BitWriter
{
public:
    static constexpr std::size_t kBufferSize = 65536;
    // The buffer is written out before bytes are added once it holds this much, which leaves
    // room for one register of 8 bytes with every byte stuffed.
    static constexpr std::size_t kFlushMark = 65520;

    explicit BitWriter(ByteSink& sink) : m_sink(sink), m_buffer(new std::uint8_t[kBufferSize]) {}

    // Appends the low `count` bits of `bits` (count 1..32; higher bits must be 0).
    void put(std::uint64_t bits, int count)
    {
        m_free -= count;
        if (m_free < 0) {
            // The register is full: its remaining room takes the top part of `bits`; the rest
            // stays in the low bits of the new register content.
            m_acc = (m_acc << (count + m_free)) | (bits >> -m_free);
            emitRegister();
            m_free += 64;
            m_acc = bits;
        } else {
            m_acc = (m_acc << count) | bits;
        }
    }

    // Pads the last byte with one-bits and moves every complete byte into the buffer.
    void alignWithOnes();

    // Writes the buffer to the sink; a short write raises kStatusWriteFailed.
    void flushBuffer();

private:
    void emitRegister();
    void reserve()
    {
        if (m_fill >= kFlushMark) {
            flushBuffer();
        }
    }

    ByteSink& m_sink;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_fill = 0;
    std::uint64_t m_acc = 0;
    int m_free = 64; // bits of the register not yet holding output
};

} // namespace tessivor::jpeg
