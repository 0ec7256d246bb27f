#include "app/windows/program_dialogs.h"

#include "app/skin/ui_services.h"

#include <QDesktopServices>
#include <QUrl>

namespace pellucor {

int ProgramDialogs::messageBox(const std::string& text, int style, const std::string& title)
{
    return m_ui.messageBox(m_owner, QString::fromStdString(text), style, QString::fromStdString(title));
}

void ProgramDialogs::notAvailable(const char* dialog)
{
    messageBox(std::string("The ") + dialog + " is not available in this version yet.", 64);
}

BrowseResult ProgramDialogs::browse(int)
{
    notAvailable("camera search");
    return {};
}

bool ProgramDialogs::confirmErase(int camera)
{
    return messageBox("Remove camera " + std::to_string(camera) + " from its slot?",
                      kStyleYesNoExclamation) == kAnswerYes;
}

AdminProbeResult ProgramDialogs::probeAdminPassword(int)
{
    notAvailable("administrator password check");
    return {};
}

bool ProgramDialogs::checkPassword(const PasswordCheckRequest&)
{
    notAvailable("administrator password check");
    return false;
}

WebResult ProgramDialogs::web(const WebRequest&)
{
    notAvailable("camera web page");
    return {};
}

void ProgramDialogs::updateFirmware(int)
{
    notAvailable("firmware update");
}

void ProgramDialogs::schedule(int)
{
    notAvailable("recording schedule");
}

void ProgramDialogs::motionSettings(int)
{
    notAvailable("motion and alert settings");
}

void ProgramDialogs::systemSettings()
{
    notAvailable("system settings");
}

PlayResult ProgramDialogs::play(const std::string&)
{
    notAvailable("recording picker");
    return {};
}

void ProgramDialogs::about()
{
    notAvailable("about box");
}

void ProgramDialogs::show(const std::string& text, Icon icon)
{
    messageBox(text, icon == Icon::Critical ? 16 : kStyleOk);
}

bool QtDesktopOpener::openWithAssociatedProgram(const std::filesystem::path& file)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
}

} // namespace pellucor
