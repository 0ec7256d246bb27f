// Small field conversions of the camera packets (see packet_fields.h).
#include "camproto/packet_fields.h"

#include <algorithm>
#include <cstdio>

namespace tessivor::camproto {

namespace {

constexpr std::size_t kAddressTextLimit = 259;

} // namespace

std::string formatIPv4(const std::uint8_t* address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    return text;
}

int parseIPv4(std::string_view text, std::uint8_t* out)
{
    out[0] = out[1] = out[2] = out[3] = 0;
    if (text.size() > kAddressTextLimit)
        text = text.substr(0, kAddressTextLimit);
    const auto nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    if (text.empty())
        return 1;
    // Split at dots as a tokenizer does: empty pieces between dots do not count.
    int stored = 0;
    std::size_t pos = 0;
    while (stored < 4 && pos < text.size()) {
        std::size_t dot = text.find('.', pos);
        if (dot == std::string_view::npos)
            dot = text.size();
        if (dot > pos) {
            const long long v = leadingDecimal(text.substr(pos, dot - pos));
            if (v > 255)
                return 0;
            out[stored++] = static_cast<std::uint8_t>(static_cast<unsigned long long>(v) & 0xFF);
        }
        pos = dot + 1;
    }
    // Fewer than four numbers is not an address.
    return stored == 4 ? 1 : 0;
}

std::uint16_t wordSum(const void* data, std::size_t length)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 2 <= length; i += 2)
        sum += static_cast<std::uint32_t>(p[i]) | (static_cast<std::uint32_t>(p[i + 1]) << 8);
    if (i < length)
        sum += p[i];
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

long long leadingDecimal(std::string_view text)
{
    constexpr long long kLimit = 1'000'000'000'000LL;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n' ||
                               text[i] == '\v' || text[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        v = std::min(kLimit, v * 10 + (text[i] - '0'));
    return negative ? -v : v;
}

} // namespace tessivor::camproto
