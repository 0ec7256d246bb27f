// CSmtpClient: sends e-mail messages to one SMTP server over a blocking TCP connection
// (RFC 5321): greeting and EHLO (or HELO), AUTH LOGIN (RFC 4954) once per connection when a user
// name is set, one transaction per recipient (MAIL FROM, RCPT TO, DATA), MIME multipart content
// when the message has attachments, and QUIT.
//
// Every wait is cut into slices of at most kWaitSliceMs and asks IsAborted between them, so a
// derived class that answers IsAborted from a stop flag ends a stalled dialogue within one
// slice. Results are 0 or a MailError code (mail/mail_errors.h), passed through OnError.
//
// Everything the message holds is checked before the first command of a transaction is sent
// (CheckMessage), so nothing that would break the dialogue or the header reaches the server:
// texts with CR, LF or NUL where no line break belongs, recipients without a usable address, a
// message without recipients. A caller can run the same check before connecting.
//
// One thread uses a client at a time.
#pragma once

#include "io/ws_client.h"
#include "mail/smtp_reply.h"
#include "mail/text_list.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessivor {

class CDataSource;
class CMailMessage;

class CSmtpClient : public CWSClient
{
public:
    static constexpr int kWaitSliceMs = 100;
    static constexpr int kMaxSenderLength = 999;
    static constexpr int kMaxRecipientLength = 1000;
    static constexpr int kFoldAt = 250; // "To" and "Cc" lines are folded past this many characters
    static constexpr std::size_t kMaxAccountLine = 259; // characters of each AUTH LOGIN line
    static constexpr int kLocalNameStored = -1;         // SetLocalName's one answer

    CSmtpClient();
    // Empties the header-line list; the base class closes the socket.
    ~CSmtpClient() override;

    using CWSClient::OnSendProgress;

    // One mail transaction for `recipient` (see SendMessage).
    virtual int Transact(const char* recipient, CMailMessage* message, const CTextList& toList,
                         const CTextList& ccList, int recipientCount, std::int64_t* bytesSent,
                         CDataSource* body, CDataSource* attachments, int attachmentCount);
    // Called after each block of message data; 0 aborts the transfer (MAIL_ABORTED). Answers
    // !IsAborted().
    virtual int OnSendProgress(std::int64_t sent, std::int64_t total);
    // Ends an earlier connection, connects to port GetPort() of `server` (a dotted address or a
    // name), reads the greeting and says EHLO (HELO when EHLO is refused) with `localName`.
    // MAIL_NO_ADDRESS name not found, MAIL_CONNECT_FAILED no connection, MAIL_NO_GREETING no 2xx
    // greeting, MAIL_HELLO_REFUSED EHLO and HELO refused, MAIL_ABORTED told to stop. A failed
    // connect leaves no connection open.
    virtual int SMTPConnect(const char* server, const char* localName);
    // Sends "QUIT" when connected (without waiting for its answer) and closes.
    virtual int SMTPClose();
    // Builds a message (To, From, Subject, Cc and Bcc when not empty, the body, the attachment
    // file when given) and sends it. MAIL_MISSING_FIELD when to, from, subject or body is null;
    // MAIL_BAD_ARGUMENT when a field cannot be added; MAIL_BODY_TOO_LONG; MAIL_ATTACHMENT_FAILED
    // when the attachment is not added.
    virtual int SendMail(const char* to, const char* from, const char* subject, const char* body,
                         const char* cc, const char* bcc, const char* attachmentPath, int unused);
    // As SendMail, with the attachment read from `attachment` (null: none), which is named
    // `attachmentName` in the message as a file attachment is named after its path.
    int SendMailWithAttachment(const char* to, const char* from, const char* subject, const char* body,
                               const char* cc, const char* bcc, CDataSource* attachment,
                               const char* attachmentName);
    // Sends the message to each of its "To", "Cc" and "Bcc" recipients in a transaction of its
    // own. MAIL_MISSING_FIELD when it has no recipient.
    virtual int SendMessage(CMailMessage* message);
    // The AUTH LOGIN lines, already Base64-encoded; each up to kMaxAccountLine characters (longer:
    // MAIL_TOO_LONG, and nothing changes). A text with CR or LF is refused with MAIL_BAD_ARGUMENT.
    virtual int SetAccount(const char* userLine, const char* passwordLine);

    // Stores the name (or "." for null); kLocalNameStored.
    int SetLocalName(const char* name);
    // Seconds above 0; MAIL_BAD_ARGUMENT (and the old value stays) otherwise. These replace the
    // base class's millisecond setters of the same names for users of this class.
    int SetConnectTimeOut(int seconds);
    int SetReceiveTimeOut(int seconds);
    int GetConnectTimeOut() const { return m_connectTimeOut; }
    int GetReceiveTimeOut() const { return m_receiveTimeOut; }
    int SetPort(int port);
    int GetPort() const { return m_port; }

    // The mail address in a recipient text: the text after the first "<" that stands outside
    // double quotes, up to the next ">"; without such a "<" the first blank-separated word. 0, or
    // MAIL_NO_ADDRESS for a text shorter than 3 characters, an empty address, an unclosed "<", an
    // address holding blanks, controls, "<" or ">", or one that does not fit `size`.
    static int ParseAddress(const char* text, char* output, int size);
    // Reads one complete reply within `timeoutSeconds`; its code, or 0 on time-out, abort, a
    // closed connection or a malformed reply.
    int ReceiveLine(int timeoutSeconds);
    // The current local time as a "Date" header value, with the real zone offset:
    // "Tue, 08 Dec 2026 09:15:03 +0100". MAIL_BAD_ARGUMENT (buffer untouched) when size is below
    // 32.
    static int GetRfc822Date(char* output, int size);
    // Checks a message before anything is sent (see the top of this file): 0, MAIL_BAD_ARGUMENT
    // (a text that would break the header), MAIL_TOO_LONG (sender or subject too long),
    // MAIL_NO_ADDRESS (an address that cannot be used), MAIL_MISSING_FIELD (no recipient).
    static int CheckMessage(CMailMessage& message);
    // Splits a recipient text at CR, LF, tab and comma into trimmed entries (no empty ones).
    static void SplitRecipients(const char* text, CTextList& out);
    // The lines of the last reply read.
    const std::vector<std::string>& GetLastReply() const { return m_reply.lines(); }

protected:
    // Sends all of `text`: 0, MAIL_ABORTED when aborted, MAIL_SEND_INCOMPLETE when it cannot be
    // sent within the receive time-out.
    int SendText(const std::string& text);
    // Sends a command line and reads its reply; the reply code (0 when none).
    int Command(const std::string& line);

private:
    int Authenticate();
    int SendContent(CDataSource& source, std::int64_t* bytesSent, std::int64_t total,
                    class SmtpDataWriter& writer);

    CTextList m_headerLines;
    int m_port = 25;
    int m_connectTimeOut = 30;
    int m_receiveTimeOut = 30;
    std::string m_userLine;
    std::string m_passwordLine;
    std::string m_localName;
    SmtpReplyParser m_reply;
    std::string m_pending; // bytes received after the last complete reply
    bool m_authTried = false;
};

} // namespace tessivor
