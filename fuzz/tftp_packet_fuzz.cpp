// TFTP packets as a server (or anybody on the network) sends them to our write client.
#include "camproto/tftp_client.h"

#include <cstdint>
#include <cstdlib>
#include <span>

using namespace tessivor::camproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const TftpPacket p = parseTftpPacket(std::span(data, size));
    if (p.message.size() > 128)
        std::abort();
    for (const char c : p.message)
        if (c < 0x20 || c > 0x7E)
            std::abort();
    if (p.kind != TftpPacket::Kind::Malformed && size < 4)
        std::abort();
    return 0;
}
