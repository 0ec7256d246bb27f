// The playback file picker (frmPlayMenu): browse volumes and folders, click a recording (".avi",
// any letter case) and hand its path back. Opening the file is the caller's (settings_dialogs.h
// Play_Fun), with the user's player or the desktop's program, by argument list.
#pragma once

#include "app/setup/setup_dialog.h"

#include <filesystem>

class QLabel;
class QListWidget;

namespace pellucor {

class FolderTree;
class VolumeBox;

struct PlayMenuResult
{
    bool Cancelled = false;
    std::filesystem::path PlayPath; // on entry the folder browsing starts at
};

class PlayMenuDialog : public SetupDialog
{
    Q_OBJECT

public:
    PlayMenuDialog(DialogContext& context, PlayMenuResult& result, QWidget* parent = nullptr);

protected:
    void onActivate() override;
    void onCancel() override;

private:
    void listFiles(const std::filesystem::path& folder);
    void fileClicked();
    void ok();

    PlayMenuResult& m_result;
    VolumeBox* m_drive = nullptr;
    FolderTree* m_dir = nullptr;
    QListWidget* m_files = nullptr;
    QLabel* m_path = nullptr;
};

} // namespace pellucor
