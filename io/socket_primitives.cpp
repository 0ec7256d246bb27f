#include "io/socket_primitives.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tessivor {

int CSocketPrimitives::OnConnected(int /*socket*/, const char* /*peer*/)
{
    return 0;
}

int CSocketPrimitives::SocketClose(int socket)
{
    // close() is not restarted after EINTR: on Linux the descriptor is released either way.
    return ::close(socket);
}

int CSocketPrimitives::SocketShutDown(int socket, int how)
{
    return ::shutdown(socket, how);
}

int CSocketPrimitives::SocketRecv(int socket, void* buffer, int size, int flags)
{
    if (size < 0)
        size = 0;
    ssize_t n;
    do {
        n = ::recv(socket, buffer, static_cast<size_t>(size), flags);
    } while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

int CSocketPrimitives::SocketSend(int socket, const void* data, int length, int flags)
{
    if (length < 0)
        length = 0;
    ssize_t n;
    do {
        n = ::send(socket, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

bool CSocketPrimitives::IsDataWaiting(int socket)
{
    int waiting = 0;
    return ::ioctl(socket, FIONREAD, &waiting) == 0 && waiting > 0;
}

int CSocketPrimitives::SocketWaitForReceive(int socket, int seconds, int microseconds)
{
    short revents = 0;
    const int r = socketwait::pollOne(socket, POLLIN, socketwait::toPollMs(seconds, microseconds), &revents);
    // A socket whose peer closed, or that another thread shut down, reports POLLIN or POLLHUP:
    // both mean a receive will not block.
    if (r == 1 && (revents & (POLLIN | POLLHUP | POLLERR)) != 0)
        return 0;
    return 1;
}

namespace socketwait {

int toPollMs(int seconds, int microseconds)
{
    if (seconds < 0)
        return -1;
    const long long ms =
        static_cast<long long>(seconds) * 1000 + (microseconds > 0 ? microseconds / 1000 : 0);
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

int pollOne(int socket, short events, int timeoutMs, short* revents)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    int wait = timeoutMs;
    while (true) {
        pollfd p{socket, events, 0};
        const int r = ::poll(&p, 1, wait);
        if (r >= 0) {
            *revents = p.revents;
            return r;
        }
        if (errno != EINTR)
            return -1;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
    }
}

} // namespace socketwait

} // namespace tessivor
