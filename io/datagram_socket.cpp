#include "io/datagram_socket.h"

#include "platform/clock.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tessivor {

namespace {

// Without an eventfd a raised signal is seen within this time.
constexpr int kFlagPollMs = 50;

// What is left of a wait of `totalMs` that began at tick `start` of the active clock.
int remainingMs(std::uint32_t start, int totalMs)
{
    const std::uint32_t passed = ticksSince(start);
    return passed >= static_cast<std::uint32_t>(totalMs) ? 0 : totalMs - static_cast<int>(passed);
}

} // namespace

WakeSignal::WakeSignal() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeSignal::~WakeSignal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void WakeSignal::raise()
{
    m_raised.store(true, std::memory_order_release);
    if (m_fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_fd, &one, sizeof one);
    }
}

void WakeSignal::reset()
{
    m_raised.store(false, std::memory_order_release);
    if (m_fd >= 0) {
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_fd, &value, sizeof value);
    }
}

sockaddr_in ipv4Address(const std::uint8_t* address, std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    auto* b = reinterpret_cast<std::uint8_t*>(&a.sin_addr.s_addr);
    for (int i = 0; i < 4; ++i)
        b[i] = address[i];
    return a;
}

bool ipv4Address(const std::string& dotted, std::uint16_t port, sockaddr_in* out)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, dotted.c_str(), &a.sin_addr) != 1)
        return false;
    *out = a;
    return true;
}

bool DatagramSocket::open()
{
    close();
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return m_fd >= 0;
}

void DatagramSocket::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool DatagramSocket::setBroadcast(bool on)
{
    const int v = on ? 1 : 0;
    return ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &v, sizeof v) == 0;
}

bool DatagramSocket::setReuseAddress(bool on)
{
    const int v = on ? 1 : 0;
    return ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &v, sizeof v) == 0;
}

bool DatagramSocket::bind(const sockaddr_in& local)
{
    return ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool DatagramSocket::joinGroup(const in_addr& group, const in_addr& interfaceAddress)
{
    ip_mreq m{};
    m.imr_multiaddr = group;
    m.imr_interface = interfaceAddress;
    return ::setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
}

bool DatagramSocket::setMulticastInterface(const in_addr& interfaceAddress)
{
    return ::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &interfaceAddress, sizeof interfaceAddress) == 0;
}

bool DatagramSocket::setMulticastLoop(bool on)
{
    const unsigned char v = on ? 1 : 0;
    return ::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_LOOP, &v, sizeof v) == 0;
}

bool DatagramSocket::sendTo(std::span<const std::uint8_t> data, const sockaddr_in& to)
{
    if (m_fd < 0)
        return false;
    ssize_t n;
    do {
        n = ::sendto(m_fd, data.data(), data.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(data.size());
}

DatagramSocket::Wait DatagramSocket::receive(std::span<std::uint8_t> buffer, std::size_t* received,
                                             int timeoutMs, std::initializer_list<const WakeSignal*> wakes,
                                             sockaddr_in* from)
{
    *received = 0;
    if (m_fd < 0)
        return Wait::Failed;
    const int totalMs = timeoutMs < 0 ? 0 : timeoutMs;
    const std::uint32_t start = tickCount();
    std::vector<pollfd> fds{{m_fd, POLLIN, 0}};
    bool flagOnly = false;
    for (const WakeSignal* w : wakes) {
        if (!w)
            continue;
        if (w->fd() >= 0)
            fds.push_back({w->fd(), POLLIN, 0});
        else
            flagOnly = true;
    }
    while (true) {
        for (const WakeSignal* w : wakes)
            if (w && w->raised())
                return Wait::Woken;
        int left = remainingMs(start, totalMs);
        if (flagOnly && left > kFlagPollMs)
            left = kFlagPollMs;
        for (auto& p : fds)
            p.revents = 0;
        const int r = activeClock().waitReady(fds.data(), fds.size(), left);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return Wait::Failed;
        }
        if (r == 0 || (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) == 0) {
            if (r == 0 && remainingMs(start, totalMs) == 0)
                return Wait::TimedOut;
            continue; // a wake descriptor fired (checked above) or a short flag poll ended
        }
        sockaddr_in peer{};
        socklen_t peerLength = sizeof peer;
        // MSG_TRUNC makes the call return the datagram's real length, so an oversized one is seen.
        const ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&peer), &peerLength);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return Wait::Failed;
        }
        if (static_cast<std::size_t>(n) > buffer.size())
            return Wait::Oversized;
        *received = static_cast<std::size_t>(n);
        if (from)
            *from = peer;
        return Wait::Received;
    }
}

} // namespace tessivor
