// Reading the camera's seven image settings (resolution, compression, frame rate, brightness,
// contrast, hue, light frequency) in the way its Protocol asks for:
//
//   Protocol 0  the image-settings datagram (camproto/image_settings.h).
//   Protocol 1  the I/O-control page (its value line parsed by camproto/image_settings.h), read
//               here through the proxy rule and the credentials of the control. Four attempts.
//   Protocol 4  the configuration page "/cgi-bin/image_cfg.cgi" through the HTTP engine.
//
// A reader writes only the values it has read; the others keep what the caller's variables held.
// An answer that is shorter than its form, or a value that does not fit 16 bits, is a failed
// attempt and never yields a value.
#include "camproto/image_settings.h"
#include "control/cimage.h"
#include "control/stream_io.h"
#include "control/stream_parsers.h"
#include "control/stream_requests.h"
#include "platform/trace.h"

#include <cstring>
#include <string>

namespace tessivor {

namespace {

constexpr int kPageAttempts = 4;
constexpr std::size_t kPageLeast = 220;  // the page is read until at least this much has come
constexpr std::size_t kPageLimit = 4096; // and never beyond this
constexpr std::size_t kPagePiece = 400;

// The never-stopping flag for reads that have no stop request of their own.
const std::atomic<std::int32_t> kNeverStop{0};

} // namespace

std::array<std::int16_t, 7> CImage::ImageValues() const
{
    std::lock_guard lock(m_ImageValuesLock);
    return m_ImageValues;
}

HRESULT CImage::GetImageConfig(std::int32_t lMode, std::int16_t* siResolution, std::int16_t* siCompression,
                               std::int16_t* siFrameRate, std::int16_t* siBrightness,
                               std::int16_t* siContrast, std::int16_t* siHue, std::int16_t* siLightFreq,
                               std::int32_t* pVal)
{
    if (lMode == 0) {
        const std::int32_t result = ReadImageConfig(siResolution, siCompression, siFrameRate, siBrightness,
                                                    siContrast, siHue, siLightFreq);
        if (pVal)
            *pVal = result;
    } else if (lMode == 1) {
        if (m_Run.m_bImageConfigBusy.load() != 0)
            return S_OK; // one read at a time; pVal stays as it was
        // The flag goes up before the thread exists, so that a second call cannot start another.
        m_Run.m_bImageConfigBusy.store(1);
        const bool started = m_ImageConfigThread.start("image-config", [this] { ImageConfigThread(); });
        if (!started)
            m_Run.m_bImageConfigBusy.store(0);
        if (pVal)
            *pVal = started ? -1 : 0;
    }
    return S_OK;
}

void CImage::ImageConfigThread()
{
    m_Run.m_bImageConfigBusy.store(1);
    std::array<std::int16_t, 7> values = ImageValues();
    const int result =
        ReadImageConfig(&values[0], &values[1], &values[2], &values[3], &values[4], &values[5], &values[6]);
    {
        std::lock_guard lock(m_ImageValuesLock);
        m_ImageValues = values;
    }
    postMessage(m_hWnd, WM_ENDGETIMAGECONFIG, static_cast<std::uintptr_t>(static_cast<std::uint32_t>(result)),
                0);
    m_Run.m_bImageConfigBusy.store(0);
}

int CImage::ReadImageConfig(std::int16_t* resolution, std::int16_t* compression, std::int16_t* frameRate,
                            std::int16_t* brightness, std::int16_t* contrast, std::int16_t* hue,
                            std::int16_t* lightFrequency)
{
    const std::array<std::int16_t*, 7> values{resolution, compression, frameRate,     brightness,
                                              contrast,   hue,         lightFrequency};
    const ConnectionSettings conn = m_Connection.read();
    switch (conn.m_nProtocol) {
    case PROTOCOL_NATIVE:
        return ReadImageConfigUdp(conn, values);
    case PROTOCOL_VIDEO_CGI:
        return ReadImageConfigIoControl(conn, values);
    case PROTOCOL_MULTIPART:
        return ReadImageConfigCgiBin(values);
    default:
        return 0;
    }
}

int CImage::ReadImageConfigUdp(const ConnectionSettings& conn, const std::array<std::int16_t*, 7>& values)
{
    camproto::ImageSettingsRequest request;
    request.host = conn.m_szRemoteHost.str();
    request.sequence = static_cast<std::uint16_t>(m_Search.m_nSequence.fetch_add(1) + 1);
    request.mac = conn.m_TargetMac;
    request.ip = conn.m_TargetIp;
    const auto result = camproto::readImageSettingsDatagram(m_Sockets.m_ConfigSocket, request);
    if (result.status != camproto::ImageSettingsResult::Status::Read)
        return 0;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i])
            *values[i] = result.values[i];
    return -1;
}

int CImage::ReadImageConfigIoControl(const ConnectionSettings& conn,
                                     const std::array<std::int16_t*, 7>& values)
{
    CWSClient& s = m_Sockets.m_ConfigSocket;
    const bool proxy = conn.proxyInUse();
    trace("into function\n");
    if (!fitsInLine(conn.m_szRemoteHost.str()))
        return 0; // it would end the request line early: nothing is sent
    for (int attempt = 0; attempt < kPageAttempts; ++attempt) {
        trace("into loop\n");
        s.CloseConnection();
        const int connected =
            proxy ? s.Connect(conn.m_nProxyPort, conn.m_szProxyHost.c_str(), conn.m_nConnTimeOut)
                  : s.Connect(conn.m_nRemotePort, conn.m_szRemoteHost.c_str(), conn.m_nConnTimeOut);
        if (connected != 0)
            continue;
        std::string request = requestStart(conn, std::string(camproto::kImageSettingsPagePath), true);
        request += "User-Agent: agent name\r\nAuthorization: Basic " + EncodeCredentials() + "\r\n\r\n";
        s.ClearReceiveBuffer();
        s.SendAll(request.data(), static_cast<int>(request.size()));

        // Read until the page is long enough and its value line has ended, the camera closes,
        // or a wait runs out; only the bytes received are looked at.
        std::string page;
        auto bodyLineEnded = [&page] {
            const auto body = page.find("\r\n\r\n");
            return body != std::string::npos && page.find("\r\n", body + 4) != std::string::npos;
        };
        while (page.size() < kPageLimit && (page.size() < kPageLeast || !bodyLineEnded())) {
            if (streamio::waitForData(s, 1000u * static_cast<std::uint32_t>(std::max(1, conn.m_nTimeOut)),
                                      kNeverStop) != streamio::Got::Data)
                break;
            char piece[kPagePiece];
            const int n =
                s.ReceiveDirect(piece, static_cast<int>(std::min(kPagePiece, kPageLimit - page.size())), 0);
            if (n <= 0)
                break;
            page.append(piece, static_cast<std::size_t>(n));
        }
        s.CloseConnection();
        if (page.find("Password Error") != std::string::npos) {
            trace("Point2 time out\n,Data=%s\n", page.c_str());
            return 0;
        }
        const auto bodyAt = page.find("\r\n\r\n");
        if (page.find("HTTP/1.0 200 OK\r\n") == std::string::npos || bodyAt == std::string::npos)
            continue;
        const auto parsed = camproto::parseImageSettingsPage(std::string_view(page).substr(bodyAt + 4));
        for (std::size_t i = 0; i < values.size(); ++i)
            if (parsed.read[i] && values[i])
                *values[i] = parsed.values[i];
        if (parsed.complete) {
            trace("Out loop\n");
            return -1;
        }
    }
    trace("Out loop\n");
    return 0;
}

int CImage::ReadImageConfigCgiBin(const std::array<std::int16_t*, 7>& values)
{
    m_Http.m_szCgiPath.assign("/cgi-bin/image_cfg.cgi");
    const int result = HttpGet(1);
    if (result != -1)
        return result; // the engine's own code
    // Only brightness, contrast and hue are on this page; "Saturation" and the rest are not ours.
    static constexpr struct
    {
        std::string_view name;
        std::size_t index;
    } kNames[] = {{"Brightness", 3}, {"Contrast", 4}, {"Hue", 5}};
    for (const ParameterEntry& e : m_Http.m_Parameters) {
        if (e.isSection())
            continue;
        for (const auto& n : kNames) {
            if (e.nameView() != n.name)
                continue;
            const long long v = leadingDecimal(e.valueView());
            if (v >= -32768 && v <= 32767 && values[n.index])
                *values[n.index] = static_cast<std::int16_t>(v); // a value beyond 16 bits is refused
        }
    }
    return -1;
}

} // namespace tessivor
