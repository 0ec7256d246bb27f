// The pack check: does a language folder hold every object, bitmap and tool that the windows
// look up? The windows find their skin objects by name and do not expect a missing one, so a
// pack that lacks one fails here rather than in front of a user.
//
// Checked, for language L in folder D:
// - D/L_2.ini (control panel button table, 41 rows) and D/L_3.ini (camera window table, 11
//   rows): the rows whose names the windows use literally carry those names; every row names an
//   object of the matching skin, and every bitmap named in the row's state texts (0 to 6) is a
//   bitmap of that object (or of the skin, or a "BgColor" fill);
// - D/L_1.skn (panel) holds the text objects and the group labels; D/L_2.skn (camera windows)
//   the text objects, "ColorCtl" and "LBtnSet"; D/cam.skn the four edges; D/Bar.skn loads;
//   every skin loads without a problem;
// - D/L.atb defines every tool identifier the windows use, and the two pop-up menus.
//
// Needs a QGuiApplication (fonts are made while the skins are read).
#pragma once

#include <QString>
#include <QStringList>

#include <filesystem>

namespace pellucor {

// Problems found, one readable line each; empty when the pack is complete.
QStringList checkPack(const std::filesystem::path& folder, const QString& language);

} // namespace pellucor
