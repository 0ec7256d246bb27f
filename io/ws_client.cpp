// The socket client. The hard part is closing from another thread: a reader blocked in poll()
// or recv() must wake, and the descriptor number must not be released (and perhaps reused by an
// unrelated open) while that reader can still pass it to the system. So the connection socket is
// held by a reference-counted SocketRef: each operation takes a reference under the lock for
// the time of its system calls, CloseConnection forgets the object's reference and shuts the
// socket down (which wakes every waiter), and the descriptor is closed by whoever lets go of the
// last reference.
#include "io/ws_client.h"

#include "io/data_source.h"
#include "io/file_data_source.h"
#include "platform/clock.h"
#include "platform/control_window.h"
#include "platform/trace.h"
#include "platform/worker_thread.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tessivor {

struct CWSClient::SocketRef
{
    int fd;
    bool stream;
    std::atomic<bool> shutDown{false}; // set by CloseConnection from any thread

    SocketRef(int f, bool s) : fd(f), stream(s) {}
    ~SocketRef()
    {
        if (fd >= 0)
            ::close(fd);
    }
    SocketRef(const SocketRef&) = delete;
    SocketRef& operator=(const SocketRef&) = delete;
};

namespace {

constexpr int kTextLinePolls = 120;     // 100 ms apart: 12 seconds for a line to start
constexpr int kTextLineEarlyPolls = 60; // data this early gets 100 ms more to complete the line
constexpr int kPacedChunk = 200;

constexpr auto kLookupWaitSlice = std::chrono::milliseconds(100); // IsAborted is asked this often
// Look-ups that a silent name server holds pile up when every reconnect starts one; beyond this
// many still running in the process, a new one fails at once instead of adding a thread.
constexpr int kMaxLookupsRunning = 64;
std::atomic<int> g_lookupsRunning{0};

// The first IPv4 address of `host` as dotted text: 0, or WSC_HOST_NOT_FOUND.
int lookupIPv4(const std::string& host, std::array<char, INET_ADDRSTRLEN>* text)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return CWSClient::WSC_HOST_NOT_FOUND;
    const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const bool ok = ::inet_ntop(AF_INET, &in->sin_addr, text->data(), text->size()) != nullptr;
    ::freeaddrinfo(found);
    return ok ? CWSClient::WSC_OK : CWSClient::WSC_HOST_NOT_FOUND;
}

// The host part of a look-up name: the text after its last "@".
std::string hostPart(const char* name)
{
    const char* at = std::strrchr(name, '@');
    return at ? at + 1 : name;
}

void copyText(char* out, std::size_t outSize, const char* text);

// Copies a looked-up address into the caller's buffer: 0, or WSC_BUFFER_TOO_SMALL.
int copyAddress(const char* address, char* buffer, int size)
{
    if (size < 0 || std::strlen(address) + 1 > static_cast<std::size_t>(size))
        return CWSClient::WSC_BUFFER_TOO_SMALL;
    copyText(buffer, static_cast<std::size_t>(size), address);
    return CWSClient::WSC_OK;
}

void copyText(char* out, std::size_t outSize, const char* text)
{
    if (outSize == 0)
        return;
    const std::size_t n = std::min(std::strlen(text), outSize - 1);
    std::memcpy(out, text, n);
    out[n] = 0;
}

int textLength(const void* data)
{
    const std::size_t n = data ? std::strlen(static_cast<const char*>(data)) : 0;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

bool setBlocking(int fd, bool blocking)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return wanted == flags || ::fcntl(fd, F_SETFL, wanted) == 0;
}

timeval toTimeval(int ms)
{
    if (ms < 0)
        ms = 0;
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

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

bool contains(const char* data, int length, const char* marker)
{
    const std::size_t m = std::strlen(marker);
    if (m == 0)
        return true;
    if (static_cast<std::size_t>(length) < m)
        return false;
    // Bytes arrive one at a time and the search stops at the first hit, so a marker can only
    // end at the newest byte.
    return std::memcmp(data + length - static_cast<int>(m), marker, m) == 0;
}

const char* markerOf(int kind)
{
    switch (kind) {
    case CWSClient::MARKER_HEADER_END:
        return "\r\n\r\n";
    case CWSClient::MARKER_HTTP:
        return "HTTP";
    default:
        return "";
    }
}

} // namespace

// The notification window and the threads that report to it. The window belongs to the thread
// that created it; the watcher and the look-up thread only post to it.
struct CWSClient::NotifySupport
{
    std::unique_ptr<ControlWindow> window;
    CWSClient* attached = nullptr; // set by the attach message
    WorkerThread watcher;
    std::atomic<bool> stopWatch{false};
    WorkerThread lookup;
    std::atomic<bool> lookupBusy{false}; // cleared before the answer is posted

    void stopWatcher()
    {
        stopWatch.store(true);
        watcher.join();
        stopWatch.store(false);
    }
};

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
    m_Socket = std::make_shared<SocketRef>(fd, stream);
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
    // Only this function and the operations hold references, and no new one can be taken once the
    // object has forgotten the socket: a count of 1 means nobody else can still use the number.
    if (s.use_count() == 1) {
        const int fd = s->fd;
        s->fd = -1;
        if (SocketClose(fd) != 0)
            rc = 1;
    }
    return rc;
}

// One look-up, shared by the thread that runs getaddrinfo and the caller that waits for it.
struct CWSClient::Lookup
{
    std::mutex lock;
    std::condition_variable changed;
    bool finished = false;
    bool abandoned = false; // CloseConnection from another thread ended the wait
    int result = WSC_HOST_NOT_FOUND;
    std::array<char, INET_ADDRSTRLEN> address{};
};

int CWSClient::resolve(const char* name, char* buffer, int size, int timeoutSeconds)
{
    if (!name)
        return WSC_HOST_NOT_FOUND;
    const std::string host = hostPart(name);
    if (host.empty())
        return WSC_HOST_NOT_FOUND;

    // The thread holds the look-up, never the object, so it may outlive both the wait and the
    // object. Without a thread (too many still running, or none to be had) the look-up fails.
    auto job = std::make_shared<Lookup>();
    bool started = false;
    if (g_lookupsRunning.fetch_add(1) < kMaxLookupsRunning) {
        try {
            std::thread([job, host] {
                ::pthread_setname_np(::pthread_self(), "host-lookup");
                std::array<char, INET_ADDRSTRLEN> text{};
                const int rc = lookupIPv4(host, &text);
                {
                    std::lock_guard lock(job->lock);
                    job->result = rc;
                    job->address = text;
                    job->finished = true;
                }
                job->changed.notify_all();
                g_lookupsRunning.fetch_sub(1);
            }).detach();
            started = true;
        } catch (const std::system_error&) {
        }
    }
    if (!started) {
        g_lookupsRunning.fetch_sub(1);
        trace("no thread for the look-up of \"%s\"\r\n", host.c_str());
        return WSC_HOST_NOT_FOUND;
    }
    {
        {
            std::lock_guard lock(m_Lock);
            m_PendingLookup = job;
        }
        const bool timed = timeoutSeconds >= 0;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(std::max(timeoutSeconds, 1));
        std::unique_lock lock(job->lock);
        while (!job->finished && !job->abandoned &&
               !(timed && std::chrono::steady_clock::now() >= deadline)) {
            job->changed.wait_for(lock, kLookupWaitSlice);
            if (job->finished)
                break;
            lock.unlock();
            const bool aborted = IsAborted() || (m_LookupAbort && m_LookupAbort());
            lock.lock();
            if (aborted)
                break;
        }
        const bool finished = job->finished;
        lock.unlock();
        {
            std::lock_guard objectLock(m_Lock);
            if (m_PendingLookup == job)
                m_PendingLookup.reset();
        }
        if (!finished) {
            trace("look-up of \"%s\" given up\r\n", host.c_str());
            return WSC_HOST_NOT_FOUND;
        }
    }
    return job->result != WSC_OK ? job->result : copyAddress(job->address.data(), buffer, size);
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
    auto s = std::make_shared<SocketRef>(fd, true);
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

// ---- sending ----

int CWSClient::sendFromOpen(const SocketPtr& s, CDataSource* source)
{
    char block[kSendPiece];
    long long total = 0;
    while (true) {
        const int n = source->Read(block, kSendPiece);
        if (n < 1)
            return WSC_OK;
        // The whole block must go: a short send would silently drop the rest of it.
        int sent = 0;
        while (sent < n) {
            const int k = SocketSend(s->fd, block + sent, n - sent, 0);
            if (k <= 0)
                return WSC_SEND_ERROR;
            sent += k;
        }
        total += n;
        if (!OnSendProgress(static_cast<int>(std::min<long long>(total, INT_MAX))) || IsAborted())
            return WSC_ABORTED;
    }
}

int CWSClient::SendFromOpenSource(CDataSource* source)
{
    const SocketPtr s = useConnection();
    if (!s)
        return OnError(WSC_NO_SOCKET);
    if (!source)
        return OnError(WSC_SOURCE_OPEN_FAILED);
    return OnError(sendFromOpen(s, source));
}

int CWSClient::SendFromSource(CDataSource* source)
{
    const SocketPtr s = useConnection();
    if (!s)
        return OnError(WSC_NO_SOCKET);
    if (!source || source->Open(0) == -1)
        return OnError(WSC_SOURCE_OPEN_FAILED);
    const int rc = sendFromOpen(s, source);
    source->Close();
    return OnError(rc);
}

int CWSClient::Send(const void* data, int length)
{
    if (length < 1)
        length = textLength(data);
    const SocketPtr s = useConnection();
    if (!s || !data)
        return 0;
    const int n = SocketSend(s->fd, data, length, 0);
    return n < 0 ? 0 : n;
}

int CWSClient::SendAll(const void* data, int length)
{
    if (length < 1)
        length = textLength(data);
    const char* p = static_cast<const char*>(data);
    int total = 0;
    while (total < length) {
        const int n = Send(p + total, length - total);
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

int CWSClient::SendAsLines(const char* text, int length, int pieceSize)
{
    if (!text)
        return 0;
    if (length < 0)
        length = textLength(text);
    int sent = 0;
    while (sent < length && !IsAborted()) {
        const int piece = pieceSize < 1 ? length - sent : std::min(pieceSize, length - sent);
        if (SendAll(text + sent, piece) != piece)
            break;
        sent += piece;
        if (SendAll("\r\n", 2) != 2)
            break;
    }
    return sent;
}

int CWSClient::SendFile(const char* fileName)
{
    CFileDataSource file(fileName, kFileBufferSize);
    return SendFromSource(&file);
}

int CWSClient::SendTo(const void* data, int* length)
{
    const SocketPtr s = useConnection();
    if (!s)
        return OnError(WSC_NO_SOCKET);
    sockaddr_in to{};
    {
        std::lock_guard lock(m_Lock);
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(m_nRemotePort));
        to.sin_addr.s_addr = ::inet_addr(m_szAddress.data());
        // inet_addr cannot tell the broadcast address from its failure value; the text is
        // checked before it is stored, so INADDR_NONE here is the broadcast address.
    }
    ssize_t n;
    do {
        n = ::sendto(s->fd, data, static_cast<std::size_t>(std::max(0, *length)), MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        *length = 0;
        return OnError(WSC_SEND_ERROR);
    }
    *length = static_cast<int>(n);
    return OnError(WSC_OK);
}

int CWSClient::WaitForSend(int seconds, int microseconds)
{
    const SocketPtr s = useConnection();
    if (!s)
        return OnError(1);
    short revents = 0;
    const int r = socketwait::pollOne(s->fd, POLLOUT, socketwait::toPollMs(seconds, microseconds), &revents);
    return OnError(r == 1 && (revents & POLLOUT) != 0 ? 0 : 1);
}

// ---- receiving ----

int CWSClient::receiveIntoOpen(const SocketPtr& s, CDataSource* source, int timeoutSeconds, long long cap)
{
    char block[kReceivePiece];
    long long total = 0;
    while (cap <= 0 || total < cap) {
        if (timeoutSeconds > 0 && SocketWaitForReceive(s->fd, timeoutSeconds, 0) != 0)
            return WSC_RECEIVE_TIMEOUT;
        const int piece =
            cap > 0 ? static_cast<int>(std::min<long long>(kReceivePiece, cap - total)) : kReceivePiece;
        const int n = SocketRecv(s->fd, block, piece, 0);
        if (n == 0)
            break;
        if (n < 0)
            return WSC_RECEIVE_ERROR;
        if (source->Write(block, n) < n)
            return WSC_SOURCE_SHORT_WRITE;
        total += n;
        if (!OnReceiveProgress(static_cast<int>(std::min<long long>(total, INT_MAX))) || IsAborted())
            return WSC_ABORTED;
    }
    return WSC_OK;
}

int CWSClient::ReceiveToOpenSource(CDataSource* source, int timeoutSeconds, int limit)
{
    const SocketPtr s = useConnection();
    if (!s)
        return OnError(WSC_NO_SOCKET);
    if (!source)
        return OnError(WSC_SOURCE_OPEN_FAILED);
    // The source's size is its end position; the position is restored afterwards.
    const std::int32_t here = source->Seek(0, 1);
    const std::int32_t size = source->Seek(0, 2);
    source->Seek(here, 0);
    long long cap = size > 0 ? size : 0;
    if (limit > 0 && (cap == 0 || limit < cap))
        cap = limit;
    return OnError(receiveIntoOpen(s, source, timeoutSeconds, cap));
}

int CWSClient::ReceiveToSource(CDataSource* source, int mode, int timeoutSeconds, int limit)
{
    const SocketPtr s = useConnection();
    if (!s)
        return OnError(WSC_NO_SOCKET);
    if (mode != 1 && mode != 2)
        return OnError(WSC_BAD_OPEN_MODE);
    if (!source || source->Open(mode) == -1)
        return OnError(WSC_SOURCE_OPEN_FAILED);
    const int rc = receiveIntoOpen(s, source, timeoutSeconds, limit > 0 ? limit : 0);
    source->Close();
    return OnError(rc);
}

int CWSClient::ReceiveToFile(const char* fileName, int mode, int timeoutSeconds, int limit)
{
    CFileDataSource file(fileName, kFileBufferSize);
    return ReceiveToSource(&file, mode, timeoutSeconds, limit);
}

int CWSClient::Receive(void* buffer, int size, int timeoutSeconds)
{
    const SocketPtr s = useConnection();
    if (!s || !buffer)
        return -1;
    if (timeoutSeconds >= 1 && timeoutSeconds <= 32766 && SocketWaitForReceive(s->fd, timeoutSeconds, 0) != 0)
        return 0;
    return SocketRecv(s->fd, buffer, size, 0);
}

int CWSClient::ReceiveAll(void* buffer, int size, int timeoutSeconds)
{
    const SocketPtr s = useConnection();
    if (!s || !buffer)
        return 0;
    char* p = static_cast<char*>(buffer);
    int total = 0;
    for (int calls = 0; total < size && calls < kMaxEmptyReceives; ++calls) {
        if (timeoutSeconds >= 1 && SocketWaitForReceive(s->fd, timeoutSeconds, 0) != 0)
            break;
        const int n = SocketRecv(s->fd, p + total, size - total, 0);
        if (n < 0)
            break;
        if (n == 0 && s->stream)
            break; // the peer closed: every further receive would return 0 as well
        total += n;
    }
    return total;
}

int CWSClient::receiveMarked(char* buffer, int size, int timeoutSeconds, int kind, bool paced)
{
    const SocketPtr s = useConnection();
    if (!s || !buffer)
        return 0;
    const char* marker = markerOf(kind);
    const bool bulk = paced && kind == MARKER_NONE; // paced kind 0 has no marker: it counts bytes
    int total = 0;
    int empty = 0;
    while (total < size && empty < kMaxEmptyReceives) {
        if (timeoutSeconds >= 1 && SocketWaitForReceive(s->fd, timeoutSeconds, 0) != 0)
            break;
        int want = 1;
        if (bulk && total < kPacedChunk)
            want = std::min(kPacedChunk - total, size - total);
        const int n = SocketRecv(s->fd, buffer + total, want, 0);
        if (n < 0)
            break;
        if (n == 0) {
            if (s->stream)
                break; // the peer closed
            ++empty;
            if (paced)
                sleepMs(50);
        } else {
            empty = 0;
            total += n;
        }
        if (bulk) {
            if (total > kPacedChunk)
                break;
        } else if (contains(buffer, total, marker)) {
            break;
        }
    }
    return total;
}

int CWSClient::ReceiveUntilMarker(char* buffer, int size, int timeoutSeconds, int kind)
{
    return receiveMarked(buffer, size, timeoutSeconds, kind, false);
}

int CWSClient::ReceiveUntilMarkerPaced(char* buffer, int size, int timeoutSeconds, int kind)
{
    return receiveMarked(buffer, size, timeoutSeconds, kind, true);
}

int CWSClient::ReceiveTextLine(char* buffer, int size, int timeoutSeconds)
{
    if (!buffer || size < 1)
        return 0;
    buffer[0] = 0;
    const SocketPtr s = useConnection();
    if (!s)
        return 0;
    std::vector<char> scratch(static_cast<std::size_t>(size));
    int total = 0;
    while (total < size - 1) {
        if (IsAborted()) {
            trace("IsAborted time out\r\n");
            break;
        }
        if (timeoutSeconds > 0 && WaitForReceive(timeoutSeconds, 0) != 0) {
            trace("WaitForReceive time out\r\n");
            break;
        }
        bool waiting = false;
        bool closed = false;
        for (int poll = 0; poll < kTextLinePolls; ++poll) {
            if (IsDataWaiting(s->fd)) {
                waiting = true;
                if (poll < kTextLineEarlyPolls)
                    sleepMs(100); // let the rest of the line arrive
                break;
            }
            // Readable with nothing waiting means the peer closed: the peek below then reports
            // it, instead of twelve seconds of polling an ended connection.
            if (SocketWaitForReceive(s->fd, 0, 0) == 0) {
                closed = true;
                break;
            }
            sleepMs(100);
        }
        if (!waiting && !closed) {
            trace("IsDataWaiting time out\r\n");
            break;
        }
        const int room = size - 1 - total;
        const int peeked = SocketRecv(s->fd, scratch.data(), room, MSG_PEEK);
        if (peeked <= 0) {
            trace("SocketRecv time out\r\n");
            break;
        }
        const void* lf = std::memchr(scratch.data(), '\n', static_cast<std::size_t>(peeked));
        const int take = lf ? static_cast<int>(static_cast<const char*>(lf) - scratch.data()) + 1 : peeked;
        const int got = SocketRecv(s->fd, buffer + total, take, 0);
        if (got <= 0)
            break;
        total += got;
        buffer[total] = 0;
        if (lf && got == take)
            break;
    }
    buffer[total] = 0;
    return total;
}

int CWSClient::ClearReceiveBuffer()
{
    const SocketPtr s = useConnection();
    if (!s)
        return 0;
    char drop[256];
    while (IsDataWaiting(s->fd)) {
        if (SocketRecv(s->fd, drop, sizeof drop, 0) <= 0)
            break;
    }
    return 0;
}

int CWSClient::ReceiveFrom(void* buffer, int* size, int timeoutSeconds)
{
    const SocketPtr s = useConnection();
    if (!s)
        return OnError(WSC_NO_SOCKET);
    const int capacity = std::max(0, *size);
    if (SocketWaitForReceive(s->fd, timeoutSeconds, 0) != 0)
        return OnError(WSC_RECEIVE_TIMEOUT);
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n;
    do {
        // MSG_TRUNC makes the call return the datagram's real length, so an oversize one is seen.
        n = ::recvfrom(s->fd, buffer, static_cast<std::size_t>(capacity), MSG_TRUNC,
                       reinterpret_cast<sockaddr*>(&from), &len);
    } while (n < 0 && errno == EINTR);
    if (n < 0 || s->shutDown.load()) {
        *size = 0;
        return OnError(WSC_RECEIVE_ERROR);
    }
    {
        std::lock_guard lock(m_Lock);
        m_PeerAddress = from;
    }
    if (n > capacity) {
        *size = capacity;
        return OnError(WSC_SOCKET_CALL_FAILED);
    }
    *size = static_cast<int>(n);
    return OnError(WSC_OK);
}

int CWSClient::WaitForReceive(int seconds, int microseconds)
{
    const SocketPtr s = useConnection();
    if (!s)
        return OnError(1);
    return OnError(SocketWaitForReceive(s->fd, seconds, microseconds));
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

// ---- settings and look-ups ----

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

bool CWSClient::IsAddress(const char* text)
{
    return text && *text && ::inet_addr(text) != INADDR_NONE;
}

int CWSClient::GetAddressFromName(const char* name, char* buffer, int size)
{
    return OnError(resolve(name, buffer, size));
}

int CWSClient::GetNameFromAddress(const char* address, char* buffer, int size)
{
    sockaddr_in in{};
    in.sin_family = AF_INET;
    if (!address || ::inet_pton(AF_INET, address, &in.sin_addr) != 1)
        return OnError(WSC_HOST_NOT_FOUND);
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, host, sizeof host, nullptr, 0,
                      NI_NAMEREQD) != 0)
        return OnError(WSC_HOST_NOT_FOUND);
    if (size < 0 || std::strlen(host) + 1 > static_cast<std::size_t>(size))
        return OnError(WSC_BUFFER_TOO_SMALL);
    copyText(buffer, static_cast<std::size_t>(size), host);
    return OnError(WSC_OK);
}

int CWSClient::GetLocalAddress(char* buffer, int size, int useSocket)
{
    if (!buffer || size < 1)
        return OnError(WSC_BUFFER_TOO_SMALL);
    if (!useSocket) {
        char host[256] = {};
        char text[INET_ADDRSTRLEN] = {};
        if (::gethostname(host, sizeof host - 1) == 0 && resolve(host, text, sizeof text) == WSC_OK) {
            copyText(buffer, static_cast<std::size_t>(size), text);
            return OnError(WSC_OK);
        }
    }
    const SocketPtr s = useConnection();
    if (!s)
        return OnError(WSC_SOCKET_CALL_FAILED);
    sockaddr_in local{};
    socklen_t len = sizeof local;
    char text[INET_ADDRSTRLEN] = {};
    if (::getsockname(s->fd, reinterpret_cast<sockaddr*>(&local), &len) != 0 ||
        !::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text))
        return OnError(WSC_SOCKET_CALL_FAILED);
    copyText(buffer, static_cast<std::size_t>(size), text);
    return OnError(WSC_OK);
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

// ---- notification window ----

int CWSClient::CreateNotifyWindow(int /*instance*/)
{
    if (m_Notify)
        return OnError(WSC_OK);
    auto notify = std::make_unique<NotifySupport>();
    NotifySupport* n = notify.get();
    notify->window = std::make_unique<ControlWindow>([n](const WindowMessage& msg, std::intptr_t*) {
        const auto l = static_cast<std::uint32_t>(msg.lParam);
        const int low = static_cast<int>(l & 0xFFFF);
        const int high = static_cast<int>(l >> 16);
        if (msg.message == WM_WSC_ATTACH) {
            n->attached = reinterpret_cast<CWSClient*>(msg.lParam);
            return true;
        }
        if (!n->attached)
            return false;
        switch (msg.message) {
        case WM_WSC_SELECT:
            n->attached->OnAsyncSelect(low, high);
            return true;
        case WM_WSC_HOSTBYADDR:
            n->attached->OnAsyncHostByAddr(high);
            return true;
        case WM_WSC_HOSTBYNAME:
            n->attached->OnAsyncHostByName(high);
            return true;
        default:
            return false;
        }
    });
    notify->window->send(WM_WSC_ATTACH, 0, reinterpret_cast<std::intptr_t>(this));
    m_Notify = std::move(notify);
    return OnError(WSC_OK);
}

int CWSClient::AsyncSelect(long events)
{
    const SocketPtr s = useConnection();
    if (!m_Notify || !s)
        return OnError(WSC_SOCKET_CALL_FAILED);
    m_Notify->stopWatcher();
    if (!setBlocking(s->fd, false))
        return OnError(WSC_SOCKET_CALL_FAILED);
    {
        std::lock_guard lock(m_Lock);
        m_bNonBlocking = 1;
    }
    if (events == 0)
        return OnError(WSC_OK);
    if (!m_Notify->watcher.start("wsc-select", [this, events] { watchEvents(events); }))
        return OnError(WSC_SOCKET_CALL_FAILED);
    return OnError(WSC_OK);
}

void CWSClient::watchEvents(long events)
{
    const WindowHandle window = m_Notify->window->handle();
    auto post = [window](long event, int error) {
        postMessage(window, WM_WSC_SELECT, 0,
                    makeLParam(static_cast<std::uint16_t>(event), static_cast<std::uint16_t>(error)));
    };
    const bool wantWrite = (events & (FD_WRITE | FD_CONNECT)) != 0;
    bool connectReported = false, writable = false, urgent = false, closed = false, accepting = false;
    int lastWaiting = 0;
    while (!m_Notify->stopWatch.load()) {
        const SocketPtr s = useConnection();
        const SocketPtr l = (events & FD_ACCEPT) ? useListener() : nullptr;
        if ((!s || closed) && !l)
            return;
        // Conditions already reported are not polled for again (that would spin); they are
        // looked at afresh after each round of at most 100 ms.
        pollfd p[2] = {};
        int n = 0;
        if (s && !closed) {
            short want = POLLPRI;
            if (lastWaiting == 0)
                want |= POLLIN;
            if (wantWrite && !writable)
                want |= POLLOUT;
            p[n++] = pollfd{s->fd, want, 0};
        }
        if (l)
            p[n++] = pollfd{l->fd, static_cast<short>(accepting ? 0 : POLLIN), 0};
        if (::poll(p, static_cast<nfds_t>(n), 100) < 0 && errno != EINTR)
            return;
        if (s && !closed) {
            const short r = p[0].revents;
            int waiting = 0;
            ::ioctl(s->fd, FIONREAD, &waiting);
            if (waiting > 0 && waiting != lastWaiting && (events & FD_READ))
                post(FD_READ, 0);
            if (waiting == 0 && (r & (POLLIN | POLLHUP | POLLERR))) {
                int soError = 0;
                socklen_t len = sizeof soError;
                ::getsockopt(s->fd, SOL_SOCKET, SO_ERROR, &soError, &len);
                if (events & FD_CLOSE)
                    post(FD_CLOSE, soError);
                closed = true;
            }
            lastWaiting = waiting;
            if (wantWrite) {
                short w = 0;
                const bool now = socketwait::pollOne(s->fd, POLLOUT, 0, &w) == 1 && (w & POLLOUT);
                if (now && !connectReported) {
                    connectReported = true;
                    if (events & FD_CONNECT)
                        post(FD_CONNECT, 0);
                }
                if (now && !writable && (events & FD_WRITE))
                    post(FD_WRITE, 0);
                writable = now;
            }
            const bool urgentNow = (r & POLLPRI) != 0;
            if (urgentNow && !urgent && (events & FD_OOB))
                post(FD_OOB, 0);
            urgent = urgentNow;
        }
        if (l) {
            short a = 0;
            const bool pending = socketwait::pollOne(l->fd, POLLIN, 0, &a) == 1 && (a & POLLIN);
            if (pending && !accepting)
                post(FD_ACCEPT, 0);
            accepting = pending;
        }
    }
}

int CWSClient::startLookup(std::uint32_t message, std::string query, bool byName)
{
    if (!m_Notify || m_Notify->lookupBusy.load())
        return OnError(WSC_SOCKET_CALL_FAILED);
    // A previous look-up that has answered may still be leaving its thread.
    m_Notify->lookup.join();
    m_Notify->lookupBusy.store(true);
    const WindowHandle window = m_Notify->window->handle();
    NotifySupport* notify = m_Notify.get();
    const bool started = m_Notify->lookup.start("wsc-lookup", [this, notify, window, message, query, byName] {
        char result[NI_MAXHOST] = {};
        int error = 0;
        if (byName) {
            // This thread is the look-up's own: it may wait for getaddrinfo as long as it takes.
            std::array<char, INET_ADDRSTRLEN> address{};
            const std::string host = hostPart(query.c_str());
            error = host.empty() ? WSC_HOST_NOT_FOUND : lookupIPv4(host, &address);
            if (error == WSC_OK)
                error = copyAddress(address.data(), result, sizeof result);
        } else {
            sockaddr_in in{};
            in.sin_family = AF_INET;
            if (::inet_pton(AF_INET, query.c_str(), &in.sin_addr) != 1 ||
                ::getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, result, sizeof result,
                              nullptr, 0, NI_NAMEREQD) != 0)
                error = WSC_HOST_NOT_FOUND;
        }
        {
            std::lock_guard lock(m_Lock);
            m_LookupBuffer.fill(0);
            if (error == 0)
                copyText(m_LookupBuffer.data(), m_LookupBuffer.size(), result);
        }
        notify->lookupBusy.store(false);
        postMessage(window, message, 0, makeLParam(0, static_cast<std::uint16_t>(error)));
    });
    if (!started)
        m_Notify->lookupBusy.store(false);
    return OnError(started ? WSC_OK : WSC_SOCKET_CALL_FAILED);
}

int CWSClient::AsyncGetHostByAddr(const char* address)
{
    return startLookup(WM_WSC_HOSTBYADDR, address ? address : "", false);
}

int CWSClient::AsyncGetHostByName(const char* name)
{
    // The look-up takes the part after the last "@" itself.
    return startLookup(WM_WSC_HOSTBYNAME, name ? name : "", true);
}

std::string CWSClient::GetLookupResult() const
{
    std::lock_guard lock(m_Lock);
    return std::string(m_LookupBuffer.data());
}

void CWSClient::OnAsyncSelect(int /*event*/, int /*error*/) {}

void CWSClient::OnAsyncHostByAddr(int /*error*/) {}

void CWSClient::OnAsyncHostByName(int /*error*/) {}

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

bool CWSClient::IsDataWaitingNow()
{
    const SocketPtr s = useConnection();
    return s && IsDataWaiting(s->fd);
}

sockaddr_in CWSClient::GetPeerAddress() const
{
    std::lock_guard lock(m_Lock);
    return m_PeerAddress;
}

int CWSClient::ReceiveDirect(void* buffer, int size, int flags)
{
    const SocketPtr s = useConnection();
    if (!s)
        return -1;
    return SocketRecv(s->fd, buffer, size, flags);
}

int CWSClient::ReceiveAvailable(void* buffer, int size)
{
    const SocketPtr s = useConnection();
    if (!s)
        return -1;
    errno = 0;
    const int n = SocketRecv(s->fd, buffer, size, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return kNothingWaiting;
    return n;
}

int CWSClient::SendDirect(const void* data, int length, int flags)
{
    const SocketPtr s = useConnection();
    if (!s)
        return -1;
    return SocketSend(s->fd, data, length, flags);
}

} // namespace tessivor
