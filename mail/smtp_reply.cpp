#include "mail/smtp_reply.h"

namespace tessivor {

bool SmtpReplyParser::parseLine(const std::string& line, int* code, bool* continues)
{
    if (line.size() < 3)
        return false;
    int value = 0;
    for (int i = 0; i < 3; ++i) {
        if (line[static_cast<std::size_t>(i)] < '0' || line[static_cast<std::size_t>(i)] > '9')
            return false;
        value = value * 10 + (line[static_cast<std::size_t>(i)] - '0');
    }
    if (value < 100 || value > 599)
        return false;
    const char separator = line.size() > 3 ? line[3] : ' ';
    if (separator != ' ' && separator != '-')
        return false;
    *code = value;
    *continues = separator == '-';
    return true;
}

void SmtpReplyParser::reset()
{
    m_line.clear();
    m_lines.clear();
    m_code = 0;
    m_firstCode = -1;
    m_malformed = false;
    m_complete = false;
}

void SmtpReplyParser::endLine()
{
    if (!m_line.empty() && m_line.back() == '\r')
        m_line.pop_back();
    int code = 0;
    bool continues = false;
    if (!parseLine(m_line, &code, &continues)) {
        // A line that is no reply line ends the reply as malformed.
        m_malformed = true;
        continues = false;
    } else if (m_firstCode >= 0 && code != m_firstCode) {
        m_malformed = true; // every line of a reply carries the same code
    }
    if (m_firstCode < 0)
        m_firstCode = code;
    if (m_lines.size() < kMaxLines) {
        m_lines.push_back(m_line);
    } else {
        m_malformed = true;
        continues = false;
    }
    m_line.clear();
    if (!continues) {
        m_code = m_malformed ? 0 : code;
        m_complete = true;
    }
}

std::size_t SmtpReplyParser::feed(const char* data, std::size_t count)
{
    std::size_t i = 0;
    while (i < count && !m_complete) {
        const char c = data[i++];
        if (c == '\n') {
            endLine();
            continue;
        }
        if (m_line.size() < kMaxKept)
            m_line += c;
    }
    return i;
}

} // namespace tessivor
