// The cameras' own HTTP/1.0 requests ("/CONFIG.CGI" and "/IOCONTROL.CGI") and the parsers of
// their answers. The texts are built and read here; connecting and reading are the caller's.
// Every parser looks only at the bytes it is given (no terminator needed) and keeps no state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessivor::camproto {

struct CameraRequest
{
    std::string method = "GET";
    std::string path; // begins with "/"
    bool viaProxy = false;
    std::string remoteHost; // the camera, named in the proxy form
    int remotePort = 80;
    std::string proxyExtraLine; // a line the proxy form carries right after its request line
    std::string userAgent = "agent name";
    std::string lengthLine;    // e.g. "Content-length:0"; empty: none
    std::string authorization; // the Base64 code of "user:password"
    std::string body;          // after the empty line
};

// The request line, the proxy lines, "User-Agent", the length line, "Authorization: Basic", an
// empty line and the body, each line ended by CR LF. Nullopt when a text that goes into a line
// holds CR, LF or NUL (it could end the line early).
std::optional<std::string> buildCameraRequest(const CameraRequest& request);

// ---- "/CONFIG.CGI" answer ----

struct ConfigAnswerHead
{
    std::size_t contentLength = 0;
    std::size_t bodyStart = 0; // offset of the first body byte in the text
};
// Good when the text holds " 200 ", a "Content-Length:" line of 1 to 20 characters up to its CR LF
// whose number follows the 15 characters of the name, and the blank line ending the head.
std::optional<ConfigAnswerHead> parseConfigAnswerHead(std::string_view text);

// ---- "/IOCONTROL.CGI" answers ----

// The camera refused the credentials: "Password Error" anywhere, or "401" or "407" starting
// within the first 20 bytes.
bool answerRefusesLogin(std::string_view text);

struct CameraDateTime
{
    std::int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
// "200 OK" and "Date_manual=Y-M-D&Time_manual=h:m:s\r\n"; each piece at least one character and
// 0 to 32767 in decimal.
std::optional<CameraDateTime> parseDateTimeAnswer(std::string_view text);

struct TriggerValues
{
    std::int32_t trigger1 = 0;
    std::int32_t trigger2 = 0;
};
// "HTTP/1.0 200 OK\r\n", the head's blank line and a second blank line after it, and in the body
// "Trigger1=a&Trigger2=b&ImageUpload=": a and b decimal, 1 to 9 characters, 0 or more.
std::optional<TriggerValues> parseTriggerAnswer(std::string_view text);

} // namespace tessivor::camproto
