#include "control/parameter_table.h"

#include "platform/fixed_text.h"

#include <cstring>

namespace tessivor {

namespace {

// Copies `s` into a zero-filled field of ParameterEntry::kTextSize bytes; true when it was cut.
bool setField(char* field, std::string_view s)
{
    std::memset(field, 0, ParameterEntry::kTextSize);
    const std::size_t n = utf8PrefixLength(s, ParameterEntry::kTextSize - 1);
    std::memcpy(field, s.data(), n);
    return n < s.size();
}

std::string_view fieldView(const char* field)
{
    return std::string_view(field, ::strnlen(field, ParameterEntry::kTextSize));
}

enum class PieceKind
{
    Section,
    Pair,
    Other,
};

PieceKind classify(std::string_view piece)
{
    if (!piece.empty() && piece.front() == '[')
        return PieceKind::Section;
    return piece.find('=') != std::string_view::npos ? PieceKind::Pair : PieceKind::Other;
}

void addPiece(std::string_view piece, ParameterParse* result)
{
    if (static_cast<int>(result->entries.size()) >= kMaxParameterEntries) {
        ++result->droppedPieces;
        return;
    }
    ParameterEntry e;
    bool cut = false;
    if (classify(piece) == PieceKind::Section) {
        cut = setField(e.name, piece);
        e.flag = ParameterEntry::kSection;
    } else {
        const auto eq = piece.find('=');
        cut = setField(e.name, piece.substr(0, eq));
        cut = setField(e.value, piece.substr(eq + 1)) || cut;
        e.flag = ParameterEntry::kUnchanged;
    }
    if (cut)
        ++result->cutTexts;
    result->entries.push_back(e);
}

} // namespace

std::string_view ParameterEntry::nameView() const
{
    return fieldView(name);
}

std::string_view ParameterEntry::valueView() const
{
    return fieldView(value);
}

void ParameterEntry::setName(std::string_view s)
{
    setField(name, s);
}

void ParameterEntry::setValue(std::string_view s)
{
    setField(value, s);
}

ParameterParse parseParameterBody(std::string_view body, std::string_view separator)
{
    ParameterParse result;
    const auto nul = body.find('\0');
    if (nul != std::string_view::npos)
        body = body.substr(0, nul);
    std::size_t pos = 0;
    while (!separator.empty()) {
        const auto end = body.find(separator, pos);
        if (end == std::string_view::npos)
            break;
        const std::string_view piece = body.substr(pos, end - pos);
        if (classify(piece) == PieceKind::Other)
            ++result.skippedPieces;
        else
            addPiece(piece, &result);
        pos = end + separator.size();
    }
    const std::string_view last = body.substr(pos);
    if (classify(last) == PieceKind::Pair)
        addPiece(last, &result);
    else if (!last.empty())
        ++result.skippedPieces;
    return result;
}

bool serializeParameterEntries(const ParameterEntry* entries, int count, std::string_view separator,
                               std::size_t limit, std::string* out)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        const ParameterEntry& e = entries[i];
        const std::string_view name = e.nameView();
        if (name.empty() || e.flag == ParameterEntry::kUnchanged)
            continue;
        text += name;
        if (name.front() != '[') {
            text += '=';
            text += e.valueView();
        }
        text += separator;
        if (out->size() + text.size() > limit)
            return false;
    }
    *out += text;
    return true;
}

} // namespace tessivor
