#include "mail/mail_errors.h"

namespace tessivor {

const char* MailErrorText(std::int32_t code)
{
    switch (code) {
    case MAIL_OK:
        return "success";
    case MAIL_BAD_ARGUMENT:
        return "bad argument or not decodable";
    case MAIL_NO_GREETING:
        return "no greeting from the server";
    case MAIL_CONNECT_FAILED:
        return "connection failed";
    case MAIL_UU_NO_BEGIN:
        return "no begin line";
    case MAIL_NOT_ACCEPTED:
        return "command not accepted";
    case MAIL_SOCKET_CONNECT_FAILED:
        return "socket connect failed";
    case MAIL_SEND_INCOMPLETE:
        return "data not sent whole";
    case MAIL_UU_TRUNCATED:
        return "uuencoded data truncated";
    case MAIL_TOO_LONG:
        return "text too long";
    case MAIL_NO_SUCH_ATTACHMENT:
        return "no such attachment";
    case MAIL_DATA_REFUSED:
        return "DATA refused";
    case MAIL_HELLO_REFUSED:
        return "EHLO and HELO refused";
    case MAIL_RCPT_REFUSED:
        return "recipient refused";
    case MAIL_MSG_OPEN_FAILED:
        return "message source cannot be opened";
    case MAIL_MSG_CLOSE_FAILED:
        return "message source cannot be closed";
    case MAIL_MSG_WRITE_FAILED:
        return "message line cannot be written";
    case MAIL_BODY_TOO_LONG:
        return "body too long";
    case MAIL_ATTACHMENT_FAILED:
        return "attachment cannot be added";
    case MAIL_SOURCE_OPEN_FAILED:
        return "data source cannot be opened";
    case MAIL_SOURCE_CLOSE_FAILED:
        return "data source cannot be closed";
    case MAIL_SHORT_WRITE:
        return "short write";
    case MAIL_NUL_IN_7BIT:
        return "NUL byte in 7BIT text";
    case MAIL_LINE_TOO_LONG:
        return "line too long for the encoding";
    case MAIL_ABORTED:
        return "aborted";
    case MAIL_NO_ADDRESS:
        return "name or address not usable";
    case MAIL_MISSING_FIELD:
        return "missing recipient, sender, subject, body or attachment";
    case MAIL_NO_MEMORY:
        return "out of memory";
    case MAIL_RESERVED_145:
        return "reserved error 145";
    case MAIL_BINHEX:
        return "BinHex not provided";
    default:
        return "error";
    }
}

} // namespace tessivor
