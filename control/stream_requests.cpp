#include "control/stream_requests.h"

#include "control/cimage.h"

#include <algorithm>

namespace tessivor {

bool proxyInUse(const CImage& c)
{
    // The proxy switch counts only when it holds exactly 1 (a host that stores the automation
    // "true", -1, connects directly); a local camera with the bypass set never uses it.
    return c.m_bEnableProxy.load() == 1 && !(c.m_bLocalCamera.load() != 0 && c.m_bBypassProxy.load() != 0);
}

std::string requestStart(const CImage& c, const std::string& path, bool mayUseProxy)
{
    if (!mayUseProxy || !proxyInUse(c))
        return "GET " + path + " HTTP/1.0\r\n";
    return "GET HTTP://" + c.m_szRemoteHost.str() + ":" + std::to_string(c.m_nRemotePort.load()) + path +
           " HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\nHost: " + c.m_szRemoteHost.str() + "\r\n";
}

// A host may put the user name or the password meanwhile: both are read as one text.
std::pair<std::string, std::string> credentials(const CImage& c)
{
    const std::string text = c.CredentialText();
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
