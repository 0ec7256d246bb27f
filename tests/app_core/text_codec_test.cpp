#include "app/core/bits.h"
#include "app/core/text_codec.h"
#include "app/core/text_util.h"

#include "python_peer.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <sstream>

using namespace pellucor;

namespace {

TEST(TextCodec, AgreesWithPythonUrllibAndHtml)
{
    if (!pythonAvailable())
        GTEST_SKIP() << "no " << kPython;
    auto out = runCapture(std::string(kPython) + " " + testSourceFile("codec_reference.py"));
    ASSERT_TRUE(out.has_value());
    std::istringstream lines(*out);
    std::string line;
    std::map<std::string, int> counts;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string kind, in, expected;
        std::getline(fields, kind, '\t');
        std::getline(fields, in, '\t');
        std::getline(fields, expected, '\t');
        const std::string input = fromHex(in);
        std::string got;
        if (kind == "encode")
            got = URLEncode(input);
        else if (kind == "decode")
            got = URLDecode(input);
        else
            got = DecodeCharRefs(input);
        EXPECT_EQ(toHex(got), expected) << kind << " of \"" << input << "\"";
        ++counts[kind];
    }
    EXPECT_EQ(counts["encode"], 200);
    EXPECT_GE(counts["decode"], 150);
    EXPECT_EQ(counts["refs"], 150);
}

TEST(TextCodec, NamedRules)
{
    const std::pair<std::string, std::string> encode[] = {
        {"", ""},       {"a b+c", "a+b%2Bc"}, {"1/2", "1%2F2"},       {"\t", "%09"},
        {"~", "%7E"},   {"=", "%3D"},         {"a\r\nb", "a%0D%0Ab"}, {"a\nb", "a%0D%0Ab"},
        {"a\rb", "ab"}, {"*-.@_", "*-.@_"},   {"é", "%C3%A9"},        {std::string("\0", 1), "%00"},
    };
    for (const auto& [in, out] : encode)
        EXPECT_EQ(URLEncode(in), out) << in;

    const std::pair<std::string, std::string> decode[] = {
        {"", ""},
        {"a+b%41", "a bA"},
        {"x%0D%0Ay", "x\ny"},
        {"100%", "100%"}, // an incomplete escape stays, no NUL is appended
        {"%4", "%4"},
        {"%4g", "%4g"},
        // A byte that is not part of UTF-8 gives the character of that ANSI code (Windows-1252).
        {"%FF", "\xC3\xBF"},
        {"B%FCro", "B\xC3\xBCro"},
        {"%80%20%9F", "\xE2\x82\xAC \xC5\xB8"},
        {"%81", "\xC2\x81"},
        {"%C3%BC", "\xC3\xBC"},               // UTF-8 stays UTF-8
        {"%E2%82x", "\xC3\xA2\xE2\x80\x9Ax"}, // a cut sequence: each byte on its own
        {"a&#0065;b", "aAb"},
        {"%26%230066;", "B"}, // escapes first, then references
    };
    for (const auto& [in, out] : decode)
        EXPECT_EQ(URLDecode(in), out) << in;

    const std::pair<std::string, std::string> refs[] = {
        {"", ""},
        {"a&#0065;b", "aAb"},
        {"&#65;", "&#65;"},
        {"x&#12345;", "x\xE3\x80\xB9"},
        {"&#0065", "&#0065"},
        {"&#", "&#"},
        {"&#1;", "&#1;"},
        {"&#00000;", "&#00000;"}, // no NUL
        {"&#55296;", "&#55296;"}, // a surrogate is no character
        {"&#12a4;", "&#12a4;"},
        {"&# 123;", "&# 123;"},
        {"&#65;&#0066;", "&#65;B"}, // a short reference does not hide the next one
        {"&#&#0067;", "&#C"},
        {"&#0065;;", "A;"},
        {"a&#0065;", "aA"},
    };
    for (const auto& [in, out] : refs)
        EXPECT_EQ(DecodeCharRefs(in), out) << in;
}

// Texts from cameras and files that are not UTF-8: each byte outside UTF-8 is read in the code
// page, what is UTF-8 already stays.
TEST(TextCodec, BytesOutsideUtf8ReadInTheirCodePage)
{
    const std::pair<std::string, std::string> valid[] = {
        {"B\xFCro", "B\xC3\xBCro"},
        {"Gr\xC3\xBC\xC3\x9F!", "Gr\xC3\xBC\xC3\x9F!"}, // UTF-8 already
        {"5 \x80, \x93quoted\x94", "5 \xE2\x82\xAC, \xE2\x80\x9Cquoted\xE2\x80\x9D"},
        {"\x8D\x90", "\xC2\x8D\xC2\x90"}, // undefined in the code page: the same code point
        {"caf\xC3\xA9 \xE9t\xE9", "caf\xC3\xA9 \xC3\xA9t\xC3\xA9"}, // both in one text
        {std::string("a\0b", 3), "ab"},                             // no text holds a NUL
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},           // a surrogate is no UTF-8
        {"", ""},
    };
    for (const auto& [in, out] : valid) {
        EXPECT_EQ(toValidUtf8(in), out) << in;
        EXPECT_TRUE(isValidUtf8(toValidUtf8(in))) << in;
    }
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_TRUE(isValidUtf8(toValidUtf8(one))) << b;
    }

    struct PageCase
    {
        std::int32_t charSet;
        std::uint32_t codePage;
        std::string bytes;
        std::string text;
    };
    const PageCase pages[] = {
        {0, 1252, "M\xFCller \x80", "M\xC3\xBCller \xE2\x82\xAC"},
        {1, 1252, "\xE9", "\xC3\xA9"},
        {204, 1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {238, 1250, "\x8A\xEC", "\xC5\xA0\xC4\x9B"},
        {128, 932, "\x83\x4A\x83\x81\x83\x89", "\xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9"},
        {161, 1253, "\xC1", "\xCE\x91"},
    };
    for (const PageCase& c : pages) {
        SCOPED_TRACE(c.charSet);
        EXPECT_EQ(codePageOfCharSet(c.charSet), c.codePage);
        EXPECT_EQ(codePageToUtf8(c.bytes, c.codePage), c.text);
    }
    // A code page the converters do not know is read as Windows-1252.
    EXPECT_EQ(codePageToUtf8("\xFC", 99999), "\xC3\xBC");
}

TEST(TextCodec, MacToHexText)
{
    const std::pair<const char*, const char*> cases[] = {
        {"0.80.194.1.2.255", "00 50 C2 01 02 FF"},
        {"0.0.0.0.0.0", "00 00 00 00 00 00"},
        {"300.1.2.3.4.5", "12C 01 02 03 04 05"},
        {"1.2.3.4.5.6.7", "01 02 03 04 05 06"},
        // malformed: returned as it stands
        {"1.2.3.4.5", "1.2.3.4.5"},
        {"", ""},
        {"a.b.c.d.e.f", "a.b.c.d.e.f"},
        {"1.2.3.4.5.", "1.2.3.4.5."},
        {"1.2.3.4.5.-6", "1.2.3.4.5.-6"},
        {"1.2.3.4.5.99999999999", "1.2.3.4.5.99999999999"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(MacToHexText(in), out) << in;
}

TEST(Bits, ShiftsAndTests)
{
    EXPECT_EQ(Shli(1, 15), -32768);
    EXPECT_EQ(Shli(3, 16), 0);
    EXPECT_EQ(Shli(-1, 1), -2);
    EXPECT_EQ(Shll(1, 31), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Shll(3, 31), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Shll(1, 32), 0);
    EXPECT_EQ(LongToInt(40000), 40000 - 65536);
    EXPECT_EQ(LongToInt(-1), -1);
    EXPECT_TRUE(BitTestLong(-1, 31));
    EXPECT_FALSE(BitTestLong(-1, 32));
    EXPECT_TRUE(BitTestInteger(5, 2));
    EXPECT_FALSE(BitTestInteger(5, 1));
    EXPECT_FALSE(BitTestInteger(-1, 16));

    std::int16_t v = 0;
    BitSetInteger(v, 15);
    EXPECT_EQ(v, -32768);
    BitSetInteger(v, 0);
    BitSetInteger(v, 16);
    EXPECT_EQ(v, -32767);
    BitClearInteger(v, 15);
    EXPECT_EQ(v, 1);
    BitClearInteger(v, 200);
    EXPECT_EQ(v, 1);

    const std::pair<double, std::int32_t> longs[] = {
        {0, 0},
        {2147483648.0, std::numeric_limits<std::int32_t>::min()},
        {4294967296.0, 0},
        {4294967297.0, 1},
        {-1, -1},
        {2.5, 2},
        {3.5, 4},
        {-4294967297.0, -1},
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {std::numeric_limits<double>::infinity(), 0},
    };
    for (const auto& [in, out] : longs)
        EXPECT_EQ(dblToLong(in), out) << in;
}

} // namespace
