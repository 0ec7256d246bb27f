// The local network adapters' IPv4 addresses, as the discovery protocols ask from them: per
// address its interface, mask and the interface's hardware (MAC) address.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessivor {

struct LocalAdapterAddress
{
    std::string interfaceName;
    std::array<std::uint8_t, 6> mac{};     // zero when the interface has none
    std::array<std::uint8_t, 4> address{}; // text order
    std::array<std::uint8_t, 4> mask{};
};

// Every IPv4 address of every interface that is up and is not a loopback, in the system's order
// (interface by interface, addresses in the order they were added). nullopt when the list cannot
// be read.
std::optional<std::vector<LocalAdapterAddress>> listLocalAdapterAddresses();

} // namespace tessivor
