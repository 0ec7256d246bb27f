// The parameter table of the camera CGI pages: "name=value" pieces and "[section]" headers
// separated by a caller-given separator ("\r\n" for the CGI pages, "@" for one port query).
// These functions hold no control state, so that the parser can be fuzzed on its own; the
// control's members (CImage::ParseParameters and the rest) stand on them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessivor {

struct ParameterEntry
{
    static constexpr std::size_t kTextSize = 64; // 63 characters and the terminator

    char name[kTextSize] = {};  // parameter name, or a section header with its brackets
    char value[kTextSize] = {}; // value text
    std::int32_t flag = 0;      // one of the flags below

    static constexpr std::int32_t kUnchanged = 0;
    static constexpr std::int32_t kChanged = 1; // to be sent by the next serialise
    static constexpr std::int32_t kSection = 2;

    bool isSection() const { return flag == kSection; }
    std::string_view nameView() const;
    std::string_view valueView() const;
    // Copies, cut to 63 bytes (at a UTF-8 character boundary); the rest of the field is zero.
    void setName(std::string_view s);
    void setValue(std::string_view s);
};

inline constexpr int kMaxParameterEntries = 200;

// Result of a parse: the entries, and what had to be left out.
struct ParameterParse
{
    std::vector<ParameterEntry> entries;
    int skippedPieces = 0; // pieces without "=" that are not section headers
    int droppedPieces = 0; // pieces beyond the 200th entry
    int cutTexts = 0;      // names or values longer than 63 bytes, kept cut
};

// Splits `body` (up to its first NUL) at `separator`. A piece beginning with "[" is a section
// header (flag 2); any other piece is "name=value" (flag 0, value up to the separator, empty
// when nothing follows the "="). A last piece without a separator counts when it holds "=";
// a last section header does not. Pieces that are neither are skipped; at most 200 entries
// are kept. An empty separator makes the whole body one last piece.
ParameterParse parseParameterBody(std::string_view body, std::string_view separator);

// The request body of the changed entries: for each of the first `count` entries with a name and
// a flag other than 0, the name, then (unless it is a section header) "=" and the value, then the
// separator. Appends to `out` and returns false, leaving `out` as it was, when the text would
// exceed `limit` bytes.
bool serializeParameterEntries(const ParameterEntry* entries, int count, std::string_view separator,
                               std::size_t limit, std::string* out);

} // namespace tessivor
