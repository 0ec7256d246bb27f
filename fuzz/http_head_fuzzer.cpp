// The reader of camera answer heads: status search, end of header, content length, marks.
#include "control/http_response.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace tessivor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view received(reinterpret_cast<const char*>(data), size);
    const HttpHead head = readHttpHead(received);
    if (head.complete && (head.bodyOffset < 4 || head.bodyOffset > size))
        std::abort();
    if (!head.complete && (head.dataFollows || head.contentLength != -1))
        std::abort();
    if (head.contentLength < -1 || head.contentLength > kMaxContentLength)
        std::abort();
    // The caller's status text is taken from the front of the input.
    const std::string_view status = received.substr(0, size % 5);
    (void)matchStatus(received, status);
    const int r = postCommandResult(received.substr(0, 25));
    if (!(r == -1 || r == 0 || (r >= 400 && r <= 405)))
        std::abort();
    return 0;
}
