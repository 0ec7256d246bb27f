// The DATA stream of an SMTP transaction (RFC 5321 section 4.5.2 and 4.5.3.1.6): every line
// ends in CR LF (a bare LF or a bare CR ends a line on input), a line that begins with "." gets
// a second one, and no line is longer than 998 octets (a longer one is broken; in a header it is
// folded with a blank so the field goes on). finish() ends the last line and writes the
// terminating ".". A byte-driven state machine: input comes in blocks of any size.
#pragma once

#include <cstddef>
#include <string>

namespace tessivor {

class SmtpDataWriter
{
public:
    static constexpr std::size_t kMaxLine = 998;

    // Header lines are folded, body lines broken, when they pass kMaxLine.
    void setHeaderMode(bool header) { m_header = header; }
    void write(const char* data, std::size_t count, std::string& out);
    // Ends an open line and appends ".\r\n".
    void finish(std::string& out);

private:
    void endLine(std::string& out);

    bool m_header = false;
    bool m_pendingCr = false;
    bool m_atLineStart = true;
    std::size_t m_lineLength = 0;
};

} // namespace tessivor
