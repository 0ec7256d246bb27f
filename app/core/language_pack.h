// The language pack: four files in the data folder's "lang" folder named after the language.
//   <language>_1.ini  font, panel size, help file, version texts, extra items  (LoadUISetting)
//   <language>_2.ini  the control panel's 41 skin-button rows                   (LoadButtonText)
//   <language>_3.ini  the 11 button and hint rows of the other windows          (LoadHintText)
//   <language>.ini    window texts, one section per window                      (LoadLanguageText)
// File names are matched without regard to letter case. A file that is not UTF-8 is read in the
// code page of the pack's FontCharSet (Windows-1252 when it names none). Each loader changes the
// state only when its whole file was read; on failure `error` (when given) says which file and key.
#pragma once

#include "app/core/app_state.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pellucor {

class IniStore;

// Number of "Event" + k keys of the text file's frmMain section.
constexpr int kEventTextKeys = 37;

// The pack file Language + suffix ("_1.ini", ".ini", ...) when it exists.
std::optional<std::filesystem::path> languageFile(const AppState& state, std::string_view suffix);
// The path that a message names when the file is missing.
std::filesystem::path expectedLanguageFile(const AppState& state, std::string_view suffix);
// Loads the pack file Language + suffix into `ini`, in the pack's code page. False when it is
// missing or cannot be read; `error` (when given) then says why.
bool loadLanguageFile(const AppState& state, std::string_view suffix, IniStore& ini,
                      std::string* error = nullptr);

bool LoadUISetting(AppState& state, std::string* error = nullptr);
bool LoadButtonText(AppState& state, std::string* error = nullptr);
bool LoadHintText(AppState& state, std::string* error = nullptr);
// False when the text file is missing or unreadable; the texts then keep their values.
bool LoadLanguageText(AppState& state, std::string* error = nullptr);

// The size a font gets: the pack's size, or 9 points when it gave none. Fonts are applied to
// widgets by the window layer.
float effectiveFontSize(UiSettings& ui);

} // namespace pellucor
