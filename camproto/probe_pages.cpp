#include "camproto/probe_pages.h"

#include "camproto/packet_fields.h"

#include <algorithm>
#include <string_view>

namespace tessivor::camproto {

namespace {

constexpr std::size_t kGetInfoName = 3;
constexpr std::size_t kGetInfoNameSize = 32;
constexpr std::uint16_t kGetInfoFlags = 0xC7C8;
constexpr std::int16_t kGetInfoServerStatus = 2;

std::size_t find(std::string_view text, std::string_view what, std::size_t from = 0)
{
    return text.find(what, from);
}

} // namespace

DeviceRecord recordFromGetInfo(std::span<const std::uint8_t> body, const IPv4& address)
{
    DeviceRecord r;
    // The name is the 32 bytes at 3 of the body (zero where the body is shorter), and always
    // ends inside its field.
    if (body.size() > kGetInfoName)
        r.setBytes(DeviceRecord::kName,
                   body.subspan(kGetInfoName, std::min(kGetInfoNameSize, body.size() - kGetInfoName)));
    r.bytes[DeviceRecord::kName + DeviceRecord::kNameSize - 1] = 0;
    r.setText(DeviceRecord::kModel, DeviceRecord::kModelSize, "QVT-410");
    r.setBytes(DeviceRecord::kIp, address);
    r.setBytes(DeviceRecord::kIpCopy, address);
    r.setBytes(DeviceRecord::kAddress, address);
    parseIPv4("255.255.255.0", r.bytes.data() + DeviceRecord::kMask);
    parseIPv4("192.168.1.1", r.bytes.data() + DeviceRecord::kGateway);
    r.setWord(DeviceRecord::kFlags, kGetInfoFlags);
    r.setWord(DeviceRecord::kServerStatus, static_cast<std::uint16_t>(kGetInfoServerStatus));
    return r;
}

std::optional<std::span<const std::uint8_t>> devInfoCgiBody(std::span<const std::uint8_t> answer)
{
    if (answer.size() < kDevInfoLeast)
        return std::nullopt;
    const std::string_view text(reinterpret_cast<const char*>(answer.data()), answer.size());
    if (find(text, "HTTP/1.0 200 OK\r\n") == std::string_view::npos)
        return std::nullopt;
    const std::size_t name = find(text, "Content-Length:");
    if (name == std::string_view::npos)
        return std::nullopt;
    const std::size_t valueAt = name + 15;
    std::size_t lineEnd = find(text, "\r\n", valueAt);
    if (lineEnd == std::string_view::npos)
        lineEnd = text.size();
    const long long length = leadingDecimal(text.substr(valueAt, lineEnd - valueAt));
    if (length < 1 || length > kDevInfoMaxLength)
        return std::nullopt;
    const std::size_t blank = find(text, "\r\n\r\n");
    if (blank == std::string_view::npos)
        return std::nullopt;
    const std::size_t start = blank + 4;
    const std::size_t n = std::min(static_cast<std::size_t>(length), answer.size() - start);
    return answer.subspan(start, n);
}

} // namespace tessivor::camproto
