// CSmtpClient: sends e-mail messages to one SMTP server over a blocking TCP connection
// (RFC 5321): greeting and EHLO (or HELO), AUTH LOGIN (RFC 4954) once per connection when a user
// name is set, one transaction per recipient (MAIL FROM, RCPT TO, DATA), MIME multipart content
// when the message has attachments, and QUIT.
//
// Every wait is cut into slices of at most kWaitSliceMs and asks IsAborted between them, so a
// derived class that answers IsAborted from a stop flag ends a stalled dialogue within one
// slice. Results are 0 or a MailError code, passed through OnError.
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

    CSmtpClient();
    // Empties the header-line list; the base class closes the socket.
    ~CSmtpClient() override;

    using CWSClient::OnSendProgress;

    // One mail transaction for `recipient` (see SendMessage).
    virtual int Transact(const char* recipient, CMailMessage* message, const CTextList& toList,
                         const CTextList& ccList, int recipientCount, std::int64_t* bytesSent,
                         CDataSource* body, CDataSource* attachments, int attachmentCount);
    // Called after each block of message data; 0 aborts the transfer (98). Answers !IsAborted().
    virtual int OnSendProgress(std::int64_t sent, std::int64_t total);
    // Ends an earlier connection, connects to port GetPort() of `server` (a dotted address or a
    // name), reads the greeting and says EHLO (HELO when EHLO is refused) with `localName`.
    // 100 name not found, 6 no connection, 5 no 2xx greeting, 54 EHLO and HELO refused, 98 told
    // to stop. A failed connect leaves no connection open.
    virtual int SMTPConnect(const char* server, const char* localName);
    // Sends "QUIT" when connected (without waiting for its answer) and closes.
    virtual int SMTPClose();
    // Builds a message (To, From, Subject, Cc and Bcc when not empty, the body, the attachment
    // file when given) and sends it. 106 when to, from, subject or body is null; 1 when a field
    // cannot be added; 79 body too long; 80 attachment not added.
    virtual int SendMail(const char* to, const char* from, const char* subject, const char* body,
                         const char* cc, const char* bcc, const char* attachmentPath, int unused);
    // Sends the message to each of its "To", "Cc" and "Bcc" recipients in a transaction of its
    // own. 106 when it has no recipient.
    virtual int SendMessage(CMailMessage* message);
    // The AUTH LOGIN lines, already Base64-encoded; each up to 259 characters (longer: 35, and
    // nothing changes). A text with CR or LF is refused with 1.
    virtual int SetAccount(const char* userLine, const char* passwordLine);

    // Stores the name (or "." for null); -1.
    int SetLocalName(const char* name);
    // Seconds above 0; 1 (and the old value stays) otherwise. These replace the base class's
    // millisecond setters of the same names for users of this class.
    int SetConnectTimeOut(int seconds);
    int SetReceiveTimeOut(int seconds);
    int GetConnectTimeOut() const { return m_connectTimeOut; }
    int GetReceiveTimeOut() const { return m_receiveTimeOut; }
    int SetPort(int port);
    int GetPort() const { return m_port; }

    // The mail address in a recipient text: the text after the first "<" that stands outside
    // double quotes, up to the next ">"; without such a "<" the first blank-separated word. 0, or
    // 100 for a text shorter than 3 characters, an empty address, an unclosed "<", an address
    // holding blanks, controls, "<" or ">", or one that does not fit `size`.
    static int ParseAddress(const char* text, char* output, int size);
    // Reads one complete reply within `timeoutSeconds`; its code, or 0 on time-out, abort, a
    // closed connection or a malformed reply.
    int ReceiveLine(int timeoutSeconds);
    // The current local time as a "Date" header value, with the real zone offset:
    // "Tue, 08 Dec 2026 09:15:03 +0100". 1 (buffer untouched) when size is below 32.
    static int GetRfc822Date(char* output, int size);
    // Checks a message before anything is sent (see the top of this file): 0, 1 (a text that
    // would break the header), 35 (sender or subject too long), 100 (an address that cannot be
    // used), 106 (no recipient).
    static int CheckMessage(CMailMessage& message);
    // Splits a recipient text at CR, LF, tab and comma into trimmed entries (no empty ones).
    static void SplitRecipients(const char* text, CTextList& out);
    // The lines of the last reply read.
    const std::vector<std::string>& GetLastReply() const { return m_reply.lines(); }

protected:
    // Sends all of `text`: 0, 98 when aborted, 22 when it cannot be sent within the receive
    // time-out.
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
