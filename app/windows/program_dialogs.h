// The program's answers to the panel's dialogs: message boxes, the erase confirmation (a Yes/No
// question), and the settings dialogs (schedule, motion and e-mail alerts, system settings,
// playback, about) once the program has given their context. A dialog not in this build tells the
// user that it is not available yet and answers as a cancelled dialog would.
//
// Also the desktop's "open with" for help and recordings (QDesktopServices) and the message
// boxes of that routine.
//
// User-interface thread only.
#pragma once

#include "app/core/open_file.h"
#include "app/setup/web_page_fields.h"
#include "app/windows/panel_dialogs.h"

#include <QPointer>
#include <QWidget>

namespace pellucor {

class QtUiServices;
struct SettingsContext;

class ProgramDialogs : public PanelDialogs, public OpenMessages
{
public:
    explicit ProgramDialogs(QtUiServices& ui) : m_ui(ui) {}

    // The window that owns the boxes (the panel); may be null.
    void setOwner(QWidget* owner) { m_owner = owner; }
    // What the settings dialogs work on; null until the engine exists.
    void setSettings(SettingsContext* settings) { m_settings = settings; }

    int messageBox(const std::string& text, int style, const std::string& title = {}) override;
    BrowseResult browse(int camera) override;
    bool confirmErase(int camera) override;
    AdminProbeResult probeAdminPassword(int camera) override;
    bool checkPassword(const PasswordCheckRequest& request) override;
    WebResult web(const WebRequest& request) override;
    void updateFirmware(int camera) override;
    void schedule(int camera) override;
    void motionSettings(int camera) override;
    void systemSettings() override;
    PlayResult play(const std::string& startFolder) override;
    void about() override;

    // OpenMessages.
    void show(const std::string& text, Icon icon) override;

private:
    void notAvailable(const char* dialog);

    QtUiServices& m_ui;
    QPointer<QWidget> m_owner;
    SettingsContext* m_settings = nullptr;
};

// What the web page window's values tell the panel: the address flag is the posted address
// assignment mode (1: a fixed address, which may be taken), the port flag the posted second-port
// switch, and the two ports the camera's second web and picture ports; a camera reached through
// one of its second ports keeps its recorded address. Numbers beyond the flags' 16 bits are held
// at their limits, never wrapped.
WebResult webResultFrom(const WebPageValues& values);

class QtDesktopOpener : public DesktopOpener
{
public:
    bool openWithAssociatedProgram(const std::filesystem::path& file) override;
};

} // namespace pellucor
