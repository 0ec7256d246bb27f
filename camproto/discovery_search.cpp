#include "camproto/discovery_search.h"

#include "camproto/datagram_wait.h"
#include "camproto/packet_fields.h"

#include <algorithm>

namespace tessivor::camproto {

namespace {

constexpr int kAllDevicesPasses = 1;
constexpr int kTargetedPasses = 10; // two counted per pass: five passes

} // namespace

HeaderBytes buildSearchRequest(std::uint16_t sequence)
{
    RequestHeader h;
    h.sequence = sequence;
    h.opcode = Opcode::Search;
    return buildRequestHeader(h);
}

bool isSearchReply(std::span<const std::uint8_t> datagram, std::uint16_t sequence)
{
    const ReplyHeader h = parseReplyHeader(datagram);
    return h.sequence == sequence && h.status == kStatusDeviceRecord;
}

BroadcastSearchResult searchBroadcast(const BroadcastSearchRequest& r)
{
    BroadcastSearchResult out;
    const bool allDevices = r.target.empty();
    const HeaderBytes request = buildSearchRequest(r.sequence);
    sockaddr_in to{};
    const bool addressOk = ipv4Address(r.address, r.port, &to);
    bool sent = false;
    int counter = allDevices ? kAllDevicesPasses : kTargetedPasses;
    std::vector<std::uint8_t> buffer(kSearchReplySize);
    while (counter > 0) {
        if ((r.searching && !r.searching()) ||
            std::any_of(r.wakes.begin(), r.wakes.end(),
                        [](const WakeSignal* w) { return w && w->raised(); })) {
            out.status = SearchStatus::Stopped;
            out.result = 0;
            return out;
        }
        ++out.passes;
        DatagramSocket s;
        if (!addressOk || !s.open()) {
            out.status = SearchStatus::NotSent;
            out.result = 0;
            return out;
        }
        if (!s.setBroadcast(true) || !s.sendTo(request, to))
            break; // the search ends as after its last pass
        sent = true;
        // Only a camera newly listed starts the pass's wait again; anything else gets the time left.
        WaitDeadline deadline(r.waitMs);
        while (true) {
            std::size_t got = 0;
            const auto wait = receiveBefore(s, buffer, &got, deadline, r.wakes);
            if (wait != DatagramSocket::Wait::Received) {
                --counter; // quiet (or stopped, or a receive error): the pass ends
                s.close();
                break;
            }
            if (!isSearchReply(std::span(buffer).first(std::max(got, kHeaderSize)), r.sequence))
                continue;
            const DeviceRecord record = DeviceRecord::fromDatagram(std::span(buffer).first(got));
            if (allDevices) {
                if (r.addIfNew && r.addIfNew(record))
                    deadline.restart();
                counter = kAllDevicesPasses;
                continue;
            }
            if (r.known && r.known(record.mac()))
                continue;
            if (formatIPv4(record.bytes.data() + DeviceRecord::kIp) == r.target) {
                out.status = SearchStatus::TargetFound;
                out.result = -1;
                return out;
            }
        }
        --counter;
    }
    if (!sent) {
        // Nothing went out, so nothing can have been found: a failure, not an empty success.
        out.status = SearchStatus::NotSent;
        out.result = 0;
    } else if (allDevices) {
        out.status = SearchStatus::Completed;
        out.result = -1;
    } else {
        out.status = SearchStatus::TargetNotFound;
        out.result = 0;
    }
    return out;
}

} // namespace tessivor::camproto
