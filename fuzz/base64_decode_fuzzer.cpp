// Base64 decoding of arbitrary text, and the round trip of arbitrary bytes.
#include "platform/base64.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace tessivor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto bytes = base64Decode(text)) {
        if (bytes->size() > size / 4 * 3 + 2)
            std::abort();
        // What decodes, re-encodes to a code that decodes to the same bytes.
        const auto again = base64Decode(base64Encode(*bytes));
        if (!again || *again != *bytes)
            std::abort();
    }
    const std::string code = base64Encode(data, size);
    if (code.size() != (size + 2) / 3 * 4)
        std::abort();
    const auto back = base64Decode(code);
    if (!back || *back != text)
        std::abort();
    return 0;
}
