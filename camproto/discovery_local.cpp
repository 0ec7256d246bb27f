#include "camproto/discovery_local.h"

#include "io/local_adapters.h"

#include <algorithm>

namespace tessivor::camproto {

std::optional<LocalTables> readLocalTables()
{
    const auto list = listLocalAdapterAddresses();
    if (!list)
        return std::nullopt;
    LocalTables t;
    for (const LocalAdapterAddress& a : *list) {
        if (t.count == kLocalSlots)
            break; // the tables hold ten; later addresses are not listed
        t.addresses[t.count] = a.address;
        t.masks[t.count] = a.mask;
        t.macs[t.count] = a.mac;
        ++t.count;
    }
    return t;
}

std::optional<std::vector<LocalId>> readLocalIdentities()
{
    const auto list = listLocalAdapterAddresses();
    if (!list)
        return std::nullopt;
    std::vector<LocalId> out;
    for (const LocalAdapterAddress& a : *list)
        out.push_back(LocalId{a.mac, a.address});
    return out;
}

bool isOnLocalSubnet(const LocalTables& t, const IPv4& address)
{
    for (std::size_t i = 0; i < std::min(t.count, kLocalSlots); ++i) {
        if (t.addresses[i] == IPv4{})
            continue;
        bool same = true;
        for (std::size_t b = 0; b < 4; ++b)
            same = same && (t.addresses[i][b] & t.masks[i][b]) == (address[b] & t.masks[i][b]);
        if (same)
            return true;
    }
    return false;
}

} // namespace tessivor::camproto
