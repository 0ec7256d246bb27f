// Extended-information replies and the probe pages: the kept reply's texts and port, the
// "/DevInfo.CGI" answer checks, and the record made from a "/getInfo.asp" body.
#include "camproto/discovery_extinfo.h"
#include "camproto/probe_pages.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

using namespace tessivor::camproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> d(data, size);
    ExtendedInfoReply reply{};
    std::copy_n(data, std::min(size, reply.size()), reply.begin());
    if (extendedInfoText(reply, 0).size() > 64 || extendedInfoText(reply, 1).size() > 64)
        std::abort();
    (void)extendedInfoWebPort(reply);
    (void)parseReplyHeader(d);
    if (const auto body = devInfoCgiBody(d)) {
        if (body->data() < data || body->data() + body->size() > data + size)
            std::abort();
        if (body->size() > static_cast<std::size_t>(kDevInfoMaxLength))
            std::abort();
    }
    const DeviceRecord r = recordFromGetInfo(d, IPv4{1, 2, 3, 4});
    if (r.name().size() > 31)
        std::abort();
    return 0;
}
