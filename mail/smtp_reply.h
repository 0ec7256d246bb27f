// Parsing of SMTP replies (RFC 5321 section 4.2): lines "ddd text" end a reply, lines "ddd-text"
// continue it. A byte-driven parser: bytes can arrive in pieces of any size, and it stops right
// after a complete reply so that the bytes of a following reply stay with the caller.
//
// Bounds: a line keeps its first kMaxKept bytes (the rest up to its LF is dropped); a reply of
// more than kMaxLines lines ends as malformed. A malformed reply has the code 0, which no caller
// takes for success.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tessivor {

class SmtpReplyParser
{
public:
    static constexpr std::size_t kMaxKept = 512;
    static constexpr std::size_t kMaxLines = 256;

    // Takes bytes until a reply is complete; returns how many it took.
    std::size_t feed(const char* data, std::size_t count);
    bool complete() const { return m_complete; }
    // The reply's code (100 to 599), or 0 when the reply was malformed. Valid once complete.
    int code() const { return m_code; }
    // The lines of the reply without their line ends (at most kMaxKept bytes each).
    const std::vector<std::string>& lines() const { return m_lines; }
    // Ready for the next reply.
    void reset();

    // The code of one reply line and whether it continues the reply; false when the line does
    // not begin with three digits followed by a blank, a dash or its end.
    static bool parseLine(const std::string& line, int* code, bool* continues);

private:
    void endLine();

    std::string m_line;
    std::vector<std::string> m_lines;
    int m_code = 0;
    int m_firstCode = -1;
    bool m_malformed = false;
    bool m_complete = false;
};

} // namespace tessivor
