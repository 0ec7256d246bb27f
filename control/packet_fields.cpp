// Small field conversions of the camera packets: dotted IPv4 text and the 16-bit word sum that
// the configuration packets carry as their check word.
#include "control/cimage.h"

#include "camproto/packet_fields.h"

namespace tessivor {

std::string CImage::FormatIPv4(const std::uint8_t* address)
{
    return camproto::formatIPv4(address);
}

int CImage::ParseIPv4(std::string_view text, std::uint8_t* out)
{
    return camproto::parseIPv4(text, out);
}

std::uint16_t CImage::WordSum(const void* data, std::size_t length)
{
    return camproto::wordSum(data, length);
}

} // namespace tessivor
