// The control members built on the Base64 coder (platform/base64.h).
//
// The control keeps the last credential code it made in m_szDeviceSerialNo and hands that text
// out instead of encoding while it is not empty: that is how a token that a camera issues (it is
// stored there by the device-information reads) replaces the user name and password in later
// requests. Because the stored code outlives the texts it came from, putting UserName or
// Password clears it, and every read and write of it, of the user name and of the password goes
// through m_CredentialLock: the image loop, the audio thread, the configuration workers and the
// host's thread all use it.
#include "control/cimage.h"

#include "platform/base64.h"

#include <mutex>

namespace tessivor {

namespace {

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
