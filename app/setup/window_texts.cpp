#include "app/setup/window_texts.h"

#include "app/core/app_state.h"
#include "app/core/ini_store.h"
#include "app/core/language_pack.h"

#include <algorithm>
#include <cctype>

namespace pellucor {

namespace {

std::string folded(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

} // namespace

WindowTexts WindowTexts::load(const AppState& state, std::string_view section)
{
    WindowTexts t;
    t.m_section = std::string(section);
    IniStore ini;
    if (!loadLanguageFile(state, ".ini", ini))
        return t;
    t.m_present = true;
    for (const std::string& key : ini.keyNames(section))
        t.m_values[folded(key)] = ini.ReadValue(section, key).value_or("");
    return t;
}

QString WindowTexts::text(std::string_view key, const QString& builtIn) const
{
    if (!m_present)
        return builtIn;
    auto it = m_values.find(folded(key));
    return it == m_values.end() ? QString() : QString::fromStdString(it->second);
}

QString WindowTexts::message(int k) const
{
    if (k < 1 || k > kMessages)
        return {};
    return text("Message" + std::to_string(k), QString());
}

} // namespace pellucor
