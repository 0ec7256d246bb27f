#include "mail/line_scanner.h"

#include <algorithm>

namespace tessivor::mime {

namespace {
constexpr std::size_t kBlock = 8192;
}

LineScanner::LineScanner(CDataSource& source, std::int32_t start, std::int32_t limit)
    : m_source(source), m_limit(limit), m_block(kBlock), m_blockOffset(start)
{
    if (start < 0 || m_source.Seek(start, 0) != start)
        m_eof = true;
}

bool LineScanner::fill()
{
    if (m_eof)
        return false;
    if (m_blockStart > 0) {
        std::copy(m_block.begin() + static_cast<std::ptrdiff_t>(m_blockStart),
                  m_block.begin() + static_cast<std::ptrdiff_t>(m_blockEnd), m_block.begin());
        m_blockOffset += static_cast<std::int32_t>(m_blockStart);
        m_blockEnd -= m_blockStart;
        m_blockStart = 0;
    }
    std::int64_t want = static_cast<std::int64_t>(m_block.size() - m_blockEnd);
    if (m_limit >= 0)
        want = std::min<std::int64_t>(want, static_cast<std::int64_t>(m_limit) - m_blockOffset -
                                                static_cast<std::int64_t>(m_blockEnd));
    if (want <= 0) {
        m_eof = true;
        return false;
    }
    const std::int32_t n = m_source.Read(m_block.data() + m_blockEnd, static_cast<std::int32_t>(want));
    if (n <= 0) {
        m_eof = true;
        return false;
    }
    m_blockEnd += static_cast<std::size_t>(n);
    return true;
}

bool LineScanner::next(ScannedLine& line)
{
    line = ScannedLine{};
    line.offset = m_blockOffset + static_cast<std::int32_t>(m_blockStart);
    bool any = false;
    bool pendingCr = false; // the last byte seen was a CR (not yet known to be text)
    while (true) {
        if (m_blockStart == m_blockEnd && !fill()) {
            if (pendingCr) {
                ++line.length; // a CR at the very end is text
                if (line.text.size() < kMaxKept)
                    line.text += '\r';
                else
                    line.truncated = true;
            }
            return any;
        }
        const char c = m_block[m_blockStart++];
        any = true;
        if (c == '\n') {
            line.endingLength = pendingCr ? 2 : 1;
            return true;
        }
        if (pendingCr) {
            ++line.length;
            if (line.text.size() < kMaxKept)
                line.text += '\r';
            else
                line.truncated = true;
            pendingCr = false;
        }
        if (c == '\r') {
            pendingCr = true;
            continue;
        }
        ++line.length;
        if (line.text.size() < kMaxKept)
            line.text += c;
        else
            line.truncated = true;
    }
}

} // namespace tessivor::mime
