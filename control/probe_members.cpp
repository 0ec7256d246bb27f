// ProbeDevice and FoundProtocol: the chain of ways in which the supported cameras describe
// themselves ("/getInfo.asp", "/DevInfo.CGI", the "/goform/serial" and "/cgi-bin/devinfo.cgi"
// pages, the unicast datagram probe), the locality check, and the protocol a found record asks
// for. The pages go through the HTTP engine; the datagram and raw steps are camproto's.
#include "control/camera_http_call.h"
#include "control/cimage.h"
#include "control/discovery_state.h"

#include "camproto/packet_fields.h"
#include "camproto/probe_devinfo_cgi.h"
#include "camproto/probe_pages.h"
#include "camproto/probe_udp.h"

#include <algorithm>
#include <cstring>

namespace tessivor {

namespace {

constexpr int kGetInfoTries = 3;

std::span<const std::uint8_t> bodyBytes(const HttpExchange& h, std::size_t n)
{
    return {reinterpret_cast<const std::uint8_t*>(h.m_Body.data()), std::min(n, h.m_Body.size())};
}

void setCurrent(DiscoveryState& d, const camproto::DeviceRecord& record)
{
    std::lock_guard guard(d.lock);
    d.current = record;
}

void setTargetMac(Guarded<ConnectionSettings>& connection, const camproto::Mac& mac)
{
    connection.update(
        [&mac](ConnectionSettings& s) { std::copy(mac.begin(), mac.end(), s.m_TargetMac.begin()); });
}

} // namespace

bool CImage::getPage(CImage& c, const char* path, int parse)
{
    c.m_Http.m_szCgiPath.assign(path);
    return c.HttpGet(parse) == -1;
}

int CImage::probeGetInfoAsp(CImage& c)
{
    for (int i = 0; i < kGetInfoTries; ++i) {
        if (!getPage(c, "/getInfo.asp"))
            continue;
        std::memcpy(c.m_Http.m_DevExtInfo.data(), c.m_Http.m_Body.data(), camproto::kDevExtInfoSize);
        camproto::IPv4 address{};
        camproto::parseIPv4(c.m_Connection.read().m_szRemoteHost.str(), address.data());
        setCurrent(*c.m_Discovery,
                   camproto::recordFromGetInfo(bodyBytes(c.m_Http, camproto::kDevExtInfoSize), address));
        return -1;
    }
    return 0;
}

int CImage::getDevInfoCgi(CImage& c)
{
    const ConnectionSettings s = c.m_Connection.read();
    camproto::DevInfoCgiRequest r;
    r.viaProxy = s.proxyInUse();
    r.remoteHost = s.m_szRemoteHost.str();
    r.remotePort = s.m_nRemotePort;
    r.host = r.viaProxy ? s.m_szProxyHost.str() : r.remoteHost;
    r.port = r.viaProxy ? s.m_nProxyPort : r.remotePort;
    c.get_UserName(&r.userName); // under the credential lock: the host may put it meanwhile
    r.authorization = c.EncodeCredentials();
    r.connectTimeoutSeconds = s.m_nConnTimeOut;
    const camproto::DevInfoCgiResult result = camproto::getDevInfoCgi(r);
    if (result.result != -1)
        return 0;
    std::lock_guard guard(c.m_Discovery->lock);
    c.m_Discovery->current.fillFromBody(*result.body);
    return -1;
}

int CImage::getDeviceInfoWeb(CImage& c)
{
    if (!getPage(c, "/goform/serial"))
        return 0;
    c.SetDeviceSerialNoText(c.BodyText());
    if (!getPage(c, "/cgi-bin/devinfo.cgi"))
        return 0;
    camproto::Mac mac;
    {
        std::lock_guard guard(c.m_Discovery->lock);
        c.m_Discovery->current.fillFromBody(bodyBytes(c.m_Http, camproto::DeviceRecord::kBodySize));
        mac = c.m_Discovery->current.mac();
    }
    setTargetMac(c.m_Connection, mac);
    getPage(c, "/cgi-bin/config.cgi", 1); // fills the parameter table; its result is not needed
    return -1;
}

int CImage::probeDeviceUdp(CImage& c)
{
    camproto::UdpProbeRequest r;
    r.sequence = camproto::nextSequence(c.m_Search.m_nSequence);
    r.host = cameraAddress(c.m_Connection.read().m_szRemoteHost.str());
    r.wakes = {&c.m_Discovery->shutdown};
    if (r.host.empty())
        return 0;
    const camproto::UdpProbeResult result = camproto::probeUdp(r);
    if (result.result != -1)
        return 0;
    setCurrent(*c.m_Discovery, *result.record);
    setTargetMac(c.m_Connection, result.record->mac());
    return -1;
}

int CImage::queryDeviceInfoBroadcast(CImage& c)
{
    const ConnectionSettings s = c.m_Connection.read();
    camproto::LocalityCheckRequest r;
    r.sequence = camproto::nextSequence(c.m_Search.m_nSequence);
    std::copy(s.m_TargetMac.begin(), s.m_TargetMac.end(), r.mac.begin());
    std::copy(s.m_TargetIp.begin(), s.m_TargetIp.end(), r.ip.begin());
    r.wakes = {&c.m_Discovery->shutdown};
    const camproto::LocalityCheckResult result = camproto::checkLocality(r);
    if (result.challenge)
        c.m_Discovery->authBlock = *result.challenge;
    return result.result;
}

int CImage::probeDeviceWorker(CImage& c)
{
    const auto setProtocol = [&c](std::int32_t protocol) {
        c.m_Connection.update([protocol](ConnectionSettings& s) { s.m_nProtocol = protocol; });
    };
    int result = probeGetInfoAsp(c);
    if (result == -1)
        setProtocol(PROTOCOL_KESTRA);
    if (result != -1)
        result = getDevInfoCgi(c);
    if (result != -1)
        result = getDeviceInfoWeb(c);
    if (result != -1) {
        result = probeDeviceUdp(c);
        if (result == -1)
            setProtocol(PROTOCOL_NATIVE);
    }
    if (result == -1 && c.m_Search.m_bKeepLocalCamera.load() == 0) {
        const std::int32_t local = queryDeviceInfoBroadcast(c) == -1 ? 1 : 0;
        c.m_Connection.update([local](ConnectionSettings& s) { s.m_bLocalCamera = local; });
    }
    return result;
}

HRESULT CImage::ProbeDevice(std::int32_t mode, VariantBool newVal, std::int32_t* pVal)
{
    m_Search.m_bKeepLocalCamera.store(boolValue(newVal));
    if (mode == 0) {
        *pVal = probeDeviceWorker(*this);
    } else if (mode == 1) {
        WorkerThread& thread = m_Discovery->probeThread; // the pointer is cleared before the join
        const bool started = thread.start("probe", [this, &thread] {
            const int result = probeDeviceWorker(*this);
            thread.done(); // a probe started on the end event is not refused
            postMessage(m_hWnd, WM_ENDPROBEDEVICE,
                        static_cast<std::uintptr_t>(static_cast<std::uint32_t>(result)), 0);
        });
        *pVal = started ? -1 : 0;
    }
    return S_OK;
}

HRESULT CImage::get_FoundProtocol(std::int32_t* pVal)
{
    const int index = m_Search.m_nSelectedDevice.load();
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
        setTargetMac(m_Connection, record->mac());
        if (queryExtendedInfo(*this) == -1) {
            *pVal = PROTOCOL_MULTIPART; // RemoteWebPort came with the answer
            return S_OK;
        }
    }
    const auto webPort = static_cast<std::int32_t>(record->webPort());
    m_Connection.update([webPort](ConnectionSettings& s) { s.m_nRemoteWebPort = webPort; });
    *pVal = PROTOCOL_KESTRA;
    return S_OK;
}

} // namespace tessivor
