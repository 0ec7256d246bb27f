// Multicast answers: device found (and the record made from it), password answer, wireless
// answer, and the header filter every exchange applies.
#include "camproto/discovery_multicast_packets.h"

#include <cstdint>
#include <cstdlib>
#include <span>

using namespace tessivor::camproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> d(data, size);
    (void)parseMulticastHeader(d);
    (void)passwordAccepted(d);
    if (const auto found = parseDeviceFound(d)) {
        // The name never runs past the bytes that came.
        if (found->name.size() > (size > 72 ? size - 72 : 0) || found->maskText.size() > 16 ||
            found->gatewayText.size() > 16)
            std::abort();
        const DeviceRecord r = recordFromDeviceFound(*found, 9);
        if (r.name().size() > 31)
            std::abort();
        (void)r.maskText();
    }
    if (const auto w = parseWirelessAnswer(d)) {
        if (w->link.ssidText().size() > 33)
            std::abort();
    }
    return 0;
}
