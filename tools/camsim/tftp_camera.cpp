// The camera's side of a firmware download: after the download request (opcode 0x0006, answered
// in config_camera.cpp) the camera takes one file by TFTP (RFC 1350, write requests in "octet"
// mode, 512-byte blocks). Each transfer gets a port of its own (its transfer ID) that sends
// ACK 0 and then acknowledges every block in order; a repeated block is acknowledged again,
// silence repeats the last acknowledgement a few times and then ends the transfer. A finished
// file is written to --upload-file (when given), counted, and the camera restarts (counted as a
// reboot). Written from the protocol's description, apart from the program's client.
#include "camera.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace camsim {

namespace {

constexpr std::size_t kBlock = 512;
constexpr int kWaitMs = 3000;
constexpr int kRepeats = 4;

std::vector<std::uint8_t> packet(std::uint16_t opcode, std::uint16_t number, std::string_view text = {})
{
    std::vector<std::uint8_t> p;
    p.reserve(5 + text.size());
    for (std::uint16_t v : {opcode, number}) {
        p.push_back(static_cast<std::uint8_t>(v >> 8));
        p.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    if (opcode == 5) {
        for (char c : text)
            p.push_back(static_cast<std::uint8_t>(c));
        p.push_back(0);
    }
    return p;
}

// The file name and mode of a write request; false when it is not a well-formed one.
bool parseWriteRequest(const std::uint8_t* in, std::size_t size, std::string* name, std::string* mode)
{
    if (size < 4 || in[0] != 0 || in[1] != 2)
        return false;
    const char* p = reinterpret_cast<const char*>(in + 2);
    const char* end = reinterpret_cast<const char*>(in + size);
    const char* z1 = static_cast<const char*>(std::memchr(p, 0, static_cast<std::size_t>(end - p)));
    if (!z1)
        return false;
    const char* z2 = static_cast<const char*>(std::memchr(z1 + 1, 0, static_cast<std::size_t>(end - z1 - 1)));
    if (!z2)
        return false;
    name->assign(p, z1);
    mode->assign(z1 + 1, z2);
    return true;
}

// One transfer on a socket of its own, connected to the client. The file, or nullopt when the
// transfer did not end with a short block.
std::optional<std::vector<std::uint8_t>> receiveFile(CameraState& st, int fd)
{
    std::vector<std::uint8_t> file;
    std::uint16_t last = 0;
    auto ack = packet(4, 0);
    ::send(fd, ack.data(), ack.size(), 0);
    int repeats = 0;
    while (!st.quit.load()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kWaitMs) <= 0) {
            if (++repeats > kRepeats)
                return std::nullopt;
            ::send(fd, ack.data(), ack.size(), 0);
            continue;
        }
        std::uint8_t in[4 + kBlock + 1];
        const ssize_t n = ::recv(fd, in, sizeof in, 0);
        if (n < 4)
            continue; // a refused port or a runt: wait on
        const std::uint16_t opcode = static_cast<std::uint16_t>((in[0] << 8) | in[1]);
        const std::uint16_t block = static_cast<std::uint16_t>((in[2] << 8) | in[3]);
        if (opcode == 5)
            return std::nullopt; // the client gave up
        if (opcode != 3 || static_cast<std::size_t>(n) > 4 + kBlock) {
            const auto e = packet(5, 4, "illegal TFTP operation");
            ::send(fd, e.data(), e.size(), 0);
            return std::nullopt;
        }
        if (block == last) { // our acknowledgement was lost: say it again
            ::send(fd, ack.data(), ack.size(), 0);
            continue;
        }
        if (block != static_cast<std::uint16_t>(last + 1))
            continue;
        repeats = 0;
        file.insert(file.end(), in + 4, in + n);
        last = block;
        ack = packet(4, block);
        ::send(fd, ack.data(), ack.size(), 0);
        if (static_cast<std::size_t>(n) - 4 < kBlock)
            return file;
    }
    return std::nullopt;
}

} // namespace

void serveTftp(CameraState& st, int fd)
{
    sockaddr_in local{};
    socklen_t localLen = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen);
    while (!st.quit.load()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        std::uint8_t in[600];
        sockaddr_in peer{};
        socklen_t peerLen = sizeof peer;
        const ssize_t n = ::recvfrom(fd, in, sizeof in, 0, reinterpret_cast<sockaddr*>(&peer), &peerLen);
        if (n <= 0)
            continue;
        std::string name, mode;
        const bool write = parseWriteRequest(in, static_cast<std::size_t>(n), &name, &mode);
        if (!write || (mode != "octet" && mode != "OCTET")) {
            const auto e = write ? packet(5, 0, "octet mode only") : packet(5, 4, "write requests only");
            ::sendto(fd, e.data(), e.size(), 0, reinterpret_cast<sockaddr*>(&peer), peerLen);
            continue;
        }
        // The transfer's own port, on the address the server listens on.
        const int t = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in own = local;
        own.sin_port = 0;
        if (t < 0 || ::bind(t, reinterpret_cast<sockaddr*>(&own), sizeof own) != 0 ||
            ::connect(t, reinterpret_cast<sockaddr*>(&peer), peerLen) != 0) {
            if (t >= 0)
                ::close(t);
            continue;
        }
        const auto file = receiveFile(st, t);
        ::close(t);
        if (!file)
            continue;
        const std::string path = st.kestra.uploadFile();
        if (!path.empty())
            std::ofstream(path, std::ios::binary | std::ios::trunc)
                .write(reinterpret_cast<const char*>(file->data()),
                       static_cast<std::streamsize>(file->size()));
        std::lock_guard g(st.config.mutex);
        st.config.firmwareName = name;
        st.config.firmwareBytes = file->size();
        st.config.firmwareInstalls++;
        st.config.reboots++; // the camera restarts with the new firmware
    }
}

} // namespace camsim
