// The Kestra family's side of the simulated camera, and the pan/tilt and firmware pages.
//
// Command port (--kestra-port): one 128-byte request per connection, answered with one 128-byte
// reply ("Brevantine", answer word 81 at 16, data length at 20, data from 24) or, for the site
// survey (95), one 2000-byte block. The status (83) carries the name, MAC, address and the
// pan/tilt and wireless bytes; 45 checks a user, 46 changes the password; 16 and 18 store a value
// that a later read of the same number returns. "kestra-break KIND" breaks the answers on
// purpose (see KestraBreak).
//
// Web side of a --family kestra camera: "/getPort.asp" (answered 404 with its body, as the
// family does), the login form (302 to "/index.asp", or to "/error.asp" when refused) that opens
// a cookie session, audio-on and logout with that cookie, the host-name page, the pan/tilt
// direction form, the multipart firmware upload and its follow-up pages. Every camera takes the
// "/pantiltcontrol.cgi" POSTs and the octet firmware upload ("/goform/upload") with Basic
// credentials. Every request and command goes to the request log.
#include "camera.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace camsim {

namespace {

constexpr std::string_view kWord = "Brevantine";
constexpr std::size_t kPacket = 128;
constexpr std::size_t kSurveySize = 2000;
constexpr std::size_t kSurveyEntry = 59;
constexpr std::uint32_t kDone = 81;
constexpr std::size_t kLoggedBody = 512;

void putU32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t getU32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string hex(const std::uint8_t* p, std::size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

// A text field of a request packet: up to its first zero byte.
std::string field(const std::uint8_t* p, std::size_t size)
{
    const auto end = std::find(p, p + size, std::uint8_t{0});
    return std::string(p, end);
}

std::vector<std::uint8_t> reply(std::uint32_t answer, const std::string& data)
{
    std::vector<std::uint8_t> r(kPacket, 0);
    std::copy(kWord.begin(), kWord.end(), r.begin());
    putU32(&r[16], answer);
    const std::size_t n = std::min<std::size_t>(data.size(), kPacket - 24);
    putU32(&r[20], static_cast<std::uint32_t>(n));
    std::copy_n(data.begin(), n, r.begin() + 24);
    return r;
}

std::string statusData(const CameraState& st)
{
    std::string d(82, '\0');
    std::copy_n(st.identity.name.begin(), std::min<std::size_t>(st.identity.name.size(), 15), d.begin());
    const auto mac = st.mac();
    std::copy(mac.begin(), mac.end(), d.begin() + 32);
    std::copy(st.identity.ip.begin(), st.identity.ip.end(), d.begin() + 38);
    d[80] = st.kestra.panTilt.load() ? 1 : 0;
    d[81] = st.identity.wireless ? 1 : 0;
    return d;
}

// `claimed` entries announced, `carried` of them filled in.
std::vector<std::uint8_t> survey(std::uint32_t claimed, std::size_t carried, bool word)
{
    std::vector<std::uint8_t> r(kSurveySize, 0);
    if (word)
        std::copy(kWord.begin(), kWord.end(), r.begin());
    putU32(&r[16], claimed);
    carried = std::min(carried, (kSurveySize - 20) / kSurveyEntry);
    for (std::size_t i = 0; i < carried; ++i) {
        std::uint8_t* e = &r[20 + i * kSurveyEntry];
        putU32(e, 0x57AB0000u + static_cast<std::uint32_t>(i));
        const std::string bssid = "00:11:22:33:44:" + std::to_string(10 + i);
        std::copy_n(bssid.begin(), std::min<std::size_t>(bssid.size(), 17), e + 4);
        const std::string ssid = "camsim-ap-" + std::to_string(i);
        std::copy(ssid.begin(), ssid.end(), e + 22);
        e[55] = static_cast<std::uint8_t>(1 + i % 13);
        e[56] = static_cast<std::uint8_t>(i % 3);
        e[57] = static_cast<std::uint8_t>(90 - i);
        e[58] = static_cast<std::uint8_t>(i % 2);
    }
    return r;
}

// The answer data of a command; false when the camera refuses it.
bool commandData(CameraState& st, std::uint32_t command, const std::uint8_t* packet, std::string* data)
{
    switch (command) {
    case 83:
        *data = statusData(st);
        return true;
    case 45:
        return field(packet + 20, 64) == st.credentials().first;
    case 46: {
        auto [user, password] = st.credentials();
        if (field(packet + 20, 64) != user)
            return false;
        st.setCredentials(user, field(packet + 84, 44));
        return true;
    }
    case 16: {
        const std::uint32_t length = std::min<std::uint32_t>(getU32(packet + 20), 16);
        st.kestra.storeValue(command, std::string(packet + 24, packet + 24 + length));
        return true;
    }
    case 18:
        st.kestra.storeValue(command, field(packet + 20, 64));
        return true;
    default:
        *data = st.kestra.value(command).value_or("value-" + std::to_string(command));
        return true;
    }
}

// ---- web forms ----

std::string answer(const char* status, std::string_view body, std::string_view extraHeaders = {})
{
    return std::string("HTTP/1.0 ") + status + "\r\nServer: camsim\r\nContent-Type: text/html\r\n" +
           std::string(extraHeaders) + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           std::string(body);
}

std::string redirect(std::string_view to)
{
    return answer("302 Found", "", "Location: " + std::string(to) + "\r\n");
}

// The value of `name` in a form text "a=1&b=2" (no decoding: the control sends texts as given).
std::string formValue(std::string_view form, std::string_view name)
{
    std::size_t pos = 0;
    while (pos <= form.size()) {
        const auto amp = form.find('&', pos);
        const std::string_view pair =
            form.substr(pos, amp == std::string_view::npos ? std::string_view::npos : amp - pos);
        const auto eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name) {
            std::string v(pair.substr(eq + 1));
            while (!v.empty() && (v.back() == '\r' || v.back() == '\n'))
                v.pop_back();
            return v;
        }
        if (amp == std::string_view::npos)
            break;
        pos = amp + 1;
    }
    return {};
}

struct MultipartUpload
{
    std::string fileName;
    std::string file;
    std::string cookie;
    bool upload = false;
};

// The three parts of the firmware form; nullopt when the body is not a whole multipart body of
// the given boundary.
std::optional<MultipartUpload> parseUpload(std::string_view contentType, std::string_view body)
{
    const auto at = contentType.find("boundary=");
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::string b = "--" + std::string(contentType.substr(at + 9));
    if (body.substr(0, b.size() + 2) != b + "\r\n")
        return std::nullopt;
    const std::string closing = "\r\n" + b + "--\r\n";
    if (body.size() < closing.size() || body.substr(body.size() - closing.size()) != closing)
        return std::nullopt;
    MultipartUpload u;
    std::size_t pos = b.size() + 2;
    const std::string delimiter = "\r\n" + b;
    while (pos < body.size()) {
        const auto headEnd = body.find("\r\n\r\n", pos);
        if (headEnd == std::string_view::npos)
            return std::nullopt;
        const std::string_view head = body.substr(pos, headEnd - pos);
        const auto end = body.find(delimiter, headEnd + 4);
        if (end == std::string_view::npos)
            return std::nullopt;
        const std::string_view content = body.substr(headEnd + 4, end - headEnd - 4);
        if (head.find("name=\"filename\"") != std::string_view::npos) {
            const auto fn = head.find("filename=\"", head.find("name=\"filename\"") + 15);
            if (fn != std::string_view::npos)
                u.fileName = std::string(head.substr(fn + 10, head.find('"', fn + 10) - fn - 10));
            u.file = std::string(content);
        } else if (head.find("name=\"B1\"") != std::string_view::npos) {
            u.upload = content == "Upload";
        } else if (head.find("name=\"f_CookieValue\"") != std::string_view::npos) {
            u.cookie = std::string(content);
        }
        pos = end + delimiter.size();
        if (body.substr(pos, 2) == "--")
            break;
        pos += 2; // CR LF after the delimiter
    }
    return u;
}

void saveUpload(const CameraState& st, const std::string& bytes)
{
    const std::string path = st.kestra.uploadFile();
    if (path.empty())
        return;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> kestraPage(CameraState& st, std::string_view method, std::string_view path,
                                      std::string_view query, std::string_view contentType,
                                      std::string_view body)
{
    if (method == "GET" && path == "/getPort.asp") {
        return answer("404 Not Found", "MD-CONTROL-PORT=6000@MD-STREAM-PORT=6001@IPV-SERVER-PORT=" +
                                           std::to_string(st.kestra.commandPort.load()) +
                                           "@VERSION=2.10.0101.2026@");
    }
    if (method == "POST" && path == "/goform/formLogin") {
        const auto [user, password] = st.credentials();
        const std::string cookie = formValue(body, "f_CookieValue");
        if (formValue(body, "f_LOGIN") != user || cookie != password || cookie.empty()) {
            st.stats.loginsRefused++;
            return redirect("/error.asp");
        }
        st.stats.loginsAccepted++;
        st.kestra.openSession(cookie);
        return redirect("/index.asp");
    }
    if (method == "POST" && path == "/goform/Play_Audio_On")
        return redirect(st.kestra.hasSession(formValue(body, "f_CookieValue")) ? "/index.asp" : "/error.asp");
    if (method == "GET" && path == "/goform/formLogout") {
        st.kestra.closeSession(formValue(query, "f_CookieValue"));
        return answer("200 OK", "<html><body>logged out</body></html>\r\n");
    }
    if (method == "GET" && path == "/web/advanced/adv_video_image.asp") {
        return answer("200 OK",
                      "<html><body><form><input type=\"text\" name=\"f_WIS_LOCATION\" size=\"20\" value=\"" +
                          st.identity.location + "\"></form></body></html>\r\n");
    }
    if (method == "GET" && path == "/goform/CfgPT_Direction")
        return answer("200 OK", "<html><body>ok</body></html>\r\n");
    if (method == "POST" && contentType.rfind("multipart/form-data", 0) == 0) {
        const auto upload = parseUpload(contentType, body);
        if (!upload || !upload->upload || !st.kestra.hasSession(upload->cookie)) {
            st.logRequest("UPLOAD refused");
            return answer("200 OK", "<html><body>upload failed</body></html>\r\n");
        }
        saveUpload(st, upload->file);
        st.logRequest("UPLOAD multipart bytes=" + std::to_string(upload->file.size()) +
                      " name=" + upload->fileName);
        return redirect("/web/maintenance/mt_fw_upload.asp");
    }
    if (method == "GET" && (path == "/web/maintenance/mt_fw_upload.asp" || path == "/web/login.asp"))
        return answer("200 OK", "<html><body>page</body></html>\r\n");
    if (method == "POST" && path == "/goform/CfgWriteFlashOK")
        return answer("200 OK", "<html><body>restarting</body></html>\r\n");
    return std::nullopt;
}

} // namespace

std::optional<KestraBreak> kestraBreakFromName(std::string_view name)
{
    static const std::pair<std::string_view, KestraBreak> names[] = {
        {"off", KestraBreak::None},
        {"short", KestraBreak::Short},
        {"badword", KestraBreak::BadWord},
        {"notdone", KestraBreak::NotDone},
        {"hugelength", KestraBreak::HugeLength},
        {"surveymany", KestraBreak::SurveyMany},
        {"surveycut", KestraBreak::SurveyCut},
        {"surveynoword", KestraBreak::SurveyNoWord},
        {"silent", KestraBreak::Silent},
    };
    for (const auto& [n, k] : names)
        if (n == name)
            return k;
    return std::nullopt;
}

void KestraSide::setBreak(KestraBreak kind)
{
    std::lock_guard lock(m_mutex);
    m_break = kind;
}

KestraBreak KestraSide::peekBreak() const
{
    std::lock_guard lock(m_mutex);
    return m_break;
}

void KestraSide::storeValue(std::uint32_t command, std::string value)
{
    std::lock_guard lock(m_mutex);
    m_values[command] = std::move(value);
}

std::optional<std::string> KestraSide::value(std::uint32_t command) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_values.find(command);
    if (it == m_values.end())
        return std::nullopt;
    return it->second;
}

void KestraSide::openSession(std::string cookie)
{
    std::lock_guard lock(m_mutex);
    m_sessions.insert(std::move(cookie));
}

bool KestraSide::hasSession(const std::string& cookie) const
{
    std::lock_guard lock(m_mutex);
    return m_sessions.count(cookie) != 0;
}

void KestraSide::closeSession(const std::string& cookie)
{
    std::lock_guard lock(m_mutex);
    m_sessions.erase(cookie);
}

void KestraSide::setUploadFile(std::string path)
{
    std::lock_guard lock(m_mutex);
    m_uploadFile = std::move(path);
}

std::string KestraSide::uploadFile() const
{
    std::lock_guard lock(m_mutex);
    return m_uploadFile;
}

void serveKestraCommand(CameraState& state, FrameSource& /*frames*/, const std::shared_ptr<Connection>& conn)
{
    std::uint8_t packet[kPacket];
    if (!recvExact(*conn, packet, sizeof packet, std::chrono::seconds(5)))
        return;
    state.logRequest("KESTRA " + hex(packet, sizeof packet));
    const KestraBreak bad = state.kestra.peekBreak();
    if (bad == KestraBreak::Silent) {
        waitReadable(*conn, std::chrono::seconds(30)); // until the client gives up
        return;
    }
    const std::uint32_t command = getU32(packet + 16);
    if (command == 95) {
        const std::size_t n = static_cast<std::size_t>(std::max(state.kestra.surveyEntries.load(), 0));
        std::vector<std::uint8_t> s;
        if (bad == KestraBreak::SurveyMany) {
            s = survey(40, 40, true); // 33 whole entries fit into the block
        } else if (bad == KestraBreak::SurveyCut) {
            s = survey(10, 3, true);
            s.resize(20 + 3 * kSurveyEntry + 20); // three whole entries and part of a fourth
        } else {
            s = survey(static_cast<std::uint32_t>(n), n, bad != KestraBreak::SurveyNoWord);
        }
        sendAll(*conn, s.data(), s.size());
        return;
    }
    const bool wordOk = std::equal(kWord.begin(), kWord.end(), packet);
    std::string data;
    const bool done = wordOk && commandData(state, command, packet, &data);
    std::vector<std::uint8_t> r = reply(done ? kDone : 0, data);
    switch (bad) {
    case KestraBreak::BadWord:
        std::fill_n(r.begin(), kWord.size(), 'X');
        break;
    case KestraBreak::NotDone:
        putU32(&r[16], 80);
        break;
    case KestraBreak::HugeLength:
        putU32(&r[20], 0xFFFFFFFFu);
        break;
    case KestraBreak::Short:
        r.resize(60);
        break;
    default:
        break;
    }
    sendAll(*conn, r.data(), r.size());
}

std::optional<std::string> kestraHttpAnswer(CameraState& state, std::string_view method,
                                            std::string_view target, std::string_view contentType,
                                            std::string_view body, bool authorised)
{
    const auto q = target.find('?');
    const std::string_view path = target.substr(0, q);
    const std::string_view query = q == std::string_view::npos ? std::string_view() : target.substr(q + 1);
    std::string line = std::string(method) + " " + std::string(target);
    if (method == "POST" && contentType.rfind("multipart/", 0) != 0 &&
        contentType != "application/octet-stream") {
        // One line per request: the line ends that close a body are dropped, inner ones shown.
        std::string_view shown = body.substr(0, kLoggedBody);
        while (!shown.empty() && (shown.back() == '\r' || shown.back() == '\n'))
            shown.remove_suffix(1);
        line += " BODY ";
        for (const char c : shown)
            line += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    }

    std::optional<std::string> a;
    if (method == "POST" && path == "/pantiltcontrol.cgi") {
        a = authorised ? answer("200 OK", "") : answer("401 Unauthorized", "");
    } else if (method == "POST" && path == "/goform/upload" && contentType == "application/octet-stream") {
        if (authorised) {
            saveUpload(state, std::string(body));
            state.logRequest("UPLOAD octet bytes=" + std::to_string(body.size()));
            a = answer("200 OK", "<html><body>ok</body></html>\r\n");
        } else {
            a = answer("401 Unauthorized", "");
        }
    } else if (state.identity.family == Family::Kestra) {
        a = kestraPage(state, method, path, query, contentType, body);
    }
    if (a) {
        state.logRequest(line);
        state.recordRequest(line);
    }
    return a;
}

} // namespace camsim
