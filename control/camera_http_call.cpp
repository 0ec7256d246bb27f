#include "control/camera_http_call.h"

#include "control/cimage.h"
#include "control/discovery_state.h"

#include "camproto/admin_udp.h"
#include "io/ws_client.h"

#include <algorithm>

namespace tessivor {

namespace {

constexpr int kTimeTries = 5;
constexpr std::size_t kTimeAnswerLimit = 2000;
constexpr std::size_t kTimeAnswerEnough = 500;
constexpr std::size_t kTimePiece = 200;

} // namespace

std::optional<std::string> cameraRequestText(const ConnectionSettings& s, std::string authorization,
                                             camproto::CameraRequest request, bool viaProxy)
{
    request.viaProxy = viaProxy;
    request.remoteHost = s.m_szRemoteHost.str();
    request.remotePort = s.m_nRemotePort;
    request.authorization = std::move(authorization);
    return camproto::buildCameraRequest(request);
}

bool sendWhole(CWSClient& s, const void* data, std::size_t size)
{
    return s.SendAll(data, static_cast<int>(size)) == static_cast<int>(size);
}

bool connectCamera(const ConnectionSettings& s, CWSClient& socket, bool viaProxy)
{
    socket.CloseConnection();
    const int timeout = std::max(1, s.m_nConnTimeOut);
    const int result = viaProxy ? socket.Connect(s.m_nProxyPort, s.m_szProxyHost.c_str(), timeout)
                                : socket.Connect(s.m_nRemotePort, s.m_szRemoteHost.c_str(), timeout);
    return result == 0;
}

std::string readCameraAnswer(const ConnectionSettings& s, CWSClient& socket, std::size_t limit,
                             std::size_t piece, const std::function<bool(std::string_view)>& enough)
{
    std::string answer;
    const int wait = std::max(1, s.m_nTimeOut);
    std::string buffer(piece, '\0');
    while (answer.size() < limit && !enough(answer)) {
        const int want = static_cast<int>(std::min(piece, limit - answer.size()));
        const int n = socket.Receive(buffer.data(), want, wait);
        if (n <= 0)
            break; // closed, nothing within the wait, or an error
        answer.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return answer;
}

CameraTry tryCameraExchange(const ConnectionSettings& s, bool viaProxy, std::string_view text,
                            std::size_t limit, std::size_t piece,
                            const std::function<bool(std::string_view)>& enough)
{
    CameraTry t;
    CWSClient socket;
    if (!connectCamera(s, socket, viaProxy))
        return t;
    socket.ClearReceiveBuffer();
    if (!sendWhole(socket, text)) {
        t.step = CameraTry::Step::NotSent;
    } else {
        t.step = CameraTry::Step::Answered;
        t.answer = readCameraAnswer(s, socket, limit, piece, enough);
    }
    socket.CloseConnection();
    return t;
}

std::string cameraAddress(const std::string& host)
{
    char dotted[64] = {};
    CWSClient lookup;
    if (lookup.GetAddressFromName(host.c_str(), dotted, sizeof dotted) != 0)
        return {};
    return dotted;
}

camproto::AdminRequest CImage::adminRequest(CImage& c, camproto::Opcode opcode, bool broadcast)
{
    const ConnectionSettings s = c.m_Connection.read();
    camproto::AdminRequest r;
    r.host = broadcast ? camproto::kBroadcastAddress : cameraAddress(s.m_szRemoteHost.str());
    r.header.sequence = camproto::nextSequence(c.m_Search.m_nSequence);
    r.header.opcode = opcode;
    std::copy(s.m_TargetMac.begin(), s.m_TargetMac.end(), r.header.mac.begin());
    if (!broadcast)
        std::copy(s.m_TargetIp.begin(), s.m_TargetIp.end(), r.header.ip.begin());
    r.wakes = {&c.m_Discovery->shutdown};
    return r;
}

void runByProtocol(std::int32_t protocol, std::int32_t* pVal, const std::function<int()>& native,
                   const std::function<int()>& cgi, const std::function<int()>& web)
{
    const std::function<int()>* form = nullptr;
    switch (protocol) {
    case PROTOCOL_NATIVE:
        form = &native;
        break;
    case PROTOCOL_VIDEO_CGI:
    case PROTOCOL_MJPEG_CGI:
        form = &cgi;
        break;
    case PROTOCOL_MULTIPART:
        form = &web;
        break;
    default:
        break;
    }
    if (form && *form)
        *pVal = (*form)();
}

int getTimeHttp(const ConnectionSettings& s, const std::string& authorization, camproto::CameraDateTime* out)
{
    camproto::CameraRequest r;
    r.path = "/IOCONTROL.CGI?CGIQUaere=Datetime";
    r.lengthLine = "Content-length:0";
    const bool proxy = s.proxyInUse();
    const auto text = cameraRequestText(s, authorization, r, proxy);
    if (!text)
        return 0;
    for (int attempt = 0; attempt < kTimeTries; ++attempt) {
        int verdict = 0;
        tryCameraExchange(s, proxy, *text, kTimeAnswerLimit, kTimePiece, [&](std::string_view answer) {
            if (answer.empty())
                return false;
            if (camproto::answerRefusesLogin(answer)) {
                verdict = 1;
                return true;
            }
            if (const auto t = camproto::parseDateTimeAnswer(answer)) {
                *out = *t;
                verdict = -1;
                return true;
            }
            return answer.size() >= kTimeAnswerEnough;
        });
        if (verdict != 0)
            return verdict;
    }
    return 0;
}

} // namespace tessivor
