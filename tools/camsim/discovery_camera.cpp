// The camera's side of discovery and probing.
//
// Datagrams on port 62976 (after an 18-byte header FD FD, sequence, opcode, MAC, IPv4, marker):
//   0x0001  search (marker 00 00) and probe (77 77): the 244-byte device record, status 2
//   0x0012  login query naming this camera's MAC: 98 bytes, status 0, or 256 with an 80-byte
//           challenge when the camera wants a login
//   0xFFFF  extended information naming this camera's MAC: 530 bytes, status
//           0, two texts at 149 and 213, the web port at 279
// Multicast on 224.0.0.1:13579 (Kestra family; op, then the asker's 10-byte LocalId, repeated in
// every answer): 1 search -> 7 device found; 3 password check -> 4 (byte 28: 1 accepted);
// 5 set address -> 6; 8 wireless query -> 9.
// Pages: "/getInfo.asp" (Kestra), "/DevInfo.CGI" (VIDEO.CGI family), "/goform/serial" and
// "/cgi-bin/devinfo.cgi" (multipart family; its configuration pages are config_camera_web.cpp).
//
// Everything here is written from the protocol's description, apart from the control's code, so
// that the two cannot share a mistake.
#include "camera.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstring>

namespace camsim {

namespace {

constexpr std::size_t kHeader = 18;
constexpr std::size_t kRecordSize = 244;
constexpr std::size_t kLoginReplySize = 98;
constexpr std::size_t kExtInfoSize = 530;

void put16le(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putText(std::uint8_t* p, std::size_t field, const std::string& text)
{
    std::memcpy(p, text.data(), std::min(text.size(), field - 1));
}

std::uint16_t flagsOf(Family f)
{
    switch (f) {
    case Family::VideoCgi:
        return 0x0800;
    case Family::Multipart:
        return 0x0700;
    case Family::Kestra:
        return 0xC7C8;
    default:
        return 0x0000;
    }
}

// The device record from byte 18 on, as the record's fields lie.
void fillRecordBody(const CameraState& st, std::uint8_t* r)
{
    const Identity& id = st.identity;
    for (std::size_t i = 0; i < 4 && i < id.hardware.size(); ++i)
        r[21 - i] = static_cast<std::uint8_t>(id.hardware[i]); // shown last byte first
    r[25] = id.rom[0];
    r[24] = id.rom[1];
    r[23] = id.rom[2];
    r[29] = id.firmware[0];
    r[28] = id.firmware[1];
    r[27] = id.firmware[2];
    std::memcpy(r + 30, id.ip.data(), 4);
    putText(r + 38, 32, id.model);
    putText(r + 70, 32, id.name);
    putText(r + 102, 64, id.location);
    put16le(r + 166, 1);
    put16le(r + 168, flagsOf(id.family));
    std::memcpy(r + 170, id.ip.data(), 4);
    std::memcpy(r + 174, id.mask.data(), 4);
    std::memcpy(r + 178, id.gateway.data(), 4);
    const auto mac = st.mac();
    std::memcpy(r + 222, mac.data(), 6);
}

std::vector<std::uint8_t> replyHeader(const CameraState& st, const std::uint8_t* in, std::size_t size,
                                      std::uint16_t status)
{
    std::vector<std::uint8_t> out(size);
    std::memcpy(out.data(), in, kHeader);
    const auto mac = st.mac();
    std::memcpy(out.data() + 6, mac.data(), 6);
    std::memcpy(out.data() + 12, st.identity.ip.data(), 4);
    put16le(out.data() + 16, status);
    return out;
}

std::string okAnswer(const std::string& body, const char* type = "text/plain")
{
    return "HTTP/1.0 200 OK\r\nServer: camsim\r\nContent-Type: " + std::string(type) +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Bytes 18-243 of the record: the body of the device-information pages.
std::string recordBodyText(const CameraState& st)
{
    std::uint8_t r[kRecordSize] = {};
    fillRecordBody(st, r);
    return std::string(reinterpret_cast<const char*>(r + 18), kRecordSize - 18);
}

// ---- multicast ----

std::vector<std::uint8_t> multicastAnswer(CameraState& st, const std::uint8_t* in, std::size_t n)
{
    if (n < 11)
        return {};
    const Identity& id = st.identity;
    const auto mac = st.mac();
    const std::uint8_t op = in[0];
    auto start = [&](std::uint8_t answerOp, std::size_t size) {
        std::vector<std::uint8_t> out(size);
        out[0] = answerOp;
        std::memcpy(out.data() + 1, in + 1, 10);
        return out;
    };
    auto namesMe = [&] { return n >= 21 && std::memcmp(in + 11, mac.data(), 6) == 0; };
    switch (op) {
    case 1: {
        auto out = start(7, 72 + id.name.size());
        std::memcpy(out.data() + 11, mac.data(), 6);
        std::memcpy(out.data() + 17, id.ip.data(), 4);
        put16le(out.data() + 22, id.webPort);
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", id.mask[0], id.mask[1], id.mask[2], id.mask[3]);
        putText(out.data() + 24, 16, text);
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", id.gateway[0], id.gateway[1], id.gateway[2],
                      id.gateway[3]);
        putText(out.data() + 40, 16, text);
        out[58] = id.wireless ? 0 : 1;
        const auto length = static_cast<std::uint32_t>(id.name.size());
        std::memcpy(out.data() + 68, &length, 4); // little-endian host
        std::memcpy(out.data() + 72, id.name.data(), id.name.size());
        return out;
    }
    case 3: {
        if (!namesMe() || n < 28)
            return {};
        std::uint32_t length = 0;
        std::memcpy(&length, in + 24, 4);
        const std::string given(reinterpret_cast<const char*>(in + 28),
                                std::min<std::size_t>(length, n - 28));
        const auto [user, password] = st.credentials();
        auto out = start(4, 29);
        out[28] = given == user + "\x55\xAA" + password ? 1 : 0;
        return out;
    }
    case 5:
        return namesMe() ? start(6, 11) : std::vector<std::uint8_t>{};
    case 8: {
        if (!namesMe())
            return {};
        auto out = start(9, 122 + id.name.size());
        std::memcpy(out.data() + 17, id.ip.data(), 4);
        out[59] = 1;
        putText(out.data() + 60, 33, "camsim-net");
        out[93] = 2;
        out[94] = 3;
        out[95] = 77;
        out[96] = 6;
        out[97] = 4;
        const std::uint32_t received = 123456, sent = 654321;
        std::memcpy(out.data() + 98, &received, 4);
        std::memcpy(out.data() + 102, &sent, 4);
        const auto length = static_cast<std::uint32_t>(id.name.size());
        std::memcpy(out.data() + 114, &length, 4);
        std::memcpy(out.data() + 122, id.name.data(), id.name.size());
        return out;
    }
    default:
        return {};
    }
}

} // namespace

std::optional<Family> familyFromName(std::string_view name)
{
    if (name == "native")
        return Family::Native;
    if (name == "videocgi")
        return Family::VideoCgi;
    if (name == "multipart")
        return Family::Multipart;
    if (name == "kestra")
        return Family::Kestra;
    return std::nullopt;
}

std::vector<std::uint8_t> answerDiscoveryDatagram(CameraState& st, const std::uint8_t* in, std::size_t size)
{
    const Family family = st.identity.family;
    if (family == Family::None || family == Family::Kestra || size < kHeader)
        return {};
    const std::uint16_t opcode = static_cast<std::uint16_t>((in[4] << 8) | in[5]);
    const auto mac = st.mac();
    const bool namesMe = std::memcmp(in + 6, mac.data(), 6) == 0;
    st.stats.settingsRequests++;
    switch (opcode) {
    case 0x0001: {
        auto out = replyHeader(st, in, kRecordSize, 2);
        fillRecordBody(st, out.data());
        return out;
    }
    case 0x0012: {
        if (!namesMe)
            return {};
        auto out = replyHeader(st, in, kLoginReplySize, st.identity.loginNeeded ? 256 : 0);
        if (st.identity.loginNeeded) {
            const auto challenge = loginChallenge();
            std::memcpy(out.data() + 18, challenge.data(), challenge.size());
        }
        return out;
    }
    case 0xFFFF: {
        if (!namesMe)
            return {};
        auto out = replyHeader(st, in, kExtInfoSize, 0);
        putText(out.data() + 149, 64, st.identity.model + " web");
        putText(out.data() + 213, 64, st.identity.serial);
        put16le(out.data() + 279, st.identity.webPort);
        return out;
    }
    default:
        return answerConfigDatagram(st, in, size);
    }
}

void serveMulticast(CameraState& st, int fd)
{
    in_addr own{};
    std::memcpy(&own.s_addr, st.identity.ip.data(), 4);
    const int out = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ::setsockopt(out, IPPROTO_IP, IP_MULTICAST_IF, &own, sizeof own);
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(13579);
    ::inet_pton(AF_INET, "224.0.0.1", &group.sin_addr);
    while (!st.quit.load()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        std::uint8_t in[3200];
        const ssize_t n = ::recv(fd, in, sizeof in, 0);
        if (n <= 0)
            continue;
        const auto answer = multicastAnswer(st, in, static_cast<std::size_t>(n));
        if (answer.empty())
            continue;
        st.stats.settingsRequests++;
        ::sendto(out, answer.data(), answer.size(), 0, reinterpret_cast<const sockaddr*>(&group),
                 sizeof group);
    }
    ::close(out);
}

std::optional<std::string> discoveryPage(const CameraState& st, std::string_view target)
{
    switch (st.identity.family) {
    case Family::Kestra:
        if (target == "/getInfo.asp") {
            std::string block(512, '\0');
            block.replace(0, 3, "GI1");
            block.replace(3, std::min<std::size_t>(st.identity.name.size(), 32),
                          st.identity.name.substr(0, 32));
            return okAnswer(block, "application/octet-stream");
        }
        break;
    case Family::VideoCgi:
        if (target == "/DevInfo.CGI")
            return okAnswer(recordBodyText(st), "application/octet-stream");
        break;
    case Family::Multipart:
        if (target == "/goform/serial")
            return okAnswer(st.identity.serial);
        if (target == "/cgi-bin/devinfo.cgi")
            return okAnswer(recordBodyText(st), "application/octet-stream");
        break;
    default:
        break;
    }
    return std::nullopt;
}

} // namespace camsim
