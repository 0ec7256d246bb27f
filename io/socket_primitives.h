// The system calls that the socket client stands on, one virtual each, so that a derived client
// (or a test) can watch or replace a single call. Sockets are POSIX file descriptors; -1 is "no
// socket". Every call restarts itself after EINTR. Results are the system call's own: -1 on
// failure with errno set, except where a comment says otherwise.
#pragma once

namespace tessivor {

class CSocketPrimitives
{
public:
    virtual ~CSocketPrimitives() = default;

    // Called once a connection is made (connect or accept); `peer` is the host text the caller
    // gave (connect) or the peer's dotted address (accept). Non-zero aborts the connection and
    // becomes the operation's result.
    virtual int OnConnected(int socket, const char* peer);
    virtual int SocketClose(int socket);
    // how: 0 receive, 1 send, 2 both.
    virtual int SocketShutDown(int socket, int how);
    virtual int SocketRecv(int socket, void* buffer, int size, int flags);
    // Never raises SIGPIPE: a send to a reset peer fails with EPIPE instead.
    virtual int SocketSend(int socket, const void* data, int length, int flags);
    // True when the system reports more than 0 bytes ready to be received.
    virtual bool IsDataWaiting(int socket);
    // 0 when the socket is readable within the time (or already closed by either side, so that a
    // receive returns at once), 1 on time-out or error. A negative time waits without limit.
    virtual int SocketWaitForReceive(int socket, int seconds, int microseconds);
};

namespace socketwait {

// Milliseconds for poll(): negative seconds mean no limit (-1); the sum is capped so that it
// never overflows.
int toPollMs(int seconds, int microseconds);

// poll() on one descriptor for `events`, restarted after EINTR with the time that is left.
// Returns poll's result: 1 ready (revents filled), 0 time-out, -1 error.
int pollOne(int socket, short events, int timeoutMs, short* revents);

} // namespace socketwait

} // namespace tessivor
