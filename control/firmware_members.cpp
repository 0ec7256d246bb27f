// Firmware upload: the download request of native cameras, the TFTP write (our own client in
// camproto/tftp_client.h), and the HTTP uploads that UpdateFirmware runs on the firmware thread:
// a multipart form for Kestra cameras (then the flash-and-restart requests) and a raw octet
// stream for Protocol 4 cameras.
//
// The HTTP upload runs while m_bEndRun holds FirmwareUpload; Stop (which stores StopRequested)
// ends the sending after the piece in flight. Every way out of the upload closes the file and
// the socket and leaves m_bEndRun at StopRequested, and the outcome in longErrCode. The host
// polls UpdataP meanwhile. The destructor raises m_bFirmwareStop and closes the socket, which
// ends any wait or pause of the thread at once.
#include "control/cimage.h"

#include "camproto/discovery_exchange.h"
#include "camproto/firmware_upload.h"
#include "camproto/tftp_client.h"
#include "control/stream_requests.h"
#include "io/win_file.h"
#include "platform/clock.h"

#include <algorithm>
#include <array>
#include <functional>

namespace tessivor {

namespace {

// longErrCode values of the uploads.
constexpr std::int32_t kErrNoFile = 1;
constexpr std::int32_t kErrSocket = 12;
constexpr std::int32_t kErrNotSent = 14;
constexpr std::int32_t kErrNoReply = 15;
constexpr std::int32_t kErrNoConnection = 22;
constexpr std::int32_t kErrStopped = 26;

constexpr int kDownloadTries = 3;
constexpr int kDownloadWaitMs = 6000;
constexpr int kTftpWaitMs = 10000;
constexpr int kPieceSize = 1024;
constexpr int kAnswerHeadMax = 1024;
constexpr int kMultipartAnswerWaitSeconds = 200;
constexpr std::uint32_t kFlashSettleMs = 35000; // the camera checks the image before it answers
constexpr std::uint32_t kRestartPauseMs = 5000;
constexpr std::uint32_t kLoginPageMs = 3000;
constexpr std::uint32_t kPauseStepMs = 100;

} // namespace

// ---- download request and TFTP ----

HRESULT CImage::RequestDownload(std::int32_t* pVal)
{
    const ConnectionSettings conn = m_Connection.read();
    const std::uint16_t sequence = camproto::nextSequence(m_Search.m_nSequence);
    camproto::Mac mac{};
    std::copy(conn.m_TargetMac.begin(), conn.m_TargetMac.end(), mac.begin());
    camproto::IPv4 ip{};
    std::copy(conn.m_TargetIp.begin(), conn.m_TargetIp.end(), ip.begin());
    const auto request = camproto::buildRequestDownload(sequence, mac, ip);

    camproto::ExchangeRequest x;
    x.host = conn.m_szRemoteHost.str();
    x.port = camproto::kDiscoveryPort;
    x.datagram.assign(request.begin(), request.end());
    x.replyCapacity = camproto::kRequestDownloadSize;
    x.tries = kDownloadTries;
    x.waitMs = kDownloadWaitMs;
    std::uint16_t result = 0;
    const camproto::ExchangeResult e =
        camproto::exchangeDatagram(x, [&](std::span<const std::uint8_t> d, std::size_t received) {
            const auto word =
                camproto::requestDownloadResult(d.first(std::min(received, d.size())), sequence, mac);
            if (!word)
                return camproto::Verdict::Refuse; // another camera's or another request's reply
            result = *word;
            return camproto::Verdict::Take;
        });
    switch (e.status) {
    case camproto::ExchangeStatus::Taken:
        *pVal = result;
        break;
    case camproto::ExchangeStatus::SocketFailed:
    case camproto::ExchangeStatus::BroadcastFailed:
        *pVal = kErrSocket;
        break;
    case camproto::ExchangeStatus::SendFailed:
        *pVal = kErrNotSent;
        break;
    case camproto::ExchangeStatus::NoReply:
    case camproto::ExchangeStatus::Stopped:
        *pVal = kErrNoReply;
        break;
    case camproto::ExchangeStatus::Refused:
        *pVal = 0;
        break;
    }
    return S_OK;
}

HRESULT CImage::TFTPServer(std::string_view sIPAdress, std::string_view sFileName, std::int32_t* pVal)
{
    *pVal = 0;
    camproto::TftpWriteOptions options; // cameras take the image under an empty name
    options.replyTimeoutMs = kTftpWaitMs;
    camproto::TftpWriteClient client;
    const camproto::TftpError e =
        client.upload(std::string(sIPAdress), camproto::kTftpPort, std::string(sFileName), options);
    switch (e) {
    case camproto::TftpError::None:
        *pVal = -1;
        break;
    case camproto::TftpError::SocketNotOpened:
        m_Http.m_lErrCode.store(kErrSocket);
        break;
    case camproto::TftpError::NotSent:
        m_Http.m_lErrCode.store(kErrNotSent);
        break;
    case camproto::TftpError::NoReply:
        m_Http.m_lErrCode.store(kErrNoReply);
        break;
    case camproto::TftpError::ServerError:
    case camproto::TftpError::FileUnreadable:
    case camproto::TftpError::Aborted:
        break;
    }
    return S_OK;
}

// ---- HTTP uploads ----

HRESULT CImage::UpdateFirmware(std::string_view sFileName, std::int32_t* pVal)
{
    *pVal = 0;
    if (m_FirmwareThread.running())
        return S_OK; // one upload at a time: the running one keeps its stop word
    CWinFile probe;
    if (sFileName.empty() || sFileName.size() >= decltype(m_Firmware.m_szFirmwareFile)::capacity ||
        probe.Open(std::string(sFileName).c_str(), CWinFile::ACCESS_READ, CWinFile::OPEN_EXISTING, 0) != 0) {
        m_Http.m_lErrCode.store(kErrNoFile);
        return S_OK;
    }
    probe.Close();
    m_Firmware.m_szFirmwareFile.assign(sFileName);
    m_Run.m_bEndRun.store(EndRun::FirmwareUpload);
    if (!m_FirmwareThread.start("firmware", [this] { FirmwareUpdateThread(); })) {
        m_Run.m_bEndRun.store(EndRun::StopRequested);
        return S_OK;
    }
    *pVal = -1;
    return S_OK;
}

HRESULT CImage::get_UpdataP(double* pVal)
{
    *pVal = m_Firmware.m_dUpdataP.load();
    return S_OK;
}

void CImage::FirmwareUpdateThread()
{
    if (m_Connection.read().m_nProtocol == PROTOCOL_MULTIPART)
        UploadFirmwareOctet();
    else
        UploadFirmwareMultipart();
    // Whatever way the upload ended: the socket is closed and the stop word is back.
    m_Firmware.m_FirmwareSocket.CloseConnection();
    m_Run.m_bEndRun.compareExchange(EndRun::FirmwareUpload, EndRun::StopRequested);
}

bool CImage::FirmwarePause(std::uint32_t ms)
{
    for (std::uint32_t slept = 0; slept < ms; slept += kPauseStepMs) {
        if (m_Firmware.m_bFirmwareStop.load() != 0)
            return false;
        sleepMs(std::min(kPauseStepMs, ms - slept));
    }
    return m_Firmware.m_bFirmwareStop.load() == 0;
}

namespace {

bool sendText(CWSClient& s, const std::string& text)
{
    return s.SendAll(text.data(), static_cast<int>(text.size())) == static_cast<int>(text.size());
}

// Sends the file in pieces while the upload may go on; the bytes sent. `progress` gets the share
// sent after each piece.
std::int64_t sendPieces(CWSClient& s, CWinFile& file, std::int32_t size, const EndRunFlag& endRun,
                        std::atomic<double>& progress)
{
    std::array<char, kPieceSize> piece{};
    std::int64_t sent = 0;
    while (sent < size && endRun.load() == EndRun::FirmwareUpload) {
        const int want = static_cast<int>(std::min<std::int64_t>(kPieceSize, size - sent));
        const std::int32_t n = file.Read(piece.data(), want);
        if (n <= 0 || s.SendAll(piece.data(), n) != n)
            break;
        sent += n;
        progress.store(static_cast<double>(sent) / static_cast<double>(size));
    }
    if (size == 0)
        progress.store(1.0);
    return sent;
}

// The part both uploads share: connect by the proxy rule, open the file, send the head that
// `headFor` makes for the file's size and then the file, close the file and give the stop word
// back. 0 when the whole file went, else the longErrCode.
std::int32_t sendUpload(CWSClient& s, const ConnectionSettings& conn, const std::string& file,
                        const std::function<std::string(std::uint64_t size)>& headFor, EndRunFlag& endRun,
                        std::atomic<double>& progress)
{
    progress.store(0.0);
    const bool proxy = conn.proxyInUse();
    const std::string host = proxy ? conn.m_szProxyHost.str() : conn.m_szRemoteHost.str();
    if (s.Connect(proxy ? conn.m_nProxyPort : conn.m_nRemotePort, host.c_str(), conn.m_nConnTimeOut) != 0)
        return kErrNoConnection;
    CWinFile f; // closed by its destructor on every way out
    if (f.Open(file.c_str(), CWinFile::ACCESS_READ, CWinFile::OPEN_EXISTING, 0) != 0 || f.Size() < 0)
        return kErrNoFile;
    const std::int32_t size = f.Size();
    if (!sendText(s, headFor(static_cast<std::uint64_t>(size))))
        return kErrNotSent;
    if (sendPieces(s, f, size, endRun, progress) < size)
        return kErrStopped;
    f.Close();
    endRun.compareExchange(EndRun::FirmwareUpload, EndRun::StopRequested);
    return 0;
}

// The request line of an upload to `path` ("/" put in front when it lacks one).
std::string uploadRequestLine(const ConnectionSettings& conn, const std::string& path)
{
    return requestStart(conn, path.empty() || path[0] != '/' ? "/" + path : path, true, "POST");
}

// The answer head, read up to its empty line, as the outcome code.
std::int32_t uploadAnswer(CWSClient& s, int waitSeconds, std::string_view accepted)
{
    std::array<char, kAnswerHeadMax> answer{};
    const int got =
        s.ReceiveUntilMarker(answer.data(), kAnswerHeadMax, waitSeconds, CWSClient::MARKER_HEADER_END);
    return static_cast<std::int32_t>(camproto::classifyUploadAnswer(
        std::string_view(answer.data(), static_cast<std::size_t>(std::max(got, 0))), accepted));
}

} // namespace

void CImage::UploadFirmwareMultipart()
{
    const ConnectionSettings conn = m_Connection.read();
    const std::string path = m_Http.m_szCgiPath.str();
    const std::string file = m_Firmware.m_szFirmwareFile.str();
    std::string cookie;
    get_Password(&cookie);
    CWSClient& s = m_Firmware.m_FirmwareSocket;
    if (!fitsInLine(path) || !fitsInLine(conn.m_szRemoteHost.str())) {
        m_Http.m_lErrCode.store(kErrNotSent);
        return;
    }
    const camproto::MultipartBody body =
        camproto::buildMultipartBody(camproto::multipartBoundary(wallNow()), file, cookie);
    const std::int32_t sent = sendUpload(
        s, conn, file,
        [&](std::uint64_t size) {
            return uploadRequestLine(conn, path) + camproto::multipartHeaderLines(body, size) + body.head;
        },
        m_Run.m_bEndRun, m_Firmware.m_dUpdataP);
    if (sent != 0) {
        m_Http.m_lErrCode.store(sent);
        return;
    }
    if (!sendText(s, body.tail)) {
        m_Http.m_lErrCode.store(kErrNotSent);
        return;
    }
    if (!FirmwarePause(kFlashSettleMs))
        return;
    const std::int32_t outcome = uploadAnswer(s, kMultipartAnswerWaitSeconds, "302");
    m_Http.m_lErrCode.store(outcome);
    if (outcome != static_cast<std::int32_t>(camproto::UploadAnswer::Accepted))
        return;
    s.CloseConnection();
    // The camera took the image: have it written to flash and restart, then reload its login page.
    m_Http.m_szCgiPath.assign("/web/maintenance/mt_fw_upload.asp");
    HttpGet(0);
    if (!FirmwarePause(kRestartPauseMs))
        return;
    HttpPostCommand("/goform/CfgWriteFlashOK", "B3=Restart&f_CookieValue=" + cookie);
    if (!FirmwarePause(kLoginPageMs))
        return;
    m_Http.m_szCgiPath.assign("/web/login.asp");
    HttpGet(0);
}

void CImage::UploadFirmwareOctet()
{
    const ConnectionSettings conn = m_Connection.read();
    const std::string path = m_Http.m_szCgiPath.str();
    const std::string file = m_Firmware.m_szFirmwareFile.str();
    std::string user;
    get_UserName(&user);
    const std::string credential = EncodeCredentialsBuffer();
    CWSClient& s = m_Firmware.m_FirmwareSocket;
    if (!fitsInLine(path) || !fitsInLine(user) || !fitsInLine(credential) ||
        !fitsInLine(conn.m_szRemoteHost.str())) {
        m_Http.m_lErrCode.store(kErrNotSent);
        return;
    }
    const std::int32_t sent = sendUpload(
        s, conn, file,
        [&](std::uint64_t size) {
            return uploadRequestLine(conn, path) + camproto::octetHeaderLines(user, credential, size);
        },
        m_Run.m_bEndRun, m_Firmware.m_dUpdataP);
    m_Http.m_lErrCode.store(sent != 0 ? sent : uploadAnswer(s, conn.m_nTimeOut, "200"));
}

} // namespace tessivor
