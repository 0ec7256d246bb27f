// The multicast members: the search alone, the password check, the address change and the
// wireless query from local identity slot 0, the local identity slots, and the local adapter
// tables with the subnet test.
#include "control/cimage.h"
#include "control/discovery_state.h"

#include "camproto/discovery_multicast.h"
#include "camproto/dotted_bytes.h"
#include "camproto/packet_fields.h"

#include <algorithm>

namespace tessivor {

namespace {

camproto::Mac targetMac(const ConnectionSettings& s)
{
    camproto::Mac m;
    std::copy(s.m_TargetMac.begin(), s.m_TargetMac.end(), m.begin());
    return m;
}

camproto::IPv4 targetIp(const ConnectionSettings& s)
{
    camproto::IPv4 a;
    std::copy(s.m_TargetIp.begin(), s.m_TargetIp.end(), a.begin());
    return a;
}

// Refreshes the local tables; their count, 0 when the adapter list cannot be read.
std::int32_t refreshLocalTables(DiscoveryState& d)
{
    const auto tables = camproto::readLocalTables();
    if (!tables)
        return 0;
    d.localTables = *tables;
    return static_cast<std::int32_t>(tables->count);
}

} // namespace

HRESULT CImage::SearchCameraMulticast(std::int32_t* pVal)
{
    *pVal = 0;
    m_Discovery->clear();
    searchDeviceMulticast(*this);
    *pVal = static_cast<std::int32_t>(m_Discovery->count());
    return S_OK;
}

HRESULT CImage::CheckPasswordMulticast(std::string_view sUserName, std::string_view sPassword,
                                       std::int32_t* pVal)
{
    put_UserName(sUserName);
    put_Password(sPassword);
    DiscoveryState& d = *m_Discovery;
    const ConnectionSettings s = m_Connection.read();
    const auto r = camproto::checkPasswordMulticast(d.localId(0), targetMac(s), targetIp(s), sUserName,
                                                    sPassword, {&d.shutdown});
    if (r.accepted)
        *pVal = *r.accepted ? -1 : 0;
    else if (r.status != camproto::MulticastStatus::ReadFailed)
        *pVal = 0;
    return S_OK;
}

HRESULT CImage::SetIPAddressMulticast(std::string_view sIPAddress, std::string_view sSubnetMask,
                                      std::string_view sGateway, std::int32_t mode, std::int32_t* pVal)
{
    if (sIPAddress.empty() || sSubnetMask.empty()) {
        *pVal = 0;
        return E_INVALIDARG;
    }
    DiscoveryState& d = *m_Discovery;
    const std::string_view gateway = sGateway.empty() ? std::string_view("0.0.0.0") : sGateway;
    const ConnectionSettings s = m_Connection.read();
    const auto r = camproto::setAddressMulticast(d.localId(0), targetMac(s), targetIp(s),
                                                 static_cast<std::uint8_t>(mode & 0xFF), sIPAddress,
                                                 sSubnetMask, gateway, {&d.shutdown});
    if (r.answered)
        *pVal = -1;
    else if (r.status != camproto::MulticastStatus::ReadFailed)
        *pVal = 0;
    return S_OK;
}

HRESULT CImage::DevExtInfoKestraMulticast(std::int32_t* pVal)
{
    DiscoveryState& d = *m_Discovery;
    const ConnectionSettings s = m_Connection.read();
    const auto r = camproto::queryWirelessMulticast(d.localId(0), targetMac(s), targetIp(s), {&d.shutdown});
    if (!r.answer) {
        *pVal = 0;
        return S_OK;
    }
    d.wirelessLink = r.answer->link;
    {
        std::lock_guard guard(d.lock);
        d.current.setBytes(camproto::DeviceRecord::kAddress, r.answer->cameraAddress);
    }
    *pVal = -1;
    return S_OK;
}

HRESULT CImage::get_LUUIDNum(std::int32_t* pVal)
{
    *pVal = m_Discovery->localIdNumber();
    return S_OK;
}

HRESULT CImage::put_LUUIDNum(std::int32_t newVal)
{
    m_Discovery->setLocalIdNumber(newVal);
    return S_OK;
}

HRESULT CImage::GetLocalUUID(std::int32_t newVal, std::string* pVal)
{
    if (!camproto::isLocalSlot(newVal)) {
        pVal->clear();
        return S_OK;
    }
    const camproto::LocalId id = m_Discovery->localId(static_cast<std::size_t>(newVal));
    std::uint8_t bytes[10];
    std::copy(id.mac.begin(), id.mac.end(), bytes);
    std::copy(id.address.begin(), id.address.end(), bytes + 6);
    *pVal = camproto::bytesToDotted(bytes, sizeof bytes);
    return S_OK;
}

HRESULT CImage::SetLocalUUID(std::int32_t newNum, const Variant& newVal)
{
    std::string text;
    if (!camproto::isLocalSlot(newNum) || newVal.toBstr(&text) != S_OK)
        return S_OK;
    DiscoveryState& d = *m_Discovery;
    const auto slot = static_cast<std::size_t>(newNum);
    std::lock_guard guard(d.idLock); // read, change and write back as one step
    camproto::LocalId& id = d.localIds[slot];
    std::uint8_t bytes[10];
    std::copy(id.mac.begin(), id.mac.end(), bytes);
    std::copy(id.address.begin(), id.address.end(), bytes + 6);
    camproto::dottedToBytes(text, bytes, sizeof bytes);
    std::copy(bytes, bytes + 6, id.mac.begin());
    std::copy(bytes + 6, bytes + 10, id.address.begin());
    return S_OK;
}

HRESULT CImage::SearchLocalIP(std::int32_t* pVal)
{
    *pVal = refreshLocalTables(*m_Discovery);
    return S_OK;
}

namespace {

// Slot `slot` of a local table in its text form; empty outside the slots.
template <std::size_t N>
std::string localSlotText(const std::array<std::array<std::uint8_t, N>, camproto::kLocalSlots>& table,
                          std::int32_t slot)
{
    if (!camproto::isLocalSlot(slot))
        return {};
    return camproto::bytesToDotted(table[static_cast<std::size_t>(slot)].data(), N);
}

} // namespace

HRESULT CImage::GetLocalIP(std::int32_t newVal, std::string* pVal)
{
    *pVal = localSlotText(m_Discovery->localTables.addresses, newVal);
    return S_OK;
}

HRESULT CImage::GetLocalMask(std::int32_t newVal, std::string* pVal)
{
    *pVal = localSlotText(m_Discovery->localTables.masks, newVal);
    return S_OK;
}

HRESULT CImage::GetLocalMAC(std::int32_t newVal, std::string* pVal)
{
    *pVal = localSlotText(m_Discovery->localTables.macs, newVal);
    return S_OK;
}

HRESULT CImage::IsLocalIP(std::string_view sIPAddress, VariantBool* pVal)
{
    // A dotted text is used as it stands; a name is looked up first.
    std::string text(sIPAddress);
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) {
        char dotted[64] = {};
        CWSClient lookup;
        if (lookup.GetAddressFromName(text.c_str(), dotted, sizeof dotted) != 0) {
            *pVal = VARIANT_FALSE; // a name that cannot be resolved is not local
            return S_OK;
        }
        text = dotted;
    }
    camproto::IPv4 address{};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t dot = text.find('.', pos);
        const long long v = camproto::leadingDecimal(
            std::string_view(text).substr(pos, dot == text.npos ? text.npos : dot - pos));
        if (v >= 256)
            return S_FALSE;
        address[i] = static_cast<std::uint8_t>(v & 0xFF);
        if (dot == text.npos)
            break;
        pos = dot + 1;
    }
    refreshLocalTables(*m_Discovery);
    *pVal = camproto::isOnLocalSubnet(m_Discovery->localTables, address) ? VariantBool{1} : VARIANT_FALSE;
    return S_OK;
}

} // namespace tessivor
