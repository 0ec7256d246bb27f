// The system settings dialog and its profile commands over the engine's recording fakes, with
// real profiles in a temporary home that Python's configparser reads too.
#include "settings_test_support.h"

#include "../app_core/python_peer.h"
#include "app/core/ini_store.h"
#include "app/settings/folder_tree.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeWidget>

using namespace settingstest;

namespace {

// A dialog of the rig, closed (and freed) at the end of the test.
struct Open
{
    explicit Open(Rig& rig)
        : dialog(new SystemSettingsDialog(rig.context,
                                          [this](const SystemSettingsResult& r) { closed.push_back(r); }))
    {
        dialog->show();
    }
    ~Open() { delete dialog; }
    SystemSettingsDialog& operator*() { return *dialog; }
    SystemSettingsDialog* dialog;
    std::vector<SystemSettingsResult> closed;
};

QComboBox& box(QWidget& d, const char* name)
{
    return find<QComboBox>(d, name);
}

void pick(QWidget& d, const char* name, int position)
{
    QComboBox& c = box(d, name);
    c.setCurrentIndex(position);
    emit c.activated(position);
}

TEST(SystemSettings, ReserveAndSplitSizeReachAllFourEnginesAndTheScanTimer)
{
    struct Case
    {
        int reserve, splitMode, value, scanDelay;
        std::int32_t minReserved, splitSpace, splitTime, scanMs;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 490, 10, 10, 1000},    // "500 MB", 10 MB, "1 Sec."
        {10, 0, 4, 19, 950, 50, 10, 20000}, // "1000 MB", 50 MB, "20 Sec."
        {2, 1, 3, 4, 590, 10, 40, 5000},    // time mode: the stored size still counts
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.minReserved);
        Rig rig;
        Open d(rig);
        pick(*d, "cboReserveSpace", c.reserve);
        pick(*d, "cboSplitFileMode", c.splitMode);
        pick(*d, "cboSplitFileValue", c.value);
        pick(*d, "cboScanDelay", c.scanDelay);
        const auto from = rig.mark();
        click(*d, "cmdOK");
        ASSERT_EQ(d.closed.size(), 1u);
        EXPECT_FALSE(d.closed[0].Cancelled);
        for (int n = 1; n <= 4; ++n) {
            const std::string cam = "Cam(" + std::to_string(n) + ").";
            EXPECT_EQ(rig.lines(cam + "MinReservedSpace", from),
                      std::vector<std::string>{cam + "MinReservedSpace = " + std::to_string(c.minReserved)});
            EXPECT_EQ(rig.lines(cam + "SplitFileSpace", from),
                      std::vector<std::string>{cam + "SplitFileSpace = " + std::to_string(c.splitSpace)});
            EXPECT_EQ(rig.lines(cam + "SplitFileTime", from),
                      std::vector<std::string>{cam + "SplitFileTime = " + std::to_string(c.splitTime)});
            EXPECT_EQ(rig.lines("CamViewer1(" + std::to_string(n) + ").setSplitSize", from).size(), 1u);
        }
        EXPECT_EQ(rig.engine.engine->tmrScan().interval(), c.scanMs);
        EXPECT_EQ(rig.state().settings.ReserveSpace, c.reserve);
        EXPECT_EQ(rig.host.calls, std::vector<std::string>{"showPanel"});
        EXPECT_TRUE(std::filesystem::exists(rig.profile()));
    }
}

TEST(SystemSettings, ProxyPortsAreDigitsOnlyFromOneTo65535AndARefusedOkChangesNothing)
{
    struct Case
    {
        const char* port;
        bool accepted;
    };
    const Case cases[] = {{"0", false},
                          {"65536", false},
                          {"", false},
                          {"99999999999999999999", false},
                          {"80a", false},
                          {"-1", false},
                          {" 80", false},
                          {"1", true},
                          {"65535", true},
                          {"000080", true},
                          {"0000000065535", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        Rig rig;
        rig.state().settings.ProxyServerPort = 8080;
        const SystemSettings before = rig.state().settings;
        Open d(rig);
        pick(*d, "cboReserveSpace", 5);
        find<QCheckBox>(*d, "chkProxyServer").setChecked(true);
        find<QLineEdit>(*d, "txtProxyServer").setText("proxy.example.test");
        find<QLineEdit>(*d, "txtProxyServerPort").setText(c.port);
        const auto from = rig.mark();
        click(*d, "cmdOK");
        if (c.accepted) {
            EXPECT_TRUE(rig.prompts.boxes.empty());
            EXPECT_EQ(rig.state().settings.ProxyServerPort, QString(c.port).toInt());
            EXPECT_TRUE(rig.state().settings.EnableProxy);
            EXPECT_EQ(
                rig.lines("Cam(4).ProxyPort", from),
                std::vector<std::string>{"Cam(4).ProxyPort = " + std::to_string(QString(c.port).toInt())});
            continue;
        }
        EXPECT_EQ(rig.prompts.texts(),
                  std::vector<std::string>{"The proxy port must be a number from 1 to 65535."});
        EXPECT_EQ(rig.prompts.boxes[0].style, MsgStyle::Plain);
        EXPECT_TRUE(d.closed.empty());
        EXPECT_TRUE(rig.lines("Cam(", from).empty());
        EXPECT_EQ(rig.state().settings.ReserveSpace, before.ReserveSpace);
        EXPECT_EQ(rig.state().settings.EnableProxy, before.EnableProxy);
        EXPECT_EQ(rig.state().settings.ProxyServerAddress, before.ProxyServerAddress);
        EXPECT_FALSE(std::filesystem::exists(rig.profile()));
    }
}

TEST(SystemSettings, StorageListChecksAndTheFirstTickedFolderBecomesActive)
{
    Rig rig;
    SystemSettings& s = rig.state().settings;
    s.StorageCount = 3;
    s.Storage(1) = {"/rec/a", true};
    s.Storage(2) = {"/rec/b", false};
    s.Storage(3) = {"/rec/c", true};
    s.Storage(4) = {"/rec/old", true};
    Open d(rig);
    auto& list = find<QTreeWidget>(*d, "ListViewStorage");
    ASSERT_EQ(list.topLevelItemCount(), 3);
    for (int i = 0; i < 3; ++i)
        list.topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    click(*d, "cmdOK");
    EXPECT_EQ(
        rig.prompts.texts(),
        std::vector<std::string>{"Tick at least one storage folder. The list keeps at least one folder."});
    EXPECT_TRUE(s.Storage(1).Checked); // nothing applied

    list.topLevelItem(1)->setCheckState(0, Qt::Checked);
    list.setCurrentItem(list.topLevelItem(0));
    click(*d, "cmdDelete");
    EXPECT_EQ(list.topLevelItemCount(), 2);
    EXPECT_EQ(list.topLevelItem(0)->text(0), "1");
    EXPECT_EQ(list.topLevelItem(1)->text(1), "/rec/c");
    EXPECT_EQ(list.currentItem(), list.topLevelItem(1));
    click(*d, "cmdOK");
    EXPECT_EQ(s.StorageCount, 2);
    EXPECT_EQ(s.Storage(1).Path, "/rec/b");
    EXPECT_TRUE(s.Storage(1).Checked);
    EXPECT_FALSE(s.Storage(2).Checked);
    EXPECT_EQ(s.Storage(4).Path, "/rec/old"); // beyond the count: kept
    EXPECT_EQ(s.ActiveStorage, 1);
}

TEST(SystemSettings, DeleteKeepsOneFolderAndAddIsRefusedWhenFull)
{
    Rig rig;
    SystemSettings& s = rig.state().settings;
    s.StorageCount = 1;
    s.Storage(1) = {"/rec/a", true};
    {
        Open d(rig);
        click(*d, "cmdDelete");
        EXPECT_EQ(find<QTreeWidget>(*d, "ListViewStorage").topLevelItemCount(), 1);
        EXPECT_EQ(rig.prompts.boxes.size(), 1u);
    }
    s.StorageCount = 16;
    for (int k = 1; k <= 16; ++k)
        s.Storage(k) = {"/rec/" + std::to_string(k), true};
    Open d(rig);
    click(*d, "cmdAddPath"); // no folder dialog: the click returns
    EXPECT_EQ(rig.prompts.texts().back(), "The storage list is full (16 folders).");
}

TEST(SystemSettings, AddAndModifyGoThroughTheFolderDialog)
{
    Rig rig;
    const auto a = rig.home.path() / "a";
    const auto b = rig.home.path() / "b";
    std::filesystem::create_directories(a);
    std::filesystem::create_directories(b);
    Open d(rig);
    auto& list = find<QTreeWidget>(*d, "ListViewStorage");
    const int before = list.topLevelItemCount();
    ModalDriver driver;
    bool lockedFirst = false;
    driver.then<SelectDirDialog>([&](SelectDirDialog& dir) {
        find<FolderTree>(dir, "Dir1").showFolder(a);
        find<QCheckBox>(dir, "chkEnable").setChecked(false);
        clickLater(dir, "cmdOK");
    });
    click(*d, "cmdAddPath");
    ASSERT_EQ(list.topLevelItemCount(), before + 1);
    QTreeWidgetItem* added = list.topLevelItem(before);
    EXPECT_EQ(added->text(1).toStdString(), a.string());
    EXPECT_EQ(added->checkState(0), Qt::Unchecked);
    EXPECT_EQ(list.currentItem(), added);

    list.setCurrentItem(list.topLevelItem(0));
    driver.then<SelectDirDialog>([&](SelectDirDialog& dir) {
        lockedFirst =
            !find<QCheckBox>(dir, "chkEnable").isEnabled() && find<QCheckBox>(dir, "chkEnable").isChecked();
        find<FolderTree>(dir, "Dir1").showFolder(b);
        clickLater(dir, "cmdOK");
    });
    click(*d, "cmdModify");
    EXPECT_TRUE(lockedFirst);
    EXPECT_EQ(list.topLevelItem(0)->text(1).toStdString(), b.string());

    driver.then<SelectDirDialog>([&](SelectDirDialog& dir) { later([&dir] { dir.close(); }); });
    click(*d, "cmdModify");
    EXPECT_EQ(list.topLevelItem(0)->text(1).toStdString(), b.string()); // cancelled: unchanged
    EXPECT_TRUE(driver.done());
}

TEST(SystemSettings, SplitModeShowsStoredPositionsAndProxyOffKeepsAddressAndPort)
{
    Rig rig;
    SystemSettings& s = rig.state().settings;
    s.FileSize = 2;
    s.FileTimeLimited = 4;
    s.EnableProxy = true;
    s.ProxyServerAddress = "proxy.test";
    s.ProxyServerPort = 3128;
    Open d(rig);
    EXPECT_EQ(box(*d, "cboSplitFileValue").currentIndex(), 2);
    EXPECT_EQ(find<QLabel>(*d, "lblSplitUnit").text(), "MB");
    pick(*d, "cboSplitFileValue", 0);
    pick(*d, "cboSplitFileMode", 1);
    EXPECT_EQ(box(*d, "cboSplitFileValue").currentIndex(), 4);
    EXPECT_EQ(find<QLabel>(*d, "lblSplitUnit").text(), "Min");
    pick(*d, "cboSplitFileMode", 0);
    EXPECT_EQ(box(*d, "cboSplitFileValue").currentIndex(), 2); // the stored one, not the one picked
    EXPECT_TRUE(find<QLineEdit>(*d, "txtProxyServerPort").isEnabled());
    find<QCheckBox>(*d, "chkProxyServer").setChecked(false);
    EXPECT_FALSE(find<QLineEdit>(*d, "txtProxyServerPort").isEnabled());
    find<QLineEdit>(*d, "txtProxyServerPort").setText("not checked while off");
    click(*d, "cmdOK");
    EXPECT_FALSE(s.EnableProxy);
    EXPECT_EQ(s.ProxyServerAddress, "proxy.test");
    EXPECT_EQ(s.ProxyServerPort, 3128);
}

TEST(SystemSettings, CancelAppliesNothingAndShowsThePanelTheCloseBoxDoesNot)
{
    for (bool closeBox : {false, true}) {
        Rig rig;
        Open d(rig);
        pick(*d, "cboReserveSpace", 7);
        const auto from = rig.mark();
        if (closeBox)
            d.dialog->close();
        else
            click(*d, "cmdCancel");
        ASSERT_EQ(d.closed.size(), 1u);
        EXPECT_TRUE(d.closed[0].Cancelled);
        EXPECT_EQ(rig.state().settings.ReserveSpace, 0);
        EXPECT_TRUE(rig.lines("Cam(", from).empty());
        EXPECT_EQ(rig.host.calls,
                  closeBox ? std::vector<std::string>{} : std::vector<std::string>{"showPanel"});
    }
}

TEST(SystemSettings, PlayerBrowseAndMode)
{
    Rig rig;
    Open d(rig);
    EXPECT_TRUE(d.dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(d.dialog->isModal());
    EXPECT_TRUE(find<QRadioButton>(*d, "optPlayerMode0").isChecked());
    EXPECT_FALSE(find<QLineEdit>(*d, "txtPlayPath").isEnabled());
    find<QRadioButton>(*d, "optPlayerMode1").setChecked(true);
    EXPECT_TRUE(find<QLineEdit>(*d, "txtPlayPath").isEnabled());
    rig.prompts.files = {std::nullopt, std::filesystem::path("/usr/bin/player")};
    click(*d, "cmdBrowse");
    EXPECT_EQ(find<QLineEdit>(*d, "txtPlayPath").text(), "");
    click(*d, "cmdBrowse");
    EXPECT_EQ(find<QLineEdit>(*d, "txtPlayPath").text(), "/usr/bin/player");
    saveScreenshot(*d, "system-settings.png");
    click(*d, "cmdOK");
    EXPECT_EQ(rig.state().settings.PlayerMode, 1);
    EXPECT_EQ(rig.state().settings.PlayerPath, "/usr/bin/player");
}

// ---------------------------------------------------------------------------------------------
// Profiles

// Writes a profile made from `state` (its cameras and settings) to `file`.
void writeProfileFile(const AppState& state, const std::filesystem::path& file)
{
    IniStore ini;
    ini.SetFileName(file);
    ASSERT_TRUE(writeProfile(state, ini));
    ASSERT_TRUE(ini.Save());
}

// Python's configparser reads the file; its sections, or the error.
std::string configparserSections(const std::filesystem::path& file)
{
    if (!pythonAvailable())
        return "no python";
    const std::string script =
        "import configparser,sys\n"
        "c=configparser.ConfigParser(interpolation=None)\n"
        "c.optionxform=str\n"
        "c.read(sys.argv[1],encoding='utf-8')\n"
        "print(' '.join(c.sections()), c['Cam1'].get('IPAddress',''), c['General'].get('ReserveSpace',''))\n";
    const auto scriptFile = file.parent_path() / "read_profile.py";
    writeText(scriptFile, script);
    return runCapture(std::string(kPython) + " '" + scriptFile.string() + "' '" + file.string() + "'")
        .value_or("configparser failed");
}

struct Fields
{
    int reserve, scanDelay;
    std::string proxyPort, firstStorage;
    bool proxy;
};

Fields fieldsOf(QWidget& d)
{
    return {box(d, "cboReserveSpace").currentIndex(), box(d, "cboScanDelay").currentIndex(),
            find<QLineEdit>(d, "txtProxyServerPort").text().toStdString(),
            find<QTreeWidget>(d, "ListViewStorage").topLevelItem(0)->text(1).toStdString(),
            find<QCheckBox>(d, "chkProxyServer").isChecked()};
}

TEST(Profiles, SaveAsLoadAnotherLoadBackShowsEveryFieldAndRestartsTheCameras)
{
    Rig rig;
    AppState& s = rig.state();
    // The profile in use: camera 1 assigned and enabled.
    s.settings.ReserveSpace = 2;
    s.settings.ScanDelay = 3;
    s.settings.ProxyServerPort = 3128;
    s.settings.Storage(1).Path = (rig.home.path() / "recA").string();
    s.cam(1).Assign = s.cam(1).Enable = true;
    s.cam(1).IPAddress = "127.0.0.11";
    s.cam(1).ServerName = "Front";
    // Another profile: cameras 2 and 3 assigned, 3 enabled, other settings.
    AppState other = s;
    other.cam(1) = CamInfo{};
    other.cam(2).Assign = true;
    other.cam(2).IPAddress = "127.0.0.12";
    other.cam(3).Assign = other.cam(3).Enable = true;
    other.cam(3).IPAddress = "127.0.0.13";
    other.cam(3).Port = 8500;
    other.settings.ReserveSpace = 9;
    other.settings.ScanDelay = 14;
    other.settings.EnableProxy = true;
    other.settings.ProxyServerPort = 8888;
    other.settings.Storage(1).Path = (rig.home.path() / "recB").string();
    const auto otherFile = rig.home.path() / "other.ini";
    writeProfileFile(other, otherFile);

    Open d(rig);
    EXPECT_EQ(find<QLineEdit>(*d, "txtinipath").text().toStdString(),
              (s.paths.homeDir / "main.ini").string());
    // Save As under a new name.
    const auto mine = rig.home.path() / "mine.ini";
    rig.prompts.files = {mine};
    click(*d, "cmdSaveAs");
    ASSERT_EQ(rig.prompts.requests.size(), 1u);
    EXPECT_EQ(rig.prompts.requests[0].title, "Save Profile As");
    EXPECT_EQ(rig.prompts.requests[0].filter, "Configuration Settings (*.ini)|*.ini|Any File (*.*)|*.*");
    EXPECT_EQ(s.INIPath, mine.string());
    ASSERT_TRUE(std::filesystem::exists(mine));

    // Load the other one, answering No to saving first.
    rig.prompts.answers = {Answer::No};
    rig.prompts.files = {otherFile};
    auto from = rig.mark();
    click(*d, "cmdLoad");
    EXPECT_EQ(rig.prompts.boxes.back().text, "Save the current settings before loading another profile?");
    EXPECT_EQ(rig.prompts.boxes.back().style, MsgStyle::YesNoCancel);
    EXPECT_EQ(rig.host.calls, (std::vector<std::string>{"Erase_Fun(1)", "unloadCombined", "unloadScan",
                                                        "showView(3)", "RefrushStatusBar(3)"}));
    EXPECT_EQ(s.INIPath, otherFile.string());
    EXPECT_EQ(s.CurCam, 3);
    EXPECT_FALSE(s.cam(1).Assign);
    EXPECT_EQ(s.cam(3).IPAddress, "127.0.0.13");
    EXPECT_EQ(rig.lines("Cam(2).RemoteHost", from),
              std::vector<std::string>{"Cam(2).RemoteHost = \"127.0.0.12\""});
    EXPECT_EQ(rig.lines("Cam(3).RemotePort", from), std::vector<std::string>{"Cam(3).RemotePort = 8500"});
    EXPECT_EQ(rig.lines("Cam(3).Run", from).size(), 1u);
    EXPECT_TRUE(rig.lines("Cam(2).Run", from).empty());
    Fields f = fieldsOf(*d);
    EXPECT_EQ(f.reserve, 9);
    EXPECT_EQ(f.scanDelay, 14);
    EXPECT_EQ(f.proxyPort, "8888");
    EXPECT_TRUE(f.proxy);
    EXPECT_EQ(f.firstStorage, (rig.home.path() / "recB").string());
    EXPECT_EQ(find<QLineEdit>(*d, "txtinipath").text().toStdString(), otherFile.string());

    // And back.
    rig.host.calls.clear();
    rig.prompts.answers = {Answer::No};
    rig.prompts.files = {mine};
    from = rig.mark();
    click(*d, "cmdLoad");
    EXPECT_EQ(rig.host.calls, (std::vector<std::string>{"Erase_Fun(2)", "Erase_Fun(3)", "unloadCombined",
                                                        "unloadScan", "showView(1)", "RefrushStatusBar(1)"}));
    EXPECT_EQ(s.CurCam, 1);
    EXPECT_EQ(s.cam(1).IPAddress, "127.0.0.11");
    EXPECT_EQ(s.cam(1).ServerName, "Front");
    EXPECT_FALSE(s.cam(3).Assign);
    EXPECT_EQ(rig.lines("Cam(1).RemoteHost", from),
              std::vector<std::string>{"Cam(1).RemoteHost = \"127.0.0.11\""});
    EXPECT_EQ(rig.lines("Cam(1).Run", from).size(), 1u);
    EXPECT_EQ(rig.lines("Cam(1).ProxyPort", from), std::vector<std::string>{"Cam(1).ProxyPort = 3128"});
    f = fieldsOf(*d);
    EXPECT_EQ(f.reserve, 2);
    EXPECT_EQ(f.scanDelay, 3);
    EXPECT_EQ(f.proxyPort, "3128");
    EXPECT_FALSE(f.proxy);
    EXPECT_EQ(f.firstStorage, (rig.home.path() / "recA").string());

    // OK now applies to the profile loaded last.
    click(*d, "cmdOK");
    EXPECT_EQ(s.INIPath, mine.string());

    if (!pythonAvailable())
        GTEST_SKIP() << "no /usr/bin/python3 to read the profiles";
    EXPECT_EQ(configparserSections(mine), "Cam1 Cam2 Cam3 Cam4 General 127.0.0.11 2\n");
    EXPECT_EQ(configparserSections(otherFile), "Cam1 Cam2 Cam3 Cam4 General  9\n");
}

TEST(Profiles, AProfileThatCannotBeReadChangesNothing)
{
    Rig rig;
    AppState& s = rig.state();
    s.cam(1).Assign = s.cam(1).Enable = true;
    s.cam(1).IPAddress = "127.0.0.11";
    const std::string inUse = s.INIPath;
    const auto broken = rig.home.path() / "broken.ini";
    writeText(broken, "[General]\nReserveSpace=lots\n[Cam1]\nPort=99999999999\n");
    const auto notText = rig.home.path() / "binary.ini";
    writeText(notText, std::string("[Cam1]\nServerName=Caf") + '\0' + "\n");
    const auto missing = rig.home.path() / "missing.ini";
    for (const auto& file : {broken, notText, missing}) {
        SCOPED_TRACE(file.string());
        Open d(rig);
        rig.prompts.boxes.clear();
        rig.prompts.answers = {Answer::No};
        rig.prompts.files = {file};
        const auto from = rig.mark();
        click(*d, "cmdLoad");
        ASSERT_EQ(rig.prompts.boxes.size(), 2u);
        EXPECT_EQ(rig.prompts.boxes[1].style, MsgStyle::Critical);
        EXPECT_EQ(rig.prompts.boxes[1].text.rfind("The profile could not be read; nothing was changed.\n", 0),
                  0u);
        EXPECT_TRUE(rig.host.calls.empty());
        EXPECT_TRUE(rig.lines("Cam(", from).empty());
        EXPECT_EQ(s.INIPath, inUse);
        EXPECT_TRUE(s.cam(1).Assign);
        EXPECT_EQ(s.cam(1).IPAddress, "127.0.0.11");
    }
}

TEST(Profiles, CancelledDialogsAndEmptySaveLeaveEverything)
{
    Rig rig;
    AppState& s = rig.state();
    s.cam(1).Assign = true;
    Open d(rig);
    const std::string inUse = s.INIPath;
    // Cancel in the question.
    rig.prompts.answers = {Answer::Cancel};
    click(*d, "cmdLoad");
    EXPECT_TRUE(rig.prompts.requests.empty());
    // No, then cancelled in the open dialog.
    rig.prompts.answers = {Answer::No};
    click(*d, "cmdLoad");
    EXPECT_EQ(rig.prompts.requests.back().title, "Open Profile");
    EXPECT_EQ(s.INIPath, inUse);
    // Yes, saved, then cancelled in the open dialog: the saved file is the profile in use.
    const auto saved = rig.home.path() / "saved.ini";
    rig.prompts.answers = {Answer::Yes};
    rig.prompts.files = {saved, std::nullopt};
    click(*d, "cmdLoad");
    EXPECT_EQ(rig.prompts.requests[rig.prompts.requests.size() - 2].title, "Save Profile");
    EXPECT_EQ(s.INIPath, saved.string());
    EXPECT_TRUE(std::filesystem::exists(saved));
    EXPECT_EQ(find<QLineEdit>(*d, "txtinipath").text().toStdString(),
              (s.paths.homeDir / "main.ini").string());
    EXPECT_TRUE(rig.host.calls.empty());
    EXPECT_TRUE(s.cam(1).Assign);
    // Save with an empty field does nothing.
    find<QLineEdit>(*d, "txtinipath").clear();
    click(*d, "cmdSave");
    EXPECT_EQ(s.INIPath, saved.string());
    // A typed path and OK make that path the profile.
    const auto typed = rig.home.path() / "typed.ini";
    find<QLineEdit>(*d, "txtinipath").setText(QString::fromStdString(typed.string()));
    click(*d, "cmdOK");
    EXPECT_EQ(s.INIPath, typed.string());
    EXPECT_TRUE(std::filesystem::exists(typed));
}

} // namespace
