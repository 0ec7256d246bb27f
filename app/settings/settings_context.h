// What the recording and system settings dialogs need of the program: the dialog layer's
// context, the camera engine, the profile writer, the windows around them and the programs that
// open recordings. The control panel makes one and passes it to the entry functions of
// settings_dialogs.h. UI thread only.
#pragma once

#include "app/setup/setup_dialog.h"

#include <functional>
#include <optional>
#include <string>

namespace pellucor {

class Engine;
class DesktopOpener;
class ProgramStarter;

// The windows that the profile commands and the settings dialog reach: the control panel, the
// view windows, the combined and the scan window.
class SettingsHost
{
public:
    virtual ~SettingsHost() = default;
    // Empties a camera slot as the panel's erase does (the slot becomes the current camera).
    virtual void Erase_Fun(int slot) = 0;
    virtual void showView(int slot) = 0;
    virtual void RefrushStatusBar(int slot) = 0;
    virtual void unloadCombined() = 0;
    virtual void unloadScan() = 0;
    // Shows the control panel again (after the settings dialog's OK or Cancel).
    virtual void showPanel() = 0;
};

struct SettingsContext : DialogContext
{
    SettingsContext(AppState& s, Engine& e) : DialogContext(s), engine(e) {}

    Engine& engine;
    SettingsHost* host = nullptr; // no windows are touched when null
    // Writes the selector and the profile; SaveSetting on the state when not set. False (with a
    // reason in `error`) when the files could not be written.
    std::function<bool(std::string* error)> saveSetting;
    // Programs that open a recording; the Qt ones when null.
    DesktopOpener* opener = nullptr;
    ProgramStarter* starter = nullptr;
    // The system-information program, or nothing when there is none; a search of PATH when not set.
    std::function<std::optional<std::string>()> sysInfoProgram;

    // Saves; on failure tells the user why (over `owner`) and returns false.
    bool save(QWidget* owner);
};

} // namespace pellucor
