// The control's view of the local network adapters: ten slots of local addresses, masks and
// MACs (filled from the system's adapter list), and the test whether an address lies on one of
// their subnets.
#pragma once

#include "camproto/discovery_multicast_packets.h"

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

namespace tessivor::camproto {

inline constexpr std::size_t kLocalSlots = 10;

struct LocalTables
{
    std::array<IPv4, kLocalSlots> addresses{};
    std::array<IPv4, kLocalSlots> masks{};
    std::array<Mac, kLocalSlots> macs{};
    std::size_t count = 0; // slots filled, at most kLocalSlots
};

// The system's adapter addresses in order, the first ten of them; nullopt when the list cannot
// be read.
std::optional<LocalTables> readLocalTables();

// Every adapter address as a LocalId, in the same order (all of them).
std::optional<std::vector<LocalId>> readLocalIdentities();

// True when `address` lies on the subnet of a filled slot whose address is not 0.0.0.0.
bool isOnLocalSubnet(const LocalTables& tables, const IPv4& address);

// True when `slot` names one of the ten slots.
inline bool isLocalSlot(long long slot)
{
    return slot >= 0 && slot < static_cast<long long>(kLocalSlots);
}

} // namespace tessivor::camproto
