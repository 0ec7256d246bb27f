// The HTTP/1.0 request engine of the camera CGI pages: one connection per request, direct or
// through an HTTP proxy, Basic authentication, a fixed set of header lines, the status found by
// text search, and the answer body read into m_Http.m_Body.
//
// The exchange is paced the way cameras of this family need it: a GET waits a second before it
// reads the status and another half second before the header; the header is read one byte at a
// time so that nothing past its empty line is taken. Every buffer is bounded: the status read
// takes what comes in 16-byte steps, the header at most 1024 bytes, the body at most m_Http.m_Body's
// 10,000 bytes whatever the answer's Content-Length says.
#include "control/cimage.h"
#include "control/http_response.h"
#include "control/stream_requests.h"
#include "platform/clock.h"
#include "platform/trace.h"

#include <algorithm>

namespace tessivor {

namespace {

constexpr std::uint32_t kGetSettleMs = 1000;     // GET: before the status is read
constexpr std::uint32_t kGetHeaderPauseMs = 500; // GET: between status and header
constexpr std::uint32_t kGetExSettleMs = 100;    // GetEx: before the status
constexpr std::uint32_t kCommandSettleMs = 100;  // POST command: before the answer
constexpr std::size_t kStatusBytes = 16;         // the status test needs this many bytes
constexpr std::size_t kHeadLimit = 1024;         // header bytes read one at a time
constexpr int kPostExStatusWaitSeconds = 50;     // some cameras answer a form POST slowly
constexpr std::size_t kCommandAnswerBytes = 25;  // enough for "HTTP/1.0 204 No Content"
constexpr std::uint32_t kCommandAnswerWaitMs = 1000;

// m_Http.m_lErrCode values.
constexpr std::int32_t kErrPostNotSent = 14;
constexpr std::int32_t kErrPostAccepted = 20;
constexpr std::int32_t kErrNoConnection = 22;
constexpr std::int32_t kErrGetNotSent = 24;
constexpr std::int32_t kErrNothingReceived = 25;
constexpr std::int32_t kErrStatusRefused = 26;
constexpr std::int32_t kErrNoHeaderEnd = 27;

enum class Kind
{
    Get,
    GetEx,
    Post,
    PostEx,
};

bool isPost(Kind k)
{
    return k == Kind::Post || k == Kind::PostEx;
}

// Where a request goes. `proxyWanted` is the caller's reading of EnableProxy; LocalCamera and
// BypassProxyServer together send it straight to the camera anyway.
struct Route
{
    std::string host;
    int port = 0;
    bool viaProxy = false;
    bool bypassed = false; // the proxy was wanted and bypassed
};

Route chooseRoute(const ConnectionSettings& conn, bool proxyWanted)
{
    Route r;
    const bool bypass = conn.m_bLocalCamera != 0 && conn.m_bBypassProxy != 0;
    if (proxyWanted && !bypass) {
        r.host = conn.m_szProxyHost.str();
        r.port = conn.m_nProxyPort;
        r.viaProxy = true;
    } else {
        r.host = conn.m_szRemoteHost.str();
        r.port = conn.m_nRemotePort;
        r.bypassed = proxyWanted;
    }
    return r;
}

// "GET /path HTTP/1.0" direct, "GET HTTP://host:port/path HTTP/1.0" through the proxy (the
// absolute form a proxy needs), then the proxy's two lines. A path without its leading "/" gets
// one, unless `pathAsGiven`.
std::string requestLines(const char* method, const Route& route, const std::string& remoteHost,
                         int remotePort, std::string_view path, bool pathAsGiven)
{
    const bool slash = pathAsGiven || (!path.empty() && path.front() == '/');
    std::string r = method;
    r += ' ';
    if (route.viaProxy) {
        r += "HTTP://";
        r += remoteHost;
        r += ':';
        r += std::to_string(remotePort);
    }
    if (!slash)
        r += '/';
    r += path;
    r += " HTTP/1.0\r\n";
    if (route.viaProxy) {
        r += "Proxy-Connection: Keep-Alive\r\nHost: ";
        r += remoteHost;
        r += "\r\n";
    }
    return r;
}

// Receives in 16-byte steps until at least 16 bytes have come or a receive brings nothing.
std::string receiveStatus(CWSClient& s, int timeoutSeconds)
{
    std::string got;
    char step[kStatusBytes];
    while (got.size() < kStatusBytes) {
        const int n = s.Receive(step, sizeof step, timeoutSeconds);
        if (n <= 0)
            break;
        got.append(step, static_cast<std::size_t>(n));
    }
    return got;
}

enum class HeadResult
{
    Complete,
    NothingReceived,
    NoEnd,
};

// Completes the header in `got` one byte at a time, up to kHeadLimit more bytes.
HeadResult completeHead(CWSClient& s, std::string& got, int timeoutSeconds)
{
    if (got.find("\r\n\r\n") != std::string::npos)
        return HeadResult::Complete;
    std::size_t taken = 0;
    while (taken < kHeadLimit) {
        char b;
        if (s.Receive(&b, 1, timeoutSeconds) != 1)
            break;
        got += b;
        ++taken;
        if (got.size() >= 4 && got.compare(got.size() - 4, 4, "\r\n\r\n") == 0)
            return HeadResult::Complete;
    }
    return taken == 0 ? HeadResult::NothingReceived : HeadResult::NoEnd;
}

// Appends to `body` until it holds `want` bytes, the peer closes or a wait runs out.
void receiveBody(CWSClient& s, std::string& body, std::size_t want, int timeoutSeconds)
{
    char block[4096];
    while (body.size() < want) {
        const int room = static_cast<int>(std::min(sizeof block, want - body.size()));
        const int n = s.Receive(block, room, timeoutSeconds);
        if (n <= 0)
            break;
        body.append(block, static_cast<std::size_t>(n));
    }
}

int fail(HttpExchange& area, CWSClient& s, std::int32_t code)
{
    area.m_lErrCode.store(code);
    s.CloseConnection();
    return 0;
}

// One request of the engine with the connection settings of the call; the path, body, answer and
// error code are in `area`, the control's exchange area.
int exchange(CImage& c, HttpExchange& area, const ConnectionSettings& conn, Kind kind, int parseOrSerialise,
             std::string_view status, int defaultLength)
{
    const HttpExchange::Claim claim(area);
    const bool post = isPost(kind);
    const std::int32_t notSent = post ? kErrPostNotSent : kErrGetNotSent;
    if (post && parseOrSerialise == 1 && !c.SerializeParameters("\r\n")) {
        trace("HTTP POST: the changed parameters do not fit into the body");
        area.m_lErrCode.store(notSent);
        return 0;
    }

    const Route route = chooseRoute(conn, conn.m_bEnableProxy == 1);
    const std::string remoteHost = conn.m_szRemoteHost.str();
    const std::string path = area.m_szCgiPath.str();
    std::string user;
    c.get_UserName(&user); // under the credential lock: the host may put it meanwhile
    const std::string body = post ? c.BodyText() : std::string();
    const std::string credential = c.EncodeCredentialsBuffer();
    if (!fitsInLine(path) || !fitsInLine(remoteHost) || !fitsInLine(user) || !fitsInLine(credential)) {
        trace("HTTP: a line break in the path, host, user name or stored credential; request not sent");
        area.m_lErrCode.store(notSent);
        return 0;
    }
    const int timeOut = conn.m_nTimeOut;
    const int connectTimeOut = (kind == Kind::Post && route.bypassed) ? timeOut : conn.m_nConnTimeOut;

    CWSClient s;
    if (s.Connect(route.port, route.host.c_str(), connectTimeOut, AF_INET, SOCK_STREAM) != 0) {
        area.m_lErrCode.store(kErrNoConnection);
        return 0;
    }
    s.ClearReceiveBuffer();

    std::string request =
        requestLines(post ? "POST" : "GET", route, remoteHost, conn.m_nRemotePort, path, false);
    if (post)
        request += "Content-Type: text/plain\r\n";
    request += "User-Agent: " + user + "\r\n";
    request += "Authorization: Basic " + credential + "\r\n";
    if (kind == Kind::Get)
        request += "Connection: Keep-Alive\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n";
    if (post)
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    request += "\r\n";
    request += body;
    if (s.SendAll(request.data(), static_cast<int>(request.size())) != static_cast<int>(request.size()))
        return fail(area, s, notSent);

    if (kind == Kind::Get)
        sleepMs(kGetSettleMs);
    else if (kind == Kind::GetEx)
        sleepMs(kGetExSettleMs);

    std::string got = receiveStatus(s, kind == Kind::PostEx ? kPostExStatusWaitSeconds : timeOut);
    if (got.size() < kStatusBytes)
        return fail(area, s, kErrNothingReceived);
    const bool ex = kind == Kind::GetEx || kind == Kind::PostEx;
    const StatusMatch match = matchStatus(got, ex ? status : std::string_view());
    if (match == StatusMatch::None) {
        s.ClearReceiveBuffer();
        return fail(area, s, kErrStatusRefused);
    }
    if (kind == Kind::Get)
        sleepMs(kGetHeaderPauseMs);

    switch (completeHead(s, got, timeOut)) {
    case HeadResult::NothingReceived:
        return fail(area, s, kErrNothingReceived);
    case HeadResult::NoEnd:
        return fail(area, s, kErrNoHeaderEnd);
    case HeadResult::Complete:
        break;
    }

    if (post) {
        if (kind == Kind::PostEx) {
            if (match == StatusMatch::Only20)
                trace("allocimage error 4");
            else
                c.SetBodyText(got); // the status line and header, for the caller to inspect
        }
        s.CloseConnection();
        area.m_lErrCode.store(kErrPostAccepted);
        return -1;
    }

    const HttpHead head = readHttpHead(got);
    if (head.dataFollows) {
        s.CloseConnection(); // the error code stays as it was
        return 0;
    }
    long long length = head.contentLength;
    if (length < 0)
        length = kind == Kind::GetEx ? std::max(defaultLength, 0) : 0;
    std::string answer = got.substr(head.bodyOffset);
    if (length > 0) {
        if (length > static_cast<long long>(CImage::kBodySize))
            trace("HTTP GET: Content-Length %lld cut to %zu bytes", length, CImage::kBodySize);
        const std::size_t want = static_cast<std::size_t>(std::min<long long>(length, CImage::kBodySize));
        if (answer.size() < want) {
            const std::size_t before = answer.size();
            receiveBody(s, answer, want, timeOut);
            if (answer.size() == before)
                return fail(area, s, kErrNothingReceived);
        }
        if (answer.size() > want)
            answer.resize(want);
    } else {
        // No length: the camera ends the body by closing the connection.
        receiveBody(s, answer, CImage::kBodySize, timeOut);
    }
    if (kind == Kind::GetEx) {
        trace("Content-Length: %lld", length);
        trace("%.*s", static_cast<int>(answer.size()), answer.data());
    }
    area.m_Body.fill(0);
    std::copy(answer.begin(), answer.end(), area.m_Body.begin());
    if (parseOrSerialise == 1)
        c.ParseParameters("\r\n");
    s.CloseConnection();
    return -1;
}

} // namespace

HttpExchange::Claim::Claim(HttpExchange& area)
    : m_area(area), m_overlapped(area.m_InUse.exchange(true, std::memory_order_acq_rel))
{
    if (!m_overlapped)
        return;
    m_area.m_Overlaps.fetch_add(1, std::memory_order_relaxed);
    trace("HTTP: a request started while another one used the exchange area");
}

HttpExchange::Claim::~Claim()
{
    if (!m_overlapped)
        m_area.m_InUse.store(false, std::memory_order_release);
}

int CImage::HttpGet(int parse)
{
    return exchange(*this, m_Http, m_Connection.read(), Kind::Get, parse, {}, 0);
}

int CImage::HttpGetEx(int parse, std::string_view status, int defaultLength)
{
    return exchange(*this, m_Http, m_Connection.read(), Kind::GetEx, parse, status, defaultLength);
}

int CImage::HttpPost(int serialise)
{
    return exchange(*this, m_Http, m_Connection.read(), Kind::Post, serialise, {}, 0);
}

int CImage::HttpPostEx(int serialise, std::string_view status)
{
    return exchange(*this, m_Http, m_Connection.read(), Kind::PostEx, serialise, status, 0);
}

int CImage::HttpPostCommand(std::string_view path, std::string_view content)
{
    const ConnectionSettings conn = m_Connection.read();
    const Route route = chooseRoute(conn, conn.m_bEnableProxy != 0);
    const std::string remoteHost = conn.m_szRemoteHost.str();
    const std::string credential = EncodeCredentials();
    if (!fitsInLine(path) || !fitsInLine(remoteHost) || !fitsInLine(credential)) {
        trace("HTTP: a line break in the path, host or stored credential; command not sent");
        m_Http.m_lErrCode.store(kErrPostNotSent);
        return 0;
    }
    CWSClient s;
    if (s.Connect(route.port, route.host.c_str(), conn.m_nConnTimeOut, AF_INET, SOCK_STREAM) != 0) {
        m_Http.m_lErrCode.store(kErrNoConnection);
        return 0;
    }
    std::string request = requestLines("POST", route, remoteHost, conn.m_nRemotePort, path, true);
    request += "Content-Type: text/plain\r\n";
    request += "User-Agent: USER\r\n";
    request += "Authorization: Basic " + credential + "\r\n";
    request += "Content-Length: " + std::to_string(content.size() + 4) + "\r\n";
    request += "\r\n";
    request += content;
    request += "\r\n\r\n";
    if (s.SendAll(request.data(), static_cast<int>(request.size())) != static_cast<int>(request.size()))
        return fail(m_Http, s, kErrPostNotSent);
    sleepMs(kCommandSettleMs);

    std::string got;
    const std::uint32_t start = tickCount();
    while (got.size() < kCommandAnswerBytes) {
        const std::uint32_t spent = ticksSince(start);
        if (spent >= kCommandAnswerWaitMs)
            break;
        if (s.WaitForReceive(0, static_cast<int>((kCommandAnswerWaitMs - spent) * 1000)) != 0)
            break;
        char b[kCommandAnswerBytes];
        const int n = s.Receive(b, static_cast<int>(kCommandAnswerBytes - got.size()), 0);
        if (n <= 0)
            break;
        got.append(b, static_cast<std::size_t>(n));
    }
    s.CloseConnection();
    return postCommandResult(got);
}

} // namespace tessivor
