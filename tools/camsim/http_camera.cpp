// The camera's web server: HTTP/1.0 requests with Basic authentication, answered through a table
// of routes (see routes()), one connection per thread.
//
// Push streams ("/VIDEO.CGI", "/mjpeg.cgi", "/N.cgi") answer once and then send part after part:
//
//   HTTP/1.0 200 OK CRLF ... Content-Type: multipart/x-mixed-replace;boundary=B CRLF CRLF --B CRLF
//   Content-length: N CRLF [Date: dd-mm-yyyy hh:mm:ss _PT_xxx_yyy CRLF] Content-type: image/jpeg
//   CRLF CRLF <N bytes of JPEG> CRLF --B CRLF Content-length: ...
//
// so that the 24-byte delimiter "CRLF--B CRLF" sits between a frame and the next part's headers;
// only "/mjpeg.cgi" carries the Date line with the pan/tilt position (three digits each).
//
// The repeated-request stream (the multipart path, "/goform/video2" unless told otherwise)
// answers every GET on a kept-alive connection with one picture, in order, at the frame rate,
// and keeps count of how many pipelined requests were waiting at most.
//
// "/IOCONTROL.CGI?CGIQUaere=Image" answers the seven image settings as one name=value line
// (padded so that the answer is longer than 220 bytes), or "Password Error" for a wrong login;
// "/cgi-bin/image_cfg.cgi" answers three of them as a parameter list.
#include "camera.h"
#include "decode_bomb.h"
#include "sound.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <functional>
#include <thread>

namespace camsim {

namespace {

constexpr std::string_view kBoundary = "camsimvideostream1";
constexpr std::size_t kMaxHeadSize = 8192;
constexpr auto kIdleWait = std::chrono::seconds(60);

struct Request
{
    std::string head;
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case

    std::string header(std::string_view name) const
    {
        for (const auto& [n, v] : headers)
            if (n == name)
                return v;
        return {};
    }
    bool keepAlive() const
    {
        std::string v = header("connection");
        std::transform(v.begin(), v.end(), v.begin(), [](unsigned char c) { return std::tolower(c); });
        return v == "keep-alive";
    }
};

std::optional<Request> parseHead(std::string head)
{
    Request r;
    r.head = std::move(head);
    std::size_t pos = r.head.find("\r\n");
    const std::string line = r.head.substr(0, pos);
    const auto s1 = line.find(' ');
    const auto s2 = line.rfind(' ');
    if (s1 == std::string::npos || s2 == s1)
        return std::nullopt;
    r.method = line.substr(0, s1);
    r.target = line.substr(s1 + 1, s2 - s1 - 1);
    r.version = line.substr(s2 + 1);
    while (pos != std::string::npos && pos + 2 < r.head.size()) {
        const std::size_t start = pos + 2;
        pos = r.head.find("\r\n", start);
        const std::string field =
            r.head.substr(start, pos == std::string::npos ? std::string::npos : pos - start);
        const auto colon = field.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = field.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        std::string value = field.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        r.headers.emplace_back(std::move(name), std::move(value));
    }
    return r;
}

// One client connection: its unread input and the requests found in it.
class Session
{
public:
    Session(CameraState& state, FrameSource& frames, const std::shared_ptr<Connection>& conn)
        : state(state), frames(frames), conn(*conn)
    {
    }

    // Moves every complete request head of the input into the queue. False when the input holds
    // a head that is too long (the connection is then answered 400 and closed).
    bool collectRequests()
    {
        while (true) {
            const auto end = m_input.find("\r\n\r\n");
            if (end == std::string::npos)
                return m_input.size() <= kMaxHeadSize;
            auto req = parseHead(m_input.substr(0, end + 4));
            m_input.erase(0, end + 4);
            if (!req)
                return false;
            state.stats.httpRequests++;
            state.recordRequest(req->head);
            const bool bodyFollows = req->method == "POST";
            queue.push_back(std::move(*req));
            if (bodyFollows)
                return true; // what follows is its body, not the next head
        }
    }

    // The body of a POST: what follows its head, until `enough` says so, no byte comes within
    // `quiet`, or `limit` bytes have come.
    std::string takeBodyUntil(std::size_t limit, std::chrono::milliseconds quiet,
                              const std::function<bool(std::string_view)>& enough)
    {
        while (m_input.size() < limit && !enough(m_input)) {
            if (!waitReadable(conn, quiet) || recvSome(conn, m_input, limit - m_input.size()) <= 0)
                break;
        }
        std::string body = m_input.substr(0, std::min(limit, m_input.size()));
        m_input.clear();
        return body;
    }

    // Reads what has arrived, waiting up to `timeout` for the first byte. False once the client
    // has closed or the connection failed.
    bool receive(std::chrono::milliseconds timeout)
    {
        if (!waitReadable(conn, timeout))
            return !conn.dropped();
        const long n = recvSome(conn, m_input, 65536);
        return n > 0 || n == -2;
    }

    // The `size` bytes of a request body that follow its head; false when the client closed or
    // stalled before they came.
    bool takeBody(std::size_t size, std::string* body)
    {
        while (m_input.size() < size) {
            if (!waitReadable(conn, std::chrono::seconds(10)))
                return false;
            const long n = recvSome(conn, m_input, std::min<std::size_t>(size - m_input.size(), 1 << 20));
            if (n <= 0)
                return false;
        }
        body->assign(m_input, 0, size);
        m_input.erase(0, size);
        return true;
    }

    CameraState& state;
    FrameSource& frames;
    const Connection& conn;
    std::vector<Request> queue;

private:
    std::string m_input;
};

bool authorised(CameraState& state, const Request& r)
{
    if (!state.authRequired.load())
        return true;
    const std::string value = r.header("authorization");
    if (value.rfind("Basic ", 0) != 0)
        return false;
    // Cameras of the multipart family hand out their serial number as a token that stands for
    // the credentials.
    if (state.identity.family == Family::Multipart && value.substr(6) == state.identity.serial)
        return true;
    const auto decoded = decodeBase64(value.substr(6));
    const auto [user, password] = state.credentials();
    return decoded && *decoded == user + ":" + password;
}

void sendSimple(Session& s, const char* status, std::string_view body, bool keepAlive = false)
{
    std::string answer =
        std::string("HTTP/1.0 ") + status + "\r\nServer: camsim\r\nContent-Type: text/html\r\n";
    if (keepAlive)
        answer += "Connection: Keep-Alive\r\n";
    if (std::string_view(status).rfind("401", 0) == 0)
        answer += "WWW-Authenticate: Basic realm=\"camsim\"\r\n";
    answer += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    answer += body;
    sendAll(s.conn, answer);
}

// ---- push streams ----

enum class PushKind
{
    Plain,   // "/VIDEO.CGI" and "/N.cgi"
    PanTilt, // "/mjpeg.cgi": a Date line with the pan/tilt position
};

std::string dateLine(int panX, int tiltY)
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[96];
    std::snprintf(text, sizeof text, "Date: %02d-%02d-%04d %02d:%02d:%02d _PT_%03d_%03d\r\n", tm.tm_mday,
                  tm.tm_mon + 1, tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  std::clamp(panX, 0, 999), std::clamp(tiltY, 0, 999));
    return text;
}

// The bytes served for `frame`: its picture, or the decode bomb when that is the breakage.
std::string pictureBytes(const Frame& frame, Malformed bad)
{
    const std::vector<std::uint8_t>& jpeg = bad == Malformed::Bomb ? servedDecodeBomb() : frame.jpeg;
    return std::string(jpeg.begin(), jpeg.end());
}

// One part of a push stream, or its breakage. `dropAfter` is set when the connection is to be
// dropped once the bytes are out.
std::string pushPart(CameraState& state, const Frame& frame, PushKind kind, bool* dropAfter)
{
    const std::string delimiter = "\r\n--" + std::string(kBoundary) + "\r\n";
    const Malformed bad = state.takeMalformed();
    const std::string jpeg = pictureBytes(frame, bad);
    const std::string date = kind == PushKind::PanTilt ? dateLine(state.panX.load(), state.tiltY.load()) : "";
    auto head = [&](const std::string& lengthLine) {
        return lengthLine + date + "Content-type: image/jpeg\r\n\r\n";
    };
    const std::string lengthLine = "Content-length: " + std::to_string(jpeg.size()) + "\r\n";
    *dropAfter = false;
    switch (bad) {
    case Malformed::Garbage: {
        const auto junk = randomBytes(4096);
        return std::string(junk.begin(), junk.end());
    }
    case Malformed::Truncate: {
        const std::string h = head(lengthLine);
        *dropAfter = true;
        return h.substr(0, h.size() / 2);
    }
    case Malformed::Huge:
        return head("Content-length:999999\r\n") + jpeg + delimiter;
    case Malformed::Zero:
        return head("Content-length: 0\r\n") + jpeg + delimiter;
    case Malformed::NoLength:
        return head("") + jpeg + delimiter;
    case Malformed::NoBoundary:
        return lengthLine + date + "Content-type: image/jpeg\r\n" + jpeg;
    case Malformed::BadJpeg: {
        std::string cut = jpeg;
        cut.back() = '\0';
        return head(lengthLine) + cut + delimiter;
    }
    case Malformed::Short:
        *dropAfter = true;
        return head(lengthLine) + jpeg.substr(0, jpeg.size() / 2);
    case Malformed::Busy:
    case Malformed::Bomb:
    case Malformed::None:
        break;
    }
    state.stats.framesSent++;
    return head(lengthLine) + jpeg + delimiter;
}

void servePush(Session& s, const Request&, PushKind kind)
{
    std::string answer = "HTTP/1.0 200 OK\r\nServer: camsim\r\nPragma: no-cache\r\n"
                         "Content-Type: multipart/x-mixed-replace;boundary=" +
                         std::string(kBoundary) + "\r\n\r\n--" + std::string(kBoundary) + "\r\n";
    if (!sendAll(s.conn, answer))
        return;
    std::optional<std::uint64_t> last;
    while (true) {
        auto frame = s.frames.next(last, s.conn);
        if (!frame)
            return;
        bool dropAfter = false;
        const std::string part = pushPart(s.state, *frame, kind, &dropAfter);
        if (!sendAll(s.conn, part) || dropAfter)
            return;
        last = frame->number;
    }
}

// ---- repeated requests on one kept-alive connection ----

std::string multipartAnswer(CameraState& state, const Frame& frame, bool keepAlive, bool* dropAfter)
{
    const Malformed bad = state.takeMalformed();
    const std::string jpeg = pictureBytes(frame, bad);
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto usec = std::chrono::duration_cast<std::chrono::microseconds>(now).count() % 1000000;
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(now).count();
    auto head = [&](const std::string& status, const std::string& lengthLine) {
        std::string h =
            "HTTP/1.0 " + status + "\r\nServer: camsim\r\nContent-Type: image/jpeg\r\n" + lengthLine;
        h += "Time: " + std::to_string(secs) + "\r\nUsec: " + std::to_string(usec) + "\r\n";
        h += "Userdata: camsim frame " + std::to_string(frame.number) + "\r\n";
        if (keepAlive)
            h += "Connection: Keep-Alive\r\n";
        return h + "\r\n";
    };
    const std::string lengthLine = "Content-Length: " + std::to_string(jpeg.size()) + "\r\n";
    *dropAfter = false;
    switch (bad) {
    case Malformed::Garbage: {
        const auto junk = randomBytes(4096);
        return std::string(junk.begin(), junk.end());
    }
    case Malformed::Truncate: {
        const std::string h = head("200 OK", lengthLine);
        *dropAfter = true;
        return h.substr(0, h.size() / 2);
    }
    case Malformed::Huge:
        return head("200 OK", "Content-Length: 2000000000\r\n") + jpeg;
    case Malformed::Zero:
        return head("200 OK", "Content-Length: 0\r\n") + jpeg;
    case Malformed::NoLength:
        return head("200 OK", "") + jpeg;
    case Malformed::NoBoundary: {
        std::string h = head("200 OK", lengthLine);
        h.resize(h.size() - 2); // no empty line after the head
        return h + jpeg;
    }
    case Malformed::BadJpeg: {
        std::string cut = jpeg;
        cut.back() = '\0';
        return head("200 OK", lengthLine) + cut;
    }
    case Malformed::Short:
        *dropAfter = true;
        return head("200 OK", lengthLine) + jpeg.substr(0, jpeg.size() / 2);
    case Malformed::Busy:
        return head("503 Service Unavailable", "Content-Length: 0\r\n");
    case Malformed::Bomb:
    case Malformed::None:
        break;
    }
    state.stats.framesSent++;
    return head("200 OK", lengthLine) + jpeg;
}

void noteWaiting(Session& s)
{
    const std::uint64_t waiting = s.queue.size();
    std::uint64_t seen = s.state.stats.maxPendingRequests.load();
    while (waiting > seen && !s.state.stats.maxPendingRequests.compare_exchange_weak(seen, waiting)) {
    }
}

// Serves the queue of a session whose requests are answered one by one on a kept-alive
// connection, each with the next item once it is due: `dueAfter(last)` is when the item after
// `last` may go, `path()` the one target served, and `answer(req, last)` sends the answer to
// `req` and gives the number of the item sent, or nothing when the connection is to end. Reads
// further requests while it waits for the items, so that the count of waiting requests is what
// the client has sent and not yet had answered.
template <typename DueAfter, typename Path, typename Answer>
void servePaced(Session& s, DueAfter dueAfter, Path path, Answer answer)
{
    std::optional<std::uint64_t> last;
    bool open = true;
    while (!s.state.quit.load()) {
        if (!s.collectRequests()) {
            sendSimple(s, "400 Bad Request", "");
            return;
        }
        noteWaiting(s);
        if (s.queue.empty()) {
            if (!open || !s.receive(kIdleWait))
                return;
            continue;
        }
        const auto due = dueAfter(last);
        if (s.state.stalled.load() || Clock::now() < due) {
            const auto wait =
                s.state.stalled.load()
                    ? std::chrono::milliseconds(200)
                    : std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()) +
                          std::chrono::milliseconds(1);
            if (open)
                open = s.receive(std::min(wait, std::chrono::milliseconds(200)));
            else
                std::this_thread::sleep_for(std::min(wait, std::chrono::milliseconds(200)));
            if (s.conn.dropped())
                return;
            continue;
        }
        const Request req = s.queue.front();
        s.queue.erase(s.queue.begin());
        if (!authorised(s.state, req)) {
            s.state.stats.authFailures++;
            sendSimple(s, "401 Unauthorized", "<html><body>401 Unauthorized</body></html>\r\n");
            return;
        }
        if (req.target != path()) {
            sendSimple(s, "404 Not Found", "", req.keepAlive());
            if (!req.keepAlive())
                return;
            continue;
        }
        const std::optional<std::uint64_t> sent = answer(req, last);
        if (!sent || !req.keepAlive())
            return;
        last = sent;
    }
}

// The multipart path: one picture per request, at the frame rate.
void serveMultipart(Session& s)
{
    servePaced(
        s, [&](std::optional<std::uint64_t> last) { return s.frames.dueAfter(last); },
        [&] { return s.state.multipartPath(); },
        [&](const Request& req, std::optional<std::uint64_t> last) -> std::optional<std::uint64_t> {
            auto frame = s.frames.next(last, s.conn);
            if (!frame)
                return std::nullopt;
            bool dropAfter = false;
            if (!sendAll(s.conn, multipartAnswer(s.state, *frame, req.keepAlive(), &dropAfter)) || dropAfter)
                return std::nullopt;
            return frame->number;
        });
}

// ---- the sound path ----

// Like the repeated-request picture stream: every GET on the kept-alive connection is answered
// with the next sound block when it is due (one per 250 ms), so the answers come in real time.
void serveSound(Session& s)
{
    SoundSource& sound = soundSource();
    servePaced(
        s, [&](std::optional<std::uint64_t> last) { return sound.dueAfter(last); },
        [&] { return sound.options().path; },
        [&](const Request& req, std::optional<std::uint64_t> last) -> std::optional<std::uint64_t> {
            const auto block = sound.take(last);
            if (!block || !sendAll(s.conn, soundAnswer(*block, req.keepAlive())))
                return std::nullopt;
            return block->number;
        });
}

// ---- image settings page ----

void serveIoControl(Session& s, const Request& req, bool loginOk)
{
    s.state.stats.settingsRequests++;
    const auto v = s.state.imageSettings();
    std::string body;
    bool dropHalf = false;
    if (!loginOk) {
        body = "<html><body>Password Error</body></html>\r\n";
    } else {
        std::array<long, 7> shown{};
        std::copy(v.begin(), v.end(), shown.begin());
        std::string hue = std::to_string(shown[5]);
        bool withHue = true;
        switch (s.state.takeMalformed()) {
        case Malformed::Huge:
            shown[3] = 99999; // above what a 16-bit value holds
            break;
        case Malformed::Zero:
            hue.clear();
            break;
        case Malformed::NoLength:
            withHue = false;
            break;
        case Malformed::Short:
        case Malformed::Truncate:
            dropHalf = true;
            break;
        case Malformed::Garbage: {
            const auto junk = randomBytes(300);
            sendAll(s.conn, junk.data(), junk.size());
            return;
        }
        default:
            break;
        }
        body = "Video_Mode=" + std::to_string(shown[0]) + "&Compress=" + std::to_string(shown[1]) +
               "&Frame_Rate=" + std::to_string(shown[2]) + "&Bright_cntl=" + std::to_string(shown[3]) +
               "&Contrast_cntl=" + std::to_string(shown[4]) + (withHue ? "&Hue_cntl=" + hue : "") +
               "&Light_Freq=" + std::to_string(shown[6]) + "\r\n";
    }
    (void)req;
    std::string head = "HTTP/1.0 200 OK\r\nServer: camsim\r\nContent-Type: text/plain\r\nPragma: no-cache\r\n"
                       "Cache-Control: no-cache\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\n";
    // Real pages are longer than 220 bytes; so is this one.
    const std::size_t shortBy =
        240 > head.size() + body.size() + 20 ? 240 - head.size() - body.size() - 20 : 0;
    head += "X-Camsim-Pad: " + std::string(shortBy, '-') + "\r\n\r\n";
    std::string answer = head + body;
    if (dropHalf)
        answer.resize(head.size() + body.size() / 2);
    sendAll(s.conn, answer);
}

// ---- image configuration page of the repeated-request cameras ----

// "/cgi-bin/image_cfg.cgi": the settings as a parameter list, one "name=value" per line. Only
// brightness, contrast and hue are on it (and a saturation that the control does not read).
void serveImageCfg(Session& s, const Request&)
{
    s.state.stats.settingsRequests++;
    const auto v = s.state.imageSettings();
    const std::string body = "[image]\r\nBrightness=" + std::to_string(v[3]) +
                             "\r\nContrast=" + std::to_string(v[4]) + "\r\nHue=" + std::to_string(v[5]) +
                             "\r\nSaturation=10\r\n";
    sendAll(s.conn, "HTTP/1.0 200 OK\r\nServer: camsim\r\nContent-Type: text/plain\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n" + body);
}

// ---- routes ----

struct Route
{
    std::function<bool(const CameraState&, std::string_view target)> matches;
    std::function<void(Session&, const Request&)> serve;
};

bool isNumberedCgi(std::string_view target)
{
    // "/" + decimal digits + ".cgi"
    if (target.size() < 6 || target.front() != '/' || !target.ends_with(".cgi"))
        return false;
    const std::string_view digits = target.substr(1, target.size() - 5);
    return !digits.empty() &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The camera's pages. A new stream (the audio stream, for one) is one more entry.
const std::vector<Route>& routes()
{
    static const std::vector<Route> table = {
        {[](const CameraState&, std::string_view t) { return t == "/VIDEO.CGI"; },
         [](Session& s, const Request& r) { servePush(s, r, PushKind::Plain); }},
        {[](const CameraState&, std::string_view t) { return t == "/mjpeg.cgi"; },
         [](Session& s, const Request& r) { servePush(s, r, PushKind::PanTilt); }},
        {[](const CameraState&, std::string_view t) { return isNumberedCgi(t); },
         [](Session& s, const Request& r) { servePush(s, r, PushKind::Plain); }},
        {[](const CameraState& st, std::string_view t) { return t == st.multipartPath(); },
         [](Session& s, const Request&) { serveMultipart(s); }},
        {[](const CameraState&, std::string_view t) { return t == "/cgi-bin/image_cfg.cgi"; }, serveImageCfg},
        {[](const CameraState&, std::string_view t) {
             const SoundOptions o = soundSource().options();
             return o.enabled && t == o.path;
         },
         [](Session& s, const Request&) { serveSound(s); }},
    };
    return table;
}

} // namespace

void serveHttp(CameraState& state, FrameSource& frames, const std::shared_ptr<Connection>& conn)
{
    Session s(state, frames, conn);
    while (s.queue.empty()) {
        if (!s.collectRequests()) {
            sendSimple(s, "400 Bad Request", "");
            return;
        }
        if (s.queue.empty() && !s.receive(kIdleWait))
            return;
    }
    if (!frames.waitWhileStalled(s.conn))
        return;
    const Request req = s.queue.front();
    const bool loginOk = authorised(state, req);
    if (!loginOk)
        state.stats.authFailures++;
    if (req.method == "GET" || (req.method == "POST" && configPageTakesBody(req.target)) ||
        req.target.rfind("/IOCONTROL.CGI?", 0) == 0) {
        // The configuration pages; a POST's body ends with an empty line, or is the whole
        // 8192-byte block image.
        std::string body;
        if (req.method == "POST" && configPageTakesBody(req.target)) {
            const bool image = req.target == "/CONFIG.CGI";
            body = s.takeBodyUntil(
                image ? kConfigImageSize : 4096, std::chrono::milliseconds(image ? 3000 : 500),
                [image](std::string_view b) {
                    return image ? b.size() >= kConfigImageSize : b.find("\r\n\r\n") != b.npos;
                });
        }
        if (auto page = configPageAnswer(state, req.method, req.target, body, loginOk)) {
            sendAll(s.conn, *page);
            return;
        }
    }
    // Any other POST carries a Content-Length and its body.
    std::string body;
    if (req.method == "POST") {
        constexpr std::size_t kMaxBody = 64u << 20;
        const std::string length = req.header("content-length");
        std::size_t size = 0;
        const auto [end, ec] = std::from_chars(length.data(), length.data() + length.size(), size);
        if (ec != std::errc() || end != length.data() + length.size() || size > kMaxBody ||
            !s.takeBody(size, &body)) {
            sendSimple(s, "400 Bad Request", "");
            return;
        }
    }
    if (auto a = webConfigAnswer(state, req.method, req.target, req.header("authorization"), body, loginOk)) {
        sendAll(s.conn, *a);
        return;
    }
    if (auto a = kestraHttpAnswer(state, req.method, req.target, req.header("content-type"), body, loginOk)) {
        sendAll(s.conn, *a);
        return;
    }
    if (req.method != "GET") {
        sendSimple(s, "405 Method Not Allowed", "");
        return;
    }
    if (req.target == "/IOCONTROL.CGI?CGIQUaere=Image") {
        s.queue.erase(s.queue.begin());
        serveIoControl(s, req, loginOk);
        return;
    }
    if (auto page = discoveryPage(state, req.target)) {
        // The multipart family tells who it is to anyone: the probe asks before any login.
        if (!loginOk && state.identity.family != Family::Multipart) {
            sendSimple(s, "401 Unauthorized", "<html><body>401 Unauthorized</body></html>\r\n");
            return;
        }
        state.recordRequest(req.head);
        sendAll(s.conn, *page);
        return;
    }
    for (const Route& route : routes()) {
        if (!route.matches(state, req.target))
            continue;
        if (!loginOk) {
            sendSimple(s, "401 Unauthorized", "<html><body>401 Unauthorized</body></html>\r\n");
            return;
        }
        if (req.target != state.multipartPath() && state.peekMalformed() == Malformed::Busy &&
            state.takeMalformed() == Malformed::Busy) {
            sendSimple(s, "503 Service Unavailable", "");
            return;
        }
        route.serve(s, req);
        return;
    }
    sendSimple(s, "404 Not Found", "");
}

} // namespace camsim
