#include "mail/text_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace tessivor;

namespace {

std::vector<std::string> texts(const CTextList& list)
{
    std::vector<std::string> out;
    for (std::int32_t i = 0; i < list.GetTextCount(); ++i)
        out.emplace_back(list.GetTextAt(i));
    return out;
}

TEST(TextList, KeepsOwnedCopiesInOrder)
{
    CTextList list;
    char text[] = "first";
    EXPECT_EQ(list.AddText(text), 1);
    std::strcpy(text, "XXXXX"); // the list owns its copy
    EXPECT_EQ(list.AddText("second"), 1);
    EXPECT_EQ(list.AddText("third"), 1);
    EXPECT_EQ(list.AddText(nullptr), 0);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(list.GetTextAt(3), nullptr);
    EXPECT_EQ(list.GetTextAt(-1), nullptr);

    EXPECT_EQ(list.RemoveAt(0), 1);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"second", "third"}));
    EXPECT_EQ(list.RemoveAt(2), 0);
    EXPECT_EQ(list.RemoveAt(-1), 0);

    CTextList copy(list);
    list.ClearTexts();
    EXPECT_EQ(list.GetTextCount(), 0);
    EXPECT_EQ(texts(copy), (std::vector<std::string>{"second", "third"}));
    CTextList& self = copy;
    copy = self;
    EXPECT_EQ(texts(copy), (std::vector<std::string>{"second", "third"}));
    list = copy;
    copy.AddText("more");
    EXPECT_EQ(texts(list), (std::vector<std::string>{"second", "third"}));
}

TEST(TextList, FindContainingAndContainsText)
{
    CTextList list;
    list.AddText("250-SIZE 1000");
    list.AddText("250 AUTH LOGIN PLAIN");
    std::int32_t offset = -1;
    EXPECT_STREQ(list.FindContaining("AUTH", &offset), "250 AUTH LOGIN PLAIN");
    EXPECT_EQ(offset, 4);
    EXPECT_STREQ(list.FindContaining("250", nullptr), "250-SIZE 1000");
    EXPECT_EQ(list.FindContaining("auth", nullptr), nullptr); // case-sensitive
    EXPECT_EQ(list.FindContaining(nullptr, &offset), nullptr);
    EXPECT_EQ(list.ContainsText("250-SIZE 1000"), 1);
    EXPECT_EQ(list.ContainsText("250-SIZE"), 0);
    EXPECT_EQ(list.ContainsText(nullptr), 0);
}

TEST(TextHelpers, GetTokenAndCountTokens)
{
    struct Case
    {
        const char* text;
        const char* delimiters;
        std::int32_t index;
        std::int32_t size;
        std::int32_t result;
        const char* token;
    };
    const Case cases[] = {
        {",,a,,b", ",", 0, 10, 0, "a"},
        {",,a,,b", ",", 1, 10, 0, "b"},
        {",,a,,b", ",", 2, 10, 1, ""},
        {"250-AUTH LOGIN", "-", 1, 11, 0, "AUTH LOGIN"},
        {"250-AUTH LOGIN", "-", 1, 10, 1, ""},
        {"a b\tc", " \t", 2, 10, 0, "c"},
        {"abcdef", ",", 0, 7, 0, "abcdef"}, // exactly fits with its terminator
        {"abcdef", ",", 0, 6, 1, ""},       // does not
        {"", ",", 0, 10, 1, ""},
        {"a", ",", -1, 10, 1, ""},
    };
    for (const auto& c : cases) {
        char out[16];
        std::strcpy(out, "junk");
        EXPECT_EQ(GetToken(c.text, c.delimiters, c.index, out, c.size), c.result)
            << c.text << " #" << c.index;
        EXPECT_STREQ(out, c.token) << c.text << " #" << c.index;
    }
    char out[4] = "xyz";
    EXPECT_EQ(GetToken(nullptr, ",", 0, out, 4), 1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(GetToken("a", nullptr, 0, out, 4), 1);
    EXPECT_EQ(GetToken("a", ",", 0, out, 0), 1);

    struct Count
    {
        const char* text;
        const char* delimiters;
        std::int32_t count;
    };
    const Count counts[] = {
        {"250-word", "-", 2}, {"250 word", "-", 1}, {",,a,,b,,", ",", 2}, {"", ",", 0}, {",,,", ",", 0},
    };
    for (const auto& c : counts)
        EXPECT_EQ(CountTokens(c.text, c.delimiters), c.count) << c.text;
    EXPECT_EQ(CountTokens(nullptr, ","), 0);
}

TEST(TextHelpers, GetTokenAsNumber)
{
    struct Case
    {
        const char* text;
        std::int32_t index;
        std::int32_t result;
        std::int32_t number;
    };
    const Case cases[] = {
        {"250 OK", 0, 0, 250},
        {"x -17 y", 1, 0, -17},
        {"x +4", 1, 0, 4},
        {"2147483647", 0, 0, 2147483647},
        {"2147483648", 0, 1, 0},
        {"12ab", 0, 1, 0},
        {"abc", 0, 1, 0},
        {"1 2", 2, 1, 0},
        // A token of 60 characters does not fit the 59-character bound.
        {"000000000000000000000000000000000000000000000000000000000012", 0, 1, 0},
        {"00000000000000000000000000000000000000000000000000000000012", 0, 0, 12},
    };
    for (const auto& c : cases) {
        std::int32_t number = 0;
        EXPECT_EQ(GetTokenAsNumber(c.text, " ", c.index, &number), c.result) << c.text;
        if (c.result == 0) {
            EXPECT_EQ(number, c.number) << c.text;
        }
    }
    EXPECT_EQ(GetTokenAsNumber("1", " ", 0, nullptr), 1);
}

TEST(TextHelpers, StripEndsAndTrim)
{
    struct Case
    {
        const char* in;
        const char* stripped;
    };
    const Case cases[] = {
        {"250 OK\r\n", "250 OK"},
        {"line\n", "line"},
        {"line\r", "line"},
        {"ab\nc", "ab"},
        {"\r\n", ""},
        {"x", "x"},
        {"", ""},
    };
    for (const auto& c : cases) {
        char buf[32];
        std::strcpy(buf, c.in);
        StripLineEnd(buf);
        EXPECT_STREQ(buf, c.stripped) << c.in;
    }
    StripLineEnd(nullptr);

    EXPECT_EQ(EndsWithLineBreak("a\r"), 1);
    EXPECT_EQ(EndsWithLineBreak("a\n"), 1);
    EXPECT_EQ(EndsWithLineBreak("a\r\nb"), 0);
    EXPECT_EQ(EndsWithLineBreak(""), 0);
    EXPECT_EQ(EndsWithLineBreak(nullptr), 0);

    const Case trims[] = {{"  a b  ", "a b"}, {"\ta ", "\ta"}, {"   ", ""}, {"", ""}, {"x", "x"}};
    for (const auto& c : trims) {
        char buf[32];
        std::strcpy(buf, c.in);
        TrimBlanks(buf);
        EXPECT_STREQ(buf, c.stripped) << "[" << c.in << "]";
    }
    TrimBlanks(nullptr);
}

} // namespace
