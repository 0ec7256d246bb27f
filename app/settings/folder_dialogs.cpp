#include "app/settings/folder_dialogs.h"

#include "app/settings/folder_tree.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

namespace fs = std::filesystem;

namespace pellucor {

bool validFolderName(const QString& name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') && !name.contains(QChar(0));
}

// ---------------------------------------------------------------------------------------------
// New folder

NewFolderDialog::NewFolderDialog(DialogContext& context, NewFolderResult& result, QWidget* parent)
    : SetupDialog(context, "frmNewFolder", parent), m_result(result)
{
    setObjectName("frmNewFolder");
    setWindowTitle(tr2("Caption", "New Folder"));
    m_result.NewFolderName.clear();
    m_name = new QLineEdit(this);
    m_name->setObjectName("txtNewFolder");
    m_name->setMinimumWidth(260);
    auto* ok = makeButton("cmdOK", "OK");
    ok->setDefault(true);
    ok->setEnabled(false);
    auto* cancel = makeButton("cmdCancel", "Cancel");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_name);
    layout->addLayout(okCancelRow(ok, cancel));
    applyProgramFont();

    connect(m_name, &QLineEdit::textChanged, ok, [ok](const QString& t) { ok->setEnabled(!t.isEmpty()); });
    connect(ok, &QPushButton::clicked, this, &NewFolderDialog::ok);
    connect(cancel, &QPushButton::clicked, this, &NewFolderDialog::reject);
}

void NewFolderDialog::ok()
{
    const QString name = m_name->text();
    if (name.isEmpty())
        return;
    if (!validFolderName(name)) {
        refuse(m_name, 1, MsgStyle::Exclamation);
        return;
    }
    m_result.NewFolderName = name;
    done(Accepted);
}

// ---------------------------------------------------------------------------------------------
// Folder selection

SelectDirDialog::SelectDirDialog(DialogContext& context, const SelectDirRequest& request,
                                 SelectDirResult& result, QWidget* parent)
    : SetupDialog(context, "frmSelectDir", parent), m_result(result)
{
    setObjectName("frmSelectDir");
    setWindowTitle(tr2("Caption", "Storage"));
    m_dir = new FolderTree(this);
    m_dir->setObjectName("Dir1");
    m_dir->setMinimumSize(360, 280);
    m_drive = new VolumeBox(m_dir, this);
    m_drive->setObjectName("Drive1");
    m_path = new QLabel(this);
    m_path->setObjectName("lblPath");
    m_enable = new QCheckBox(tr2("chkEnable", "Enable Storage"), this);
    m_enable->setObjectName("chkEnable");
    m_enable->setChecked(request.enable);
    m_enable->setEnabled(!request.enableLocked);
    auto* newFolder = makeButton("cmdNewFolder", "&New Folder");
    auto* ok = makeButton("cmdOK", "&OK");
    auto* cancel = makeButton("cmdCancel", "&Cancel");
    ok->setDefault(true);

    auto* side = new QVBoxLayout;
    side->addWidget(ok);
    side->addWidget(cancel);
    side->addSpacing(12);
    side->addWidget(newFolder);
    side->addStretch();
    auto* left = new QVBoxLayout;
    left->addWidget(m_drive);
    left->addWidget(m_dir, 1);
    left->addWidget(m_path);
    left->addWidget(m_enable);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(side);
    applyProgramFont();

    connect(m_dir, &FolderTree::folderChanged, this, [this](const QString& folder) {
        m_path->setText(folder + ' ');
        m_drive->follow(folder.toStdString());
    });
    const fs::path start =
        request.start.empty() ? fs::path(QDir::currentPath().toStdString()) : request.start;
    if (!m_dir->showFolder(start))
        m_dir->showFolder("/");
    m_result.CancelFlag = false;

    connect(ok, &QPushButton::clicked, this, [this] { finish(false); });
    connect(cancel, &QPushButton::clicked, this, [this] { finish(true); });
    connect(newFolder, &QPushButton::clicked, this, &SelectDirDialog::newFolder);
}

void SelectDirDialog::finish(bool cancelled)
{
    m_result.CancelFlag = cancelled;
    m_result.path = m_dir->currentFolder();
    m_result.enable = m_enable->isChecked();
    done(cancelled ? Rejected : Accepted);
    letEventsRun();
}

void SelectDirDialog::newFolder()
{
    NewFolderResult named;
    {
        NewFolderDialog dialog(context(), named, this);
        runChild(dialog);
    }
    if (named.NewFolderName.isEmpty())
        return;
    const fs::path target = m_dir->currentFolder() / named.NewFolderName.toStdString();
    std::error_code ec;
    if (!fs::exists(target, ec)) {
        if (!fs::create_directory(target, ec) || ec) {
            showText(texts().message(1) + "\n" + QString::fromStdString(target.string()) + "\n" +
                         QString::fromStdString(ec ? ec.message() : std::string("not created")),
                     MsgStyle::Exclamation);
            return;
        }
    }
    m_dir->refreshCurrent();
    m_dir->showFolder(target);
}

} // namespace pellucor
