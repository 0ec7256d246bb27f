#include "app/core/text_util.h"

namespace pellucor {

namespace {
char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
} // namespace

std::string asciiLower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

std::string asciiUpper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = upperAscii(c);
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

std::string_view trimBlanks(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

bool isValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c == 0)
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len;
        unsigned lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0)
                lo = 0xA0; // overlong
            if (c == 0xED)
                hi = 0x9F; // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0)
                lo = 0x90; // overlong
            if (c == 0xF4)
                hi = 0x8F; // above U+10FFFF
        } else {
            return false;
        }
        if (n - i < len)
            return false;
        auto c1 = static_cast<unsigned char>(s[i + 1]);
        if (c1 < lo || c1 > hi)
            return false;
        for (std::size_t k = 2; k < len; ++k) {
            auto ck = static_cast<unsigned char>(s[i + k]);
            if (ck < 0x80 || ck > 0xBF)
                return false;
        }
        i += len;
    }
    return true;
}

} // namespace pellucor
