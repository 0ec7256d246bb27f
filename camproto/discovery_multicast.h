// Exchanges of the multicast protocol (packets in discovery_multicast_packets.h): each sends its
// request once to 224.0.0.1:13579 from one local address and takes the answers that repeat that
// address's LocalId until the wait time has passed without a new answer. Datagrams of other
// operations or identities, oversized ones and answers the caller does not keep never lengthen
// the wait.
//
// Sockets. The request leaves through the asking address's interface (IP_MULTICAST_IF) with
// loop-back off. Answers are received on a socket bound to the any-address and port 13579 (Linux
// delivers no multicast datagram to a socket bound to a unicast address), member of the group on
// the asking interface; the LocalId in every answer tells which are ours.
#pragma once

#include "camproto/discovery_multicast_packets.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tessivor {
class WakeSignal;
}

namespace tessivor::camproto {

inline constexpr int kMulticastSearchWaitMs = 5000;
inline constexpr int kMulticastWaitMs = 10000;

enum class MulticastStatus
{
    Quiet,        // the wait ran out after the last datagram (the normal end)
    Ended,        // the caller ended the wait on an answer
    SocketFailed, // a socket could not be made, bound, joined or pointed at the interface
    SendFailed,
    ReadFailed,
    Stopped, // a wake signal ended the wait
};

struct MulticastExchangeRequest
{
    LocalId asking;
    std::vector<std::uint8_t> datagram;
    int waitMs = kMulticastWaitMs; // after the send, and again after each kept answer
    std::string group = kMulticastGroup;
    std::uint16_t port = kMulticastPort;
    std::vector<const WakeSignal*> wakes;
};

// What the caller makes of an answer.
enum class AnswerUse
{
    Pass, // not kept: the wait goes on with the time left
    Keep, // kept: the wait starts again
    End,  // the exchange ends (Ended)
};

// Runs one exchange. `onAnswer` sees every datagram whose header names `op` and the asking
// LocalId.
MulticastStatus exchangeMulticast(const MulticastExchangeRequest& request, MulticastOp op,
                                  const std::function<AnswerUse(std::span<const std::uint8_t>)>& onAnswer);

// The search from every given local identity in turn (at most the first `limit`). `onSlot`
// learns each identity and its number before its exchange; `onFound` gets each record made from
// an answer 7 and says whether it listed it (the caller drops the ones whose MAC it lists already).
struct MulticastSearchRequest
{
    std::vector<LocalId> identities;
    std::size_t limit = 10;
    int waitMs = kMulticastSearchWaitMs;
    std::function<void(std::size_t slot, const LocalId&)> onSlot;
    std::function<bool(const DeviceRecord&)> onFound;
    std::vector<const WakeSignal*> wakes;
};
void searchMulticast(const MulticastSearchRequest& request);

// The answers of the single-question exchanges: nullopt when no answer came (or the read failed;
// `status` tells).
struct PasswordCheckResult
{
    MulticastStatus status = MulticastStatus::Quiet;
    std::optional<bool> accepted;
};
PasswordCheckResult checkPasswordMulticast(const LocalId& asking, const Mac& camera, const IPv4& cameraIp,
                                           std::string_view user, std::string_view password,
                                           std::vector<const WakeSignal*> wakes = {});

struct SetAddressResult
{
    MulticastStatus status = MulticastStatus::Quiet;
    bool answered = false;
};
SetAddressResult setAddressMulticast(const LocalId& asking, const Mac& camera, const IPv4& cameraIp,
                                     std::uint8_t mode, std::string_view address, std::string_view mask,
                                     std::string_view gateway, std::vector<const WakeSignal*> wakes = {});

struct WirelessQueryResult
{
    MulticastStatus status = MulticastStatus::Quiet;
    std::optional<WirelessAnswer> answer;
};
WirelessQueryResult queryWirelessMulticast(const LocalId& asking, const Mac& camera, const IPv4& cameraIp,
                                           std::vector<const WakeSignal*> wakes = {});

} // namespace tessivor::camproto
