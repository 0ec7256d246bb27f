#include "app/core/language_pack.h"
#include "app/core/open_file.h"

#include "test_folder.h"

#include <gtest/gtest.h>

#include <fstream>

#include <unistd.h>

using namespace pellucor;

namespace {

class LanguagePack : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_state.paths.homeDir = m_dir.path() / "home";
        m_state.paths.dataDir = m_dir.path() / "data";
        InitGlobals(m_state, 0);
        m_state.Language = "Test";
    }
    void pack(const char* name, std::string_view text) { writeText(m_state.paths.langDir() / name, text); }

    TestFolder m_dir{"lang"};
    AppState m_state;
};

TEST_F(LanguagePack, UiSettingsAndTheirAbsentValues)
{
    pack("test_1.ini", "[General]\nUIWidth=800\nDisableIntelval=0\nAboutVersion=About 2\nExtraItem3=7\n");
    m_state.ui.UIHeight = 123;
    ASSERT_TRUE(LoadUISetting(m_state));
    const UiSettings& ui = m_state.ui;
    EXPECT_EQ(ui.FontName, "MS Sans Serif");
    EXPECT_EQ(ui.FontSize, 9);
    EXPECT_EQ(ui.FontWeight, 400);
    EXPECT_EQ(ui.UIWidth, 800);
    EXPECT_EQ(ui.UIHeight, 123); // absent: unchanged
    EXPECT_TRUE(ui.ImageIntervalOn);
    EXPECT_EQ(ui.AboutVersion, "About 2");
    EXPECT_EQ(ui.Version, "");
    EXPECT_EQ(ui.ExtraItem, (std::array<std::int32_t, 5>{0, 0, 7, 0, 0}));

    pack("test_1.ini", "[General]\nDisableIntelval=2\nFontSize=10.5\n");
    ASSERT_TRUE(LoadUISetting(m_state));
    EXPECT_FALSE(m_state.ui.ImageIntervalOn);
    EXPECT_FLOAT_EQ(m_state.ui.FontSize, 10.5f);

    for (const char* bad :
         {"[General]\nFontSize=big\n", "[General]\nUIWidth=8o0\n", "[General]\nExtraItem5=x\n"}) {
        pack("test_1.ini", bad);
        std::string error;
        EXPECT_FALSE(LoadUISetting(m_state, &error)) << bad;
        EXPECT_FLOAT_EQ(m_state.ui.FontSize, 10.5f); // nothing changed
    }

    UiSettings unread;
    EXPECT_EQ(effectiveFontSize(unread), 9);
    EXPECT_EQ(unread.FontSize, 9);
}

// DisableIntelval is a presence flag: any value but a zero turns the interval off, whatever its kind.
TEST_F(LanguagePack, DisableIntelvalIsAPresenceFlag)
{
    struct Case
    {
        const char* line;
        bool intervalOn;
    };
    for (const Case& c :
         {Case{"DisableIntelval=yes\n", false}, Case{"DisableIntelval=1\n", false},
          Case{"DisableIntelval=-1\n", false}, Case{"DisableIntelval=True\n", false},
          Case{"DisableIntelval=0.5\n", false}, Case{"DisableIntelval=0\n", true},
          Case{"DisableIntelval=-0\n", true}, Case{"DisableIntelval=0.0\n", true},
          Case{"DisableIntelval=False\n", true}, Case{"DisableIntelval=\n", true}, Case{"", true}}) {
        SCOPED_TRACE(c.line);
        pack("test_1.ini", std::string("[General]\nFontSize=11\n") + c.line);
        m_state.ui.ImageIntervalOn = !c.intervalOn;
        std::string error;
        ASSERT_TRUE(LoadUISetting(m_state, &error)) << error;
        EXPECT_EQ(m_state.ui.ImageIntervalOn, c.intervalOn);
        EXPECT_FLOAT_EQ(m_state.ui.FontSize, 11);
    }
}

// A pack that a Windows tool wrote is read in Windows-1252, or in the code page of the character
// set its "_1.ini" names.
TEST_F(LanguagePack, PacksThatAreNotUtf8AreReadInTheirCodePage)
{
    m_state.Language = "deutsch";
    for (const char* name : {"deutsch.ini", "deutsch_1.ini", "deutsch_2.ini", "deutsch_3.ini"})
        writeText(m_state.paths.langDir() / name, fileText(hostileFixture(std::string("lang/") + name)));
    std::string error;
    ASSERT_TRUE(LoadButtonText(m_state, &error)) << error;
    ASSERT_TRUE(LoadHintText(m_state, &error)) << error;
    ASSERT_TRUE(LoadUISetting(m_state, &error)) << error;
    ASSERT_TRUE(LoadLanguageText(m_state, &error)) << error;
    EXPECT_EQ(m_state.ButtonTable[0].BtnStr[7], "Aufnahme öffnen und abspielen");
    EXPECT_EQ(m_state.MaxHint, "Größer");
    EXPECT_EQ(m_state.MaxHint2, "Zurück auf normale Größe");
    EXPECT_EQ(m_state.ui.AboutVersion, "Pellucor SE 1.0 – Überwachung");
    EXPECT_EQ(m_state.texts.AppTitle, "Pellucor SE – Überwachung");
    EXPECT_EQ(m_state.texts.EventText[2], "Kamera angehalten – Verbindung getrennt.");
    EXPECT_EQ(m_state.texts.PanelMessage[0], "Kamera ist nicht verfügbar.");

    // A Cyrillic pack names its character set (204): its texts are Windows-1251.
    m_state.Language = "russian";
    pack("russian_1.ini", "[General]\nFontCharSet=204\nAboutVersion=\xC2\xE5\xF0\xF1\xE8\xFF 1\n");
    pack("russian_3.ini", "[BtnName]\n1=Max\n[BtnStr]\n7=Tip\n[Max]\nTip=\xC1\xEE\xEB\xFC\xF8\xE5\n");
    pack("russian.ini", "[frmController]\nstrOffLine=\xCD\xE5\xF2 \xF1\xE2\xFF\xE7\xE8\n");
    ASSERT_TRUE(LoadUISetting(m_state, &error)) << error;
    ASSERT_TRUE(LoadHintText(m_state, &error)) << error;
    ASSERT_TRUE(LoadLanguageText(m_state, &error)) << error;
    EXPECT_EQ(m_state.ui.FontCharSet, 204);
    EXPECT_EQ(m_state.ui.AboutVersion, "Версия 1");
    EXPECT_EQ(m_state.MaxHint, "Больше");
    EXPECT_EQ(m_state.texts.strOffLine, "Нет связи");

    // A file that is no text at all (a NUL byte) is still refused, naming the file.
    pack("russian.ini", std::string("[frmController]\nstrOffLine=x") + '\0' + "\n");
    EXPECT_FALSE(LoadLanguageText(m_state, &error));
    EXPECT_NE(error.find("russian.ini"), std::string::npos) << error;
    EXPECT_EQ(m_state.texts.strOffLine, "Нет связи");
}

TEST_F(LanguagePack, ButtonAndHintRows)
{
    // Keys before any section must not leak into rows without a name.
    pack("TEST_2.INI", "Off=leak\n[BtnName]\n0=Play\n2=Cam1\n[BtnStr]\n0=Off\n1=Up\n7=Hint\n"
                       "[Play]\nOff=play_off\nUp=play_up\nHint=Play a file\nEnableGray=-1\n"
                       "[Cam1]\nOff=cam_off\nEnableGray=0\n");
    pack("test_3.ini", "[BtnName]\n1=Max\n[BtnStr]\n7=Tip\n[Max]\nTip=Maximise\nHint2=Restore\n");
    ASSERT_TRUE(LoadButtonText(m_state));
    ASSERT_TRUE(LoadHintText(m_state));
    const auto& b = m_state.ButtonTable;
    EXPECT_EQ(b[0].BtnName, "Play");
    EXPECT_EQ(b[0].BtnStr[0], "play_off");
    EXPECT_EQ(b[0].BtnStr[1], "play_up");
    EXPECT_EQ(b[0].BtnStr[7], "Play a file");
    EXPECT_EQ(b[0].BtnStr[2], "");
    EXPECT_TRUE(b[0].EnableGray);
    EXPECT_EQ(b[1].BtnName, "");
    EXPECT_EQ(b[1].BtnStr[0], "");
    EXPECT_FALSE(b[2].EnableGray);
    EXPECT_EQ(b[40].BtnName, "");
    EXPECT_EQ(m_state.MaxHint, "Maximise");
    EXPECT_EQ(m_state.MaxHint2, "Restore");

    pack("test_3.ini", "[BtnName]\n1=Max\n[BtnStr]\n7=Tip\n[Max]\nTip=Maximise\n");
    ASSERT_TRUE(LoadHintText(m_state));
    EXPECT_EQ(m_state.MaxHint2, "");
    EXPECT_EQ(m_state.MaxHint, "Maximise");

    pack("test_2.ini", "[BtnName]\n0=Play\n[Play]\nEnableGray=perhaps\n");
    std::filesystem::remove(m_state.paths.langDir() / "TEST_2.INI");
    std::string error;
    EXPECT_FALSE(LoadButtonText(m_state, &error));
    EXPECT_NE(error.find("EnableGray"), std::string::npos) << error;
    EXPECT_EQ(m_state.ButtonTable[0].BtnStr[0], "play_off");
}

TEST_F(LanguagePack, MissingFilesNameTheirPath)
{
    std::string error;
    EXPECT_FALSE(LoadUISetting(m_state, &error));
    EXPECT_NE(error.find("Test_1.ini"), std::string::npos) << error;
    EXPECT_FALSE(LoadButtonText(m_state));
    EXPECT_FALSE(LoadHintText(m_state));
    m_state.texts.AppTitle = "built in";
    EXPECT_FALSE(LoadLanguageText(m_state));
    EXPECT_EQ(m_state.texts.AppTitle, "built in");
    EXPECT_EQ(m_state.EmptyText, "EMPTY");

    // A pack name from the selector never reaches outside the pack folder.
    writeText(m_dir.path() / "data" / "evil_1.ini", "[General]\nFont=x\n");
    m_state.Language = "../evil";
    EXPECT_FALSE(LoadUISetting(m_state));
}

TEST_F(LanguagePack, WindowTexts)
{
    pack("test.ini",
         "[General]\nAppTitle=Title\n[frmMain]\nEvent1=Started\nEvent13=Thirteen\nMessage3=No file\n"
         "[frmController]\nMessage5=Five\nstrOnLine=On\n[frmClient]\nsklHue=Hue\nstrRec=REC\n"
         "[PopupMenu]\nFitWindow=Fit\n[frmScan]\nCaption=Scan\n");
    ASSERT_TRUE(LoadLanguageText(m_state));
    const SharedTexts& t = m_state.texts;
    EXPECT_EQ(t.AppTitle, "Title");
    EXPECT_EQ(t.EventText[1], "Started");
    EXPECT_EQ(t.EventText[12], "");
    EXPECT_EQ(t.EventText[13], "Thirteen");
    EXPECT_EQ(t.MainMessage[2], "No file");
    EXPECT_EQ(t.PanelMessage[4], "Five");
    EXPECT_EQ(t.strOnLine, "On");
    EXPECT_EQ(t.ColorCaption[2], "Hue");
    EXPECT_EQ(t.RecText[0], "REC");
    EXPECT_EQ(t.PopupText[2], "Fit");
    EXPECT_EQ(t.ScanCaption, "Scan");
    EXPECT_EQ(m_state.EmptyText, "EMPTY"); // the pack has no strEmpty
}

class RecordingMessages : public OpenMessages
{
public:
    void show(const std::string& text, Icon icon) override { shown.emplace_back(text, icon); }
    std::vector<std::pair<std::string, Icon>> shown;
};

class FakeOpener : public DesktopOpener
{
public:
    bool openWithAssociatedProgram(const std::filesystem::path& file) override
    {
        opened.push_back(file);
        return result;
    }
    bool result = true;
    std::vector<std::filesystem::path> opened;
};

TEST_F(LanguagePack, OpeningFilesReportsThroughTheEngineMessages)
{
    m_state.texts.MainMessage = {"no program", "no start", "no file"};
    const auto file = m_dir.path() / "clip.avi";
    RecordingMessages messages;
    FakeOpener opener;
    EXPECT_FALSE(OpenWithAssociatedProgram(m_state, file, opener, messages));
    EXPECT_TRUE(opener.opened.empty());
    writeText(file, "x");
    EXPECT_TRUE(OpenWithAssociatedProgram(m_state, file, opener, messages));
    opener.result = false;
    EXPECT_FALSE(OpenWithAssociatedProgram(m_state, file, opener, messages));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0], std::make_pair(std::string("no file"), OpenMessages::Icon::None));
    EXPECT_EQ(messages.shown[1], std::make_pair(std::string("no program"), OpenMessages::Icon::Critical));
}

// The player gets the file name as one argument: quotes, blanks and shell syntax reach it as text.
TEST_F(LanguagePack, PlayerGetsTheFileAsOneArgument)
{
    const auto record = m_dir.path() / "args.txt";
    const auto player = m_dir.path() / "player.sh";
    writeText(player, "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" + record.string() + ".tmp'\nmv '" +
                          record.string() + ".tmp' '" + record.string() + "'\n");
    std::filesystem::permissions(player, std::filesystem::perms::owner_all);
    const auto file = m_dir.path() / "a b; touch pwned $(id) 'q'.avi";
    writeText(file, "x");
    m_state.settings.PlayerPath = player.string();
    m_state.texts.MainMessage = {"no program", "no start", "no file"};
    RecordingMessages messages;
    QtProgramStarter starter;
    ASSERT_TRUE(OpenWithPlayer(m_state, file, starter, messages));
    // The player runs on its own; wait for its record (bounded, not a timing assertion).
    for (int i = 0; i < 200 && !std::filesystem::exists(record); ++i)
        ::usleep(50 * 1000);
    std::string got = fileText(record);
    EXPECT_EQ(got, "1|" + file.string() + "|");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::current_path() / "pwned"));
    EXPECT_TRUE(messages.shown.empty());

    m_state.settings.PlayerPath = (m_dir.path() / "no-player").string();
    EXPECT_FALSE(OpenWithPlayer(m_state, file, starter, messages));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], std::make_pair(std::string("no start"), OpenMessages::Icon::Critical));
}

} // namespace
