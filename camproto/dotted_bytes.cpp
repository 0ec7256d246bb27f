#include "camproto/dotted_bytes.h"

#include "camproto/packet_fields.h"

namespace tessivor::camproto {

std::string bytesToDotted(const std::uint8_t* bytes, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (i)
            out += '.';
        out += std::to_string(bytes[i]);
    }
    return out;
}

void dottedToBytes(std::string_view text, std::uint8_t* out, std::size_t count)
{
    if (count == 0)
        return;
    if (text.empty()) {
        out[0] = 0;
        return;
    }
    std::size_t i = 0;
    std::size_t pos = 0;
    while (i < count) {
        std::size_t dot = text.find('.', pos);
        const std::string_view piece =
            text.substr(pos, dot == std::string_view::npos ? text.npos : dot - pos);
        out[i++] = static_cast<std::uint8_t>(static_cast<unsigned long long>(leadingDecimal(piece)) & 0xFF);
        if (dot == std::string_view::npos)
            break;
        pos = dot + 1;
    }
}

} // namespace tessivor::camproto
