#include "camproto/camera_http.h"

#include <algorithm>

namespace tessivor::camproto {

namespace {

constexpr std::size_t kAuthStatusWindow = 20;
constexpr std::size_t kLengthLineMax = 20;
constexpr std::size_t kTriggerDigitsMax = 9;
constexpr long kDateTimeMax = 32767;

bool fitsLine(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Decimal digits only; nullopt for an empty or non-decimal text or one above `limit`.
std::optional<long> strictDecimal(std::string_view text, std::size_t maxDigits, long limit)
{
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > limit)
            return std::nullopt;
    }
    return v;
}

// The text between `from` (which starts after a key) and `until`; nullopt when `until` is missing.
std::optional<std::string_view> pieceUntil(std::string_view text, std::size_t& from, std::string_view until)
{
    const auto end = text.find(until, from);
    if (end == std::string_view::npos)
        return std::nullopt;
    const std::string_view piece = text.substr(from, end - from);
    from = end + until.size();
    return piece;
}

} // namespace

std::optional<std::string> buildCameraRequest(const CameraRequest& r)
{
    for (std::string_view t :
         {std::string_view(r.method), std::string_view(r.path), std::string_view(r.remoteHost),
          std::string_view(r.proxyExtraLine), std::string_view(r.userAgent), std::string_view(r.lengthLine),
          std::string_view(r.authorization)})
        if (!fitsLine(t))
            return std::nullopt;
    std::string out;
    if (r.viaProxy) {
        out = r.method + " HTTP://" + r.remoteHost + ":" + std::to_string(r.remotePort) + r.path +
              " HTTP/1.0\r\n";
        if (!r.proxyExtraLine.empty())
            out += r.proxyExtraLine + "\r\n";
        out += "Proxy-Connection: Keep-Alive\r\nHost: " + r.remoteHost + "\r\n";
    } else {
        out = r.method + " " + r.path + " HTTP/1.0\r\n";
    }
    out += "User-Agent: " + r.userAgent + "\r\n";
    if (!r.lengthLine.empty())
        out += r.lengthLine + "\r\n";
    out += "Authorization: Basic " + r.authorization + "\r\n\r\n";
    out += r.body;
    return out;
}

std::optional<ConfigAnswerHead> parseConfigAnswerHead(std::string_view text)
{
    static constexpr std::string_view kName = "Content-Length:";
    const auto blank = text.find("\r\n\r\n");
    if (text.find(" 200 ") == std::string_view::npos || blank == std::string_view::npos)
        return std::nullopt;
    const auto name = text.find(kName);
    if (name == std::string_view::npos || name > blank)
        return std::nullopt;
    const auto lineEnd = text.find("\r\n", name);
    const std::size_t lineLength = lineEnd - name;
    if (lineLength < 1 || lineLength > kLengthLineMax)
        return std::nullopt;
    std::string_view number = text.substr(name + kName.size(), lineLength - kName.size());
    while (!number.empty() && number.front() == ' ')
        number.remove_prefix(1);
    const auto n = strictDecimal(number, 5, 1 << 20);
    if (!n)
        return std::nullopt;
    return ConfigAnswerHead{static_cast<std::size_t>(*n), blank + 4};
}

bool answerRefusesLogin(std::string_view text)
{
    if (text.find("Password Error") != std::string_view::npos)
        return true;
    const std::string_view start = text.substr(0, kAuthStatusWindow + 2);
    for (std::string_view code : {"401", "407"}) {
        const auto at = start.find(code);
        if (at != std::string_view::npos && at < kAuthStatusWindow)
            return true;
    }
    return false;
}

std::optional<CameraDateTime> parseDateTimeAnswer(std::string_view text)
{
    static constexpr std::string_view kDate = "Date_manual=";
    static constexpr std::string_view kTime = "&Time_manual=";
    if (text.find("200 OK") == std::string_view::npos)
        return std::nullopt;
    const auto key = text.find(kDate);
    if (key == std::string_view::npos)
        return std::nullopt;
    std::size_t at = key + kDate.size();
    std::array<std::optional<std::string_view>, 6> pieces;
    pieces[0] = pieceUntil(text, at, "-");
    if (pieces[0])
        pieces[1] = pieceUntil(text, at, "-");
    if (pieces[1])
        pieces[2] = pieceUntil(text, at, kTime);
    if (pieces[2])
        pieces[3] = pieceUntil(text, at, ":");
    if (pieces[3])
        pieces[4] = pieceUntil(text, at, ":");
    if (pieces[4])
        pieces[5] = pieceUntil(text, at, "\r\n");
    std::array<std::int16_t, 6> v{};
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const auto n = pieces[i] ? strictDecimal(*pieces[i], 5, kDateTimeMax) : std::nullopt;
        if (!n)
            return std::nullopt;
        v[i] = static_cast<std::int16_t>(*n);
    }
    return CameraDateTime{v[0], v[1], v[2], v[3], v[4], v[5]};
}

std::optional<TriggerValues> parseTriggerAnswer(std::string_view text)
{
    if (text.find("HTTP/1.0 200 OK\r\n") == std::string_view::npos)
        return std::nullopt;
    const auto head = text.find("\r\n\r\n");
    if (head == std::string_view::npos || text.find("\r\n\r\n", head + 4) == std::string_view::npos)
        return std::nullopt;
    const std::string_view body = text.substr(head + 4);
    const auto t1 = body.find("Trigger1=");
    if (t1 == std::string_view::npos)
        return std::nullopt;
    std::size_t at = t1 + 9;
    const auto a = pieceUntil(body, at, "&Trigger2=");
    const auto b = a ? pieceUntil(body, at, "&ImageUpload=") : std::nullopt;
    if (!a || !b)
        return std::nullopt;
    const auto v1 = strictDecimal(*a, kTriggerDigitsMax, 999999999);
    const auto v2 = strictDecimal(*b, kTriggerDigitsMax, 999999999);
    if (!v1 || !v2)
        return std::nullopt;
    return TriggerValues{static_cast<std::int32_t>(*v1), static_cast<std::int32_t>(*v2)};
}

} // namespace tessivor::camproto
