// Builders and parsers of the Kestra command packets (see kestra_packet.h for the layout).
#include "camproto/kestra_packet.h"

#include <algorithm>
#include <cstring>

namespace tessivor::camproto {

namespace {

constexpr std::size_t kCommandOffset = 16;
constexpr std::size_t kLengthOffset = 20;
constexpr std::size_t kParamOffset = 20;
constexpr std::size_t kParamMax = 64;
constexpr std::size_t kSecondParamOffset = 84;
constexpr std::size_t kSecondParamMax = 44;
constexpr std::size_t kLengthFormValueSize = 16;

void putU32(KestraPacket& p, std::size_t offset, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i)
        p[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t getU32(std::span<const std::uint8_t> b, std::size_t offset)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(b[offset + i]) << (8 * i);
    return v;
}

void putBytes(KestraPacket& p, std::size_t offset, std::span<const std::uint8_t> value, std::size_t max)
{
    const std::size_t n = std::min(value.size(), max);
    std::copy_n(value.begin(), n, p.begin() + static_cast<std::ptrdiff_t>(offset));
}

KestraPacket head(std::uint32_t command)
{
    KestraPacket p{};
    std::copy(kKestraCompanyWord.begin(), kKestraCompanyWord.end(), p.begin());
    putU32(p, kCommandOffset, command);
    return p;
}

bool beginsWithCompanyWord(std::span<const std::uint8_t> b)
{
    return b.size() >= kKestraCompanyWord.size() &&
           std::equal(kKestraCompanyWord.begin(), kKestraCompanyWord.end(), b.begin());
}

} // namespace

KestraPacket buildKestraRead(std::uint32_t command)
{
    return head(command);
}

KestraPacket buildKestraReadParam(std::uint32_t command, std::span<const std::uint8_t> param)
{
    KestraPacket p = head(command);
    putBytes(p, kParamOffset, param, kParamMax);
    return p;
}

KestraPacket buildKestraReadAuth(std::uint32_t command, std::span<const std::uint8_t> first,
                                 std::span<const std::uint8_t> second)
{
    KestraPacket p = head(command);
    putBytes(p, kParamOffset, first, kParamMax);
    putBytes(p, kSecondParamOffset, second, kSecondParamMax);
    return p;
}

KestraPacket buildKestraWriteLength(std::uint32_t command, std::uint32_t length,
                                    std::span<const std::uint8_t> value)
{
    KestraPacket p = head(command);
    putU32(p, kLengthOffset, length);
    putBytes(p, kKestraDataOffset, value, kLengthFormValueSize);
    return p;
}

KestraPacket buildKestraWritePlain(std::uint32_t command, std::span<const std::uint8_t> value)
{
    KestraPacket p = head(command);
    putBytes(p, kParamOffset, value, kParamMax);
    return p;
}

KestraReply parseKestraReply(std::span<const std::uint8_t> received)
{
    KestraReply r;
    if (received.size() >= kCommandOffset + 4)
        r.answer = getU32(received, kCommandOffset);
    if (!beginsWithCompanyWord(received)) {
        r.status = received.size() < kKestraCompanyWord.size() ? KestraReplyStatus::Short
                                                               : KestraReplyStatus::NotKestra;
        return r;
    }
    if (received.size() < kKestraPacketSize) {
        r.status = KestraReplyStatus::Short;
        return r;
    }
    if (r.answer != kKestraReplyDone) {
        r.status = KestraReplyStatus::NotDone;
        return r;
    }
    r.status = KestraReplyStatus::Done;
    const std::size_t n = std::min<std::size_t>(getU32(received, kLengthOffset), kKestraDataMax);
    r.data.assign(received.begin() + kKestraDataOffset,
                  received.begin() + static_cast<std::ptrdiff_t>(kKestraDataOffset + n));
    return r;
}

KestraStatusBlock KestraStatusBlock::fromData(std::span<const std::uint8_t> data)
{
    KestraStatusBlock s;
    s.length = std::min(data.size(), kCapacity);
    std::copy_n(data.begin(), s.length, s.bytes.begin());
    return s;
}

std::string KestraStatusBlock::name() const
{
    const std::size_t limit = std::min(kNameSize, length);
    std::size_t n = 0;
    while (n < limit && bytes[kName + n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(bytes.data() + kName), n);
}

std::optional<std::array<std::uint8_t, 6>> KestraStatusBlock::mac() const
{
    if (length < kMac + 6)
        return std::nullopt;
    std::array<std::uint8_t, 6> m{};
    std::copy_n(bytes.begin() + kMac, 6, m.begin());
    return m;
}

std::optional<std::array<std::uint8_t, 4>> KestraStatusBlock::ip() const
{
    if (length < kIp + 4)
        return std::nullopt;
    std::array<std::uint8_t, 4> a{};
    std::copy_n(bytes.begin() + kIp, 4, a.begin());
    return a;
}

std::uint8_t KestraStatusBlock::panTilt() const
{
    return at(kPanTilt);
}

std::uint8_t KestraStatusBlock::wireless() const
{
    return at(kWireless);
}

std::optional<std::vector<SiteSurveyEntry>> parseSiteSurvey(std::span<const std::uint8_t> received)
{
    if (!beginsWithCompanyWord(received) || received.size() < kSiteSurveyEntriesOffset)
        return std::nullopt;
    const std::size_t claimed =
        std::min<std::size_t>(getU32(received, kSiteSurveyCountOffset), kSiteSurveyMaxEntries);
    const std::size_t whole = (received.size() - kSiteSurveyEntriesOffset) / kSiteSurveyEntrySize;
    const std::size_t count = std::min(claimed, whole);
    std::vector<SiteSurveyEntry> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = received.data() + kSiteSurveyEntriesOffset + i * kSiteSurveyEntrySize;
        SiteSurveyEntry& out = entries[i];
        out.magic = getU32(std::span(e, kSiteSurveyEntrySize), 0);
        std::memcpy(out.bssid.data(), e + 4, out.bssid.size());
        std::memcpy(out.ssid.data(), e + 22, out.ssid.size());
        out.channel = e[55];
        out.encryption = e[56];
        out.signal = e[57];
        out.bssMode = e[58];
    }
    return entries;
}

} // namespace tessivor::camproto
