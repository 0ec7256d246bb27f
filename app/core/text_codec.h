// Text codecs for camera requests and camera web pages, and the camera identity text.
// All texts are UTF-8; every routine works on bytes and never reads past its input.
#pragma once

#include <string>
#include <string_view>

namespace pellucor {

// Percent-encodes a CGI parameter value. Letters, digits and * - . @ _ stay; a blank becomes
// "+"; a line feed becomes "%0D%0A" and a carriage return is dropped (so CR LF and LF both give
// "%0D%0A"); every other byte, each byte of a multi-byte character included, becomes "%XX".
std::string URLEncode(std::string_view text);

// Decodes a posted form value: "+" gives a blank, "%XX" the byte XX except 0D, which is dropped
// (so "%0D%0A" gives one line feed). A "%" without two hexadecimal digits after it stays as it
// is. Byte sequences that are not UTF-8 become U+FFFD. The result then goes through DecodeCharRefs.
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

} // namespace pellucor
