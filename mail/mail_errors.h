// Result codes of the e-mail library (message, codecs, SMTP client) and their texts: the one list
// of them. 0 is success; the numbers are fixed because the control maps them onto its events
// (control/mail_job.cpp). Data sources answer -1 instead.
#pragma once

#include <cstdint>

namespace tessivor {

enum MailError : std::int32_t
{
    MAIL_OK = 0,
    MAIL_BAD_ARGUMENT = 1,   // also: not a message this codec decodes
    MAIL_NO_GREETING = 5,    // the server's greeting was not 2xx (or none came)
    MAIL_CONNECT_FAILED = 6, // no TCP connection (or none open for a transaction)
    MAIL_UU_NO_BEGIN = 7,    // no "begin " line where the block should start
    MAIL_NOT_ACCEPTED = 12,  // a 2xx reply was expected and another came
    // The socket client's own connect failure (CWSClient::WSC_CONNECT_FAILED). SMTPConnect reports
    // a failed connect as MAIL_CONNECT_FAILED, so the client does not return it today; the e-mail
    // job still gives it an event of its own.
    MAIL_SOCKET_CONNECT_FAILED = 19,
    MAIL_SEND_INCOMPLETE = 22,    // a block of the message was not sent whole
    MAIL_UU_TRUNCATED = 33,       // the data ends inside a uuencoded block, or a line is short
    MAIL_TOO_LONG = 35,           // a text does not fit where it has to go
    MAIL_NO_SUCH_ATTACHMENT = 39, // no attachment with that index
    MAIL_DATA_REFUSED = 52,       // DATA was not answered with 354
    MAIL_HELLO_REFUSED = 54,      // EHLO and HELO not accepted
    MAIL_RCPT_REFUSED = 67,       // RCPT TO was not answered with 2xx
    MAIL_MSG_OPEN_FAILED = 74,    // the message's source cannot be opened
    MAIL_MSG_CLOSE_FAILED = 75,   // the message's source cannot be closed
    MAIL_MSG_WRITE_FAILED = 76,   // a line of the message cannot be written
    MAIL_BODY_TOO_LONG = 79,      // the body does not fit the message object
    MAIL_ATTACHMENT_FAILED = 80,  // the attachment cannot be added (file cannot be opened)
    MAIL_SOURCE_OPEN_FAILED = 81, // a data source cannot be opened
    MAIL_SOURCE_CLOSE_FAILED = 82,
    MAIL_SHORT_WRITE = 83,    // a write stored fewer bytes than given
    MAIL_NUL_IN_7BIT = 84,    // a NUL byte in 7BIT text
    MAIL_LINE_TOO_LONG = 85,  // a line longer than the encoding allows
    MAIL_ABORTED = 98,        // the operation was told to stop
    MAIL_NO_ADDRESS = 100,    // the server name does not resolve, or an address cannot be taken
    MAIL_MISSING_FIELD = 106, // no recipient, sender, subject or body; for codecs: no attachment
    MAIL_NO_MEMORY = 108,
    // Returned by no operation of the library; the e-mail job keeps an event for it.
    MAIL_RESERVED_145 = 145,
    MAIL_BINHEX = -1, // BinHex 4.0 is not provided
};

// A short English text for a result code (for traces and test messages).
const char* MailErrorText(std::int32_t code);

} // namespace tessivor
