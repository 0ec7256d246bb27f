#include "app/core/event_log.h"

#include "test_folder.h"

#include "platform/clock.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

using namespace pellucor;

namespace {

// Local time is taken in UTC so that the expected file names do not depend on the machine.
class FakeClock : public tessivor::Clock
{
public:
    explicit FakeClock(std::time_t now) : m_now(now) {}
    std::uint32_t tickCount() override { return 0; }
    void sleepMs(std::uint32_t) override {}
    std::time_t now() override { return m_now; }
    std::time_t m_now;
};

constexpr std::time_t k20240105 = 1704412800 + 3600; // 2024-01-05 01:00:00 UTC
constexpr std::time_t k20240106 = k20240105 + 86400;

std::size_t countOf(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class RecordingViews : public EventViews
{
public:
    bool combinedEventListShown() override { return combinedShown; }
    void addToCombined(const std::string& h, const std::string& m) override { combined.add(h, m); }
    void addToView(int cam, const std::string& h, const std::string& m) override
    {
        views.at(static_cast<std::size_t>(cam - 1)).add(h, m);
    }
    bool combinedShown = false;
    EventLineList combined;
    std::array<EventLineList, 4> views;
};

class EventLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        m_state.paths.homeDir = m_dir.path();
        InitGlobals(m_state, k20240105);
        m_state.cam(2).IPAddress = "192.168.1.20";
        m_state.cam(2).ServerName = "Door";
        m_log.setViews(&m_views);
    }

    TestFolder m_dir{"log"};
    AppState m_state;
    FakeClock m_clock{k20240105};
    EventLog m_log{m_state, m_clock};
    RecordingViews m_views;
};

TEST_F(EventLogTest, TwoLinesPerEvent)
{
    m_log.AddEvent(2, "Camera started.");
    ASSERT_EQ(m_log.lineCount(2), 2u);
    EXPECT_EQ(m_log.lines(2)[0], "2024-01-05 01:00:00   192.168.1.20   Door");
    EXPECT_EQ(m_log.lines(2)[1], "    Camera started.");
    EXPECT_EQ(m_log.lineCount(1), 0u);
    m_log.AddEvent(0, "ignored");
    m_log.AddEvent(5, "ignored");
}

TEST_F(EventLogTest, TwoHundredFiftyEventsTrimTheListAndWriteEveryLineOnce)
{
    m_state.WindowOpen[2] = true;
    for (int i = 0; i < 250; ++i)
        m_log.AddEvent(2, "event " + std::to_string(i));
    EXPECT_EQ(m_log.lineCount(2), 400u);
    EXPECT_EQ(m_log.lines(2)[1], "    event 50");
    EXPECT_EQ(m_views.views[1].lines().size(), 400u); // the view's own bound
    EXPECT_EQ(m_views.views[1].lines()[1], "    event 50");
    EXPECT_TRUE(m_views.views[0].lines().empty());

    // The file has every line as it was logged, the trimmed ones and those still listed, once.
    const auto file = m_dir.path() / "Log" / "Cam2Log" / "20240105.Log";
    const std::string text = fileText(file);
    EXPECT_EQ(countOf(text, "\r\n"), 500u);
    EXPECT_EQ(countOf(text, "\n"), 500u); // no bare line feeds
    EXPECT_EQ(text.substr(0, 43), "2024-01-05 01:00:00   192.168.1.20   Door\r\n");
    for (const char* line : {"    event 0\r\n", "    event 49\r\n", "    event 50\r\n", "    event 249\r\n"})
        EXPECT_EQ(countOf(text, line), 1u) << line;

    // Shutdown writes the list again: nothing new reaches the file.
    EXPECT_TRUE(m_log.SaveLog(2, m_log.lineCount(2)));
    EXPECT_EQ(fileText(file), text);
}

TEST_F(EventLogTest, LinesAreInTheFileWhenTheProgramIsKilled)
{
    // A program killed (kill -9) after logging has written its lines already.
    const int status = inChild([this] {
        m_log.AddEvent(2, "Camera connected.");
        m_log.AddEvent(2, "Recording started.");
        m_log.AddEvent(1, "Camera started.");
        ::kill(::getpid(), SIGKILL);
        return 0;
    });
    ASSERT_EQ(status, 128 + SIGKILL);
    EXPECT_EQ(fileText(m_dir.path() / "Log" / "Cam2Log" / "20240105.Log"),
              "2024-01-05 01:00:00   192.168.1.20   Door\r\n    Camera connected.\r\n"
              "2024-01-05 01:00:00   192.168.1.20   Door\r\n    Recording started.\r\n");
    EXPECT_EQ(fileText(m_dir.path() / "Log" / "Cam1Log" / "20240105.Log"),
              "2024-01-05 01:00:00      \r\n    Camera started.\r\n");
}

TEST_F(EventLogTest, LinesThatCouldNotBeWrittenAreWrittenLaterOnce)
{
    // A folder in the place of the day's file: it cannot be opened for a while.
    const auto file = m_dir.path() / "Log" / "Cam2Log" / "20240105.Log";
    std::filesystem::create_directories(file);
    m_log.AddEvent(2, "while blocked");
    std::filesystem::remove(file);
    m_log.AddEvent(2, "after");
    EXPECT_EQ(fileText(file), "2024-01-05 01:00:00   192.168.1.20   Door\r\n    while blocked\r\n"
                              "2024-01-05 01:00:00   192.168.1.20   Door\r\n    after\r\n");

    // While the file stays blocked the list keeps its bound; once it opens again, the lines
    // still listed go out with the next event.
    const auto file3 = m_dir.path() / "Log" / "Cam3Log" / "20240105.Log";
    std::filesystem::create_directories(file3);
    for (int i = 0; i < 250; ++i)
        m_log.AddEvent(3, "event " + std::to_string(i));
    EXPECT_EQ(m_log.lineCount(3), 400u);
    std::filesystem::remove(file3);
    m_log.AddEvent(3, "event 250");
    const std::string text = fileText(file3);
    EXPECT_EQ(countOf(text, "\r\n"), 402u);
    EXPECT_EQ(text.find("    event 49\r\n"), std::string::npos); // left the list unwritten
    for (const char* line : {"    event 50\r\n", "    event 249\r\n", "    event 250\r\n"})
        EXPECT_EQ(countOf(text, line), 1u) << line;
}

TEST_F(EventLogTest, ClosedViewAndCombinedList)
{
    m_state.WindowOpen[5] = true;
    m_log.AddEvent(3, "only engine");
    EXPECT_TRUE(m_views.combined.lines().empty()); // combined list not shown
    EXPECT_TRUE(m_views.views[2].lines().empty()); // view window closed
    m_views.combinedShown = true;
    m_log.AddEvent(3, "engine and combined");
    EXPECT_EQ(m_views.combined.lines().size(), 2u);
    EXPECT_EQ(m_log.lineCount(3), 4u);
}

TEST_F(EventLogTest, ShutdownWritesTheWholeListAndNothingWhenEmpty)
{
    for (int i = 0; i < 18; ++i)
        m_log.AddEvent(1, "e");
    m_log.AddEvent(1, "last");
    EXPECT_TRUE(m_log.SaveLog(1, m_log.lineCount(1)));
    EXPECT_EQ(countOf(fileText(m_dir.path() / "Log" / "Cam1Log" / "20240105.Log"), "\r\n"), 38u); // each once
    EXPECT_EQ(m_log.lineCount(1), 38u); // the lines stay in the list

    EXPECT_TRUE(m_log.SaveLog(4, m_log.lineCount(4)));
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "Log" / "Cam4Log" / "20240105.Log"));
}

TEST_F(EventLogTest, TheFileTakesTheDateOfWriting)
{
    m_log.AddEvent(1, "day one");
    m_clock.m_now = k20240106;
    m_log.AddEvent(1, "day two");
    EXPECT_TRUE(m_log.SaveLog(1, m_log.lineCount(1)));
    const auto folder = m_dir.path() / "Log" / "Cam1Log";
    EXPECT_EQ(countOf(fileText(folder / "20240105.Log"), "\r\n"), 2u);
    EXPECT_EQ(countOf(fileText(folder / "20240105.Log"), "day one"), 1u);
    EXPECT_EQ(countOf(fileText(folder / "20240106.Log"), "\r\n"), 2u);
    EXPECT_EQ(countOf(fileText(folder / "20240106.Log"), "day two"), 1u);
}

TEST_F(EventLogTest, FolderThatCannotBeMadeFallsBackToTheHome)
{
    // A file where the camera's folder should be: the folder cannot be created.
    std::filesystem::create_directories(m_dir.path() / "Log");
    std::ofstream(m_dir.path() / "Log" / "Cam2Log") << "in the way";
    EXPECT_FALSE(m_log.CheckLogFolder(2));
    m_log.AddEvent(2, "to the fallback");
    EXPECT_TRUE(m_log.SaveLog(2, 2));
    EXPECT_EQ(fileText(m_dir.path() / "20240105.Log"),
              "2024-01-05 01:00:00   192.168.1.20   Door\r\n    to the fallback\r\n");
    EXPECT_TRUE(m_log.CheckLogFolder(3));
}

TEST(EventLogText, PadZeroAndValidFileNames)
{
    const std::pair<long, const char*> pads[] = {{7, "07"}, {1, "01"},  {9, "09"},     {12, "12"},
                                                 {0, "0"},  {-3, "-3"}, {2024, "2024"}};
    for (const auto& [v, s] : pads)
        EXPECT_EQ(PadZero(v), s) << v;
    EXPECT_EQ(MakeValidFileName("Cam: front/back? yes"), "Cam frontback yes");
    EXPECT_EQ(MakeValidFileName(R"(a\b/c:d*e?f"g<h>i|j k.l)"), "abcdefghij k.l");
}

} // namespace
