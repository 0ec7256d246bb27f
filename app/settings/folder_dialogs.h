// Choosing a storage folder (frmSelectDir) and naming a new folder on the way (frmNewFolder).
//
// A new folder's name is one path component: names holding "/" or NUL, and "." and "..", are
// refused with a message; a folder that cannot be made is reported with the system's reason.
#pragma once

#include "app/setup/setup_dialog.h"

#include <filesystem>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace pellucor {

class FolderTree;
class VolumeBox;

// True when `name` can be made as one folder below another.
bool validFolderName(const QString& name);

struct NewFolderResult
{
    QString NewFolderName; // empty when cancelled or closed
};

class NewFolderDialog : public SetupDialog
{
    Q_OBJECT

public:
    NewFolderDialog(DialogContext& context, NewFolderResult& result, QWidget* parent = nullptr);

private:
    void ok();

    NewFolderResult& m_result;
    QLineEdit* m_name = nullptr;
};

struct SelectDirRequest
{
    bool enable = true;          // chkEnable's value
    bool enableLocked = false;   // chkEnable disabled (the first storage folder)
    std::filesystem::path start; // the current folder when empty
};

struct SelectDirResult
{
    bool CancelFlag = true;
    std::filesystem::path path;
    bool enable = false;
};

class SelectDirDialog : public SetupDialog
{
    Q_OBJECT

public:
    SelectDirDialog(DialogContext& context, const SelectDirRequest& request, SelectDirResult& result,
                    QWidget* parent = nullptr);

private:
    void newFolder();
    void finish(bool cancelled);

    SelectDirResult& m_result;
    VolumeBox* m_drive = nullptr;
    FolderTree* m_dir = nullptr;
    QLabel* m_path = nullptr;
    QCheckBox* m_enable = nullptr;

protected:
    void onCancel() override { finish(true); }
};

} // namespace pellucor
