// Plain POSIX peers on 127.0.0.1 for the socket client tests, written without the client so that
// a fault in the client cannot hide itself.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace loopback {

inline sockaddr_in address(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

inline int portOf(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// An owned descriptor.
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& o) noexcept : m_fd(o.release()) {}
    Fd& operator=(Fd&& o) noexcept
    {
        reset(o.release());
        return *this;
    }
    int get() const { return m_fd; }
    int release()
    {
        int f = m_fd;
        m_fd = -1;
        return f;
    }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

// A TCP listener on an ephemeral loopback port.
class Listener
{
public:
    explicit Listener(int backlog = 16)
    {
        m_fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in a = address(0);
        if (m_fd.get() < 0 || ::bind(m_fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(m_fd.get(), backlog) != 0)
            throw std::runtime_error("cannot listen on loopback");
        m_port = portOf(m_fd.get());
    }
    int port() const { return m_port; }
    int fd() const { return m_fd.get(); }
    // Waits up to `ms` for a connection.
    Fd accept(int ms = 5000)
    {
        pollfd p{m_fd.get(), POLLIN, 0};
        if (::poll(&p, 1, ms) != 1)
            return Fd();
        return Fd(::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
    }

private:
    Fd m_fd;
    int m_port = 0;
};

// A port on which nothing listens (bound once, then released).
inline int closedPort()
{
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = address(0);
    ::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    return portOf(fd.get());
}

inline bool sendAll(int fd, const std::string& data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads until the peer closes, `limit` bytes have come, or nothing arrives for `idleMs`.
inline std::string readAll(int fd, std::size_t limit = 1 << 24, int idleMs = 5000)
{
    std::string out;
    char buf[4096];
    while (out.size() < limit) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, idleMs) != 1)
            break;
        const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, limit - out.size()), 0);
        if (n <= 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

inline long long msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace loopback
