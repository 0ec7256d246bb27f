#include "camproto/config_udp.h"

#include "camproto/datagram_wait.h"

#include <algorithm>

namespace tessivor::camproto {

namespace {

constexpr int kReadPasses = 3;
constexpr int kReadWaitMs = 5000;
constexpr int kWriteSends = 3;
constexpr int kWriteWaitMs = 6000;

RequestHeader pieceHeader(int piece, Opcode opcode, const Mac& mac, const IPv4& ip)
{
    RequestHeader h;
    h.sequence = static_cast<std::uint16_t>(piece);
    h.opcode = opcode;
    h.mac = mac;
    h.ip = ip;
    return h;
}

} // namespace

std::vector<std::uint8_t> buildConfigReadRequest(int piece, const Mac& mac, const IPv4& ip)
{
    const HeaderBytes h = buildRequestHeader(pieceHeader(piece, Opcode::ConfigRead, mac, ip));
    return {h.begin(), h.end()};
}

std::vector<std::uint8_t> buildConfigWritePiece(const ConfigImage& image, int piece, const Mac& mac,
                                                const IPv4& ip, int mode, std::int32_t change)
{
    std::vector<std::uint8_t> out(kConfigPieceSize, 0);
    const HeaderBytes h = buildRequestHeader(pieceHeader(piece, Opcode::ConfigWrite, mac, ip));
    std::copy(h.begin(), h.end(), out.begin());
    if (piece == kConfigPieceCount - 1 && mode == 1) {
        out[16] = 1;
    } else if (piece == kConfigPieceCount - 1 && mode == 2) {
        out[16] = 2;
        out[17] = static_cast<std::uint8_t>(change & 0xFF);
    }
    const auto data = std::span(image).subspan(kConfigPieceDataSize * static_cast<std::size_t>(piece),
                                               kConfigPieceDataSize);
    const std::uint16_t check = pieceCheckWord(data);
    out[18] = static_cast<std::uint8_t>(check & 0xFF);
    out[19] = static_cast<std::uint8_t>(check >> 8);
    std::copy(data.begin(), data.end(), out.begin() + 20);
    return out;
}

ConfigReadResult readConfigUdp(const ConfigTransfer& t)
{
    ConfigReadResult out;
    sockaddr_in to{};
    if (!ipv4Address(t.host, t.port, &to))
        return out;
    std::vector<std::uint8_t> reply(kConfigPieceSize);
    for (int pass = 0; pass < kReadPasses; ++pass) {
        DatagramSocket s;
        if (!s.open())
            return out;
        ConfigImage image{};
        int piece = 0;
        for (; piece < kConfigPieceCount; ++piece) {
            if (!s.sendTo(buildConfigReadRequest(piece, t.mac, t.ip), to))
                break;
            std::size_t got = 0;
            const auto wait = receiveBefore(s, reply, &got, WaitDeadline(kReadWaitMs), t.wakes);
            if (wait == DatagramSocket::Wait::Woken)
                return out;
            if (wait != DatagramSocket::Wait::Received)
                break;
            const ReplyHeader h = parseReplyHeader(reply);
            if (h.sequence != piece || h.mac != t.mac)
                return out; // an answer to something else: the read ends at once
            const auto data = std::span<const std::uint8_t>(reply).subspan(20, kConfigPieceDataSize);
            const auto check = static_cast<std::uint16_t>(reply[18] | (reply[19] << 8));
            // A short datagram reads as zero-padded, which its check word then rejects.
            if (got < kConfigPieceSize || !pieceIsGood(check, data))
                break;
            std::copy(data.begin(), data.end(),
                      image.begin() + static_cast<std::ptrdiff_t>(kConfigPieceDataSize *
                                                                  static_cast<std::size_t>(piece)));
        }
        if (piece == kConfigPieceCount) {
            std::copy_n(image.begin(), kConfigBlockSize, out.block.begin());
            out.result = -1;
            return out;
        }
    }
    return out;
}

ConfigWriteResult writeConfigUdp(ConfigBlock& block, const ConfigWriteRequest& r)
{
    ConfigWriteResult out;
    const ConfigImage image = sealConfigBlock(block);
    const ConfigTransfer& t = r.transfer;
    sockaddr_in to{};
    if (!ipv4Address(t.host, t.port, &to))
        return out;
    DatagramSocket s;
    if (!s.open())
        return out;
    std::vector<std::uint8_t> reply(kStatusReplySize);
    for (int piece = 0; piece < kConfigPieceCount; ++piece) {
        const auto datagram = buildConfigWritePiece(image, piece, t.mac, t.ip, r.mode, r.change);
        for (int send = 0; send < kWriteSends; ++send) {
            if (!s.sendTo(datagram, to))
                return out;
            std::size_t got = 0;
            const auto wait = receiveBefore(s, reply, &got, WaitDeadline(kWriteWaitMs), t.wakes);
            if (wait == DatagramSocket::Wait::Woken)
                return out;
            if (wait != DatagramSocket::Wait::Received)
                continue;
            const ReplyHeader h = parseReplyHeader(reply);
            if (h.sequence != piece || h.mac != t.mac)
                return out;
            if (got >= kHeaderSize && h.status == kStatusOk) {
                ++out.accepted;
                break;
            }
        }
        // A piece the camera never took leaves it without a whole block: the write has failed,
        // and the pieces after it are not sent.
        if (out.accepted != piece + 1)
            return out;
    }
    out.result = -1;
    return out;
}

} // namespace tessivor::camproto
