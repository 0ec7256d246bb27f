// Browsing the file system in place of drive and folder lists: a list of the mounted volumes
// (mount points) and a tree of the folders of one volume, read lazily as branches open.
//
// Hidden folders (names starting with ".") are not listed, except those on the way to the folder
// shown. A folder that cannot be read shows no subfolders. UI thread only.
#pragma once

#include <QComboBox>
#include <QTreeWidget>

#include <filesystem>
#include <string>
#include <vector>

namespace pellucor {

// The mount points of the mounted volumes, "/" first.
QStringList mountPoints();
// The mount point that holds `path` (the longest one that is a prefix of it), "/" at least.
std::filesystem::path volumeOf(const std::filesystem::path& path);

// The names of the folders (`folders` true) or regular files in `folder`, sorted; entries that
// cannot be read are left out, and an unreadable folder gives none.
std::vector<std::string> folderEntries(const std::filesystem::path& folder, bool folders);

class FolderTree : public QTreeWidget
{
    Q_OBJECT

public:
    explicit FolderTree(QWidget* parent = nullptr);

    // Shows the volume that holds `folder` and selects the folder. False (nothing changes) when
    // it is not an existing folder.
    bool showFolder(const std::filesystem::path& folder);
    // The selected folder.
    std::filesystem::path currentFolder() const { return m_current; }
    // Reads the selected folder's subfolders again.
    void refreshCurrent();

signals:
    void folderChanged(const QString& folder);

private:
    void fill(QTreeWidgetItem* item, const std::filesystem::path& keep);

    std::filesystem::path m_current;
};

// The volume list that drives a folder tree: choosing a volume shows its root.
class VolumeBox : public QComboBox
{
    Q_OBJECT

public:
    explicit VolumeBox(FolderTree* tree, QWidget* parent = nullptr);
    // Selects the volume of `folder` without changing the tree.
    void follow(const std::filesystem::path& folder);

private:
    FolderTree* m_tree;
    bool m_following = false;
};

} // namespace pellucor
