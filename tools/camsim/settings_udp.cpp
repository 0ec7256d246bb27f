// The image-settings datagram, camera side. A request is an 18-byte discovery header:
//   FD FD, sequence (2, big-endian), opcode 00 21, target MAC (6), target IP (4), 00 00.
// A camera whose MAC is named answers with 32 bytes: the header with the request's sequence and
// the camera's MAC, then resolution, compression, frame rate, brightness, contrast, hue and light
// frequency as 16-bit little-endian integers. Other datagrams are ignored.
#include "camera.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace camsim {

namespace {
constexpr std::size_t kRequestSize = 18;
constexpr std::size_t kReplySize = 32;
} // namespace

void serveSettingsDatagrams(CameraState& state, int fd)
{
    while (!state.quit.load()) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, 200);
        if (r <= 0)
            continue;
        std::uint8_t in[2048]; // the largest request is a 1044-byte configuration piece
        sockaddr_storage from{};
        socklen_t fromLen = sizeof from;
        const ssize_t n = ::recvfrom(fd, in, sizeof in, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n < static_cast<ssize_t>(kRequestSize) || in[0] != 0xFD || in[1] != 0xFD)
            continue;
        if (in[4] != 0x00 || in[5] != 0x21) {
            const auto answer = answerDiscoveryDatagram(state, in, static_cast<std::size_t>(n));
            if (!answer.empty())
                ::sendto(fd, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
            continue;
        }
        const auto mac = state.mac();
        if (std::memcmp(in + 6, mac.data(), 6) != 0)
            continue;
        state.stats.settingsRequests++;
        std::uint8_t out[kReplySize] = {};
        std::memcpy(out, in, kRequestSize);
        const auto values = state.imageSettings();
        for (std::size_t i = 0; i < values.size(); ++i) {
            const auto v = static_cast<std::uint16_t>(values[i]);
            out[18 + 2 * i] = static_cast<std::uint8_t>(v & 0xFF);
            out[19 + 2 * i] = static_cast<std::uint8_t>(v >> 8);
        }
        std::size_t size = kReplySize;
        switch (state.takeMalformed()) {
        case Malformed::Short:
        case Malformed::Truncate:
            size = 24;
            break;
        case Malformed::Garbage:
            out[3] ^= 0x5A; // another sequence number
            break;
        default:
            break;
        }
        ::sendto(fd, out, size, 0, reinterpret_cast<sockaddr*>(&from), fromLen);
    }
}

} // namespace camsim
