#include "app/core/text_codec.h"

#include "app/core/text_util.h"

#include <QByteArray>
#include <QStringDecoder>

#include <charconv>
#include <cstdint>
#include <vector>

namespace pellucor {

namespace {

const char kHex[] = "0123456789ABCDEF";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of the sequence starting at s[i]: a whole character when well-formed, otherwise its
// maximal ill-formed part (Unicode's "maximal subpart").
std::size_t sequenceAt(std::string_view s, std::size_t i, bool& valid)
{
    auto c = static_cast<unsigned char>(s[i]);
    valid = true;
    if (c < 0x80)
        return 1;
    std::size_t len = 0;
    unsigned lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        len = 3, lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4)
        len = 4, lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
    valid = false;
    if (len == 0)
        return 1;
    std::size_t j = i + 1;
    for (std::size_t k = 1; k < len; ++k, ++j) {
        if (j >= s.size())
            return j - i;
        auto b = static_cast<unsigned char>(s[j]);
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF))
            return j - i;
    }
    valid = true;
    return len;
}

// Windows-1252 characters of the bytes 80 to 9F; the bytes from A0 up are their own code points.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Well-formed UTF-8 sequences stay; every byte of an ill-formed one is read as its Windows-1252
// character. An ill-formed sequence is a lead byte and continuation bytes, and a continuation
// byte never starts a well-formed sequence, so reading each byte on its own loses nothing.
std::string readAsUtf8OrWindows1252(std::string_view bytes, bool keepNul)
{
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        bool valid = false;
        const std::size_t len = sequenceAt(bytes, i, valid);
        if (!valid) {
            for (std::size_t k = i; k < i + len; ++k)
                appendUtf8(out, windows1252Char(static_cast<unsigned char>(bytes[k])));
        } else if (keepNul || bytes[i] != '\0') {
            out.append(bytes, i, len);
        }
        i += len;
    }
    return out;
}

} // namespace

char32_t windows1252Char(unsigned char b)
{
    return b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : b;
}

std::string toValidUtf8(std::string_view bytes)
{
    return readAsUtf8OrWindows1252(bytes, false);
}

std::string codePageToUtf8(std::string_view bytes, std::uint32_t codePage)
{
    if (codePage != kCodePageWindows1252) {
        const QByteArray name = "windows-" + QByteArray::number(codePage);
        QStringDecoder decoder(name.constData());
        if (decoder.isValid()) {
            const QString text =
                decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
            const QByteArray utf8 = text.toUtf8();
            return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
        }
    }
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (char c : bytes)
        appendUtf8(out, windows1252Char(static_cast<unsigned char>(c)));
    return out;
}

std::uint32_t codePageOfCharSet(std::int32_t charSet)
{
    switch (charSet) {
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    default:
        return kCodePageWindows1252;
    }
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string URLEncode(std::string_view text)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '*' ||
            c == '-' || c == '.' || c == '@' || c == '_') {
            out += ch;
        } else if (c == ' ') {
            out += '+';
        } else if (c == '\n') {
            out += "%0D%0A";
        } else if (c == '\r') {
            // dropped: a CR LF pair is encoded by its line feed
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string URLDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            int v = hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]);
            i += 2;
            if (v != 0x0D)
                out += static_cast<char>(v);
        } else {
            out += c;
        }
    }
    return DecodeCharRefs(readAsUtf8OrWindows1252(out, true));
}

std::string DecodeCharRefs(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t amp = text.find("&#", i);
        if (amp == std::string_view::npos)
            break;
        out.append(text.substr(i, amp - i));
        std::size_t semi = text.find(';', amp + 2);
        std::size_t digits = semi == std::string_view::npos ? 0 : semi - amp - 2;
        bool decoded = false;
        if (digits == 4 || digits == 5) {
            std::string_view num = text.substr(amp + 2, digits);
            std::uint32_t cp = 0;
            auto [ptr, ec] = std::from_chars(num.data(), num.data() + num.size(), cp);
            if (isDigit(num.front()) && ec == std::errc() && ptr == num.data() + num.size() && cp != 0 &&
                !(cp >= 0xD800 && cp <= 0xDFFF)) {
                appendUtf8(out, static_cast<char32_t>(cp));
                i = semi + 1;
                decoded = true;
            }
        }
        if (!decoded) {
            // Not a reference we decode: keep "&#" and look for the next one right after it.
            out += "&#";
            i = amp + 2;
        }
    }
    if (i < text.size())
        out.append(text.substr(i));
    return out;
}

std::string MacToHexText(std::string_view text)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t dot = text.find('.', start);
        parts.push_back(
            text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    if (parts.size() < 6)
        return std::string(text);
    std::string out;
    for (std::size_t k = 0; k < 6; ++k) {
        std::string_view p = parts[k];
        std::uint32_t v = 0;
        auto [ptr, ec] = std::from_chars(p.data(), p.data() + p.size(), v);
        if (p.empty() || !isDigit(p.front()) || ec != std::errc() || ptr != p.data() + p.size())
            return std::string(text);
        char buf[16];
        auto r = std::to_chars(buf, buf + sizeof buf, v, 16);
        std::string hex(buf, r.ptr);
        for (char& c : hex)
            c = static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
        if (hex.size() < 2)
            hex = "0" + hex;
        if (k > 0)
            out += ' ';
        out += hex;
    }
    return out;
}

} // namespace pellucor
