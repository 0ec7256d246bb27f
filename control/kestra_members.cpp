// The Kestra family's members: the fixed-packet commands on the camera's command port (generic
// reads and writes, the status, the site survey, the user checks) and the web forms under
// "/goform/" (login, audio, logout) with the port and host-name pages.
//
// All of them run on the host's thread. The command exchanges make one attempt each with a
// socket of their own (camproto/kestra_exchange.h); the web forms go through the HTTP engine and
// make three. Texts from the host are sent as given: the program encodes the login text before
// it puts it, so nothing here encodes it again, and no password or cookie reaches a trace.
#include "control/cimage.h"
#include "control/discovery_state.h"
#include "control/setting_members.h"

#include "camproto/device_record.h"
#include "camproto/kestra_exchange.h"
#include "camproto/packet_fields.h"

#include <algorithm>
#include <cstring>

namespace tessivor {

namespace {

constexpr int kWebTries = 3;
constexpr std::int32_t kErrNoConnection = 12;
constexpr std::int32_t kErrNotSent = 14;
constexpr std::size_t kHostNameMax = 127;
constexpr std::size_t kPortValueMax = 16;

std::span<const std::uint8_t> bytesOf(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The data as text: up to its first zero byte.
std::string dataText(const std::vector<std::uint8_t>& data)
{
    const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
    return std::string(data.begin(), end);
}

camproto::KestraTarget commandTarget(const ConnectionSettings& s, std::int32_t commandPort)
{
    camproto::KestraTarget t;
    // Through a proxy the packets go to the proxy's address and port unchanged.
    t.host = s.proxyInUse() ? s.m_szProxyHost.str() : s.m_szRemoteHost.str();
    t.port = s.proxyInUse() ? s.m_nProxyPort : commandPort;
    t.connectTimeoutSeconds = s.m_nConnTimeOut;
    t.receiveTimeoutSeconds = s.m_nTimeOut;
    return t;
}

// The value of the form field `name` on a page: the text between the double quotes of the
// value= attribute that follows name="NAME". Nullopt when either is missing or unterminated.
std::optional<std::string> formFieldValue(std::string_view page, std::string_view name)
{
    const std::string field = "name=\"" + std::string(name) + "\"";
    const auto at = page.find(field);
    if (at == std::string_view::npos)
        return std::nullopt;
    const auto value = page.find("value=\"", at + field.size());
    if (value == std::string_view::npos)
        return std::nullopt;
    const auto start = value + 7;
    const auto end = page.find('"', start);
    if (end == std::string_view::npos)
        return std::nullopt;
    return std::string(page.substr(start, std::min(end - start, kHostNameMax)));
}

// A port from the port page; nullopt when it is not a number from 1 to 65535.
std::optional<std::int32_t> portValue(const char* text)
{
    const long long v = camproto::leadingDecimal(text);
    if (v < 1 || v > 65535)
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

} // namespace

int CImage::KestraCommand(std::uint32_t command, const camproto::KestraPacket& request,
                          std::vector<std::uint8_t>* answer)
{
    m_Http.m_lErrCode.store(-1);
    const std::int32_t commandPort = m_KestraSettings.read().m_nKestraIPort;
    const bool survey = command == camproto::kKestraCmdSiteSurvey;
    const camproto::KestraExchange x = camproto::exchangeKestraCommand(
        commandTarget(m_Connection.read(), commandPort), request,
        survey ? camproto::kSiteSurveyAnswerSize : camproto::kKestraPacketSize);
    switch (x.status) {
    case camproto::KestraExchange::Status::ConnectFailed:
        m_Http.m_lErrCode.store(kErrNoConnection);
        return 0;
    case camproto::KestraExchange::Status::SendFailed:
        m_Http.m_lErrCode.store(kErrNotSent);
        return 0;
    case camproto::KestraExchange::Status::Answered:
        break;
    }

    if (survey) {
        DiscoveryState& d = *m_Discovery;
        d.apCount = 0;
        auto entries = camproto::parseSiteSurvey(x.received);
        if (!entries)
            return 0; // nothing valid arrived; the list stays as it was
        d.apList = std::move(*entries);
        d.apCount = static_cast<int>(d.apList.size());
        if (answer) {
            const std::string count = std::to_string(d.apCount);
            answer->assign(count.begin(), count.end());
        }
        return -1;
    }

    const camproto::KestraReply reply = camproto::parseKestraReply(x.received);
    if (reply.status != camproto::KestraReplyStatus::Done)
        return 0;
    if (command == camproto::kKestraCmdStatus) {
        m_Kestra.m_KestraStatus = camproto::KestraStatusBlock::fromData(reply.data);
        const camproto::KestraStatusBlock& st = m_Kestra.m_KestraStatus;
        std::lock_guard guard(m_Discovery->lock);
        auto& rec = m_Discovery->current.bytes;
        const std::string name = st.name();
        auto putText = [&rec, &name](std::size_t offset, std::size_t size) {
            std::fill_n(rec.begin() + static_cast<std::ptrdiff_t>(offset), size, 0);
            std::copy_n(name.begin(), std::min(name.size(), size - 1),
                        rec.begin() + static_cast<std::ptrdiff_t>(offset));
        };
        putText(camproto::DeviceRecord::kName, camproto::DeviceRecord::kNameSize);
        putText(camproto::DeviceRecord::kModel, camproto::DeviceRecord::kModelSize);
        if (auto mac = st.mac()) {
            std::copy(mac->begin(), mac->end(), rec.begin() + camproto::DeviceRecord::kMac);
            std::copy(mac->begin(), mac->end(), rec.begin() + camproto::DeviceRecord::kMacCopy);
        }
        if (auto ip = st.ip()) {
            for (std::size_t at : {camproto::DeviceRecord::kIp, camproto::DeviceRecord::kIpCopy,
                                   camproto::DeviceRecord::kAddress})
                std::copy(ip->begin(), ip->end(), rec.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }
    if (answer)
        *answer = reply.data;
    return -1;
}

int CImage::KestraPostFormResult(const char* path, const std::string& body)
{
    for (int i = 0; i < kWebTries; ++i) {
        m_Http.m_szCgiPath.assign(path);
        SetBodyText(body);
        if (HttpPostEx(0, "302") != -1)
            continue;
        return BodyText().find("error.asp") != std::string::npos ? 1 : -1;
    }
    return 0;
}

// ---- commands ----

HRESULT CImage::GetKestraValue(std::int32_t lComd, std::string* pVal)
{
    const auto command = static_cast<std::uint32_t>(lComd);
    std::vector<std::uint8_t> data;
    if (KestraCommand(command, camproto::buildKestraRead(command), &data) == -1)
        *pVal = dataText(data);
    else
        *pVal = "ERROR";
    return S_OK;
}

HRESULT CImage::SetKestraValue(std::int32_t lComd, const Variant& newVal, std::int32_t BufLen,
                               std::int32_t* /*pVal*/)
{
    std::string value;
    if (newVal.toBstr(&value) != S_OK)
        return E_INVALIDARG;
    const auto command = static_cast<std::uint32_t>(lComd);
    const std::size_t length = std::min(value.size(), static_cast<std::size_t>(std::max(BufLen, 0)));
    const auto bytes = bytesOf(std::string_view(value).substr(0, length));
    const camproto::KestraPacket request =
        command == camproto::kKestraCmdLengthWrite
            ? camproto::buildKestraWriteLength(command, static_cast<std::uint32_t>(BufLen), bytes)
            : camproto::buildKestraWritePlain(command, bytes);
    KestraCommand(command, request, nullptr);
    return S_OK;
}

HRESULT CImage::chkKestraIDPWD(std::string_view sUserID, std::string_view /*sUserPWD*/, std::int32_t* pVal)
{
    *pVal = 0;
    if (sUserID.empty())
        return E_INVALIDARG;
    // -1 only when the camera confirmed the user.
    *pVal = KestraCommand(camproto::kKestraCmdUserCheck,
                          camproto::buildKestraReadParam(camproto::kKestraCmdUserCheck, bytesOf(sUserID)),
                          nullptr);
    return S_OK;
}

HRESULT CImage::SetKestraIDPWD(std::string_view sUserID, std::string_view sUserPWD, std::int32_t* pVal)
{
    *pVal = 0;
    if (sUserID.empty())
        return E_INVALIDARG;
    *pVal = KestraCommand(
        camproto::kKestraCmdUserChange,
        camproto::buildKestraReadAuth(camproto::kKestraCmdUserChange, bytesOf(sUserID), bytesOf(sUserPWD)),
        nullptr);
    return S_OK;
}

HRESULT CImage::get_PT_Support(std::int32_t* pVal)
{
    *pVal = 0;
    if (m_Connection.read().m_nProtocol != PROTOCOL_KESTRA)
        return S_OK;
    if (KestraCommand(camproto::kKestraCmdStatus, camproto::buildKestraRead(camproto::kKestraCmdStatus),
                      nullptr) == -1)
        *pVal = m_Kestra.m_KestraStatus.panTilt();
    return S_OK;
}

HRESULT CImage::get_Wireless_Support(std::int32_t* pVal)
{
    *pVal = m_Kestra.m_KestraStatus.wireless();
    return S_OK;
}

HRESULT CImage::put_PT_Support(std::int32_t /*newVal*/)
{
    return S_OK;
}

HRESULT CImage::put_Wireless_Support(std::int32_t /*newVal*/)
{
    return S_OK;
}

HRESULT CImage::get_SetKestraStatus(std::int32_t* pVal)
{
    *pVal = 0;
    return S_OK;
}

HRESULT CImage::put_SetKestraStatus(std::int32_t newVal)
{
    m_Run.m_nStatus.store(newVal);
    return S_OK;
}

// ---- web forms and pages ----

HRESULT CImage::KestraLogin(std::string_view sUserName, std::string_view sPassword, std::int32_t* pVal)
{
    *pVal = KestraPostForm("/goform/formLogin",
                           "f_CookieValue=" + std::string(sPassword) + "&f_LOGIN=" + std::string(sUserName));
    return S_OK;
}

HRESULT CImage::KestraAudioON(std::string_view sPassword, std::int32_t* pVal)
{
    *pVal = KestraPostForm("/goform/Play_Audio_On", "f_CookieValue=" + std::string(sPassword));
    return S_OK;
}

HRESULT CImage::Kestra_Logout(std::string_view sCookie, std::int32_t* pVal)
{
    const std::string path = "/goform/formLogout?f_CookieValue=" + std::string(sCookie);
    if (path.size() >= decltype(m_Http.m_szCgiPath)::capacity) {
        *pVal = 0; // a cookie that does not fit would be sent cut
        return S_OK;
    }
    m_Http.m_szCgiPath.assign(path);
    *pVal = HttpGet(0);
    return S_OK;
}

HRESULT CImage::ProbeCameraKestra(std::int32_t* pVal)
{
    *pVal = probeGetInfoAsp(*this);
    return S_OK;
}

HRESULT CImage::GetKestraPort(std::int32_t* pVal)
{
    *pVal = 0;
    for (int i = 0; i < kWebTries; ++i) {
        m_Http.m_szCgiPath.assign("/getPort.asp");
        if (HttpGetEx(0, "404", 0) != -1)
            continue;
        ParseParameters("@");
        KestraSettings k = m_KestraSettings.read();
        k.m_nKestraCPort = KestraSettings::kDefaultControlPort;
        k.m_nKestraSPort = KestraSettings::kDefaultStreamPort;
        k.m_nKestraIPort = KestraSettings::kDefaultCommandPort;
        k.m_szKestraFwVersion.assign(KestraSettings::kDefaultFwVersion);
        char value[decltype(KestraSettings::m_szKestraFwVersion)::capacity] = {};
        const struct
        {
            const char* name;
            std::int32_t* port;
        } ports[] = {{"MD-CONTROL-PORT", &k.m_nKestraCPort},
                     {"MD-STREAM-PORT", &k.m_nKestraSPort},
                     {"IPV-SERVER-PORT", &k.m_nKestraIPort}};
        for (const auto& p : ports)
            if (FindParameter(p.name, value, static_cast<int>(kPortValueMax)))
                if (auto v = portValue(value))
                    *p.port = *v;
        if (FindParameter("VERSION", value, static_cast<int>(sizeof value) - 1))
            k.m_szKestraFwVersion.assign(value);
        m_KestraSettings.update([&k](KestraSettings& s) { s = k; });
        *pVal = -1;
        return S_OK;
    }
    return S_OK;
}

HRESULT CImage::GetKestraHName(std::int32_t* pVal)
{
    *pVal = 0;
    for (int i = 0; i < kWebTries; ++i) {
        m_Http.m_szCgiPath.assign("/web/advanced/adv_video_image.asp");
        if (HttpGet(0) != -1)
            continue;
        if (auto name = formFieldValue(BodyText(), "f_WIS_LOCATION"))
            m_KestraSettings.update([&name](KestraSettings& s) { s.m_szKestraHName.assign(*name); });
        *pVal = -1;
        return S_OK;
    }
    return S_OK;
}

// ---- ports and texts ----

HRESULT CImage::get_KestraCPort(std::int32_t* pVal)
{
    return getSetting(m_KestraSettings, &KestraSettings::m_nKestraCPort, pVal);
}

HRESULT CImage::put_KestraCPort(std::int32_t newVal)
{
    return putSetting(m_KestraSettings, &KestraSettings::m_nKestraCPort, newVal);
}

HRESULT CImage::get_KestraSPort(std::int32_t* pVal)
{
    return getSetting(m_KestraSettings, &KestraSettings::m_nKestraSPort, pVal);
}

HRESULT CImage::put_KestraSPort(std::int32_t newVal)
{
    return putSetting(m_KestraSettings, &KestraSettings::m_nKestraSPort, newVal);
}

HRESULT CImage::get_KestraIPort(std::int32_t* pVal)
{
    return getSetting(m_KestraSettings, &KestraSettings::m_nKestraIPort, pVal);
}

HRESULT CImage::put_KestraIPort(std::int32_t newVal)
{
    return putSetting(m_KestraSettings, &KestraSettings::m_nKestraIPort, newVal);
}

HRESULT CImage::get_KestraHName(std::string* pVal)
{
    return getText(m_KestraSettings, &KestraSettings::m_szKestraHName, pVal);
}

HRESULT CImage::put_KestraHName(std::string_view /*newVal*/)
{
    return S_OK;
}

HRESULT CImage::get_KestraFWVERSION(std::string* pVal)
{
    return getText(m_KestraSettings, &KestraSettings::m_szKestraFwVersion, pVal);
}

} // namespace tessivor
