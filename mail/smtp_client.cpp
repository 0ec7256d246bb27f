#include "mail/smtp_client.h"

#include "io/file_data_source.h"
#include "io/memory_data_source.h"
#include "io/temp_file_data_source.h"
#include "mail/mail_errors.h"
#include "mail/mail_message.h"
#include "mail/mime_header.h"
#include "mail/smtp_data.h"
#include "platform/clock.h"
#include "platform/trace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/socket.h>

namespace tessivor {

namespace {

// Reply codes the dialogue waits for besides 2xx (RFC 5321 section 4.2.2, RFC 4954 section 4).
constexpr int kReplyAuthChallenge = 334;
constexpr int kReplyStartMailInput = 354;

bool is2xx(int code)
{
    return code >= 200 && code <= 299;
}

// Removes line breaks at the end of a header value (written again by the client).
std::string withoutTrailingBreaks(std::string s)
{
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n'))
        s.pop_back();
    return s;
}

// True when `s` holds no CR or LF except as folds (CR LF followed by a blank or tab).
bool onlyFoldedBreaks(const std::string& s)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            if (i + 2 < s.size() && s[i + 1] == '\n' && (s[i + 2] == ' ' || s[i + 2] == '\t')) {
                i += 2;
                continue;
            }
            return false;
        }
        if (s[i] == '\n')
            return false;
    }
    return true;
}

bool hasLineBreak(const std::string& s)
{
    return s.find_first_of("\r\n") != std::string::npos;
}

// A field name as written before its value: printable ASCII without blanks, ending in ":".
bool validFieldName(const std::string& name)
{
    if (name.size() < 2 || name.back() != ':')
        return false;
    return std::all_of(name.begin(), name.end() - 1, [](char c) { return c > 32 && c < 127 && c != ':'; });
}

std::string concatenated(CMailMessage& message, std::int32_t id)
{
    std::string out;
    for (std::int32_t i = 0; const char* v = message.GetFieldValue(id, i); ++i)
        out += v;
    return out;
}

// "a, b" with a fold before an entry that takes the line past the limit.
std::string joinFolded(const CTextList& list)
{
    std::string out;
    std::size_t running = 0;
    for (std::int32_t i = 0; i < list.GetTextCount(); ++i) {
        const std::string entry = list.GetTextAt(i);
        if (i > 0)
            out += ',';
        running += entry.size() + 1;
        if (i > 0 && running > static_cast<std::size_t>(CSmtpClient::kFoldAt)) {
            out += "\r\n\t";
            running = entry.size() + 1;
        }
        out += entry;
    }
    return out;
}

} // namespace

CSmtpClient::CSmtpClient() = default;

CSmtpClient::~CSmtpClient()
{
    m_headerLines.ClearTexts();
}

int CSmtpClient::SetLocalName(const char* name)
{
    m_localName = name != nullptr ? name : ".";
    return kLocalNameStored;
}

int CSmtpClient::SetConnectTimeOut(int seconds)
{
    if (seconds <= 0)
        return OnError(MAIL_BAD_ARGUMENT);
    m_connectTimeOut = seconds;
    return OnError(MAIL_OK);
}

int CSmtpClient::SetReceiveTimeOut(int seconds)
{
    if (seconds <= 0)
        return OnError(MAIL_BAD_ARGUMENT);
    m_receiveTimeOut = seconds;
    return OnError(MAIL_OK);
}

int CSmtpClient::SetPort(int port)
{
    m_port = port;
    return OnError(MAIL_OK);
}

int CSmtpClient::SetAccount(const char* userLine, const char* passwordLine)
{
    const std::string user = userLine != nullptr ? userLine : "";
    const std::string password = passwordLine != nullptr ? passwordLine : "";
    if (user.size() > kMaxAccountLine || password.size() > kMaxAccountLine)
        return OnError(MAIL_TOO_LONG);
    if (hasLineBreak(user) || hasLineBreak(password))
        return OnError(MAIL_BAD_ARGUMENT);
    m_userLine = user;
    m_passwordLine = password;
    return OnError(MAIL_OK);
}

int CSmtpClient::OnSendProgress(std::int64_t /*sent*/, std::int64_t /*total*/)
{
    return IsAborted() ? 0 : 1;
}

int CSmtpClient::ParseAddress(const char* text, char* output, int size)
{
    if (output != nullptr && size > 0)
        output[0] = '\0';
    if (text == nullptr || output == nullptr || size <= 0 || std::strlen(text) < 3)
        return MAIL_NO_ADDRESS;
    std::string_view t(text);
    std::size_t open = std::string_view::npos;
    bool quoted = false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\\' && quoted) {
            ++i;
        } else if (t[i] == '"') {
            quoted = !quoted;
        } else if (t[i] == '<' && !quoted) {
            open = i;
            break;
        }
    }
    std::string_view address;
    if (open != std::string_view::npos) {
        const auto close = t.find('>', open + 1);
        if (close == std::string_view::npos)
            return MAIL_NO_ADDRESS;
        address = t.substr(open + 1, close - open - 1);
    } else {
        const auto start = t.find_first_not_of(' ');
        if (start == std::string_view::npos)
            return MAIL_NO_ADDRESS;
        address = t.substr(start);
        address = address.substr(0, address.find(' '));
    }
    const bool usable = !address.empty() && std::all_of(address.begin(), address.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u > 32 && u != 127 && c != '<' && c != '>';
    });
    if (!usable || address.size() + 1 > static_cast<std::size_t>(size))
        return MAIL_NO_ADDRESS;
    std::memcpy(output, address.data(), address.size());
    output[address.size()] = '\0';
    return MAIL_OK;
}

int CSmtpClient::GetRfc822Date(char* output, int size)
{
    if (output == nullptr || size < 32)
        return MAIL_BAD_ARGUMENT;
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = wallNow();
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        return MAIL_BAD_ARGUMENT;
    // tm_gmtoff is seconds east of UTC, daylight saving time included.
    long offset = local.tm_gmtoff;
    const char sign = offset < 0 ? '-' : '+';
    offset = offset < 0 ? -offset : offset;
    const int n =
        std::snprintf(output, static_cast<std::size_t>(size), "%s, %02d %s %d %02d:%02d:%02d %c%02ld%02ld",
                      days[local.tm_wday % 7], local.tm_mday, months[local.tm_mon % 12], local.tm_year + 1900,
                      local.tm_hour, local.tm_min, local.tm_sec, sign, offset / 3600, (offset / 60) % 60);
    return n > 0 && n < size ? MAIL_OK : MAIL_BAD_ARGUMENT;
}

void CSmtpClient::SplitRecipients(const char* text, CTextList& out)
{
    if (text == nullptr)
        return;
    std::string_view t(text);
    while (!t.empty()) {
        const auto start = t.find_first_not_of("\r\n\t,");
        if (start == std::string_view::npos)
            break;
        t.remove_prefix(start);
        const auto end = t.find_first_of("\r\n\t,");
        std::string entry(t.substr(0, end));
        t.remove_prefix(end == std::string_view::npos ? t.size() : end);
        const auto first = entry.find_first_not_of(' ');
        if (first == std::string::npos)
            continue;
        entry = entry.substr(first, entry.find_last_not_of(' ') - first + 1);
        if (entry.size() > static_cast<std::size_t>(kMaxRecipientLength))
            entry.resize(static_cast<std::size_t>(kMaxRecipientLength)); // then refused as unusable
        out.AddText(entry.c_str());
    }
}

int CSmtpClient::CheckMessage(CMailMessage& message)
{
    char address[kMaxRecipientLength + 1];
    int recipients = 0;
    for (std::int32_t id : {CMailMessage::FIELD_TO, CMailMessage::FIELD_CC, CMailMessage::FIELD_BCC}) {
        for (std::int32_t i = 0; const char* v = message.GetFieldValue(id, i); ++i) {
            CTextList entries;
            SplitRecipients(v, entries);
            for (std::int32_t e = 0; e < entries.GetTextCount(); ++e) {
                const std::string entry = entries.GetTextAt(e);
                if (entry.size() >= static_cast<std::size_t>(kMaxRecipientLength) ||
                    ParseAddress(entry.c_str(), address, sizeof address) != MAIL_OK)
                    return MAIL_NO_ADDRESS;
                ++recipients;
            }
        }
    }
    if (recipients == 0)
        return MAIL_MISSING_FIELD;

    const std::string sender = withoutTrailingBreaks(concatenated(message, CMailMessage::FIELD_FROM));
    if (hasLineBreak(sender))
        return MAIL_BAD_ARGUMENT;
    if (sender.size() > static_cast<std::size_t>(kMaxSenderLength))
        return MAIL_TOO_LONG;
    if (ParseAddress(sender.c_str(), address, sizeof address) != MAIL_OK)
        return MAIL_NO_ADDRESS;

    const std::string subject = withoutTrailingBreaks(concatenated(message, CMailMessage::FIELD_SUBJECT));
    if (subject.size() > static_cast<std::size_t>(kMaxSenderLength))
        return MAIL_TOO_LONG;
    if (!onlyFoldedBreaks(subject))
        return MAIL_BAD_ARGUMENT;

    for (std::int32_t i = 0; const char* name = message.GetCustomFieldName(i); ++i) {
        const char* value = message.GetFieldValue(CMailMessage::FIELD_CUSTOM, i);
        if (!validFieldName(name) || value == nullptr || !onlyFoldedBreaks(withoutTrailingBreaks(value)))
            return MAIL_BAD_ARGUMENT;
    }
    return MAIL_OK;
}

int CSmtpClient::SendText(const std::string& text)
{
    const std::uint32_t start = tickCount();
    const auto limit = static_cast<std::uint32_t>(m_receiveTimeOut) * 1000u;
    std::size_t done = 0;
    while (done < text.size()) {
        if (IsAborted())
            return MAIL_ABORTED;
        if (GetSocket() < 0 || ticksSince(start) > limit)
            return MAIL_SEND_INCOMPLETE;
        if (WaitForSend(0, kWaitSliceMs * 1000) != 0)
            continue;
        const int n = SendDirect(text.data() + done, static_cast<int>(text.size() - done), MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return MAIL_SEND_INCOMPLETE;
        }
        done += static_cast<std::size_t>(n);
    }
    return MAIL_OK;
}

int CSmtpClient::ReceiveLine(int timeoutSeconds)
{
    m_reply.reset();
    if (!m_pending.empty()) {
        const std::size_t used = m_reply.feed(m_pending.data(), m_pending.size());
        m_pending.erase(0, used);
    }
    const std::uint32_t start = tickCount();
    const auto limit = static_cast<std::uint32_t>(std::max(timeoutSeconds, 0)) * 1000u;
    char block[1024];
    while (!m_reply.complete()) {
        if (IsAborted()) {
            trace("ReceiveLine aborted \r\n");
            return 0;
        }
        if (GetSocket() < 0 || ticksSince(start) >= limit) {
            trace("ReceiveLine timeout \r\n");
            return 0;
        }
        if (WaitForReceive(0, kWaitSliceMs * 1000) != 0)
            continue;
        const int n = ReceiveDirect(block, sizeof block, 0);
        if (n <= 0) {
            trace("ReceiveLine closed \r\n");
            return 0;
        }
        const std::size_t used = m_reply.feed(block, static_cast<std::size_t>(n));
        m_pending.append(block + used, static_cast<std::size_t>(n) - used);
    }
    return m_reply.code();
}

int CSmtpClient::Command(const std::string& line)
{
    if (SendText(line) != MAIL_OK)
        return 0;
    return ReceiveLine(m_receiveTimeOut);
}

int CSmtpClient::SMTPClose()
{
    if (GetSocket() < 0)
        return OnError(MAIL_OK);
    // The answer to QUIT is not awaited: whatever it says changes nothing. QUIT goes out also
    // after a stop request, since that is how a stopped dialogue ends; it waits at most one
    // slice for room in the socket's buffer.
    static constexpr char kQuit[] = "QUIT\r\n";
    if (WaitForSend(0, kWaitSliceMs * 1000) == 0)
        SendDirect(kQuit, static_cast<int>(sizeof kQuit - 1), MSG_DONTWAIT);
    m_reply.reset();
    m_pending.clear();
    m_authTried = false;
    return OnError(CloseConnection());
}

int CSmtpClient::SMTPConnect(const char* server, const char* localName)
{
    SMTPClose();
    m_reply.reset();
    m_pending.clear();
    m_authTried = false;
    std::string name = localName != nullptr && localName[0] != '\0' ? localName : m_localName;
    if (name.empty())
        name = "localhost";
    if (name.find_first_of("\r\n ") != std::string::npos)
        return OnError(MAIL_BAD_ARGUMENT);
    if (server == nullptr || server[0] == '\0') {
        trace("SMTPConnect error\r\n");
        return OnError(MAIL_NO_ADDRESS);
    }
    char address[261] = {};
    if (IsAddress(server)) {
        std::snprintf(address, sizeof address, "%s", server);
    } else if (GetAddressFromName(server, address, sizeof address) != 0) {
        trace("SMTPConnect error\r\n");
        return OnError(MAIL_NO_ADDRESS);
    }
    if (Connect(m_port, address, m_connectTimeOut) != 0 || IsAborted()) {
        const bool aborted = IsAborted();
        CloseConnection();
        trace("SMTPConnect 1\r\n");
        return OnError(aborted ? MAIL_ABORTED : MAIL_CONNECT_FAILED);
    }
    auto fail = [&](int code, const char* traceText) {
        trace("%s", traceText);
        const bool aborted = IsAborted();
        CloseConnection();
        return OnError(aborted ? MAIL_ABORTED : code);
    };
    if (!is2xx(ReceiveLine(m_receiveTimeOut)))
        return fail(MAIL_NO_GREETING, "SMTPConnect 7\r\n");
    const int ehlo = Command("EHLO " + name + "\r\n");
    // An answer that is no valid reply is no 2xx either, and gets HELO; only no answer at all
    // ends here.
    const bool unreadable = ehlo == 0 && m_reply.complete() && m_reply.code() == 0;
    if (ehlo == 0 && !unreadable)
        return fail(MAIL_HELLO_REFUSED, "SMTPConnect 6\r\n");
    if (unreadable)
        m_pending.clear(); // the rest of the unreadable answer is no answer to HELO
    if (!is2xx(ehlo) && !is2xx(Command("HELO " + name + "\r\n")))
        return fail(MAIL_HELLO_REFUSED, "SMTPConnect 4\r\n");
    return OnError(MAIL_OK);
}

int CSmtpClient::SendMail(const char* to, const char* from, const char* subject, const char* body,
                          const char* cc, const char* bcc, const char* attachmentPath, int /*unused*/)
{
    CFileDataSource file(attachmentPath != nullptr ? attachmentPath : "", CWSClient::kFileBufferSize);
    return SendMailWithAttachment(to, from, subject, body, cc, bcc,
                                  attachmentPath != nullptr ? &file : nullptr, attachmentPath);
}

int CSmtpClient::SendMailWithAttachment(const char* to, const char* from, const char* subject,
                                        const char* body, const char* cc, const char* bcc,
                                        CDataSource* attachment, const char* attachmentName)
{
    if (to == nullptr || from == nullptr || subject == nullptr || body == nullptr) {
        trace("send error 1\r\n");
        return OnError(MAIL_MISSING_FIELD);
    }
    CMailMessage message;
    bool added = message.AddHeaderField(to, CMailMessage::FIELD_TO, nullptr) &&
                 message.AddHeaderField(from, CMailMessage::FIELD_FROM, nullptr) &&
                 message.AddHeaderField(subject, CMailMessage::FIELD_SUBJECT, nullptr);
    if (added && cc != nullptr && cc[0] != '\0')
        added = message.AddHeaderField(cc, CMailMessage::FIELD_CC, nullptr);
    if (added && bcc != nullptr && bcc[0] != '\0')
        added = message.AddHeaderField(bcc, CMailMessage::FIELD_BCC, nullptr);
    if (!added) {
        trace("send error 2\r\n");
        return OnError(MAIL_BAD_ARGUMENT);
    }
    if (!message.SetBody(body)) {
        trace("send error 3\r\n");
        return OnError(MAIL_BODY_TOO_LONG);
    }
    if (attachment != nullptr && message.AddAttachment(attachment, attachmentName, nullptr) != MAIL_OK) {
        trace("send error 4\r\n");
        return OnError(MAIL_ATTACHMENT_FAILED);
    }
    return SendMessage(&message);
}

int CSmtpClient::SendMessage(CMailMessage* message)
{
    if (message == nullptr)
        return OnError(MAIL_MISSING_FIELD);
    int rc = CheckMessage(*message);
    if (rc != MAIL_OK)
        return OnError(rc);

    const std::string bodyText = message->GetBody() != nullptr ? message->GetBody() : "";
    const auto bodyLength = static_cast<std::int32_t>(bodyText.size());
    CMemoryDataSource body(nullptr, bodyLength, "Body");
    if (body.Open(1) != 0 || body.Write(bodyText.data(), bodyLength) != bodyLength)
        return OnError(MAIL_NO_MEMORY);
    body.Close();
    CMailCodec* encoder = message->GetEncoder();
    const std::int32_t attachmentCount = encoder->GetAttachmentCount();
    CTempFileDataSource attachments(static_cast<std::int64_t>(encoder->GetAttachmentSize(-1)) + 4096,
                                    "Attachments", nullptr);

    // Custom fields, without those the encoder's own header lines replace.
    m_headerLines.ClearTexts();
    CTextList encoderNames;
    for (std::int32_t i = 0; i < encoder->GetGlobalHeaderCount(); ++i) {
        const std::string line = encoder->GetGlobalHeader(i);
        const auto colon = line.find(':');
        if (colon != std::string::npos && line[0] != ' ' && line[0] != '\t')
            encoderNames.AddText(line.substr(0, colon + 1).c_str());
    }
    std::string previousName;
    for (std::int32_t i = 0; const char* name = message->GetCustomFieldName(i); ++i) {
        bool replaced = false;
        for (std::int32_t n = 0; n < encoderNames.GetTextCount(); ++n)
            replaced = replaced || mime::equalsIgnoreCase(name, encoderNames.GetTextAt(n));
        if (replaced)
            continue;
        const std::string value =
            withoutTrailingBreaks(message->GetFieldValue(CMailMessage::FIELD_CUSTOM, i));
        std::string line;
        if (mime::equalsIgnoreCase(name, previousName))
            line = (!value.empty() && (value[0] == ' ' || value[0] == '\t')) ? value : " " + value;
        else
            line = std::string(name) + value;
        m_headerLines.AddText(line.c_str());
        previousName = name;
    }
    if (attachmentCount > 0) {
        for (std::int32_t i = 0; i < encoder->GetGlobalHeaderCount(); ++i)
            m_headerLines.AddText(encoder->GetGlobalHeader(i));
        rc = encoder->Encode(&body, &attachments, 0);
        if (rc != MAIL_OK) {
            trace("send error 5\r\n");
            return OnError(rc);
        }
    }

    CTextList lists[3];
    const std::int32_t ids[3] = {CMailMessage::FIELD_TO, CMailMessage::FIELD_CC, CMailMessage::FIELD_BCC};
    int total = 0;
    for (int l = 0; l < 3; ++l) {
        for (std::int32_t i = 0; const char* v = message->GetFieldValue(ids[l], i); ++i)
            SplitRecipients(v, lists[l]);
        total += lists[l].GetTextCount();
    }
    std::int64_t bytesSent = 0;
    for (int l = 0; l < 3 && rc == MAIL_OK; ++l) {
        for (std::int32_t i = 0; i < lists[l].GetTextCount() && rc == MAIL_OK; ++i) {
            if (IsAborted()) {
                rc = MAIL_ABORTED;
                break;
            }
            rc = Transact(lists[l].GetTextAt(i), message, lists[0], lists[1], total, &bytesSent, &body,
                          &attachments, attachmentCount);
        }
    }
    return OnError(rc);
}

int CSmtpClient::Authenticate()
{
    if (m_authTried || m_userLine.empty())
        return MAIL_OK;
    m_authTried = true;
    // A server that does not take AUTH LOGIN gets the mail without authentication.
    if (Command("AUTH LOGIN\r\n") != kReplyAuthChallenge)
        return MAIL_OK;
    if (Command(m_userLine + "\r\n") != kReplyAuthChallenge)
        return MAIL_NOT_ACCEPTED;
    if (!is2xx(Command(m_passwordLine + "\r\n")))
        return MAIL_NOT_ACCEPTED;
    return MAIL_OK;
}

int CSmtpClient::SendContent(CDataSource& source, std::int64_t* bytesSent, std::int64_t total,
                             SmtpDataWriter& writer)
{
    int block = GetSendBufferSize();
    if (block <= 0 || block > 999)
        block = 999;
    std::vector<char> buffer(static_cast<std::size_t>(block));
    std::string out;
    while (true) {
        if (IsAborted())
            return MAIL_ABORTED;
        const std::int32_t n = source.Read(buffer.data(), block);
        if (n <= 0)
            return MAIL_OK;
        out.clear();
        writer.write(buffer.data(), static_cast<std::size_t>(n), out);
        const int rc = SendText(out);
        if (rc != MAIL_OK)
            return rc;
        *bytesSent += n;
        if (OnSendProgress(*bytesSent, total) == 0)
            return MAIL_ABORTED;
    }
}

int CSmtpClient::Transact(const char* recipient, CMailMessage* message, const CTextList& toList,
                          const CTextList& ccList, int recipientCount, std::int64_t* bytesSent,
                          CDataSource* body, CDataSource* attachments, int attachmentCount)
{
    if (!IsConnected())
        return OnError(MAIL_CONNECT_FAILED);
    if (message == nullptr || body == nullptr || bytesSent == nullptr ||
        (attachmentCount > 0 && attachments == nullptr))
        return OnError(MAIL_BAD_ARGUMENT);
    char address[kMaxRecipientLength + 1];
    char senderAddress[kMaxRecipientLength + 1];
    if (ParseAddress(recipient, address, sizeof address) != MAIL_OK)
        return OnError(MAIL_NO_ADDRESS);
    const std::string sender = withoutTrailingBreaks(concatenated(*message, CMailMessage::FIELD_FROM));
    if (sender.size() > static_cast<std::size_t>(kMaxSenderLength))
        return OnError(MAIL_TOO_LONG);
    if (ParseAddress(sender.c_str(), senderAddress, sizeof senderAddress) != MAIL_OK)
        return OnError(MAIL_NO_ADDRESS);
    const std::string subject = withoutTrailingBreaks(concatenated(*message, CMailMessage::FIELD_SUBJECT));
    if (subject.size() > static_cast<std::size_t>(kMaxSenderLength))
        return OnError(MAIL_TOO_LONG);

    CDataSource& content = attachmentCount > 0 ? *attachments : *body;
    if (content.Open(0) != 0)
        return OnError(MAIL_SOURCE_OPEN_FAILED);
    auto finish = [&](int rc) {
        content.Close();
        if (rc != MAIL_OK && IsAborted())
            rc = MAIL_ABORTED;
        return OnError(rc);
    };
    const std::int32_t size = std::max<std::int32_t>(content.Seek(0, 2), 0);
    content.Seek(0, 0);
    const std::int64_t total = static_cast<std::int64_t>(size) * std::max(recipientCount, 1);

    int rc = Authenticate();
    if (rc != MAIL_OK)
        return finish(rc);
    if (!is2xx(Command("MAIL FROM:<" + std::string(senderAddress) + ">\r\n")))
        return finish(MAIL_NOT_ACCEPTED);
    if (!is2xx(Command("RCPT TO:<" + std::string(address) + ">\r\n")))
        return finish(MAIL_RCPT_REFUSED);
    if (Command("DATA\r\n") != kReplyStartMailInput)
        return finish(MAIL_DATA_REFUSED);

    char date[64];
    GetRfc822Date(date, sizeof date);
    std::string header = "From: " + sender + "\r\nTo: " + joinFolded(toList) + "\r\nSubject: " + subject +
                         "\r\nDate: " + date + "\r\n";
    if (ccList.GetTextCount() > 0)
        header += "Cc: " + joinFolded(ccList) + "\r\n";
    for (std::int32_t i = 0; i < m_headerLines.GetTextCount(); ++i) {
        header += m_headerLines.GetTextAt(i);
        if (!EndsWithLineBreak(m_headerLines.GetTextAt(i)))
            header += "\r\n";
    }
    header += "\r\n";
    SmtpDataWriter writer;
    writer.setHeaderMode(true);
    std::string out;
    writer.write(header.data(), header.size(), out);
    rc = SendText(out);
    if (rc != MAIL_OK)
        return finish(rc);
    writer.setHeaderMode(false);
    rc = SendContent(content, bytesSent, total, writer);
    if (rc != MAIL_OK)
        return finish(rc);
    out.clear();
    writer.finish(out);
    rc = SendText(out);
    if (rc != MAIL_OK)
        return finish(rc);
    if (!is2xx(ReceiveLine(m_receiveTimeOut)))
        return finish(MAIL_NOT_ACCEPTED);
    return finish(MAIL_OK);
}

} // namespace tessivor
