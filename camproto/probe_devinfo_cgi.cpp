#include "camproto/probe_devinfo_cgi.h"

#include "camproto/packet_fields.h"
#include "camproto/probe_pages.h"
#include "io/ws_client.h"
#include "platform/clock.h"
#include "platform/trace.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tessivor::camproto {

namespace {

constexpr std::uint32_t kBeforeSendMs = 100;
constexpr std::uint32_t kBeforeReadMs = 300;
constexpr int kPollMs = 50;
constexpr int kPollLimit = 50;
constexpr std::size_t kAnswerBuffer = 2000;
constexpr int kReadPiece = 3000;

enum class Attempt
{
    Answered,
    Failed,
    TimedOut,
};

// True once the answer holds its head and the whole announced body (or cannot be completed).
bool answerComplete(std::span<const std::uint8_t> answer)
{
    const std::string_view text(reinterpret_cast<const char*>(answer.data()), answer.size());
    const std::size_t blank = text.find("\r\n\r\n");
    if (blank == std::string_view::npos)
        return false;
    const auto body = devInfoCgiBody(answer);
    if (!body)
        return true; // it will not pass the checks, however much more comes
    const std::size_t name = text.find("Content-Length:");
    const std::size_t lineEnd = text.find("\r\n", name + 15);
    const long long announced = leadingDecimal(text.substr(name + 15, lineEnd - name - 15));
    return static_cast<long long>(body->size()) >= announced;
}

Attempt attempt(const DevInfoCgiRequest& r, std::vector<std::uint8_t>* bodyOut)
{
    CWSClient s;
    if (s.Connect(r.port, r.host.c_str(), r.connectTimeoutSeconds) != 0)
        return Attempt::Failed;
    s.ClearReceiveBuffer();
    sleepMs(kBeforeSendMs);
    const std::string head = devInfoCgiRequestHead(r);
    if (s.SendAll(head.data(), static_cast<int>(head.size())) != static_cast<int>(head.size())) {
        s.CloseConnection();
        return Attempt::Failed;
    }
    sleepMs(kBeforeReadMs);
    std::array<std::uint8_t, kAnswerBuffer> answer{};
    std::size_t got = 0;
    int emptyPolls = 0;
    while (got < answer.size()) {
        if (got >= kDevInfoLeast && answerComplete(std::span(answer).first(got)))
            break;
        if (s.WaitForReceive(0, kPollMs * 1000) != 0) {
            if (++emptyPolls >= kPollLimit) {
                trace("Get Device Info Time Out\n");
                s.CloseConnection();
                return Attempt::TimedOut;
            }
            continue;
        }
        // Never more than the buffer has room for, whatever the camera sends.
        const int room = static_cast<int>(std::min<std::size_t>(kReadPiece, answer.size() - got));
        const int n = s.Receive(answer.data() + got, room, 0);
        if (n <= 0)
            break; // the camera closed: judge what came
        got += static_cast<std::size_t>(n);
    }
    s.CloseConnection();
    const auto body = devInfoCgiBody(std::span(answer).first(got));
    if (!body)
        return Attempt::Failed;
    bodyOut->assign(body->begin(), body->begin() + static_cast<std::ptrdiff_t>(
                                                       std::min(body->size(), DeviceRecord::kBodySize)));
    return Attempt::Answered;
}

} // namespace

std::string devInfoCgiRequestHead(const DevInfoCgiRequest& r)
{
    std::string head;
    if (r.viaProxy) {
        head +=
            "GET HTTP://" + r.remoteHost + ":" + std::to_string(r.remotePort) + "/DevInfo.CGI HTTP/1.0\r\n";
        head += "Proxy-Connection: Keep-Alive\r\n";
        head += "Host: " + r.remoteHost + "\r\n";
    } else {
        head += "GET /DevInfo.CGI HTTP/1.0\r\n";
    }
    head += "User-Agent: " + r.userName + "\r\n";
    head += "Authorization: Basic " + r.authorization + "\r\n";
    head += "\r\n";
    return head;
}

DevInfoCgiResult getDevInfoCgi(const DevInfoCgiRequest& r)
{
    DevInfoCgiResult out;
    int used = 0;
    while (used < r.attempts) {
        std::vector<std::uint8_t> body;
        const Attempt a = attempt(r, &body);
        if (a == Attempt::Answered) {
            out.result = -1;
            out.body = std::move(body);
            return out;
        }
        used += a == Attempt::TimedOut ? 2 : 1;
    }
    return out;
}

} // namespace tessivor::camproto
