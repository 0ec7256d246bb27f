// LoginCamera and the login and password checks: the native family's challenge (opcode 0x0012)
// and scrambled login block (opcode 0x0013), the HTTP families' clock query with authorization,
// and the login pages of the two web-form families. Passwords never go into a trace.
#include "control/camera_config_state.h"
#include "control/camera_http_call.h"
#include "control/cimage.h"
#include "control/discovery_state.h"
#include "control/stream_requests.h"

#include "camproto/admin_udp.h"
#include "camproto/packet_fields.h"
#include "platform/trace.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tessivor {

namespace {

constexpr int kLoginQueryTries = 3;
constexpr int kLoginQueryWaitMs = 6000;
constexpr int kLoginQueryBroadcastWaitMs = 5000;
constexpr int kCheckTries = 2;
constexpr int kCheckWaitMs = 6000;
constexpr int kCheckBroadcastTries = 3;
constexpr int kCheckBroadcastWaitMs = 10000;

// The firmware text of the camera aimed at, as the device record shows it.
std::string currentFirmware(const DiscoveryState& d)
{
    std::lock_guard guard(d.lock);
    const auto& b = d.current.bytes;
    char text[16];
    std::snprintf(text, sizeof text, "%d.%.02d%c", b[29], b[28], static_cast<char>(b[27]));
    return text;
}

int checkPasswordHttp(CImage& c, const ConnectionSettings& s)
{
    camproto::CameraDateTime ignored;
    const int result = getTimeHttp(s, c.EncodeCredentials(), &ignored);
    return result == -1 || result == 1 ? result : 0;
}

} // namespace

camproto::LoginQueryAnswer CImage::loginQuery(CImage& c, bool broadcast)
{
    camproto::AdminRequest r = adminRequest(c, camproto::Opcode::LoginQuery, broadcast);
    // Firmware 1.19 (blank letter) wants 00 00 in the unicast query; the others 77 77.
    if (!broadcast && currentFirmware(*c.m_Discovery) != "1.19 ")
        r.header.marker = camproto::RequestMarker::Unicast;
    r.replySize = camproto::kLoginQueryReplySize;
    r.tries = kLoginQueryTries;
    r.waitMs = broadcast ? kLoginQueryBroadcastWaitMs : kLoginQueryWaitMs;
    const camproto::LoginQueryAnswer answer = camproto::readLoginQueryAnswer(camproto::exchangeAdmin(r));
    if (answer.kind == camproto::LoginQueryAnswer::Kind::LoginNeeded)
        c.m_Discovery->authBlock = answer.challenge;
    return answer;
}

std::optional<std::uint16_t> CImage::passwordCheck(CImage& c, bool broadcast)
{
    camproto::AdminRequest r = adminRequest(c, camproto::Opcode::PasswordCheck, broadcast);
    if (!broadcast)
        r.header.marker = camproto::RequestMarker::Unicast;
    const CredentialBlock block = c.BuildCredentialBlock();
    r.payload.resize(camproto::kLoginBlockSize);
    ScrambleCredentials(r.payload.data(), block.data(), c.m_Discovery->authBlock.data());
    r.tries = broadcast ? kCheckBroadcastTries : kCheckTries;
    r.waitMs = broadcast ? kCheckBroadcastWaitMs : kCheckWaitMs;
    const camproto::AdminReply reply = camproto::exchangeAdmin(r);
    if (reply.outcome != camproto::AdminReply::Outcome::Matched)
        return std::nullopt;
    return reply.header.status;
}

int CImage::checkPasswordUdp(CImage& c)
{
    const auto status = passwordCheck(c, false);
    if (status == camproto::kStatusOk)
        return -1;
    return status == camproto::kStatusLoginNeeded ? 1 : 0;
}

int CImage::isNeedPassword(CImage& c)
{
    switch (loginQuery(c, false).kind) {
    case camproto::LoginQueryAnswer::Kind::LoginNeeded:
        return 1;
    case camproto::LoginQueryAnswer::Kind::NoLogin:
        return 2;
    default:
        return 0;
    }
}

int CImage::kestraLogin(CImage& c)
{
    const auto [user, password] = credentials(c.CredentialText());
    const std::string body = "f_CookieValue=" + password + "&f_LOGIN=" + user;
    if (body.size() >= c.m_Http.m_Body.size())
        return 0;
    trace("login form for user %s", user.c_str()); // the body carries the password: not traced
    return c.KestraPostFormResult("/goform/formLogin", body);
}

int CImage::webFormLogin(CImage& c)
{
    trace("/goform/login");
    c.SetDeviceSerialNoText(""); // the authorization code is made afresh from the credentials
    c.m_Http.m_szCgiPath.assign("/goform/login");
    const int result = c.HttpGet(1);
    if (result != -1)
        return result;
    for (const ParameterEntry& e : c.m_Http.m_Parameters) {
        if (e.isSection())
            continue;
        if ((e.nameView() == "User" || e.nameView() == "Administrator") &&
            camproto::leadingDecimal(e.valueView()) == 1)
            return -1;
    }
    return 1;
}

int CImage::loginCameraWorker(CImage& c)
{
    const ConnectionSettings s = c.m_Connection.read();
    switch (s.m_nProtocol) {
    case PROTOCOL_NATIVE: {
        const int need = isNeedPassword(c);
        if (need == 1)
            return checkPasswordUdp(c);
        return need == 2 ? -1 : 0;
    }
    case PROTOCOL_VIDEO_CGI:
    case PROTOCOL_MJPEG_CGI:
        return checkPasswordHttp(c, s);
    case PROTOCOL_KESTRA:
        return kestraLogin(c);
    case PROTOCOL_MULTIPART:
        return webFormLogin(c);
    default:
        return 0;
    }
}

HRESULT CImage::LoginCamera(VariantBool IsCreateNewThread, std::int32_t* pVal)
{
    if (boolValue(IsCreateNewThread) == 0) {
        *pVal = loginCameraWorker(*this);
        return S_OK;
    }
    WorkerThread& thread = m_CameraConfig->loginThread; // the pointer is cleared before the join
    const bool started = thread.start("login", [this, &thread] {
        const int result = loginCameraWorker(*this);
        thread.done(); // a login started on the end event is not refused
        postMessage(m_hWnd, WM_ENDLOGINCAMERA, 0, static_cast<std::intptr_t>(result));
    });
    *pVal = started ? -1 : 0;
    return S_OK;
}

HRESULT CImage::IsNeedPassword(std::int32_t* pVal)
{
    *pVal = isNeedPassword(*this);
    return S_OK;
}

HRESULT CImage::CheckPassword(std::string_view sUserName, std::string_view sPassword, std::int32_t* pVal)
{
    put_UserName(sUserName);
    put_Password(sPassword);
    const ConnectionSettings s = m_Connection.read();
    switch (s.m_nProtocol) {
    case PROTOCOL_NATIVE:
        *pVal = checkPasswordUdp(*this);
        break;
    case PROTOCOL_VIDEO_CGI:
        *pVal = checkPasswordHttp(*this, s);
        break;
    default:
        break; // no form for this protocol: pVal stays as the caller set it
    }
    return S_OK;
}

HRESULT CImage::CheckPasswordBroadcast(std::string_view sUserName, std::string_view sPassword,
                                       std::int32_t* pVal)
{
    put_UserName(sUserName);
    put_Password(sPassword);
    const auto status = passwordCheck(*this, true);
    *pVal = status == camproto::kStatusOk ? 3 : status == camproto::kStatusLoginNeeded ? 2 : 0;
    return S_OK;
}

HRESULT CImage::IsRequireAuthenticationBroadcast(std::int32_t* pVal)
{
    switch (loginQuery(*this, true).kind) {
    case camproto::LoginQueryAnswer::Kind::LoginNeeded:
        *pVal = 2;
        break;
    case camproto::LoginQueryAnswer::Kind::NoLogin:
        *pVal = 3;
        break;
    default:
        *pVal = 0;
        break;
    }
    return S_OK;
}

} // namespace tessivor
