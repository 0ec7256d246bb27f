#include "mail/smtp_data.h"

namespace tessivor {

void SmtpDataWriter::endLine(std::string& out)
{
    out += "\r\n";
    m_atLineStart = true;
    m_lineLength = 0;
}

void SmtpDataWriter::write(const char* data, std::size_t count, std::string& out)
{
    for (std::size_t i = 0; i < count; ++i) {
        const char c = data[i];
        if (m_pendingCr) {
            m_pendingCr = false;
            endLine(out);
            if (c == '\n')
                continue;
        }
        if (c == '\r') {
            m_pendingCr = true;
            continue;
        }
        if (c == '\n') {
            endLine(out);
            continue;
        }
        std::size_t needed = (m_atLineStart && c == '.') ? 2 : 1;
        if (m_lineLength + needed > kMaxLine) {
            endLine(out);
            if (m_header) {
                out += ' ';
                m_atLineStart = false;
                m_lineLength = 1;
            }
            needed = (m_atLineStart && c == '.') ? 2 : 1;
        }
        if (needed == 2)
            out += '.';
        out += c;
        m_lineLength += needed;
        m_atLineStart = false;
    }
}

void SmtpDataWriter::finish(std::string& out)
{
    if (m_pendingCr || !m_atLineStart) {
        m_pendingCr = false;
        endLine(out);
    }
    out += ".\r\n";
}

} // namespace tessivor
