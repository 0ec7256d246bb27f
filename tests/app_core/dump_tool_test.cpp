#include "app/core/app_paths.h"

#include "python_peer.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace pellucor;

namespace {

std::string dumpCommand(const std::filesystem::path& home)
{
    return std::string(TESSIVOR_BINARY_DIR) + "/tools/pellucor-dump/pellucor-dump --home '" + home.string() +
           "' --data '" + TESSIVOR_SOURCE_DIR + "/data' 2>&1";
}

TEST(PellucorDump, PrintsEveryRecordOfAFixtureHome)
{
    TestFolder dir("dump");
    writeText(dir.path() / "language.ini", "[General]\nLanguage=ENGLISH\n");
    writeText(dir.path() / "main.ini", "[Cam2]\nAssign=-1\nEnable=-1\nIPAddress=10.1.2.3\nPassword=0\n"
                                       "[General]\nStorageCount=2\nStorage2Path=/rec\nStorage2Checked=-1\n");
    auto out = runCapture(dumpCommand(dir.path()));
    ASSERT_TRUE(out.has_value());
    for (const char* line :
         {"[Selector]\nLanguage=ENGLISH\nINIPath=main.ini\n", "[Cam2]\nEnable=-1\nAssign=-1\n",
          "IPAddress=10.1.2.3\n", "Storage2Path=/rec\nStorage2Checked=-1\n", "[Cam4]\n",
          "[ButtonTable40]\nBtnName=PT-Pad\n", "[HintTable10]\nBtnName=Audio\n",
          "EventText1=Camera started.\n", "UIWidth=560\n"})
        EXPECT_NE(out->find(line), std::string::npos) << line;
    EXPECT_NE(out->find("[Cam2]\nEnable=-1\nAssign=-1\nUserName=\nPassword=0\n"), std::string::npos);
}

TEST(PellucorDump, ReportsTheLoadFailure)
{
    TestFolder dir("dump");
    writeText(dir.path() / "main.ini", "[Cam1]\nPort=http\n");
    std::string cmd = dumpCommand(dir.path());
    auto out = runCapture(cmd); // a non-zero exit gives nothing
    EXPECT_FALSE(out.has_value());
    int rc = std::system((cmd + " > '" + (dir.path() / "out.txt").string() + "'").c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 1);
    std::string text = fileText(dir.path() / "out.txt");
    EXPECT_EQ(text.rfind("load failed: profile: [Cam1] Port: \"http\"", 0), 0u) << text;

    writeText(dir.path() / "language.ini", "[General]\nLanguage=klingon\n");
    rc = std::system((cmd + " > '" + (dir.path() / "out.txt").string() + "'").c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 1);
    std::string text2 = fileText(dir.path() / "out.txt");
    EXPECT_NE(text2.find("button table"), std::string::npos) << text2;
    EXPECT_NE(text2.find("klingon_2.ini"), std::string::npos) << text2;
}

TEST(AppPaths, HomeFromCommandLineThenEnvironment)
{
    const char* saved[] = {std::getenv("PELLUCOR_HOME"), std::getenv("XDG_DATA_HOME")};
    std::string keep[] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : ""};
    ::setenv("PELLUCOR_HOME", "/p/home", 1);
    ::setenv("XDG_DATA_HOME", "/xdg", 1);
    EXPECT_EQ(resolveHomeDir("/cli"), std::filesystem::path("/cli"));
    EXPECT_EQ(resolveHomeDir(""), std::filesystem::path("/p/home"));
    ::unsetenv("PELLUCOR_HOME");
    EXPECT_EQ(resolveHomeDir(""), std::filesystem::path("/xdg/pellucor"));
    ::setenv("XDG_DATA_HOME", keep[1].c_str(), 1);
    if (!saved[0])
        ::unsetenv("PELLUCOR_HOME");
    else
        ::setenv("PELLUCOR_HOME", keep[0].c_str(), 1);

    AppPaths p{"/data", "/home/u/.local/share/pellucor"};
    EXPECT_EQ(p.cameraLogFolder(2), std::filesystem::path("/home/u/.local/share/pellucor/Log/Cam2Log"));
    EXPECT_EQ(p.selectorFile(), std::filesystem::path("/home/u/.local/share/pellucor/language.ini"));
}

TEST(AppPaths, PackNamesIgnoreCaseButStayInTheirFolder)
{
    TestFolder dir("paths");
    writeText(dir.path() / "English_1.ini", "x");
    writeText(dir.path() / "sub" / "x.ini", "x");
    EXPECT_EQ(findFileIgnoreCase(dir.path(), "english_1.INI"), dir.path() / "English_1.ini");
    EXPECT_EQ(findFileIgnoreCase(dir.path(), "English_1.ini"), dir.path() / "English_1.ini");
    EXPECT_FALSE(findFileIgnoreCase(dir.path(), "sub/x.ini"));
    EXPECT_FALSE(findFileIgnoreCase(dir.path(), ".."));
    EXPECT_FALSE(findFileIgnoreCase(dir.path(), "sub")); // a folder is no pack file
    EXPECT_FALSE(findFileIgnoreCase(dir.path() / "none", "x.ini"));
}

} // namespace
