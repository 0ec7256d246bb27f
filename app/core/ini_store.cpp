#include "app/core/ini_store.h"

#include "app/core/file_io.h"
#include "app/core/text_codec.h"
#include "app/core/text_util.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace pellucor {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool hasOuterBlanks(std::string_view s)
{
    return !s.empty() && (isBlank(s.front()) || isBlank(s.back()));
}

bool validSectionName(std::string_view s)
{
    return !hasOuterBlanks(s) && s.find_first_of("]\r\n") == std::string_view::npos && isValidUtf8(s);
}

bool validKeyName(std::string_view s)
{
    if (s.empty() || hasOuterBlanks(s) || s.find_first_of("=\r\n") != std::string_view::npos)
        return false;
    if (s.front() == '[' || s.front() == ';' || s.front() == '#')
        return false;
    return isValidUtf8(s);
}

// Reads a whole decimal integer with an optional sign; nothing else may follow.
std::optional<long long> parseInteger(std::string_view text)
{
    std::string_view s = trimBlanks(text);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return std::nullopt;
    long long v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size())
        return std::nullopt;
    return v;
}

template <typename T> IniRead readRanged(const std::optional<std::string>& raw, T& out)
{
    if (!raw)
        return IniRead::Absent;
    auto v = parseInteger(*raw);
    if (!v || *v < std::numeric_limits<T>::min() || *v > std::numeric_limits<T>::max())
        return IniRead::Malformed;
    out = static_cast<T>(*v);
    return IniRead::Ok;
}

} // namespace

const char* iniErrorName(IniError error)
{
    switch (error) {
    case IniError::None:
        return "no error";
    case IniError::NoFileName:
        return "no file name set";
    case IniError::FileNotFound:
        return "file not found";
    case IniError::ReadFailed:
        return "file could not be read";
    case IniError::FileTooLarge:
        return "file too large";
    case IniError::NotText:
        return "file is not text (it holds a NUL byte)";
    case IniError::InvalidName:
        return "section or key name cannot be stored";
    case IniError::InvalidValue:
        return "value is not UTF-8 text";
    case IniError::WriteFailed:
        return "file could not be written";
    case IniError::RenameFailed:
        return "file could not be replaced";
    }
    return "unknown error";
}

void IniStore::fail(IniError error, std::string text)
{
    m_error = error;
    m_errorText = std::string(iniErrorName(error)) + ": " + std::move(text);
}

void IniStore::clearError()
{
    m_error = IniError::None;
    m_errorText.clear();
}

bool IniStore::startFileOperation(const char* operation)
{
    clearError();
    if (m_path.empty()) {
        fail(IniError::NoFileName, operation);
        return false;
    }
    return true;
}

void IniStore::SetFileName(const std::filesystem::path& path)
{
    m_path = path;
    clear();
}

void IniStore::clear()
{
    m_sections.clear();
    m_sectionIndex.clear();
}

bool IniStore::Load()
{
    if (!startFileOperation("Load"))
        return false;
    std::string data;
    FileIoResult r = readWholeFile(m_path, m_maxBytes, data);
    if (!r.ok()) {
        IniError e = r.status == FileIoStatus::NotFound   ? IniError::FileNotFound
                     : r.status == FileIoStatus::TooLarge ? IniError::FileTooLarge
                                                          : IniError::ReadFailed;
        fail(e, m_path.string() + ": " + r.message);
        return false;
    }
    return parse(data);
}

bool IniStore::parse(std::string_view text)
{
    clearError();
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        const auto lineNo =
            std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n') + 1;
        fail(IniError::NotText,
             (m_path.empty() ? std::string("text") : m_path.string()) + " line " + std::to_string(lineNo));
        return false;
    }
    std::string decoded;
    if (!isValidUtf8(text)) {
        decoded = codePageToUtf8(text, m_codePage);
        text = decoded;
    }

    IniStore parsed; // filled completely before it replaces this content
    Section* current = nullptr;
    while (!text.empty()) {
        std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line = trimBlanks(line);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            std::size_t close = line.rfind(']');
            if (close == std::string_view::npos)
                continue; // not a header and not a key line
            current = &parsed.sectionFor(trimBlanks(line.substr(1, close - 1)));
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string_view key = trimBlanks(line.substr(0, eq));
        if (key.empty())
            continue;
        if (!current)
            current = &parsed.sectionFor("");
        std::string folded = asciiLower(key);
        std::string value = decodeValue(line.substr(eq + 1));
        auto it = current->index.find(folded);
        if (it != current->index.end()) {
            current->entries[it->second].value = std::move(value); // a repeated key: the last one wins
        } else {
            current->index.emplace(std::move(folded), current->entries.size());
            current->entries.push_back({std::string(key), std::move(value)});
        }
    }
    m_sections = std::move(parsed.m_sections);
    m_sectionIndex = std::move(parsed.m_sectionIndex);
    return true;
}

IniStore::Section& IniStore::sectionFor(std::string_view name)
{
    std::string folded = asciiLower(name);
    auto it = m_sectionIndex.find(folded);
    if (it != m_sectionIndex.end())
        return m_sections[it->second];
    m_sectionIndex.emplace(std::move(folded), m_sections.size());
    m_sections.push_back({std::string(name), {}, {}});
    return m_sections.back();
}

const IniStore::Entry* IniStore::find(std::string_view section, std::string_view key) const
{
    auto s = m_sectionIndex.find(asciiLower(section));
    if (s == m_sectionIndex.end())
        return nullptr;
    const Section& sec = m_sections[s->second];
    auto k = sec.index.find(asciiLower(key));
    return k == sec.index.end() ? nullptr : &sec.entries[k->second];
}

std::optional<std::string> IniStore::ReadValue(std::string_view section, std::string_view key) const
{
    const Entry* e = find(section, key);
    if (!e)
        return std::nullopt;
    return e->value;
}

IniRead IniStore::readText(std::string_view section, std::string_view key, std::string& out) const
{
    const Entry* e = find(section, key);
    if (!e)
        return IniRead::Absent;
    out = e->value;
    return IniRead::Ok;
}

IniRead IniStore::readBool(std::string_view section, std::string_view key, bool& out) const
{
    const Entry* e = find(section, key);
    if (!e)
        return IniRead::Absent;
    std::string_view v = trimBlanks(e->value);
    if (equalsIgnoreCase(v, "true")) {
        out = true;
        return IniRead::Ok;
    }
    if (equalsIgnoreCase(v, "false")) {
        out = false;
        return IniRead::Ok;
    }
    auto n = parseInteger(v);
    if (!n)
        return IniRead::Malformed;
    out = *n != 0;
    return IniRead::Ok;
}

IniRead IniStore::readInt16(std::string_view section, std::string_view key, std::int16_t& out) const
{
    return readRanged(ReadValue(section, key), out);
}

IniRead IniStore::readInt32(std::string_view section, std::string_view key, std::int32_t& out) const
{
    return readRanged(ReadValue(section, key), out);
}

bool IniStore::WriteValue(std::string_view section, std::string_view key, std::string_view text)
{
    if (!validSectionName(section) || !validKeyName(key)) {
        fail(IniError::InvalidName, "[" + std::string(section) + "] " + std::string(key));
        return false;
    }
    if (!isValidUtf8(text)) {
        fail(IniError::InvalidValue, "[" + std::string(section) + "] " + std::string(key));
        return false;
    }
    clearError();
    Section& sec = sectionFor(section);
    std::string folded = asciiLower(key);
    auto it = sec.index.find(folded);
    if (it != sec.index.end()) {
        sec.entries[it->second].value = std::string(text);
    } else {
        sec.index.emplace(std::move(folded), sec.entries.size());
        sec.entries.push_back({std::string(key), std::string(text)});
    }
    return true;
}

bool IniStore::WriteValue(std::string_view section, std::string_view key, bool value)
{
    return WriteValue(section, key, std::string_view(value ? "-1" : "0"));
}

bool IniStore::WriteValue(std::string_view section, std::string_view key, std::int16_t value)
{
    return WriteValue(section, key, static_cast<std::int32_t>(value));
}

bool IniStore::WriteValue(std::string_view section, std::string_view key, std::int32_t value)
{
    return WriteValue(section, key, std::string_view(std::to_string(value)));
}

std::string IniStore::encodeValue(std::string_view value)
{
    bool quote = hasOuterBlanks(value) || value.find_first_of(";=\r\n") != std::string_view::npos ||
                 (!value.empty() && value.front() == '"');
    if (!quote)
        return std::string(value);
    std::string out = "\"";
    for (char c : value) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string IniStore::decodeValue(std::string_view raw)
{
    std::string_view v = trimBlanks(raw);
    if (v.size() < 2 || v.front() != '"' || v.back() != '"')
        return std::string(v);
    // A quoted value: every '"' and '\' inside must be escaped, otherwise the text is taken as it
    // stands (a hand-written value that merely starts and ends with quotes).
    std::string out;
    std::string_view inner = v.substr(1, v.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        char c = inner[i];
        if (c == '"')
            return std::string(v);
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == inner.size())
            return std::string(v);
        switch (inner[i]) {
        case '"':
            out += '"';
            break;
        case '\\':
            out += '\\';
            break;
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        default:
            return std::string(v);
        }
    }
    return out;
}

std::string IniStore::serialize() const
{
    std::string out;
    auto emit = [&out](const Section& sec) {
        for (const Entry& e : sec.entries) {
            out += e.key;
            out += '=';
            out += encodeValue(e.value);
            out += '\n';
        }
    };
    // Keys outside any section can only be read back when they come before the first header.
    auto unnamed = m_sectionIndex.find("");
    if (unnamed != m_sectionIndex.end() && !m_sections[unnamed->second].entries.empty()) {
        emit(m_sections[unnamed->second]);
        out += '\n';
    }
    bool first = true;
    for (const Section& sec : m_sections) {
        if (sec.name.empty())
            continue;
        if (!first)
            out += '\n';
        first = false;
        out += '[';
        out += sec.name;
        out += "]\n";
        emit(sec);
    }
    // A key that itself starts with a byte-order mark would lose it as the file's first bytes.
    if (out.compare(0, 3, "\xEF\xBB\xBF") == 0)
        out.insert(0, "\xEF\xBB\xBF");
    return out;
}

bool IniStore::Save()
{
    if (!startFileOperation("Save"))
        return false;
    FileIoResult r = writeFileAtomically(m_path, serialize(), m_mode);
    if (!r.ok()) {
        fail(r.status == FileIoStatus::RenameFailed ? IniError::RenameFailed : IniError::WriteFailed,
             m_path.string() + ": " + r.message);
        return false;
    }
    return true;
}

std::vector<std::string> IniStore::sectionNames() const
{
    std::vector<std::string> names;
    names.reserve(m_sections.size());
    for (const Section& s : m_sections)
        names.push_back(s.name);
    return names;
}

std::vector<std::string> IniStore::keyNames(std::string_view section) const
{
    std::vector<std::string> names;
    auto s = m_sectionIndex.find(asciiLower(section));
    if (s == m_sectionIndex.end())
        return names;
    for (const Entry& e : m_sections[s->second].entries)
        names.push_back(e.key);
    return names;
}

bool IniStore::hasSection(std::string_view section) const
{
    return m_sectionIndex.count(asciiLower(section)) != 0;
}

} // namespace pellucor
