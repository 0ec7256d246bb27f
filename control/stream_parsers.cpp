#include "control/stream_parsers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

namespace tessivor {

namespace {

std::string_view asText(ByteView data)
{
    return std::string_view(reinterpret_cast<const char*>(data.data()), data.size());
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The value of header `name` (case-insensitive, at the start of a line) in `head`, without
// leading blanks; nullopt when there is none. `head` is the head without its empty line.
std::optional<std::string_view> headerValue(std::string_view head, std::string_view name)
{
    std::size_t pos = 0;
    while (pos < head.size()) {
        std::size_t eol = head.find("\r\n", pos);
        if (eol == std::string_view::npos)
            eol = head.size();
        const std::string_view line = head.substr(pos, eol - pos);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            equalsIgnoringCase(line.substr(0, name.size()), name)) {
            std::string_view v = line.substr(name.size() + 1);
            while (!v.empty() && (v.front() == ' ' || v.front() == '\t'))
                v.remove_prefix(1);
            while (!v.empty() && (v.back() == ' ' || v.back() == '\t'))
                v.remove_suffix(1);
            return v;
        }
        pos = eol + 2;
    }
    return std::nullopt;
}

// A whole decimal number of 1 to 18 digits; nullopt for anything else.
std::optional<long long> strictDecimal(std::string_view text)
{
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    long long v = 0;
    for (char c : text)
        v = v * 10 + (c - '0');
    return v;
}

} // namespace

std::size_t findBytes(ByteView data, std::string_view text, std::size_t from)
{
    if (text.empty() || from > data.size() || data.size() - from < text.size())
        return kNotFound;
    const auto* begin = data.data() + from;
    const auto* end = data.data() + data.size();
    const auto* hit = std::search(begin, end, std::boyer_moore_horspool_searcher(text.begin(), text.end()));
    return hit == end ? kNotFound : static_cast<std::size_t>(hit - data.data());
}

// ---- pushed picture streams ----

int classifyPushStatus(ByteView block)
{
    if (findBytes(block, "HTTP/1.0 200 OK\r\n") != kNotFound)
        return -1;
    if (findBytes(block, "400") != kNotFound)
        return 3;
    if (findBytes(block, "401") != kNotFound)
        return 5;
    if (findBytes(block, "403") != kNotFound)
        return 4;
    return 0;
}

PartHead parsePartHead(ByteView data, FrameStart rule, bool complete)
{
    using S = PartHead::Status;
    PartHead h;
    constexpr std::string_view kField = "Content-length:";
    const std::size_t field = findBytes(data, kField);
    if (field == kNotFound) {
        h.status = S::NoLength;
        return h;
    }
    h.lengthField = field;
    const std::size_t valueStart = field + kField.size();
    const std::size_t lineEnd = findBytes(data, "\r\n", valueStart);
    if (lineEnd == kNotFound) {
        // Six characters and no line end: the value is too long whatever follows.
        h.status = (complete || data.size() - valueStart > 6) ? S::BadLengthText : S::Incomplete;
        return h;
    }
    const std::string_view text = asText(data.subspan(valueStart, lineEnd - valueStart));
    if (text.empty() || text.size() > 6) {
        h.status = S::BadLengthText;
        return h;
    }
    const long long length = leadingDecimal(text);
    if (length <= 0 || length > kMaxPushedFrame) {
        h.status = S::BadLength;
        return h;
    }
    h.length = static_cast<std::uint32_t>(length);

    std::size_t start = kNotFound;
    switch (rule) {
    case FrameStart::AfterImageJpeg: {
        const std::size_t mark = findBytes(data, "image/jpeg\r\n\r\n", lineEnd);
        if (mark != kNotFound)
            start = mark + 14;
        break;
    }
    case FrameStart::AfterNextLine: {
        const std::size_t next = findBytes(data, "\r\n", lineEnd + 2);
        if (next != kNotFound && next + 4 <= data.size()) {
            if (data[next + 2] != '\r' || data[next + 3] != '\n') {
                h.status = S::NoFrameStart; // the line after the length line is not followed by an empty line
                return h;
            }
            start = next + 4;
        }
        break;
    }
    case FrameStart::AfterEmptyLine: {
        const std::size_t mark = findBytes(data, "\r\n\r\n", lineEnd);
        if (mark != kNotFound)
            start = mark + 4;
        break;
    }
    }
    if (start == kNotFound) {
        h.status = complete ? S::NoFrameStart : S::Incomplete;
        return h;
    }
    h.frameStart = start;
    h.status = S::Found;
    return h;
}

std::optional<PanTilt> parsePanTilt(ByteView head)
{
    const std::size_t date = findBytes(head, "Date:");
    if (date == kNotFound)
        return std::nullopt;
    const std::size_t mark = findBytes(head, "_PT_", date);
    if (mark == kNotFound)
        return std::nullopt;
    const std::size_t sep = findBytes(head, "_", mark + 4);
    if (sep == kNotFound || sep + 4 > head.size())
        return std::nullopt;
    const std::size_t xLength = sep - (mark + 4);
    if (xLength < 1 || xLength > 3 || mark + 11 > head.size())
        return std::nullopt;
    PanTilt p;
    p.x = static_cast<int>(leadingDecimal(asText(head.subspan(mark + 4, xLength))));
    p.y = static_cast<int>(leadingDecimal(asText(head.subspan(mark + 8, 3))));
    return p;
}

// ---- the repeated-request stream ----

MjpegGatherer::MjpegGatherer() : m_area(kCapacity) {}

void MjpegGatherer::reset()
{
    m_start = m_end = 0;
    m_consumeOnNext = 0;
    m_bodyLeft = 0;
    m_junk = 0;
    m_frame = {};
    m_reason = "";
}

std::span<std::uint8_t> MjpegGatherer::space()
{
    if (m_consumeOnNext) {
        m_start += m_consumeOnNext;
        m_consumeOnNext = 0;
        m_frame = {};
    }
    if (m_start == m_end) {
        m_start = m_end = 0;
    } else if (m_start > 0 && m_area.size() - m_end < kMaxHead + kMaxFrame) {
        // Whatever is pending (at most one head and one body) moves to the front, so that the
        // rest of it always fits behind.
        std::memmove(m_area.data(), m_area.data() + m_start, m_end - m_start);
        m_end -= m_start;
        m_start = 0;
    }
    return std::span<std::uint8_t>(m_area.data() + m_end, m_area.size() - m_end);
}

void MjpegGatherer::commit(std::size_t received)
{
    m_end += std::min(received, m_area.size() - m_end);
}

MjpegGatherer::Kind MjpegGatherer::reconnect(const char* why)
{
    m_reason = why;
    return Kind::Reconnect;
}

MjpegGatherer::Kind MjpegGatherer::next()
{
    if (m_consumeOnNext) {
        m_start += m_consumeOnNext;
        m_consumeOnNext = 0;
    }
    m_frame = {};
    while (true) {
        const ByteView pending(m_area.data() + m_start, m_end - m_start);
        if (m_bodyLeft > 0) {
            if (pending.size() < m_bodyLeft)
                return pending.size() + (m_area.size() - m_end) + m_start < m_bodyLeft
                           ? reconnect("no room for the frame")
                           : Kind::NeedMore;
            m_frame = pending.first(m_bodyLeft);
            m_consumeOnNext = m_bodyLeft;
            m_bodyLeft = 0;
            return Kind::Frame;
        }
        // A head is expected: skip whatever comes before the next status line.
        const std::size_t status = findBytes(pending, "HTTP/");
        if (status == kNotFound) {
            // Keep a few bytes: a status line may be arriving in pieces.
            const std::size_t drop = pending.size() > 4 ? pending.size() - 4 : 0;
            m_start += drop;
            m_junk += drop;
            return m_junk > kMaxHead ? reconnect("no answer head") : Kind::NeedMore;
        }
        if (status > 0) {
            m_start += status;
            m_junk += status;
            if (m_junk > kMaxHead)
                return reconnect("no answer head");
            continue;
        }
        const std::size_t end = findBytes(pending.first(std::min(pending.size(), kMaxHead)), "\r\n\r\n");
        if (end == kNotFound)
            return pending.size() >= kMaxHead ? reconnect("answer head too long") : Kind::NeedMore;
        const std::string_view head = asText(pending.first(end + 2));
        m_start += end + 4;
        m_junk = 0;

        const std::size_t space = head.find(' ');
        const std::size_t lineEnd = head.find("\r\n");
        if (space == std::string_view::npos || space > lineEnd || space + 4 > head.size())
            return reconnect("malformed status line");
        const std::string_view code = head.substr(space + 1, 3);
        const char after = space + 4 < head.size() ? head[space + 4] : '\r';
        if (after != ' ' && after != '\r')
            return reconnect("malformed status line");
        m_answer = Answer{};
        if (code == "503") {
            m_answer.status = 503;
            return Kind::Head;
        }
        if (code != "200")
            return reconnect("answer is neither 200 nor 503");
        m_answer.status = 200;
        const auto length = headerValue(head, "Content-Length");
        const auto value = length ? strictDecimal(*length) : std::nullopt;
        if (!value || *value < kMinFrame || *value > kMaxFrame)
            return reconnect("frame length outside the limits");
        m_answer.length = static_cast<std::uint32_t>(*value);
        if (auto t = headerValue(head, "Time"))
            m_answer.time = strictDecimal(*t);
        if (auto u = headerValue(head, "Usec"))
            m_answer.usec = strictDecimal(*u);
        if (auto d = headerValue(head, "Userdata"))
            m_answer.userData = std::string(*d);
        m_bodyLeft = m_answer.length;
        return Kind::Head;
    }
}

} // namespace tessivor
