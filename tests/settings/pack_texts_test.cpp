// Every dialog finds its texts in the English pack: a key missing from a pack that exists gives
// an empty text, so an empty caption here is a key the pack lacks.
#include "settings_test_support.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QPointer>
#include <QTreeWidget>

using namespace settingstest;

namespace {

std::vector<std::string> emptyTexts(QWidget& d)
{
    std::vector<std::string> out;
    if (d.windowTitle().isEmpty())
        out.push_back(d.objectName().toStdString() + " title");
    for (QAbstractButton* b : d.findChildren<QAbstractButton*>()) {
        const QString name = b->objectName();
        if ((name.startsWith("cmd") || name.startsWith("chk") || name.startsWith("opt")) &&
            b->text().isEmpty())
            out.push_back(name.toStdString());
    }
    for (QGroupBox* g : d.findChildren<QGroupBox*>())
        if (g->title().isEmpty() && g->findChildren<QAbstractButton*>().isEmpty())
            out.push_back("a frame of " + d.objectName().toStdString());
    for (QTreeWidget* t : d.findChildren<QTreeWidget*>())
        for (int c = 0; c < t->columnCount() && !t->isHeaderHidden(); ++c)
            if (t->headerItem()->text(c).isEmpty())
                out.push_back(t->objectName().toStdString() + " column " + std::to_string(c));
    return out;
}

TEST(PackTexts, EveryDialogFindsItsCaptionsInTheEnglishPack)
{
    Rig rig;
    std::vector<std::unique_ptr<QWidget>> dialogs;
    ScheduleResult schedule;
    ScheduleEntryResult entry;
    MotionSettingsResult motion;
    EMailSettingsResult mail;
    SelectDirResult dir;
    NewFolderResult folder;
    PlayMenuResult play;
    AboutResult about;
    dialogs.emplace_back(new ScheduleDialog(rig.context, rig.state().CurCam, schedule));
    dialogs.emplace_back(new ScheduleEntryEditor(rig.context, {}, entry));
    dialogs.emplace_back(new MotionSettingsDialog(rig.context, rig.state().CurCam, motion));
    dialogs.emplace_back(new EMailSettingsDialog(rig.context, rig.state().CurCam, mail));
    dialogs.emplace_back(new SystemSettingsDialog(rig.context, {}));
    dialogs.emplace_back(new SelectDirDialog(rig.context, {}, dir));
    dialogs.emplace_back(new NewFolderDialog(rig.context, folder));
    dialogs.emplace_back(new PlayMenuDialog(rig.context, play));
    dialogs.emplace_back(new AboutDialog(rig.context, about));
    for (auto& d : dialogs) {
        SCOPED_TRACE(d->objectName().toStdString());
        EXPECT_EQ(emptyTexts(*d), std::vector<std::string>{});
    }
    // Each dialog section holds the messages the dialogs show.
    for (const auto& [section, count] : std::vector<std::pair<const char*, int>>{{"frmSchedule", 1},
                                                                                 {"frmAddSchedule", 4},
                                                                                 {"frmEMailSetting", 3},
                                                                                 {"frmSysConfig", 6},
                                                                                 {"frmSelectDir", 1},
                                                                                 {"frmNewFolder", 1}}) {
        const WindowTexts t = WindowTexts::load(rig.state(), section);
        for (int k = 1; k <= count; ++k)
            EXPECT_FALSE(t.message(k).isEmpty()) << section << " Message" << k;
    }
}

TEST(PackTexts, TheModelessSettingsDialogFreesItselfWhenItCloses)
{
    Rig rig;
    for (const char* how : {"cmdCancel", "cmdOK", "close"}) {
        SCOPED_TRACE(how);
        int closed = 0;
        QPointer<SystemSettingsDialog> d =
            showSystemSettings(rig.context, nullptr, [&](const SystemSettingsResult&) { ++closed; });
        ASSERT_TRUE(d);
        EXPECT_TRUE(d->isVisible());
        if (std::string(how) == "close")
            d->close();
        else
            click(*d, how);
        EXPECT_EQ(closed, 1);
        EXPECT_TRUE(waitUntil([&] { return d.isNull(); }, 10000));
    }
}

} // namespace
