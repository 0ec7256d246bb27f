#include "app/core/language_pack.h"

#include "app/core/ini_store.h"
#include "app/core/text_codec.h"
#include "app/core/text_util.h"

#include <charconv>
#include <cmath>

namespace pellucor {

namespace {

void setError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}

// The code page of the pack's files: the one its "_1.ini" names as FontCharSet (a number, the
// same in every code page), else Windows-1252.
std::uint32_t packCodePage(const AppState& state)
{
    const auto file = languageFile(state, "_1.ini");
    if (!file)
        return kCodePageWindows1252;
    IniStore ini;
    ini.SetFileName(*file);
    std::int32_t charSet = 0;
    if (!ini.Load() || ini.readInt32("General", "FontCharSet", charSet) != IniRead::Ok)
        return kCodePageWindows1252;
    return codePageOfCharSet(charSet);
}

std::string text(const IniStore& ini, std::string_view section, std::string_view key)
{
    return ini.ReadValue(section, key).value_or("");
}

std::string badValue(const IniStore& ini, std::string_view section, std::string_view key)
{
    return ini.fileName().string() + ": [" + std::string(section) + "] " + std::string(key) + ": \"" +
           text(ini, section, key) + "\" is not a valid value";
}

// A number key: nothing when absent or empty; false when malformed.
bool readLong(const IniStore& ini, std::string_view section, std::string_view key,
              std::optional<std::int32_t>& out, std::string* error)
{
    out.reset();
    auto raw = ini.ReadValue(section, key);
    if (!raw || trimBlanks(*raw).empty())
        return true;
    std::int32_t v = 0;
    if (ini.readInt32(section, key, v) != IniRead::Ok) {
        setError(error, badValue(ini, section, key));
        return false;
    }
    out = v;
    return true;
}

// The presence rule of flags: a value counts as present unless it is missing, empty or reads as
// the number 0 ("0", "-0", "0.0", False).
bool present(const std::optional<std::string>& raw)
{
    if (!raw)
        return false;
    const std::string_view s = trimBlanks(*raw);
    if (s.empty() || equalsIgnoreCase(s, "false"))
        return false;
    const std::string_view digits = s.front() == '+' || s.front() == '-' ? s.substr(1) : s;
    double v = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    return !(ec == std::errc() && ptr == digits.data() + digits.size() && v == 0);
}

std::optional<float> parseSize(std::string_view raw)
{
    std::string_view s = trimBlanks(raw);
    double v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(v) || v < 0 ||
        v > 1000)
        return std::nullopt;
    return static_cast<float>(v);
}

// The steps shared by the "_2.ini" and "_3.ini" readers.
template <std::size_t N>
bool readButtonRows(const IniStore& ini, std::array<ButtonRow, N>& rows, bool withEnableGray,
                    std::string* error)
{
    std::array<std::string, 9> textNames{};
    for (std::size_t j = 0; j < textNames.size(); ++j)
        textNames[j] = text(ini, "BtnStr", std::to_string(j));
    for (std::size_t i = 0; i < N; ++i) {
        ButtonRow row;
        row.BtnName = text(ini, "BtnName", std::to_string(i));
        // A row without a name has no section; it must not pick up keys outside any section.
        if (row.BtnName.empty()) {
            rows[i] = row;
            continue;
        }
        for (std::size_t j = 0; j < textNames.size(); ++j)
            if (!textNames[j].empty())
                row.BtnStr[j] = text(ini, row.BtnName, textNames[j]);
        if (withEnableGray) {
            auto raw = ini.ReadValue(row.BtnName, "EnableGray");
            if (raw && !trimBlanks(*raw).empty() &&
                ini.readBool(row.BtnName, "EnableGray", row.EnableGray) != IniRead::Ok) {
                setError(error, badValue(ini, row.BtnName, "EnableGray"));
                return false;
            }
        }
        rows[i] = row;
    }
    return true;
}

// Reads a button file into `target`, which changes only when the whole file was read.
template <std::size_t N>
bool loadRows(const AppState& state, std::string_view suffix, std::array<ButtonRow, N>& target,
              bool withEnableGray, IniStore& ini, std::string* error)
{
    if (!loadLanguageFile(state, suffix, ini, error))
        return false;
    auto rows = target;
    if (!readButtonRows(ini, rows, withEnableGray, error))
        return false;
    target = rows;
    return true;
}

} // namespace

std::optional<std::filesystem::path> languageFile(const AppState& state, std::string_view suffix)
{
    return findFileIgnoreCase(state.paths.langDir(), state.Language + std::string(suffix));
}

std::filesystem::path expectedLanguageFile(const AppState& state, std::string_view suffix)
{
    return state.paths.langDir() / (state.Language + std::string(suffix));
}

bool loadLanguageFile(const AppState& state, std::string_view suffix, IniStore& ini, std::string* error)
{
    auto file = languageFile(state, suffix);
    if (!file) {
        setError(error, expectedLanguageFile(state, suffix).string() + " does not exist");
        return false;
    }
    ini.SetFileName(*file);
    ini.setCodePage(packCodePage(state));
    if (!ini.Load()) {
        setError(error, ini.errorText());
        return false;
    }
    return true;
}

bool LoadUISetting(AppState& state, std::string* error)
{
    IniStore ini;
    if (!loadLanguageFile(state, "_1.ini", ini, error))
        return false;
    const char* g = "General";
    UiSettings ui = state.ui;
    ui.FontName = ini.ReadValue(g, "Font").value_or("MS Sans Serif");
    ui.FontSize = 9;
    if (auto raw = ini.ReadValue(g, "FontSize"); raw && !trimBlanks(*raw).empty()) {
        auto size = parseSize(*raw);
        if (!size) {
            setError(error, badValue(ini, g, "FontSize"));
            return false;
        }
        ui.FontSize = *size;
    }
    std::optional<std::int32_t> v;
    if (!readLong(ini, g, "FontWeight", v, error))
        return false;
    ui.FontWeight = v.value_or(400);
    if (!readLong(ini, g, "FontCharSet", v, error))
        return false;
    ui.FontCharSet = v.value_or(0);
    if (!readLong(ini, g, "UIWidth", v, error))
        return false;
    if (v)
        ui.UIWidth = *v;
    if (!readLong(ini, g, "UIHeight", v, error))
        return false;
    if (v)
        ui.UIHeight = *v;
    ui.HelpFileName = text(ini, g, "HelpFileName");
    // A presence flag: the interval switch is off when the key holds anything but a zero.
    ui.ImageIntervalOn = !present(ini.ReadValue(g, "DisableIntelval"));
    ui.AboutVersion = text(ini, g, "AboutVersion");
    ui.Version = text(ini, g, "Version");
    for (int k = 1; k <= 5; ++k) {
        if (!readLong(ini, g, "ExtraItem" + std::to_string(k), v, error))
            return false;
        ui.ExtraItem[static_cast<std::size_t>(k - 1)] = v.value_or(0);
    }
    state.ui = ui;
    return true;
}

bool LoadButtonText(AppState& state, std::string* error)
{
    IniStore ini;
    return loadRows(state, "_2.ini", state.ButtonTable, true, ini, error);
}

bool LoadHintText(AppState& state, std::string* error)
{
    IniStore ini;
    if (!loadRows(state, "_3.ini", state.HintTable, false, ini, error))
        return false;
    state.MaxHint = state.HintTable[1].BtnStr[7];
    state.MaxHint2 = text(ini, "Max", "Hint2");
    return true;
}

bool LoadLanguageText(AppState& state, std::string* error)
{
    IniStore ini;
    if (!loadLanguageFile(state, ".ini", ini, error))
        return false;
    SharedTexts t;
    const char* client = "frmClient";
    const char* panel = "frmController";
    t.ColorCaption = {text(ini, client, "sklBrightness"), text(ini, client, "sklContrast"),
                      text(ini, client, "sklHue")};
    t.CombineCaption = text(ini, "frmCombineWindow", "Caption");
    t.ScanCaption = text(ini, "frmScan", "Caption");
    t.WebCaption = text(ini, "frmWeb", "Caption");
    const std::pair<const char*, std::string SharedTexts::*> labels[] = {
        {"strModel", &SharedTexts::strModel},     {"strHWVER", &SharedTexts::strHWVER},
        {"strFWVER", &SharedTexts::strFWVER},     {"strROMVER", &SharedTexts::strROMVER},
        {"strMACADDR", &SharedTexts::strMACADDR}, {"strIPADDR", &SharedTexts::strIPADDR},
        {"strName", &SharedTexts::strName},       {"strOffLine", &SharedTexts::strOffLine},
        {"strOnLine", &SharedTexts::strOnLine},   {"strLoginRefused", &SharedTexts::strLoginRefused},
    };
    for (const auto& [key, member] : labels)
        t.*member = text(ini, panel, key);
    t.AppTitle = text(ini, "General", "AppTitle");
    t.RecText = {text(ini, client, "strRec"), text(ini, panel, "strManualRec"),
                 text(ini, panel, "strScheduleRec"), text(ini, panel, "strMotionRec")};
    t.ViewMessage = {text(ini, client, "Message1"), text(ini, client, "Message2"),
                     text(ini, client, "Message3")};
    t.PopupText = {text(ini, "PopupMenu", "About"), text(ini, "PopupMenu", "Help"),
                   text(ini, "PopupMenu", "FitWindow")};
    for (std::size_t k = 0; k < t.PanelMessage.size(); ++k)
        t.PanelMessage[k] = text(ini, panel, "Message" + std::to_string(k + 1));
    for (std::size_t k = 0; k < t.MainMessage.size(); ++k)
        t.MainMessage[k] = text(ini, "frmMain", "Message" + std::to_string(k + 1));
    for (int k = 1; k <= kEventTextKeys; ++k)
        t.EventText[static_cast<std::size_t>(k)] = text(ini, "frmMain", "Event" + std::to_string(k));
    // The empty-slot text keeps its start value unless the pack has one.
    if (auto empty = ini.ReadValue(panel, "strEmpty"))
        state.EmptyText = *empty;
    state.texts = std::move(t);
    return true;
}

float effectiveFontSize(UiSettings& ui)
{
    if (ui.FontSize == 0)
        ui.FontSize = 9;
    return ui.FontSize;
}

} // namespace pellucor
