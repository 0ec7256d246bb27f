// Kestra command replies as a camera sends them: the reply check, the data it hands on and the
// status block kept from the status command's data.
#include "camproto/kestra_packet.h"

#include <cstdint>
#include <cstdlib>
#include <span>

using namespace tessivor::camproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const KestraReply r = parseKestraReply(std::span(data, size));
    if (r.data.size() > kKestraDataMax || (r.status == KestraReplyStatus::Done && size < kKestraPacketSize))
        std::abort();
    if (r.status != KestraReplyStatus::Done && !r.data.empty())
        std::abort();
    // The status block from the reply's data and from the raw bytes (longer than any packet).
    for (const KestraStatusBlock& s :
         {KestraStatusBlock::fromData(r.data), KestraStatusBlock::fromData(std::span(data, size))}) {
        if (s.length > KestraStatusBlock::kCapacity || s.name().size() > KestraStatusBlock::kNameSize)
            std::abort();
        if (s.mac().has_value() != (s.length >= KestraStatusBlock::kMac + 6))
            std::abort();
        (void)s.ip();
        (void)s.panTilt();
        (void)s.wireless();
    }
    return 0;
}
