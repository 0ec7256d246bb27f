#include "camproto/discovery_search.h"

#include "camproto/packet_fields.h"
#include "camproto/wait_scale.h"
#include "io/datagram_socket.h"

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
    const WakeSignal* w0 = r.wakes.size() > 0 ? r.wakes[0] : nullptr;
    const WakeSignal* w1 = r.wakes.size() > 1 ? r.wakes[1] : nullptr;
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
        while (true) {
            std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
            std::size_t got = 0;
            const auto wait = s.receive(buffer, &got, scaledWaitMs(r.waitMs), {w0, w1});
            if (wait == DatagramSocket::Wait::Oversized)
                continue;
            if (wait != DatagramSocket::Wait::Received) {
                --counter; // quiet (or stopped, or a receive error): the pass ends
                s.close();
                break;
            }
            if (!isSearchReply(std::span(buffer).first(std::max(got, kHeaderSize)), r.sequence))
                continue;
            const DeviceRecord record = DeviceRecord::fromDatagram(std::span(buffer).first(got));
            if (allDevices) {
                if (r.addIfNew)
                    r.addIfNew(record);
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
