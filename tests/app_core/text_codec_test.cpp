#include "app/core/bits.h"
#include "app/core/text_codec.h"

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
        {"%FF", "\xEF\xBF\xBD"},
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
