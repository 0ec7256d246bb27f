// The configuration block over the datagram protocol: eight 1024-byte pieces, read with opcode
// 0x000B and written with opcode 0x000C, each piece carrying its own check word. The sequence
// number of these requests is the piece number 0-7.
#pragma once

#include "camproto/config_block.h"
#include "camproto/discovery_header.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessivor {
class WakeSignal;
}

namespace tessivor::camproto {

struct ConfigTransfer
{
    std::string host; // the camera's dotted address
    std::uint16_t port = kDiscoveryPort;
    Mac mac{};
    IPv4 ip{};
    std::vector<const WakeSignal*> wakes;
};

struct ConfigReadResult
{
    int result = 0; // -1 the whole block arrived with good sums
    ConfigBlock block{};
};

// Up to three passes over pieces 0-7, each piece waited for up to 5 seconds. A reply with another
// sequence number or MAC ends the read at once; a time-out or bad sum ends the pass.
ConfigReadResult readConfigUdp(const ConfigTransfer& transfer);

struct ConfigWriteRequest
{
    ConfigTransfer transfer;
    int mode = 0; // 1: flag 1 in piece 7; 2: flag 2 and `change` in piece 7
    std::int32_t change = 0;
};

struct ConfigWriteResult
{
    // -1 only when every piece was accepted by the camera; 0 otherwise.
    int result = 0;
    int accepted = 0; // pieces the camera accepted
};

// Seals `block` (its check word is rewritten) and sends its image piece by piece, up to three
// sends a piece with a 6-second wait for the camera's status.
ConfigWriteResult writeConfigUdp(ConfigBlock& block, const ConfigWriteRequest& request);

// One piece request or write, as the camera receives it.
std::vector<std::uint8_t> buildConfigReadRequest(int piece, const Mac& mac, const IPv4& ip);
std::vector<std::uint8_t> buildConfigWritePiece(const ConfigImage& image, int piece, const Mac& mac,
                                                const IPv4& ip, int mode, std::int32_t change);

} // namespace tessivor::camproto
