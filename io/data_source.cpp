#include "io/data_source.h"

#include "io/line_split.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace tessivor {

namespace {

// Windows of at most this many bytes are read; a match may span two of them, so each window
// after the first begins with the last (text length - 1) bytes of the one before.
constexpr std::int32_t kFindWindow = 4095;

inline char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::int32_t CDataSource::Find(const char* text, std::int32_t start, std::int32_t caseFlag,
                               std::int32_t limit)
{
    if (text == nullptr || start < 0)
        return -1;
    const std::size_t textLen = ::strnlen(text, kFindWindow + 1);
    if (textLen < 1 || textLen > static_cast<std::size_t>(kFindWindow))
        return -1;
    const auto len = static_cast<std::int32_t>(textLen);
    if (limit >= 1 && len > limit)
        return -1;
    const bool ignoreCase = caseFlag == 0;
    std::string pattern(text, textLen);
    if (ignoreCase)
        std::transform(pattern.begin(), pattern.end(), pattern.begin(), upper);

    std::vector<char> window(kFindWindow);
    std::int32_t pos = start;
    while (true) {
        std::int32_t want = kFindWindow;
        if (limit >= 1) {
            // Bytes of the searched range that are left from `pos` on.
            const std::int64_t left = static_cast<std::int64_t>(start) + limit - pos;
            if (left < len)
                return -1;
            want = static_cast<std::int32_t>(std::min<std::int64_t>(want, left));
        }
        if (Seek(pos, 0) != pos)
            return -1;
        const std::int32_t got = Read(window.data(), want);
        if (got < len)
            return -1;
        if (ignoreCase)
            std::transform(window.begin(), window.begin() + got, window.begin(), upper);
        const auto it = std::search(window.begin(), window.begin() + got, pattern.begin(), pattern.end());
        if (it != window.begin() + got)
            return pos + static_cast<std::int32_t>(it - window.begin());
        if (got < want)
            return -1; // that was the end of the data
        pos += got - (len - 1);
    }
}

std::int32_t CDataSource::WriteLineThroughWrite(const char* text)
{
    if (text == nullptr)
        return -1;
    const auto n = static_cast<std::int32_t>(std::strlen(text));
    if (Write(text, n) != n)
        return -1;
    if (!io_detail::endsWithLineBreak(text, static_cast<std::size_t>(n)) && Write("\r\n", 2) != 2)
        return -1;
    return n;
}

std::optional<std::int64_t> CDataSource::SeekTarget(std::int32_t offset, std::int32_t origin,
                                                    std::int64_t position, std::int64_t length)
{
    std::int64_t target;
    switch (origin) {
    case 0:
        target = offset;
        break;
    case 1:
        target = position + offset;
        break;
    case 2:
        target = length - offset;
        break;
    default:
        return std::nullopt;
    }
    if (target < 0 || target > length)
        return std::nullopt;
    return target;
}

} // namespace tessivor
