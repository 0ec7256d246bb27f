// ProbeDevice and FoundProtocol: the chain of ways in which the supported cameras describe
// themselves ("/getInfo.asp", "/DevInfo.CGI", the "/goform/serial" and "/cgi-bin/devinfo.cgi"
// pages, the unicast datagram probe), the locality check, and the protocol a found record asks
// for. The pages go through the HTTP engine; the datagram and raw steps are camproto's.
#include "control/cimage.h"
#include "control/discovery_state.h"
#include "control/discovery_workers.h"

#include "camproto/packet_fields.h"
#include "camproto/probe_devinfo_cgi.h"
#include "camproto/probe_pages.h"
#include "camproto/probe_udp.h"

#include <algorithm>
#include <cstring>

namespace tessivor {

namespace {

constexpr int kGetInfoTries = 3;

// GET `path` through the HTTP engine; true on success (the body is in m_Body).
bool getPage(CImage& c, const char* path, int parse = 0)
{
    c.m_szCgiPath.assign(path);
    return c.HttpGet(parse) == -1;
}

std::span<const std::uint8_t> bodyBytes(const CImage& c, std::size_t n)
{
    return {reinterpret_cast<const std::uint8_t*>(c.m_Body.data()), std::min(n, c.m_Body.size())};
}

void setCurrent(CImage& c, const camproto::DeviceRecord& record)
{
    std::lock_guard guard(c.m_Discovery->lock);
    c.m_Discovery->current = record;
}

// The camera's address as dotted text (a host name is looked up); empty when it has none.
std::string remoteAddress(CImage& c)
{
    const std::string host = c.m_szRemoteHost.str();
    char dotted[64] = {};
    CWSClient lookup;
    if (lookup.GetAddressFromName(host.c_str(), dotted, sizeof dotted) != 0)
        return {};
    return dotted;
}

int probeGetInfoAsp(CImage& c)
{
    for (int i = 0; i < kGetInfoTries; ++i) {
        if (!getPage(c, "/getInfo.asp"))
            continue;
        std::memcpy(c.m_DevExtInfo.data(), c.m_Body.data(), camproto::kDevExtInfoSize);
        camproto::IPv4 address{};
        camproto::parseIPv4(c.m_szRemoteHost.str(), address.data());
        setCurrent(c, camproto::recordFromGetInfo(bodyBytes(c, camproto::kDevExtInfoSize), address));
        return -1;
    }
    return 0;
}

int getDevInfoCgi(CImage& c)
{
    camproto::DevInfoCgiRequest r;
    const bool bypass = c.m_bLocalCamera.load() != 0 && c.m_bBypassProxy.load() != 0;
    r.viaProxy = c.m_bEnableProxy.load() == 1 && !bypass;
    r.remoteHost = c.m_szRemoteHost.str();
    r.remotePort = c.m_nRemotePort.load();
    r.host = r.viaProxy ? c.m_szProxyHost.str() : r.remoteHost;
    r.port = r.viaProxy ? c.m_nProxyPort.load() : r.remotePort;
    r.userName = c.m_szUserName.str();
    r.authorization = c.EncodeCredentials();
    r.connectTimeoutSeconds = c.m_nConnTimeOut.load();
    const camproto::DevInfoCgiResult result = camproto::getDevInfoCgi(r);
    if (result.result != -1)
        return 0;
    std::lock_guard guard(c.m_Discovery->lock);
    c.m_Discovery->current.fillFromBody(*result.body);
    return -1;
}

int getDeviceInfoWeb(CImage& c)
{
    if (!getPage(c, "/goform/serial"))
        return 0;
    c.SetDeviceSerialNoText(c.BodyText());
    if (!getPage(c, "/cgi-bin/devinfo.cgi"))
        return 0;
    {
        std::lock_guard guard(c.m_Discovery->lock);
        c.m_Discovery->current.fillFromBody(bodyBytes(c, camproto::DeviceRecord::kBodySize));
        const camproto::Mac mac = c.m_Discovery->current.mac();
        std::copy(mac.begin(), mac.end(), c.m_TargetMac.begin());
    }
    getPage(c, "/cgi-bin/config.cgi", 1); // fills the parameter table; its result is not needed
    return -1;
}

int probeDeviceUdp(CImage& c)
{
    camproto::UdpProbeRequest r;
    r.sequence = camproto::nextSequence(c.m_nSequence);
    r.host = remoteAddress(c);
    r.wakes = {&c.m_Discovery->shutdown};
    if (r.host.empty())
        return 0;
    const camproto::UdpProbeResult result = camproto::probeUdp(r);
    if (result.result != -1)
        return 0;
    setCurrent(c, *result.record);
    const camproto::Mac mac = result.record->mac();
    std::copy(mac.begin(), mac.end(), c.m_TargetMac.begin());
    return -1;
}

int queryDeviceInfoBroadcast(CImage& c)
{
    camproto::LocalityCheckRequest r;
    r.sequence = camproto::nextSequence(c.m_nSequence);
    std::copy(c.m_TargetMac.begin(), c.m_TargetMac.end(), r.mac.begin());
    std::copy(c.m_TargetIp.begin(), c.m_TargetIp.end(), r.ip.begin());
    r.wakes = {&c.m_Discovery->shutdown};
    const camproto::LocalityCheckResult result = camproto::checkLocality(r);
    if (result.challenge)
        c.m_Discovery->authBlock = *result.challenge;
    return result.result;
}

int probeDeviceWorker(CImage& c)
{
    int result = probeGetInfoAsp(c);
    if (result == -1)
        c.m_nProtocol.store(PROTOCOL_KESTRA);
    if (result != -1)
        result = getDevInfoCgi(c);
    if (result != -1)
        result = getDeviceInfoWeb(c);
    if (result != -1) {
        result = probeDeviceUdp(c);
        if (result == -1)
            c.m_nProtocol.store(PROTOCOL_NATIVE);
    }
    if (result == -1 && c.m_bKeepLocalCamera.load() == 0)
        c.m_bLocalCamera.store(queryDeviceInfoBroadcast(c) == -1 ? 1 : 0);
    return result;
}

} // namespace

HRESULT CImage::ProbeDevice(std::int32_t mode, VariantBool newVal, std::int32_t* pVal)
{
    m_bKeepLocalCamera.store(boolValue(newVal));
    if (mode == 0) {
        *pVal = probeDeviceWorker(*this);
    } else if (mode == 1) {
        const bool started = m_Discovery->probeThread.start("probe", [this] {
            const int result = probeDeviceWorker(*this);
            postMessage(m_hWnd, WM_ENDPROBEDEVICE,
                        static_cast<std::uintptr_t>(static_cast<std::uint32_t>(result)), 0);
        });
        *pVal = started ? -1 : 0;
    }
    return S_OK;
}

HRESULT CImage::get_FoundProtocol(std::int32_t* pVal)
{
    const int index = m_nSelectedDevice.load();
    const auto record = m_Discovery->selected(index);
    if (!record) {
        *pVal = 0;
        return S_OK;
    }
    const std::uint16_t flags = record->flags();
    if ((flags & camproto::DeviceRecord::kFlagsKestraMask) != camproto::DeviceRecord::kFlagsKestraMask) {
        *pVal = (flags & camproto::DeviceRecord::kFlagVideoCgi) != 0 ? PROTOCOL_VIDEO_CGI : PROTOCOL_NATIVE;
        return S_OK;
    }
    const bool noModel = record->model() == "N/A";
    if (index == -1) {
        *pVal = !noModel && getPage(*this, "/goform/serial") ? PROTOCOL_MULTIPART : PROTOCOL_KESTRA;
        return S_OK;
    }
    if (!noModel) {
        const camproto::Mac mac = record->mac();
        std::copy(mac.begin(), mac.end(), m_TargetMac.begin());
        if (queryExtendedInfo(*this) == -1) {
            *pVal = PROTOCOL_MULTIPART; // RemoteWebPort came with the answer
            return S_OK;
        }
    }
    m_nRemoteWebPort.store(static_cast<std::int32_t>(record->webPort()));
    *pVal = PROTOCOL_KESTRA;
    return S_OK;
}

} // namespace tessivor
