#include "control/http_response.h"

#include <charconv>

namespace tessivor {

namespace {

bool has(std::string_view s, std::string_view needle)
{
    return !needle.empty() && s.find(needle) != std::string_view::npos;
}

// The number after `label` up to the line end, or -1.
long long lengthAfter(std::string_view header, std::string_view label)
{
    const auto at = header.find(label);
    if (at == std::string_view::npos)
        return -1;
    std::string_view rest = header.substr(at + label.size());
    const auto eol = rest.find_first_of("\r\n");
    if (eol != std::string_view::npos)
        rest = rest.substr(0, eol);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
        rest.remove_prefix(1);
    long long value = -1;
    const auto [p, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (ec == std::errc::result_out_of_range)
        return p != rest.data() && rest.front() != '-' ? kMaxContentLength : -1;
    if (ec != std::errc() || value < 0)
        return -1;
    return value > kMaxContentLength ? kMaxContentLength : value;
}

} // namespace

StatusMatch matchStatus(std::string_view received, std::string_view callerStatus)
{
    if (has(received, "200"))
        return StatusMatch::Ok200;
    if (has(received, callerStatus))
        return StatusMatch::Caller;
    if (has(received, "20"))
        return StatusMatch::Only20;
    return StatusMatch::None;
}

HttpHead readHttpHead(std::string_view received)
{
    HttpHead head;
    const auto end = received.find("\r\n\r\n");
    if (end == std::string_view::npos)
        return head;
    head.complete = true;
    head.bodyOffset = end + 4;
    const std::string_view header = received.substr(0, end + 2);
    head.dataFollows = has(header, "Data follows");
    const long long lower = lengthAfter(header, "Content-length:");
    const long long upper = lengthAfter(header, "Content-Length:");
    head.contentLength = upper >= 0 ? upper : lower;
    return head;
}

int postCommandResult(std::string_view response)
{
    if (has(response, "HTTP/1.0 204 No Content") || has(response, "200"))
        return -1;
    static constexpr std::string_view kCodes[] = {"400", "401", "402", "403", "404",
                                                  "405", "406", "407", "408", "409"};
    for (int i = 0; i < 10; ++i) {
        if (has(response, kCodes[i]))
            return i < 6 ? 400 + i : 405;
    }
    return 0;
}

} // namespace tessivor
