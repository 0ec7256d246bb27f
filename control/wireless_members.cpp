// Extended device information (DevExtInfBroadcast, FoundString) and the wireless members: the
// camera's own link while no access point is selected, else the selected site-survey entry.
#include "control/cimage.h"
#include "control/discovery_state.h"

#include "camproto/discovery_extinfo.h"

#include <algorithm>

namespace tessivor {

int CImage::queryExtendedInfo(CImage& c)
{
    DiscoveryState& d = *c.m_Discovery;
    const ConnectionSettings s = c.m_Connection.read();
    camproto::ExtendedInfoRequest r;
    r.sequence = camproto::nextSequence(c.m_Search.m_nSequence);
    std::copy(s.m_TargetMac.begin(), s.m_TargetMac.end(), r.mac.begin());
    std::copy(s.m_TargetIp.begin(), s.m_TargetIp.end(), r.ip.begin());
    r.wakes = {&d.shutdown};
    const camproto::ExtendedInfoResult result = camproto::queryExtendedInfo(r);
    if (result.reply)
        d.extInfoReply = *result.reply;
    c.m_Http.m_lErrCode.store(static_cast<std::int32_t>(result.error));
    if (result.webPort) {
        const std::int32_t webPort = *result.webPort;
        c.m_Connection.update([webPort](ConnectionSettings& st) { st.m_nRemoteWebPort = webPort; });
    }
    return result.result;
}

HRESULT CImage::DevExtInfBroadcast(std::int32_t* pVal)
{
    *pVal = queryExtendedInfo(*this);
    return S_OK;
}

HRESULT CImage::FoundString(std::int32_t iIndex, std::string* pVal)
{
    if (iIndex == 0 || iIndex == 1)
        *pVal = camproto::extendedInfoText(m_Discovery->extInfoReply, iIndex);
    return S_OK;
}

// ---- access points ----

namespace {

// The selected entry, or null while none is (or the selection lies beyond the list).
const SiteSurveyEntry* selectedAp(const DiscoveryState& d)
{
    const int count = std::min(d.apCount, static_cast<int>(d.apList.size()));
    if (d.selectedAp < 0 || d.selectedAp >= count)
        return nullptr;
    return &d.apList[static_cast<std::size_t>(d.selectedAp)];
}

template <std::size_t N> std::string fieldText(const std::array<char, N>& field)
{
    return std::string(field.begin(), std::find(field.begin(), field.end(), '\0'));
}

} // namespace

HRESULT CImage::put_WiFiAPNum(std::int32_t newVal)
{
    DiscoveryState& d = *m_Discovery;
    const int count = std::min(d.apCount, static_cast<int>(d.apList.size()));
    if (newVal == -1)
        d.selectedAp = -1;
    else if (newVal >= count)
        d.selectedAp = count - 1; // the last entry; none (-1) when the list is empty
    else if (newVal < 1)
        d.selectedAp = count > 0 ? 0 : -1;
    else
        d.selectedAp = newVal - 1;
    return S_OK;
}

HRESULT CImage::get_WiFiAPNum(std::int32_t* pVal)
{
    *pVal = m_Discovery->selectedAp;
    return S_OK;
}

HRESULT CImage::get_WLMagic(std::int32_t* pVal)
{
    const SiteSurveyEntry* e = selectedAp(*m_Discovery);
    *pVal = e ? static_cast<std::int32_t>(e->magic) : 0;
    return S_OK;
}

HRESULT CImage::get_WLBSSID(std::string* pVal)
{
    const SiteSurveyEntry* e = selectedAp(*m_Discovery);
    *pVal = e ? fieldText(e->bssid) : std::string();
    return S_OK;
}

HRESULT CImage::get_WLSSID(std::string* pVal)
{
    const SiteSurveyEntry* e = selectedAp(*m_Discovery);
    *pVal = e ? fieldText(e->ssid) : m_Discovery->wirelessLink.ssidText();
    return S_OK;
}

HRESULT CImage::get_WLChannel(std::int32_t* pVal)
{
    const SiteSurveyEntry* e = selectedAp(*m_Discovery);
    *pVal = e ? e->channel : m_Discovery->wirelessLink.channel;
    return S_OK;
}

HRESULT CImage::get_WLEncryptionMode(std::int32_t* pVal)
{
    const SiteSurveyEntry* e = selectedAp(*m_Discovery);
    *pVal = e ? e->encryption : 0;
    return S_OK;
}

HRESULT CImage::get_WLSignalStrength(std::int32_t* pVal)
{
    const SiteSurveyEntry* e = selectedAp(*m_Discovery);
    *pVal = e ? e->signal : m_Discovery->wirelessLink.signalStrength;
    return S_OK;
}

HRESULT CImage::get_WLBSSMode(std::int32_t* pVal)
{
    const SiteSurveyEntry* e = selectedAp(*m_Discovery);
    *pVal = e ? e->bssMode : 0;
    return S_OK;
}

HRESULT CImage::get_WLStatus(std::int32_t* pVal)
{
    *pVal = m_Discovery->wirelessLink.status;
    return S_OK;
}

HRESULT CImage::get_WLConnectStatus(std::int32_t* pVal)
{
    *pVal = m_Discovery->wirelessLink.connectStatus;
    return S_OK;
}

HRESULT CImage::get_WLCountryCode(std::int32_t* pVal)
{
    *pVal = m_Discovery->wirelessLink.countryCode;
    return S_OK;
}

HRESULT CImage::get_WLSecurity(std::int32_t* pVal)
{
    *pVal = m_Discovery->wirelessLink.security;
    return S_OK;
}

HRESULT CImage::get_WLReceivePackets(std::int32_t* pVal)
{
    *pVal = static_cast<std::int32_t>(m_Discovery->wirelessLink.receivedPackets);
    return S_OK;
}

HRESULT CImage::get_WLTransmitPackets(std::int32_t* pVal)
{
    *pVal = static_cast<std::int32_t>(m_Discovery->wirelessLink.transmittedPackets);
    return S_OK;
}

} // namespace tessivor
