#include "camproto/discovery_multicast_packets.h"

#include "camproto/packet_fields.h"

#include <algorithm>
#include <cstring>

namespace tessivor::camproto {

namespace {

// Answer 7.
constexpr std::size_t kFoundMac = 11;
constexpr std::size_t kFoundIp = 17;
constexpr std::size_t kFoundWebPort = 22;
constexpr std::size_t kFoundMask = 24;
constexpr std::size_t kFoundGateway = 40;
constexpr std::size_t kAddressTextField = 16;
constexpr std::size_t kFoundWireless = 58;
constexpr std::size_t kFoundNameLength = 68;
constexpr std::size_t kFoundName = 72;
constexpr std::size_t kRecordNameLimit = 31;
constexpr std::uint16_t kFlagsWired = 0xC7C8;
constexpr std::uint16_t kFlagsWireless = 0xE7C8;

// Answer 4 and 9.
constexpr std::size_t kPasswordVerdict = 28;
constexpr std::size_t kWirelessIp = 17;
constexpr std::size_t kWirelessStatus = 59;
constexpr std::size_t kWirelessSsid = 60;
constexpr std::size_t kWirelessConnect = 93;
constexpr std::size_t kWirelessCountry = 94;
constexpr std::size_t kWirelessSignal = 95;
constexpr std::size_t kWirelessChannel = 96;
constexpr std::size_t kWirelessSecurity = 97;
constexpr std::size_t kWirelessReceived = 98;
constexpr std::size_t kWirelessTransmitted = 102;
constexpr std::size_t kWirelessAnswerSize = 106;

// Requests.
constexpr std::size_t kTargetMac = 11;
constexpr std::size_t kTargetIp = 17;
constexpr std::size_t kPasswordLength = 24;
constexpr std::size_t kPasswordData = 28;
constexpr std::uint8_t kPasswordKind = 4;
constexpr std::size_t kSetMode = 21;
constexpr std::size_t kSetMask = 24;
constexpr std::size_t kSetGateway = 40;
constexpr std::size_t kSetLength = 56;
constexpr std::size_t kSetAddress = 60;
constexpr std::size_t kWirelessQuerySize = 21;

// Byte `at` of the datagram, 0 beyond its end.
std::uint8_t byteAt(std::span<const std::uint8_t> d, std::size_t at)
{
    return at < d.size() ? d[at] : 0;
}

std::uint32_t word32At(std::span<const std::uint8_t> d, std::size_t at)
{
    return static_cast<std::uint32_t>(byteAt(d, at)) | (static_cast<std::uint32_t>(byteAt(d, at + 1)) << 8) |
           (static_cast<std::uint32_t>(byteAt(d, at + 2)) << 16) |
           (static_cast<std::uint32_t>(byteAt(d, at + 3)) << 24);
}

void put32(std::vector<std::uint8_t>& p, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The text of a field: up to its first zero byte, within the field and the datagram.
std::string textAt(std::span<const std::uint8_t> d, std::size_t at, std::size_t field)
{
    std::string out;
    for (std::size_t i = at; i < at + field && i < d.size() && d[i] != 0; ++i)
        out += static_cast<char>(d[i]);
    return out;
}

void putText(std::vector<std::uint8_t>& p, std::size_t at, std::size_t field, std::string_view text)
{
    const std::size_t n = std::min(text.size(), field - 1);
    std::memcpy(p.data() + at, text.data(), n);
}

void putTarget(std::vector<std::uint8_t>& p, const Mac& camera, const IPv4& cameraIp)
{
    std::copy(camera.begin(), camera.end(), p.begin() + kTargetMac);
    std::copy(cameraIp.begin(), cameraIp.end(), p.begin() + kTargetIp);
}

} // namespace

std::vector<std::uint8_t> buildMulticastHeader(MulticastOp op, const LocalId& id)
{
    std::vector<std::uint8_t> p(kMulticastHeaderSize);
    p[0] = static_cast<std::uint8_t>(op);
    std::copy(id.mac.begin(), id.mac.end(), p.begin() + 1);
    std::copy(id.address.begin(), id.address.end(), p.begin() + 7);
    return p;
}

MulticastHeader parseMulticastHeader(std::span<const std::uint8_t> d)
{
    MulticastHeader h;
    h.op = byteAt(d, 0);
    for (std::size_t i = 0; i < 6; ++i)
        h.id.mac[i] = byteAt(d, 1 + i);
    for (std::size_t i = 0; i < 4; ++i)
        h.id.address[i] = byteAt(d, 7 + i);
    return h;
}

std::vector<std::uint8_t> buildMulticastSearch(const LocalId& id)
{
    return buildMulticastHeader(MulticastOp::Search, id);
}

std::vector<std::uint8_t> buildPasswordCheck(const LocalId& id, const Mac& camera, const IPv4& cameraIp,
                                             std::string_view user, std::string_view password)
{
    auto p = buildMulticastHeader(MulticastOp::PasswordCheck, id);
    const std::size_t n = user.size() + 2 + password.size();
    p.resize(kPasswordData + n);
    putTarget(p, camera, cameraIp);
    p[21] = kPasswordKind;
    put32(p, kPasswordLength, static_cast<std::uint32_t>(n));
    std::size_t at = kPasswordData;
    std::memcpy(p.data() + at, user.data(), user.size());
    at += user.size();
    p[at++] = 0x55;
    p[at++] = 0xAA;
    std::memcpy(p.data() + at, password.data(), password.size());
    return p;
}

bool passwordAccepted(std::span<const std::uint8_t> d)
{
    return byteAt(d, kPasswordVerdict) == 1;
}

std::vector<std::uint8_t> buildSetAddress(const LocalId& id, const Mac& camera, const IPv4& cameraIp,
                                          std::uint8_t mode, std::string_view address, std::string_view mask,
                                          std::string_view gateway)
{
    auto p = buildMulticastHeader(MulticastOp::SetAddress, id);
    p.resize(kSetAddress + address.size());
    putTarget(p, camera, cameraIp);
    p[kSetMode] = mode;
    putText(p, kSetMask, kAddressTextField, mask);
    putText(p, kSetGateway, kAddressTextField, gateway);
    put32(p, kSetLength, static_cast<std::uint32_t>(address.size()));
    std::memcpy(p.data() + kSetAddress, address.data(), address.size());
    return p;
}

std::vector<std::uint8_t> buildWirelessQuery(const LocalId& id, const Mac& camera, const IPv4& cameraIp)
{
    auto p = buildMulticastHeader(MulticastOp::WirelessQuery, id);
    p.resize(kWirelessQuerySize);
    putTarget(p, camera, cameraIp);
    return p;
}

std::optional<DeviceFound> parseDeviceFound(std::span<const std::uint8_t> d)
{
    if (byteAt(d, 0) != static_cast<std::uint8_t>(MulticastOp::DeviceFound))
        return std::nullopt;
    DeviceFound f;
    for (std::size_t i = 0; i < 6; ++i)
        f.mac[i] = byteAt(d, kFoundMac + i);
    for (std::size_t i = 0; i < 4; ++i)
        f.address[i] = byteAt(d, kFoundIp + i);
    f.webPort = static_cast<std::uint16_t>(byteAt(d, kFoundWebPort) | (byteAt(d, kFoundWebPort + 1) << 8));
    f.maskText = textAt(d, kFoundMask, kAddressTextField);
    f.gatewayText = textAt(d, kFoundGateway, kAddressTextField);
    f.wireless = byteAt(d, kFoundWireless);
    // The name length is the camera's word; the name never runs past the bytes that came.
    const auto length = static_cast<std::int32_t>(word32At(d, kFoundNameLength));
    if (length > 0 && d.size() > kFoundName) {
        const std::size_t n = std::min(static_cast<std::size_t>(length), d.size() - kFoundName);
        f.name.assign(reinterpret_cast<const char*>(d.data() + kFoundName), n);
    }
    return f;
}

DeviceRecord recordFromDeviceFound(const DeviceFound& f, std::uint16_t k)
{
    DeviceRecord r;
    r.setWord(0, kStatusDeviceRecord);
    r.setBytes(DeviceRecord::kMac, f.mac);
    r.setBytes(DeviceRecord::kIp, f.address);
    r.bytes[DeviceRecord::kWebPort] = static_cast<std::uint8_t>(f.webPort & 0xFF);
    r.bytes[DeviceRecord::kWebPort + 1] = static_cast<std::uint8_t>(f.webPort >> 8);
    r.setText(DeviceRecord::kModel, DeviceRecord::kModelSize, "N/A");
    if (f.name.empty()) {
        r.setText(DeviceRecord::kName, DeviceRecord::kNameSize, "N/A");
    } else {
        // The name's own bytes, at most 31, cut at a zero byte it may hold.
        const std::string_view name(f.name.data(), std::min(f.name.size(), kRecordNameLimit));
        r.setText(DeviceRecord::kName, DeviceRecord::kNameSize, name.substr(0, name.find('\0')));
    }
    r.setWord(DeviceRecord::kServerStatus, k);
    r.setWord(DeviceRecord::kFlags, f.wireless == 1 ? kFlagsWired : kFlagsWireless);
    r.setBytes(DeviceRecord::kAddress, f.address);
    parseIPv4(f.maskText, r.bytes.data() + DeviceRecord::kMask);
    parseIPv4(f.gatewayText, r.bytes.data() + DeviceRecord::kGateway);
    return r;
}

std::string WirelessLink::ssidText() const
{
    const auto end = std::find(ssid.begin(), ssid.end(), '\0');
    return std::string(ssid.begin(), end);
}

std::optional<WirelessAnswer> parseWirelessAnswer(std::span<const std::uint8_t> d)
{
    if (byteAt(d, 0) != static_cast<std::uint8_t>(MulticastOp::WirelessAnswer))
        return std::nullopt;
    WirelessAnswer a;
    for (std::size_t i = 0; i < 4; ++i)
        a.cameraAddress[i] = byteAt(d, kWirelessIp + i);
    WirelessLink& l = a.link;
    l.status = byteAt(d, kWirelessStatus);
    for (std::size_t i = 0; i < l.ssid.size(); ++i)
        l.ssid[i] = static_cast<char>(byteAt(d, kWirelessSsid + i));
    l.connectStatus = byteAt(d, kWirelessConnect);
    l.countryCode = byteAt(d, kWirelessCountry);
    l.signalStrength = byteAt(d, kWirelessSignal);
    l.channel = byteAt(d, kWirelessChannel);
    l.security = byteAt(d, kWirelessSecurity);
    l.receivedPackets = word32At(d, kWirelessReceived);
    l.transmittedPackets = word32At(d, kWirelessTransmitted);
    static_assert(kWirelessTransmitted + 4 == kWirelessAnswerSize);
    return a;
}

} // namespace tessivor::camproto
