// PackBits and LZW coders of the TIFF module (see tiff_codec.h).
#include "imagelib/tiff_codec.h"

#include "imagelib/img_frame.h"

#include <cstring>

namespace tessivor::tiff {

// ---- PackBits ----

namespace {

std::size_t runAt(const std::uint8_t* p, std::size_t i, std::size_t n)
{
    std::size_t j = i + 1;
    while (j < n && p[j] == p[i])
        ++j;
    return j - i;
}

} // namespace

std::size_t packbitsEncode(const std::uint8_t* row, std::size_t length, std::uint8_t* out)
{
    std::uint8_t* o = out;
    for (std::size_t start = 0; start < length; start += 127) {
        const std::uint8_t* p = row + start;
        const std::size_t n = length - start < 127 ? length - start : 127;
        std::size_t literalStart = 0, literalCount = 0;
        const auto flush = [&] {
            if (literalCount) {
                *o++ = static_cast<std::uint8_t>(literalCount - 1);
                std::memcpy(o, p + literalStart, literalCount);
                o += literalCount;
                literalCount = 0;
            }
        };
        const auto take = [&](std::size_t i, std::size_t count) {
            if (!literalCount)
                literalStart = i;
            literalCount += count;
        };
        std::size_t i = 0;
        while (i < n) {
            const std::size_t run = runAt(p, i, n);
            if (run >= 2) {
                flush();
                *o++ = static_cast<std::uint8_t>(1 - static_cast<int>(run));
                *o++ = p[i];
                i += run;
                continue;
            }
            const std::size_t next = i + 1 < n ? runAt(p, i + 1, n) : 0;
            if (next == 1) {
                take(i, 2);
                i += 2;
            } else if (next == 2 && i + 3 < n && runAt(p, i + 3, n) == 1) {
                take(i, 3);
                i += 3;
            } else {
                take(i, 1);
                flush();
                i += 1;
            }
        }
        flush();
    }
    return static_cast<std::size_t>(o - out);
}

std::size_t packbitsDecode(const std::uint8_t* in, std::size_t available, std::uint8_t* out,
                           std::size_t outLength)
{
    std::size_t i = 0, o = 0;
    while (o < outLength) {
        if (i >= available)
            img_raise(kBadData);
        const std::uint8_t h = in[i++];
        if (h < 128) {
            const std::size_t count = std::size_t{h} + 1;
            if (available - i < count)
                img_raise(kBadData);
            const std::size_t copy = count < outLength - o ? count : outLength - o;
            std::memcpy(out + o, in + i, copy);
            o += copy;
            i += count;
        } else if (h > 128) {
            if (i >= available)
                img_raise(kBadData);
            const std::size_t count = 257u - h;
            const std::size_t fill = count < outLength - o ? count : outLength - o;
            std::memset(out + o, in[i++], fill);
            o += fill;
        }
    }
    return i;
}

// ---- LZW ----

namespace {

constexpr std::uint32_t kClear = 256;
constexpr std::uint32_t kEoi = 257;
constexpr std::uint32_t kFirstFree = 258;
constexpr std::uint32_t kMaxCodes = 4096;
constexpr std::size_t kHashSize = 8192; // power of two, twice the dictionary

std::size_t hashOf(std::uint32_t key)
{
    return (key * 2654435761u) >> (32 - 13);
}

} // namespace

LzwEncoder::LzwEncoder() : m_hash(kHashSize, 0) {}

void LzwEncoder::clearTable()
{
    std::memset(m_hash.data(), 0, m_hash.size() * sizeof(std::uint32_t));
}

void LzwEncoder::encodeStrip(const std::uint8_t* data, std::size_t length, std::vector<std::uint8_t>& out)
{
    BitWriter bits(out);
    clearTable();
    unsigned width = 9;
    std::uint32_t next = kFirstFree;
    bits.put(kClear, width);
    if (length == 0) {
        bits.put(kEoi, width);
        return;
    }
    std::uint32_t* table = m_hash.data();
    std::uint32_t ent = data[0];
    for (std::size_t i = 1; i < length; ++i) {
        const std::uint32_t key = (ent << 8) | data[i];
        std::size_t h = hashOf(key);
        std::uint32_t slot;
        bool found = false;
        while ((slot = table[h]) != 0) {
            if ((slot >> 12) == key) {
                ent = slot & 0xFFF;
                found = true;
                break;
            }
            h = (h + 1) & (kHashSize - 1);
        }
        if (found)
            continue;
        bits.put(ent, width);
        table[h] = (key << 12) | next;
        ++next;
        if (next == kMaxCodes - 1) {
            bits.put(kClear, width);
            clearTable();
            width = 9;
            next = kFirstFree;
        } else if (next == 512 || next == 1024 || next == 2048) {
            ++width;
        }
        ent = data[i];
    }
    bits.put(ent, width);
    ++next;
    if (next == 512 || next == 1024 || next == 2048)
        ++width;
    bits.put(kEoi, width);
}

LzwDecoder::LzwDecoder() : m_offset(kMaxCodes, 0), m_length(kMaxCodes, 1) {}

void BitReader::overrun()
{
    img_raise(kBadData);
}

std::size_t LzwDecoder::decodeStrip(const std::uint8_t* in, std::size_t available, std::uint8_t* out,
                                    std::size_t capacity)
{
    std::uint32_t* offset = m_offset.data();
    std::uint16_t* length = m_length.data();
    BitReader bits;
    bits.start(in, available);
    unsigned width = 9;
    std::uint32_t free = kFirstFree;
    std::int32_t prev = -1;
    std::size_t prevStart = 0, o = 0;
    // Whatever raises (a bad code here, input that ends in the bit reader), the bytes written so
    // far are what the strip produced.
    try {
        while (o < capacity) {
            const std::uint32_t code = bits.read(width);
            if (code == kClear) {
                width = 9;
                free = kFirstFree;
                prev = -1;
                continue;
            }
            if (code == kEoi)
                break;
            if (prev < 0) {
                // After Clear only a literal may follow.
                if (code > 255)
                    img_raise(kBadData);
                prevStart = o;
                out[o++] = static_cast<std::uint8_t>(code);
                prev = static_cast<std::int32_t>(code);
                continue;
            }
            if (code > free || free >= kMaxCodes)
                img_raise(kBadData);
            const std::size_t prevLength = length[prev];
            const std::size_t start = o;
            if (code < 256) {
                out[o++] = static_cast<std::uint8_t>(code);
            } else {
                // A string written before; the code being made is the previous string and its own
                // first byte.
                const bool made = code == free;
                const std::size_t len = made ? prevLength + 1 : length[code];
                const std::size_t from = made ? prevStart : offset[code];
                const std::size_t n = len < capacity - o ? len : capacity - o;
                if (len <= 16 && capacity - o >= 16) {
                    // Short strings as two 8-byte moves: the bytes past the string are rewritten by
                    // the strings that follow (or lie past what the strip produced).
                    std::uint64_t a, b;
                    std::memcpy(&a, out + from, 8);
                    std::memcpy(&b, out + from + 8, 8);
                    std::memcpy(out + o, &a, 8);
                    std::memcpy(out + o + 8, &b, 8);
                    if (made)
                        out[o + prevLength] = out[from];
                } else if (made) {
                    std::memcpy(out + o, out + from, n < prevLength ? n : prevLength);
                    if (n > prevLength)
                        out[o + prevLength] = out[from];
                } else {
                    std::memcpy(out + o, out + from, n);
                }
                o += n;
            }
            offset[free] = static_cast<std::uint32_t>(prevStart);
            length[free] = static_cast<std::uint16_t>(prevLength + 1);
            ++free;
            if (free + 1 >= (1u << width) && width < 12)
                ++width;
            prevStart = start;
            prev = static_cast<std::int32_t>(code);
        }
    } catch (const ImgError&) {
        m_produced = o;
        throw;
    }
    m_produced = o;
    return o;
}

} // namespace tessivor::tiff
