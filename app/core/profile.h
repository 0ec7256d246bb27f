// The language selector and the settings profile: reading and writing them key by key.
//
// The selector (home/language.ini; until the program first saves, the copy shipped with the
// packs) names the language and the profile. The profile ("main.ini" in the home, or the full
// path the selector names) holds the system settings in section "General" and one section
// "Cam1".."Cam4" per camera record.
//
// A key counts as present when it exists in the file. Only numeric keys for which 0 is no valid
// value (Port, ProxyServerPort, ActiveStorage, StorageCount, Sensitivity, MailIntervalTime) also
// count as absent when they hold 0. An absent key gets either its start value or a fixed value
// (False, 0, empty), key by key; loading one profile after another therefore never mixes the two.
//
// A load is all or nothing: the records change only when the whole profile was read; schedule
// dates and times come in the forms the schedule uses (schedule.h). The profile is saved
// atomically with mode 0600, since it holds camera and mail passwords, and a text that is not
// UTF-8 is saved as read in Windows-1252 instead of failing the save.
#pragma once

#include "app/core/app_state.h"

#include <filesystem>
#include <string>

namespace pellucor {

class IniStore;

// Reads the selector into Language and INIPath. False when no selector exists or it cannot be
// read; `error` (when given) then says why.
bool LoadLanguageIni(AppState& state, std::string* error = nullptr);

// Writes the selector, then the profile. False when either could not be written (a failed
// selector leaves the profile unwritten) or StorageCount is outside 1..16.
bool SaveSetting(const AppState& state, std::string* error = nullptr);

// Reads the profile into the system settings and camera records. True when it was read
// completely or does not exist (nothing changes then); False, with nothing changed, when it
// cannot be read or a value is not of its key's type or range.
bool LoadSetting(AppState& state, std::string* error = nullptr);

// The number (1 to 16) of the first checked storage entry among all 16, or 0 when none is or
// StorageCount is below 1.
std::int32_t GetActiveStorage(const SystemSettings& settings);

// Writes every profile key into `ini` in the profile's order (SaveSetting's second file). False
// when a value cannot be stored.
bool writeProfile(const AppState& state, IniStore& ini);

// The profile file that INIPath names: "main.ini" exactly means the one in the home.
std::filesystem::path profilePath(const AppState& state);

} // namespace pellucor
