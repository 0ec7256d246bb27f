// The socket client. The hard part is closing from another thread: a reader blocked in poll()
// or recv() must wake, and the descriptor number must not be released (and perhaps reused by an
// unrelated open) while that reader can still pass it to the system. So the connection socket is
// held by a reference-counted SocketRef: each operation takes a reference under the lock for
// the time of its system calls, CloseConnection forgets the object's reference and shuts the
// socket down (which wakes every waiter), and the descriptor is closed by whoever lets go of the
// last reference (SocketRef's destructor), never by a count that another thread may be changing.
//
// This file: the object, its connection (connect, listen, accept, close), the time-outs and
// options, and the state queries. Name look-ups, sending, receiving and the notification window
// have files of their own (ws_client_*.cpp).
#include "io/ws_client_detail.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

namespace tessivor {

using namespace wsclient;

namespace {

sockaddr_in socketAddress(int family, int port, in_addr_t address)
{
    sockaddr_in a{};
    a.sin_family = static_cast<sa_family_t>(family);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = address;
    return a;
}

int localPortOf(int fd)
{
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0)
        return 0;
    return ntohs(local.sin_port);
}

} // namespace

CWSClient::CWSClient() = default;

CWSClient::~CWSClient()
{
    if (m_Notify) {
        m_Notify->stopWatcher();
        m_Notify->lookup.join();
    }
    CloseConnection();
    m_Notify.reset();
}

// ---- internal ----

CWSClient::SocketPtr CWSClient::useConnection() const
{
    std::lock_guard lock(m_Lock);
    return m_Socket;
}

CWSClient::SocketPtr CWSClient::useListener() const
{
    std::lock_guard lock(m_Lock);
    return m_ListenSocket;
}

CWSClient::SocketPtr CWSClient::adoptConnection(int fd, bool stream)
{
    std::lock_guard lock(m_Lock);
    if (m_Socket)
        return nullptr;
    m_Socket = std::make_shared<SocketRef>(fd, stream, *this);
    return m_Socket;
}

void CWSClient::dropConnection(const SocketPtr& s)
{
    std::lock_guard lock(m_Lock);
    if (m_Socket == s)
        m_Socket.reset();
}

int CWSClient::closeSocket(SocketPtr s)
{
    if (!s)
        return 0;
    int rc = 0;
    s->shutDown.store(true);
    // A datagram socket is shut down as well: on Linux that wakes a thread waiting in poll() or
    // recvfrom() on it, although the call itself reports ENOTCONN.
    if (SocketShutDown(s->fd, SHUT_RDWR) != 0 && s->stream && errno != ENOTCONN)
        rc = 1;
    // The object has forgotten the socket, so no new reference can be taken: the descriptor is
    // closed when this one or the last operation still using it lets go.
    s.reset();
    return rc;
}

void CWSClient::applyTimeOuts(int fd)
{
    int receiveMs, sendMs;
    {
        std::lock_guard lock(m_Lock);
        receiveMs = m_nReceiveTimeOut;
        sendMs = m_nSendTimeOut;
    }
    const timeval r = toTimeval(receiveMs);
    const timeval s = toTimeval(sendMs);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &r, sizeof r);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &s, sizeof s);
}

CWSClient::SocketPtr CWSClient::openConnection(const char (&address)[kAddressTextSize], int family, int type,
                                               const sockaddr_in* peer, int* error)
{
    {
        std::lock_guard lock(m_Lock);
        std::memcpy(m_szAddress.data(), address, kAddressTextSize);
        if (peer != nullptr)
            m_PeerAddress = *peer;
    }
    int fd = -1;
    if (CreateSocket(&fd, family, type, 0) != WSC_OK) {
        *error = WSC_SOCKET_NOT_CREATED;
        return nullptr;
    }
    SocketPtr s = adoptConnection(fd, type == SOCK_STREAM);
    if (!s) {
        ::close(fd);
        *error = WSC_ALREADY_OPEN;
    }
    return s;
}

void CWSClient::recordPorts(int fd, int remotePort)
{
    const int local = localPortOf(fd);
    std::lock_guard lock(m_Lock);
    m_nRemotePort = remotePort;
    m_nLocalPort = local;
}

// ---- connection ----

int CWSClient::Connect(int port, const char* host, int timeoutSeconds, int family, int type)
{
    if (useConnection())
        return OnError(WSC_ALREADY_OPEN);
    char address[kAddressTextSize] = {};
    if (IsAddress(host))
        copyText(address, sizeof address, host);
    else if (resolve(host, address, sizeof address, timeoutSeconds) != WSC_OK)
        return OnError(WSC_LOOKUP_FAILED);

    const sockaddr_in peer = socketAddress(family, port, ::inet_addr(address));
    int error = WSC_OK;
    const SocketPtr s = openConnection(address, family, type, &peer, &error);
    if (!s)
        return OnError(error);
    const int fd = s->fd;

    const bool timed = timeoutSeconds >= 0;
    if (timed && !setBlocking(fd, false)) {
        dropConnection(s);
        return OnError(WSC_CONNECT_FAILED);
    }
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (rc != 0) {
        const int err = errno;
        if (!timed || (err != EINPROGRESS && err != EINTR && err != EAGAIN)) {
            dropConnection(s);
            return OnError(WSC_CONNECT_FAILED);
        }
        short revents = 0;
        const int ready = socketwait::pollOne(fd, POLLOUT, socketwait::toPollMs(timeoutSeconds, 0), &revents);
        if (ready == 0) {
            dropConnection(s);
            return OnError(WSC_CONNECT_TIMEOUT);
        }
        // Writable means finished, but not necessarily connected: a refusal ends the wait at once
        // and leaves its reason in SO_ERROR.
        int soError = 0;
        socklen_t len = sizeof soError;
        if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0 ||
            s->shutDown.load()) {
            dropConnection(s);
            return OnError(WSC_CONNECT_FAILED);
        }
    }
    if (timed)
        setBlocking(fd, true);
    applyTimeOuts(fd);
    recordPorts(fd, port);
    const int hook = OnConnected(fd, host ? host : "");
    if (hook != 0) {
        dropConnection(s);
        return OnError(hook);
    }
    return OnError(WSC_OK);
}

int CWSClient::ConnectFromLocalPort(int localPort, int remotePort, const char* localAddress,
                                    const char* remoteAddress, int family, int type)
{
    if (useConnection())
        return OnError(WSC_ALREADY_OPEN);
    char address[kAddressTextSize] = {};
    copyText(address, sizeof address, remoteAddress ? remoteAddress : "");
    const sockaddr_in peer = socketAddress(family, remotePort, ::inet_addr(address));
    int error = WSC_OK;
    const SocketPtr s = openConnection(address, family, type, &peer, &error);
    if (!s)
        return OnError(error);
    const int fd = s->fd;
    const sockaddr_in local = socketAddress(
        family, localPort, (localAddress && *localAddress) ? ::inet_addr(localAddress) : htonl(INADDR_ANY));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        dropConnection(s);
        return OnError(WSC_BIND_FAILED);
    }
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    } while (rc != 0 && errno == EINTR && !s->shutDown.load());
    if (rc != 0) {
        dropConnection(s);
        return OnError(WSC_CONNECT_FAILED);
    }
    recordPorts(fd, remotePort);
    applyTimeOuts(fd);
    return OnError(WSC_OK);
}

int CWSClient::CreateUdpSocket(int /*localPort*/, int remotePort, const char* remoteAddress,
                               const char* /*localAddress*/)
{
    if (useConnection())
        return OnError(WSC_ALREADY_OPEN);
    char address[kAddressTextSize] = {};
    const char* remote = remoteAddress ? remoteAddress : "";
    if (std::strcmp(remote, "255.255.255.255") == 0 || IsAddress(remote))
        copyText(address, sizeof address, remote);
    else if (resolve(remote, address, sizeof address) != WSC_OK)
        return OnError(WSC_LOOKUP_FAILED);
    int error = WSC_OK;
    const SocketPtr s = openConnection(address, AF_INET, SOCK_DGRAM, nullptr, &error);
    if (!s)
        return OnError(error);
    const int fd = s->fd;
    recordPorts(fd, remotePort);
    applyTimeOuts(fd);
    return OnError(WSC_OK);
}

int CWSClient::CreateSocket(int* socket, int family, int type, int protocol)
{
    const int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0)
        return OnError(WSC_SOCKET_CALL_FAILED);
    *socket = fd;
    return OnError(WSC_OK);
}

int CWSClient::CloseConnection()
{
    SocketPtr connection, listener;
    std::shared_ptr<Lookup> lookup;
    {
        std::lock_guard lock(m_Lock);
        lookup = m_PendingLookup; // a connect still waiting for its look-up gives up
        connection = std::move(m_Socket);
        listener = std::move(m_ListenSocket);
        m_Socket.reset();
        m_ListenSocket.reset();
        m_nRemotePort = 0;
        m_nLocalPort = 0;
        m_nListenPort = 0;
        m_szAddress.fill(0);
    }
    if (lookup) {
        {
            std::lock_guard lock(lookup->lock);
            lookup->abandoned = true;
        }
        lookup->changed.notify_all();
    }
    int rc = 0;
    if (connection && closeSocket(std::move(connection)) != 0)
        rc = 1;
    if (listener && closeSocket(std::move(listener)) != 0)
        rc = 1;
    return OnError(rc);
}

int CWSClient::Listen(int port, int backlog, int family, const char* address)
{
    if (useListener())
        return OnError(WSC_ALREADY_OPEN);
    int fd = -1;
    if (CreateSocket(&fd, family, SOCK_STREAM, 0) != WSC_OK)
        return OnError(WSC_SOCKET_NOT_CREATED);
    auto s = std::make_shared<SocketRef>(fd, true, *this);
    sockaddr_in local{};
    local.sin_family = static_cast<sa_family_t>(family);
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    local.sin_addr.s_addr = (address && *address) ? ::inet_addr(address) : htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return OnError(WSC_BIND_FAILED);
    if (::listen(fd, backlog) != 0)
        return OnError(WSC_LISTEN_FAILED);
    const int listenPort = localPortOf(fd);
    {
        std::lock_guard lock(m_Lock);
        if (m_ListenSocket)
            return OnError(WSC_ALREADY_OPEN);
        m_ListenSocket = s;
        m_nListenPort = listenPort;
    }
    return OnError(WSC_OK);
}

int CWSClient::WaitForAccept(int seconds)
{
    const SocketPtr s = useListener();
    if (!s)
        return OnError(1);
    return OnError(SocketWaitForReceive(s->fd, seconds, 0) == 0 ? 0 : 1);
}

int CWSClient::AcceptConnection()
{
    const SocketPtr listener = useListener();
    if (!listener)
        return OnError(WSC_SOCKET_CALL_FAILED);
    SocketPtr previous;
    {
        std::lock_guard lock(m_Lock);
        previous = std::move(m_Socket);
        m_Socket.reset();
    }
    if (previous && closeSocket(std::move(previous)) != 0)
        return OnError(WSC_SOCKET_CALL_FAILED);

    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd;
    do {
        fd = ::accept4(listener->fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR && !listener->shutDown.load());
    if (fd < 0)
        return OnError(WSC_SOCKET_CALL_FAILED);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    if (!adoptConnection(fd, true)) {
        ::close(fd);
        return OnError(WSC_ALREADY_OPEN);
    }
    {
        std::lock_guard lock(m_Lock);
        copyText(m_szAddress.data(), m_szAddress.size(), text);
        m_PeerAddress = peer;
    }
    recordPorts(fd, ntohs(peer.sin_port));
    return OnError(OnConnected(fd, text));
}

// ---- hooks ----

int CWSClient::OnError(int code)
{
    return code;
}

bool CWSClient::OnReceiveProgress(int /*bytes*/)
{
    return !IsAborted();
}

bool CWSClient::OnSendProgress(int /*bytes*/)
{
    return !IsAborted();
}

bool CWSClient::IsAborted()
{
    return false;
}

// ---- settings and state ----

int CWSClient::SetReceiveTimeOut(int ms)
{
    const SocketPtr s = useConnection();
    int rc = 0;
    if (s) {
        const timeval tv = toTimeval(ms);
        rc = ::setsockopt(s->fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 ? 0 : -1;
    }
    if (rc == 0) {
        std::lock_guard lock(m_Lock);
        m_nReceiveTimeOut = ms;
    }
    return OnError(rc);
}

int CWSClient::SetSendTimeOut(int ms)
{
    const SocketPtr s = useConnection();
    int rc = 0;
    if (s) {
        const timeval tv = toTimeval(ms);
        rc = ::setsockopt(s->fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0 ? 0 : -1;
    }
    if (rc == 0) {
        std::lock_guard lock(m_Lock);
        m_nSendTimeOut = ms;
    }
    return OnError(rc);
}

int CWSClient::GetReceiveTimeOut() const
{
    std::lock_guard lock(m_Lock);
    return m_nReceiveTimeOut;
}

int CWSClient::GetSendTimeOut() const
{
    std::lock_guard lock(m_Lock);
    return m_nSendTimeOut;
}

int CWSClient::SetNonBlocking(int on)
{
    const SocketPtr s = useConnection();
    if (!s || !setBlocking(s->fd, on == 0))
        return OnError(WSC_SOCKET_CALL_FAILED);
    std::lock_guard lock(m_Lock);
    m_bNonBlocking = on != 0 ? 1 : 0;
    return OnError(WSC_OK);
}

int CWSClient::GetNonBlocking() const
{
    std::lock_guard lock(m_Lock);
    return m_bNonBlocking;
}

int CWSClient::GetSendBufferSize()
{
    int value = 0;
    return GetSocketOption(SO_SNDBUF, &value) == 0 ? value : -1;
}

int CWSClient::GetReceiveBufferSize()
{
    int value = 0;
    return GetSocketOption(SO_RCVBUF, &value) == 0 ? value : -1;
}

int CWSClient::SetSendBufferSize(int bytes)
{
    return SetSocketOption(SO_SNDBUF, bytes);
}

int CWSClient::SetReceiveBufferSize(int bytes)
{
    return SetSocketOption(SO_RCVBUF, bytes);
}

int CWSClient::SetSocketOption(int option, int value)
{
    const SocketPtr s = useConnection();
    if (!s)
        return -1;
    return ::setsockopt(s->fd, SOL_SOCKET, option, &value, sizeof value);
}

int CWSClient::GetSocketOption(int option, int* value)
{
    const SocketPtr s = useConnection();
    if (!s || !value)
        return -1;
    socklen_t len = sizeof *value;
    return ::getsockopt(s->fd, SOL_SOCKET, option, value, &len);
}

bool CWSClient::IsConnected()
{
    const SocketPtr s = useConnection();
    if (!s)
        return false;
    short revents = 0;
    const int r = socketwait::pollOne(s->fd, POLLIN, 0, &revents);
    if (r < 0 || (r == 1 && (revents & POLLNVAL)))
        return false;
    const bool readable = r == 1;
    char c;
    ssize_t n;
    do {
        n = ::recv(s->fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        switch (errno) {
        case EAGAIN:
            n = 0;
            break;
        case EINPROGRESS:
            return true;
        case ECONNRESET:
        case EFAULT:
        case EINVAL:
        case ENOTSOCK:
        case EBADF:
        case EMSGSIZE:
        case EOPNOTSUPP:
        case ENETDOWN:
        case ENETRESET:
        case EISCONN:
        case ENOTCONN:
        case ESHUTDOWN:
        case ETIMEDOUT:
            return false;
        default:
            break;
        }
    }
    return n != 0 || !readable;
}

int CWSClient::ResetWinsock()
{
    // Forgetting a socket without closing it would leak its descriptor: close them instead.
    CloseConnection();
    std::lock_guard lock(m_Lock);
    m_bNonBlocking = 0;
    return OnError(WSC_OK);
}

int CWSClient::GetRemotePort() const
{
    std::lock_guard lock(m_Lock);
    return m_nRemotePort;
}

int CWSClient::GetLocalPort() const
{
    std::lock_guard lock(m_Lock);
    return m_nLocalPort;
}

int CWSClient::GetListenPort() const
{
    std::lock_guard lock(m_Lock);
    return m_nListenPort;
}

int CWSClient::GetSocket() const
{
    std::lock_guard lock(m_Lock);
    return m_Socket ? m_Socket->fd : -1;
}

sockaddr_in CWSClient::GetPeerAddress() const
{
    std::lock_guard lock(m_Lock);
    return m_PeerAddress;
}

} // namespace tessivor
