// Text codecs for camera requests and camera web pages, the camera identity text, and the
// reading of texts that come in the Windows code pages (files written by Windows tools, names
// that cameras send as raw bytes).
// All texts are UTF-8; every routine works on bytes and never reads past its input.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pellucor {

// Percent-encodes a CGI parameter value. Letters, digits and * - . @ _ stay; a blank becomes
// "+"; a line feed becomes "%0D%0A" and a carriage return is dropped (so CR LF and LF both give
// "%0D%0A"); every other byte, each byte of a multi-byte character included, becomes "%XX".
std::string URLEncode(std::string_view text);

// Decodes a posted form value: "+" gives a blank, "%XX" the byte XX except 0D, which is dropped
// (so "%0D%0A" gives one line feed). A "%" without two hexadecimal digits after it stays as it
// is. Decoded bytes that do not form UTF-8 are read as Windows-1252 (toValidUtf8), so "%FC"
// gives "ü". The result then goes through DecodeCharRefs.
std::string URLDecode(std::string_view text);

// Replaces numeric character references of four or five decimal digits ("&#0065;", "&#12345;")
// with their character. Anything else, references of other lengths, with other characters, or of
// code points that no text may hold (0, surrogates), stays as it stands.
std::string DecodeCharRefs(std::string_view text);

// "0.80.194.1.2.255" -> "00 50 C2 01 02 FF": the first six dot-separated decimal parts in
// upper-case hexadecimal, at least two digits each. A text with fewer than six parts or a part
// that is not a decimal number is returned unchanged.
std::string MacToHexText(std::string_view text);

// Appends the UTF-8 form of code point `cp` (which must be a valid scalar value).
void appendUtf8(std::string& out, char32_t cp);

// The character of byte `b` in Windows-1252, the ANSI code page of the files and cameras this
// program meets. The five bytes the code page leaves undefined (81 8D 8F 90 9D) give the code
// point of the same number, as Windows itself reads them.
char32_t windows1252Char(unsigned char b);

// `bytes` as valid UTF-8: every well-formed UTF-8 sequence stays, every other byte is read as its
// Windows-1252 character, and NUL bytes, which no text holds, are dropped. Texts that are valid
// UTF-8 already come back unchanged.
std::string toValidUtf8(std::string_view bytes);

// Windows code page numbers.
inline constexpr std::uint32_t kCodePageWindows1252 = 1252;

// The whole of `bytes` read in Windows code page `codePage` (1252, 1251, 932, 936, ...), as
// UTF-8. Code pages other than 1252 are read through the system's converters; a sequence they
// cannot read gives U+FFFD, and a code page they do not know is read as Windows-1252.
std::string codePageToUtf8(std::string_view bytes, std::uint32_t codePage);

// The code page of a Windows font character set, the number a language pack names as its
// FontCharSet: 128 Japanese 932, 129 Korean 949, 134 Simplified Chinese 936, 136 Traditional
// Chinese 950, 161 Greek 1253, 162 Turkish 1254, 163 Vietnamese 1258, 177 Hebrew 1255,
// 178 Arabic 1256, 186 Baltic 1257, 204 Cyrillic 1251, 222 Thai 874, 238 Central European 1250.
// Every other set (0 ANSI, 1 default, ...) gives 1252.
std::uint32_t codePageOfCharSet(std::int32_t charSet);

} // namespace pellucor
