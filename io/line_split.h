// How the data sources cut text into lines (internal to io/).
//
// A line ends at LF, at CR LF, or at a CR that is not followed by LF; the ending is handed out
// with the line. A line longer than the caller's buffer is handed out in pieces without an
// ending; the cut is placed so that the next piece never consists of the line ending alone
// (which a reader would take for an extra empty line) and never separates a CR from its LF.
#pragma once

#include <algorithm>
#include <cstdint>

namespace tessivor::io_detail {

// Number of bytes of `data` (`avail` known bytes) that the next ReadLine hands out when at most
// `limit` bytes fit. `atEnd` says that no byte follows the known ones. 0 only when avail is 0.
inline std::int32_t lineTake(const char* data, std::int32_t avail, bool atEnd, std::int32_t limit)
{
    if (avail <= 0 || limit <= 0)
        return 0;
    std::int32_t content = avail; // bytes before the line ending (or all known bytes)
    std::int32_t end = -1;        // bytes through the line ending, when one is known
    for (std::int32_t i = 0; i < avail; ++i) {
        if (data[i] == '\n') {
            content = i;
            end = i + 1;
            break;
        }
        if (data[i] == '\r') {
            content = i;
            if (i + 1 < avail)
                end = data[i + 1] == '\n' ? i + 2 : i + 1;
            else if (atEnd)
                end = i + 1;
            // else: a CR at the edge of the known bytes may still be followed by its LF
            break;
        }
    }
    if (end > 0 && end <= limit)
        return end;
    std::int32_t n = std::min(limit, content);
    const bool restIsOnlyEnding = n == content && (end > 0 || content < avail);
    if (restIsOnlyEnding && n > 1)
        --n;
    if (n == 0)
        n = std::min(limit, avail);
    return n;
}

// True when `text` (length n) ends with CR or LF.
inline bool endsWithLineBreak(const char* text, std::size_t n)
{
    return n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n');
}

} // namespace tessivor::io_detail
