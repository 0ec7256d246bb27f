#include "control/stream_requests.h"

#include "control/control_settings.h"

#include <algorithm>

namespace tessivor {

std::string requestStart(const ConnectionSettings& conn, const std::string& path, bool mayUseProxy,
                         std::string_view method)
{
    const std::string verb(method);
    if (!mayUseProxy || !conn.proxyInUse())
        return verb + " " + path + " HTTP/1.0\r\n";
    return verb + " HTTP://" + conn.m_szRemoteHost.str() + ":" + std::to_string(conn.m_nRemotePort) + path +
           " HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\nHost: " + conn.m_szRemoteHost.str() + "\r\n";
}

// A host may put the user name or the password meanwhile: both are read as one text.
std::pair<std::string, std::string> credentials(const std::string& text)
{
    const auto colon = text.find(':');
    return {text.substr(0, colon), colon == std::string::npos ? std::string() : text.substr(colon + 1)};
}

// A text that goes into a request line or header must not be able to end that line early: a
// request with such a host, user name, path or stored credential is not sent at all.
bool fitsInLine(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Extra wait before the next request, from the unanswered count n and the time t (ms) from an
// answer head to the end of its frame: the requests are spread so that the answers arrive back
// to back without piling up in the camera.
std::int64_t extraDelay(int n, std::int64_t t)
{
    if (n < 5)
        return t > 9 ? (n - 4) * t : 10 * n - 40;
    if (n <= 8)
        return t > 9 ? 2 * (n - 4) * t : 10 * n - 40;
    if (n <= 10)
        return (n - 8) * std::max<std::int64_t>(t, 30);
    return static_cast<std::int64_t>(n - 10) * (n - 10) * std::max<std::int64_t>(t, 1000);
}

} // namespace tessivor
