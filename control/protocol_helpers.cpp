// The control's routines that the native stream reader and the configuration exchanges share;
// the work itself is in camproto/.
#include "camproto/login_transform.h"
#include "camproto/packet_fields.h"
#include "control/cimage.h"

#include <mutex>

namespace tessivor {

CredentialBlock CImage::BuildCredentialBlock() const
{
    std::lock_guard lock(m_CredentialLock);
    return camproto::makeCredentialBlock(m_szUserName.view(), m_szPassword.view());
}

void CImage::ScrambleCredentials(std::uint8_t* out, const std::uint8_t* credentials,
                                 const std::uint8_t* challenge)
{
    camproto::scrambleCredentials(out, credentials, challenge);
}

std::string CImage::FormatIPv4(const std::uint8_t* address)
{
    return camproto::formatIPv4(address);
}

int CImage::ParseIPv4(std::string_view text, std::uint8_t* out)
{
    return camproto::parseIPv4(text, out);
}

std::uint16_t CImage::WordSum(const void* data, std::size_t length)
{
    return camproto::wordSum(data, length);
}

} // namespace tessivor
