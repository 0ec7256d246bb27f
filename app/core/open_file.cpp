#include "app/core/open_file.h"

#include "app/core/app_state.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace pellucor {

bool QtProgramStarter::startDetached(const std::string& program, const std::vector<std::string>& arguments)
{
    QStringList args;
    for (const std::string& a : arguments)
        args << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(program), args);
}

namespace {

bool fileExists(const std::filesystem::path& file)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(file, ec);
}

} // namespace

bool OpenWithAssociatedProgram(const AppState& state, const std::filesystem::path& file,
                               DesktopOpener& opener, OpenMessages& messages)
{
    if (!fileExists(file)) {
        messages.show(state.texts.MainMessage[2], OpenMessages::Icon::None);
        return false;
    }
    if (!opener.openWithAssociatedProgram(file)) {
        messages.show(state.texts.MainMessage[0], OpenMessages::Icon::Critical);
        return false;
    }
    return true;
}

bool OpenWithPlayer(const AppState& state, const std::filesystem::path& file, ProgramStarter& starter,
                    OpenMessages& messages)
{
    if (!fileExists(file)) {
        messages.show(state.texts.MainMessage[2], OpenMessages::Icon::None);
        return false;
    }
    if (state.settings.PlayerPath.empty() ||
        !starter.startDetached(state.settings.PlayerPath, {file.string()})) {
        messages.show(state.texts.MainMessage[1], OpenMessages::Icon::Critical);
        return false;
    }
    return true;
}

} // namespace pellucor
