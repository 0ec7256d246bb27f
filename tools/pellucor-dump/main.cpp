// pellucor-dump: loads the language selector, the profile and the language pack exactly as the
// program's start-up does, and prints every record and text table, or the load failure.
//
//   pellucor-dump --home DIR [--data DIR]
//
// Exit status 0 after a complete load, 1 when a file failed to load, 2 for a usage error.
#include "app/core/app_state.h"
#include "app/core/ini_store.h"
#include "app/core/language_pack.h"
#include "app/core/profile.h"

#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>

using namespace pellucor;

namespace {

int usage()
{
    std::cerr << "usage: pellucor-dump --home DIR [--data DIR]\n";
    return 2;
}

void addRows(IniStore& out, const char* prefix, const auto& rows, bool withGray)
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string section = prefix + std::to_string(i);
        out.WriteValue(section, "BtnName", rows[i].BtnName);
        for (std::size_t j = 0; j < rows[i].BtnStr.size(); ++j)
            out.WriteValue(section, "BtnStr" + std::to_string(j), rows[i].BtnStr[j]);
        if (withGray)
            out.WriteValue(section, "EnableGray", rows[i].EnableGray);
    }
}

// The state in INI form: the selector, the profile's sections as the program saves them, then
// the pack's settings and tables.
std::string dump(const AppState& s)
{
    IniStore out;
    out.WriteValue("Selector", "Language", s.Language);
    out.WriteValue("Selector", "INIPath", s.INIPath);
    out.WriteValue("Selector", "ProfileFile", profilePath(s).string());
    writeProfile(s, out);

    const UiSettings& ui = s.ui;
    const char* u = "UISetting";
    out.WriteValue(u, "Font", ui.FontName);
    out.WriteValue(u, "FontSize", std::to_string(ui.FontSize));
    out.WriteValue(u, "FontWeight", ui.FontWeight);
    out.WriteValue(u, "FontCharSet", ui.FontCharSet);
    out.WriteValue(u, "UIWidth", ui.UIWidth);
    out.WriteValue(u, "UIHeight", ui.UIHeight);
    out.WriteValue(u, "HelpFileName", ui.HelpFileName);
    out.WriteValue(u, "ImageIntervalOn", ui.ImageIntervalOn);
    out.WriteValue(u, "AboutVersion", ui.AboutVersion);
    out.WriteValue(u, "Version", ui.Version);
    for (std::size_t k = 0; k < ui.ExtraItem.size(); ++k)
        out.WriteValue(u, "ExtraItem" + std::to_string(k + 1), ui.ExtraItem[k]);

    addRows(out, "ButtonTable", s.ButtonTable, true);
    addRows(out, "HintTable", s.HintTable, false);
    out.WriteValue("Hints", "MaxHint", s.MaxHint);
    out.WriteValue("Hints", "MaxHint2", s.MaxHint2);

    const SharedTexts& t = s.texts;
    const char* x = "Texts";
    out.WriteValue(x, "AppTitle", t.AppTitle);
    out.WriteValue(x, "EmptyText", s.EmptyText);
    out.WriteValue(x, "CombineCaption", t.CombineCaption);
    out.WriteValue(x, "ScanCaption", t.ScanCaption);
    out.WriteValue(x, "WebCaption", t.WebCaption);
    const std::pair<const char*, const std::string*> labels[] = {
        {"strModel", &t.strModel},   {"strHWVER", &t.strHWVER},     {"strFWVER", &t.strFWVER},
        {"strROMVER", &t.strROMVER}, {"strMACADDR", &t.strMACADDR}, {"strIPADDR", &t.strIPADDR},
        {"strName", &t.strName},     {"strOffLine", &t.strOffLine}, {"strOnLine", &t.strOnLine},
    };
    for (const auto& [key, value] : labels)
        out.WriteValue(x, key, *value);
    auto list = [&](const char* name, const auto& texts, std::size_t from) {
        for (std::size_t k = from; k < texts.size(); ++k)
            out.WriteValue(x, name + std::to_string(k), texts[k]);
    };
    list("ColorCaption", t.ColorCaption, 0);
    list("RecText", t.RecText, 0);
    list("ViewMessage", t.ViewMessage, 0);
    list("PopupText", t.PopupText, 0);
    list("PanelMessage", t.PanelMessage, 0);
    list("MainMessage", t.MainMessage, 0);
    for (int k = 1; k <= kEventTextKeys; ++k)
        out.WriteValue(x, "EventText" + std::to_string(k), t.EventText[static_cast<std::size_t>(k)]);
    return out.serialize();
}

} // namespace

int main(int argc, char** argv)
{
    std::filesystem::path home, data;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "--home" || a == "--data") && i + 1 < argc)
            (a == "--home" ? home : data) = argv[++i];
        else
            return usage();
    }
    auto resolvedHome = resolveHomeDir(home);
    if (!resolvedHome)
        return usage();

    AppState state;
    state.paths.homeDir = *resolvedHome;
    state.paths.dataDir =
        data.empty() ? resolveDataDir(std::filesystem::read_symlink("/proc/self/exe")) : data;
    InitGlobals(state, std::time(nullptr));

    // The start-up order: selector, button and hint tables, profile, interface settings, texts.
    struct Step
    {
        const char* what;
        bool (*load)(AppState&, std::string*);
    };
    const Step steps[] = {
        {"language selector", LoadLanguageIni}, {"button table", LoadButtonText},
        {"hint table", LoadHintText},           {"profile", LoadSetting},
        {"interface settings", LoadUISetting},
    };
    for (const Step& step : steps) {
        std::string error;
        if (!step.load(state, &error)) {
            std::cout << "load failed: " << step.what << ": " << error << "\n";
            return 1;
        }
    }
    // A missing window-text file is no failure: the windows keep their own texts.
    std::string error;
    if (!LoadLanguageText(state, &error))
        std::cout << "; window texts not loaded: " << error << "\n";
    std::cout << dump(state);
    return 0;
}
