// Firmware upload texts, answers and the download request (see firmware_upload.h).
#include "camproto/firmware_upload.h"

#include <algorithm>

namespace tessivor::camproto {

namespace {

const char kHex[] = "0123456789ABCDEF";

} // namespace

std::string multipartBoundary(std::time_t now)
{
    return "-----------------" + std::to_string(static_cast<long long>(now));
}

std::string quoteMultipartFileName(std::string_view path)
{
    std::string out;
    out.reserve(path.size());
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c < 0x20 || c == 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

MultipartBody buildMultipartBody(std::string boundary, std::string_view filePath, std::string_view cookie)
{
    std::string safeCookie;
    std::copy_if(cookie.begin(), cookie.end(), std::back_inserter(safeCookie),
                 [](char c) { return c != '\r' && c != '\n'; });
    MultipartBody b;
    b.boundary = std::move(boundary);
    const std::string& B = b.boundary;
    b.head = "--" + B + "\r\nContent-Disposition: form-data; name=\"filename\"; filename=\"" +
             quoteMultipartFileName(filePath) + "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    b.tail = "\r\n--" + B + "\r\nContent-Disposition: form-data; name=\"B1\"\r\n\r\nUpload\r\n--" + B +
             "\r\nContent-Disposition: form-data; name=\"f_CookieValue\"\r\n\r\n" + safeCookie + "\r\n--" +
             B + "--\r\n";
    return b;
}

std::string multipartHeaderLines(const MultipartBody& body, std::uint64_t fileSize)
{
    return "Content-Type: multipart/form-data; boundary=" + body.boundary +
           "\r\nContent-Length: " + std::to_string(body.contentLength(fileSize)) +
           "\r\nConnection: Keep-Alive\r\nCache-Control: no-cache\r\n\r\n";
}

std::string octetHeaderLines(std::string_view userName, std::string_view credentialCode,
                             std::uint64_t fileSize)
{
    return "Content-Type: application/octet-stream\r\nUser-Agent: " + std::string(userName) +
           "\r\nAuthorization: Basic " + std::string(credentialCode) +
           "\r\nContent-Length: " + std::to_string(fileSize) + "\r\nConnection: Keep-Alive\r\n\r\n";
}

UploadAnswer classifyUploadAnswer(std::string_view received, std::string_view accepted)
{
    if (received.empty())
        return UploadAnswer::NoAnswer;
    const auto end = received.find("\r\n\r\n");
    if (end == std::string_view::npos)
        return UploadAnswer::NoHeadEnd;
    return received.substr(0, end).find(accepted) != std::string_view::npos ? UploadAnswer::Accepted
                                                                            : UploadAnswer::Refused;
}

std::array<std::uint8_t, kRequestDownloadSize> buildRequestDownload(std::uint16_t sequence, const Mac& mac,
                                                                    const IPv4& ip)
{
    RequestHeader h;
    h.sequence = sequence;
    h.opcode = Opcode::RequestDownload;
    h.mac = mac;
    h.ip = ip;
    h.marker = RequestMarker::Plain;
    return buildRequestHeader(h);
}

std::optional<std::uint16_t> requestDownloadResult(std::span<const std::uint8_t> reply,
                                                   std::uint16_t sequence, const Mac& mac)
{
    if (reply.size() < kRequestDownloadSize)
        return std::nullopt;
    const ReplyHeader h = parseReplyHeader(reply);
    if (h.sequence != sequence || h.mac != mac)
        return std::nullopt;
    return h.status; // bytes 16-17, low byte first
}

} // namespace tessivor::camproto
