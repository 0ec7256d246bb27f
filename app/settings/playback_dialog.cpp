#include "app/settings/playback_dialog.h"

#include "app/settings/folder_tree.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace fs = std::filesystem;

namespace pellucor {

PlayMenuDialog::PlayMenuDialog(DialogContext& context, PlayMenuResult& result, QWidget* parent)
    : SetupDialog(context, "frmPlayMenu", parent), m_result(result)
{
    setObjectName("frmPlayMenu");
    setWindowTitle(tr2("Caption", "Play"));
    m_result.Cancelled = false;
    m_dir = new FolderTree(this);
    m_dir->setObjectName("Dir1");
    m_dir->setMinimumSize(300, 260);
    m_drive = new VolumeBox(m_dir, this);
    m_drive->setObjectName("Drive1");
    m_files = new QListWidget(this);
    m_files->setObjectName("File1");
    m_files->setMinimumWidth(220);
    m_path = new QLabel(this);
    m_path->setObjectName("lblPath");
    // A long path may be wider than the label; the tool tip shows it whole.
    m_path->setMinimumWidth(0);
    m_path->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* ok = makeButton("cmdOK", "&OK");
    ok->setDefault(true);
    auto* cancel = makeButton("cmdCancel", "&Cancel");

    auto* left = new QVBoxLayout;
    left->addWidget(m_drive);
    left->addWidget(m_dir, 1);
    auto* lists = new QHBoxLayout;
    lists->addLayout(left, 1);
    lists->addWidget(m_files, 1);
    auto* buttons = okCancelRow(ok, cancel);
    buttons->insertWidget(0, m_path, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);
    applyProgramFont();

    connect(m_dir, &FolderTree::folderChanged, this, [this](const QString& folder) {
        m_drive->follow(folder.toStdString());
        listFiles(folder.toStdString());
    });
    connect(m_files, &QListWidget::itemClicked, this, &PlayMenuDialog::fileClicked);
    connect(m_files, &QListWidget::itemDoubleClicked, this, [this] {
        fileClicked();
        this->ok();
    });
    connect(ok, &QPushButton::clicked, this, &PlayMenuDialog::ok);
    connect(cancel, &QPushButton::clicked, this, &PlayMenuDialog::reject);
}

void PlayMenuDialog::onActivate()
{
    // A start folder that does not exist leaves the lists and the label as they are.
    if (!m_dir->showFolder(m_result.PlayPath))
        return;
    m_path->setText(QString::fromStdString(m_result.PlayPath.string()));
    m_path->setToolTip(m_path->text());
}

void PlayMenuDialog::listFiles(const fs::path& folder)
{
    m_files->clear();
    for (const std::string& name : folderEntries(folder, false)) {
        const QString shown = QString::fromStdString(name);
        if (shown.endsWith(".avi", Qt::CaseInsensitive))
            m_files->addItem(shown);
    }
}

void PlayMenuDialog::fileClicked()
{
    QListWidgetItem* item = m_files->currentItem();
    if (!item)
        return;
    QString folder = QString::fromStdString(m_dir->currentFolder().string());
    if (!folder.trimmed().endsWith('/'))
        folder += '/';
    m_path->setText(' ' + folder + item->text());
    m_path->setToolTip(m_path->text().trimmed());
}

void PlayMenuDialog::ok()
{
    m_result.Cancelled = false;
    m_result.PlayPath = m_path->text().trimmed().toStdString();
    done(Accepted);
    letEventsRun();
}

void PlayMenuDialog::onCancel()
{
    m_result.Cancelled = true;
    done(Rejected);
    letEventsRun();
}

} // namespace pellucor
