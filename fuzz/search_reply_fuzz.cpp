// Search and probe replies as a camera (or anyone on the segment) may send them: the reply
// header, the device record made from the datagram, and every text the found-device members show.
#include "camproto/device_record.h"
#include "camproto/discovery_search.h"

#include <cstdint>
#include <cstdlib>
#include <span>

using namespace tessivor::camproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> d(data, size);
    (void)isSearchReply(d, 1);
    const ReplyHeader h = parseReplyHeader(d);
    (void)h;
    DeviceRecord r = DeviceRecord::fromDatagram(d);
    const std::size_t texts = r.model().size() + r.name().size() + r.location().size();
    if (r.model().size() > DeviceRecord::kModelSize || r.name().size() > DeviceRecord::kNameSize ||
        r.location().size() > DeviceRecord::kLocationSize)
        std::abort();
    (void)texts;
    (void)r.macText();
    (void)r.ipText();
    (void)r.maskText();
    (void)r.gatewayText();
    if (r.firmwareVersionText().size() > 8 || r.romVersionText().size() > 8 ||
        r.hardwareVersionText().size() > 4)
        std::abort();
    // The same bytes as a page body (the device-information pages fill the record from 18 on).
    r.fillFromBody(d);
    (void)r.name();
    return 0;
}
