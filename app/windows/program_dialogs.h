// The program's answers to the panel's dialogs while the dialogs themselves are not part of this
// build: message boxes and the erase confirmation (a Yes/No question) are real; every other dialog
// tells the user that it is not available yet and answers as a cancelled dialog would.
//
// Also the desktop's "open with" for help and recordings (QDesktopServices) and the message
// boxes of that routine.
//
// User-interface thread only.
#pragma once

#include "app/core/open_file.h"
#include "app/windows/panel_dialogs.h"

#include <QPointer>
#include <QWidget>

namespace pellucor {

class QtUiServices;

class ProgramDialogs : public PanelDialogs, public OpenMessages
{
public:
    explicit ProgramDialogs(QtUiServices& ui) : m_ui(ui) {}

    // The window that owns the boxes (the panel); may be null.
    void setOwner(QWidget* owner) { m_owner = owner; }

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
};

class QtDesktopOpener : public DesktopOpener
{
public:
    bool openWithAssociatedProgram(const std::filesystem::path& file) override;
};

} // namespace pellucor
