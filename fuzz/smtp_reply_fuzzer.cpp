// SMTP reply parsing over arbitrary bytes, fed in pieces whose sizes the input chooses: every
// reply found must have a sane code and bounded lines, and the parser must never take more than
// it was given. Address parsing of the same bytes rides along.
#include "mail/smtp_client.h"
#include "mail/smtp_reply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace tessivor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t piece = static_cast<std::size_t>(data[0] % 16) + 1;
    const auto* bytes = reinterpret_cast<const char*>(data + 1);
    std::size_t left = size - 1;
    SmtpReplyParser parser;
    while (left > 0) {
        const std::size_t give = left < piece ? left : piece;
        const std::size_t took = parser.feed(bytes, give);
        if (took > give)
            std::abort();
        bytes += took;
        left -= took;
        if (parser.complete()) {
            const int code = parser.code();
            if (code != 0 && (code < 100 || code > 599))
                std::abort();
            if (parser.lines().size() > SmtpReplyParser::kMaxLines)
                std::abort();
            for (const auto& line : parser.lines())
                if (line.size() > SmtpReplyParser::kMaxKept)
                    std::abort();
            parser.reset();
        }
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    char address[64];
    CSmtpClient::ParseAddress(text.c_str(), address, sizeof address);
    return 0;
}
