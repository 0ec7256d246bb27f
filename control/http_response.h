// Reading the head of an HTTP/1.0 answer from a camera: the status test by text search, the end
// of the header, the content length and the "Data follows" mark. Pure functions over the bytes
// received so far, so that they can be fuzzed on their own; the request engine in
// http_engine.cpp drives the socket.
#pragma once

#include <cstddef>
#include <string_view>

namespace tessivor {

// Which accepted status text was found in the first bytes of an answer. Cameras are told apart
// by text search, not by parsing the status line: "200" first, then the caller's own text (an
// empty one matches nothing), then "20" alone.
enum class StatusMatch
{
    None,
    Ok200,
    Caller,
    Only20,
};
StatusMatch matchStatus(std::string_view received, std::string_view callerStatus);

struct HttpHead
{
    bool complete = false;        // "\r\n\r\n" was found
    std::size_t bodyOffset = 0;   // first byte after the empty line (when complete)
    bool dataFollows = false;     // the header holds "Data follows"
    long long contentLength = -1; // -1 when the header gives none (or no usable number)
};

// Looks at the bytes received so far; only the header (up to its empty line) is searched for
// the length and the mark. The length is the number after "Content-length:" or after
// "Content-Length:" (the second spelling wins when both are there) up to the line end; a
// negative or unreadable number counts as none, a huge one is capped at kMaxContentLength.
HttpHead readHttpHead(std::string_view received);
inline constexpr long long kMaxContentLength = 1LL << 40;

// The answer to a POST command: -1 for "HTTP/1.0 204 No Content" or "200", 400 to 405 for those
// codes, 405 for 406 to 409, 0 for anything else (first match in that order).
int postCommandResult(std::string_view response);

} // namespace tessivor
