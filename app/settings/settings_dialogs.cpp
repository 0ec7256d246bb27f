#include "app/settings/settings_dialogs.h"

#include "app/core/app_state.h"
#include "app/core/open_file.h"

#include <QDesktopServices>
#include <QUrl>

namespace pellucor {

namespace {

class QtDesktopOpener : public DesktopOpener
{
public:
    bool openWithAssociatedProgram(const std::filesystem::path& file) override
    {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    }
};

class PromptOpenMessages : public OpenMessages
{
public:
    PromptOpenMessages(DialogPrompts& prompts, QWidget* owner) : m_prompts(prompts), m_owner(owner) {}
    void show(const std::string& text, Icon icon) override
    {
        m_prompts.message(m_owner, QString::fromStdString(text),
                          icon == Icon::Critical ? MsgStyle::Critical : MsgStyle::Plain);
    }

private:
    DialogPrompts& m_prompts;
    QWidget* m_owner;
};

} // namespace

namespace {

// A camera dialog run to its end.
template <typename D, typename R> R showCameraModal(SettingsContext& context, int camera, QWidget* parent)
{
    R result;
    {
        D dialog(context, camera, result, parent);
        dialog.runModal();
    }
    return result;
}

} // namespace

ScheduleResult runScheduleDialog(SettingsContext& context, int camera, QWidget* parent)
{
    return showCameraModal<ScheduleDialog, ScheduleResult>(context, camera, parent);
}

MotionSettingsResult runMotionSettings(SettingsContext& context, int camera, QWidget* parent)
{
    return showCameraModal<MotionSettingsDialog, MotionSettingsResult>(context, camera, parent);
}

EMailSettingsResult runEMailSettings(SettingsContext& context, int camera, QWidget* parent)
{
    return showCameraModal<EMailSettingsDialog, EMailSettingsResult>(context, camera, parent);
}

SystemSettingsDialog* showSystemSettings(SettingsContext& context, QWidget* parent,
                                         std::function<void(const SystemSettingsResult&)> onClosed)
{
    auto* dialog = new SystemSettingsDialog(context, std::move(onClosed), parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

SelectDirResult runSelectDir(SettingsContext& context, const SelectDirRequest& request, QWidget* parent)
{
    SelectDirResult result;
    {
        SelectDirDialog dialog(context, request, result, parent);
        dialog.runModal();
    }
    return result;
}

NewFolderResult runNewFolder(SettingsContext& context, QWidget* parent)
{
    return showModal<NewFolderDialog, NewFolderResult>(context, parent);
}

PlayMenuResult runPlayMenu(SettingsContext& context, const std::filesystem::path& startFolder,
                           QWidget* parent)
{
    PlayMenuResult result;
    result.PlayPath = startFolder;
    {
        PlayMenuDialog dialog(context, result, parent);
        dialog.runModal();
    }
    return result;
}

AboutResult runAbout(SettingsContext& context, QWidget* parent)
{
    return showModal<AboutDialog, AboutResult>(context, parent);
}

PlayMenuResult Play_Fun(SettingsContext& context, QWidget* parent)
{
    const SystemSettings& s = context.state.settings;
    const std::filesystem::path start =
        s.StorageCount > 0 ? std::filesystem::path(s.Storage(1).Path) : context.state.paths.homeDir;
    PlayMenuResult result = runPlayMenu(context, start, parent);
    if (result.Cancelled)
        return result;
    PromptOpenMessages messages(context.promptsOrDefault(), parent);
    if (context.state.settings.PlayerMode != 0) {
        QtProgramStarter qtStarter;
        OpenWithPlayer(context.state, result.PlayPath, context.starter ? *context.starter : qtStarter,
                       messages);
    } else {
        QtDesktopOpener qtOpener;
        OpenWithAssociatedProgram(context.state, result.PlayPath, context.opener ? *context.opener : qtOpener,
                                  messages);
    }
    return result;
}

} // namespace pellucor
