// Where the program's files are.
//
// Read-only data (language packs, skins, help) come from the data folder: the install's
// share/pellucor, or data/ of the source tree when the program runs from its build tree.
// Writable data (language selector, profile, logs, temporary and alert pictures, the default
// storage folder) live in the program's home: --home DIR, else $PELLUCOR_HOME, else
// $XDG_DATA_HOME/pellucor, else ~/.local/share/pellucor.
//
// Each file has exactly one spelling here; on Linux "Log" and "log" are different folders, and a
// second spelling would split the logs. Pack files shipped by others may differ in letter case,
// so they are looked up without regard to it (findFileIgnoreCase).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pellucor {

struct AppPaths
{
    std::filesystem::path dataDir;
    std::filesystem::path homeDir;

    std::filesystem::path langDir() const { return dataDir / "lang"; }
    // The selector the program writes, and the one shipped with the packs that is read until then.
    std::filesystem::path selectorFile() const { return homeDir / "language.ini"; }
    std::filesystem::path shippedSelectorFile() const { return langDir() / "language.ini"; }
    std::filesystem::path defaultProfile() const { return homeDir / "main.ini"; }
    std::filesystem::path logFolder() const { return homeDir / "Log"; }
    // Log folder of camera n (1 to 4): Log/Cam<n>Log.
    std::filesystem::path cameraLogFolder(int n) const;
    // Storage entry 1 before any profile names another: the home itself.
    std::filesystem::path defaultStorage() const { return homeDir; }
};

// The home folder from the command line's --home value (empty when not given) and the
// environment; nothing when none of them names a folder.
std::optional<std::filesystem::path> resolveHomeDir(const std::filesystem::path& commandLineHome);

// The data folder for a program file at `exePath`: <exe dir>/../share/pellucor when it exists,
// else the source tree's data/ folder this build was made from.
std::filesystem::path resolveDataDir(const std::filesystem::path& exePath);

// The file in `folder` whose name equals `name` without regard to ASCII letter case (an exact
// match wins). Names holding '/' or NUL, "." and ".." are never found: a pack name comes from a
// file the user can edit and must not reach outside the folder.
std::optional<std::filesystem::path> findFileIgnoreCase(const std::filesystem::path& folder,
                                                        std::string_view name);

} // namespace pellucor
