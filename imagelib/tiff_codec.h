// The row coders behind the TIFF reader and writer: PackBits, LZW, CCITT modified Huffman
// (compression 2), Group 3 (compression 3, read only) and Group 4 (compression 4).
//
// Every coder works on bytes in memory: decoders are given the whole input they may read (one
// strip) and never look past it; encoders append to a growing byte buffer. Bits are packed and
// read from the most significant bit of each byte down; reversed fill order is the caller's
// business. A coder that meets bad input raises (img_raise) one of the TIFF codes below; the
// entry points of the TIFF module catch it. Internal to the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessivor::tiff {

// Codes raised by the coders (the public codes of the TIFF entry points).
inline constexpr std::int32_t kBadData = -62;        // bad code, or the input ends before the rows do
inline constexpr std::int32_t kTooManyChanges = -44; // a row with more colour changes than the lists hold
inline constexpr std::int32_t kTooLarge = -73;       // Group 4 or 2-D Group 3 beyond 65,535 columns or rows

// ---- PackBits ----

// More bytes than PackBits can make of `length` input bytes (a single byte before a run of two
// costs two bytes, the run two more).
constexpr std::size_t packbitsBound(std::size_t length)
{
    return 2 * length + 2;
}
// Codes one row into `out` (room for packbitsBound(length) bytes); the bytes produced.
std::size_t packbitsEncode(const std::uint8_t* row, std::size_t length, std::uint8_t* out);
// Fills exactly `outLength` bytes from at most `available` input bytes; the input bytes used.
// A run that would pass the row's end is cut there (its input is used up all the same).
// Raises kBadData when the input ends first.
std::size_t packbitsDecode(const std::uint8_t* in, std::size_t available, std::uint8_t* out,
                           std::size_t outLength);

// ---- bit output ----

class BitWriter
{
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : m_out(out) {}
    ~BitWriter() { flush(); }
    BitWriter(const BitWriter&) = delete;
    BitWriter& operator=(const BitWriter&) = delete;

    // Appends the low `length` (0 to 24) bits of `code`.
    void put(std::uint32_t code, unsigned length)
    {
        m_acc = (m_acc << length) | (code & ((1u << length) - 1));
        m_count += length;
        while (m_count >= 8) {
            m_count -= 8;
            m_out.push_back(static_cast<std::uint8_t>(m_acc >> m_count));
        }
    }
    // Zero bits up to the next byte boundary.
    void flush()
    {
        if (m_count)
            put(0, 8 - m_count);
    }

private:
    std::vector<std::uint8_t>& m_out;
    std::uint64_t m_acc = 0;
    unsigned m_count = 0;
};

// ---- bit input ----

// Reads bits from the most significant bit of each byte down out of a bounded input. Bits past
// the end may be looked at (they read as zeros); using one raises kBadData.
class BitReader
{
public:
    void start(const std::uint8_t* in, std::size_t available)
    {
        m_in = in;
        m_available = available;
        m_next = 0;
        m_acc = 0;
        m_held = 0;
    }
    // The next `bits` (1 to 25) bits, not yet used.
    std::uint32_t peek(unsigned bits)
    {
        if (m_held < bits)
            refill();
        return static_cast<std::uint32_t>(m_acc >> (64 - bits));
    }
    // Uses `bits` bits that peek() has looked at.
    void skip(unsigned bits)
    {
        m_acc <<= bits;
        m_held -= bits;
        if (std::uint64_t{m_next} * 8 - m_held > std::uint64_t{m_available} * 8)
            overrun();
    }
    std::uint32_t read(unsigned bits)
    {
        const std::uint32_t v = peek(bits);
        skip(bits);
        return v;
    }
    // Drops the bits up to the next byte boundary.
    void align()
    {
        peek(8);
        const std::uint64_t used = std::uint64_t{m_next} * 8 - m_held;
        if (used & 7)
            skip(static_cast<unsigned>(8 - (used & 7)));
    }

private:
    void refill()
    {
        if (m_held <= 32 && m_next <= m_available && m_available - m_next >= 4) {
            // Four bytes at once while the input lasts.
            const std::uint32_t word = (std::uint32_t{m_in[m_next]} << 24) |
                                       (std::uint32_t{m_in[m_next + 1]} << 16) |
                                       (std::uint32_t{m_in[m_next + 2]} << 8) | m_in[m_next + 3];
            m_acc |= std::uint64_t{word} << (32 - m_held);
            m_next += 4;
            m_held += 32;
            return;
        }
        while (m_held <= 56) {
            m_acc |= std::uint64_t{m_next < m_available ? m_in[m_next] : std::uint8_t{0}} << (56 - m_held);
            ++m_next;
            m_held += 8;
        }
    }
    [[noreturn]] static void overrun();

    const std::uint8_t* m_in = nullptr;
    std::size_t m_available = 0;
    std::size_t m_next = 0; // next byte to load (past the end: zeros were loaded)
    std::uint64_t m_acc = 0;
    unsigned m_held = 0;
};

// ---- LZW ----

// Codes one strip: Clear, the codes of `length` bytes, End of Information, zero bits to a byte.
class LzwEncoder
{
public:
    LzwEncoder();
    void encodeStrip(const std::uint8_t* data, std::size_t length, std::vector<std::uint8_t>& out);

private:
    void clearTable();
    std::vector<std::uint32_t> m_hash; // (prefix << 8 | byte) << 12 | code, 0 = empty
};

// Decodes one strip into one contiguous buffer: every string is copied from where it was
// written before, so the whole strip's output must be in `out`. Raises kBadData for a code above
// the next free one, a code after Clear that is not a literal, Clear or EOI, a dictionary past
// 4,096 entries, or input that ends before End of Information or a full buffer; produced() then
// tells how many bytes were written.
class LzwDecoder
{
public:
    LzwDecoder();
    // Decodes at most `available` input bytes into at most `capacity` bytes; the bytes written.
    std::size_t decodeStrip(const std::uint8_t* in, std::size_t available, std::uint8_t* out,
                            std::size_t capacity);
    std::size_t produced() const { return m_produced; }
    // The most bytes `available` input bytes can decode to.
    static std::size_t bound(std::size_t available) { return (available * 8 / 9 + 1) * 4096; }

private:
    std::vector<std::uint32_t> m_offset; // where each code's string was written
    std::vector<std::uint16_t> m_length;
    std::size_t m_produced = 0;
};

// ---- CCITT ----

// Changing-element lists of one coder: room for min(width + 1, 16384) positions each.
class CcittLines
{
public:
    // Raises kTooLarge when `twoDimensional` and width or height is above 65,535.
    CcittLines(std::uint32_t width, std::uint32_t height, bool twoDimensional);
    // The reference line becomes all white (start of a strip).
    void resetReference();
    std::uint32_t width() const { return m_width; }

    // Row coders: `row` holds width bits, a set bit white.
    void encodeMh(const std::uint8_t* row, BitWriter& out);
    void encodeG4(const std::uint8_t* row, BitWriter& out);
    static void endG4Strip(BitWriter& out);

private:
    friend class CcittDecoder;
    std::uint32_t limit() const { return m_limit; }
    // Changing elements of a row into `line`; the count (the final entry is the width).
    std::uint32_t changes(const std::uint8_t* row, std::vector<std::uint32_t>& line) const;

    std::uint32_t m_width;
    std::uint32_t m_limit;
    std::vector<std::uint32_t> m_ref, m_cur;
    std::uint32_t m_refCount = 1;
};

// Which row decoder a CCITT strip needs.
enum class CcittKind
{
    Mh,
    G3,
    G4,
};

// Decodes the rows of one strip from a bounded input.
class CcittDecoder
{
public:
    CcittDecoder(CcittLines& lines, CcittKind kind, std::uint32_t t4Options);
    // Starts a strip of `available` bytes; the reference line becomes all white.
    void startStrip(const std::uint8_t* in, std::size_t available);
    // Decodes the next row into `row` (cleared first, white runs set). Raises kBadData,
    // kTooManyChanges.
    void decodeRow(std::uint8_t* row);

private:
    std::uint32_t readRun(int colour); // colour 0 white, 1 black
    void decode1d();
    void decode2d();
    void emitRow(std::uint8_t* row);
    void push(std::uint32_t position);

    CcittLines& m_lines;
    CcittKind m_kind;
    std::uint32_t m_t4Options;
    BitReader m_in;
    std::uint32_t m_curCount = 0;
};

// Sets the bits [from, to) of a row.
void fillBits(std::uint8_t* row, std::uint32_t from, std::uint32_t to);

} // namespace tessivor::tiff
