#include "camproto/device_record.h"

#include "camproto/dotted_bytes.h"
#include "camproto/packet_fields.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tessivor::camproto {

namespace {

std::string fieldText(const std::uint8_t* field, std::size_t size)
{
    const auto* end = std::find(field, field + size, std::uint8_t{0});
    return std::string(reinterpret_cast<const char*>(field), static_cast<std::size_t>(end - field));
}

} // namespace

DeviceRecord DeviceRecord::fromDatagram(std::span<const std::uint8_t> datagram)
{
    DeviceRecord r;
    std::copy_n(datagram.begin(), std::min(datagram.size(), kSize), r.bytes.begin());
    return r;
}

Mac DeviceRecord::mac() const
{
    Mac m;
    std::copy_n(bytes.begin() + kMac, 6, m.begin());
    return m;
}

IPv4 DeviceRecord::address() const
{
    IPv4 a;
    std::copy_n(bytes.begin() + kAddress, 4, a.begin());
    return a;
}

std::uint16_t DeviceRecord::flags() const
{
    return static_cast<std::uint16_t>(bytes[kFlags] | (bytes[kFlags + 1] << 8));
}

std::int16_t DeviceRecord::serverStatus() const
{
    return static_cast<std::int16_t>(bytes[kServerStatus] | (bytes[kServerStatus + 1] << 8));
}

std::uint32_t DeviceRecord::webPort() const
{
    return static_cast<std::uint32_t>(bytes[kWebPort]) |
           (static_cast<std::uint32_t>(bytes[kWebPort + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[kWebPort + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[kWebPort + 3]) << 24);
}

std::string DeviceRecord::model() const
{
    return fieldText(bytes.data() + kModel, kModelSize);
}

std::string DeviceRecord::name() const
{
    return fieldText(bytes.data() + kName, kNameSize);
}

std::string DeviceRecord::location() const
{
    return fieldText(bytes.data() + kLocation, kLocationSize);
}

std::string DeviceRecord::ipText() const
{
    return formatIPv4(bytes.data() + kAddress);
}

std::string DeviceRecord::maskText() const
{
    return formatIPv4(bytes.data() + kMask);
}

std::string DeviceRecord::gatewayText() const
{
    return formatIPv4(bytes.data() + kGateway);
}

std::string DeviceRecord::macText() const
{
    return bytesToDotted(bytes.data() + kMac, 6);
}

std::string DeviceRecord::firmwareVersionText() const
{
    return versionText(bytes[kFirmwareVersion + 3], bytes[kFirmwareVersion + 2], bytes[kFirmwareVersion + 1]);
}

std::string DeviceRecord::romVersionText() const
{
    return versionText(bytes[kRomVersion + 3], bytes[kRomVersion + 2], bytes[kRomVersion + 1]);
}

std::string DeviceRecord::hardwareVersionText() const
{
    // "%c%c%c%c" of 21, 20, 19, 18: a zero byte ends the text.
    std::string out;
    for (int i = 3; i >= 0; --i) {
        const std::uint8_t c = bytes[kHardwareVersion + static_cast<std::size_t>(i)];
        if (c == 0)
            break;
        out += static_cast<char>(c);
    }
    return out;
}

void DeviceRecord::setText(std::size_t offset, std::size_t fieldSize, std::string_view text)
{
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), fieldSize, std::uint8_t{0});
    const std::size_t n = std::min(text.size(), fieldSize - 1);
    std::memcpy(bytes.data() + offset, text.data(), n);
}

void DeviceRecord::setWord(std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void DeviceRecord::setBytes(std::size_t offset, std::span<const std::uint8_t> data)
{
    std::copy_n(data.begin(), std::min(data.size(), kSize - offset),
                bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

void DeviceRecord::fillFromBody(std::span<const std::uint8_t> body)
{
    std::fill(bytes.begin() + kBodyStart, bytes.end(), std::uint8_t{0});
    setBytes(kBodyStart, body.first(std::min(body.size(), kBodySize)));
    std::copy_n(bytes.begin() + kMacCopy, 6, bytes.begin() + kMac);
}

std::string versionText(std::uint8_t major, std::uint8_t minor, std::uint8_t letter)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d.%.02d", major, minor);
    std::string out = text;
    if (letter != 0)
        out += static_cast<char>(letter);
    return out;
}

} // namespace tessivor::camproto
