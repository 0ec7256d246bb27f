#include "mail/text_list.h"

#include <charconv>
#include <cstring>

namespace tessivor {

std::int32_t CTextList::AddText(const char* text)
{
    if (text == nullptr)
        return 0;
    m_texts.emplace_back(text);
    return 1;
}

std::int32_t CTextList::RemoveAt(std::int32_t index)
{
    if (index < 0 || index >= GetTextCount())
        return 0;
    m_texts.erase(m_texts.begin() + index);
    return 1;
}

std::int32_t CTextList::ClearTexts()
{
    m_texts.clear();
    return 1;
}

std::int32_t CTextList::GetTextCount() const
{
    return static_cast<std::int32_t>(m_texts.size());
}

const char* CTextList::GetTextAt(std::int32_t index) const
{
    if (index < 0 || index >= GetTextCount())
        return nullptr;
    return m_texts[static_cast<std::size_t>(index)].c_str();
}

const char* CTextList::FindContaining(const char* text, std::int32_t* offset) const
{
    if (text == nullptr)
        return nullptr;
    for (const auto& t : m_texts) {
        const auto at = t.find(text);
        if (at != std::string::npos) {
            if (offset != nullptr)
                *offset = static_cast<std::int32_t>(at);
            return t.c_str();
        }
    }
    return nullptr;
}

std::int32_t CTextList::ContainsText(const char* text) const
{
    if (text == nullptr)
        return 0;
    for (const auto& t : m_texts)
        if (t == text)
            return 1;
    return 0;
}

void StripLineEnd(char* text)
{
    if (text == nullptr)
        return;
    const std::size_t n = std::strlen(text);
    // Both places are looked at before either is cut: a text whose second-to-last character is a
    // line break is cut there even when the last one is not.
    const bool lastIsBreak = n >= 1 && (text[n - 1] == '\r' || text[n - 1] == '\n');
    const bool secondIsBreak = n >= 2 && (text[n - 2] == '\r' || text[n - 2] == '\n');
    if (lastIsBreak)
        text[n - 1] = '\0';
    if (secondIsBreak)
        text[n - 2] = '\0';
}

std::int32_t EndsWithLineBreak(const char* text)
{
    if (text == nullptr || text[0] == '\0')
        return 0;
    const char last = text[std::strlen(text) - 1];
    return last == '\r' || last == '\n' ? 1 : 0;
}

namespace {

// Finds token `index`; false when there are not that many.
bool findToken(const char* text, const char* delimiters, std::int32_t index, const char** begin,
               std::size_t* length)
{
    if (index < 0)
        return false;
    const char* p = text;
    for (std::int32_t i = 0;; ++i) {
        p += std::strspn(p, delimiters);
        if (*p == '\0')
            return false;
        const std::size_t n = std::strcspn(p, delimiters);
        if (i == index) {
            *begin = p;
            *length = n;
            return true;
        }
        p += n;
    }
}

} // namespace

std::int32_t GetToken(const char* text, const char* delimiters, std::int32_t index, char* output,
                      std::int32_t size)
{
    if (output != nullptr && size > 0)
        output[0] = '\0';
    if (text == nullptr || delimiters == nullptr || output == nullptr || size <= 0)
        return 1;
    const char* begin = nullptr;
    std::size_t length = 0;
    if (!findToken(text, delimiters, index, &begin, &length) || length + 1 > static_cast<std::size_t>(size))
        return 1;
    std::memcpy(output, begin, length);
    output[length] = '\0';
    return 0;
}

std::int32_t GetTokenAsNumber(const char* text, const char* delimiters, std::int32_t index,
                              std::int32_t* number)
{
    char token[60];
    if (number == nullptr || GetToken(text, delimiters, index, token, sizeof token) != 0)
        return 1;
    const char* first = token;
    const char* last = token + std::strlen(token);
    if (*first == '+')
        ++first;
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last)
        return 1;
    *number = value;
    return 0;
}

std::int32_t CountTokens(const char* text, const char* delimiters)
{
    if (text == nullptr || delimiters == nullptr)
        return 0;
    std::int32_t count = 0;
    const char* p = text;
    while (true) {
        p += std::strspn(p, delimiters);
        if (*p == '\0')
            return count;
        ++count;
        p += std::strcspn(p, delimiters);
    }
}

void TrimBlanks(char* text)
{
    if (text == nullptr)
        return;
    std::size_t n = std::strlen(text);
    while (n > 0 && text[n - 1] == ' ')
        text[--n] = '\0';
    std::size_t lead = 0;
    while (lead < n && text[lead] == ' ')
        ++lead;
    if (lead > 0)
        std::memmove(text, text + lead, n - lead + 1);
}

} // namespace tessivor
