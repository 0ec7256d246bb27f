// The multipart family's configuration pages (see config_camera_web.h). Written from the
// protocol's description, apart from the control's code, so that the two cannot share a mistake.
#include "config_camera_web.h"

#include "camera.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace camsim {

namespace {

// The settings pages, in the order "/cgi-bin/config.cgi" lists them: the section of each, and the
// page is "/cgi-bin/" + the section in lower case + "_cfg.cgi".
constexpr std::string_view kSections[] = {"System", "Video", "Image", "Trigger", "Network", "Upload"};

std::string lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string pagePath(std::string_view section)
{
    return "/cgi-bin/" + lower(section) + "_cfg.cgi";
}

std::optional<std::string_view> sectionOfPage(std::string_view target)
{
    for (std::string_view s : kSections)
        if (target == pagePath(s))
            return s;
    return std::nullopt;
}

std::string ok(std::string_view body)
{
    return "HTTP/1.0 200 OK\r\nServer: camsim\r\nContent-Type: text/plain\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

const std::string kUnauthorized = "HTTP/1.0 401 Unauthorized\r\nServer: camsim\r\nWWW-Authenticate: Basic "
                                  "realm=\"camsim\"\r\nContent-Length: 0\r\n\r\n";
const std::string kBadRequest = "HTTP/1.0 400 Bad Request\r\nServer: camsim\r\nContent-Length: 0\r\n\r\n";

std::optional<int> number(std::string_view text)
{
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return v;
}

// Splits `text` at `separator` into at most `count` numbers; nullopt when a piece is not one.
template <std::size_t N> std::optional<std::array<int, N>> numbers(std::string_view text, char separator)
{
    std::array<int, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        const auto cut = text.find(separator);
        if ((cut == std::string_view::npos) != (i + 1 == N))
            return std::nullopt;
        const auto n = number(text.substr(0, cut));
        if (!n)
            return std::nullopt;
        out[i] = *n;
        if (cut != std::string_view::npos)
            text.remove_prefix(cut + 1);
    }
    return out;
}

// A body of "[Section]" and "name=value" pieces separated by CR LF (the last one may lack it).
struct Line
{
    std::string section; // the section the line is in, without brackets
    std::string name;
    std::string value;
};

std::vector<Line> parseBody(std::string_view body)
{
    std::vector<Line> out;
    std::string section;
    while (!body.empty()) {
        const auto cut = body.find("\r\n");
        const std::string_view piece = body.substr(0, cut);
        body = cut == std::string_view::npos ? std::string_view() : body.substr(cut + 2);
        if (piece.starts_with("[")) {
            const auto close = piece.find(']');
            section = std::string(piece.substr(1, close == std::string_view::npos ? piece.npos : close - 1));
            continue;
        }
        const auto eq = piece.find('=');
        if (eq == std::string_view::npos || eq == 0)
            continue;
        out.push_back({section, std::string(piece.substr(0, eq)), std::string(piece.substr(eq + 1))});
    }
    return out;
}

// The entries of a section as the camera shows them, the live ones included.
std::vector<std::pair<std::string, std::string>> shownEntries(CameraState& st, std::string_view section)
{
    std::vector<std::pair<std::string, std::string>> out;
    const auto s = st.imageSettings();
    char text[64];
    if (section == "System") {
        const auto c = st.config.clock();
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", c[6], c[4], c[3]);
        out.emplace_back("Date", text);
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", c[2], c[1], c[0]);
        out.emplace_back("Time", text);
    } else if (section == "Video") {
        out = {{"Resolution", std::to_string(s[0])},
               {"Compression", std::to_string(s[1])},
               {"FrameRate", std::to_string(s[2])},
               {"LightFrequency", std::to_string(s[6])}};
    } else if (section == "Image") {
        out = {{"Brightness", std::to_string(s[3])},
               {"Contrast", std::to_string(s[4])},
               {"Hue", std::to_string(s[5])}};
    } else if (section == "Trigger") {
        const auto o = st.config.outputs();
        out = {{"Output1", std::to_string(o[0])}, {"Output2", std::to_string(o[1])}};
    } else if (section == "Network") {
        // The camera's address is its command line's: shown, not changed by the page.
        const Identity& id = st.identity;
        auto dotted = [](const std::array<std::uint8_t, 4>& a) {
            return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
                   std::to_string(a[3]);
        };
        out = {{"IPAddress", dotted(id.ip)},
               {"SubnetMask", dotted(id.mask)},
               {"Gateway", dotted(id.gateway)},
               {"WebPort", std::to_string(id.webPort)}};
    }
    for (auto& e : st.web.entries(std::string(section)))
        out.push_back(std::move(e));
    return out;
}

std::string renderSection(CameraState& st, std::string_view section)
{
    std::string out = "[" + std::string(section) + "]\r\n";
    for (const auto& [name, value] : shownEntries(st, section))
        out += name + "=" + value + "\r\n";
    return out;
}

// Takes one entry of a page's section; false when the camera has no such entry or the value does
// not fit it (the rest of the body is still taken).
bool applyEntry(CameraState& st, std::string_view section, const std::string& name, const std::string& value)
{
    auto s = st.imageSettings();
    const auto n = number(value);
    auto setting = [&](std::size_t index) {
        if (!n || *n < -32768 || *n > 32767)
            return false;
        s[index] = static_cast<std::int16_t>(*n);
        st.setImageSettings(s);
        return true;
    };
    if (section == "System" && (name == "Date" || name == "Time")) {
        const auto v = numbers<3>(value, name == "Date" ? '-' : ':');
        if (!v)
            return false;
        auto c = st.config.clock();
        if (name == "Date") {
            c[6] = static_cast<std::int16_t>((*v)[0]);
            c[4] = static_cast<std::int16_t>((*v)[1]);
            c[3] = static_cast<std::int16_t>((*v)[2]);
        } else {
            c[2] = static_cast<std::int16_t>((*v)[0]);
            c[1] = static_cast<std::int16_t>((*v)[1]);
            c[0] = static_cast<std::int16_t>((*v)[2]);
        }
        st.config.setClock(c);
        return true;
    }
    static constexpr struct
    {
        std::string_view section, name;
        std::size_t index;
    } kSettings[] = {{"Video", "Resolution", 0}, {"Video", "Compression", 1},
                     {"Video", "FrameRate", 2},  {"Video", "LightFrequency", 6},
                     {"Image", "Brightness", 3}, {"Image", "Contrast", 4},
                     {"Image", "Hue", 5}};
    for (const auto& k : kSettings)
        if (k.section == section && k.name == name)
            return setting(k.index);
    if (section == "Trigger" && (name == "Output1" || name == "Output2"))
        return n && st.config.setOutput(name.back() - '0', *n);
    return st.web.setValue(std::string(section), name, value);
}

std::optional<WebConfigStore::User> credentialsOf(std::string_view authorization)
{
    if (!authorization.starts_with("Basic "))
        return std::nullopt;
    const auto decoded = decodeBase64(authorization.substr(6));
    if (!decoded)
        return std::nullopt;
    const auto colon = decoded->find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    return WebConfigStore::User{decoded->substr(0, colon), decoded->substr(colon + 1), 0};
}

// What the request's credentials allow: 0 nothing, 1 a user, 2 an administrator.
int accessOf(CameraState& st, std::string_view authorization)
{
    const auto given = credentialsOf(authorization);
    if (!given)
        return 0;
    const auto [user, password] = st.credentials();
    if (given->name == user && given->password == password)
        return 2;
    const auto added = st.web.user(given->name);
    if (!added || added->password != given->password)
        return 0;
    return added->access == 1 ? 2 : 1;
}

} // namespace

WebConfigStore::WebConfigStore()
{
    reset();
}

void WebConfigStore::reset()
{
    std::lock_guard g(m_mutex);
    m_values = {
        {"System", {{"DeviceName", "camsim"}, {"TimeZone", "0"}}},
        {"Image", {{"Saturation", "10"}}},
        {"Network", {{"DHCP", "0"}}},
        {"Upload", {{"FtpServer", ""}, {"FtpPort", "21"}, {"FtpUser", ""}, {"Interval", "60"}}},
    };
    m_users.clear();
}

std::optional<std::string> WebConfigStore::value(const std::string& section, const std::string& name) const
{
    std::lock_guard g(m_mutex);
    const auto s = m_values.find(section);
    if (s == m_values.end())
        return std::nullopt;
    for (const auto& [n, v] : s->second)
        if (n == name)
            return v;
    return std::nullopt;
}

bool WebConfigStore::setValue(const std::string& section, const std::string& name, const std::string& value)
{
    std::lock_guard g(m_mutex);
    const auto s = m_values.find(section);
    if (s == m_values.end())
        return false;
    for (auto& [n, v] : s->second) {
        if (n == name) {
            v = value;
            return true;
        }
    }
    return false;
}

std::vector<std::pair<std::string, std::string>> WebConfigStore::entries(const std::string& section) const
{
    std::lock_guard g(m_mutex);
    const auto s = m_values.find(section);
    return s == m_values.end() ? std::vector<std::pair<std::string, std::string>>{} : s->second;
}

void WebConfigStore::putUser(const std::string& name, std::optional<std::string> password,
                             std::optional<int> access)
{
    std::lock_guard g(m_mutex);
    auto it = std::find_if(m_users.begin(), m_users.end(), [&](const User& u) { return u.name == name; });
    if (it == m_users.end())
        it = m_users.insert(m_users.end(), User{name, {}, 0});
    if (password)
        it->password = *password;
    if (access)
        it->access = *access;
}

std::optional<WebConfigStore::User> WebConfigStore::user(const std::string& name) const
{
    std::lock_guard g(m_mutex);
    for (const User& u : m_users)
        if (u.name == name)
            return u;
    return std::nullopt;
}

std::vector<WebConfigStore::User> WebConfigStore::users() const
{
    std::lock_guard g(m_mutex);
    return m_users;
}

void WebConfigStore::countPost(const std::string& page)
{
    std::lock_guard g(m_mutex);
    ++m_posts[page];
}

std::map<std::string, int> WebConfigStore::posts() const
{
    std::lock_guard g(m_mutex);
    return m_posts;
}

std::optional<std::string> webConfigAnswer(CameraState& st, std::string_view method, std::string_view target,
                                           std::string_view authorization, std::string_view body,
                                           bool loginOk)
{
    if (st.identity.family != Family::Multipart)
        return std::nullopt;
    const bool post = method == "POST";
    const auto section = sectionOfPage(target);
    const bool known = section || target == "/goform/login" || target == "/cgi-bin/config.cgi" ||
                       target == "/goform/users_cfg" || target == "/cgi-bin/reboot.cgi" ||
                       target == "/cgi-bin/default.cgi";
    if (!known)
        return std::nullopt;
    const int access = loginOk ? 2 : accessOf(st, authorization);
    if (target == "/goform/login") {
        if (post)
            return kBadRequest;
        // The login page always answers; what the credentials are good for is its content.
        const int given = accessOf(st, authorization);
        (given > 0 ? st.stats.loginsAccepted : st.stats.loginsRefused)++;
        return ok("[Login]\r\nUser=" + std::to_string(given > 0 ? 1 : 0) +
                  "\r\nAdministrator=" + std::to_string(given == 2 ? 1 : 0) + "\r\n");
    }
    if (access == 0) {
        st.stats.authFailures++;
        return kUnauthorized;
    }
    if (section) {
        if (!post)
            return ok(renderSection(st, *section));
        if (access < 2)
            return kUnauthorized;
        st.web.countPost(lower(*section));
        {
            std::lock_guard g(st.config.mutex);
            st.config.lastBody = std::string(body);
        }
        for (const Line& l : parseBody(body))
            if (lower(l.section) == lower(*section))
                applyEntry(st, *section, l.name, l.value);
        return ok("OK\r\n");
    }
    if (target == "/cgi-bin/config.cgi") {
        std::string all;
        for (std::string_view s : kSections)
            all += renderSection(st, s);
        return ok(all);
    }
    if (target == "/goform/users_cfg") {
        if (!post)
            return kBadRequest;
        if (access < 2)
            return kUnauthorized;
        const auto lines = parseBody(body);
        if (lines.empty())
            return kBadRequest;
        for (const Line& l : lines) {
            if (lower(l.section) == "access") {
                const auto n = number(l.value);
                if (!n)
                    return kBadRequest;
                st.web.putUser(l.name, std::nullopt, *n);
            } else if (lower(l.section) == "password") {
                st.web.putUser(l.name, l.value, std::nullopt);
            }
        }
        return ok("OK\r\n");
    }
    if (access < 2)
        return kUnauthorized;
    std::lock_guard g(st.config.mutex);
    if (target == "/cgi-bin/reboot.cgi") {
        st.config.reboots++;
    } else {
        st.config.factoryResets++;
        st.web.reset();
    }
    return ok("OK\r\n");
}

std::optional<std::string> webConfigCommand(CameraState& st, const std::vector<std::string_view>& words)
{
    const std::string_view verb = words[0];
    if (verb == "web-value") {
        if (words.size() != 3)
            return "error web-value SECTION NAME";
        for (const auto& [name, value] : shownEntries(st, words[1]))
            if (name == words[2])
                return "ok " + value;
        return "error no such entry";
    }
    if (verb == "web-users") {
        std::string out = "ok";
        for (const auto& u : st.web.users())
            out += " " + u.name + ":" + u.password + ":" + std::to_string(u.access);
        return out;
    }
    if (verb == "web-posts") {
        std::string out = "ok";
        for (const auto& [page, count] : st.web.posts())
            out += " " + page + "=" + std::to_string(count);
        return out;
    }
    return std::nullopt;
}

} // namespace camsim
