// A loopback TCP port that refuses every connection for as long as the object lives: the socket
// is bound (so nobody else gets the port) but never listens. Tests that run the image loop point
// the control here, so that it never reaches beyond this machine.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tessivor::testing {

class RefusedPort
{
public:
    RefusedPort()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("cannot reserve a loopback port");
        m_port = ntohs(a.sin_port);
    }
    ~RefusedPort() { ::close(m_fd); }
    RefusedPort(const RefusedPort&) = delete;
    RefusedPort& operator=(const RefusedPort&) = delete;

    static constexpr const char* kAddress = "127.0.0.1";
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

} // namespace tessivor::testing
