// Device search: SearchDevice (broadcast and multicast side by side), StopSearch and the
// found-device members. The protocol work is camproto's; here the control's list, flags and
// messages.
#include "control/cimage.h"
#include "control/discovery_state.h"

#include "camproto/discovery_multicast.h"
#include "camproto/discovery_search.h"
#include "platform/clock.h"

namespace tessivor {

namespace {

constexpr std::uint32_t kStopSearchPauseMs = 100;

} // namespace

// ---- the list ----

DiscoveryState::~DiscoveryState()
{
    shutdown.raise();
    searchStop.raise();
    broadcastThread.join();
    multicastThread.join();
    probeThread.join();
}

std::optional<camproto::DeviceRecord> DiscoveryState::selected(int index) const
{
    std::lock_guard guard(lock);
    if (index == -1)
        return current;
    if (index >= 0 && static_cast<std::size_t>(index) < found.size())
        return found[static_cast<std::size_t>(index)];
    return std::nullopt;
}

std::size_t DiscoveryState::addIfNew(const camproto::DeviceRecord& record)
{
    std::lock_guard guard(lock);
    const camproto::Mac mac = record.mac();
    for (const auto& r : found)
        if (r.mac() == mac)
            return 0;
    found.push_back(record);
    return found.size();
}

camproto::LocalId DiscoveryState::localId(std::size_t slot) const
{
    std::lock_guard guard(idLock);
    return localIds.at(slot);
}

void DiscoveryState::setLocalId(std::size_t slot, const camproto::LocalId& id)
{
    std::lock_guard guard(idLock);
    localIds.at(slot) = id;
}

std::int32_t DiscoveryState::localIdNumber() const
{
    std::lock_guard guard(idLock);
    return localIdNum;
}

void DiscoveryState::setLocalIdNumber(std::int32_t number)
{
    std::lock_guard guard(idLock);
    localIdNum = number;
}

bool DiscoveryState::known(const camproto::Mac& mac) const
{
    std::lock_guard guard(lock);
    for (const auto& r : found)
        if (r.mac() == mac)
            return true;
    return false;
}

std::size_t DiscoveryState::count() const
{
    std::lock_guard guard(lock);
    return found.size();
}

void DiscoveryState::clear()
{
    std::lock_guard guard(lock);
    found.clear();
}

// ---- the two searches ----

bool CImage::discoveryListRecord(CImage& c, const camproto::DeviceRecord& record)
{
    const std::size_t n = c.m_Discovery->addIfNew(record);
    if (n != 0 && c.m_Search.m_bQuietSearch.load() == 0)
        c.PostImageEvent(EVT_DEVICE_FOUND, static_cast<std::intptr_t>(n));
    return n != 0;
}

int CImage::searchDeviceBroadcast(CImage& c, const std::string& target)
{
    DiscoveryState& d = *c.m_Discovery;
    c.m_Sockets.m_SearchSocket.CloseConnection();
    d.searchStop.reset();
    c.m_Search.m_bSearching.store(1);
    camproto::BroadcastSearchRequest r;
    r.sequence = camproto::nextSequence(c.m_Search.m_nSequence);
    r.target = target;
    r.searching = [&c] { return c.m_Search.m_bSearching.load() != 0; };
    r.known = [&d](const camproto::Mac& mac) { return d.known(mac); };
    r.addIfNew = [&c](const camproto::DeviceRecord& record) { return discoveryListRecord(c, record); };
    r.wakes = {&d.searchStop, &d.shutdown};
    return camproto::searchBroadcast(r).result;
}

int CImage::searchDeviceMulticast(CImage& c)
{
    DiscoveryState& d = *c.m_Discovery;
    const auto identities = camproto::readLocalIdentities();
    if (!identities)
        return 0;
    camproto::MulticastSearchRequest r;
    r.identities = *identities;
    r.limit = camproto::kLocalSlots;
    r.onSlot = [&d](std::size_t slot, const camproto::LocalId& id) {
        std::lock_guard guard(d.idLock); // slot and number change together
        d.localIds[slot] = id;
        d.localIdNum = static_cast<std::int32_t>(slot);
    };
    r.onFound = [&c](const camproto::DeviceRecord& record) { return discoveryListRecord(c, record); };
    r.wakes = {&d.shutdown};
    camproto::searchMulticast(r);
    return 0;
}

void CImage::endSearchWorker(CImage& c, std::atomic<std::int32_t>& ownDone,
                             const std::atomic<std::int32_t>& otherDone, int result)
{
    std::lock_guard guard(c.m_Discovery->endLock);
    if (otherDone.load() != 0)
        postMessage(c.windowHandle(), WM_ENDSEARCHDEVICE,
                    static_cast<std::uintptr_t>(static_cast<std::uint32_t>(result)), 0);
    ownDone.store(1);
}

HRESULT CImage::SearchDevice(std::int32_t mode, std::string_view sIPAddress, std::int32_t* pVal)
{
    // Each search works from its own copy of the target: a later call cannot change it under a
    // running worker.
    const std::string target(sIPAddress);
    DiscoveryState& d = *m_Discovery;
    SearchFlags& f = m_Search;
    if (mode == 0) {
        f.m_bQuietSearch.store(1);
        d.clear();
        searchDeviceMulticast(*this);
        *pVal = searchDeviceBroadcast(*this, target);
    } else if (mode == 1) {
        if (d.broadcastThread.running() || d.multicastThread.running()) {
            *pVal = 0; // the previous search has not ended
            return S_OK;
        }
        f.m_bQuietSearch.store(0);
        f.m_bBroadcastSearchDone.store(0);
        f.m_bMulticastSearchDone.store(0);
        d.clear();
        const bool multicast = d.multicastThread.start("search-mcast", [this] {
            endSearchWorker(*this, m_Search.m_bMulticastSearchDone, m_Search.m_bBroadcastSearchDone,
                            searchDeviceMulticast(*this));
        });
        if (!multicast) {
            f.m_bMulticastSearchDone.store(1); // the broadcast worker alone ends the search
        }
        const bool broadcast = d.broadcastThread.start("search-bcast", [this, target] {
            endSearchWorker(*this, m_Search.m_bBroadcastSearchDone, m_Search.m_bMulticastSearchDone,
                            searchDeviceBroadcast(*this, target));
        });
        if (!broadcast) {
            // No end message can come from a worker that never ran: report the failure here.
            std::lock_guard guard(d.endLock);
            if (f.m_bMulticastSearchDone.load() != 0)
                postMessage(m_hWnd, WM_ENDSEARCHDEVICE, 0, 0);
            f.m_bBroadcastSearchDone.store(1);
        }
        *pVal = multicast && broadcast ? -1 : 0;
    }
    return S_OK;
}

HRESULT CImage::StopSearch(std::int32_t* pVal)
{
    m_Sockets.m_SearchSocket.CloseConnection();
    m_Search.m_bSearching.store(0);
    m_Discovery->searchStop.raise();
    sleepMs(kStopSearchPauseMs);
    *pVal = -1;
    return S_OK;
}

HRESULT CImage::get_SearchCount(std::int32_t* pVal)
{
    *pVal = static_cast<std::int32_t>(m_Discovery->count());
    return S_OK;
}

HRESULT CImage::put_FoundIndex(std::int32_t newVal)
{
    m_Search.m_nSelectedDevice.store(newVal);
    return S_OK;
}

// ---- found-device members ----

std::optional<camproto::DeviceRecord> CImage::selectedRecord() const
{
    return m_Discovery->selected(m_Search.m_nSelectedDevice.load());
}

namespace {

template <class Read>
HRESULT foundText(const std::optional<camproto::DeviceRecord>& r, std::string* pVal, Read read)
{
    *pVal = r ? read(*r) : std::string();
    return S_OK;
}

} // namespace

HRESULT CImage::get_FoundIPAddress(std::string* pVal)
{
    return foundText(selectedRecord(), pVal, [](const camproto::DeviceRecord& r) { return r.ipText(); });
}

HRESULT CImage::get_FoundMACAddress(std::string* pVal)
{
    return foundText(selectedRecord(), pVal, [](const camproto::DeviceRecord& r) { return r.macText(); });
}

HRESULT CImage::get_FoundSubMask(std::string* pVal)
{
    return foundText(selectedRecord(), pVal, [](const camproto::DeviceRecord& r) { return r.maskText(); });
}

HRESULT CImage::get_FoundDefGateway(std::string* pVal)
{
    return foundText(selectedRecord(), pVal, [](const camproto::DeviceRecord& r) { return r.gatewayText(); });
}

HRESULT CImage::get_FoundDeviceName(std::string* pVal)
{
    return foundText(selectedRecord(), pVal, [](const camproto::DeviceRecord& r) { return r.name(); });
}

HRESULT CImage::get_FoundServerModel(std::string* pVal)
{
    return foundText(selectedRecord(), pVal, [](const camproto::DeviceRecord& r) { return r.model(); });
}

HRESULT CImage::get_FoundLocation(std::string* pVal)
{
    return foundText(selectedRecord(), pVal, [](const camproto::DeviceRecord& r) { return r.location(); });
}

HRESULT CImage::get_FoundFWVersion(std::string* pVal)
{
    return foundText(selectedRecord(), pVal,
                     [](const camproto::DeviceRecord& r) { return r.firmwareVersionText(); });
}

HRESULT CImage::get_FoundROMVersion(std::string* pVal)
{
    return foundText(selectedRecord(), pVal,
                     [](const camproto::DeviceRecord& r) { return r.romVersionText(); });
}

HRESULT CImage::get_FoundHWVersion(std::string* pVal)
{
    return foundText(selectedRecord(), pVal,
                     [](const camproto::DeviceRecord& r) { return r.hardwareVersionText(); });
}

HRESULT CImage::get_FoundDevServerStatus(std::int16_t* pVal)
{
    const auto r = selectedRecord();
    *pVal = r ? r->serverStatus() : std::int16_t{0};
    return S_OK;
}

HRESULT CImage::get_FoundProp(std::int32_t* pVal)
{
    const auto r = selectedRecord();
    *pVal = r ? static_cast<std::int32_t>(r->flags()) : 0;
    return S_OK;
}

} // namespace tessivor
