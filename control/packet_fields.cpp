// Small field conversions of the camera packets: dotted IPv4 text and the 16-bit word sum that
// the configuration packets carry as their check word.
#include "control/cimage.h"

#include "camproto/address_text.h"

namespace tessivor {

std::string CImage::FormatIPv4(const std::uint8_t* address)
{
    return camproto::formatIPv4(address);
}

int CImage::ParseIPv4(std::string_view text, std::uint8_t* out)
{
    return camproto::parseIPv4(text, out) ? 1 : 0;
}

std::uint16_t CImage::WordSum(const void* data, std::size_t length)
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

} // namespace tessivor
