// The camera's image settings, users, clock, network address, reboot and factory settings: over
// datagrams for native cameras, "/IOCONTROL.CGI" for the two CGI families and the "/cgi-bin/"
// and "/goform/" pages for the multipart family.
#include "control/camera_config_state.h"
#include "control/camera_http_call.h"
#include "control/cimage.h"
#include "control/discovery_state.h"
#include "control/stream_requests.h"

#include "camproto/admin_udp.h"
#include "camproto/config_block.h"
#include "camproto/packet_fields.h"
#include "platform/trace.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tessivor {

namespace {

constexpr int kUdpTries = 2;
constexpr int kSetAddressTries = 3;
constexpr int kImageHttpTries = 2;
constexpr int kSetTimeHttpTries = 2;
constexpr int kResetHttpTries = 3;
constexpr std::size_t kShortAnswer = 25;
constexpr std::size_t kImageAnswer = 30;
constexpr std::size_t kSetTimeAnswer = 300;
constexpr std::string_view kNoContent = "HTTP/1.0 204 No Content";

// One "/IOCONTROL.CGI" request: -1 when the answer holds one of `accepted` within its first
// `answerBytes` bytes. A failed connect counts a try, or ends the call when `connectEnds`.
int ioControlCall(CImage& c, const ConnectionSettings& s, const camproto::CameraRequest& request,
                  bool viaProxy, int tries, std::size_t answerBytes,
                  std::initializer_list<std::string_view> accepted, bool connectEnds = false)
{
    const auto text = cameraRequestText(s, c.EncodeCredentials(), request, viaProxy);
    if (!text)
        return 0;
    auto holdsAccepted = [&](std::string_view a) {
        return std::any_of(accepted.begin(), accepted.end(),
                           [&](std::string_view k) { return a.find(k) != std::string_view::npos; });
    };
    for (int attempt = 0; attempt < tries; ++attempt) {
        const CameraTry t = tryCameraExchange(s, viaProxy, *text, answerBytes, answerBytes, holdsAccepted);
        if (t.step == CameraTry::Step::NotConnected && connectEnds)
            return 0;
        if (holdsAccepted(t.answer))
            return -1;
    }
    return 0;
}

camproto::CameraRequest post(std::string path)
{
    camproto::CameraRequest r;
    r.method = "POST";
    r.path = std::move(path);
    return r;
}

int resetHttp(CImage& c, const ConnectionSettings& s, const char* kind, bool reboot, std::int32_t* pVal)
{
    if (s.m_nProtocol != PROTOCOL_VIDEO_CGI)
        return *pVal; // the MJPEG family has no reset form: pVal stays as it was
    // The reboot goes through the proxy whenever one is set, the factory reset by the usual rule.
    const bool viaProxy = reboot ? s.m_bEnableProxy == 1 : s.proxyInUse();
    return ioControlCall(c, s, post(std::string("/IOCONTROL.CGI?CGIQUaere=") + kind), viaProxy,
                         kResetHttpTries, kShortAnswer, {kNoContent, "200"}, reboot);
}

// Decimal numbers split at `separator` into `out` (as many as there are).
void splitNumbers(std::string_view text, char separator, std::initializer_list<std::int16_t*> out)
{
    std::size_t at = 0;
    for (std::int16_t* p : out) {
        if (at > text.size())
            return;
        const std::size_t end = std::min(text.find(separator, at), text.size());
        const long long v = camproto::leadingDecimal(text.substr(at, end - at));
        if (p && v >= -32768 && v <= 32767)
            *p = static_cast<std::int16_t>(v);
        at = end + 1;
    }
}

void storeUserTable(CameraConfigState& k)
{
    for (int slot = 0; slot < camproto::kUserSlots; ++slot) {
        std::uint8_t* p = k.block.data() + camproto::kUserTableOffset +
                          camproto::kUserEntrySize * static_cast<std::size_t>(slot);
        if (static_cast<std::size_t>(slot) < k.users.size())
            std::copy(k.users[static_cast<std::size_t>(slot)].bytes.begin(),
                      k.users[static_cast<std::size_t>(slot)].bytes.end(), p);
        else
            std::fill_n(p, camproto::kUserEntrySize, 0); // a freed slot keeps no name or password
    }
}

ParameterEntry entry(std::string_view name, std::string_view value, std::int32_t flag)
{
    ParameterEntry e;
    e.setName(name);
    e.setValue(value);
    e.flag = flag;
    return e;
}

} // namespace

camproto::AdminRequest CImage::unicastRequest(CImage& c, camproto::Opcode opcode, std::size_t replySize)
{
    camproto::AdminRequest r = adminRequest(c, opcode);
    r.replySize = replySize;
    r.tries = kUdpTries;
    return r;
}

int CImage::statusExchange(CImage& c, camproto::Opcode opcode, const camproto::SevenWords* words)
{
    camproto::AdminRequest r = unicastRequest(c, opcode, camproto::kStatusReplySize);
    if (r.host.empty())
        return 0;
    if (words)
        r.payload = camproto::sevenWordsPayload(*words);
    return camproto::exchangeAdmin(r).outcome == camproto::AdminReply::Outcome::Matched ? -1 : 0;
}

int CImage::httpGetPage(CImage& c, const char* path, int parse)
{
    c.m_Http.m_szCgiPath.assign(path);
    return c.HttpGet(parse);
}

HRESULT CImage::SetImageConfig(std::int16_t siResolution, std::int16_t siCompression,
                               std::int16_t siFrameRate, std::int16_t siBrightness, std::int16_t siContrast,
                               std::int16_t siHue, std::int16_t siLightFreq, std::int32_t* pVal)
{
    const ConnectionSettings s = m_Connection.read();
    switch (s.m_nProtocol) {
    case PROTOCOL_NATIVE: {
        const camproto::SevenWords words{siResolution, siCompression, siFrameRate, siBrightness,
                                         siContrast,   siHue,         siLightFreq};
        // A camera that never answered has not been shown to take the values: that is a failure.
        *pVal = statusExchange(*this, camproto::Opcode::SetImageSettings, &words);
        break;
    }
    case PROTOCOL_VIDEO_CGI:
    case PROTOCOL_MJPEG_CGI: {
        camproto::CameraRequest r = post("/IOCONTROL.CGI?CGIQUaere=Image");
        char body[200];
        std::snprintf(body, sizeof body,
                      "Video_Mode=%d&Compress=%d&Frame_Rate=%d&Bright_cntl=%d&Contrast_cntl=%d&Hue_cntl=%d&"
                      "Light_Fraq=%d\r\n\r\n",
                      siResolution, siCompression, siFrameRate, siBrightness, siContrast, siHue, siLightFreq);
        r.body = body;
        *pVal = ioControlCall(*this, s, r, s.proxyInUse(), kImageHttpTries, kImageAnswer, {kNoContent});
        break;
    }
    case PROTOCOL_MULTIPART: {
        char body[120];
        std::snprintf(body, sizeof body, "[Image]\r\nBrightness=%d\r\nContrast=%d\r\nHue=%d", siBrightness,
                      siContrast, siHue);
        SetBodyText(body);
        m_Http.m_szCgiPath.assign("/cgi-bin/image_cfg.cgi");
        *pVal = HttpPost(0);
        break;
    }
    default:
        break;
    }
    return S_OK;
}

HRESULT CImage::GetTime(std::int16_t* psiSecond, std::int16_t* psiMinute, std::int16_t* psiHour,
                        std::int16_t* psiDay, std::int16_t* psiMonth, std::int16_t* psiDate,
                        std::int16_t* psiYear, std::int32_t* pVal)
{
    const ConnectionSettings s = m_Connection.read();
    switch (s.m_nProtocol) {
    case PROTOCOL_NATIVE: {
        camproto::AdminRequest r =
            unicastRequest(*this, camproto::Opcode::ReadClock, camproto::kSevenWordReplySize);
        const camproto::AdminReply reply =
            r.host.empty() ? camproto::AdminReply{} : camproto::exchangeAdmin(r);
        if (reply.outcome != camproto::AdminReply::Outcome::Matched) {
            *pVal = 0;
            break;
        }
        const camproto::SevenWords w = camproto::parseSevenWords(reply.bytes);
        std::int16_t* const out[] = {psiSecond, psiMinute, psiHour, psiDay, psiMonth, psiDate, psiYear};
        for (std::size_t i = 0; i < w.size(); ++i)
            *out[i] = w[i];
        *pVal = -1;
        break;
    }
    case PROTOCOL_VIDEO_CGI:
    case PROTOCOL_MJPEG_CGI: {
        camproto::CameraDateTime t;
        *pVal = getTimeHttp(s, EncodeCredentials(), &t);
        if (*pVal == -1) {
            *psiYear = t.year;
            *psiMonth = t.month;
            *psiDay = t.day;
            *psiHour = t.hour;
            *psiMinute = t.minute;
            *psiSecond = t.second;
        }
        break;
    }
    case PROTOCOL_MULTIPART:
        *pVal = httpGetPage(*this, "/cgi-bin/system_cfg.cgi", 1);
        if (*pVal != -1)
            break;
        for (const ParameterEntry& e : m_Http.m_Parameters) {
            if (e.isSection())
                continue;
            if (e.nameView() == "Date") {
                std::int16_t day = *psiDay;
                splitNumbers(e.valueView(), '-', {psiYear, psiMonth, &day});
                *psiDay = day;
                *psiDate = day;
            } else if (e.nameView() == "Time") {
                splitNumbers(e.valueView(), ':', {psiHour, psiMinute, psiSecond});
            }
        }
        break;
    default:
        break;
    }
    return S_OK;
}

HRESULT CImage::SetTime(std::int16_t siSecond, std::int16_t siMinute, std::int16_t siHour, std::int16_t siDay,
                        std::int16_t siMonth, std::int16_t siDate, std::int16_t siYear, std::int32_t* pVal)
{
    const ConnectionSettings s = m_Connection.read();
    switch (s.m_nProtocol) {
    case PROTOCOL_NATIVE: {
        const camproto::SevenWords words{siSecond, siMinute, siHour, siDay, siMonth, siDate, siYear};
        *pVal = statusExchange(*this, camproto::Opcode::SetClock, &words);
        break;
    }
    case PROTOCOL_VIDEO_CGI:
    case PROTOCOL_MJPEG_CGI: {
        char body[120];
        const int n = std::snprintf(body, sizeof body, "Date_manual=%d-%d-%d&Time_manual=%d:%d:%d", siYear,
                                    siMonth, siDay, siHour, siMinute, siSecond);
        camproto::CameraRequest r = post("/IOCONTROL.CGI?CGIQUaere=Datetime");
        r.lengthLine = "Content-Length:" + std::to_string(n);
        r.body = std::string(body) + "\r\n\r\n";
        *pVal = ioControlCall(*this, s, r, s.proxyInUse(), kSetTimeHttpTries, kSetTimeAnswer, {kNoContent});
        break;
    }
    default:
        break;
    }
    return S_OK;
}

HRESULT CImage::Reset(std::int32_t* pVal)
{
    const ConnectionSettings s = m_Connection.read();
    runByProtocol(
        s.m_nProtocol, pVal, [this] { return statusExchange(*this, camproto::Opcode::Reboot); },
        [&] { return resetHttp(*this, s, "Reset", true, pVal); },
        [this] { return httpGetPage(*this, "/cgi-bin/reboot.cgi", 0); });
    return S_OK;
}

HRESULT CImage::FactoryReset(std::int32_t* pVal)
{
    const ConnectionSettings s = m_Connection.read();
    runByProtocol(
        s.m_nProtocol, pVal, [this] { return statusExchange(*this, camproto::Opcode::FactoryReset); },
        [&] { return resetHttp(*this, s, "Factory", false, pVal); },
        [this] { return httpGetPage(*this, "/cgi-bin/default.cgi", 0); });
    return S_OK;
}

HRESULT CImage::SetIPAddress(std::string_view sIPAddress, std::string_view sSubnetMask,
                             std::string_view sGateway, std::int32_t* pVal)
{
    *pVal = 0;
    if (sIPAddress.data() == nullptr || sSubnetMask.data() == nullptr)
        return E_INVALIDARG;
    camproto::IPv4 address{}, mask{}, gateway{};
    if (camproto::parseIPv4(sIPAddress, address.data()) != 1 ||
        camproto::parseIPv4(sSubnetMask, mask.data()) != 1 ||
        camproto::parseIPv4(sGateway, gateway.data()) != 1) {
        trace("SetIPAddress: an address that does not parse; nothing sent");
        return E_INVALIDARG;
    }
    if (m_Search.m_bSearching.load() != 0 || m_Discovery->broadcastThread.running()) {
        trace("SetIPAddress: a search is using the broadcast socket; nothing sent");
        return S_OK;
    }
    m_Sockets.m_SearchSocket.CloseConnection();
    camproto::AdminRequest r = adminRequest(*this, camproto::Opcode::SetNetworkAddress, true);
    r.header.ip = address;
    r.payload = camproto::networkAddressPayload(mask, gateway);
    r.tries = kSetAddressTries;
    r.matchMac = false;
    const camproto::AdminReply reply = camproto::exchangeAdmin(r);
    *pVal =
        reply.outcome == camproto::AdminReply::Outcome::Matched && reply.header.status == camproto::kStatusOk
            ? -1
            : 0;
    return S_OK;
}

HRESULT CImage::GetUserCount(std::int16_t* pVal)
{
    CameraConfigState& k = *m_CameraConfig;
    k.users.clear();
    for (int slot = 0; slot < camproto::kUserSlots; ++slot) {
        const auto at = k.block.begin() + static_cast<std::ptrdiff_t>(camproto::kUserTableOffset +
                                                                      camproto::kUserEntrySize *
                                                                          static_cast<std::size_t>(slot));
        if (*at == 0)
            continue;
        UserEntry u;
        std::copy_n(at, u.bytes.size(), u.bytes.begin());
        k.users.push_back(u);
    }
    *pVal = static_cast<std::int16_t>(k.users.size());
    return S_OK;
}

HRESULT CImage::AddUser(std::string_view sUserName, std::string_view sPassword, std::int16_t siPrivilege,
                        std::int32_t* pVal)
{
    const int protocol = m_Connection.read().m_nProtocol;
    if (protocol == PROTOCOL_MULTIPART) {
        if (sUserName.data() == nullptr)
            return S_OK;
        m_Http.m_Parameters = {entry("[Access]", "", ParameterEntry::kSection),
                               entry(sUserName, std::to_string(siPrivilege), ParameterEntry::kChanged),
                               entry("[Password]", "", ParameterEntry::kSection),
                               entry(sUserName, sPassword.data() ? sPassword : "", ParameterEntry::kChanged)};
        FlattenParameters();
        m_Http.m_nParameterNum = static_cast<std::int32_t>(m_Http.m_Parameters.size());
        m_Http.m_szCgiPath.assign("/goform/users_cfg");
        *pVal = HttpPost(1);
        return S_OK;
    }
    if (protocol != PROTOCOL_NATIVE && protocol != PROTOCOL_VIDEO_CGI && protocol != PROTOCOL_MJPEG_CGI)
        return S_OK;
    CameraConfigState& k = *m_CameraConfig;
    *pVal = 0;
    if (k.users.size() >= static_cast<std::size_t>(camproto::kUserSlots))
        return S_OK;
    if (sUserName.data() == nullptr)
        return E_INVALIDARG;
    UserEntry u;
    const std::string_view name = camproto::cutToField(sUserName, camproto::kUserNameSize);
    const std::string_view password =
        camproto::cutToField(sPassword.data() ? sPassword : std::string_view(), camproto::kUserPasswordSize);
    std::copy(name.begin(), name.end(), u.bytes.begin());
    std::copy(password.begin(), password.end(), u.bytes.begin() + camproto::kUserNameSize);
    const auto access = static_cast<std::uint16_t>(siPrivilege);
    u.bytes[20] = static_cast<std::uint8_t>(access & 0xFF);
    u.bytes[21] = static_cast<std::uint8_t>(access >> 8);
    k.users.push_back(u);
    storeUserTable(k);
    *pVal = -1;
    return S_OK;
}

HRESULT CImage::DeleteUser(std::int16_t siIndex, std::int32_t* pVal)
{
    CameraConfigState& k = *m_CameraConfig;
    const auto index = static_cast<std::uint16_t>(siIndex);
    if (index >= k.users.size()) {
        *pVal = 0;
        return S_OK;
    }
    k.users.erase(k.users.begin() + index);
    storeUserTable(k);
    *pVal = -1;
    return S_OK;
}

HRESULT CImage::GetUser(std::int16_t siIndex, std::string* psUserName, std::string* psPassword,
                        std::int16_t* psiUserPrivilege, std::int32_t* pVal)
{
    const CameraConfigState& k = *m_CameraConfig;
    const auto index = static_cast<std::uint16_t>(siIndex);
    if (index >= k.users.size()) {
        *pVal = 0;
        return S_OK;
    }
    const auto& b = k.users[index].bytes;
    auto text = [&](std::size_t at, std::size_t width) {
        const auto* p = reinterpret_cast<const char*>(b.data() + at);
        return std::string(p, static_cast<std::size_t>(std::find(p, p + width, '\0') - p));
    };
    *psUserName = text(0, camproto::kUserNameSize);
    *psPassword = text(camproto::kUserNameSize, camproto::kUserPasswordSize);
    *psiUserPrivilege = static_cast<std::int16_t>(b[20] | (b[21] << 8));
    *pVal = -1;
    return S_OK;
}

} // namespace tessivor
