// GetConfig, SetConfig and the configuration block's fields by index. Native cameras move the
// block in eight datagrams; the "/CONFIG.CGI" families over HTTP; the multipart family has no
// block and goes through its web pages and the parameter table instead.
#include "control/camera_config_state.h"
#include "control/camera_http_call.h"
#include "control/cimage.h"
#include "control/discovery_state.h"
#include "control/stream_requests.h"

#include "camproto/config_udp.h"
#include "platform/trace.h"

#include <algorithm>

namespace tessivor {

namespace {

constexpr int kReadHttpTries = 3;
constexpr int kWriteHttpTries = 2;
constexpr std::size_t kConfigAnswerLimit = 10000;
constexpr std::size_t kConfigAnswerPiece = 1460;
constexpr std::size_t kWriteAnswerLimit = 25;

const char* const kConfigPages[] = {"/cgi-bin/system_cfg.cgi",  "/cgi-bin/video_cfg.cgi",
                                    "/cgi-bin/image_cfg.cgi",   "/cgi-bin/trigger_cfg.cgi",
                                    "/cgi-bin/network_cfg.cgi", "/cgi-bin/upload_cfg.cgi"};

// The block from "/CONFIG.CGI" into `block`: -1 when all of it arrived, else 0 (`block` as it was).
int readConfigHttp(CImage& c, const ConnectionSettings& s, camproto::ConfigBlock& block)
{
    const bool proxy = s.proxyInUse();
    camproto::CameraRequest r;
    r.path = "/CONFIG.CGI";
    r.userAgent = credentials(c.CredentialText()).first;
    const auto text = cameraRequestText(s, c.EncodeCredentials(), r, proxy);
    if (!text)
        return 0;
    for (int attempt = 0; attempt < kReadHttpTries; ++attempt) {
        // The head first, then the body up to its stated length: all of it must come.
        bool refused = false;
        const CameraTry t = tryCameraExchange(
            s, proxy, *text, kConfigAnswerLimit, kConfigAnswerPiece, [&](std::string_view a) {
                if (a.find("Password Error") != std::string_view::npos) {
                    refused = true;
                    return true;
                }
                if (a.find("0502") != std::string_view::npos || a.find("405") != std::string_view::npos)
                    return true;
                const auto head = camproto::parseConfigAnswerHead(a);
                return head && a.size() >= head->bodyStart + head->contentLength;
            });
        if (t.step != CameraTry::Step::Answered)
            continue;
        if (refused)
            return 0;
        const std::string& answer = t.answer;
        const auto head = camproto::parseConfigAnswerHead(answer);
        if (!head || head->contentLength < camproto::kConfigBlockSize ||
            answer.size() < head->bodyStart + camproto::kConfigBlockSize) {
            trace("CONFIG.CGI: the answer did not carry the whole block");
            continue;
        }
        std::copy_n(answer.begin() + static_cast<std::ptrdiff_t>(head->bodyStart), camproto::kConfigBlockSize,
                    block.begin());
        return -1;
    }
    return 0;
}

int writeConfigHttp(CImage& c, const ConnectionSettings& s, camproto::ConfigBlock& block)
{
    const bool proxy = s.proxyInUse();
    const camproto::ConfigImage image = camproto::sealConfigBlock(block);
    camproto::CameraRequest r;
    r.method = "POST";
    r.path = "/CONFIG.CGI";
    r.proxyExtraLine = "Content-Length: 8192";
    r.body.assign(reinterpret_cast<const char*>(image.data()), image.size());
    const auto text = cameraRequestText(s, c.EncodeCredentials(), r, proxy);
    if (!text)
        return 0;
    for (int attempt = 0; attempt < kWriteHttpTries; ++attempt) {
        const CameraTry t = tryCameraExchange(s, proxy, *text, kWriteAnswerLimit, kWriteAnswerLimit,
                                              [](std::string_view a) { return a.size() >= 23; });
        if (t.answer.find("HTTP/1.0 204 No Content") != std::string::npos)
            return -1;
    }
    return 0;
}

} // namespace

camproto::ConfigTransfer CImage::configTransfer(CImage& c)
{
    const ConnectionSettings s = c.m_Connection.read();
    camproto::ConfigTransfer t;
    t.host = s.m_szRemoteHost.str();
    std::copy(s.m_TargetMac.begin(), s.m_TargetMac.end(), t.mac.begin());
    std::copy(s.m_TargetIp.begin(), s.m_TargetIp.end(), t.ip.begin());
    t.wakes = {&c.m_Discovery->shutdown};
    return t;
}

int CImage::writeConfigCgi(CImage& c)
{
    if (!c.SerializeParameters("\r\n"))
        return 0;
    const std::string body = c.BodyText();
    for (const char* page : kConfigPages) {
        c.SetBodyText(body);
        c.m_Http.m_szCgiPath.assign(page);
        c.HttpPost(0); // each page takes what it knows; the answers are not looked at
    }
    c.m_Http.m_szCgiPath.assign("/cgi-bin/reboot.cgi");
    return c.HttpGet(0);
}

HRESULT CImage::GetConfig(std::int32_t /*iVal*/, std::int32_t* pVal)
{
    const ConnectionSettings s = m_Connection.read();
    camproto::ConfigBlock& block = m_CameraConfig->block;
    auto readUdp = [this, &block] {
        const camproto::ConfigReadResult r = camproto::readConfigUdp(configTransfer(*this));
        if (r.result == -1)
            block = r.block;
        return r.result;
    };
    runByProtocol(
        s.m_nProtocol, pVal, readUdp, [&] { return readConfigHttp(*this, s, block); },
        [this] { return getDeviceInfoWeb(*this); });
    return S_OK;
}

HRESULT CImage::SetConfig(std::int32_t lMode, std::int32_t lChange, std::int32_t* pVal)
{
    const ConnectionSettings s = m_Connection.read();
    camproto::ConfigBlock& block = m_CameraConfig->block;
    auto writeUdp = [&] {
        camproto::ConfigWriteRequest r;
        r.transfer = configTransfer(*this);
        r.mode = lMode;
        r.change = lChange;
        return camproto::writeConfigUdp(block, r).result;
    };
    runByProtocol(
        s.m_nProtocol, pVal, writeUdp, [&] { return writeConfigHttp(*this, s, block); },
        [this] { return writeConfigCgi(*this); });
    return S_OK;
}

HRESULT CImage::GetConfigValue(std::int32_t iIndex, std::int32_t* pVal)
{
    const CameraConfigState& k = *m_CameraConfig;
    if (const auto v = camproto::configNumber(k.block, k.selectors, iIndex))
        *pVal = *v;
    return S_OK;
}

HRESULT CImage::GetConfigValueBSTR(std::int32_t iIndex, std::string* pVal)
{
    const CameraConfigState& k = *m_CameraConfig;
    if (auto v = camproto::configText(k.block, k.selectors, iIndex))
        *pVal = std::move(*v);
    return S_OK;
}

HRESULT CImage::SetConfigValue(std::int32_t iIndex, const Variant& newVal)
{
    CameraConfigState& k = *m_CameraConfig;
    camproto::ConfigSetStatus status = camproto::ConfigSetStatus::BadValue;
    if (iIndex < 0 || iIndex >= camproto::kConfigIndexCount) {
        status = camproto::ConfigSetStatus::Invalid;
    } else if (camproto::configIndexTakesNumber(iIndex)) {
        std::int32_t v = 0;
        if (newVal.toI4(&v) == S_OK)
            status = camproto::setConfigNumber(k.block, k.selectors, iIndex, v);
    } else {
        std::string text;
        if (newVal.empty() || newVal.toBstr(&text) == S_OK)
            status = camproto::setConfigText(k.block, k.selectors, iIndex, text);
    }
    switch (status) {
    case camproto::ConfigSetStatus::Invalid:
        return E_INVALIDARG;
    case camproto::ConfigSetStatus::BadValue:
        return S_FALSE; // the field is as it was
    default:
        return S_OK;
    }
}

} // namespace tessivor
