// Folder selection and new folders on a real temporary tree, the playback picker and the
// program it starts, and the About box.
#include "settings_test_support.h"

#include "app/core/open_file.h"
#include "app/settings/folder_tree.h"
#include "app/skin/tool_set.h"

#include <QAction>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace settingstest;
namespace fs = std::filesystem;

namespace {

TEST(FolderTree, ShowsTheFolderOnItsVolumeAndRefusesWhatIsNoFolder)
{
    Rig rig;
    const fs::path deep = rig.home.path() / "rec" / ".hidden" / "cam1";
    fs::create_directories(deep);
    fs::create_directories(rig.home.path() / "rec" / "b");
    fs::create_directories(rig.home.path() / "rec" / ".other");
    writeText(rig.home.path() / "rec" / "file.txt", "x");
    FolderTree tree;
    ASSERT_TRUE(tree.showFolder(deep));
    EXPECT_EQ(tree.currentFolder(), deep);
    EXPECT_EQ(tree.topLevelItem(0)->text(0).toStdString(), volumeOf(deep).string());
    // rec lists its visible folders and the hidden one on the way, never files.
    ASSERT_TRUE(tree.showFolder(rig.home.path() / "rec"));
    QTreeWidgetItem* rec = tree.currentItem();
    tree.expandItem(rec);
    QStringList names;
    for (int i = 0; i < rec->childCount(); ++i)
        names << rec->child(i)->text(0);
    EXPECT_EQ(names, QStringList{"b"});
    EXPECT_FALSE(tree.showFolder(rig.home.path() / "rec" / "file.txt"));
    EXPECT_FALSE(tree.showFolder(rig.home.path() / "nothing"));
    EXPECT_EQ(tree.currentFolder(), rig.home.path() / "rec");
}

TEST(NewFolder, NamesThatAreNoSingleFolderAreRefused)
{
    Rig rig;
    struct Case
    {
        QString name;
        bool valid;
    };
    const Case cases[] = {{"abc", true}, {"  ", true},   {"a.b", true},
                          {"...", true}, {"a/b", false}, {"/", false},
                          {".", false},  {"..", false},  {QString("a") + QChar(0) + "b", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(validFolderName(c.name), c.valid);
        rig.prompts.boxes.clear();
        NewFolderResult result;
        NewFolderDialog d(rig.context, result);
        d.show();
        auto& ok = find<QPushButton>(d, "cmdOK");
        EXPECT_FALSE(ok.isEnabled());
        find<QLineEdit>(d, "txtNewFolder").setText(c.name);
        EXPECT_TRUE(ok.isEnabled());
        ok.click();
        EXPECT_EQ(d.isVisible(), !c.valid);
        EXPECT_EQ(result.NewFolderName, c.valid ? c.name : QString());
        EXPECT_EQ(rig.prompts.boxes.size(), c.valid ? 0u : 1u);
        if (!c.valid) {
            EXPECT_EQ(rig.prompts.boxes[0].text, "A folder name cannot be \".\" or \"..\", nor hold \"/\".");
        }
    }
    NewFolderResult result;
    NewFolderDialog d(rig.context, result);
    d.show();
    find<QLineEdit>(d, "txtNewFolder").setText("kept?");
    d.close();
    EXPECT_EQ(result.NewFolderName, "");
}

TEST(SelectDir, NewFolderAbcIsMadeAndShownASlashIsRefusedAFailedMkdirIsReported)
{
    Rig rig;
    const fs::path rec = rig.home.path() / "rec";
    fs::create_directories(rec);
    SelectDirRequest request;
    request.start = rec;
    SelectDirResult result;
    SelectDirDialog d(rig.context, request, result);
    d.show();
    EXPECT_EQ(find<QLabel>(d, "lblPath").text().toStdString(), rec.string() + " ");

    ModalDriver driver;
    auto name = [&](const QString& text) {
        driver.then<NewFolderDialog>([text](NewFolderDialog& n) {
            find<QLineEdit>(n, "txtNewFolder").setText(text);
            clickLater(n, "cmdOK");
        });
    };
    name("abc");
    click(d, "cmdNewFolder");
    EXPECT_TRUE(fs::is_directory(rec / "abc"));
    EXPECT_EQ(find<FolderTree>(d, "Dir1").currentFolder(), rec / "abc");
    EXPECT_EQ(find<QLabel>(d, "lblPath").text().toStdString(), (rec / "abc").string() + " ");

    find<FolderTree>(d, "Dir1").showFolder(rec);
    driver.then<NewFolderDialog>([](NewFolderDialog& n) {
        find<QLineEdit>(n, "txtNewFolder").setText("a/b");
        find<QPushButton>(n, "cmdOK").click(); // refused: the dialog stays
        later([&n] { n.close(); });
    });
    click(d, "cmdNewFolder");
    EXPECT_FALSE(fs::exists(rec / "a"));
    EXPECT_EQ(rig.prompts.texts(),
              std::vector<std::string>{"A folder name cannot be \".\" or \"..\", nor hold \"/\"."});

    name(QString(300, 'x')); // longer than a file name may be
    click(d, "cmdNewFolder");
    ASSERT_EQ(rig.prompts.boxes.size(), 2u);
    EXPECT_EQ(rig.prompts.boxes[1].text.rfind("The folder could not be created.\n", 0), 0u);
    EXPECT_EQ(find<FolderTree>(d, "Dir1").currentFolder(), rec);
    EXPECT_TRUE(driver.done());
    saveScreenshot(d, "select-folder.png");

    click(d, "cmdOK");
    EXPECT_FALSE(result.CancelFlag);
    EXPECT_EQ(result.path, rec);
    EXPECT_TRUE(result.enable);
}

TEST(SelectDir, TheCloseBoxReportsCancelAndALockedEnableStaysTicked)
{
    Rig rig;
    SelectDirRequest request;
    request.start = rig.home.path();
    request.enableLocked = true;
    SelectDirResult result;
    SelectDirDialog d(rig.context, request, result);
    d.show();
    EXPECT_FALSE(find<QCheckBox>(d, "chkEnable").isEnabled());
    EXPECT_TRUE(find<QCheckBox>(d, "chkEnable").isChecked());
    d.close();
    EXPECT_TRUE(result.CancelFlag);
}

struct RecordingStarter : ProgramStarter
{
    std::vector<std::pair<std::string, std::vector<std::string>>> started;
    bool answer = true;
    bool startDetached(const std::string& program, const std::vector<std::string>& arguments) override
    {
        started.emplace_back(program, arguments);
        return answer;
    }
};

struct RecordingOpener : DesktopOpener
{
    std::vector<fs::path> opened;
    bool openWithAssociatedProgram(const fs::path& file) override
    {
        opened.push_back(file);
        return true;
    }
};

QStringList listed(QWidget& d)
{
    QStringList out;
    auto& files = find<QListWidget>(d, "File1");
    for (int i = 0; i < files.count(); ++i)
        out << files.item(i)->text();
    return out;
}

void clickFile(QWidget& d, const QString& name, bool twice = false)
{
    auto& files = find<QListWidget>(d, "File1");
    QListWidgetItem* item = files.findItems(name, Qt::MatchExactly).value(0);
    ASSERT_NE(item, nullptr);
    files.setCurrentItem(item);
    emit files.itemClicked(item);
    if (twice)
        emit files.itemDoubleClicked(item);
}

TEST(PlayMenu, ListsRecordingsAndReturnsTheClickedOne)
{
    Rig rig;
    const fs::path rec = rig.home.path() / "rec";
    fs::create_directories(rec / "sub");
    for (const char* f : {"b.avi", "A.AVI", "notes.txt", "clip.avi.txt"})
        writeText(rec / f, "x");
    writeText(rec / "sub" / "c.avi", "x");
    PlayMenuResult result;
    result.PlayPath = rec;
    PlayMenuDialog d(rig.context, result);
    d.show();
    EXPECT_EQ(listed(d), (QStringList{"A.AVI", "b.avi"}));
    EXPECT_EQ(find<QLabel>(d, "lblPath").text().toStdString(), rec.string());
    clickFile(d, "b.avi");
    EXPECT_EQ(find<QLabel>(d, "lblPath").text().toStdString(), " " + (rec / "b.avi").string());
    // Moving to another folder keeps the last clicked file.
    find<FolderTree>(d, "Dir1").showFolder(rec / "sub");
    EXPECT_EQ(listed(d), QStringList{"c.avi"});
    saveScreenshot(d, "playback.png");
    click(d, "cmdOK");
    EXPECT_FALSE(result.Cancelled);
    EXPECT_EQ(result.PlayPath, rec / "b.avi");
}

TEST(PlayMenu, DoubleClickCancelAndAMissingStartFolder)
{
    Rig rig;
    const fs::path rec = rig.home.path() / "rec";
    fs::create_directories(rec);
    writeText(rec / "a.avi", "x");
    {
        PlayMenuResult result;
        result.PlayPath = rec;
        PlayMenuDialog d(rig.context, result);
        d.show();
        clickFile(d, "a.avi", true);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(result.PlayPath, rec / "a.avi");
    }
    {
        PlayMenuResult result;
        result.PlayPath = rec;
        PlayMenuDialog d(rig.context, result);
        d.show();
        click(d, "cmdOK"); // no file clicked: the start folder
        EXPECT_EQ(result.PlayPath, rec);
    }
    for (bool closeBox : {false, true}) {
        PlayMenuResult result;
        result.PlayPath = rig.home.path() / "gone";
        PlayMenuDialog d(rig.context, result);
        d.show();
        EXPECT_EQ(find<QLabel>(d, "lblPath").text(), "");
        if (closeBox)
            d.close();
        else
            click(d, "cmdCancel");
        EXPECT_TRUE(result.Cancelled);
        EXPECT_EQ(result.PlayPath, rig.home.path() / "gone");
    }
}

TEST(PlayMenu, PlayFunOpensTheChosenFileWithThePlayerOrTheDesktopByArgumentList)
{
    Rig rig;
    const fs::path rec = rig.home.path() / "rec; rm -rf $HOME";
    fs::create_directories(rec);
    const fs::path file = rec / "cam 1 'x'.avi";
    writeText(file, "x");
    rig.state().settings.StorageCount = 1;
    rig.state().settings.Storage(1).Path = rec.string();
    RecordingStarter starter;
    RecordingOpener opener;
    rig.context.starter = &starter;
    rig.context.opener = &opener;
    for (int mode : {1, 0}) {
        rig.state().settings.PlayerMode = mode;
        rig.state().settings.PlayerPath = "/usr/bin/fake-player";
        ModalDriver driver;
        driver.then<PlayMenuDialog>(
            [](PlayMenuDialog& d) { later([&d] { clickFile(d, "cam 1 'x'.avi", true); }); });
        const PlayMenuResult r = Play_Fun(rig.context, nullptr);
        EXPECT_FALSE(r.Cancelled);
        EXPECT_EQ(r.PlayPath, file);
    }
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].first, "/usr/bin/fake-player");
    EXPECT_EQ(starter.started[0].second, std::vector<std::string>{file.string()});
    EXPECT_EQ(opener.opened, std::vector<fs::path>{file});

    ModalDriver driver;
    driver.then<PlayMenuDialog>([](PlayMenuDialog& d) { clickLater(d, "cmdCancel"); });
    EXPECT_TRUE(Play_Fun(rig.context, nullptr).Cancelled);
    EXPECT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(opener.opened.size(), 1u);
}

TEST(About, ShowsThePacksVersionTextsAndStartsSystemInformation)
{
    Rig rig;
    RecordingStarter starter;
    rig.context.starter = &starter;
    AboutResult result;
    AboutDialog d(rig.context, result);
    d.show();
    EXPECT_EQ(find<QLabel>(d, "lblVersion").text(), "Pellucor SE 1.0");
    EXPECT_EQ(find<QLabel>(d, "lblTitle").text(), "Pellucor SE");
    EXPECT_EQ(find<QLabel>(d, "lblDescription").text(), "Watches, records and manages network cameras.");
    EXPECT_EQ(d.windowTitle(), "About Pellucor SE");
    saveScreenshot(d, "about.png");

    auto& bar = find<SkinToolBar>(d, "tbr");
    ASSERT_EQ(bar.actions().size(), 1);
    EXPECT_EQ(bar.actions()[0]->text(), "Version");
    bar.actions()[0]->trigger();
    d.toolClicked("ID_Help");
    EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{"1.0.5"});

    rig.context.sysInfoProgram = [] { return std::optional<std::string>(); };
    click(d, "cmdSysInfo");
    EXPECT_EQ(rig.prompts.texts().back(), "System Information Is Unavailable At This Time");
    rig.context.sysInfoProgram = [] { return std::optional<std::string>("/usr/bin/sysinfo-tool"); };
    click(d, "cmdSysInfo");
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].first, "/usr/bin/sysinfo-tool");
    starter.answer = false;
    click(d, "cmdSysInfo");
    EXPECT_EQ(rig.prompts.boxes.size(), 3u);
    click(d, "cmdOK");
    EXPECT_FALSE(d.isVisible());
}

TEST(About, WithoutThePackTheBuiltInTextsStay)
{
    Rig rig(false);
    AboutResult result;
    AboutDialog d(rig.context, result);
    d.show();
    EXPECT_EQ(find<QLabel>(d, "lblTitle").text(), "Pellucor SE");
    EXPECT_EQ(find<QPushButton>(d, "cmdOK").text(), "OK");
    EXPECT_EQ(find<QLabel>(d, "lblDescription").text(), "Watches, records and manages network cameras.");
}

} // namespace
