// The broadcast search of the datagram protocol: one opcode 0x0001 request to the broadcast
// address, then every device record that answers it, until the wait time has passed without a
// new camera (datagrams that are not a new record never lengthen a pass). A search of all devices makes one
// pass and hands each new record to the caller; a targeted search makes up to five passes and ends as soon as
// a record names the target address.
#pragma once

#include "camproto/device_record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessivor {
class WakeSignal;
}

namespace tessivor::camproto {

enum class SearchStatus
{
    Completed, // all devices: the cameras fell quiet
    TargetFound,
    TargetNotFound, // every pass ended without the target
    NotSent,        // the request never went out (socket, SO_BROADCAST or send failed)
    Stopped,        // the search was stopped before a pass could start
};

struct BroadcastSearchRequest
{
    std::uint16_t sequence = 0;
    std::string target; // dotted address of a targeted search; empty: all devices
    std::string address = kBroadcastAddress;
    std::uint16_t port = kDiscoveryPort;
    int waitMs = 6000; // a pass's wait; a newly listed record starts it again
    // False once the search is to end (checked at the start of every pass).
    std::function<bool()> searching;
    // True when a device with this MAC is listed already (its replies are ignored).
    std::function<bool(const Mac&)> known;
    // All devices: lists the record unless its MAC is listed already (one step for the caller);
    // true when it was listed now.
    std::function<bool(const DeviceRecord&)> addIfNew;
    // End a running wait at once.
    std::vector<const WakeSignal*> wakes;
};

struct BroadcastSearchResult
{
    SearchStatus status = SearchStatus::Completed;
    // The member's value: -1 completed or target found, 0 otherwise.
    int result = 0;
    int passes = 0;
};

BroadcastSearchResult searchBroadcast(const BroadcastSearchRequest& request);

// The 18-byte search request (opcode 0x0001, MAC FF x 6, IPv4 0, bytes 16-17 00 00).
HeaderBytes buildSearchRequest(std::uint16_t sequence);

// A search reply the search uses: its sequence and status 2. The record is the reply's first
// bytes, the rest zero.
bool isSearchReply(std::span<const std::uint8_t> datagram, std::uint16_t sequence);

} // namespace tessivor::camproto
