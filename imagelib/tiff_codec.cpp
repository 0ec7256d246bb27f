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

LzwDecoder::LzwDecoder() : m_table(kMaxCodes), m_spill(kMaxCodes)
{
    for (std::uint32_t c = 0; c < 256; ++c)
        m_table[c] = Entry{0, 1, static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c)};
}

void LzwDecoder::start(const std::uint8_t* in, std::size_t available)
{
    m_in = in;
    m_available = available;
    m_loaded = 0;
    m_acc = 0;
    m_held = 0;
    m_width = 9;
    m_free = kFirstFree;
    m_prev = -1;
    m_ended = false;
    m_spillAt = m_spillEnd = 0;
}

std::uint32_t LzwDecoder::nextCode()
{
    while (m_held <= 56) {
        m_acc |= std::uint64_t{m_loaded < m_available ? m_in[m_loaded] : std::uint8_t{0}} << (56 - m_held);
        ++m_loaded;
        m_held += 8;
    }
    const auto code = static_cast<std::uint32_t>(m_acc >> (64 - m_width));
    m_acc <<= m_width;
    m_held -= m_width;
    // Zeros fed past the end may be looked at, never used.
    if (std::uint64_t{m_loaded} * 8 - m_held > std::uint64_t{m_available} * 8)
        img_raise(kBadData);
    return code;
}

// Writes the string of `code` backwards so that it ends just before `end`.
void LzwDecoder::spell(std::uint32_t code, std::uint8_t* end) const
{
    const Entry* table = m_table.data();
    for (std::uint32_t c = code;;) {
        *--end = table[c].suffix;
        if (table[c].length == 1)
            return;
        c = table[c].prefix;
    }
}

std::size_t LzwDecoder::read(std::uint8_t* out, std::size_t count)
{
    std::size_t o = 0;
    if (m_spillAt < m_spillEnd) {
        const std::size_t n = m_spillEnd - m_spillAt < count ? m_spillEnd - m_spillAt : count;
        std::memcpy(out, m_spill.data() + m_spillAt, n);
        m_spillAt += n;
        o = n;
    }
    Entry* table = m_table.data();
    while (o < count && !m_ended) {
        const std::uint32_t code = nextCode();
        if (code == kClear) {
            m_width = 9;
            m_free = kFirstFree;
            m_prev = -1;
            continue;
        }
        if (code == kEoi) {
            m_ended = true;
            break;
        }
        if (m_prev < 0) {
            // After Clear only a literal may follow.
            if (code > 255)
                img_raise(kBadData);
            out[o++] = static_cast<std::uint8_t>(code);
            m_prev = static_cast<std::int32_t>(code);
            continue;
        }
        if (code > m_free || m_free >= kMaxCodes)
            img_raise(kBadData);
        const Entry& p = table[m_prev];
        // The new entry: the previous string and the first byte of this one (of the previous
        // one itself when this code is the entry being made).
        const std::uint8_t first = code < m_free ? table[code].first : p.first;
        table[m_free] = Entry{static_cast<std::uint16_t>(m_prev), static_cast<std::uint16_t>(p.length + 1),
                              first, p.first};
        const std::size_t len = table[code].length;
        if (count - o >= len) {
            spell(code, out + o + len);
            o += len;
        } else {
            spell(code, m_spill.data() + len);
            const std::size_t n = count - o;
            std::memcpy(out + o, m_spill.data(), n);
            m_spillAt = n;
            m_spillEnd = len;
            o = count;
        }
        ++m_free;
        if (m_free + 1 >= (1u << m_width) && m_width < 12)
            ++m_width;
        m_prev = static_cast<std::int32_t>(code);
    }
    return o;
}

} // namespace tessivor::tiff
