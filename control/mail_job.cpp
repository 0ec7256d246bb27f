// The control's e-mail alert: the job that the mail thread runs (CImage::SendMailJob), CloseSMTP,
// and the mapping of the SMTP client's results onto GetImageEvent codes.
//
// The job works on a copy of the e-mail settings taken when it starts, checks everything the
// message will carry before it connects (so that a text that would break the dialogue never
// reaches a server), and follows its own stop request through its client: CloseSMTP or the
// control's destruction ends the SMTP dialogue within one wait slice, with QUIT. Stopping the
// stream does not touch an alert.
#include "platform/base64.h"
#include "control/cimage.h"
#include "control/stream_requests.h"
#include "io/regular_file.h"
#include "io/temp_file_data_source.h"
#include "mail/mail_errors.h"
#include "mail/mail_message.h"
#include "platform/clock.h"
#include "platform/trace.h"

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

namespace tessivor {

namespace {

// The attached picture is a JPEG frame of the camera: a few megabytes at most. Anything larger
// (or anything that is not a regular file) is not a picture of ours and fails the alert.
constexpr std::size_t kMaxPictureBytes = 8u * 1024u * 1024u;

// The login texts are Base64-encoded into account lines of 259 characters: 192 bytes of text
// make 256 characters of code.
constexpr std::size_t kMaxLoginLength = 192;
// Text bytes per encoded word of the subject: 39 bytes make 52 characters of Base64, so a word
// ("=?UTF-8?B?" + code + "?=") has 64 characters and the line "Subject: " + word stays within
// the 76 characters that RFC 2047 section 2 asks of lines holding encoded words.
constexpr std::size_t kSubjectWordBytes = 39;

// The SMTP client errors that have a GetImageEvent code of their own, in the order of their
// events: entry n is reported as EVT_SMTP_ERROR_FIRST + n. Any other error is EVT_MAIL_FAILED.
constexpr std::array<MailError, 17> kMailErrorsWithEvent = {
    MAIL_NO_ADDRESS,            // 41
    MAIL_CONNECT_FAILED,        // 42
    MAIL_HELLO_REFUSED,         // 43
    MAIL_RESERVED_145,          // 44
    MAIL_BAD_ARGUMENT,          // 45
    MAIL_BODY_TOO_LONG,         // 46
    MAIL_ATTACHMENT_FAILED,     // 47
    MAIL_NO_GREETING,           // 48
    MAIL_SOCKET_CONNECT_FAILED, // 49
    MAIL_MISSING_FIELD,         // 50
    MAIL_SOURCE_OPEN_FAILED,    // 51
    MAIL_TOO_LONG,              // 52
    MAIL_NOT_ACCEPTED,          // 53
    MAIL_RCPT_REFUSED,          // 54
    MAIL_DATA_REFUSED,          // 55
    MAIL_ABORTED,               // 56
    MAIL_SEND_INCOMPLETE,       // 57
};
static_assert(kMailErrorsWithEvent.size() == EVT_SMTP_ERROR_LAST - EVT_SMTP_ERROR_FIRST + 1);

// Length of the UTF-8 sequence starting at s[i], or 0 when none starts there.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i)
{
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 0;
    return n;
}

// The subject as UTF-8: texts here are UTF-8; bytes that are not (an older ANSI text) are taken
// as ISO-8859-1 so that the charset named in the header is the real one.
std::string asUtf8(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8SequenceLength(s, i);
        if (n > 0) {
            out.append(s.substr(i, n));
            i += n;
        } else {
            const auto b = static_cast<unsigned char>(s[i++]);
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

// Copies the picture file into `attachment` (a source the job owns): MAIL_OK, MAIL_ABORTED, or
// MAIL_ATTACHMENT_FAILED for a file that is missing, not a regular file, too large or unreadable.
int takePicture(const std::string& path, const std::function<bool()>& aborted,
                CTempFileDataSource* attachment)
{
    std::vector<std::uint8_t> bytes;
    const FileReadResult read = readRegularFile(path, kMaxPictureBytes, aborted, &bytes);
    if (read == FileReadResult::Aborted)
        return MAIL_ABORTED;
    if (read != FileReadResult::Read) {
        trace("e-mail picture \"%s\" refused (%d)\r\n", path.c_str(), static_cast<int>(read));
        return MAIL_ATTACHMENT_FAILED;
    }
    const auto size = static_cast<std::int32_t>(bytes.size());
    const bool copied =
        attachment->Open(1) == 0 && (size == 0 || attachment->Write(bytes.data(), size) == size);
    return attachment->Close() == 0 && copied ? MAIL_OK : MAIL_ATTACHMENT_FAILED;
}

} // namespace

std::string CImage::EncodeMailSubject(std::string_view subject)
{
    const bool plain = std::all_of(subject.begin(), subject.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x20 && b < 0x80;
    });
    if (plain)
        return std::string(subject);
    // RFC 2047 encoded words, each holding whole characters, folded onto lines of their own.
    const std::string text = asUtf8(subject);
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t end = i;
        while (end < text.size()) {
            const std::size_t n = std::max<std::size_t>(utf8SequenceLength(text, end), 1);
            if (end + n - i > kSubjectWordBytes)
                break;
            end += n;
        }
        if (!out.empty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + base64Encode(std::string_view(text).substr(i, end - i)) + "?=";
        i = end;
    }
    return out;
}

std::int32_t CImage::MailErrorEvent(int clientError)
{
    const auto* found = std::find(kMailErrorsWithEvent.begin(), kMailErrorsWithEvent.end(), clientError);
    if (found == kMailErrorsWithEvent.end())
        return EVT_MAIL_FAILED;
    return EVT_SMTP_ERROR_FIRST + static_cast<std::int32_t>(found - kMailErrorsWithEvent.begin());
}

int CImage::SendMailJob()
{
    PostImageEvent(EVT_MOTION);
    const MailSettings mailCfg = m_MailSettings.read();
    const ConnectionSettings conn = m_Connection.read();
    const std::string server = mailCfg.m_szMailServer.str();
    const std::string to = mailCfg.m_szMailTo.str();
    const std::string from = mailCfg.m_szMailFrom.str();
    const std::string subject = mailCfg.m_szMailSubject.str();
    const std::string user = mailCfg.m_szSendMailID.str();
    const std::string password = mailCfg.m_szSendMailPWD.str();
    const std::string picture = mailCfg.m_szEMailFileName.str();

    m_Mail.m_MailClient.SetStopFlag(&m_Run.m_bMailStop);
    m_Mail.m_MailClient.SetConnectTimeOut(conn.m_nTimeOut);
    m_Mail.m_MailClient.SetReceiveTimeOut(conn.m_nMailReceiveTimeOut);

    // Everything the message carries is checked before any connection is made.
    int rc = MAIL_OK;
    if (!fitsInLine(from) || !fitsInLine(subject) || !fitsInLine(picture)) {
        rc = MAIL_BAD_ARGUMENT;
    } else if (user.size() > kMaxLoginLength || password.size() > kMaxLoginLength) {
        rc = MAIL_TOO_LONG;
    } else {
        CMailMessage check;
        check.AddHeaderField(to.c_str(), CMailMessage::FIELD_TO, nullptr);
        check.AddHeaderField(from.c_str(), CMailMessage::FIELD_FROM, nullptr);
        check.AddHeaderField(subject.c_str(), CMailMessage::FIELD_SUBJECT, nullptr);
        rc = CSmtpClient::CheckMessage(check);
    }

    // The picture is read once, before connecting, into a file of the job's own: EMailFileName
    // may name a FIFO or a device (which would hold the job, and the control's release, for
    // good), or a huge file; and the read ends when the job is told to stop.
    CTempFileDataSource attachment(0, "Picture", nullptr);
    if (rc == MAIL_OK)
        rc = takePicture(
            picture, [this] { return m_Mail.m_MailClient.IsAborted(); }, &attachment);

    if (rc == MAIL_OK) {
        rc = m_Mail.m_MailClient.SMTPConnect(server.c_str(), "localhost");
        if (rc == MAIL_OK) {
            trace("smtp.SMTPConnect ok\r\n");
            const std::string userLine = user.empty() ? std::string() : base64Encode(user);
            const std::string passwordLine = password.empty() ? std::string() : base64Encode(password);
            m_Mail.m_MailClient.SetAccount(userLine.c_str(), passwordLine.c_str());
            const std::string encodedSubject = EncodeMailSubject(subject);
            const std::uint32_t started = tickCount();
            rc = m_Mail.m_MailClient.SendMailWithAttachment(to.c_str(), from.c_str(), encodedSubject.c_str(),
                                                            "", nullptr, nullptr, &attachment,
                                                            picture.c_str());
            trace("smtp.SendMail %s (%u ms)\r\n", rc == MAIL_OK ? "OK" : MailErrorText(rc),
                  ticksSince(started));
            // The answer to QUIT does not change the outcome: the message was accepted or not
            // at the end of its data.
            if (m_Mail.m_MailClient.SMTPClose() == MAIL_OK)
                trace("smtp.SMTPClose OK\r\n");
        }
    }
    // The job has ended: the next one may start as soon as the idle flag or the result is seen,
    // even while this thread is still ending (the start waits for its last steps).
    m_Run.m_bMailBusy.store(0);
    m_MailThread.done();
    m_Run.m_bMailIdle.store(1);
    if (rc == MAIL_OK) {
        trace("EMAIL_OK_EVENT\r\n");
        PostImageEvent(EVT_MAIL_SENT);
        return -1;
    }
    trace("EMAIL_Fail_EVENT %d\r\n", rc);
    PostImageEvent(MailErrorEvent(rc));
    return 0;
}

HRESULT CImage::CloseSMTP()
{
    // The dialogue belongs to the job's thread: the job is asked to stop, and it sends QUIT and
    // closes the connection itself.
    if (m_Run.m_bMailIdle.load() == 0) {
        m_Run.m_bMailStop.store(1);
        m_Run.m_bMailIdle.store(1);
    }
    return S_OK;
}

} // namespace tessivor
