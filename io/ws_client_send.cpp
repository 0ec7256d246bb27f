// The socket client's send path: bytes, lines, data sources and files, datagrams.
#include "io/ws_client_detail.h"

#include "io/data_source.h"
#include "io/file_data_source.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>

namespace tessivor {

using namespace wsclient;

namespace {

int textLength(const void* data)
{
    const std::size_t n = data ? std::strlen(static_cast<const char*>(data)) : 0;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

} // namespace

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

int CWSClient::SendDirect(const void* data, int length, int flags)
{
    const SocketPtr s = useConnection();
    if (!s)
        return -1;
    return SocketSend(s->fd, data, length, flags);
}

} // namespace tessivor
