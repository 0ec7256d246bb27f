// IniStore: one INI file held in memory (sections of key=value lines).
//
// Used by the profile and language-selector code, the language-pack readers, every dialog's text
// loader and the skin engine. Callers make a fresh object per use: SetFileName, then Load (readers),
// then ReadValue/WriteValue, then Save (writers).
//
// The file format:
// - Written as UTF-8. Read as UTF-8 when the whole file is valid UTF-8 (a leading byte-order mark
//   is skipped), otherwise in the object's code page (setCodePage; Windows-1252 by default), the
//   form in which files written by Windows tools come. A file holding a NUL byte is no text and is
//   refused with its line number. LF or CR LF line ends.
// - "[Section]" lines; "Key=Value" lines; lines starting with ';' or '#' and blank lines are comments.
//   Other lines are ignored. Keys before the first section belong to the section named "".
// - Section and key names compare without regard to ASCII letter case; the first spelling written or
//   read is kept. Sections and keys keep the order in which they first appeared.
// - Blanks around names and values are not part of them. A value that has leading or trailing
//   blanks, or holds ';', '=', CR, LF or a leading '"', is written in double quotes with \" \\ \r \n
//   escapes, so every text reads back exactly as written. Other values are written as they stand,
//   which keeps ordinary files readable by other INI readers.
// - Booleans are written -1 (True) and 0 (False); integers in plain decimal.
//
// Save replaces the file atomically: the content goes to a temporary file in the same folder, is
// flushed to disk and renamed over the old file. A failure at any step (full disk, write error,
// rename refused) leaves the previous file as it was and removes the temporary file.
//
// Not thread-safe: one object belongs to one thread at a time.
#pragma once

#include "app/core/text_codec.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <sys/types.h>

namespace pellucor {

enum class IniError
{
    None,
    NoFileName,   // Load or Save before SetFileName
    FileNotFound, // Load: the named file does not exist
    ReadFailed,   // Load: the file exists but could not be read
    FileTooLarge, // Load: above maxFileBytes()
    NotText,      // Load: a line holds a NUL byte
    InvalidName,  // WriteValue: a section or key name that the file format cannot hold
    InvalidValue, // WriteValue: a text that is not valid UTF-8 or holds a NUL byte
    WriteFailed,  // Save: the temporary file could not be made, written or flushed
    RenameFailed, // Save: the finished temporary file could not replace the old file
};

// The outcome of a typed read. On anything but Ok the output argument is left untouched.
enum class IniRead
{
    Ok,
    Absent,    // no such section or key
    Malformed, // the key exists but its text is not of the asked type or out of its range
};

class IniStore
{
public:
    // Files above this size are refused by Load; the largest file we ship is well below 1 MiB.
    static constexpr std::uintmax_t kDefaultMaxFileBytes = 8u << 20;

    // Names the file for Load and Save and empties the content held in memory.
    void SetFileName(const std::filesystem::path& path);
    const std::filesystem::path& fileName() const { return m_path; }

    // The Windows code page in which Load and parse read a file that is not valid UTF-8.
    void setCodePage(std::uint32_t codePage) { m_codePage = codePage; }
    std::uint32_t codePage() const { return m_codePage; }

    // Replaces the content with the named file's. On failure the content is left as it was.
    bool Load();

    // The stored text of a key, or nothing when the section or key is missing.
    std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;

    // Typed reads. Booleans accept -1/0 (any non-zero integer is True) and True/False in any case.
    IniRead readText(std::string_view section, std::string_view key, std::string& out) const;
    IniRead readBool(std::string_view section, std::string_view key, bool& out) const;
    IniRead readInt16(std::string_view section, std::string_view key, std::int16_t& out) const;
    IniRead readInt32(std::string_view section, std::string_view key, std::int32_t& out) const;

    // Creates the section and key when missing, replaces the value otherwise. Returns false (and
    // stores nothing) when a name cannot be written: an empty key, a name holding CR, LF or '=',
    // a key starting with '[', ';' or '#', a section holding ']', or names with leading or
    // trailing blanks; also when the text is not valid UTF-8 or holds a NUL byte (a file that Load
    // would refuse is never written).
    bool WriteValue(std::string_view section, std::string_view key, std::string_view text);
    bool WriteValue(std::string_view section, std::string_view key, const char* text)
    {
        return WriteValue(section, key, std::string_view(text));
    }
    bool WriteValue(std::string_view section, std::string_view key, const std::string& text)
    {
        return WriteValue(section, key, std::string_view(text));
    }
    bool WriteValue(std::string_view section, std::string_view key, bool value);
    bool WriteValue(std::string_view section, std::string_view key, std::int16_t value);
    bool WriteValue(std::string_view section, std::string_view key, std::int32_t value);

    // Writes the whole content to the named file, atomically (see above), with the given
    // permission bits for a new file. An existing file keeps its permission bits unless
    // setFileMode was called, in which case the saved file always gets that mode.
    bool Save();
    void setFileMode(mode_t mode) { m_mode = mode; }

    // Sections in file order; keys of one section in file order (empty when the section is missing).
    std::vector<std::string> sectionNames() const;
    std::vector<std::string> keyNames(std::string_view section) const;
    bool hasSection(std::string_view section) const;

    // The whole content as Save writes it.
    std::string serialize() const;
    // Replaces the content with the parsed text; on failure the content is left as it was.
    bool parse(std::string_view text);

    void clear();

    void setMaxFileBytes(std::uintmax_t bytes) { m_maxBytes = bytes; }
    std::uintmax_t maxFileBytes() const { return m_maxBytes; }

    // The last failure of Load, WriteValue or Save (None after a success), and a readable text
    // naming the file, the line or the system error.
    IniError lastError() const { return m_error; }
    const std::string& errorText() const { return m_errorText; }

    // The text form of one value as Save writes it after the '=' (quoted when needed).
    static std::string encodeValue(std::string_view value);
    // Parses the text after the '=' of one line: blanks trimmed, a quoted value unescaped.
    static std::string decodeValue(std::string_view raw);

private:
    struct Entry
    {
        std::string key;
        std::string value;
    };
    struct Section
    {
        std::string name;
        std::vector<Entry> entries;
        std::unordered_map<std::string, std::size_t> index; // folded key -> entry
    };

    const Entry* find(std::string_view section, std::string_view key) const;
    Section& sectionFor(std::string_view name);
    void fail(IniError error, std::string text);
    void clearError();
    bool startFileOperation(const char* operation);

    std::filesystem::path m_path;
    std::vector<Section> m_sections;
    std::unordered_map<std::string, std::size_t> m_sectionIndex; // folded name -> section
    std::optional<mode_t> m_mode;
    std::uintmax_t m_maxBytes = kDefaultMaxFileBytes;
    std::uint32_t m_codePage = kCodePageWindows1252;
    IniError m_error = IniError::None;
    std::string m_errorText;
};

// One readable text per error code.
const char* iniErrorName(IniError error);

} // namespace pellucor
