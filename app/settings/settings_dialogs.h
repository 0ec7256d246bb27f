// The entry functions of the recording and system settings dialogs, one per dialog, as the
// control panel calls them. Each modal one shows its dialog over `parent`, waits for it, destroys
// it and returns its result; the system settings dialog is modeless and returns at once.
//
// Every function acts on the context's state and engine; the camera dialogs on camera `camera`
// (1 to 4).
// UI thread only.
#pragma once

#include "app/settings/about_dialog.h"
#include "app/settings/alert_dialogs.h"
#include "app/settings/folder_dialogs.h"
#include "app/settings/playback_dialog.h"
#include "app/settings/schedule_dialogs.h"
#include "app/settings/settings_context.h"
#include "app/settings/system_settings_dialog.h"

#include <functional>

class QWidget;

namespace pellucor {

// The schedule list of a camera.
ScheduleResult runScheduleDialog(SettingsContext& context, int camera, QWidget* parent);
// Motion alerts of a camera (its "E-Mail Setting" button opens the e-mail dialog).
MotionSettingsResult runMotionSettings(SettingsContext& context, int camera, QWidget* parent);
// E-mail alerts of a camera.
EMailSettingsResult runEMailSettings(SettingsContext& context, int camera, QWidget* parent);
// The modeless system settings dialog; it deletes itself when it closes, after `onClosed`.
SystemSettingsDialog* showSystemSettings(SettingsContext& context, QWidget* parent,
                                         std::function<void(const SystemSettingsResult&)> onClosed = {});
SelectDirResult runSelectDir(SettingsContext& context, const SelectDirRequest& request, QWidget* parent);
NewFolderResult runNewFolder(SettingsContext& context, QWidget* parent);
// The playback picker at `startFolder`.
PlayMenuResult runPlayMenu(SettingsContext& context, const std::filesystem::path& startFolder,
                           QWidget* parent);
AboutResult runAbout(SettingsContext& context, QWidget* parent);

// The panel's play function: the picker at the first storage folder (the home without one), then
// the chosen file opened with the user's player (PlayerMode 1) or the desktop's program, by
// argument list. Returns the picker's result.
PlayMenuResult Play_Fun(SettingsContext& context, QWidget* parent);

} // namespace pellucor
