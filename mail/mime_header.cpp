#include "mail/mime_header.h"

#include "mail/line_scanner.h"
#include "mail/transfer_encoding.h"

#include <algorithm>

namespace tessivor::mime {

namespace {

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// RFC 2231 extended value: charset'language'percent-encoded. The bytes are returned as they
// are (the e-mail library keeps texts as bytes).
std::string decodeExtendedValue(std::string_view v)
{
    const auto first = v.find('\'');
    const auto second = first == std::string_view::npos ? first : v.find('\'', first + 1);
    if (second != std::string_view::npos)
        v.remove_prefix(second + 1);
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '%' && i + 2 < v.size() && hexValue(v[i + 1]) >= 0 && hexValue(v[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(v[i + 1]) * 16 + hexValue(v[i + 2]));
            i += 2;
        } else {
            out += v[i];
        }
    }
    return out;
}

} // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::string trimmed(std::string_view s)
{
    while (!s.empty() && (isBlank(s.front()) || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return std::string(s);
}

const HeaderField* Header::find(std::string_view name) const
{
    for (const auto& f : fields)
        if (equalsIgnoreCase(f.name, name))
            return &f;
    return nullptr;
}

Header readHeader(CDataSource& source, std::int32_t start, std::int32_t limit)
{
    Header h;
    h.start = start;
    h.end = start;
    LineScanner scanner(source, start, limit);
    ScannedLine line;
    bool current = false; // the last field may still get continuation lines
    while (scanner.next(line)) {
        h.end = line.next();
        if (line.length == 0) {
            h.complete = true;
            break;
        }
        if (isBlank(line.text[0])) {
            if (current) {
                auto& value = h.fields.back().value;
                if (value.size() < kMaxFieldLength)
                    value.append(line.text, 0, kMaxFieldLength - value.size());
            }
            continue;
        }
        const auto colon = line.text.find(':');
        current = false;
        if (colon == std::string::npos || colon == 0 || h.fields.size() >= kMaxFields)
            continue;
        HeaderField f;
        f.name = trimmed(std::string_view(line.text).substr(0, colon));
        f.value = line.text.substr(colon + 1, kMaxFieldLength);
        h.fields.push_back(std::move(f));
        current = true;
    }
    return h;
}

std::string removeComments(std::string_view value)
{
    std::string out;
    int depth = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (quoted) {
            out += c;
            if (c == '\\' && i + 1 < value.size())
                out += value[++i];
            else if (c == '"')
                quoted = false;
        } else if (depth > 0) {
            if (c == '\\')
                ++i;
            else if (c == '(')
                ++depth;
            else if (c == ')')
                --depth;
        } else if (c == '(') {
            depth = 1;
        } else {
            if (c == '"')
                quoted = true;
            out += c;
        }
    }
    return out;
}

std::optional<std::string> FieldValue::param(std::string_view name) const
{
    for (const auto& [n, v] : params)
        if (n == name)
            return v;
    return std::nullopt;
}

FieldValue parseFieldValue(std::string_view raw)
{
    const std::string value = removeComments(raw);
    FieldValue out;
    std::size_t i = 0;
    const std::size_t n = value.size();
    // The token runs to the first blank, tab or ";".
    while (i < n && isBlank(value[i]))
        ++i;
    const std::size_t tokenStart = i;
    while (i < n && !isBlank(value[i]) && value[i] != ';')
        ++i;
    out.token = value.substr(tokenStart, i - tokenStart);
    std::vector<std::pair<std::string, std::string>> extended;
    while (i < n) {
        // Skip to the next parameter.
        while (i < n && value[i] != ';')
            ++i;
        if (i >= n)
            break;
        ++i;
        while (i < n && (isBlank(value[i]) || value[i] == '\r' || value[i] == '\n'))
            ++i;
        const std::size_t nameStart = i;
        while (i < n && value[i] != '=' && value[i] != ';' && !isBlank(value[i]))
            ++i;
        std::string pname = value.substr(nameStart, i - nameStart);
        std::transform(pname.begin(), pname.end(), pname.begin(), lower);
        while (i < n && isBlank(value[i]))
            ++i;
        if (i >= n || value[i] != '=')
            continue;
        ++i;
        while (i < n && isBlank(value[i]))
            ++i;
        std::string pvalue;
        if (i < n && value[i] == '"') {
            ++i;
            while (i < n && value[i] != '"') {
                if (value[i] == '\\' && i + 1 < n)
                    ++i;
                pvalue += value[i++];
            }
            if (i < n)
                ++i; // the closing quote
        } else {
            const std::size_t vStart = i;
            while (i < n && value[i] != ';')
                ++i;
            pvalue = trimmed(std::string_view(value).substr(vStart, i - vStart));
        }
        if (pname.empty())
            continue;
        if (pname.back() == '*') {
            pname.pop_back();
            extended.emplace_back(std::move(pname), decodeExtendedValue(pvalue));
        } else {
            out.params.emplace_back(std::move(pname), std::move(pvalue));
        }
    }
    // An extended value stands for the plain one of the same name (RFC 2231 section 4).
    for (auto& entry : extended) {
        const std::string& name = entry.first;
        auto it = std::find_if(out.params.begin(), out.params.end(),
                               [&](const auto& p) { return p.first == name; });
        if (it != out.params.end())
            it->second = std::move(entry.second);
        else
            out.params.emplace_back(name, std::move(entry.second));
    }
    return out;
}

} // namespace tessivor::mime
