// The camera's two outputs: read both and set one, over the native connection (with its login)
// or "/IOCONTROL.CGI". Every wait is bounded by ConnTimeOut (connect) and TimeOut (answers).
#include "control/camera_http_call.h"
#include "control/cimage.h"
#include "control/stream_io.h"
#include "control/stream_requests.h"

#include "camproto/camera_http.h"
#include "io/ws_client.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace tessivor {

namespace {

constexpr std::size_t kStatusBlock = 126;
constexpr std::size_t kChallenge = 80;
constexpr std::size_t kPreamble = 46;
constexpr std::size_t kShortBlock = 30;
constexpr std::size_t kOutputsAnswer = 70;
constexpr int kGetHttpTries = 3;
constexpr int kSetHttpTries = 2;
constexpr std::size_t kGetAnswerLeast = 200;
constexpr std::size_t kSetAnswerLeast = 100;
constexpr std::size_t kAnswerPiece = 300;

const std::atomic<std::int32_t> kNeverStop{0};

bool accepted(const char* code)
{
    return std::memcmp(code, "0200", 4) == 0 || std::memcmp(code, "0201", 4) == 0 ||
           std::memcmp(code, "0202", 4) == 0;
}

// Connects and logs in on the native connection; false on any failure (the socket is closed).
bool nativeLogin(CImage& c, const ConnectionSettings& settings, CWSClient& s)
{
    const int wait = std::max(1, settings.m_nTimeOut);
    auto receive = [&](void* into, std::size_t size) {
        return streamio::receiveExactly(s, into, size, wait, kNeverStop);
    };
    if (s.Connect(settings.m_nRemotePort, settings.m_szRemoteHost.c_str(),
                  std::max(1, settings.m_nConnTimeOut)) != 0)
        return false;
    std::uint8_t scratch[kStatusBlock];
    char code[4];
    bool ok = receive(code, 4);
    if (ok && accepted(code)) {
        ok = receive(scratch, kStatusBlock);
    } else if (ok && std::memcmp(code, "0301", 4) == 0) {
        std::uint8_t challenge[kChallenge];
        ok = receive(challenge, kChallenge) && receive(scratch, kPreamble);
        if (ok) {
            const CredentialBlock block = c.BuildCredentialBlock();
            std::uint8_t login[24] = {'0', '0', '0', '1'};
            CImage::ScrambleCredentials(login + 4, block.data(), challenge);
            ok = sendWhole(s, login, sizeof login) && receive(code, 4) && accepted(code) &&
                 receive(scratch, kStatusBlock);
        }
    } else if (ok && std::memcmp(code, "0501", 4) == 0) {
        ok = receive(scratch, kShortBlock);
    } else {
        ok = false;
    }
    if (!ok)
        s.CloseConnection();
    return ok;
}

int getOutputsTcp(CImage& c, const ConnectionSettings& settings, std::int32_t* trig1, std::int32_t* trig2)
{
    CWSClient s;
    if (!nativeLogin(c, settings, s))
        return 0;
    std::uint8_t answer[kOutputsAnswer] = {};
    // The answer's length is not announced: one receive, bounded by TimeOut, and the two bytes
    // must have come.
    const int n =
        sendWhole(s, "0111", 4) ? s.Receive(answer, sizeof answer, std::max(1, settings.m_nTimeOut)) : -1;
    if (n < 10) {
        s.CloseConnection();
        return 0;
    }
    *trig1 = static_cast<std::int8_t>(answer[8]);
    *trig2 = static_cast<std::int8_t>(answer[9]);
    s.SendAll("1111", 4);
    s.CloseConnection();
    return -1;
}

int setOutputTcp(CImage& c, const ConnectionSettings& settings, std::int32_t index, std::int32_t value)
{
    CWSClient s;
    if (!nativeLogin(c, settings, s))
        return 0;
    const std::uint8_t command[6] = {
        '0', '0', '0', '2', static_cast<std::uint8_t>(index & 0xFF), static_cast<std::uint8_t>(value & 0xFF)};
    char code[4];
    std::uint8_t block[kShortBlock];
    const int wait = std::max(1, settings.m_nTimeOut);
    int result = 0;
    if (sendWhole(s, command, sizeof command) && streamio::receiveExactly(s, code, 4, wait, kNeverStop) &&
        std::memcmp(code, "0210", 4) == 0 &&
        streamio::receiveExactly(s, block, kShortBlock, wait, kNeverStop)) {
        s.SendAll("1111", 4);
        result = -1;
    }
    s.CloseConnection();
    return result;
}

// The "/IOCONTROL.CGI" exchange of the outputs, up to `tries` times: -1 when `take` accepts an
// answer (read until it has `least` bytes, at most three pieces), 0 when none does or "Password
// Error" came with the first or second piece. A request that did not all go out ends the call
// when `sendEnds`.
int outputsHttp(CImage& c, const ConnectionSettings& settings, const camproto::CameraRequest& request,
                int tries, std::size_t least, bool sendEnds,
                const std::function<bool(const std::string&)>& take)
{
    const bool proxy = settings.proxyInUse();
    const auto text = cameraRequestText(settings, c.EncodeCredentials(), request, proxy);
    if (!text)
        return 0;
    for (int attempt = 0; attempt < tries; ++attempt) {
        int pieces = 0;
        bool refused = false;
        const CameraTry t = tryCameraExchange(
            settings, proxy, *text, 3 * kAnswerPiece, kAnswerPiece, [&](std::string_view a) {
                if (a.empty())
                    return false;
                ++pieces;
                if (pieces <= 2 && a.find("Password Error") != std::string_view::npos) {
                    refused = true;
                    return true;
                }
                return a.size() >= least || pieces >= 3;
            });
        if (t.step == CameraTry::Step::NotConnected)
            continue;
        if (refused || (t.step == CameraTry::Step::NotSent && sendEnds))
            return 0;
        if (take(t.answer))
            return -1;
    }
    return 0;
}

int getOutputsHttp(CImage& c, const ConnectionSettings& settings, std::int32_t* trig1, std::int32_t* trig2)
{
    camproto::CameraRequest r;
    r.path = "/IOCONTROL.CGI";
    r.lengthLine = "Content-length:0";
    return outputsHttp(c, settings, r, kGetHttpTries, kGetAnswerLeast, false, [&](const std::string& answer) {
        const auto v = camproto::parseTriggerAnswer(answer);
        if (v) {
            *trig1 = v->trigger1;
            *trig2 = v->trigger2;
        }
        return v.has_value();
    });
}

int setOutputHttp(CImage& c, const ConnectionSettings& settings, std::int32_t index, std::int32_t value)
{
    camproto::CameraRequest r;
    r.method = "POST";
    r.path = "/IOCONTROL.CGI";
    if (index == 1 || index == 2)
        r.body = "Trigger" + std::to_string(index) + "=" + std::to_string(value) + "\r\n\r\n";
    return outputsHttp(c, settings, r, kSetHttpTries, kSetAnswerLeast, true, [](const std::string& answer) {
        return answer.find("HTTP/1.0 204 No Content") != std::string::npos;
    });
}

} // namespace

HRESULT CImage::GetOutputTriggerValue(std::int32_t* Trig1, std::int32_t* Trig2, std::int32_t* pVal)
{
    const ConnectionSettings s = m_Connection.read();
    runByProtocol(
        s.m_nProtocol, pVal, [&] { return getOutputsTcp(*this, s, Trig1, Trig2); },
        [&] { return getOutputsHttp(*this, s, Trig1, Trig2); });
    return S_OK;
}

HRESULT CImage::SetOutputTriggerValue(std::int32_t index, std::int32_t newVal, std::int32_t* pVal)
{
    const ConnectionSettings s = m_Connection.read();
    runByProtocol(
        s.m_nProtocol, pVal, [&] { return setOutputTcp(*this, s, index, newVal); },
        [&] { return setOutputHttp(*this, s, index, newVal); });
    return S_OK;
}

} // namespace tessivor
