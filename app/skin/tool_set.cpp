#include "app/skin/tool_set.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QToolButton>

#include <cstdio>

namespace pellucor {

namespace {

constexpr int kMaxMenuItems = 64;

} // namespace

const ToolEntry* ToolSet::find(const QString& id) const
{
    for (const ToolEntry& t : tools)
        if (t.id == id)
            return &t;
    return nullptr;
}

ToolSet ToolSet::builtIn()
{
    ToolSet set;
    const QStringList zoom = {"ID_FitWindow", "ID_x1", "ID_x1.5", "ID_x2",
                              "ID_x2.5",      "ID_x3", "ID_x3.5", "ID_x4"};
    set.tools = {
        {"ID_About", "About", {}, false, {}},
        {"ID_Help", "Help", {}, false, {}},
        {"ID_VERSION", "Version", {}, false, {}},
        {"ID_HelpAbout", "Help", {}, false, {"ID_Help", "ID_About"}},
        {"ID_ZoomMenu", "Zoom", {}, false, zoom},
        {"ID_FitWindow", "Fit Window", "Zoom", true, {}},
        {"ID_x1", "x1", "Zoom", false, {}},
        {"ID_x1.5", "x1.5", "Zoom", false, {}},
        {"ID_x2", "x2", "Zoom", false, {}},
        {"ID_x2.5", "x2.5", "Zoom", false, {}},
        {"ID_x3", "x3", "Zoom", false, {}},
        {"ID_x3.5", "x3.5", "Zoom", false, {}},
        {"ID_x4", "x4", "Zoom", false, {}},
    };
    set.bar = {"ID_ZoomMenu", "ID_HelpAbout"};
    return set;
}

ToolSet ToolSet::fromSections(const std::vector<SkinSection>& sections, QStringList* errors)
{
    ToolSet set = builtIn();
    auto complain = [&](const QString& text) {
        if (errors)
            *errors << text;
    };
    for (const SkinSection& s : sections) {
        if (s.name.compare("ToolSet", Qt::CaseInsensitive) == 0) {
            if (const QString* bar = s.find("Bar")) {
                QStringList ids;
                for (const QString& id : bar->split(' ', Qt::SkipEmptyParts)) {
                    if (set.find(id))
                        ids << id;
                    else
                        complain("tool bar names unknown tool " + id);
                }
                set.bar = ids;
            }
            continue;
        }
        ToolEntry* entry = nullptr;
        for (ToolEntry& t : set.tools)
            if (t.id == s.name)
                entry = &t;
        if (!entry) {
            // New tools may be added by a file; the windows only react to the identifiers they know.
            set.tools.push_back(ToolEntry{s.name, s.name, {}, false, {}});
            entry = &set.tools.back();
        }
        if (const QString* v = s.find("Caption"))
            entry->caption = *v;
        if (const QString* v = s.find("Group"))
            entry->group = v->trimmed();
        if (const QString* v = s.find("State"))
            entry->pressed = v->trimmed() == "1" || v->trimmed() == "-1";
        if (const QString* v = s.find("Menu")) {
            QStringList items = v->split(' ', Qt::SkipEmptyParts);
            if (items.size() > kMaxMenuItems)
                items = items.mid(0, kMaxMenuItems);
            entry->menu = items;
        }
    }
    // Menus may only hold plain tools that exist; a menu inside a menu is refused.
    for (ToolEntry& t : set.tools) {
        QStringList kept;
        for (const QString& id : t.menu) {
            const ToolEntry* item = set.find(id);
            if (item && item->menu.isEmpty())
                kept << id;
            else
                complain("menu " + t.id + " names " + id + ", which is no plain tool");
        }
        t.menu = kept;
    }
    return set;
}

SkinToolBar::SkinToolBar(QWidget* parent) : QToolBar(parent)
{
    build(ToolSet::builtIn());
}

bool SkinToolBar::LoadToolSet(const QString& path)
{
    std::vector<SkinSection> sections;
    QString error;
    if (!readIniSections(path.toStdString(), &sections, &error)) {
        std::fprintf(stderr, "pellucor: tool set %s: %s; the built-in tools are used\n",
                     path.toLocal8Bit().constData(), error.toLocal8Bit().constData());
        return false;
    }
    QStringList errors;
    const ToolSet set = ToolSet::fromSections(sections, &errors);
    for (const QString& e : errors)
        std::fprintf(stderr, "pellucor: tool set %s: %s\n", path.toLocal8Bit().constData(),
                     e.toLocal8Bit().constData());
    build(set);
    return true;
}

void SkinToolBar::build(const ToolSet& set)
{
    clear();
    for (auto& [id, action] : m_tools)
        action->deleteLater();
    for (auto& [id, menu] : m_menus)
        menu->deleteLater();
    for (QActionGroup* g : m_groups)
        g->deleteLater();
    m_tools.clear();
    m_menus.clear();
    m_groups.clear();

    std::map<QString, QActionGroup*> groups;
    for (const ToolEntry& t : set.tools) {
        auto* action = new QAction(t.caption, this);
        action->setObjectName(t.id);
        if (!t.group.isEmpty()) {
            action->setCheckable(true);
            QActionGroup*& g = groups[t.group];
            if (!g) {
                g = new QActionGroup(this);
                g->setObjectName(t.group);
                g->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
                m_groups.push_back(g);
            }
            g->addAction(action);
            action->setChecked(t.pressed);
        }
        const QString id = t.id;
        connect(action, &QAction::triggered, this, [this, id, action] {
            emit ToolClick(id, action->isCheckable() && action->isChecked() ? 1 : 0);
        });
        m_tools[t.id] = action;
    }
    for (const ToolEntry& t : set.tools) {
        if (t.menu.isEmpty())
            continue;
        auto* menu = new QMenu(this);
        for (const QString& item : t.menu)
            menu->addAction(m_tools.at(item));
        m_tools.at(t.id)->setMenu(menu);
        m_menus[t.id] = menu;
    }
    for (const QString& id : set.bar) {
        QAction* action = m_tools.at(id);
        addAction(action);
        if (auto* button = qobject_cast<QToolButton*>(widgetForAction(action)); button && action->menu())
            button->setPopupMode(QToolButton::InstantPopup);
    }
}

QAction* SkinToolBar::tool(const QString& id) const
{
    auto it = m_tools.find(id);
    return it == m_tools.end() ? nullptr : it->second;
}

void SkinToolBar::SetToolText(const QString& id, const QString& text)
{
    if (QAction* a = tool(id))
        a->setText(text);
}

int SkinToolBar::ToolState(const QString& id) const
{
    const QAction* a = tool(id);
    return a && a->isCheckable() && a->isChecked() ? 1 : 0;
}

QMenu* SkinToolBar::menu(const QString& id) const
{
    auto it = m_menus.find(id);
    return it == m_menus.end() ? nullptr : it->second;
}

bool SkinToolBar::PopupMenu(const QString& id, const QPoint& globalPos)
{
    QMenu* m = menu(id);
    if (!m)
        return false;
    m->popup(globalPos);
    return true;
}

} // namespace pellucor
