// CCITT modified Huffman, Group 3 and Group 4 coders of the TIFF module (see tiff_codec.h).
//
// A row is described by its changing elements: the positions where the colour changes, counted
// from a white start, ending with the row width. Decoded white runs are set bits.
#include "imagelib/img_frame.h"
#include "imagelib/tiff_codec.h"

#include <array>
#include <bit>
#include <cstring>

namespace tessivor::tiff {

namespace {

// ---- code tables of ITU-T T.4 ----

// Terminating codes 0 to 63, then make-up codes 64 to 1728.
constexpr const char* kWhiteCodes[] = {
    "00110101",  "000111",    "0111",      "1000",      "1011",      "1100",      "1110",      "1111",
    "10011",     "10100",     "00111",     "01000",     "001000",    "000011",    "110100",    "110101",
    "101010",    "101011",    "0100111",   "0001100",   "0001000",   "0010111",   "0000011",   "0000100",
    "0101000",   "0101011",   "0010011",   "0100100",   "0011000",   "00000010",  "00000011",  "00011010",
    "00011011",  "00010010",  "00010011",  "00010100",  "00010101",  "00010110",  "00010111",  "00101000",
    "00101001",  "00101010",  "00101011",  "00101100",  "00101101",  "00000100",  "00000101",  "00001010",
    "00001011",  "01010010",  "01010011",  "01010100",  "01010101",  "00100100",  "00100101",  "01011000",
    "01011001",  "01011010",  "01011011",  "01001010",  "01001011",  "00110010",  "00110011",  "00110100",
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",  "01100101",
    "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011", "011010100", "011010101",
    "011010110", "011010111", "011011000", "011011001", "011011010", "011011011", "010011000", "010011001",
    "010011010", "011000",    "010011011",
};
constexpr const char* kBlackCodes[] = {
    "0000110111",
    "010",
    "11",
    "10",
    "011",
    "0011",
    "0010",
    "00011",
    "000101",
    "000100",
    "0000100",
    "0000101",
    "0000111",
    "00000100",
    "00000111",
    "000011000",
    "0000010111",
    "0000011000",
    "0000001000",
    "00001100111",
    "00001101000",
    "00001101100",
    "00000110111",
    "00000101000",
    "00000010111",
    "00000011000",
    "000011001010",
    "000011001011",
    "000011001100",
    "000011001101",
    "000001101000",
    "000001101001",
    "000001101010",
    "000001101011",
    "000011010010",
    "000011010011",
    "000011010100",
    "000011010101",
    "000011010110",
    "000011010111",
    "000001101100",
    "000001101101",
    "000011011010",
    "000011011011",
    "000001010100",
    "000001010101",
    "000001010110",
    "000001010111",
    "000001100100",
    "000001100101",
    "000001010010",
    "000001010011",
    "000000100100",
    "000000110111",
    "000000111000",
    "000000100111",
    "000000101000",
    "000001011000",
    "000001011001",
    "000000101011",
    "000000101100",
    "000001011010",
    "000001100110",
    "000001100111",
    "0000001111",
    "000011001000",
    "000011001001",
    "000001011011",
    "000000110011",
    "000000110100",
    "000000110101",
    "0000001101100",
    "0000001101101",
    "0000001001010",
    "0000001001011",
    "0000001001100",
    "0000001001101",
    "0000001110010",
    "0000001110011",
    "0000001110100",
    "0000001110101",
    "0000001110110",
    "0000001110111",
    "0000001010010",
    "0000001010011",
    "0000001010100",
    "0000001010101",
    "0000001011010",
    "0000001011011",
    "0000001100100",
    "0000001100101",
};
// Make-up codes 1792 to 2560, shared by both colours.
constexpr const char* kExtendedCodes[] = {
    "00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
    "000000011101", "000000011110", "000000011111",
};
static_assert(std::size(kWhiteCodes) == 91 && std::size(kBlackCodes) == 91 &&
              std::size(kExtendedCodes) == 13);

// Two-dimensional mode codes: VR3, VR2, VR1, V0, VL1, VL2, VL3, pass, horizontal. Entry
// 3 + (b1 - a1) is the vertical code for a1 - b1 between -3 and 3.
constexpr const char* kModeCodes[] = {"0000011", "000011",  "011",  "1",  "010",
                                      "000010",  "0000010", "0001", "001"};
constexpr int kPass = 7;
constexpr int kHorizontal = 8;

struct Code
{
    std::uint16_t bits = 0;
    std::uint8_t length = 0;
};

constexpr Code codeOf(const char* s)
{
    Code c;
    for (; *s; ++s) {
        c.bits = static_cast<std::uint16_t>((c.bits << 1) | (*s == '1'));
        ++c.length;
    }
    return c;
}

// Run table entry of the 13-bit lookup: run length, code length (0: no code), make-up flag.
struct RunEntry
{
    std::uint16_t run = 0;
    std::uint8_t length = 0;
    std::uint8_t makeup = 0;
};

struct Tables
{
    std::array<std::array<Code, 104>, 2> codes; // [colour][entry]
    std::array<Code, 9> modes;
    std::array<std::array<RunEntry, 8192>, 2> runs; // [colour][next 13 bits]
    std::array<std::uint8_t, 128> modeOf;           // next 7 bits -> mode entry + 1 (0: invalid)
    std::array<std::uint8_t, 128> modeLength;

    Tables()
    {
        for (int colour = 0; colour < 2; ++colour) {
            const char* const* table = colour ? kBlackCodes : kWhiteCodes;
            for (int e = 0; e < 91; ++e)
                codes[colour][e] = codeOf(table[e]);
            for (int e = 0; e < 13; ++e)
                codes[colour][91 + e] = codeOf(kExtendedCodes[e]);
            for (int e = 0; e < 104; ++e) {
                const Code c = codes[colour][e];
                const std::uint16_t run = static_cast<std::uint16_t>(e < 64 ? e : (e - 63) * 64);
                const unsigned spare = 13 - c.length;
                for (unsigned k = 0; k < (1u << spare); ++k)
                    runs[colour][(static_cast<unsigned>(c.bits) << spare) | k] =
                        RunEntry{run, c.length, static_cast<std::uint8_t>(e >= 64)};
            }
        }
        for (int m = 0; m < 9; ++m) {
            modes[m] = codeOf(kModeCodes[m]);
            const unsigned spare = 7 - modes[m].length;
            for (unsigned k = 0; k < (1u << spare); ++k) {
                modeOf[(static_cast<unsigned>(modes[m].bits) << spare) | k] =
                    static_cast<std::uint8_t>(m + 1);
                modeLength[(static_cast<unsigned>(modes[m].bits) << spare) | k] = modes[m].length;
            }
        }
    }
};

const Tables& tables()
{
    static const Tables t;
    return t;
}

constexpr std::uint32_t kMaxChanges = 16384;

void putRun(BitWriter& out, const std::array<Code, 104>& codes, std::uint32_t run)
{
    while (run >= 2560) {
        out.put(codes[103].bits, codes[103].length);
        run -= 2560;
    }
    if (run >= 64) {
        const Code c = codes[63 + run / 64];
        out.put(c.bits, c.length);
        run %= 64;
    }
    out.put(codes[run].bits, codes[run].length);
}

// First position at or after `from` whose bit differs from `bit` (0 or 1), or `width`.
std::uint32_t findChange(const std::uint8_t* row, std::uint32_t from, std::uint32_t width, unsigned bit)
{
    if (from >= width)
        return width;
    const std::uint8_t flip = bit ? 0xFF : 0x00;
    std::uint32_t byte = from >> 3;
    // Bits of the first byte before `from` are masked off.
    std::uint8_t v = static_cast<std::uint8_t>((row[byte] ^ flip) & (0xFFu >> (from & 7)));
    const std::uint32_t bytes = (width + 7) >> 3;
    while (!v) {
        if (++byte >= bytes)
            return width;
        v = static_cast<std::uint8_t>(row[byte] ^ flip);
    }
    const std::uint32_t at = byte * 8 + static_cast<std::uint32_t>(std::countl_zero(v));
    return at < width ? at : width;
}

// Index of b1 on the reference line: the first change right of a0 to the colour opposite a0's
// (even entries turn white to black). A vertical mode to the left of b1 can leave a0 before the
// last b1, so the search may step back.
std::uint32_t findB1(const std::uint32_t* ref, std::uint32_t bi, std::int64_t a0, unsigned colour,
                     std::uint32_t width)
{
    while (bi > 0 && static_cast<std::int64_t>(ref[bi - 1]) > a0)
        --bi;
    while (static_cast<std::int64_t>(ref[bi]) <= a0 && ref[bi] < width)
        ++bi;
    if ((bi & 1) != colour)
        ++bi;
    return bi;
}

} // namespace

void fillBits(std::uint8_t* row, std::uint32_t from, std::uint32_t to)
{
    if (from >= to)
        return;
    std::uint32_t a = from >> 3;
    const std::uint32_t b = (to - 1) >> 3;
    const std::uint8_t head = static_cast<std::uint8_t>(0xFFu >> (from & 7));
    const std::uint8_t tail = static_cast<std::uint8_t>(0xFF00u >> (((to - 1) & 7) + 1));
    if (a == b) {
        row[a] |= static_cast<std::uint8_t>(head & tail);
        return;
    }
    row[a++] |= head;
    if (b > a)
        std::memset(row + a, 0xFF, b - a);
    row[b] |= tail;
}

// ---- lists ----

CcittLines::CcittLines(std::uint32_t width, std::uint32_t height, bool twoDimensional) : m_width(width)
{
    if (twoDimensional && (width > 65535 || height > 65535))
        img_raise(kTooLarge);
    m_limit = width + 1 < kMaxChanges ? width + 1 : kMaxChanges;
    // Room for the list and three sentinels the 2-D coders may look at.
    m_ref.assign(m_limit + 4, width);
    m_cur.assign(m_limit + 4, width);
    resetReference();
}

void CcittLines::resetReference()
{
    m_ref[0] = m_ref[1] = m_ref[2] = m_width;
    m_refCount = 1;
}

std::uint32_t CcittLines::changes(const std::uint8_t* row, std::vector<std::uint32_t>& line) const
{
    std::uint32_t count = 0, at = 0;
    unsigned colour = 1; // set bits are white
    for (;;) {
        at = findChange(row, at, m_width, colour);
        if (count >= m_limit)
            img_raise(kTooManyChanges);
        line[count++] = at;
        if (at >= m_width)
            break;
        colour ^= 1;
    }
    line[count] = line[count + 1] = m_width;
    return count;
}

void CcittLines::encodeMh(const std::uint8_t* row, BitWriter& out)
{
    const Tables& t = tables();
    const std::uint32_t count = changes(row, m_cur);
    std::uint32_t a0 = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        putRun(out, t.codes[i & 1], m_cur[i] - a0);
        a0 = m_cur[i];
    }
    // A row that ends in black has had its last run; one that ends white too (the width entry).
    out.flush();
}

void CcittLines::encodeG4(const std::uint8_t* row, BitWriter& out)
{
    const Tables& t = tables();
    const std::uint32_t count = changes(row, m_cur);
    const std::uint32_t width = m_width;
    const std::uint32_t* ref = m_ref.data();
    const std::uint32_t* cur = m_cur.data();
    std::int64_t a0 = -1;
    unsigned colour = 0; // 0 white, 1 black
    std::uint32_t ai = 0, bi = 0;
    while (a0 < static_cast<std::int64_t>(width)) {
        bi = findB1(ref, bi, a0, colour, width);
        const std::uint32_t b1 = ref[bi], b2 = ref[bi + 1];
        const std::uint32_t a1 = cur[ai];
        if (b2 < a1) {
            out.put(t.modes[kPass].bits, t.modes[kPass].length);
            a0 = b2;
            continue;
        }
        const std::int64_t d = static_cast<std::int64_t>(a1) - b1;
        if (d >= -3 && d <= 3) {
            const Code c = t.modes[3 - d];
            out.put(c.bits, c.length);
            a0 = a1;
            colour ^= 1;
            ++ai;
            continue;
        }
        const std::uint32_t a2 = cur[ai + 1];
        const std::uint32_t start = a0 < 0 ? 0 : static_cast<std::uint32_t>(a0);
        out.put(t.modes[kHorizontal].bits, t.modes[kHorizontal].length);
        putRun(out, t.codes[colour], a1 - start);
        putRun(out, t.codes[colour ^ 1], a2 - a1);
        a0 = a2;
        ai += 2;
    }
    m_ref.swap(m_cur);
    m_refCount = count;
}

void CcittLines::endG4Strip(BitWriter& out)
{
    out.put(1, 12);
    out.put(1, 12);
    out.flush();
}

// ---- decoding ----

CcittDecoder::CcittDecoder(CcittLines& lines, CcittKind kind, std::uint32_t t4Options)
    : m_lines(lines), m_kind(kind), m_t4Options(t4Options)
{
    tables();
}

void CcittDecoder::startStrip(const std::uint8_t* in, std::size_t available)
{
    m_in.start(in, available);
    m_lines.resetReference();
}

std::uint32_t CcittDecoder::readRun(int colour)
{
    const auto& runs = tables().runs[colour];
    std::uint32_t total = 0;
    for (;;) {
        const RunEntry e = runs[m_in.peek(13)];
        if (!e.length)
            img_raise(kBadData);
        m_in.skip(e.length);
        total += e.run;
        if (!e.makeup)
            return total;
        if (total > m_lines.width())
            img_raise(kBadData);
    }
}

void CcittDecoder::push(std::uint32_t position)
{
    if (m_curCount >= m_lines.limit())
        img_raise(kTooManyChanges);
    m_lines.m_cur[m_curCount++] = position;
}

void CcittDecoder::decode1d()
{
    const std::uint32_t width = m_lines.width();
    std::uint32_t a0 = 0;
    int colour = 0;
    while (a0 < width) {
        const std::uint32_t run = readRun(colour);
        if (run > width - a0)
            img_raise(kBadData);
        a0 += run;
        push(a0);
        colour ^= 1;
    }
    // A row ending in black has its width entry already; one ending white too.
}

void CcittDecoder::decode2d()
{
    const Tables& t = tables();
    const std::uint32_t width = m_lines.width();
    const std::uint32_t* ref = m_lines.m_ref.data();
    std::int64_t a0 = -1;
    unsigned colour = 0;
    std::uint32_t bi = 0;
    while (a0 < static_cast<std::int64_t>(width)) {
        bi = findB1(ref, bi, a0, colour, width);
        const std::uint32_t b1 = ref[bi], b2 = ref[bi + 1];
        const unsigned look = m_in.peek(7);
        const unsigned mode = t.modeOf[look];
        if (!mode)
            img_raise(kBadData);
        m_in.skip(t.modeLength[look]);
        const std::uint32_t start = a0 < 0 ? 0 : static_cast<std::uint32_t>(a0);
        if (mode - 1 == kPass) {
            if (b2 >= width || b2 < start)
                img_raise(kBadData);
            a0 = b2;
        } else if (mode - 1 == kHorizontal) {
            const std::uint32_t r1 = readRun(static_cast<int>(colour));
            if (r1 > width - start)
                img_raise(kBadData);
            const std::uint32_t a1 = start + r1;
            const std::uint32_t r2 = readRun(static_cast<int>(colour ^ 1));
            if (r2 > width - a1)
                img_raise(kBadData);
            const std::uint32_t a2 = a1 + r2;
            push(a1);
            if (a1 < width)
                push(a2);
            a0 = a2;
        } else {
            const std::int64_t a1 = static_cast<std::int64_t>(b1) - (static_cast<int>(mode - 1) - 3);
            // The run must stay in the row: a0 <= a1 <= width.
            if (a1 < static_cast<std::int64_t>(start) || a1 > width)
                img_raise(kBadData);
            push(static_cast<std::uint32_t>(a1));
            a0 = a1;
            colour ^= 1;
        }
    }
    if (m_curCount == 0 || m_lines.m_cur[m_curCount - 1] != width)
        push(width);
}

void CcittDecoder::emitRow(std::uint8_t* row)
{
    const std::uint32_t width = m_lines.width();
    std::memset(row, 0, (width + 7) / 8);
    std::uint32_t* cur = m_lines.m_cur.data();
    std::uint32_t from = 0;
    for (std::uint32_t i = 0; i < m_curCount; i += 2) {
        fillBits(row, from, cur[i]);
        if (i + 1 >= m_curCount)
            break;
        from = cur[i + 1];
    }
    cur[m_curCount] = cur[m_curCount + 1] = cur[m_curCount + 2] = width;
    m_lines.m_ref.swap(m_lines.m_cur);
    m_lines.m_refCount = m_curCount;
}

void CcittDecoder::decodeRow(std::uint8_t* row)
{
    m_curCount = 0;
    switch (m_kind) {
    case CcittKind::Mh:
        decode1d();
        m_in.align();
        break;
    case CcittKind::G4:
        decode2d();
        break;
    case CcittKind::G3: {
        // EOL codes and the fill zeros before them.
        for (;;) {
            const std::uint32_t next = m_in.peek(12);
            if (next == 1)
                m_in.skip(12);
            else if (next == 0)
                m_in.skip(1);
            else
                break;
        }
        bool oneDimensional = true;
        if (m_t4Options & 1) {
            oneDimensional = m_in.peek(1) != 0;
            m_in.skip(1);
        }
        if (oneDimensional)
            decode1d();
        else
            decode2d();
        break;
    }
    }
    emitRow(row);
}

} // namespace tessivor::tiff
