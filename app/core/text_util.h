// Small text helpers shared by the core's file readers.
#pragma once

#include <string>
#include <string_view>

namespace pellucor {

// ASCII-only case folding and comparison; bytes above 127 compare as they are.
std::string asciiLower(std::string_view s);
std::string asciiUpper(std::string_view s);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Strips spaces and tabs at both ends.
std::string_view trimBlanks(std::string_view s);

// True when `s` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF)
// and holds no NUL byte.
bool isValidUtf8(std::string_view s);

} // namespace pellucor
