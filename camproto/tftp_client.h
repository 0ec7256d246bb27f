// TftpWriteClient: our own TFTP client for firmware uploads (RFC 1350, write requests only,
// "octet" mode, 512-byte blocks). The control's TFTPServer member and the program's firmware
// dialog both use it; it knows nothing of either.
//
// Packets (numbers 16-bit, high byte first):
//   WRQ   00 02, file name, 00, mode, 00
//   DATA  00 03, block, 0 to 512 bytes (fewer than 512: the last block)
//   ACK   00 04, block
//   ERROR 00 05, code, message, 00
//
// The transfer, as RFC 1350 section 4 lays it out: the write request goes to the server's port;
// the server answers ACK 0 from a port of its own (its transfer ID), and from then on the client
// talks only to that address and port: packets from anywhere else get ERROR 5 and change
// nothing. The first ACK counts only from the server's own address (any port); another host's
// gets ERROR 5 too. Every wait has one deadline (on the active clock): nothing a stranger sends
// lengthens it. The client numbers its blocks itself; only the ACK of the block in flight advances
// the file, so a late or duplicated ACK (the old block's) is ignored rather than answered, which
// keeps the "sorcerer's apprentice" doubling of RFC 1123 4.2.3.1 away. A wait that runs out
// sends the same packet again, a bounded number of times; an ERROR from the server ends the
// upload. Every end reports exactly one of done or error.
//
// Threads. upload() runs the whole transfer on the calling thread and calls the callbacks there.
// abort() and the pollable getters may be called from any thread; abort ends a running wait at
// once (the server is told with an ERROR packet).
#pragma once

#include "io/datagram_socket.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessivor::camproto {

inline constexpr std::uint16_t kTftpPort = 69;
inline constexpr std::size_t kTftpBlockSize = 512;

enum class TftpOpcode : std::uint16_t
{
    ReadRequest = 1,
    WriteRequest = 2,
    Data = 3,
    Ack = 4,
    Error = 5,
};

// ---- packets ----

std::vector<std::uint8_t> buildTftpWriteRequest(std::string_view fileName, std::string_view mode = "octet");
std::vector<std::uint8_t> buildTftpData(std::uint16_t block, std::span<const std::uint8_t> data);
std::vector<std::uint8_t> buildTftpAck(std::uint16_t block);
std::vector<std::uint8_t> buildTftpError(std::uint16_t code, std::string_view message);

struct TftpPacket
{
    enum class Kind
    {
        Ack,
        Error,
        Other,     // a well-formed packet of another opcode (a client has no use for it)
        Malformed, // too short, an unknown opcode, or an ERROR without its terminator
    };
    Kind kind = Kind::Malformed;
    std::uint16_t block = 0;     // Ack
    std::uint16_t errorCode = 0; // Error
    std::string message;         // Error: printable characters of the message, at most 128
};

TftpPacket parseTftpPacket(std::span<const std::uint8_t> datagram);

// ---- the client ----

enum class TftpError
{
    None,
    SocketNotOpened, // no UDP socket, or the server address is not a dotted IPv4 address
    NotSent,         // a packet did not go out
    NoReply,         // a wait ran out on every try
    ServerError,     // the server sent ERROR
    FileUnreadable,  // the local file cannot be opened or read
    Aborted,
};
const char* tftpErrorText(TftpError error);

struct TftpWriteOptions
{
    std::string remoteName; // the name in the write request (cameras take an empty one)
    int replyTimeoutMs = 10000;
    int sendsPerPacket = 4; // the first send and three repeats
};

struct TftpCallbacks
{
    // After every acknowledged block: bytes acknowledged so far and the file size.
    std::function<void(std::uint64_t acknowledged, std::uint64_t total)> progress;
    std::function<void()> done;
    // The cause and a text for people (the server's message for ServerError).
    std::function<void(TftpError, const std::string&)> error;
};

class TftpWriteClient
{
public:
    enum class State
    {
        Idle,
        Running,
        Done,
        Failed,
    };

    TftpWriteClient() = default;
    TftpWriteClient(const TftpWriteClient&) = delete;
    TftpWriteClient& operator=(const TftpWriteClient&) = delete;

    // Writes `localFile` to `serverAddress` (dotted IPv4) at `port`. Returns None when the last
    // block was acknowledged, else the cause. The file and the socket are closed on every path.
    TftpError upload(const std::string& serverAddress, std::uint16_t port, const std::string& localFile,
                     const TftpWriteOptions& options, const TftpCallbacks& callbacks = {});

    // Ends a running upload (any thread); an upload started later is not affected.
    void abort();

    State state() const { return m_state.load(); }
    std::uint64_t bytesAcknowledged() const { return m_acknowledged.load(); }
    std::uint64_t totalBytes() const { return m_total.load(); }

private:
    WakeSignal m_abort;
    std::atomic<State> m_state{State::Idle};
    std::atomic<std::uint64_t> m_acknowledged{0};
    std::atomic<std::uint64_t> m_total{0};
};

} // namespace tessivor::camproto
