// The TIFF row coders on their own: the coded forms they must produce, round trips, and the
// refusal of input that is bad or runs out.
#include "imagelib/img_frame.h"
#include "imagelib/tiff_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace tessivor::tiff;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The code raised by `f`, or 0.
template <class F> std::int32_t raisedBy(F&& f)
{
    try {
        f();
    } catch (const ImgError& e) {
        return e.code();
    }
    return 0;
}

// The bits of `bytes` as a string of '0' and '1'.
std::string bitString(const Bytes& bytes)
{
    std::string s;
    for (std::uint8_t b : bytes)
        for (int i = 7; i >= 0; --i)
            s += ((b >> i) & 1) ? '1' : '0';
    return s;
}

Bytes randomBytes(std::size_t n, std::uint32_t seed, int alphabet = 256)
{
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& v : b)
        v = static_cast<std::uint8_t>(gen() % static_cast<unsigned>(alphabet));
    return b;
}

// ---- PackBits ----

TEST(TiffPackBits, LongRunsArePiecesOf127)
{
    const Bytes row(300, 0x5A);
    Bytes out(packbitsBound(row.size()));
    out.resize(packbitsEncode(row.data(), row.size(), out.data()));
    // 1 - 127 = -126 (0x82), 1 - 46 = -45 (0xD3).
    EXPECT_EQ(out, (Bytes{0x82, 0x5A, 0x82, 0x5A, 0xD3, 0x5A}));
}

TEST(TiffPackBits, LiteralsAndRunsAsTheWriterChoosesThem)
{
    struct Case
    {
        Bytes row, coded;
    };
    const Case cases[] = {
        {{1}, {0x00, 1}},
        {{1, 2}, {0x01, 1, 2}},
        {{1, 2, 2, 3}, {0x03, 1, 2, 2, 3}},       // single, pair, single: one literal
        {{1, 2, 2}, {0x00, 1, 0xFF, 2}},          // single then a pair at the end
        {{1, 1, 1, 2}, {0xFE, 1, 0x00, 2}},       // run then single
        {{1, 2, 3, 3, 3}, {0x01, 1, 2, 0xFE, 3}}, // literal pair then a run of 3
    };
    for (const Case& c : cases) {
        Bytes out(packbitsBound(c.row.size()));
        out.resize(packbitsEncode(c.row.data(), c.row.size(), out.data()));
        EXPECT_EQ(out, c.coded) << "row of " << c.row.size();
        Bytes back(c.row.size());
        EXPECT_EQ(packbitsDecode(c.coded.data(), c.coded.size(), back.data(), back.size()), c.coded.size());
        EXPECT_EQ(back, c.row);
    }
}

TEST(TiffPackBits, RoundTripsAndTheDecoderKeepsToItsInput)
{
    for (int alphabet : {2, 4, 256}) {
        const Bytes row = randomBytes(1000, 7u + static_cast<unsigned>(alphabet), alphabet);
        Bytes coded(packbitsBound(row.size()));
        coded.resize(packbitsEncode(row.data(), row.size(), coded.data()));
        ASSERT_LE(coded.size(), packbitsBound(row.size()));
        Bytes back(row.size());
        EXPECT_EQ(packbitsDecode(coded.data(), coded.size(), back.data(), back.size()), coded.size());
        EXPECT_EQ(back, row);
        // Any cut of the coded row runs out before the row is full.
        for (std::size_t cut : {std::size_t{0}, coded.size() / 2, coded.size() - 1})
            EXPECT_EQ(raisedBy([&] { packbitsDecode(coded.data(), cut, back.data(), back.size()); }),
                      kBadData);
    }
}

TEST(TiffPackBits, HeaderByte128IsSkippedAndRunsStopAtTheRowEnd)
{
    const Bytes coded = {0x80, 0xFD, 7, 0x80, 0x01, 8, 9};
    Bytes row(5);
    EXPECT_EQ(packbitsDecode(coded.data(), coded.size(), row.data(), row.size()), coded.size());
    EXPECT_EQ(row, (Bytes{7, 7, 7, 7, 8}));
}

// ---- LZW ----

// Reads the codes of a strip the way the format defines their widths.
std::vector<std::uint32_t> lzwCodes(const Bytes& strip)
{
    std::vector<std::uint32_t> codes;
    std::size_t bit = 0;
    unsigned width = 9;
    std::uint32_t next = 258;
    bool afterClear = true;
    while (bit + width <= strip.size() * 8) {
        std::uint32_t c = 0;
        for (unsigned i = 0; i < width; ++i, ++bit)
            c = (c << 1) | ((strip[bit / 8] >> (7 - bit % 8)) & 1);
        codes.push_back(c);
        if (c == 257)
            break;
        if (c == 256) {
            width = 9;
            next = 258;
            afterClear = true;
            continue;
        }
        if (!afterClear)
            ++next;
        afterClear = false;
        if (next + 1 >= (1u << width) && width < 12)
            ++width;
    }
    return codes;
}

TEST(TiffLzw, ClearAfterEntry4094AndNineBitCodesAfterIt)
{
    // Noise fills the dictionary in a few thousand codes.
    const Bytes data = randomBytes(20000, 11);
    LzwEncoder encoder;
    Bytes strip;
    encoder.encodeStrip(data.data(), data.size(), strip);
    const std::vector<std::uint32_t> codes = lzwCodes(strip);
    ASSERT_GE(codes.size(), 4000u);
    EXPECT_EQ(codes.front(), 256u);
    EXPECT_EQ(codes.back(), 257u);
    // Clear, then 3837 data codes assign entries 258 to 4094, then the second Clear.
    ASSERT_GT(codes.size(), 3839u);
    EXPECT_EQ(codes[3838], 256u);
    for (std::size_t i = 1; i < 3838; ++i)
        ASSERT_NE(codes[i], 256u) << i;
    EXPECT_LT(codes[3839], 256u) << "the code after Clear is a 9-bit literal";

    LzwDecoder decoder;
    Bytes back(data.size());
    EXPECT_EQ(decoder.decodeStrip(strip.data(), strip.size(), back.data(), back.size()), back.size());
    EXPECT_EQ(back, data);
}

TEST(TiffLzw, RoundTripsAndStopsWhereTheBufferEnds)
{
    for (int alphabet : {1, 3, 256}) {
        const Bytes data = randomBytes(70000, 5u + static_cast<unsigned>(alphabet), alphabet);
        LzwEncoder encoder;
        Bytes strip;
        encoder.encodeStrip(data.data(), data.size(), strip);
        LzwDecoder decoder;
        // Room for more: End of Information ends the strip.
        Bytes back(data.size() + 100, 0xEE);
        EXPECT_EQ(decoder.decodeStrip(strip.data(), strip.size(), back.data(), back.size()), data.size());
        EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin())) << "alphabet " << alphabet;
        // Less room: the buffer fills (long strings of a flat source are cut); nothing goes past it.
        for (std::size_t room : {std::size_t{1}, std::size_t{4097}, data.size() - 3}) {
            Bytes part(room + 1, 0xEE);
            EXPECT_EQ(decoder.decodeStrip(strip.data(), strip.size(), part.data(), room), room);
            EXPECT_TRUE(std::equal(part.begin(), part.end() - 1, data.begin())) << alphabet << " " << room;
            EXPECT_EQ(part[room], 0xEE);
        }
    }
}

// Packs codes at the given widths.
Bytes packCodes(const std::vector<std::pair<std::uint32_t, unsigned>>& codes)
{
    Bytes out;
    {
        BitWriter w(out);
        for (auto [code, width] : codes)
            w.put(code, width);
    }
    return out;
}

TEST(TiffLzw, RefusesBadCodeStreams)
{
    struct Case
    {
        const char* what;
        Bytes strip;
    };
    const Case cases[] = {
        {"a string code right after Clear", packCodes({{256, 9}, {300, 9}, {257, 9}})},
        {"the next free code right after Clear", packCodes({{256, 9}, {258, 9}, {257, 9}})},
        {"a code above the next free one", packCodes({{256, 9}, {65, 9}, {260, 9}, {257, 9}})},
        {"input that ends without End of Information", packCodes({{256, 9}, {65, 9}, {66, 9}})},
    };
    for (const Case& c : cases) {
        LzwDecoder decoder;
        Bytes out(100);
        EXPECT_EQ(
            raisedBy([&] { decoder.decodeStrip(c.strip.data(), c.strip.size(), out.data(), out.size()); }),
            kBadData)
            << c.what;
    }
}

TEST(TiffLzw, DictionaryNeverGrowsPast4096Entries)
{
    // Codes that each add an entry and never Clear: the 3839th entry would be code 4096.
    std::vector<std::pair<std::uint32_t, unsigned>> codes = {{256, 9}, {65, 9}};
    std::uint32_t next = 258;
    unsigned width = 9;
    for (int i = 0; i < 4000; ++i) {
        codes.push_back({65, width});
        ++next;
        if (next + 1 >= (1u << width) && width < 12)
            ++width;
    }
    const Bytes strip = packCodes(codes);
    LzwDecoder decoder;
    Bytes out(10000);
    EXPECT_EQ(raisedBy([&] { decoder.decodeStrip(strip.data(), strip.size(), out.data(), out.size()); }),
              kBadData);
    EXPECT_EQ(decoder.produced(), 3839u) << "the bytes of the codes before the overflow";
}

// ---- CCITT ----

Bytes rowOfRuns(std::uint32_t width, const std::vector<std::uint32_t>& runs)
{
    Bytes row((width + 7) / 8, 0);
    std::uint32_t x = 0;
    bool white = true;
    for (std::uint32_t r : runs) {
        if (white)
            fillBits(row.data(), x, x + r);
        x += r;
        white = !white;
    }
    return row;
}

TEST(TiffCcitt, LongWhiteRunInModifiedHuffman)
{
    CcittLines lines(5000, 1, false);
    const Bytes row = rowOfRuns(5000, {5000});
    Bytes out;
    {
        BitWriter w(out);
        lines.encodeMh(row.data(), w);
    }
    // Make-up 2560 (000000011111), make-up 2432 (000000011101), terminating 8 (10011), padding.
    EXPECT_EQ(bitString(out), "000000011111"
                              "000000011101"
                              "10011"
                              "000");
}

TEST(TiffCcitt, AllWhiteRowAgainstAllWhiteReferenceIsOneV0)
{
    CcittLines lines(64, 1, true);
    const Bytes row(8, 0xFF);
    Bytes out;
    {
        BitWriter w(out);
        lines.encodeG4(row.data(), w);
    }
    EXPECT_EQ(bitString(out), "10000000");
}

TEST(TiffCcitt, G4SizeLimit)
{
    EXPECT_EQ(raisedBy([] { CcittLines(65536, 1, true); }), kTooLarge);
    EXPECT_EQ(raisedBy([] { CcittLines(10, 65536, true); }), kTooLarge);
    EXPECT_EQ(raisedBy([] { CcittLines(65536, 1, false); }), 0);
}

// Rows of every kind: runs of every length 0 to 2600 in both colours, noise, rows that start
// black, and rows close to their neighbours (vertical modes).
std::vector<Bytes> testRows(std::uint32_t width)
{
    std::vector<Bytes> rows;
    std::mt19937 gen(3);
    for (std::uint32_t run = 0; run <= 2600 && run < width; run += run < 70 ? 1 : 61) {
        rows.push_back(rowOfRuns(width, {run, width - run}));
        rows.push_back(rowOfRuns(width, {0, run, width - run}));
    }
    for (int i = 0; i < 40; ++i) {
        Bytes r((width + 7) / 8);
        for (auto& b : r)
            b = static_cast<std::uint8_t>(gen());
        rows.push_back(r);
        Bytes near = r;
        near[gen() % near.size()] ^= 0x10;
        rows.push_back(near);
    }
    for (Bytes& r : rows)
        if (width % 8)
            r.back() &= static_cast<std::uint8_t>(0xFF00u >> (width % 8));
    return rows;
}

TEST(TiffCcitt, RowsRoundTripThroughEveryCoder)
{
    for (std::uint32_t width : {1u, 13u, 2700u}) {
        const std::vector<Bytes> rows = testRows(width);
        for (CcittKind kind : {CcittKind::Mh, CcittKind::G4}) {
            CcittLines encoderLines(width, static_cast<std::uint32_t>(rows.size()), true);
            Bytes strip;
            {
                BitWriter w(strip);
                for (const Bytes& r : rows) {
                    if (kind == CcittKind::Mh)
                        encoderLines.encodeMh(r.data(), w);
                    else
                        encoderLines.encodeG4(r.data(), w);
                }
                if (kind == CcittKind::G4)
                    CcittLines::endG4Strip(w);
            }
            CcittLines decoderLines(width, static_cast<std::uint32_t>(rows.size()), true);
            CcittDecoder decoder(decoderLines, kind, 0);
            decoder.startStrip(strip.data(), strip.size());
            Bytes row((width + 7) / 8);
            for (std::size_t i = 0; i < rows.size(); ++i) {
                decoder.decodeRow(row.data());
                ASSERT_EQ(row, rows[i])
                    << "width " << width << " kind " << static_cast<int>(kind) << " row " << i;
            }
        }
    }
}

TEST(TiffCcitt, RefusesRunsOutsideTheRowAndInputThatEnds)
{
    struct Case
    {
        const char* what;
        CcittKind kind;
        std::uint32_t width;
        Bytes strip;
        std::int32_t code;
    };
    const Case cases[] = {
        // White 8 (10011) then black 8 (000101) in a row of 10 columns.
        {"an MH run past the row end", CcittKind::Mh, 10, {0x98, 0xA0}, kBadData},
        // Horizontal mode, white 8, black 8: past 10 columns.
        {"a horizontal run past the row end", CcittKind::G4, 10, {0x33, 0x14}, kBadData},
        // VR3 against an all-white reference: a1 = width + 3.
        {"a vertical mode past the row end", CcittKind::G4, 10, {0x06}, kBadData},
        {"seven zero bits", CcittKind::G4, 10, {0x00, 0x00}, kBadData},
        {"no input at all", CcittKind::Mh, 10, {}, kBadData},
        {"a row cut short", CcittKind::G4, 100, {0x33}, kBadData},
    };
    for (const Case& c : cases) {
        CcittLines lines(c.width, 1, true);
        CcittDecoder decoder(lines, c.kind, 0);
        decoder.startStrip(c.strip.data(), c.strip.size());
        Bytes row((c.width + 7) / 8);
        EXPECT_EQ(raisedBy([&] { decoder.decodeRow(row.data()); }), c.code) << c.what;
    }
}

TEST(TiffCcitt, TooManyChangesInOneRow)
{
    // 20,000 columns of alternating pixels: 20,000 changes, more than the 16,384 a list holds.
    const std::uint32_t width = 20000;
    const Bytes row(width / 8, 0xAA);
    CcittLines lines(width, 1, false);
    Bytes out;
    BitWriter w(out);
    EXPECT_EQ(raisedBy([&] { lines.encodeMh(row.data(), w); }), kTooManyChanges);
}

TEST(TiffCcitt, Group3SkipsEolsAndFollowsTheTagBit)
{
    // Width 8. Row 1: EOL, tag 1, white 8 (10011). Row 2: fill, EOL, tag 0, V0 (1): all white.
    // Row 3: EOL, tag 1, white 0 (00110101), black 8 (000101).
    Bytes strip;
    {
        BitWriter w(strip);
        w.put(1, 12);
        w.put(1, 1);
        w.put(0x13, 5);
        w.put(0, 3);
        w.put(1, 12);
        w.put(0, 1);
        w.put(1, 1);
        w.put(1, 12);
        w.put(1, 1);
        w.put(0x35, 8);
        w.put(0x05, 6);
    }
    CcittLines lines(8, 3, true);
    CcittDecoder decoder(lines, CcittKind::G3, 1);
    decoder.startStrip(strip.data(), strip.size());
    std::uint8_t row = 0;
    decoder.decodeRow(&row);
    EXPECT_EQ(row, 0xFF);
    decoder.decodeRow(&row);
    EXPECT_EQ(row, 0xFF);
    decoder.decodeRow(&row);
    EXPECT_EQ(row, 0x00);
}

} // namespace
