#include "platform/fixed_text.h"

namespace tessivor {

std::size_t utf8PrefixLength(std::string_view s, std::size_t maxBytes)
{
    if (s.size() <= maxBytes)
        return s.size();
    std::size_t n = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

} // namespace tessivor
