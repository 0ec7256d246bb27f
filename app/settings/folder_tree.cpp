#include "app/settings/folder_tree.h"

#include "app/core/disks.h"

#include <QSignalBlocker>

#include <algorithm>

namespace fs = std::filesystem;

namespace pellucor {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kFilledRole = Qt::UserRole + 1;

fs::path pathOf(const QTreeWidgetItem* item)
{
    return fs::path(item->data(0, kPathRole).toString().toStdString());
}

QTreeWidgetItem* makeItem(const fs::path& path, const QString& text)
{
    auto* item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, kPathRole, QString::fromStdString(path.string()));
    item->setData(0, kFilledRole, false);
    // An arrow until the branch is read; reading it removes the arrow when it has no folders.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

bool isPrefix(const fs::path& prefix, const fs::path& path)
{
    auto p = prefix.begin();
    auto q = path.begin();
    for (; p != prefix.end(); ++p, ++q) {
        if (p->empty())
            continue; // a trailing separator
        if (q == path.end() || *p != *q)
            return false;
    }
    return true;
}

} // namespace

std::vector<std::string> folderEntries(const fs::path& folder, bool folders)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (folders ? it->is_directory(typeError) : it->is_regular_file(typeError))
            names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

QStringList mountPoints()
{
    QStringList out{"/"};
    for (const CAPIDisks::Volume& v : CAPIDisks().volumes()) {
        const QString m = QString::fromStdString(v.mountPoint);
        if (!out.contains(m))
            out << m;
    }
    return out;
}

fs::path volumeOf(const fs::path& path)
{
    fs::path best = "/";
    std::size_t bestLength = 1;
    for (const QString& m : mountPoints()) {
        const fs::path mount(m.toStdString());
        const std::size_t length = mount.string().size();
        if (length > bestLength && isPrefix(mount, path)) {
            best = mount;
            bestLength = length;
        }
    }
    return best;
}

FolderTree::FolderTree(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { fill(item, {}); });
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item)
            return;
        m_current = pathOf(item);
        emit folderChanged(QString::fromStdString(m_current.string()));
    });
}

void FolderTree::fill(QTreeWidgetItem* item, const fs::path& keep)
{
    if (item->data(0, kFilledRole).toBool())
        return;
    item->setData(0, kFilledRole, true);
    const fs::path folder = pathOf(item);
    int shown = 0;
    for (const std::string& name : folderEntries(folder, true)) {
        const fs::path child = folder / name;
        if (name.starts_with('.') && child != keep)
            continue;
        item->addChild(makeItem(child, QString::fromStdString(name)));
        ++shown;
    }
    item->setChildIndicatorPolicy(shown == 0 ? QTreeWidgetItem::DontShowIndicator
                                             : QTreeWidgetItem::ShowIndicator);
}

bool FolderTree::showFolder(const fs::path& folder)
{
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec))
        return false;
    const fs::path target = fs::absolute(folder, ec).lexically_normal();
    fs::path clean = target;
    if (clean.has_relative_path() && clean.filename().empty())
        clean = clean.parent_path();
    const fs::path root = volumeOf(clean);

    QSignalBlocker blocker(this);
    clear();
    auto* rootItem = makeItem(root, QString::fromStdString(root.string()));
    addTopLevelItem(rootItem);
    QTreeWidgetItem* item = rootItem;
    fs::path at = root;
    const fs::path rest = clean.lexically_relative(root);
    for (const fs::path& part : rest) {
        if (part.empty() || part == ".")
            continue;
        const fs::path next = at / part;
        fill(item, next);
        item->setExpanded(true);
        QTreeWidgetItem* found = nullptr;
        for (int i = 0; i < item->childCount(); ++i)
            if (pathOf(item->child(i)) == next)
                found = item->child(i);
        if (!found)
            break;
        item = found;
        at = next;
    }
    fill(item, {});
    setCurrentItem(item);
    scrollToItem(item);
    m_current = pathOf(item);
    blocker.unblock();
    emit folderChanged(QString::fromStdString(m_current.string()));
    return true;
}

void FolderTree::refreshCurrent()
{
    QTreeWidgetItem* item = currentItem();
    if (!item)
        return;
    qDeleteAll(item->takeChildren());
    item->setData(0, kFilledRole, false);
    fill(item, {});
    item->setExpanded(true);
}

VolumeBox::VolumeBox(FolderTree* tree, QWidget* parent) : QComboBox(parent), m_tree(tree)
{
    addItems(mountPoints());
    connect(this, &QComboBox::currentTextChanged, this, [this](const QString& mount) {
        // A volume that cannot be read leaves the tree where it was.
        if (!m_following)
            m_tree->showFolder(mount.toStdString());
    });
}

void VolumeBox::follow(const fs::path& folder)
{
    m_following = true;
    const int i = findText(QString::fromStdString(volumeOf(folder).string()));
    if (i >= 0)
        setCurrentIndex(i);
    m_following = false;
}

} // namespace pellucor
