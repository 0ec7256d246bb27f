// Texts typed by users and read from camera web pages: the percent and reference codecs, the
// camera identity text, and the regular-expression engine with the first line as its pattern.
#include "app/core/regex_engine.h"
#include "app/core/text_codec.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace pellucor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string encoded = URLEncode(text);
    if (encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789*-.@_+%") !=
        std::string::npos)
        std::abort();
    URLDecode(text);
    DecodeCharRefs(text);
    MacToHexText(text);

    const std::size_t nl = text.find('\n');
    if (nl != std::string_view::npos && size < 512) {
        RegexEngine re;
        const bool found =
            re.RegExpr(text.substr(nl + 1), text.substr(0, nl), static_cast<std::int32_t>(size % 8));
        if (found && !re.RegExprResult(reMatchedText))
            std::abort();
        if (!found && !re.error() && re.RegExprResult(reMatchedText))
            std::abort();
    }
    return 0;
}
