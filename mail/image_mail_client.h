// CImageMailClient: the control's SMTP client. It watches the share of the message sent and
// follows the e-mail job's stop request: once it is raised every wait of the client ends within
// one wait slice and the alert reports an abort, so closing the control never hangs on a
// stalled SMTP server.
#pragma once

#include "mail/smtp_client.h"

#include <atomic>
#include <cstdint>

namespace tessivor {

class CImageMailClient : public CSmtpClient
{
public:
    CImageMailClient() = default;
    ~CImageMailClient() override;

    // The flag whose non-zero value means "stop" (the e-mail job's stop request); null: never stop.
    // It must outlive the client's use.
    void SetStopFlag(const std::atomic<std::int32_t>* flag) { m_stopFlag = flag; }
    bool IsAborted() override;

    using CSmtpClient::OnSendProgress;
    // Records the share sent (bytes sent / bytes to send) and always goes on.
    int OnSendProgress(std::int64_t sent, std::int64_t total) override;
    // The share of the current message sent, 0 to 1.
    double GetShareSent() const { return m_shareSent.load(); }

private:
    const std::atomic<std::int32_t>* m_stopFlag = nullptr;
    std::atomic<double> m_shareSent{0.0};
};

} // namespace tessivor
