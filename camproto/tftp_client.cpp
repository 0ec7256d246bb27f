// The TFTP write client (see tftp_client.h for the protocol and the rules it keeps).
#include "camproto/tftp_client.h"

#include "camproto/datagram_wait.h"
#include "io/win_file.h"
#include "platform/trace.h"

#include <algorithm>
#include <array>
#include <optional>

namespace tessivor::camproto {

namespace {

constexpr std::size_t kMaxMessage = 128;
constexpr std::size_t kReceiveBuffer = 1024; // an ACK or ERROR is far smaller
constexpr std::uint16_t kErrUndefined = 0;
constexpr std::uint16_t kErrUnknownTransferId = 5;

void putU16(std::vector<std::uint8_t>& p, std::uint16_t v)
{
    p.push_back(static_cast<std::uint8_t>(v >> 8));
    p.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

std::uint16_t getU16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

bool sameSender(const sockaddr_in& a, const sockaddr_in& b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

} // namespace

std::vector<std::uint8_t> buildTftpWriteRequest(std::string_view fileName, std::string_view mode)
{
    std::vector<std::uint8_t> p;
    putU16(p, static_cast<std::uint16_t>(TftpOpcode::WriteRequest));
    p.insert(p.end(), fileName.begin(), fileName.end());
    p.push_back(0);
    p.insert(p.end(), mode.begin(), mode.end());
    p.push_back(0);
    return p;
}

std::vector<std::uint8_t> buildTftpData(std::uint16_t block, std::span<const std::uint8_t> data)
{
    std::vector<std::uint8_t> p;
    p.reserve(4 + data.size());
    putU16(p, static_cast<std::uint16_t>(TftpOpcode::Data));
    putU16(p, block);
    p.insert(p.end(), data.begin(), data.end());
    return p;
}

std::vector<std::uint8_t> buildTftpAck(std::uint16_t block)
{
    std::vector<std::uint8_t> p;
    putU16(p, static_cast<std::uint16_t>(TftpOpcode::Ack));
    putU16(p, block);
    return p;
}

std::vector<std::uint8_t> buildTftpError(std::uint16_t code, std::string_view message)
{
    std::vector<std::uint8_t> p;
    putU16(p, static_cast<std::uint16_t>(TftpOpcode::Error));
    putU16(p, code);
    p.insert(p.end(), message.begin(), message.end());
    p.push_back(0);
    return p;
}

TftpPacket parseTftpPacket(std::span<const std::uint8_t> datagram)
{
    TftpPacket r;
    if (datagram.size() < 4)
        return r; // Malformed
    const std::uint16_t opcode = getU16(datagram, 0);
    switch (static_cast<TftpOpcode>(opcode)) {
    case TftpOpcode::Ack:
        r.kind = TftpPacket::Kind::Ack;
        r.block = getU16(datagram, 2);
        return r;
    case TftpOpcode::Error: {
        const auto text = datagram.subspan(4);
        const auto end = std::find(text.begin(), text.end(), std::uint8_t{0});
        if (end == text.end())
            return r; // Malformed: the message has no terminator
        r.kind = TftpPacket::Kind::Error;
        r.errorCode = getU16(datagram, 2);
        for (auto it = text.begin(); it != end && r.message.size() < kMaxMessage; ++it)
            r.message += (*it >= 0x20 && *it < 0x7F) ? static_cast<char>(*it) : '?';
        return r;
    }
    case TftpOpcode::ReadRequest:
    case TftpOpcode::WriteRequest:
    case TftpOpcode::Data:
        r.kind = TftpPacket::Kind::Other;
        return r;
    }
    return r; // Malformed: an unknown opcode
}

const char* tftpErrorText(TftpError error)
{
    switch (error) {
    case TftpError::None:
        return "done";
    case TftpError::SocketNotOpened:
        return "no socket towards the server";
    case TftpError::NotSent:
        return "a packet could not be sent";
    case TftpError::NoReply:
        return "the server did not answer";
    case TftpError::ServerError:
        return "the server refused the transfer";
    case TftpError::FileUnreadable:
        return "the file cannot be read";
    case TftpError::Aborted:
        return "aborted";
    }
    return "unknown";
}

namespace {

// One transfer; lives for one upload() call.
class Transfer
{
public:
    Transfer(DatagramSocket& socket, const WakeSignal& abort, int timeoutMs, const sockaddr_in& server)
        : m_socket(socket), m_abort(abort), m_timeoutMs(timeoutMs), m_server(server)
    {
    }

    // Sends `packet` to `to` and waits for the ACK of `block`, sending again when a wait runs out
    // (`sends` sends in all). Before the peer is known, only an ACK from the server's address (any
    // port: the server's transfer ID) counts, and its sender becomes the peer.
    TftpError sendAndAwaitAck(const std::vector<std::uint8_t>& packet, const sockaddr_in& to,
                              std::uint16_t block, int sends, std::string* message)
    {
        for (int attempt = 0; attempt < sends; ++attempt) {
            if (!m_socket.sendTo(packet, to))
                return TftpError::NotSent;
            const TftpError e = awaitAck(block, message);
            if (e != TftpError::NoReply)
                return e;
        }
        return TftpError::NoReply;
    }

    const std::optional<sockaddr_in>& peer() const { return m_peer; }

    // Tells the peer (or, before the lock, the server) that the transfer ends.
    void sendError(const sockaddr_in& fallback, std::uint16_t code, std::string_view text)
    {
        m_socket.sendTo(buildTftpError(code, text), m_peer ? *m_peer : fallback);
    }

private:
    TftpError awaitAck(std::uint16_t block, std::string* message)
    {
        // One deadline: whatever else arrives leaves the wait only the time left.
        const WaitDeadline deadline(m_timeoutMs);
        std::array<std::uint8_t, kReceiveBuffer> buffer{};
        while (true) {
            std::size_t received = 0;
            sockaddr_in from{};
            switch (receiveBefore(m_socket, buffer, &received, deadline, {&m_abort}, &from)) {
            case DatagramSocket::Wait::Received:
                break;
            case DatagramSocket::Wait::Oversized: // receiveBefore drops these itself
            case DatagramSocket::Wait::TimedOut:
                return TftpError::NoReply;
            case DatagramSocket::Wait::Woken:
                return TftpError::Aborted;
            case DatagramSocket::Wait::Failed:
                return TftpError::NoReply;
            }
            const bool stranger =
                m_peer ? !sameSender(*m_peer, from) : from.sin_addr.s_addr != m_server.sin_addr.s_addr;
            if (stranger) {
                // Another transfer ID (before the first ACK: another host than the server's): RFC
                // 1350 section 4 asks for an ERROR to it, nothing more.
                m_socket.sendTo(buildTftpError(kErrUnknownTransferId, "Unknown transfer ID"), from);
                continue;
            }
            const TftpPacket p = parseTftpPacket(std::span(buffer.data(), received));
            if (p.kind == TftpPacket::Kind::Error) {
                *message = p.message;
                return TftpError::ServerError;
            }
            if (p.kind != TftpPacket::Kind::Ack || p.block != block)
                continue; // a late or duplicated ACK, or noise: the wait goes on
            if (!m_peer)
                m_peer = from;
            return TftpError::None;
        }
    }

    DatagramSocket& m_socket;
    const WakeSignal& m_abort;
    int m_timeoutMs;
    sockaddr_in m_server;
    std::optional<sockaddr_in> m_peer;
};

} // namespace

void TftpWriteClient::abort()
{
    m_abort.raise();
}

TftpError TftpWriteClient::upload(const std::string& serverAddress, std::uint16_t port,
                                  const std::string& localFile, const TftpWriteOptions& options,
                                  const TftpCallbacks& callbacks)
{
    m_abort.reset();
    m_acknowledged.store(0);
    m_total.store(0);
    m_state.store(State::Running);
    std::string message;

    auto finish = [&](TftpError e) {
        m_state.store(e == TftpError::None ? State::Done : State::Failed);
        if (e == TftpError::None) {
            if (callbacks.done)
                callbacks.done();
        } else {
            trace("TFTP upload of %s: %s %s", localFile.c_str(), tftpErrorText(e), message.c_str());
            if (callbacks.error)
                callbacks.error(e, message.empty() ? tftpErrorText(e) : message);
        }
        return e;
    };

    CWinFile file; // closed by its destructor on every path
    if (file.Open(localFile.c_str(), CWinFile::ACCESS_READ, CWinFile::OPEN_EXISTING, 0) != 0)
        return finish(TftpError::FileUnreadable);
    const std::int32_t size = file.Size();
    if (size < 0)
        return finish(TftpError::FileUnreadable);
    m_total.store(static_cast<std::uint64_t>(size));

    sockaddr_in server{};
    if (!ipv4Address(serverAddress, port, &server))
        return finish(TftpError::SocketNotOpened);
    DatagramSocket socket; // closed by its destructor on every path
    if (!socket.open())
        return finish(TftpError::SocketNotOpened);

    const int sends = std::max(options.sendsPerPacket, 1);
    Transfer t(socket, m_abort, std::max(options.replyTimeoutMs, 1), server);
    TftpError e = t.sendAndAwaitAck(buildTftpWriteRequest(options.remoteName), server, 0, sends, &message);
    if (e != TftpError::None) {
        if (e == TftpError::Aborted)
            t.sendError(server, kErrUndefined, "aborted");
        return finish(e);
    }

    std::array<std::uint8_t, kTftpBlockSize> block{};
    std::uint16_t number = 0;
    std::uint64_t acknowledged = 0;
    while (true) {
        const std::int32_t n = file.Read(block.data(), static_cast<std::int32_t>(block.size()));
        if (n < 0) {
            t.sendError(server, kErrUndefined, "read error");
            return finish(TftpError::FileUnreadable);
        }
        ++number; // wraps from 65535 to 0, as servers with block roll-over expect
        const auto data = buildTftpData(number, std::span(block.data(), static_cast<std::size_t>(n)));
        e = t.sendAndAwaitAck(data, *t.peer(), number, sends, &message);
        if (e != TftpError::None) {
            if (e == TftpError::Aborted || e == TftpError::NoReply)
                t.sendError(server, kErrUndefined, e == TftpError::Aborted ? "aborted" : "timed out");
            return finish(e);
        }
        acknowledged += static_cast<std::uint64_t>(n);
        m_acknowledged.store(acknowledged);
        if (callbacks.progress)
            callbacks.progress(acknowledged, static_cast<std::uint64_t>(size));
        if (static_cast<std::size_t>(n) < kTftpBlockSize)
            return finish(TftpError::None);
    }
}

} // namespace tessivor::camproto
