#include "app/skin/pack_check.h"

#include "app/core/ini_store.h"
#include "app/skin/skin_document.h"
#include "app/skin/tool_set.h"

#include <map>
#include <memory>

namespace pellucor {

namespace {

struct TableRow
{
    QString name;
    QString texts[9];
};

// Reads a button table as the language-pack reader does: [BtnName] gives the row names,
// [BtnStr] the key of each text position, and each row's own section the texts.
bool readTable(const std::filesystem::path& file, int rows, std::vector<TableRow>* out, QStringList* problems)
{
    IniStore ini;
    ini.SetFileName(file);
    if (!ini.Load()) {
        *problems << QString::fromStdString(file.string()) + ": " + QString::fromStdString(ini.errorText());
        return false;
    }
    std::string keys[9];
    for (int j = 0; j < 9; ++j)
        keys[j] = ini.ReadValue("BtnStr", std::to_string(j)).value_or(std::string());
    out->assign(rows, TableRow{});
    for (int i = 0; i < rows; ++i) {
        TableRow& row = (*out)[i];
        const std::string name = ini.ReadValue("BtnName", std::to_string(i)).value_or(std::string());
        row.name = QString::fromStdString(name);
        if (name.empty()) {
            *problems << QString::fromStdString(file.filename().string()) + ": row " + QString::number(i) +
                             " has no name";
            continue;
        }
        for (int j = 0; j < 9; ++j)
            if (!keys[j].empty())
                row.texts[j] = QString::fromStdString(ini.ReadValue(name, keys[j]).value_or(std::string()));
    }
    return true;
}

std::unique_ptr<SkinDocument> loadSkin(const std::filesystem::path& file, QStringList* problems)
{
    auto doc = SkinDocument::load(file);
    const QString label = QString::fromStdString(file.filename().string());
    if (doc->isFallback())
        *problems << label + ": does not load";
    for (const QString& e : doc->errors())
        *problems << label + ": " + e;
    return doc;
}

const SkinObject* findIn(const SkinDocument& doc, const QString& name)
{
    if (doc.root().Name() == name)
        return &doc.root();
    return const_cast<SkinObject&>(doc.root()).findDescendant(name);
}

void requireObjects(const SkinDocument& doc, const QString& label, const QStringList& names,
                    QStringList* problems)
{
    for (const QString& n : names)
        if (!findIn(doc, n))
            *problems << label + ": object \"" + n + "\" is missing";
}

// Rows whose names the windows use literally.
void requireRowNames(const std::vector<TableRow>& rows, const std::map<int, QString>& fixed,
                     const QString& label, QStringList* problems)
{
    for (const auto& [index, name] : fixed)
        if (index < static_cast<int>(rows.size()) && rows[index].name != name)
            *problems << label + ": row " + QString::number(index) + " must be \"" + name + "\", not \"" +
                             rows[index].name + "\"";
}

void checkRows(const std::vector<TableRow>& rows, const SkinDocument& doc, const QString& tableLabel,
               const QString& skinLabel, QStringList* problems)
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TableRow& row = rows[i];
        if (row.name.isEmpty())
            continue;
        const SkinObject* object = findIn(doc, row.name);
        if (!object) {
            *problems << skinLabel + ": object \"" + row.name + "\" of " + tableLabel + " row " +
                             QString::number(i) + " is missing";
            continue;
        }
        for (int j = 0; j <= 6; ++j) {
            const QString& bitmap = row.texts[j];
            if (bitmap.isEmpty() || parseFillColour(bitmap))
                continue;
            if (!object->image(bitmap))
                *problems << skinLabel + ": object \"" + row.name + "\" has no bitmap \"" + bitmap + "\" (" +
                                 tableLabel + " row " + QString::number(i) + ", text " + QString::number(j) +
                                 ")";
        }
    }
}

std::map<int, QString> panelFixedRows()
{
    std::map<int, QString> fixed = {{3, "Scan"},      {4, "Combine"}, {6, "MotionRec"}, {7, "ScheduleRec"},
                                    {8, "ManualRec"}, {9, "Assign"},  {10, "Connect"},  {11, "Erase"},
                                    {12, "ExtInfo"},  {13, "Web"},    {14, "Motion"},   {15, "Update"},
                                    {33, "CamConf"},  {34, "PT-L"},   {35, "PT-R"},     {36, "PT-U"},
                                    {37, "PT-D"},     {38, "PT-H"},   {39, "PT-S"}};
    for (int c = 1; c <= 4; ++c)
        fixed[15 + c] = "Cam" + QString::number(c);
    for (int n = 1; n <= 12; ++n)
        fixed[19 + n] = "Led" + QString::number((n - 1) / 3 + 1) + "-" + QString::number((n - 1) % 3 + 1);
    return fixed;
}

void checkTools(const std::filesystem::path& file, QStringList* problems)
{
    const QString label = QString::fromStdString(file.filename().string());
    std::vector<SkinSection> sections;
    QString error;
    if (!readIniSections(file, &sections, &error)) {
        *problems << label + ": " + error;
        return;
    }
    auto defined = [&](const QString& id) -> const SkinSection* {
        for (const SkinSection& s : sections)
            if (s.name == id)
                return &s;
        return nullptr;
    };
    const QStringList zoom = {"ID_FitWindow", "ID_x1", "ID_x1.5", "ID_x2",
                              "ID_x2.5",      "ID_x3", "ID_x3.5", "ID_x4"};
    QStringList ids = {"ID_About", "ID_Help", "ID_VERSION", "ID_HelpAbout", "ID_ZoomMenu"};
    ids << zoom;
    for (const QString& id : ids)
        if (!defined(id))
            *problems << label + ": tool \"" + id + "\" is missing";
    QStringList errors;
    const ToolSet set = ToolSet::fromSections(sections, &errors);
    for (const QString& e : errors)
        *problems << label + ": " + e;
    const ToolEntry* zoomMenu = set.find("ID_ZoomMenu");
    if (zoomMenu && zoomMenu->menu != zoom)
        *problems << label + ": menu ID_ZoomMenu must hold " + zoom.join(' ');
    const ToolEntry* helpMenu = set.find("ID_HelpAbout");
    if (helpMenu && (!helpMenu->menu.contains("ID_Help") || !helpMenu->menu.contains("ID_About")))
        *problems << label + ": menu ID_HelpAbout must hold ID_Help and ID_About";
    for (const QString& id : zoom) {
        const ToolEntry* t = set.find(id);
        if (t && t->group != "Zoom")
            *problems << label + ": tool " + id + " must be in the exclusive group Zoom";
    }
}

} // namespace

QStringList checkPack(const std::filesystem::path& folder, const QString& language)
{
    QStringList problems;
    const std::string lang = language.toStdString();

    std::vector<TableRow> panelRows, windowRows;
    const bool havePanelTable = readTable(folder / (lang + "_2.ini"), 41, &panelRows, &problems);
    const bool haveWindowTable = readTable(folder / (lang + "_3.ini"), 11, &windowRows, &problems);
    if (havePanelTable)
        requireRowNames(panelRows, panelFixedRows(), language + "_2.ini", &problems);
    if (haveWindowTable) {
        requireRowNames(windowRows,
                        {{3, "OnTop"},
                         {4, "WakeUp"},
                         {5, "ColorCtl"},
                         {6, "Event"},
                         {7, "Snapshot"},
                         {8, "Rotate"},
                         {10, "Audio"}},
                        language + "_3.ini", &problems);
        bool zoomFound = false;
        for (int i : {0, 1, 2, 9})
            zoomFound = zoomFound || windowRows[i].name == "Zoom";
        if (!zoomFound)
            problems << language + "_3.ini: one of rows 0, 1, 2 and 9 must be \"Zoom\"";
    }

    const QString panelLabel = language + "_1.skn", windowLabel = language + "_2.skn";
    auto panel = loadSkin(folder / (lang + "_1.skn"), &problems);
    auto window = loadSkin(folder / (lang + "_2.skn"), &problems);
    auto pane = loadSkin(folder / "cam.skn", &problems);
    loadSkin(folder / "Bar.skn", &problems);

    if (havePanelTable)
        checkRows(panelRows, *panel, language + "_2.ini", panelLabel, &problems);
    if (haveWindowTable)
        checkRows(windowRows, *window, language + "_3.ini", windowLabel, &problems);
    requireObjects(*panel, panelLabel,
                   {"Line1", "Line2", "Line3", "Line4", "Line5", "LineID", "Time", "WebText", "MotionText",
                    "UpdateText"},
                   &problems);
    requireObjects(*window, windowLabel,
                   {"IPAddress", "Line", "Recording", "ServerName", "MotionDetect", "ColorCtl", "LBtnSet"},
                   &problems);
    requireObjects(*pane, "cam.skn", {"Top", "Bottom", "Left", "Right"}, &problems);
    checkTools(folder / (lang + ".atb"), &problems);
    return problems;
}

} // namespace pellucor
