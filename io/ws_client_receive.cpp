// The socket client's receive path: into buffers, data sources and files, up to a marker or a
// text line, datagrams, and the reads that do not wait.
#include "io/ws_client_detail.h"

#include "io/data_source.h"
#include "io/file_data_source.h"
#include "platform/clock.h"
#include "platform/trace.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <vector>

namespace tessivor {

using namespace wsclient;

namespace {

constexpr int kTextLinePolls = 120;     // 100 ms apart: 12 seconds for a line to start
constexpr int kTextLineEarlyPolls = 60; // data this early gets 100 ms more to complete the line
constexpr int kPacedChunk = 200;

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

bool CWSClient::IsDataWaitingNow()
{
    const SocketPtr s = useConnection();
    return s && IsDataWaiting(s->fd);
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

} // namespace tessivor
