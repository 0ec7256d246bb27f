// CTextList, the owned list of text lines of the e-mail classes (recipient lists, extra header
// lines, global MIME header lines, attachment parameters), and the small text helpers with
// which replies, header fields and address lists are split and trimmed.
//
// Texts are NUL-terminated byte strings. A pointer handed out by the list stays valid until the
// list is changed or destroyed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessivor {

class CTextList
{
public:
    CTextList() = default;
    CTextList(const CTextList&) = default;            // a deep copy of every text
    CTextList& operator=(const CTextList&) = default; // assigning a list to itself changes nothing
    ~CTextList() = default;

    // Appends a copy at the end: 1; a null text is not added: 0.
    std::int32_t AddText(const char* text);
    // 1 when the entry with that index (from 0) was removed, 0 when there is none.
    std::int32_t RemoveAt(std::int32_t index);
    // Frees all entries: 1.
    std::int32_t ClearTexts();
    std::int32_t GetTextCount() const;
    // The entry's text, or null.
    const char* GetTextAt(std::int32_t index) const;
    // The first entry that contains `text` (case-sensitive) and, when `offset` is given, the
    // offset of the match in it; null when none does or the text is null.
    const char* FindContaining(const char* text, std::int32_t* offset) const;
    // 1 when an entry equals the text exactly, else 0.
    std::int32_t ContainsText(const char* text) const;

private:
    std::vector<std::string> m_texts;
};

// Looks at the last and at the second-to-last character separately and replaces each that is a
// CR or an LF by a NUL. A null text is left alone.
void StripLineEnd(char* text);
// 1 when the last character is a CR or an LF; 0 for a null or empty text.
std::int32_t EndsWithLineBreak(const char* text);
// A token is a maximal run of characters that are not delimiters. Copies token `index` (from 0)
// with its terminator into `output` and returns 0; returns 1 when it does not fit in `size`
// bytes, there are not that many tokens, or the text or the delimiters are null. The output is
// an empty text after a failure whenever size is above 0.
std::int32_t GetToken(const char* text, const char* delimiters, std::int32_t index, char* output,
                      std::int32_t size);
// Token `index` (at most 59 characters) read as a decimal 32-bit number: 0 and the number, else 1
// (also when the token holds anything but an optional sign and digits, or does not fit).
std::int32_t GetTokenAsNumber(const char* text, const char* delimiters, std::int32_t index,
                              std::int32_t* number);
// The number of tokens in the sense of GetToken; 0 for null arguments.
std::int32_t CountTokens(const char* text, const char* delimiters);
// Removes spaces (not tabs) at both ends, in place.
void TrimBlanks(char* text);

} // namespace tessivor
