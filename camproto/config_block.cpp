// The configuration block's check words and its fields by index (see config_block.h).
#include "camproto/config_block.h"

#include "camproto/packet_fields.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tessivor::camproto {

namespace {

enum class Kind
{
    None,       // index 63: no field
    Invalid,    // 75-79 and outside the table
    Signed16,   // read sign-extended, written as the low 16 bits
    Unsigned16, // read zero-extended
    Signed32,
    SetOnly16, // written, never read (index 65)
    Text,
    Address,
    Mac,
    Hex,
    SelectUser,
    SelectEntry,
    SelectSubIndex, // written, never read (index 66)
};

// Where a field's bytes lie once the selectors are applied.
enum class Base
{
    Block,     // at `offset`
    User,      // at offset + 22 x user slot
    Entry,     // at offset + 204 x entry
    EntryWord, // at offset + 204 x entry + 2 x sub-index
};

struct Field
{
    Kind kind = Kind::Invalid;
    std::size_t offset = 0;
    std::size_t width = 0;     // bytes of a text field
    std::size_t readWidth = 0; // at most this many bytes are read back (0: width)
    Base base = Base::Block;
};

constexpr std::size_t kEntryTable = 1912;
constexpr std::size_t kEntrySize = 204;
constexpr int kEntries = 2;
constexpr int kSubIndices = 2;
constexpr std::size_t kHexFieldSize = 14;

constexpr Field s16(std::size_t at, Base base = Base::Block)
{
    return {Kind::Signed16, at, 2, 0, base};
}
constexpr Field text(std::size_t at, std::size_t width, Base base = Base::Block)
{
    return {Kind::Text, at, width, 0, base};
}

Field fieldOf(int index)
{
    if (index >= 4 && index <= 6)
        return s16(376 + 2 * static_cast<std::size_t>(index - 4));
    if (index >= 7 && index <= 16)
        return s16(408 + 2 * static_cast<std::size_t>(index - 7));
    switch (index) {
    case 0:
        return s16(2);
    case 1:
        return {Kind::Signed32, 40, 4};
    case 2:
        return {Kind::Unsigned16, 160, 2};
    case 3:
        return s16(182);
    case 17:
        return {Kind::SelectUser};
    case 18:
        return s16(448, Base::User);
    case 19:
        return s16(1836);
    case 20:
        return s16(1902);
    case 21:
        return s16(1904);
    case 22:
        return s16(1906);
    case 23:
        return {Kind::SelectEntry};
    case 24:
        return s16(kEntryTable, Base::Entry);
    case 25:
        return s16(kEntryTable + 194, Base::Entry);
    case 26:
        return s16(kEntryTable + 196, Base::Entry);
    case 27:
        return s16(kEntryTable + 198, Base::Entry);
    case 28:
        return s16(kEntryTable + 200, Base::EntryWord);
    case 29:
        return s16(2320);
    case 30:
        return s16(2358);
    case 31:
        return s16(2360);
    case 32:
        return s16(3318);
    case 33:
        return s16(3544);
    case 34:
        return s16(3546);
    case 35:
        return text(3320, 64);
    case 36:
        return text(3384, 64);
    case 37:
        return text(3448, 64);
    case 38:
        return text(3512, 32);
    case 39:
        return text(3548, 64);
    case 40:
        return text(140, 12);
    case 41:
        return text(152, 8);
    case 42:
        return text(44, 32);
    case 43:
        return {Kind::Address, 162, 4};
    case 44:
        return {Kind::Address, 166, 4};
    case 45:
        return {Kind::Address, 170, 4};
    case 46:
        return text(76, 64);
    case 47:
        return {Kind::Address, 174, 4};
    case 48:
        return {Kind::Address, 178, 4};
    case 49:
        return text(184, 64);
    case 50:
        return text(248, 32);
    case 51:
        return text(280, 64);
    case 52:
        return text(344, 32);
    case 53:
        return {Kind::Mac, 382, 6};
    case 54:
        return text(kUserTableOffset, kUserNameSize, Base::User);
    case 55:
        return text(kUserTableOffset + kUserNameSize, kUserPasswordSize, Base::User);
    case 56:
        return text(1838, 64);
    case 57:
        return text(kEntryTable + 2, 64, Base::Entry);
    case 58:
        return text(kEntryTable + 66, 64, Base::Entry);
    case 59:
        return text(kEntryTable + 130, 64, Base::Entry);
    case 60:
        return text(2322, 36);
    case 61:
        return text(2362, kHexFieldSize);
    case 62:
        return {Kind::Hex, 2362, kHexFieldSize};
    case 63:
        return {Kind::None};
    case 64:
        return text(4, 36);
    case 65:
        return {Kind::SetOnly16, 426, 2};
    case 66:
        return {Kind::SelectSubIndex};
    case 67:
        return text(2380, kHexFieldSize);
    case 68:
        return text(2394, kHexFieldSize);
    case 69:
        return text(2408, kHexFieldSize);
    case 70:
        return {Kind::Hex, 2380, kHexFieldSize};
    case 71:
        return {Kind::Hex, 2394, kHexFieldSize};
    case 72:
        return {Kind::Hex, 2408, kHexFieldSize};
    case 73:
        return {Kind::Signed32, 2376, 4};
    case 74:
        return s16(3866);
    case 80:
        return {Kind::Address, 388, 4};
    case 81:
        return {Kind::Address, 392, 4};
    case 82:
        return {Kind::Unsigned16, 2436, 2};
    case 83:
        return text(2438, 64);
    case 84:
        return {Kind::Text, 2502, 140, 64};
    default:
        return {Kind::Invalid};
    }
}

// The field's first byte once the selectors are applied; nullopt when a selector is outside its
// table.
std::optional<std::size_t> placeOf(const Field& f, const ConfigSelectors& s)
{
    switch (f.base) {
    case Base::Block:
        return f.offset;
    case Base::User:
        if (s.user < 0 || s.user >= kUserSlots)
            return std::nullopt;
        return f.offset + kUserEntrySize * static_cast<std::size_t>(s.user);
    case Base::Entry:
        if (s.entry < 0 || s.entry >= kEntries)
            return std::nullopt;
        return f.offset + kEntrySize * static_cast<std::size_t>(s.entry);
    case Base::EntryWord:
        if (s.entry < 0 || s.entry >= kEntries || s.subIndex < 0 || s.subIndex >= kSubIndices)
            return std::nullopt;
        return f.offset + kEntrySize * static_cast<std::size_t>(s.entry) +
               2 * static_cast<std::size_t>(s.subIndex);
    }
    return std::nullopt;
}

std::uint16_t get16(const ConfigBlock& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

void put16(ConfigBlock& b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Exactly N decimal numbers 0-255 split at "."; nullopt otherwise.
template <std::size_t N> std::optional<std::array<std::uint8_t, N>> parseDotted(std::string_view text)
{
    std::array<std::uint8_t, N> out{};
    std::size_t part = 0;
    std::size_t pos = 0;
    while (true) {
        const std::size_t dot = std::min(text.find('.', pos), text.size());
        const std::string_view piece = text.substr(pos, dot - pos);
        if (part >= N || piece.empty() || piece.size() > 3)
            return std::nullopt;
        unsigned v = 0;
        for (char c : piece) {
            if (c < '0' || c > '9')
                return std::nullopt;
            v = v * 10 + static_cast<unsigned>(c - '0');
        }
        if (v > 255)
            return std::nullopt;
        out[part++] = static_cast<std::uint8_t>(v);
        if (dot == text.size())
            break;
        pos = dot + 1;
    }
    if (part != N)
        return std::nullopt;
    return out;
}

} // namespace

std::uint16_t blockCheckWord(const ConfigBlock& block)
{
    // The image is zero past the block, so only the block's words after the check word count.
    return static_cast<std::uint16_t>(kConfigCheckTarget - wordSum(block.data() + 2, block.size() - 2));
}

ConfigImage sealConfigBlock(ConfigBlock& block)
{
    const std::uint16_t check = blockCheckWord(block);
    block[0] = static_cast<std::uint8_t>(check & 0xFF);
    block[1] = static_cast<std::uint8_t>(check >> 8);
    ConfigImage image{};
    std::copy(block.begin(), block.end(), image.begin());
    return image;
}

std::uint16_t pieceCheckWord(std::span<const std::uint8_t> data)
{
    return static_cast<std::uint16_t>(kConfigCheckTarget - wordSum(data.data(), data.size()));
}

bool pieceIsGood(std::uint16_t checkWord, std::span<const std::uint8_t> data)
{
    return static_cast<std::uint16_t>(wordSum(data.data(), data.size()) + checkWord) == kConfigCheckTarget;
}

std::string_view cutToField(std::string_view text, std::size_t width)
{
    text = text.substr(0, std::min(text.find('\0'), text.size()));
    if (text.size() <= width)
        return text;
    std::size_t end = width;
    // Step back over continuation bytes to the start of the character that would be split.
    while (end > 0 && (static_cast<std::uint8_t>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::optional<std::int32_t> configNumber(const ConfigBlock& block, const ConfigSelectors& s, int index)
{
    const Field f = fieldOf(index);
    switch (f.kind) {
    case Kind::SelectUser:
        return s.user;
    case Kind::SelectEntry:
        return s.entry;
    case Kind::Signed16:
    case Kind::Unsigned16:
    case Kind::Signed32:
        break;
    default:
        return std::nullopt;
    }
    const auto at = placeOf(f, s);
    if (!at)
        return 0;
    if (f.kind == Kind::Signed16)
        return static_cast<std::int16_t>(get16(block, *at));
    if (f.kind == Kind::Unsigned16)
        return get16(block, *at);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(get16(block, *at)) |
                                     (static_cast<std::uint32_t>(get16(block, *at + 2)) << 16));
}

std::optional<std::string> configText(const ConfigBlock& block, const ConfigSelectors& s, int index)
{
    const Field f = fieldOf(index);
    if (f.kind != Kind::Text && f.kind != Kind::Address && f.kind != Kind::Mac && f.kind != Kind::Hex)
        return std::nullopt;
    const auto at = placeOf(f, s);
    if (!at)
        return std::string();
    const std::uint8_t* p = block.data() + *at;
    switch (f.kind) {
    case Kind::Address:
        return formatIPv4(p);
    case Kind::Mac: {
        char t[32];
        std::snprintf(t, sizeof t, "%u.%u.%u.%u.%u.%u", p[0], p[1], p[2], p[3], p[4], p[5]);
        return std::string(t);
    }
    case Kind::Hex: {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        std::string out;
        for (std::size_t i = 0; i < f.width && p[i] != 0; ++i) {
            out += kDigits[p[i] >> 4];
            out += kDigits[p[i] & 0x0F];
        }
        return out;
    }
    default: {
        const std::size_t limit = f.readWidth != 0 ? f.readWidth : f.width;
        const auto* c = reinterpret_cast<const char*>(p);
        return std::string(c, static_cast<std::size_t>(std::find(c, c + limit, '\0') - c));
    }
    }
}

bool configIndexTakesNumber(int index)
{
    switch (fieldOf(index).kind) {
    case Kind::Signed16:
    case Kind::Unsigned16:
    case Kind::Signed32:
    case Kind::SetOnly16:
    case Kind::SelectUser:
    case Kind::SelectEntry:
    case Kind::SelectSubIndex:
        return true;
    default:
        return false;
    }
}

ConfigSetStatus setConfigNumber(ConfigBlock& block, ConfigSelectors& s, int index, std::int32_t value)
{
    const Field f = fieldOf(index);
    const auto low16 = static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFF);
    switch (f.kind) {
    case Kind::Invalid:
        return ConfigSetStatus::Invalid;
    case Kind::SelectUser:
        s.user = static_cast<std::int16_t>(low16);
        return ConfigSetStatus::Done;
    case Kind::SelectEntry:
        s.entry = static_cast<std::int16_t>(low16);
        return ConfigSetStatus::Done;
    case Kind::SelectSubIndex:
        s.subIndex = static_cast<std::int16_t>(low16);
        return ConfigSetStatus::Done;
    case Kind::Signed16:
    case Kind::Unsigned16:
    case Kind::SetOnly16:
    case Kind::Signed32:
        break;
    default:
        return ConfigSetStatus::BadValue; // a text field given a number
    }
    const auto at = placeOf(f, s);
    if (!at)
        return ConfigSetStatus::Done; // the selector refers to nothing: the write is dropped
    if (f.kind == Kind::Signed32) {
        const auto v = static_cast<std::uint32_t>(value);
        put16(block, *at, static_cast<std::uint16_t>(v & 0xFFFF));
        put16(block, *at + 2, static_cast<std::uint16_t>(v >> 16));
    } else {
        put16(block, *at, low16);
    }
    return ConfigSetStatus::Done;
}

ConfigSetStatus setConfigText(ConfigBlock& block, ConfigSelectors& s, int index, std::string_view text)
{
    const Field f = fieldOf(index);
    if (f.kind == Kind::Invalid)
        return ConfigSetStatus::Invalid;
    if (f.kind == Kind::None)
        return ConfigSetStatus::NoEffect;
    if (f.kind != Kind::Text && f.kind != Kind::Address && f.kind != Kind::Mac && f.kind != Kind::Hex)
        return ConfigSetStatus::BadValue;
    text = text.substr(0, std::min(text.find('\0'), text.size()));
    // Everything is parsed before a byte is written.
    std::array<std::uint8_t, kHexFieldSize> bytes{};
    switch (f.kind) {
    case Kind::Address: {
        const auto a = text.empty() ? std::array<std::uint8_t, 4>{} : parseDotted<4>(text);
        if (!a)
            return ConfigSetStatus::BadValue;
        std::copy(a->begin(), a->end(), bytes.begin());
        break;
    }
    case Kind::Mac: {
        const auto m = parseDotted<6>(text);
        if (!m)
            return ConfigSetStatus::BadValue;
        std::copy(m->begin(), m->end(), bytes.begin());
        break;
    }
    case Kind::Hex: {
        const std::size_t pairs = std::min(text.size() / 2, kHexFieldSize); // an odd last digit is ignored
        for (std::size_t i = 0; i < pairs; ++i) {
            const int hi = hexDigit(text[2 * i]);
            const int lo = hexDigit(text[2 * i + 1]);
            if (hi < 0 || lo < 0)
                return ConfigSetStatus::BadValue;
            bytes[i] = static_cast<std::uint8_t>(hi * 16 + lo);
        }
        break;
    }
    default:
        break;
    }
    const auto at = placeOf(f, s);
    if (!at)
        return ConfigSetStatus::Done;
    std::uint8_t* p = block.data() + *at;
    if (f.kind == Kind::Text) {
        const std::string_view cut = cutToField(text, f.width);
        std::fill_n(p, f.width, 0);
        std::memcpy(p, cut.data(), cut.size());
    } else {
        std::copy_n(bytes.begin(), f.width, p);
    }
    return ConfigSetStatus::Done;
}

} // namespace tessivor::camproto
