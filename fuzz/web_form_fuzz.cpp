// Bodies of forms posted from a camera's own web pages: the page's URL test and the field
// extraction of the web page window, on any bytes.
#include "app/setup/web_page_fields.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace pellucor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    for (const char* url : {"http://127.0.0.1/Config1.htm", "http://127.0.0.1/user.htm"}) {
        WebPageValues v;
        v.ipAddress = "10.0.0.1";
        const bool applied = applyPostedForm(url, body, v);
        if (applied == v.cancelled)
            std::abort();
        // The address is the old one or a dotted address, never anything else.
        if (v.ipAddress != "10.0.0.1" && !isDottedIPv4(v.ipAddress))
            std::abort();
    }
    // Decoding never makes more than three bytes of one (a stray byte becomes U+FFFD).
    std::size_t decoded = 0;
    for (const auto& [name, value] : decodeFormBody(body))
        decoded += name.size() + value.size();
    if (decoded > 3 * size)
        std::abort();
    return 0;
}
