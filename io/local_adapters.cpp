#include "io/local_adapters.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/socket.h>

#include <cstring>
#include <map>

namespace tessivor {

namespace {

std::array<std::uint8_t, 4> bytesOf(const sockaddr* a)
{
    std::array<std::uint8_t, 4> out{};
    if (a && a->sa_family == AF_INET)
        std::memcpy(out.data(), &reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr, 4);
    return out;
}

} // namespace

std::optional<std::vector<LocalAdapterAddress>> listLocalAdapterAddresses()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return std::nullopt;
    // The hardware addresses come as AF_PACKET entries of the same interfaces.
    std::map<std::string, std::array<std::uint8_t, 6>> macs;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto* ll = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
        std::array<std::uint8_t, 6> mac{};
        if (ll->sll_halen >= 6)
            std::memcpy(mac.data(), ll->sll_addr, 6);
        macs[i->ifa_name] = mac;
    }
    std::vector<LocalAdapterAddress> out;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
            continue;
        if ((i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        LocalAdapterAddress a;
        a.interfaceName = i->ifa_name;
        a.address = bytesOf(i->ifa_addr);
        a.mask = bytesOf(i->ifa_netmask);
        if (auto m = macs.find(a.interfaceName); m != macs.end())
            a.mac = m->second;
        out.push_back(std::move(a));
    }
    ::freeifaddrs(list);
    return out;
}

} // namespace tessivor
