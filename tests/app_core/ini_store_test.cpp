#include "app/core/ini_store.h"
#include "app/core/text_util.h"

#include "test_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pellucor;

namespace {

std::vector<std::string> folderEntries(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class IniStoreFile : public ::testing::Test
{
protected:
    TestFolder m_dir{"ini"};
    std::filesystem::path file(const char* name = "test.ini") const { return m_dir.path() / name; }
};

TEST_F(IniStoreFile, EveryTextSurvivesSaveAndLoad)
{
    const std::pair<const char*, std::string> cases[] = {
        {"Empty", ""},
        {"Plain", "hello world"},
        {"Zero", "0"},
        {"LeadingBlank", " x"},
        {"TrailingBlank", "x\t"},
        {"OnlyBlanks", "   "},
        {"Semicolon", "a;b"},
        {"LeadingSemicolon", ";comment-like"},
        {"Equals", "a=b=c"},
        {"CR", "line1\rline2"},
        {"LF", "line1\nline2"},
        {"CRLFAtEnd", "x\r\n"},
        {"LeadingQuote", "\"quoted\""},
        {"LoneQuote", "\""},
        {"InnerQuote", "say \"hi\""},
        {"Backslashes", "C:\\Program Files\\x\\"},
        {"BackslashAndQuote", "\\\" \\"},
        {"Hash", "#not a comment"},
        {"Bracket", "[Section]"},
        {"Utf8", "Grüße – カメラ 📷"},
        {"EscapeLetters", "\\r\\n literally"},
    };
    IniStore w;
    w.SetFileName(file());
    for (const auto& [key, value] : cases)
        ASSERT_TRUE(w.WriteValue("S", key, value)) << key;
    ASSERT_TRUE(w.Save()) << w.errorText();

    IniStore r;
    r.SetFileName(file());
    ASSERT_TRUE(r.Load()) << r.errorText();
    for (const auto& [key, value] : cases) {
        auto got = r.ReadValue("S", key);
        ASSERT_TRUE(got.has_value()) << key;
        EXPECT_EQ(*got, value) << key;
    }
    EXPECT_EQ(r.keyNames("S").size(), std::size(cases));
}

TEST_F(IniStoreFile, OrdinaryValuesAreWrittenAsTheyStand)
{
    IniStore w;
    w.SetFileName(file());
    w.WriteValue("Cam1", "Enable", true);
    w.WriteValue("Cam1", "PT", false);
    w.WriteValue("Cam1", "Port", std::int32_t{8481});
    w.WriteValue("Cam1", "Reserve", std::int16_t{-32768});
    w.WriteValue("Cam1", "IPAddress", "192.168.1.20");
    w.WriteValue("General", "Path", "/home/a b/c");
    w.WriteValue("General", "Padded", " x ");
    EXPECT_EQ(w.serialize(), "[Cam1]\nEnable=-1\nPT=0\nPort=8481\nReserve=-32768\nIPAddress=192.168.1.20\n\n"
                             "[General]\nPath=/home/a b/c\nPadded=\" x \"\n");
}

TEST(IniStore, NamesIgnoreCaseAndKeepFirstSpellingAndOrder)
{
    IniStore s;
    s.WriteValue("Cam1", "UserName", "a");
    s.WriteValue("General", "Language", "english");
    s.WriteValue("CAM1", "username", "b"); // replaces, keeps "UserName" and its place
    s.WriteValue("cam1", "Password", "p");
    EXPECT_EQ(s.sectionNames(), (std::vector<std::string>{"Cam1", "General"}));
    EXPECT_EQ(s.keyNames("cAm1"), (std::vector<std::string>{"UserName", "Password"}));
    EXPECT_EQ(s.ReadValue("cam1", "USERNAME"), "b");
    EXPECT_FALSE(s.ReadValue("Cam2", "UserName").has_value());
    EXPECT_FALSE(s.ReadValue("Cam1", "Missing").has_value());
    // ASCII folding only: other letters compare as bytes.
    s.WriteValue("Ü", "k", "1");
    EXPECT_FALSE(s.ReadValue("ü", "k").has_value());
}

TEST(IniStore, ParsesWhatHandsAndOtherProgramsWrite)
{
    IniStore s;
    ASSERT_TRUE(s.parse("\xEF\xBB\xBF"
                        "top=before any section\r\n"
                        "; a comment\r\n"
                        "# another = comment\n"
                        "\n"
                        "  [ General ]  \r\n"
                        "  Language  =  english  \r\n"
                        "no equals sign here\n"
                        "=no key\n"
                        "[unclosed\n"
                        "Quoted=\"  kept  \"\n"
                        "HandQuoted=\"a\"b\"\n"
                        "BadEscape=\"a\\qb\"\n"
                        "Dangling=\"abc\\\"\n"
                        "Inline=value ; not a comment\n"
                        "Repeat=1\n"
                        "REPEAT=2\n"
                        "[general]\n"
                        "Later=x\n"
                        "NoNewlineAtEnd=y"))
        << s.errorText();
    EXPECT_EQ(s.ReadValue("", "top"), "before any section");
    EXPECT_EQ(s.ReadValue("General", "Language"), "english");
    EXPECT_EQ(s.ReadValue("General", "Quoted"), "  kept  ");
    EXPECT_EQ(s.ReadValue("General", "HandQuoted"), "\"a\"b\"");
    EXPECT_EQ(s.ReadValue("General", "BadEscape"), "\"a\\qb\"");
    EXPECT_EQ(s.ReadValue("General", "Dangling"), "\"abc\\\"");
    EXPECT_EQ(s.ReadValue("General", "Inline"), "value ; not a comment");
    EXPECT_EQ(s.ReadValue("General", "Repeat"), "2");
    EXPECT_EQ(s.ReadValue("General", "Later"), "x");
    EXPECT_EQ(s.ReadValue("General", "NoNewlineAtEnd"), "y");
    EXPECT_EQ(s.sectionNames(), (std::vector<std::string>{"", "General"}));
    EXPECT_EQ(s.keyNames("General"),
              (std::vector<std::string>{"Language", "Quoted", "HandQuoted", "BadEscape", "Dangling", "Inline",
                                        "Repeat", "Later", "NoNewlineAtEnd"}));
    // Keys outside any section go first so that they read back into the same place.
    IniStore again;
    ASSERT_TRUE(again.parse(s.serialize()));
    EXPECT_EQ(again.ReadValue("", "top"), "before any section");
    EXPECT_EQ(again.ReadValue("General", "HandQuoted"), "\"a\"b\"");
}

// Found by fuzzing: a key of the unnamed section that starts with a byte-order mark became the
// file's first bytes and lost the mark when read back.
TEST(IniStore, KeyStartingWithAByteOrderMarkSurvives)
{
    IniStore s;
    ASSERT_TRUE(s.parse("; comment\n\xEF\xBB\xBFkey=v\n[S]\nk=1\n"));
    ASSERT_EQ(s.keyNames(""), std::vector<std::string>{"\xEF\xBB\xBFkey"});
    IniStore again;
    ASSERT_TRUE(again.parse(s.serialize()));
    EXPECT_EQ(again.ReadValue("", "\xEF\xBB\xBFkey"), "v");
    EXPECT_EQ(again.serialize(), s.serialize());
}

TEST(IniStore, TypedReads)
{
    IniStore s;
    ASSERT_TRUE(s.parse("[S]\nT=-1\nF=0\nOne=1\nWordT=True\nWordF=FALSE\nBig=40000\nNeg=-32769\n"
                        "Max32=2147483647\nOver32=2147483648\nPlus=+7\nSpaces= 12 \nText=abc\nHalf=12abc\n"
                        "Empty=\n"));
    struct Case
    {
        const char* key;
        IniRead boolRead;
        bool boolValue;
        IniRead i16Read;
        int i16Value;
        IniRead i32Read;
        long long i32Value;
    };
    const Case cases[] = {
        {"T", IniRead::Ok, true, IniRead::Ok, -1, IniRead::Ok, -1},
        {"F", IniRead::Ok, false, IniRead::Ok, 0, IniRead::Ok, 0},
        {"One", IniRead::Ok, true, IniRead::Ok, 1, IniRead::Ok, 1},
        {"WordT", IniRead::Ok, true, IniRead::Malformed, 0, IniRead::Malformed, 0},
        {"WordF", IniRead::Ok, false, IniRead::Malformed, 0, IniRead::Malformed, 0},
        {"Big", IniRead::Ok, true, IniRead::Malformed, 0, IniRead::Ok, 40000},
        {"Neg", IniRead::Ok, true, IniRead::Malformed, 0, IniRead::Ok, -32769},
        {"Max32", IniRead::Ok, true, IniRead::Malformed, 0, IniRead::Ok, 2147483647},
        {"Over32", IniRead::Ok, true, IniRead::Malformed, 0, IniRead::Malformed, 0},
        {"Plus", IniRead::Ok, true, IniRead::Ok, 7, IniRead::Ok, 7},
        {"Spaces", IniRead::Ok, true, IniRead::Ok, 12, IniRead::Ok, 12},
        {"Text", IniRead::Malformed, false, IniRead::Malformed, 0, IniRead::Malformed, 0},
        {"Half", IniRead::Malformed, false, IniRead::Malformed, 0, IniRead::Malformed, 0},
        {"Empty", IniRead::Malformed, false, IniRead::Malformed, 0, IniRead::Malformed, 0},
        {"Missing", IniRead::Absent, false, IniRead::Absent, 0, IniRead::Absent, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        // Sentinels show that a failed read leaves its output alone.
        bool b = true;
        std::int16_t i16 = 99;
        std::int32_t i32 = 99;
        EXPECT_EQ(s.readBool("S", c.key, b), c.boolRead);
        EXPECT_EQ(b, c.boolRead == IniRead::Ok ? c.boolValue : true);
        EXPECT_EQ(s.readInt16("S", c.key, i16), c.i16Read);
        EXPECT_EQ(i16, c.i16Read == IniRead::Ok ? c.i16Value : 99);
        EXPECT_EQ(s.readInt32("S", c.key, i32), c.i32Read);
        EXPECT_EQ(i32, c.i32Read == IniRead::Ok ? c.i32Value : 99);
    }
    std::string text = "kept";
    EXPECT_EQ(s.readText("S", "Missing", text), IniRead::Absent);
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(s.readText("S", "Empty", text), IniRead::Ok);
    EXPECT_EQ(text, "");
}

TEST(IniStore, RefusesNamesAndTextsTheFileCannotHold)
{
    const std::pair<std::string, std::string> badNames[] = {
        {"S", ""},     {"S", "a=b"}, {"S", "a\nb"}, {"S", "a\rb"}, {"S", "[k"},
        {"S", ";k"},   {"S", "#k"},  {"S", " k"},   {"S", "k "},   {"a]b", "k"},
        {"a\nb", "k"}, {" S", "k"},  {"S\t", "k"},  {"S", "\xff"}, {std::string("S\0", 2), "k"},
    };
    IniStore s;
    for (const auto& [section, key] : badNames) {
        EXPECT_FALSE(s.WriteValue(section, key, "v")) << section << "/" << key;
        EXPECT_EQ(s.lastError(), IniError::InvalidName);
    }
    for (std::string_view text : {std::string_view("\xc3\x28"), std::string_view("a\0b", 3),
                                  std::string_view("\xed\xa0\x80"), std::string_view("\xc0\xaf")}) {
        EXPECT_FALSE(s.WriteValue("S", "k", text));
        EXPECT_EQ(s.lastError(), IniError::InvalidValue);
    }
    EXPECT_TRUE(s.sectionNames().empty());
    EXPECT_TRUE(s.WriteValue("", "k", "keys outside sections are allowed"));
}

TEST_F(IniStoreFile, LoadFailuresKeepTheContent)
{
    IniStore s;
    EXPECT_FALSE(s.Load());
    EXPECT_EQ(s.lastError(), IniError::NoFileName);
    EXPECT_FALSE(s.Save());
    EXPECT_EQ(s.lastError(), IniError::NoFileName);

    writeText(file("nul.ini"), std::string("[S]\nk=a\0b\n", 11));
    writeText(file("big.ini"), "[S]\nk=" + std::string(100, 'x') + "\n");
    std::filesystem::create_directory(file("folder.ini"));
    const std::pair<const char*, IniError> cases[] = {
        {"missing.ini", IniError::FileNotFound},
        {"nul.ini", IniError::NotText},
        {"big.ini", IniError::FileTooLarge},
        {"folder.ini", IniError::ReadFailed},
    };
    for (const auto& [name, error] : cases) {
        SCOPED_TRACE(name);
        s.SetFileName(file(name));
        ASSERT_TRUE(s.WriteValue("Held", "k", "v"));
        s.setMaxFileBytes(64);
        EXPECT_FALSE(s.Load());
        EXPECT_EQ(s.lastError(), error);
        EXPECT_NE(s.errorText().find(name), std::string::npos) << s.errorText();
        EXPECT_EQ(s.ReadValue("Held", "k"), "v");
        EXPECT_FALSE(s.hasSection("S"));
    }
    IniStore binary;
    binary.SetFileName(file("nul.ini"));
    EXPECT_FALSE(binary.Load());
    EXPECT_NE(binary.errorText().find("line 2"), std::string::npos) << binary.errorText();
}

// Windows tools write INI files in the system's ANSI code page. A file that is not UTF-8 is read
// in the store's code page; what is saved is UTF-8.
TEST_F(IniStoreFile, FilesThatAreNotUtf8AreReadInTheCodePage)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        std::uint32_t codePage; // 0: the default
        const char* value;
    };
    const Case cases[] = {
        {"windows1252.ini", "[S]\r\nk=M\xFCller \x80 5\r\n", 0, "M\xC3\xBCller \xE2\x82\xAC 5"},
        {"windows1251.ini", "[S]\nk=\xCF\xF0\xE8\xE2\xE5\xF2\n", 1251,
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"utf8.ini", "[S]\nk=M\xC3\xBCller\n", 1251, "M\xC3\xBCller"}, // UTF-8 whatever the code page
        {"bom.ini", "\xEF\xBB\xBF[S]\nk=\xE9t\xE9\n", 0, "\xC3\xA9t\xC3\xA9"},
        // A section name and a key outside ASCII are read the same way.
        {"names.ini", "[B\xFCro]\nGr\xF6\xDF=1\n", 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeText(file(c.name), c.bytes);
        IniStore s;
        s.SetFileName(file(c.name));
        if (c.codePage)
            s.setCodePage(c.codePage);
        ASSERT_TRUE(s.Load()) << s.errorText();
        if (c.value) {
            EXPECT_EQ(s.ReadValue("S", "k"), c.value);
        } else {
            EXPECT_EQ(s.ReadValue("B\xC3\xBCro", "Gr\xC3\xB6\xC3\x9F"), "1");
        }
        ASSERT_TRUE(s.Save()) << s.errorText();
        const std::string saved = fileText(file(c.name));
        EXPECT_TRUE(isValidUtf8(saved)) << saved;
        IniStore again;
        again.SetFileName(file(c.name));
        ASSERT_TRUE(again.Load());
        EXPECT_EQ(again.serialize(), s.serialize());
    }
}

TEST_F(IniStoreFile, SetFileNameStartsEmpty)
{
    IniStore s;
    s.SetFileName(file("a.ini"));
    s.WriteValue("General", "Language", "english");
    ASSERT_TRUE(s.Save());
    s.SetFileName(file("b.ini"));
    s.WriteValue("General", "Port", std::int32_t{1});
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(fileText(file("b.ini")), "[General]\nPort=1\n");
}

TEST_F(IniStoreFile, SaveSetsOrKeepsPermissions)
{
    IniStore s;
    s.SetFileName(file("secret.ini"));
    s.setFileMode(0600);
    s.WriteValue("Cam1", "Password", "0");
    ASSERT_TRUE(s.Save());
    struct stat st
    {
    };
    ASSERT_EQ(::stat(file("secret.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    writeText(file("shared.ini"), "[S]\n");
    ASSERT_EQ(::chmod(file("shared.ini").c_str(), 0640), 0);
    IniStore t;
    t.SetFileName(file("shared.ini"));
    t.WriteValue("S", "k", "v");
    ASSERT_TRUE(t.Save());
    ASSERT_EQ(::stat(file("shared.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

constexpr const char* kOldProfile = "[General]\nLanguage=english\n";

IniStore bigStore(const std::filesystem::path& path)
{
    IniStore s;
    s.SetFileName(path);
    for (int i = 0; i < 2000; ++i)
        s.WriteValue("Cam1", "Key" + std::to_string(i), std::string(40, 'v'));
    return s;
}

TEST_F(IniStoreFile, FailedWriteLeavesThePreviousFile)
{
    const auto target = file("main.ini");
    writeText(target, kOldProfile);
    // The file-size limit makes write() fail part-way, as a full disk does.
    int rc = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim
        {
            4096, 4096
        };
        if (::setrlimit(RLIMIT_FSIZE, &lim) != 0)
            return 2;
        IniStore s = bigStore(target);
        if (s.Save())
            return 3;
        return s.lastError() == IniError::WriteFailed ? 0 : 4;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(fileText(target), kOldProfile);
    EXPECT_EQ(folderEntries(m_dir.path()), (std::vector<std::string>{"main.ini"}));
}

TEST_F(IniStoreFile, FailedRenameLeavesNoTemporaryFile)
{
    std::filesystem::create_directory(file("main.ini")); // rename() cannot replace a folder
    std::filesystem::path inside = file("main.ini") / "keep";
    writeText(inside, "x");
    IniStore s;
    s.SetFileName(file("main.ini"));
    s.WriteValue("General", "Language", "english");
    EXPECT_FALSE(s.Save());
    EXPECT_EQ(s.lastError(), IniError::RenameFailed);
    EXPECT_EQ(fileText(inside), "x");
    EXPECT_EQ(folderEntries(m_dir.path()), (std::vector<std::string>{"main.ini"}));

    IniStore noFolder;
    noFolder.SetFileName(file("absent") / "main.ini");
    noFolder.WriteValue("General", "Language", "english");
    EXPECT_FALSE(noFolder.Save());
    EXPECT_EQ(noFolder.lastError(), IniError::WriteFailed);
}

// A real full file system: a 64 KiB tmpfs in a mount namespace of a child process.
TEST_F(IniStoreFile, FullDiskLeavesThePreviousFile)
{
    const auto mnt = file("small");
    std::filesystem::create_directory(mnt);
    int rc = inChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
            return 77;
        const auto target = mnt / "main.ini";
        writeText(target, kOldProfile);
        // Fill the disk, leaving less than the new file needs.
        writeText(mnt / "filler", std::string(60 * 1024, 'f'));
        IniStore s = bigStore(target);
        if (s.Save())
            return 3;
        if (fileText(target) != kOldProfile)
            return 4;
        if (folderEntries(mnt) != std::vector<std::string>{"filler", "main.ini"})
            return 5;
        return 0;
    });
    if (rc == 77)
        GTEST_SKIP() << "cannot mount a tmpfs in a private mount namespace here";
    EXPECT_EQ(rc, 0);
}

} // namespace
