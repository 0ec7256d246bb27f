// One request/reply exchange of the datagram protocol on port 62976: open a socket (with
// SO_BROADCAST for the broadcast address), send the request, then wait for datagrams and hand
// each to the caller, who takes it, skips it or ends the try. Each try has one deadline: skipped
// and oversized datagrams leave it only the time left. Tries repeat from the opening of a new
// socket after a wait that ends without a taken datagram.
#pragma once

#include "camproto/discovery_header.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tessivor {
class WakeSignal;
}

namespace tessivor::camproto {

enum class ExchangeStatus
{
    Taken,           // a datagram was taken
    SocketFailed,    // the socket could not be opened (or the address is not one)
    BroadcastFailed, // SO_BROADCAST could not be set
    SendFailed,
    NoReply, // every try ended without a taken datagram
    Refused, // the caller ended the exchange on a datagram it refused
    Stopped, // a wake signal ended the wait
};

// What the caller says of a received datagram.
enum class Verdict
{
    Take,   // the exchange ends with Taken
    Skip,   // the wait goes on with the time left
    Refuse, // the exchange ends with Refused
};

struct ExchangeRequest
{
    std::string host; // dotted address, or kBroadcastAddress
    std::uint16_t port = kDiscoveryPort;
    std::vector<std::uint8_t> datagram;
    std::size_t replyCapacity = 0; // receive buffer size; a larger datagram is dropped
    int tries = 1;
    int waitMs = 0; // per try, on the active clock
    std::vector<const WakeSignal*> wakes;
};

struct ExchangeResult
{
    ExchangeStatus status = ExchangeStatus::NoReply;
    // The taken (or refused) datagram, zero-padded to replyCapacity; the received length apart.
    std::vector<std::uint8_t> reply;
    std::size_t received = 0;
};

// Runs the exchange on the calling thread. `onDatagram` gets each datagram zero-padded to the
// receive buffer's size and its received length.
ExchangeResult
exchangeDatagram(const ExchangeRequest& request,
                 const std::function<Verdict(std::span<const std::uint8_t>, std::size_t)>& onDatagram);

} // namespace tessivor::camproto
