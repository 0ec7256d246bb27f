#include "mail/image_mail_client.h"

namespace tessivor {

CImageMailClient::~CImageMailClient() = default;

bool CImageMailClient::IsAborted()
{
    return m_stopFlag != nullptr && m_stopFlag->load() != 0;
}

int CImageMailClient::OnSendProgress(std::int64_t sent, std::int64_t total)
{
    m_shareSent.store(total > 0 ? static_cast<double>(sent) / static_cast<double>(total) : 1.0);
    return 1;
}

} // namespace tessivor
