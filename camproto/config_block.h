// The camera's configuration block: 4786 bytes as the camera stores them (numbers little-endian),
// its check word, the 8192-byte image that travels in eight 1024-byte pieces, and the fields that
// the host reaches by index 0 to 84.
//
// The block is plain bytes with no state of its own; the selectors (user slot, table entry, word)
// live beside it in ConfigSelectors. Nothing here is shared between threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessivor::camproto {

inline constexpr std::size_t kConfigBlockSize = 4786;
inline constexpr std::size_t kConfigImageSize = 8192;
inline constexpr std::size_t kConfigPieceDataSize = 1024;
inline constexpr int kConfigPieceCount = 8;
inline constexpr std::uint16_t kConfigCheckTarget = 0x55AA;
inline constexpr int kConfigIndexCount = 85; // indices 0 to 84

using ConfigBlock = std::array<std::uint8_t, kConfigBlockSize>;
using ConfigImage = std::array<std::uint8_t, kConfigImageSize>;

// The user table of the block: 64 slots of 22 bytes (name 12, password 8, access word).
inline constexpr std::size_t kUserTableOffset = 428;
inline constexpr int kUserSlots = 64;
inline constexpr std::size_t kUserEntrySize = 22;
inline constexpr std::size_t kUserNameSize = 12;
inline constexpr std::size_t kUserPasswordSize = 8;

// The check word that makes the 16-bit little-endian word sum of the whole zero-filled image
// 0x55AA.
std::uint16_t blockCheckWord(const ConfigBlock& block);
// Stores the check word in bytes 0-1 of `block` and returns the image that is sent.
ConfigImage sealConfigBlock(ConfigBlock& block);
// The check word of one 1024-byte piece: 0x55AA minus the word sum of its data.
std::uint16_t pieceCheckWord(std::span<const std::uint8_t> data);
// True when the word sum of the data plus `checkWord` is 0x55AA.
bool pieceIsGood(std::uint16_t checkWord, std::span<const std::uint8_t> data);

// Selectors that some indices address (not part of the block). Out-of-range selectors make the
// fields they address refer to nothing.
struct ConfigSelectors
{
    std::int16_t user = 0;     // user slot, 0-63 (indices 18, 54, 55)
    std::int16_t entry = 0;    // entry of the 204-byte table, 0-1 (indices 24-28, 57-59)
    std::int16_t subIndex = 0; // word at +200 + 2k, 0-1 (index 28)
};

// The numeric form of an index (GetConfigValue); nullopt for an index without one. An
// out-of-range selector reads as 0.
std::optional<std::int32_t> configNumber(const ConfigBlock& block, const ConfigSelectors& s, int index);
// The text form of an index (GetConfigValueBSTR); nullopt for an index without one.
std::optional<std::string> configText(const ConfigBlock& block, const ConfigSelectors& s, int index);

enum class ConfigSetStatus
{
    Done,     // the field was written (or the write was dropped for an out-of-range selector)
    Invalid,  // index 75-79 or outside 0-84
    BadValue, // the value does not parse for the field: nothing was changed
    NoEffect, // index 63, or a getter-only form
};

// Whether the index takes a number (true) or a text (false) in SetConfigValue.
bool configIndexTakesNumber(int index);
// Writes a number into a numeric index (low 16 bits, or 32 bits for indices 1 and 73), or sets a
// selector.
ConfigSetStatus setConfigNumber(ConfigBlock& block, ConfigSelectors& s, int index, std::int32_t value);
// Writes a text into a text, address, MAC or hexadecimal index. The whole text is checked first:
// an address or MAC that does not parse, or hexadecimal digits that are not, change nothing
// (BadValue). Texts are cut at the field width on a UTF-8 character boundary.
ConfigSetStatus setConfigText(ConfigBlock& block, ConfigSelectors& s, int index, std::string_view text);

// The longest prefix of `text` of at most `width` bytes that does not end inside a UTF-8
// character; text past the first NUL is not counted.
std::string_view cutToField(std::string_view text, std::size_t width);

} // namespace tessivor::camproto
