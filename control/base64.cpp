// The Base64 coder and the control members built on it.
//
// The control keeps the last credential code it made in m_szDeviceSerialNo and hands that text
// out instead of encoding while it is not empty: that is how a token that a camera issues (it is
// stored there by the device-information reads) replaces the user name and password in later
// requests. Because the stored code outlives the texts it came from, putting UserName or
// Password clears it, and every read and write of it, of the user name and of the password goes
// through m_CredentialLock: the image loop, the audio thread, the configuration workers and the
// host's thread all use it.
#include "control/base64.h"

#include "control/cimage.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace tessivor {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Index of each alphabet character, -1 for every other byte value ("=" included).
constexpr std::array<std::int8_t, 256> makeDecodeTable()
{
    std::array<std::int8_t, 256> t{};
    for (auto& v : t)
        v = -1;
    for (int i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    return t;
}
constexpr auto kDecode = makeDecodeTable();

// The automation members work in a 1024-byte area: at most 1023 input characters, at most 1024
// code characters.
constexpr std::size_t kMemberInputLimit = 1023;
constexpr std::size_t kMemberCodeLimit = 1024;

// The text as a C string would see it: up to its first NUL.
std::string_view cText(std::string_view s)
{
    const auto nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

} // namespace

std::string base64Encode(const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t v = (std::uint32_t(p[i]) << 16) | (std::uint32_t(p[i + 1]) << 8) | p[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = size - i;
    if (rest > 0) {
        std::uint32_t v = std::uint32_t(p[i]) << 16;
        if (rest == 2)
            v |= std::uint32_t(p[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::string> base64Decode(std::string_view code)
{
    const auto pad = code.find('=');
    if (pad != std::string_view::npos)
        code = code.substr(0, pad);
    std::string out;
    out.reserve(code.size() / 4 * 3 + 2);
    std::uint32_t group = 0;
    int count = 0;
    for (const char c : code) {
        const int v = kDecode[static_cast<unsigned char>(c)];
        if (v < 0)
            return std::nullopt;
        group = (group << 6) | static_cast<std::uint32_t>(v);
        if (++count == 4) {
            out += static_cast<char>((group >> 16) & 0xFF);
            out += static_cast<char>((group >> 8) & 0xFF);
            out += static_cast<char>(group & 0xFF);
            group = 0;
            count = 0;
        }
    }
    // A short last group of n characters carries n - 1 bytes from the top of its 24 bits.
    if (count >= 2) {
        group <<= 6 * (4 - count);
        out += static_cast<char>((group >> 16) & 0xFF);
        if (count == 3)
            out += static_cast<char>((group >> 8) & 0xFF);
    }
    return out;
}

// ---- the control's members ----

std::string CImage::Base64Encode(std::string_view text)
{
    std::lock_guard lock(m_CredentialLock);
    return encodeAndKeep(text);
}

std::string CImage::Base64EncodeBuffer(std::string_view text)
{
    std::lock_guard lock(m_CredentialLock);
    return encodeOrReuse(text);
}

std::string CImage::EncodeCredentials()
{
    std::lock_guard lock(m_CredentialLock);
    return encodeAndKeep(credentialTextLocked());
}

std::string CImage::EncodeCredentialsBuffer()
{
    std::lock_guard lock(m_CredentialLock);
    return encodeOrReuse(credentialTextLocked());
}

std::string CImage::credentialTextLocked() const
{
    std::string text = m_szUserName.str();
    text += ':';
    text += m_szPassword.view();
    return text;
}

std::string CImage::encodeAndKeep(std::string_view text)
{
    std::string code = base64Encode(cText(text));
    if (code.size() < Text260::capacity)
        m_szDeviceSerialNo.assign(code);
    return code;
}

std::string CImage::encodeOrReuse(std::string_view text)
{
    text = cText(text);
    if (!m_szDeviceSerialNo.empty() || text.size() < 2)
        return m_szDeviceSerialNo.str();
    // The code is handed out whole, however long: a credential is never sent unencoded.
    return encodeAndKeep(text);
}

std::string CImage::DeviceSerialNoText() const
{
    std::lock_guard lock(m_CredentialLock);
    return m_szDeviceSerialNo.str();
}

void CImage::SetDeviceSerialNoText(std::string_view text)
{
    std::lock_guard lock(m_CredentialLock);
    m_szDeviceSerialNo.assign(text);
}

std::string CImage::CredentialText() const
{
    std::lock_guard lock(m_CredentialLock);
    return credentialTextLocked();
}

HRESULT CImage::get_DeviceSerialNo(std::string* pVal)
{
    *pVal = DeviceSerialNoText();
    return S_OK;
}

HRESULT CImage::put_DeviceSerialNo(std::string_view newVal)
{
    SetDeviceSerialNoText(newVal);
    return S_OK;
}

HRESULT CImage::Base64En(std::string_view sInDATA, std::string* pVal)
{
    std::string_view in = cText(sInDATA);
    if (in.size() > kMemberInputLimit)
        in = in.substr(0, kMemberInputLimit);
    std::string code = base64Encode(in);
    if (code.size() > kMemberCodeLimit)
        code.resize(kMemberCodeLimit);
    *pVal = std::move(code);
    return S_OK;
}

HRESULT CImage::Base64De(std::string_view sInDATA, std::string* pVal)
{
    std::string_view in = cText(sInDATA);
    if (in.size() > kMemberInputLimit)
        in = in.substr(0, kMemberInputLimit);
    auto bytes = base64Decode(in);
    if (!bytes) {
        *pVal = "ERROR";
        return S_OK;
    }
    // The result is a text: it ends at the first zero byte.
    const auto nul = bytes->find('\0');
    if (nul != std::string::npos)
        bytes->resize(nul);
    *pVal = std::move(*bytes);
    return S_OK;
}

} // namespace tessivor
