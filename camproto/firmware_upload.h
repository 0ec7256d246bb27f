// The texts and answers of the firmware uploads over HTTP, and the datagram that readies a native
// camera for a TFTP download.
//
// Multipart upload (Kestra family): one POST whose body is, with B the boundary and CR LF line
// ends,
//
//   --B
//   Content-Disposition: form-data; name="filename"; filename="PATH"
//   Content-Type: application/octet-stream
//   <empty line>
//   <file bytes>
//   --B
//   Content-Disposition: form-data; name="B1"
//   <empty line>
//   Upload
//   --B
//   Content-Disposition: form-data; name="f_CookieValue"
//   <empty line>
//   <cookie>
//   --B--
//
// PATH is quoted the way browsers quote a file name: '"', CR, LF and the other control bytes
// become %XX, so that no name can end the quoted string or the header line. The cookie loses CR
// and LF for the same reason. The Content-Length counts exactly the bytes that are sent.
//
// Octet upload (Protocol 4 cameras): the whole body is the file.
#pragma once

#include "camproto/discovery_header.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessivor::camproto {

// "-----------------" followed by the seconds since 1970.
std::string multipartBoundary(std::time_t now);

// The file name as it stands between the double quotes of the part head.
std::string quoteMultipartFileName(std::string_view path);

struct MultipartBody
{
    std::string boundary;
    std::string head; // from the first "--B" through the empty line before the file bytes
    std::string tail; // from the CR LF after the file bytes through the closing "--B--" line
    std::uint64_t contentLength(std::uint64_t fileSize) const { return head.size() + fileSize + tail.size(); }
};

MultipartBody buildMultipartBody(std::string boundary, std::string_view filePath, std::string_view cookie);

// The header lines of the multipart POST after its request line, through the empty line.
std::string multipartHeaderLines(const MultipartBody& body, std::uint64_t fileSize);
// The header lines of the octet POST after its request line, through the empty line.
std::string octetHeaderLines(std::string_view userName, std::string_view credentialCode,
                             std::uint64_t fileSize);

// What an upload's answer head says (the control's longErrCode values).
enum class UploadAnswer
{
    Accepted = 20,
    Refused = 26,   // no "302" (multipart) or "200" (octet)
    NoAnswer = 25,  // nothing received
    NoHeadEnd = 27, // no empty line
};
// `received` is what arrived of the answer; `accepted` the status text that counts as success.
UploadAnswer classifyUploadAnswer(std::string_view received, std::string_view accepted);

// ---- RequestDownload ----

inline constexpr std::size_t kRequestDownloadSize = kHeaderSize; // request and reply

std::array<std::uint8_t, kRequestDownloadSize> buildRequestDownload(std::uint16_t sequence, const Mac& mac,
                                                                    const IPv4& ip);
// The reply's result word when it answers the request (same sequence number and MAC).
std::optional<std::uint16_t> requestDownloadResult(std::span<const std::uint8_t> reply,
                                                   std::uint16_t sequence, const Mac& mac);

} // namespace tessivor::camproto
