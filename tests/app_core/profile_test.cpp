#include "app/core/ini_store.h"
#include "app/core/language_pack.h"
#include "app/core/profile.h"
#include "app/core/text_util.h"

#include "python_peer.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pellucor;

namespace {

class Profile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_state.paths.homeDir = m_dir.path() / "home";
        m_state.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
        InitGlobals(m_state, 1000);
    }
    void writeProfileText(std::string_view text) { writeText(m_state.paths.defaultProfile(), text); }

    TestFolder m_dir{"profile"};
    AppState m_state;
};

TEST_F(Profile, FirstStartKeepsStartValues)
{
    ASSERT_TRUE(LoadSetting(m_state));
    const SystemSettings& s = m_state.settings;
    EXPECT_EQ(s.StorageCount, 1);
    EXPECT_EQ(s.Storage(1).Path, m_state.paths.homeDir.string());
    EXPECT_TRUE(s.Storage(1).Checked);
    EXPECT_EQ(s.ProxyServerPort, 8080);
    EXPECT_TRUE(s.BypassProxyServer);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_FALSE(m_state.cam(n).Assign);
        EXPECT_EQ(m_state.cam(n).MacAddress, "0.0.0.0.0.0");
        EXPECT_EQ(m_state.cam(n).Port, 8481);
        EXPECT_EQ(m_state.cam(n).Schedule(5).MODE, 1);
        EXPECT_EQ(m_state.cam(n).LastMotion, 1000);
    }
}

TEST_F(Profile, PresenceRules)
{
    writeProfileText(
        "[General]\n"
        "ProxyServerPort=0\nActiveStorage=0\nStorageCount=2\nStorage2Path=/rec\nStorage2Checked=-1\n"
        "[Cam1]\n"
        "Assign=0\nEnable=-1\nIsLocalCamera=0\nPassword=0\nUserName=0\nPort=0\nRecordMode=3\n"
        "Sensitivity=0\nMailIntervalTime=0\nPT=-1\nSCHEDULE1_MODE=0\n"
        "[Cam2]\nAssign=-1\nEnable=-1\nRecordMode=2\nPort=9000\nSensitivity=7\n");
    ASSERT_TRUE(LoadSetting(m_state));
    const SystemSettings& s = m_state.settings;
    EXPECT_FALSE(s.BypassProxyServer); // absent: False, not the start value
    EXPECT_EQ(s.ProxyServerPort, 8080);
    EXPECT_EQ(s.ActiveStorage, 1);
    EXPECT_EQ(s.StorageCount, 2);
    EXPECT_EQ(s.Storage(1).Path, m_state.paths.homeDir.string()); // absent path: start value
    EXPECT_FALSE(s.Storage(1).Checked);                           // absent flag: False
    EXPECT_EQ(s.Storage(2).Path, "/rec");
    EXPECT_TRUE(s.Storage(2).Checked);

    const CamInfo& c1 = m_state.cam(1);
    EXPECT_FALSE(c1.Enable); // not assigned
    EXPECT_FALSE(c1.IsLocalCamera);
    EXPECT_EQ(c1.Password, "0");
    EXPECT_EQ(c1.UserName, "0");
    EXPECT_EQ(c1.Port, 8481);
    EXPECT_EQ(c1.RecordMode, 0);
    EXPECT_EQ(c1.Sensitivity, 5);
    EXPECT_EQ(c1.MailIntervalTime, 5);
    EXPECT_TRUE(c1.PT);
    EXPECT_EQ(c1.Schedule(1).MODE, 0);
    EXPECT_EQ(c1.Schedule(2).MODE, 0); // absent schedule keys: 0, not the start value 1
    const CamInfo& c2 = m_state.cam(2);
    EXPECT_TRUE(c2.Enable);
    EXPECT_EQ(c2.RecordMode, 2);
    EXPECT_EQ(c2.Port, 9000);
    EXPECT_EQ(c2.Sensitivity, 7);
}

TEST_F(Profile, SecondProfileNeverKeepsTheFirstProfilesValues)
{
    writeProfileText("[General]\nProxyServerAddress=proxy.one\nPlayerPath=/usr/bin/one\n"
                     "[Cam1]\nUserName=first\nIPAddress=10.0.0.1\nPort=9001\n");
    ASSERT_TRUE(LoadSetting(m_state));
    EXPECT_EQ(m_state.cam(1).UserName, "first");
    const auto second = m_dir.path() / "second.ini";
    writeText(second, "[Cam1]\nIPAddress=10.0.0.2\n");
    m_state.INIPath = second.string();
    ASSERT_TRUE(LoadSetting(m_state));
    EXPECT_EQ(m_state.cam(1).IPAddress, "10.0.0.2");
    EXPECT_EQ(m_state.cam(1).UserName, "");
    EXPECT_EQ(m_state.cam(1).Port, 8481);
    EXPECT_EQ(m_state.settings.ProxyServerAddress, "");
    EXPECT_EQ(m_state.settings.PlayerPath, "");
}

TEST_F(Profile, BadProfilesChangeNothing)
{
    const std::pair<std::string, const char*> cases[] = {
        {"[General]\nStorageCount=17\n", "StorageCount"},
        {"[General]\nStorageCount=-1\n", "StorageCount"},
        {"[General]\nActiveStorage=20\n", "ActiveStorage"},
        {"[Cam3]\nPort=eighty\n", "Port"},
        {"[Cam1]\nAssign=maybe\n", "Assign"},
        {"[General]\nReserveSpace=40000\n", "ReserveSpace"},
        {"[Cam4]\nSCHEDULE5_WeekOption=1x\n", "SCHEDULE5_WeekOption"},
        {"[General]\nStorageCount=1\nStorage1Checked=yes\n", "Storage1Checked"},
        {std::string("[Cam1]\nUserName=a") + '\0' + "b\n", "NUL"},
    };
    for (const auto& [text, key] : cases) {
        SCOPED_TRACE(text);
        InitGlobals(m_state, 1000);
        m_state.cam(1).UserName = "before";
        writeProfileText(std::string("[General]\nProxyServerAddress=changed\n") + text);
        std::string error;
        EXPECT_FALSE(LoadSetting(m_state, &error));
        EXPECT_NE(error.find(key), std::string::npos) << error;
        EXPECT_EQ(m_state.cam(1).UserName, "before");
        EXPECT_EQ(m_state.settings.ProxyServerAddress, "");
    }
}

TEST_F(Profile, StorageListWithoutCount)
{
    for (const char* text :
         {"[General]\nStorage2Path=/x\n", "[General]\nStorageCount=0\nStorage2Path=/x\n"}) {
        SCOPED_TRACE(text);
        InitGlobals(m_state, 1000);
        m_state.settings.Storage(1) = {"/elsewhere", false};
        writeProfileText(text);
        ASSERT_TRUE(LoadSetting(m_state));
        EXPECT_EQ(m_state.settings.StorageCount, 1);
        EXPECT_EQ(m_state.settings.Storage(1).Path, m_state.paths.homeDir.string());
        EXPECT_TRUE(m_state.settings.Storage(1).Checked);
        EXPECT_EQ(m_state.settings.Storage(2).Path, "");
    }
}

TEST(GetActiveStorage, FirstCheckedOfAllSixteen)
{
    SystemSettings s;
    s.Storage(1).Checked = false;
    EXPECT_EQ(GetActiveStorage(s), 0);
    s.Storage(16).Checked = true;
    EXPECT_EQ(GetActiveStorage(s), 16);
    s.Storage(3).Checked = true;
    EXPECT_EQ(GetActiveStorage(s), 3);
    s.StorageCount = 0;
    EXPECT_EQ(GetActiveStorage(s), 0);
}

TEST_F(Profile, SelectorAndProfilePath)
{
    ASSERT_TRUE(LoadLanguageIni(m_state)); // the shipped selector
    EXPECT_EQ(m_state.Language, "english");
    EXPECT_EQ(m_state.INIPath, "main.ini");
    EXPECT_EQ(profilePath(m_state), m_state.paths.homeDir / "main.ini");

    writeText(m_state.paths.selectorFile(), "[System]\nINIPath=Main.ini\n");
    ASSERT_TRUE(LoadLanguageIni(m_state));
    EXPECT_EQ(m_state.Language, "english");
    EXPECT_EQ(profilePath(m_state),
              std::filesystem::path("Main.ini")); // another spelling is a path of its own

    AppState nowhere;
    nowhere.paths.homeDir = m_dir.path() / "empty-home";
    nowhere.paths.dataDir = m_dir.path() / "no-data";
    std::string error;
    EXPECT_FALSE(LoadLanguageIni(nowhere, &error));
    EXPECT_NE(error.find("language.ini"), std::string::npos);
}

// Fills every persisted field with a value of its own, so that a field that is not written or
// read back shows.
void fillDistinct(AppState& s)
{
    s.Language = "english";
    s.INIPath = "main.ini";
    SystemSettings& g = s.settings;
    g.BypassProxyServer = false;
    g.EnableProxy = true;
    g.ProxyServerAddress = "proxy.example";
    g.ProxyServerPort = 3128;
    g.ReserveSpace = 3;
    g.SplitFileMode = 1;
    g.FileSize = 4;
    g.FileTimeLimited = 5;
    g.StorageCount = 3;
    g.Storage(1) = {"/rec/one", false};
    g.Storage(2) = {"/rec/two words", true};
    g.Storage(3) = {" padded ", false};
    g.ActiveStorage = 2;
    g.UseRecycleFlag = 1;
    g.RecycleMode = 2;
    g.RecycleSpaceValue = 300;
    g.RecycleTime = 7;
    g.ScanDelay = 9;
    g.PlayerMode = 1;
    g.PlayerPath = "/usr/bin/player";
    for (int n = 1; n <= 4; ++n) {
        CamInfo& c = s.cam(n);
        const std::string t = std::to_string(n);
        c.Enable = n % 2 == 1;
        c.Assign = true;
        c.UserName = "user" + t;
        c.Password = n == 2 ? "0" : "pa;ss=" + t;
        c.IPAddress = "10.0.0." + t;
        c.MacAddress = "0.80.194.1.2." + t;
        c.Protocol = n;
        c.IsLocalCamera = n != 3;
        c.Port = 8000 + n;
        c.FWVersion = "fw" + t;
        c.HWVersion = "hw" + t;
        c.ROMVersion = "rom" + t;
        c.ServerName = "Cam " + t;
        c.ServerLocation = "Hall " + t;
        c.ServerModel = "Model " + t;
        c.RotateAngle = 90 * n;
        c.RecordMode = kRecordSchedule;
        c.ScheduleCount = n;
        c.PT = n == 4;
        for (int k = 1; k <= 5; ++k) {
            ScheduleInfo& e = c.Schedule(k);
            e.CHECK = k % 2 == 0;
            e.MODE = k % 2;
            e.WeekOption = k * 3;
            e.DateStart = "2024-01-0" + std::to_string(k);
            e.DateStop = "2024-02-0" + std::to_string(k);
            e.TimeStart = "0" + std::to_string(k) + ":00:00";
            e.TimeStop = "1" + std::to_string(k) + ":30:00";
        }
        c.MailTo = "to" + t + "@example.org";
        c.MailFrom = "from" + t + "@example.org";
        c.MailServer = "smtp" + t;
        c.MailSubject = "Alert " + t;
        c.MailUserName = "mu" + t;
        c.MailPassword = "mp" + t;
        c.MailIntervalTime = 60 + n;
        c.Sensitivity = n;
        c.Alarm = 1;
        c.SendEmail = n % 2;
        c.Trig1 = 1;
        c.Trig2 = 0;
    }
}

TEST_F(Profile, SaveLoadRoundTripIsPrivateAndAtomic)
{
    fillDistinct(m_state);
    ASSERT_TRUE(SaveSetting(m_state));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(m_state.paths.defaultProfile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    AppState loaded;
    loaded.paths = m_state.paths;
    InitGlobals(loaded, 1000);
    ASSERT_TRUE(LoadLanguageIni(loaded));
    ASSERT_TRUE(LoadSetting(loaded));
    IniStore a, b;
    ASSERT_TRUE(writeProfile(m_state, a));
    ASSERT_TRUE(writeProfile(loaded, b));
    EXPECT_EQ(a.serialize(), b.serialize());
    EXPECT_EQ(loaded.cam(2).Password, "0");
    EXPECT_EQ(loaded.settings.Storage(3).Path, " padded ");
}

// A profile that a Windows tool wrote (Windows-1252, CR LF) loads with its texts as they were
// meant, and is saved back as UTF-8.
TEST_F(Profile, AWindows1252ProfileLoadsAndIsSavedAsUtf8)
{
    std::filesystem::create_directories(m_state.paths.homeDir);
    std::filesystem::copy_file(hostileFixture("main.ini"), m_state.paths.defaultProfile());
    std::string error;
    ASSERT_TRUE(LoadSetting(m_state, &error)) << error;
    auto check = [](const AppState& s) {
        const CamInfo& c = s.cam(1);
        EXPECT_EQ(c.ServerName, "Büro");
        EXPECT_EQ(c.ServerLocation, "Erdgeschoß – Flur");
        EXPECT_EQ(c.ServerModel, "Kamera Größe M");
        EXPECT_EQ(c.Password, "pässwörd");
        EXPECT_EQ(c.MailSubject, "Bewegung im Büro: 5 € Schaden?");
        EXPECT_EQ(c.MailPassword, "geheim§1");
        EXPECT_EQ(c.Port, 80);
        EXPECT_EQ(s.cam(2).ServerName, "Café");
        EXPECT_EQ(s.settings.Storage(1).Path, "/srv/aufnahmen/Müller");
        EXPECT_EQ(s.settings.ProxyServerAddress, "proxy.example");
    };
    check(m_state);

    ASSERT_TRUE(SaveSetting(m_state, &error)) << error;
    const std::string saved = fileText(m_state.paths.defaultProfile());
    EXPECT_TRUE(isValidUtf8(saved));
    EXPECT_NE(saved.find("\nServerName=Büro\n"), std::string::npos) << saved;
    struct stat st
    {
    };
    ASSERT_EQ(::stat(m_state.paths.defaultProfile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    AppState again;
    again.paths = m_state.paths;
    InitGlobals(again, 1000);
    ASSERT_TRUE(LoadSetting(again, &error)) << error;
    check(again);
}

// A text that reaches a record without being UTF-8 (a camera's raw name bytes, a NUL) is saved as
// read in Windows-1252; it never costs the save of everything else.
TEST_F(Profile, ATextThatIsNotUtf8NeverCostsTheSave)
{
    fillDistinct(m_state);
    m_state.cam(1).ServerName = "B\xFCro";
    m_state.cam(3).MailPassword = std::string("p\0w", 3);
    m_state.settings.PlayerPath = "/opt/\xE9t\xE9";
    std::string error;
    ASSERT_TRUE(SaveSetting(m_state, &error)) << error;
    EXPECT_TRUE(isValidUtf8(fileText(m_state.paths.defaultProfile())));

    AppState loaded;
    loaded.paths = m_state.paths;
    InitGlobals(loaded, 1000);
    ASSERT_TRUE(LoadSetting(loaded, &error)) << error;
    EXPECT_EQ(loaded.cam(1).ServerName, "Büro");
    EXPECT_EQ(loaded.cam(3).MailPassword, "pw");
    EXPECT_EQ(loaded.settings.PlayerPath, "/opt/été");
    // Everything else as it was.
    m_state.cam(1).ServerName = "Büro";
    m_state.cam(3).MailPassword = "pw";
    m_state.settings.PlayerPath = "/opt/été";
    IniStore a, b;
    ASSERT_TRUE(writeProfile(m_state, a));
    ASSERT_TRUE(writeProfile(loaded, b));
    EXPECT_EQ(a.serialize(), b.serialize());
}

// Schedule dates and times in the other common forms load in the form the schedule reads, and
// are saved so; what cannot be read stays as it was written.
TEST_F(Profile, ScheduleDatesAndTimesLoadInTheScheduleForm)
{
    struct Case
    {
        const char* key;
        const char* stored;
        const char* loaded;
    };
    const Case cases[] = {
        {"SCHEDULE1_DateStart", "2024/3/1", "2024-03-01"},
        {"SCHEDULE1_DateStop", "2024-3-3", "2024-03-03"},
        {"SCHEDULE1_TimeStart", "8:00", "08:00:00"},
        {"SCHEDULE1_TimeStop", "18:00:00", "18:00:00"},
        {"SCHEDULE2_DateStart", "2024/12/31", "2024-12-31"},
        {"SCHEDULE2_TimeStart", "8:00:05", "08:00:05"},
        {"SCHEDULE2_TimeStop", "23:59", "23:59:00"},
        // Not a date or time the schedule can read: kept, and shown as not valid.
        {"SCHEDULE3_DateStart", "2024/02/30", "2024/02/30"},
        {"SCHEDULE3_DateStop", "1.3.2024", "1.3.2024"},
        {"SCHEDULE3_TimeStart", "25:00", "25:00"},
        {"SCHEDULE3_TimeStop", "8:5", "8:5"},
        {"SCHEDULE4_DateStart", "2024/3-1", "2024/3-1"},
    };
    std::string text = "[Cam2]\n";
    for (const Case& c : cases)
        text += std::string(c.key) + "=" + c.stored + "\n";
    writeProfileText(text);
    ASSERT_TRUE(LoadSetting(m_state));
    ASSERT_TRUE(SaveSetting(m_state));
    IniStore saved;
    saved.SetFileName(m_state.paths.defaultProfile());
    ASSERT_TRUE(saved.Load());
    const CamInfo& cam = m_state.cam(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const int k = c.key[8] - '0';
        const std::string field = std::string(c.key).substr(9);
        const ScheduleInfo& e = cam.Schedule(k);
        const std::string& value = field == "_DateStart"   ? e.DateStart
                                   : field == "_DateStop"  ? e.DateStop
                                   : field == "_TimeStart" ? e.TimeStart
                                                           : e.TimeStop;
        EXPECT_EQ(value, c.loaded);
        EXPECT_EQ(saved.ReadValue("Cam2", c.key), c.loaded);
    }
}

// Python's configparser (no interpolation, names as written) reads the saved selector and
// profile and prints every section and key in file order; the list must be the documented one.
TEST_F(Profile, ConfigParserReadsTheSavedFiles)
{
    if (!pythonAvailable())
        GTEST_SKIP() << "no " << kPython;
    fillDistinct(m_state);
    m_state.settings.Storage(3).Path = "/rec/three"; // configparser strips blanks, our quotes keep them
    // Values that need quotes in our files are checked by our own reader; configparser gets plain ones.
    for (int n = 1; n <= 4; ++n)
        m_state.cam(n).Password = "secret" + std::to_string(n);
    ASSERT_TRUE(SaveSetting(m_state));
    const std::string script = "import configparser,sys\n"
                               "for f in sys.argv[1:]:\n"
                               "  c=configparser.RawConfigParser(interpolation=None,strict=True)\n"
                               "  c.optionxform=str\n"
                               "  c.read(f,encoding='utf-8')\n"
                               "  for s in c.sections():\n"
                               "    for k,v in c.items(s): print(s+'/'+k+'='+v)\n";
    writeText(m_dir.path() / "read.py", script);
    auto out =
        runCapture(std::string(kPython) + " " + (m_dir.path() / "read.py").string() + " " +
                   m_state.paths.selectorFile().string() + " " + m_state.paths.defaultProfile().string());
    ASSERT_TRUE(out.has_value());

    std::string expected = "General/Language=english\nSystem/INIPath=main.ini\n";
    const char* camHead[] = {"Enable",     "Assign",         "UserName",    "Password",
                             "IPAddress",  "MacAddress",     "Protocol",    "IsLocalCamera",
                             "Port",       "FWVersion",      "HWVersion",   "ROMVersion",
                             "ServerName", "ServerLocation", "ServerModel", "RotateAngle",
                             "RecordMode", "ScheduleCount",  "PT"};
    const char* schedule[] = {"_CHECK",    "_MODE",      "_WeekOption", "_DateStart",
                              "_DateStop", "_TimeStart", "_TimeStop"};
    const char* camTail[] = {
        "MailTo",           "MailFrom",    "MailServer", "MailSubject", "MailUserName", "MailPassword",
        "MailIntervalTime", "Sensitivity", "Alarm",      "SendEmail",   "Trig1",        "Trig2"};
    IniStore saved;
    saved.SetFileName(m_state.paths.defaultProfile());
    ASSERT_TRUE(saved.Load());
    auto line = [&](const std::string& section, const std::string& key) {
        expected += section + "/" + key + "=" + saved.ReadValue(section, key).value_or("<missing>") + "\n";
    };
    for (int n = 1; n <= 4; ++n) {
        const std::string sec = "Cam" + std::to_string(n);
        for (const char* k : camHead)
            line(sec, k);
        for (int k = 1; k <= 5; ++k)
            for (const char* suffix : schedule)
                line(sec, "SCHEDULE" + std::to_string(k) + suffix);
        for (const char* k : camTail)
            line(sec, k);
    }
    for (const char* k : {"BypassProxyServer", "EnableProxy", "ProxyServerAddress", "ProxyServerPort",
                          "ReserveSpace", "SplitFileMode", "FileSize", "FileTimeLimited", "StorageCount"})
        line("General", k);
    for (int k = 1; k <= 3; ++k) {
        line("General", "Storage" + std::to_string(k) + "Path");
        line("General", "Storage" + std::to_string(k) + "Checked");
    }
    for (const char* k : {"ActiveStorage", "UseRecycleFlag", "RecycleMode", "RecycleSpaceValue",
                          "RecycleTime", "ScanDelay", "PlayerMode", "PlayerPath"})
        line("General", k);
    EXPECT_EQ(*out, expected);
    // Spot checks of the value forms, independent of our own reader.
    EXPECT_NE(out->find("Cam1/Enable=-1\n"), std::string::npos);
    EXPECT_NE(out->find("Cam2/Enable=0\n"), std::string::npos);
    EXPECT_NE(out->find("Cam1/Password=secret1\n"), std::string::npos);
    EXPECT_NE(out->find("General/Storage2Path=/rec/two words\n"), std::string::npos);
    EXPECT_NE(out->find("General/ReserveSpace=3\n"), std::string::npos);
}

// A save that fails part-way (here the file-size limit, as on a full disk) keeps the old profile.
TEST_F(Profile, FailedProfileWriteKeepsThePreviousProfile)
{
    writeProfileText("[Cam1]\nUserName=kept\n");
    fillDistinct(m_state);
    int rc = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim
        {
            512, 512
        };
        ::setrlimit(RLIMIT_FSIZE, &lim);
        return SaveSetting(m_state) ? 1 : 0;
    });
    EXPECT_EQ(rc, 0);
    std::string text = fileText(m_state.paths.defaultProfile());
    EXPECT_EQ(text, "[Cam1]\nUserName=kept\n");
    for (const auto& e : std::filesystem::directory_iterator(m_state.paths.homeDir))
        EXPECT_NE(e.path().filename().string().front(), '.') << e.path(); // no temporary file left
}

TEST_F(Profile, FailedSelectorSaveLeavesTheProfileUnwritten)
{
    writeProfileText("[Cam1]\nUserName=kept\n");
    std::filesystem::create_directories(m_state.paths.selectorFile()); // a folder in the selector's place
    std::string error;
    EXPECT_FALSE(SaveSetting(m_state, &error));
    EXPECT_FALSE(error.empty());
    IniStore p;
    p.SetFileName(m_state.paths.defaultProfile());
    ASSERT_TRUE(p.Load());
    EXPECT_EQ(p.ReadValue("Cam1", "UserName"), "kept");
    m_state.settings.StorageCount = 17;
    std::filesystem::remove(m_state.paths.selectorFile());
    EXPECT_FALSE(SaveSetting(m_state));
}

// The pack shipped in data/lang loads the way start-up loads it.
TEST_F(Profile, ShippedEnglishPackLoads)
{
    std::string error;
    ASSERT_TRUE(LoadButtonText(m_state, &error)) << error;
    ASSERT_TRUE(LoadHintText(m_state, &error)) << error;
    ASSERT_TRUE(LoadUISetting(m_state, &error)) << error;
    ASSERT_TRUE(LoadLanguageText(m_state, &error)) << error;
    EXPECT_EQ(m_state.ButtonTable[16].BtnName, "Cam1");
    EXPECT_EQ(m_state.ButtonTable[20].BtnName, "Led1-1");
    EXPECT_EQ(m_state.ButtonTable[34].BtnName, "PT-L");
    EXPECT_EQ(m_state.HintTable[5].BtnName, "ColorCtl");
    EXPECT_EQ(m_state.HintTable[10].BtnName, "Audio");
    for (const auto& row : m_state.ButtonTable)
        EXPECT_FALSE(row.BtnName.empty() || row.BtnStr[7].empty()) << row.BtnName;
    for (int k = 1; k <= kEventTextKeys; ++k)
        EXPECT_FALSE(m_state.texts.EventText[static_cast<std::size_t>(k)].empty()) << k;
    EXPECT_EQ(m_state.ui.UIWidth, 560);
    EXPECT_FALSE(m_state.MaxHint.empty());
    EXPECT_FALSE(m_state.MaxHint2.empty());
}

} // namespace
