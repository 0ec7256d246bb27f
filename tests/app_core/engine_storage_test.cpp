// The storage check and recycling, in temporary folders with injected free space. Recordings are
// sparse files: their sizes are real to the folder-size count without taking the disk.
#include "engine_fakes.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kNow = 1709546400; // 2024-03-04 10:00:00 UTC
constexpr double kMB = 1048576.0;

class Storage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        state.paths.homeDir = home.path();
        InitGlobals(state, kNow);
        storage = home.path() / "disk" / "rec";
        state.settings.Storage(1) = {storage.string(), true};
        for (int n = 1; n <= 4; ++n) {
            state.cam(n).Assign = true;
            state.cam(n).Enable = true;
            state.cam(n).ServerName = " Cam" + std::to_string(n) + " ";
        }
        for (int k = 1; k <= 37; ++k)
            state.texts.EventText[static_cast<std::size_t>(k)] = "text " + std::to_string(k);
        rig = std::make_unique<EngineRig>(state, kNow);
        rig->freeBytes = [this](const fs::path&) { return freeMB * kMB; };
    }

    // A recording of `mb` megabytes last changed `ageHours` hours before now.
    fs::path recording(int cam, const std::string& name, double mb, double ageHours)
    {
        const fs::path folder = storage / ("CAM" + std::to_string(cam) + "_Cam" + std::to_string(cam));
        fs::create_directories(folder);
        const fs::path file = folder / name;
        {
            std::ofstream(file, std::ios::binary);
        }
        sizeAndAge(file, mb, ageHours);
        return file;
    }

    // Makes an existing file `mb` megabytes long (what it holds stays at its start), last changed
    // `ageHours` hours before now.
    static void sizeAndAge(const fs::path& file, double mb, double ageHours)
    {
        fs::resize_file(file, static_cast<std::uintmax_t>(mb * kMB));
        const auto when =
            fs::file_time_type::clock::now() -
            std::chrono::seconds(static_cast<long>(ageHours * 3600 + (std::time(nullptr) - kNow)));
        fs::last_write_time(file, when);
    }

    std::vector<std::string> names(int cam)
    {
        std::vector<std::string> out;
        for (const auto& e :
             fs::directory_iterator(storage / ("CAM" + std::to_string(cam) + "_Cam" + std::to_string(cam))))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    TestFolder home{"storage"};
    AppState state;
    fs::path storage;
    double freeMB = 100000;
    std::unique_ptr<EngineRig> rig;
};

TEST_F(Storage, QuotaRecyclingDeletesTheOldestDownToTheQuotaLessOneFile)
{
    state.settings.UseRecycleFlag = 1;
    state.settings.RecycleMode = 0;
    state.settings.RecycleSpaceValue = 0; // 200 MB per camera
    state.settings.FileSize = 2;          // files of 30 MB: trimmed to 170 MB
    recording(1, "20240304050000.avi", 50, 5);
    recording(1, "20240304060000.avi", 50, 4);
    recording(1, "20240304070000.avi", 50, 3);
    recording(1, "notes.txt", 10, 9); // no recording: never deleted, but counted
    recording(1, "20240304080000.avi", 50, 2);
    recording(1, "20240304100000.avi", 50, 0); // being written
    EXPECT_TRUE(rig->engine->CheckStorage(1));
    // 260 MB -> 210 -> 160: the two oldest went, oldest first.
    EXPECT_EQ(names(1), (std::vector<std::string>{"20240304070000.avi", "20240304080000.avi",
                                                  "20240304100000.avi", "notes.txt"}));
    EXPECT_EQ(rig->clock.slept(), 200);
    EXPECT_EQ(rig->trace.count("Cam(1).NormalFilePath = \"" + (storage / "CAM1_Cam1").string() + "\""), 1u);
    EXPECT_EQ(state.settings.ActiveStorage, 1);
}

TEST_F(Storage, TheFileBeingWrittenIsNeverDeleted)
{
    state.settings.UseRecycleFlag = 1;
    recording(1, "20240304070000.avi", 10, 3);
    recording(1, "20240304100000.avi", 300, 0);
    EXPECT_FALSE(rig->engine->CheckStorage(1)); // still over: the check fails instead
    EXPECT_EQ(names(1), (std::vector<std::string>{"20240304100000.avi"}));
    fs::remove(storage / "CAM1_Cam1" / "20240304100000.avi");
    recording(1, "20240304100001.avi", 300, 0);
    EXPECT_FALSE(rig->engine->CheckStorage(1));
    EXPECT_EQ(names(1), (std::vector<std::string>{"20240304100001.avi"}));

    // By age, the newest recording of a camera that records is left even when its time says it is
    // old (a clock set back after it was opened).
    state.settings.RecycleMode = 1;
    state.settings.RecycleTime = 0; // older than 2 hours
    recording(1, "20240304010000.avi", 1, 9);
    recording(1, "20240304020000.avi", 1, 8);
    fs::remove(storage / "CAM1_Cam1" / "20240304100001.avi");
    state.cam(1).Recording = true;
    EXPECT_TRUE(rig->engine->CheckStorage(1));
    EXPECT_EQ(names(1), (std::vector<std::string>{"20240304020000.avi"}));
    state.cam(1).Recording = false;
    EXPECT_TRUE(rig->engine->CheckStorage(1));
    EXPECT_EQ(names(1), (std::vector<std::string>{}));
}

// A camera folder may hold what the program never wrote: a user's own video, a link to it, a
// folder or a file whose name only looks like a recording. Both modes leave all of it alone and
// delete only the program's own recordings, oldest first.
TEST_F(Storage, RecyclingDeletesOnlyTheProgramsOwnRecordings)
{
    state.settings.UseRecycleFlag = 1;
    state.settings.RecycleSpaceValue = 0; // 200 MB, trimmed to 190 MB
    state.settings.FileSize = 0;
    state.settings.RecycleTime = 3; // older than 8 hours
    const fs::path folder = storage / "CAM1_Cam1";
    const std::vector<std::string> foreign{
        "20240303070000.avi.part", "2024030408000.avi", "20240304080000.AVI", "holiday.avi", "link.avi",
        "x20240303060000.avi"};
    struct Case
    {
        std::int32_t mode;
        std::vector<std::string> recordingsLeft;
    };
    for (const Case& c :
         {Case{0, {"20240304000000.avi", "20240304100000.avi"}}, Case{1, {"20240304100000.avi"}}}) {
        SCOPED_TRACE(c.mode);
        state.settings.RecycleMode = c.mode;
        fs::remove_all(storage);
        fs::create_directories(storage);
        fs::copy(hostileFixture("storage"), storage,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        const std::string userVideo = fileText(folder / "holiday.avi");
        sizeAndAge(folder / "holiday.avi", 50, 40);
        for (const std::string& name : foreign)
            if (name != "holiday.avi" && name != "link.avi")
                recording(1, name, 1, 30);
        fs::create_directory(folder / "20240303050000.avi"); // a folder
        recording(1, "20240303100000.avi", 60, 24);
        recording(1, "20240304000000.avi", 60, 10);
        recording(1, "20240304100000.avi", 60, 0);

        EXPECT_TRUE(rig->engine->CheckStorage(1));
        std::vector<std::string> expected = foreign;
        expected.push_back("20240303050000.avi");
        expected.insert(expected.end(), c.recordingsLeft.begin(), c.recordingsLeft.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names(1), expected);
        EXPECT_EQ(fileText(folder / "holiday.avi").substr(0, userVideo.size()), userVideo);
        EXPECT_TRUE(fs::is_symlink(folder / "link.avi"));
        EXPECT_EQ(fs::read_symlink(folder / "link.avi"), "holiday.avi");
    }
}

TEST_F(Storage, QuotaModeChecksTheReserveAndTheCamerasRemainingQuotas)
{
    state.settings.UseRecycleFlag = 1;
    state.settings.RecycleSpaceValue = 1; // 400 MB
    state.settings.FileSize = 2;
    state.cam(2).RecordMode = kRecordManual;
    recording(2, "x.avi", 100, 1);
    recording(1, "y.avi", 350, 1);
    struct Case
    {
        double freeMB;
        bool ok;
    };
    // U = (400 - 100) + (400 - 350) = 350; R = 500.
    for (const Case& c : {Case{1000, true}, Case{850, true}, Case{849, false}}) {
        freeMB = c.freeMB;
        EXPECT_EQ(rig->engine->CheckStorage(1), c.ok) << c.freeMB;
    }
    // Another recording camera whose folder does not exist yet counts with its whole quota.
    state.cam(3).RecordMode = kRecordMotion;
    freeMB = 1000;
    EXPECT_FALSE(rig->engine->CheckStorage(1)); // 500 + 350 + 400 > 1000
    freeMB = 1250;
    EXPECT_TRUE(rig->engine->CheckStorage(1));
}

TEST_F(Storage, AgeRecyclingDeletesOldRecordingsAndMeasuresAgain)
{
    state.settings.UseRecycleFlag = 1;
    state.settings.RecycleMode = 1;
    state.settings.RecycleTime = 3; // older than 8 hours
    state.cam(1).Protocol = kProtocolKestra;
    recording(1, "20240303040000.avi", 1, 30);
    recording(1, "20240303040000.SUB", 1, 30);
    recording(1, "20240304003000.avi", 1, 9.5);
    recording(1, "20240304023000.avi", 1, 7.5);
    int asked = 0;
    // Full before the deletions, room after them.
    rig->freeBytes = [&](const fs::path&) { return ++asked == 1 ? 100 * kMB : 900 * kMB; };
    EXPECT_TRUE(rig->engine->CheckStorage(1));
    EXPECT_EQ(names(1), (std::vector<std::string>{"20240304023000.avi"}));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(rig->viewerOf(1).folder, (storage / "CAM1_Cam1").string());

    // Nothing old and no room: no storage.
    rig->freeBytes = [](const fs::path&) { return 100 * kMB; };
    EXPECT_FALSE(rig->engine->CheckStorage(1));
}

TEST_F(Storage, SelectingTakesTheNextCheckedStorageWithRoomAndWraps)
{
    const fs::path a = home.path() / "a", b = home.path() / "b", c = home.path() / "c", d = home.path() / "d";
    state.settings.StorageCount = 4;
    state.settings.Storage(1) = {a.string(), true};
    state.settings.Storage(2) = {b.string(), true};
    state.settings.Storage(3) = {c.string(), false};
    state.settings.Storage(4) = {d.string(), true};
    state.settings.ActiveStorage = 2;
    std::map<fs::path, double> free{{a, 900}, {b, 10}, {c, 900}, {d, 10}};
    rig->freeBytes = [&](const fs::path& p) { return free.at(p) * kMB; };
    EXPECT_TRUE(rig->engine->CheckStorage(2));
    EXPECT_TRUE(fs::is_directory(a / "CAM2_Cam2"));
    EXPECT_EQ(rig->cam(2).props["NormalFilePath"], Variant::str((a / "CAM2_Cam2").string()));
    EXPECT_EQ(rig->cam(2).props["MotionFilePath"], Variant::str((a / "CAM2_Cam2").string()));
    EXPECT_EQ(rig->trace.count("DiskFreeSpace"), 3u); // b, d, then a; c is not checked
    EXPECT_EQ(state.settings.ActiveStorage, 2);       // the selection does not move it

    free[a] = 500; // the reserve must be passed, not met
    EXPECT_FALSE(rig->engine->CheckStorage(2));
}

TEST_F(Storage, FoldersAreMadeLevelByLevelAndAFailureIsReported)
{
    EXPECT_TRUE(rig->engine->CheckStorage(1));
    EXPECT_TRUE(fs::is_directory(storage / "CAM1_Cam1"));

    writeText(home.path() / "file", "x");
    state.settings.Storage(1).Path = (home.path() / "file" / "below").string();
    EXPECT_FALSE(rig->engine->CheckStorage(1));
    ASSERT_EQ(rig->messages.shown.size(), 1u);
    EXPECT_EQ(rig->messages.shown[0].rfind("CheckPath: Error: ", 0), 0u) << rig->messages.shown[0];

    state.settings.Storage(1).Checked = false;
    EXPECT_FALSE(rig->engine->CheckStorage(1)); // no checked storage
    state.settings.UseRecycleFlag = 1;
    EXPECT_FALSE(rig->engine->CheckStorage(1));
}

TEST_F(Storage, AControlThatRecyclesItselfNeedsNoCheck)
{
    rig->cam(1).props["HaveRecycleFunction"] = Variant::boolean(true);
    freeMB = 0;
    EXPECT_TRUE(rig->engine->CheckStorage(1));
    EXPECT_EQ(rig->trace.count("DiskFreeSpace"), 0u);
}

TEST_F(Storage, SplitWithNoStorageLeftLogsAndStops)
{
    ASSERT_TRUE(rig->engine->StartRecord(1, kRecordManual));
    freeMB = 100;
    rig->engine->onImageEvent(1, 12);
    EXPECT_FALSE(state.cam(1).Recording);
    const auto& lines = rig->log.lines(1);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "    text 15");
    EXPECT_EQ(lines[3], "    text 7"); // the recording was over already: no "stopped" line
    EXPECT_EQ(rig->trace.count("Cam(1).StopRecording()"), 1u);
    EXPECT_EQ(rig->cam(1).status(), 2); // still streaming, no longer recording
}

} // namespace
