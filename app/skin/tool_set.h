// Tool sets and the tool bar that shows them.
//
// A tool set file (".atb", INI syntax; format in data/lang/SKINS.txt) lists tools by identifier
// with their captions: plain tools, two-state tools of an exclusive group, and pop-up menu tools
// whose items are other tools. Without a file (or with a broken one) the bar keeps its built-in
// set: the identifiers the windows use, with the built-in captions. A file only changes captions,
// groups, states and menus of tools; identifiers never change.
//
// UI thread only.
#pragma once

#include "app/skin/skin_document.h"

#include <QString>
#include <QStringList>
#include <QToolBar>

#include <filesystem>
#include <map>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;

namespace pellucor {

struct ToolEntry
{
    QString id;
    QString caption;
    QString group; // non-empty: a two-state tool of that exclusive group
    bool pressed = false;
    QStringList menu; // non-empty: a pop-up menu of these tools
};

struct ToolSet
{
    std::vector<ToolEntry> tools;
    QStringList bar; // the tools shown on the bar, in order

    const ToolEntry* find(const QString& id) const;

    // The tools the windows use, with their built-in captions.
    static ToolSet builtIn();
    // The built-in set changed by a file's sections. Problems go to `errors`.
    static ToolSet fromSections(const std::vector<SkinSection>& sections, QStringList* errors);
};

class SkinToolBar : public QToolBar
{
    Q_OBJECT

public:
    explicit SkinToolBar(QWidget* parent = nullptr);

    // Loads a tool set file. False (built-in set kept, message on standard error) when the
    // file cannot be read.
    bool LoadToolSet(const QString& path);

    // The tool with this identifier, or nullptr.
    QAction* tool(const QString& id) const;
    void SetToolText(const QString& id, const QString& text);
    // 1 pressed, 0 released (also for an unknown identifier or a one-state tool).
    int ToolState(const QString& id) const;
    // Opens the pop-up menu of a menu tool at a global position; false when `id` has no menu.
    bool PopupMenu(const QString& id, const QPoint& globalPos);
    QMenu* menu(const QString& id) const;

signals:
    // A tool was chosen; `state` is its state after the click (1 pressed, 0 released).
    void ToolClick(const QString& id, int state);

private:
    void build(const ToolSet& set);

    std::map<QString, QAction*> m_tools;
    std::map<QString, QMenu*> m_menus;
    std::vector<QActionGroup*> m_groups;
};

} // namespace pellucor
