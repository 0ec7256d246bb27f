// The recording step driven frame by frame in simulated time: events, Status, file names, splits,
// free-space checks, and what ffmpeg makes of the files.
#include "control/cimage.h"
#include "event_recorder.h"
#include "imagelib/img_desc.h"
#include "media_tools.h"
#include "platform/clock.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tessivor;
using namespace tessivor::testing;
using namespace mediatest;

namespace {

class FakeClock final : public Clock
{
public:
    std::uint32_t tickCount() override { return ticks.load(); }
    void sleepMs(std::uint32_t ms) override { ticks += ms; }
    std::time_t now() override { return base + ticks.load() / 1000; }

    std::atomic<std::uint32_t> ticks{5000};
    std::time_t base = 1796712534; // a Tuesday in December 2026
};

BitmapInfoHeader headerFor(int width, int height)
{
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = 24;
    h.biSizeImage = dibStride(width, 24) * height;
    return h;
}

// ^[0-9]{14}\.avi$
bool isRecordingName(const std::string& name)
{
    if (name.size() != 18 || name.substr(14) != ".avi")
        return false;
    return std::all_of(name.begin(), name.begin() + 14, [](char c) { return c >= '0' && c <= '9'; });
}

std::int64_t frameBytes(const std::filesystem::path& file)
{
    const auto r = run("ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 " +
                       quote(file.string()));
    std::int64_t sum = 0;
    std::size_t at = 0;
    while (at < r.output.size()) {
        const std::size_t end = r.output.find('\n', at);
        const std::string line = r.output.substr(at, end - at);
        if (!line.empty())
            sum += std::stoll(line);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return sum;
}

std::string decodeMessages(const std::filesystem::path& file)
{
    return run("ffmpeg -nostdin -v error -xerror -i " + quote(file.string()) + " -f null -").output +
           run("ffprobe -v warning " + quote(file.string())).output;
}

class RecordFrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        installClock(&clock);
        dir = freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        recordings = dir / "rec";
        std::filesystem::create_directories(recordings);
        control = std::make_unique<CImage>();
        recorder = std::make_shared<EventRecorder>();
        std::uint32_t cookie = 0;
        ASSERT_EQ(control->events().advise(recorder, &cookie), S_OK);
        control->put_NormalFilePath(recordings.string());
        control->put_ReservedSpace(0);
        CImagePeer::run(*control).m_nStatus.store(2); // streaming
    }
    void TearDown() override
    {
        control.reset();
        installClock(nullptr);
    }

    // Makes a JPEG frame of the given size (cached per size and seed).
    void makeFrames(int width, int height, int quality, int count)
    {
        pictures.clear();
        frames.clear();
        for (int i = 0; i < count; ++i) {
            pictures.push_back(makePicture(width, height, i));
            frames.push_back(cleanJpeg(pictures.back(), quality, dir));
            ASSERT_FALSE(frames.back().empty());
        }
        header = headerFor(width, height);
    }

    // One frame through the recording step at `atMs` after the test's start; events are pumped.
    bool frameAt(std::uint32_t atMs, int which = 0)
    {
        clock.ticks = start + atMs;
        const auto& f = frames[which % frames.size()];
        const bool goesOn = control->RecordFrame(RecordedPicture{header, f.data(), f.size()});
        messageLoop::pump();
        return goesOn;
    }

    std::int32_t status()
    {
        std::int32_t s = -1;
        control->get_Status(&s);
        return s;
    }

    std::vector<std::int32_t> codes() { return recorder->imageCodes(); }

    // Runs `body` in a child process, in a mount namespace of its own with a tmpfs of `size`
    // (such as "3m") mounted at `mountPoint`; the child reports through files in the test's
    // folder. Returns the child's exit status: 0 when `body` ran, 77 when the namespace or the
    // tmpfs could not be had (needs root), anything else on a crash.
    int inSmallTmpfs(const std::filesystem::path& mountPoint, const char* size,
                     const std::function<void()>& body)
    {
        std::filesystem::create_directories(mountPoint);
        const pid_t child = ::fork();
        if (child < 0)
            return -1;
        if (child == 0) {
            const std::string options = std::string("size=") + size;
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0)
                ::_exit(77);
            body();
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    FakeClock clock;
    const std::uint32_t start = 5000;
    std::filesystem::path dir, recordings;
    std::unique_ptr<CImage> control;
    std::shared_ptr<EventRecorder> recorder;
    std::vector<Picture> pictures;
    std::vector<std::vector<std::uint8_t>> frames;
    BitmapInfoHeader header{};
};

TEST_F(RecordFrameTest, TenFpsCameraLandsOnEveryThirdSlot)
{
    makeFrames(320, 240, 90, 4);
    EXPECT_TRUE(frameAt(0)); // nothing requested: nothing happens
    EXPECT_TRUE(aviFiles(recordings).empty());
    control->StartRecording();
    EXPECT_EQ(status(), 3);
    // The file opens at the first frame (which pauses the thread 50 ms); then a frame every
    // 100 ms for 6 s, each a little early or late as a network delivers them (every one lands in
    // the nearest slot: a millisecond early is not a slot early), with one late duplicate in a
    // slot already written.
    EXPECT_TRUE(frameAt(1000));
    EXPECT_EQ(status(), 4);
    EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_RECORD_STARTED}));
    const int jitterMs[] = {0, -1, 1, -16, 16, -5, 9};
    for (int k = 1; k <= 60; ++k) {
        EXPECT_TRUE(frameAt(1000 + 100 * k + jitterMs[k % 7], k));
        if (k == 30) {
            EXPECT_TRUE(frameAt(1000 + 100 * k + 12, k)); // same slot: not recorded
        }
    }
    control->StopRecording();
    EXPECT_EQ(status(), 4); // the next frame closes the file
    EXPECT_TRUE(frameAt(1000 + 100 * 61));
    EXPECT_EQ(status(), 2);
    EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_RECORD_STARTED, EVT_RECORD_STOPPED}));

    const auto files = aviFiles(recordings);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(isRecordingName(files[0].filename().string()));
    EXPECT_EQ(decodeMessages(files[0]), "");
    std::vector<long> expected;
    for (long k = 0; k <= 60; ++k)
        expected.push_back(3 * k);
    EXPECT_EQ(packetPts(files[0]), expected);
    Picture decoded;
    ASSERT_TRUE(firstVideoFrame(files[0], dir / "first.ppm", &decoded));
    EXPECT_GT(psnr(decoded, pictures[0]), 30.0);
}

TEST_F(RecordFrameTest, NameComesFromTheLocalTimeOfTheOpening)
{
    for (const char* bad :
         {"2026120806485.avi", "202612080648545.avi", "2026120806485x.avi", "20261208064854.AVI"})
        EXPECT_FALSE(isRecordingName(bad)) << bad;
    makeFrames(320, 240, 90, 1);
    control->StartRecording();
    frameAt(0);
    control->StopRecording();
    frameAt(100);
    std::tm local{};
    const std::time_t opened = clock.base + start / 1000;
    ::localtime_r(&opened, &local);
    char name[80];
    std::snprintf(name, sizeof name, "%04d%02d%02d%02d%02d%02d.avi", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    EXPECT_TRUE(std::filesystem::exists(recordings / name));
}

TEST_F(RecordFrameTest, SizeSplitGivesAtLeastTheLimitInFramesAndOneCodeEach)
{
    makeFrames(640, 480, 95, 3);
    control->put_SplitFileMode(FILE_SIZE);
    control->put_SplitFileSpace(1);
    std::uint32_t t = 0;
    for (int file = 0; file < 3; ++file) {
        recorder->events.clear();
        control->StartRecording();
        int guard = 0;
        while (status() != 2 && ++guard < 1000) {
            t += 100;
            frameAt(t, guard);
        }
        ASSERT_LT(guard, 1000);
        EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_RECORD_STARTED, EVT_RECORD_SPLIT}));
        EXPECT_EQ(CImagePeer::record(*control).m_bRecordRequest.load(), 0);
        // Splits within the same second still give three files.
        t += 100;
    }
    // Changing the mode while a file is open does not matter until the next file.
    const auto files = aviFiles(recordings);
    ASSERT_EQ(files.size(), 3u);
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        EXPECT_TRUE(isRecordingName(f.filename().string()));
        const std::int64_t bytes = frameBytes(f);
        EXPECT_GE(bytes, 1048576);
        EXPECT_LT(bytes, 1048576 + 200000); // closed at the first frame past the limit
        EXPECT_EQ(decodeMessages(f), "");
    }
}

TEST_F(RecordFrameTest, FilesSplitBeforeTheAviLimitWhateverTheSettings)
{
    // A size split of 4 GiB (beyond any 32-bit count) and a time split of 20 minutes: the file
    // still ends, with code 12, before the AVI 1.0 limit (lowered here to 2 MB so the test can
    // reach it).
    makeFrames(640, 480, 95, 3);
    CImagePeer::recording(*control).m_AviWriter.SetSizeLimitForTesting(2 * 1048576);
    for (const AviFileModeType mode : {FILE_SIZE, FILE_TIME}) {
        SCOPED_TRACE(mode);
        recorder->events.clear();
        control->put_SplitFileMode(mode);
        control->put_SplitFileSpace(4096);
        control->put_SplitFileTime(20);
        control->StartRecording();
        std::uint32_t t = mode == FILE_SIZE ? 0 : 100000;
        int guard = 0;
        while (status() != 2 && ++guard < 1000) {
            t += 100;
            frameAt(t, guard);
        }
        ASSERT_LT(guard, 1000);
        EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_RECORD_STARTED, EVT_RECORD_SPLIT}));
    }
    const auto files = aviFiles(recordings);
    ASSERT_EQ(files.size(), 2u);
    for (const auto& f : files) {
        EXPECT_LE(std::filesystem::file_size(f), 2u * 1048576);
        EXPECT_GT(std::filesystem::file_size(f), 2u * 1048576 * 7 / 8 - 200000);
        EXPECT_EQ(decodeMessages(f), "");
    }
}

TEST_F(RecordFrameTest, PicturesThatAreNotTheFrameAreEncoded)
{
    // A rotated picture (240 x 320) is no longer the camera's JPEG: the recording encodes the
    // working image itself, only for the frames it writes.
    const Picture source = makePicture(240, 320, 3);
    img_desc image;
    ASSERT_EQ(img_alloc(&image, 240, 320, 24), 0);
    for (int y = 0; y < 320; ++y) {
        std::uint8_t* row = image.pixels + static_cast<std::size_t>(319 - y) * image.bytesPerRow;
        for (int x = 0; x < 240; ++x) {
            const std::uint8_t* px = &source.rgb[(static_cast<std::size_t>(y) * 240 + x) * 3];
            row[3 * x] = px[2];
            row[3 * x + 1] = px[1];
            row[3 * x + 2] = px[0];
        }
    }
    RecordedPicture picture{*image.header, nullptr, 0, &image};
    control->StartRecording();
    for (int k = 0; k < 5; ++k) {
        clock.ticks = start + 100 * k;
        EXPECT_TRUE(control->RecordFrame(picture));
    }
    control->StopRecording();
    control->RecordFrame(picture);
    messageLoop::pump();
    EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_RECORD_STARTED, EVT_RECORD_STOPPED}));
    const auto files = aviFiles(recordings);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(decodeMessages(files[0]), "");
    EXPECT_EQ(streamEntry(files[0], "v", "width"), "240");
    EXPECT_EQ(streamEntry(files[0], "v", "height"), "320");
    EXPECT_EQ(packetPts(files[0]), (std::vector<long>{0, 3, 6, 9, 12}));
    Picture decoded;
    ASSERT_TRUE(firstVideoFrame(files[0], dir / "encoded.ppm", &decoded));
    EXPECT_GT(psnr(decoded, source), 30.0);

    // A picture that cannot be encoded (1 bit per pixel) opens nothing and posts nothing.
    recorder->events.clear();
    img_desc mono;
    ASSERT_EQ(img_alloc(&mono, 64, 64, 1), 0);
    control->StartRecording();
    clock.ticks = start + 5000;
    EXPECT_TRUE(control->RecordFrame(RecordedPicture{*mono.header, nullptr, 0, &mono}));
    messageLoop::pump();
    EXPECT_TRUE(codes().empty());
    EXPECT_EQ(aviFiles(recordings).size(), 1u);
    img_free(&mono);
    img_free(&image);
}

TEST_F(RecordFrameTest, TimeSplitGivesFilesOfAboutAMinute)
{
    makeFrames(320, 240, 90, 2);
    control->put_SplitFileMode(FILE_TIME);
    control->put_SplitFileTime(1);
    control->StartRecording();
    std::uint32_t t = 0;
    frameAt(t);
    // Switching to size mode now changes nothing for the open file.
    control->put_SplitFileMode(FILE_SIZE);
    control->put_SplitFileSpace(1);
    int guard = 0;
    while (status() != 2 && ++guard < 1000) {
        t += 500;
        frameAt(t, guard);
    }
    EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_RECORD_STARTED, EVT_RECORD_SPLIT}));
    const auto files = aviFiles(recordings);
    ASSERT_EQ(files.size(), 1u);
    const double seconds = std::stod(streamEntry(files[0], "v", "duration"));
    EXPECT_GE(seconds, 59.0);
    EXPECT_LE(seconds, 61.0);
    EXPECT_EQ(decodeMessages(files[0]), "");
}

TEST_F(RecordFrameTest, ReserveAboveFreeSpaceReportsDiskLow)
{
    makeFrames(320, 240, 90, 1);
    // At the opening: code 14 once per recording attempt, no file, the request stands.
    control->put_ReservedSpace(0x7FFFFFFF);
    control->StartRecording();
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(frameAt(100 * k));
    EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_DISK_LOW}));
    EXPECT_TRUE(aviFiles(recordings).empty());
    EXPECT_EQ(status(), 3);
    // A new attempt reports again.
    control->PutNewStatus(2);
    control->StartRecording();
    frameAt(400);
    frameAt(500);
    EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_DISK_LOW, EVT_DISK_LOW}));

    // While a file is open: every written frame posts 14 and ends the frame; the file stays open.
    recorder->events.clear();
    control->put_ReservedSpace(0);
    EXPECT_TRUE(frameAt(1000));
    control->put_ReservedSpace(0x7FFFFFFF);
    EXPECT_FALSE(frameAt(1100));
    EXPECT_FALSE(frameAt(1200));
    EXPECT_TRUE(frameAt(1210)); // same slot: nothing written, nothing checked
    EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_RECORD_STARTED, EVT_DISK_LOW, EVT_DISK_LOW}));
    EXPECT_EQ(status(), 4);
    control->StopRecording();
    frameAt(1300);
    const auto files = aviFiles(recordings);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(packetPts(files[0]), (std::vector<long>{0, 3, 6}));
}

TEST_F(RecordFrameTest, UnusableFolderGivesOpenFailureAndNoFile)
{
    makeFrames(320, 240, 90, 1);
    const auto plainFile = dir / "plain";
    writeFile(plainFile, {1});
    const std::string paths[] = {"", (dir / "missing" / "deeper").string(), plainFile.string()};
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        recorder->events.clear();
        control->put_NormalFilePath(path);
        control->StartRecording();
        EXPECT_TRUE(frameAt(0));
        EXPECT_TRUE(frameAt(100)); // the request stands: it tries again, and says so once
        EXPECT_TRUE(frameAt(200));
        EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_RECORD_OPEN_FAILED}));
        EXPECT_EQ(status(), 3);
        control->StopRecording();
        CImagePeer::run(*control).m_nStatus.store(2);
        // The next attempt is reported again, once.
        control->StartRecording();
        EXPECT_TRUE(frameAt(300));
        EXPECT_TRUE(frameAt(400));
        EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_RECORD_OPEN_FAILED, EVT_RECORD_OPEN_FAILED}));
        control->StopRecording();
        CImagePeer::run(*control).m_nStatus.store(2);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    EXPECT_EQ(readFile(plainFile), (std::vector<std::uint8_t>{1}));
    EXPECT_TRUE(aviFiles(dir).empty());
}

TEST_F(RecordFrameTest, LockRecordHoldsBackOnlyNewFiles)
{
    makeFrames(320, 240, 90, 1);
    CImagePeer::record(*control).m_bLockRecord.store(1);
    control->StartRecording();
    frameAt(0);
    frameAt(100);
    EXPECT_TRUE(aviFiles(recordings).empty());
    EXPECT_TRUE(codes().empty());
    CImagePeer::record(*control).m_bLockRecord.store(0);
    frameAt(200);
    CImagePeer::record(*control).m_bLockRecord.store(1); // an open file goes on being written
    frameAt(300);
    frameAt(400);
    control->StopRecording();
    frameAt(500);
    const auto files = aviFiles(recordings);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(packetPts(files[0]), (std::vector<long>{0, 3, 6}));
}

TEST_F(RecordFrameTest, SizeChangeAndHostCloseEndFiles)
{
    makeFrames(320, 240, 90, 1);
    control->StartRecording();
    frameAt(0);
    frameAt(100);
    // A new picture size: the file ends silently and the same frame opens the next one.
    control->CloseRecordingForSizeChange();
    auto small = makePicture(160, 120, 1);
    auto smallJpeg = cleanJpeg(small, 90, dir);
    ASSERT_FALSE(smallJpeg.empty());
    clock.ticks = start + 2000;
    EXPECT_TRUE(
        control->RecordFrame(RecordedPicture{headerFor(160, 120), smallJpeg.data(), smallJpeg.size()}));
    messageLoop::pump();
    EXPECT_EQ(codes(), (std::vector<std::int32_t>{EVT_RECORD_STARTED}));
    auto files = aviFiles(recordings);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(streamEntry(files[0], "v", "width"), "320");
    EXPECT_EQ(streamEntry(files[1], "v", "width"), "160");

    // PutNewStatus closes from the host's thread with 9.
    frameAt(4000);
    control->PutNewStatus(0);
    messageLoop::pump();
    EXPECT_EQ(codes().back(), EVT_RECORD_STOPPED);
    EXPECT_EQ(CImagePeer::record(*control).m_bAviOpen.load(), 0);
    for (const auto& f : aviFiles(recordings))
        EXPECT_EQ(decodeMessages(f), "") << f;
}

TEST_F(RecordFrameTest, MultipartCameraWithSoundRecordsAnAudioStream)
{
    makeFrames(320, 240, 90, 2);
    control->put_Protocol(PROTOCOL_MULTIPART);
    control->put_PlayMode(3);
    control->StartRecording();
    frameAt(0);
    ASSERT_TRUE(CImagePeer::recording(*control).m_AviWriter.HasAudio());
    // Two seconds: frames every 100 ms and a 250-ms PCM block every 250 ms, from another thread
    // as the audio reader writes them.
    std::vector<std::uint8_t> block(4000);
    for (std::size_t i = 0; i < block.size(); i += 2) {
        const auto s = static_cast<std::int16_t>(6000 * std::sin(i / 2 * 0.2));
        block[i] = static_cast<std::uint8_t>(s);
        block[i + 1] = static_cast<std::uint8_t>(s >> 8);
    }
    for (int k = 1; k <= 20; ++k) {
        if (k % 5 == 1 || k % 5 == 3) {
            std::thread audio([&] {
                EXPECT_EQ(CImagePeer::recording(*control).m_AviWriter.WriteAudio(-k, block.data(), 4000), 1);
            });
            audio.join();
        }
        frameAt(100 * k, k);
    }
    control->StopRecording();
    frameAt(2100);
    const auto files = aviFiles(recordings);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(decodeMessages(files[0]), "");
    EXPECT_EQ(streamEntry(files[0], "a", "codec_name"), "pcm_s16le");
    EXPECT_EQ(streamEntry(files[0], "a", "sample_rate"), "8000");
    EXPECT_EQ(streamEntry(files[0], "a", "channels"), "1");
    // Video: 61 slots (2.03 s); audio: 8 blocks of 250 ms.
    const double video = std::stod(streamEntry(files[0], "v", "duration"));
    EXPECT_NEAR(2.0, video, 0.05 * video);

    // Without the sound switch the file has no audio stream.
    control->put_PlayMode(1);
    control->StartRecording();
    frameAt(3000);
    EXPECT_FALSE(CImagePeer::recording(*control).m_AviWriter.HasAudio());
    EXPECT_TRUE(CImagePeer::recording(*control).m_AviWriter.IsOpen());
}

// A real small file system: a 3-MiB tmpfs in a mount namespace of a child process, with
// ReservedSpace 1 MiB. The recording opens, posts 14 once the free space falls under the reserve,
// goes on until the disk is full, and every file left behind plays.
TEST_F(RecordFrameTest, SmallFileSystemFillsUp)
{
    makeFrames(640, 480, 95, 3);
    const auto mountPoint = dir / "tmpfs";
    const auto results = dir / "results";
    std::filesystem::create_directories(results);
    const int exitStatus = inSmallTmpfs(mountPoint, "3m", [&] {
        control->put_NormalFilePath(mountPoint.string());
        // A reserve above the free space: 14 once and no file.
        control->put_ReservedSpace(4);
        control->StartRecording();
        std::string log;
        for (int k = 0; k < 3; ++k)
            frameAt(100 * k, k);
        const bool noFileYet = aviFiles(mountPoint).empty();
        log += noFileYet ? "no file under the reserve\n" : "FILE UNDER THE RESERVE\n";
        control->put_ReservedSpace(1);
        for (int k = 3; k < 200; ++k) {
            const bool goesOn = frameAt(100 * k, k);
            log += std::to_string(k) + (goesOn ? " on" : " end") +
                   " avi=" + std::to_string(CImagePeer::record(*control).m_bAviOpen.load()) + "\n";
        }
        std::string codeText;
        for (int c : codes())
            codeText += std::to_string(c) + " ";
        writeFile(results / "codes.txt", std::vector<std::uint8_t>(codeText.begin(), codeText.end()));
        writeFile(results / "log.txt", std::vector<std::uint8_t>(log.begin(), log.end()));
        for (const auto& f : aviFiles(mountPoint))
            std::filesystem::copy_file(f, results / f.filename());
    });
    if (exitStatus == 77)
        GTEST_SKIP() << "no mount namespace or tmpfs here (needs root)";
    ASSERT_EQ(exitStatus, 0);
    const auto codeBytes = readFile(results / "codes.txt");
    const std::string codeText(codeBytes.begin(), codeBytes.end());
    // 14 once while the reserve is above the free space; then opened once (8), 14 for frames
    // written under the reserve, the end of the file when the disk is full (9), and one 14 for
    // the attempts to open that follow.
    EXPECT_EQ(codeText.rfind("14 8 14 14", 0), 0u) << codeText;
    const auto logBytes = readFile(results / "log.txt");
    EXPECT_EQ(std::string(logBytes.begin(), logBytes.end()).rfind("no file under the reserve", 0), 0u);
    EXPECT_EQ(codeText.find("11"), std::string::npos) << codeText;
    EXPECT_EQ(codeText.substr(codeText.size() - 5), "9 14 ") << codeText;
    const auto files = aviFiles(results);
    ASSERT_GE(files.size(), 1u);
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        EXPECT_GT(frameBytes(f), 1000000);
        EXPECT_EQ(run("ffmpeg -nostdin -v error -i " + quote(f.string()) + " -f null -").output, "");
    }
}

// ReservedSpace 0 on a small tmpfs (in a mount namespace of a child process) that fills up: the
// write that finds the disk full ends the file once (9), Status says what is true (3: requested,
// no file open), 14 comes once for the attempts that follow, no empty file is left behind, the
// file plays, and once room is made the next frame opens a new file (8, Status 4).
TEST_F(RecordFrameTest, FullDiskWithoutReserveEndsTheFileOnceAndSaysSo)
{
    makeFrames(640, 480, 95, 3);
    const auto mountPoint = dir / "tmpfs";
    const auto results = dir / "results";
    std::filesystem::create_directories(results);
    const int exitStatus = inSmallTmpfs(mountPoint, "1m", [&] {
        control->put_NormalFilePath(mountPoint.string());
        control->put_ReservedSpace(0);
        control->StartRecording();
        auto note = [&](const char* name, const std::string& text) {
            writeFile(results / name, std::vector<std::uint8_t>(text.begin(), text.end()));
        };
        auto codeText = [&] {
            std::string text;
            for (int c : codes())
                text += std::to_string(c) + " ";
            return text;
        };
        int k = 0;
        for (bool written = false; k < 200; ++k) {
            frameAt(100 * k, k);
            const bool open = CImagePeer::record(*control).m_bAviOpen.load() != 0;
            if (written && !open)
                break;
            written = written || open;
        }
        for (int more = 0; more < 20; ++more) {
            ++k;
            frameAt(100 * k, k);
        }
        note("full.txt", codeText() + "| status " + std::to_string(status()) + " | files " +
                             std::to_string(aviFiles(mountPoint).size()));
        for (const auto& f : aviFiles(mountPoint)) {
            std::filesystem::copy_file(f, results / f.filename());
            std::filesystem::remove(f);
        }
        recorder->events.clear();
        for (int more = 0; more < 3; ++more) {
            ++k;
            frameAt(100 * k, k);
        }
        note("room.txt", codeText() + "| status " + std::to_string(status()));
    });
    if (exitStatus == 77)
        GTEST_SKIP() << "no mount namespace or tmpfs here (needs root)";
    ASSERT_EQ(exitStatus, 0);
    auto text = [&](const char* name) {
        const auto bytes = readFile(results / name);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(text("full.txt"), "8 9 14 | status 3 | files 1");
    EXPECT_EQ(text("room.txt"), "8 | status 4");
    const auto files = aviFiles(results);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_GT(frameBytes(files[0]), 500000);
    EXPECT_EQ(run("ffmpeg -nostdin -v error -i " + quote(files[0].string()) + " -f null -").output, "");
}

} // namespace
