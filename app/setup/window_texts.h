// Window texts from the language pack's text file (<language>.ini in the data folder's "lang"
// folder): one section per window, "Caption" for its title, one key per control, "Message1" to
// "Message7" for its message boxes.
//
// When the file exists, a key that is missing gives an empty text; when the file is missing,
// every control keeps its built-in text and the messages are empty. A file that exists but
// cannot be read counts as missing. A file that is not UTF-8 is read in the pack's code page.
#pragma once

#include <QString>

#include <array>
#include <map>
#include <string>
#include <string_view>

namespace pellucor {

struct AppState;

class WindowTexts
{
public:
    static constexpr int kMessages = 7;

    WindowTexts() = default;
    // Reads one section of the text file of the state's language.
    static WindowTexts load(const AppState& state, std::string_view section);

    // True when the text file was read.
    bool present() const { return m_present; }
    const std::string& section() const { return m_section; }

    // The key's text when the file was read (empty when the key is missing), else `builtIn`.
    QString text(std::string_view key, const QString& builtIn) const;
    // Message k (1 to 7): empty when the file is missing or the key is.
    QString message(int k) const;

private:
    bool m_present = false;
    std::string m_section;
    std::map<std::string, std::string, std::less<>> m_values; // keys folded to lower case
};

} // namespace pellucor
