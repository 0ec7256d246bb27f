// The image-settings datagram and page (see image_settings.h).
#include "camproto/image_settings.h"

#include "camproto/packet_fields.h"

#include <algorithm>
#include <cstring>

namespace tessivor::camproto {

namespace {

constexpr int kUdpAttempts = 2;
constexpr int kUdpWaitSeconds = 6;
constexpr std::size_t kReplyBuffer = 64;

} // namespace

ImageSettingsDatagram buildImageSettingsRequest(const ImageSettingsRequest& request)
{
    ImageSettingsDatagram d = {0xFD,
                               0xFD,
                               static_cast<std::uint8_t>(request.sequence >> 8),
                               static_cast<std::uint8_t>(request.sequence & 0xFF),
                               0x00,
                               0x21};
    std::memcpy(d.data() + 6, request.mac.data(), 6);
    std::memcpy(d.data() + 12, request.ip.data(), 4);
    return d;
}

ReplyCheck parseImageSettingsReply(std::span<const std::uint8_t> reply, const ImageSettingsDatagram& request,
                                   ImageSettingValues* values)
{
    if (reply.size() < kImageSettingsReplySize)
        return ReplyCheck::TooShort;
    if (std::memcmp(reply.data() + 2, request.data() + 2, 2) != 0 ||
        std::memcmp(reply.data() + 6, request.data() + 6, 6) != 0)
        return ReplyCheck::Foreign;
    for (std::size_t i = 0; i < kImageSettingCount; ++i)
        (*values)[i] = static_cast<std::int16_t>(reply[18 + 2 * i] | (reply[19 + 2 * i] << 8));
    return ReplyCheck::Values;
}

ImageSettingsResult readImageSettingsDatagram(CWSClient& s, const ImageSettingsRequest& request)
{
    using S = ImageSettingsResult::Status;
    ImageSettingsResult result;
    const ImageSettingsDatagram datagram = buildImageSettingsRequest(request);
    for (int attempt = 0; attempt < kUdpAttempts; ++attempt) {
        s.CloseConnection();
        if (s.CreateUdpSocket(0, kImageSettingsPort, request.host.c_str(), "") != 0) {
            result.status = S::SocketFailed;
            return result;
        }
        int length = static_cast<int>(datagram.size());
        if (s.SendTo(datagram.data(), &length) != 0 || length != static_cast<int>(datagram.size())) {
            s.CloseConnection();
            result.status = S::SendFailed;
            return result;
        }
        std::uint8_t reply[kReplyBuffer] = {};
        int size = sizeof reply;
        const int got = s.ReceiveFrom(reply, &size, kUdpWaitSeconds);
        s.CloseConnection();
        // A reply larger than the buffer still carries its first bytes (result 1).
        if (got != 0 && got != 1)
            continue; // nothing: one attempt used
        const auto check = parseImageSettingsReply(
            std::span<const std::uint8_t>(reply, static_cast<std::size_t>(std::max(0, size))), datagram,
            &result.values);
        if (check == ReplyCheck::TooShort)
            continue; // too short to hold the seven values: one attempt used
        result.status = check == ReplyCheck::Values ? S::Read : S::Foreign;
        return result;
    }
    result.status = S::NoAnswer;
    return result;
}

ImageSettingsPage parseImageSettingsPage(std::string_view body)
{
    // Each value lies between its name and the name of the next, the last one before the line end.
    struct Field
    {
        std::string_view name;
        std::string_view next;
    };
    static constexpr Field kFields[kImageSettingCount] = {
        {"Video_Mode=", "&Compress="},    {"Compress=", "&Frame_Rate="},
        {"Frame_Rate=", "&Bright_cntl="}, {"Bright_cntl=", "&Contrast_cntl="},
        {"Contrast_cntl=", "&Hue_cntl="}, {"Hue_cntl=", "&Light_Freq="},
        {"Light_Freq=", "\r\n"},
    };
    ImageSettingsPage page;
    for (std::size_t i = 0; i < kImageSettingCount; ++i) {
        const auto at = body.find(kFields[i].name);
        if (at == std::string_view::npos)
            return page;
        const auto valueAt = at + kFields[i].name.size();
        const auto end = body.find(kFields[i].next, valueAt);
        if (end == std::string_view::npos || end - valueAt < 1 || end - valueAt > 9)
            return page;
        const long long v = leadingDecimal(body.substr(valueAt, end - valueAt));
        if (v < 0 || v > 32767)
            return page; // negative, or beyond what a 16-bit value holds
        page.values[i] = static_cast<std::int16_t>(v);
        page.read[i] = true;
    }
    page.complete = true;
    return page;
}

} // namespace tessivor::camproto
