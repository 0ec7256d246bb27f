// Reading the header of a message or of a MIME part (RFC 5322 section 2.2, RFC 2045 section 5,
// RFC 2231 for parameter values), for the MIME decoder.
//
// Bounds: a field keeps at most kMaxFieldLength bytes after unfolding and a header at most
// kMaxFields fields; what is beyond is dropped, so a hostile header costs bounded memory.
#pragma once

#include "io/data_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessivor::mime {

inline constexpr std::size_t kMaxFieldLength = 8192;
inline constexpr std::size_t kMaxFields = 512;

struct HeaderField
{
    std::string name;  // as written, without the colon
    std::string value; // after the colon, continuation lines joined without their line breaks
};

struct Header
{
    std::vector<HeaderField> fields;
    std::int32_t start = 0;
    std::int32_t end = 0;  // offset of the first byte after the empty line (or of `limit`)
    bool complete = false; // an empty line ended the header

    // The first field of that name (ASCII case ignored), or null.
    const HeaderField* find(std::string_view name) const;
};

// Reads header lines of the open `source` from `start` until the first empty line, not past
// `limit` (-1: the end). A line without a colon that is not a continuation is skipped.
Header readHeader(CDataSource& source, std::int32_t start, std::int32_t limit);

// A structured field value with its parameters, such as Content-Type or Content-Disposition.
struct FieldValue
{
    std::string token;                                       // "image/jpeg", "attachment"
    std::vector<std::pair<std::string, std::string>> params; // names lower-cased, values unquoted

    // A parameter value by name (lower case); "name*" forms of RFC 2231 are decoded into it.
    std::optional<std::string> param(std::string_view name) const;
};

// Removes comments "( ... )" that stand outside quoted strings (nested comments included).
std::string removeComments(std::string_view value);
// Splits "token; a=b; c=\"d e\"" into its token and parameters.
FieldValue parseFieldValue(std::string_view value);

bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string trimmed(std::string_view s);

} // namespace tessivor::mime
