// The AVI writer against ffmpeg and ffprobe: files must decode without a message, frames must sit
// on their slots, the first frame must match its source, and every failure must leave either a
// valid file or none.
#include "media/avi_writer.h"
#include "media_tools.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <numbers>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tessivor;
using namespace mediatest;

namespace {

BitmapInfoHeader headerFor(int width, int height)
{
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = 24;
    h.biSizeImage = dibStride(width, 24) * height;
    return h;
}

std::string ffmpegDecodeMessages(const std::filesystem::path& file)
{
    return run("ffmpeg -nostdin -v error -xerror -i " + quote(file.string()) + " -f null -").output;
}

std::string ffprobeWarnings(const std::filesystem::path& file)
{
    return run("ffprobe -v warning " + quote(file.string())).output;
}

int decodedFrameCount(const std::filesystem::path& file)
{
    const auto r = run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                       "stream=nb_read_frames -of default=nw=1:nk=1 " +
                       quote(file.string()));
    try {
        return std::stoi(r.output);
    } catch (...) {
        return -1;
    }
}

class AviWriterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        for (int i = 0; i < 4; ++i) {
            pictures.push_back(makePicture(320, 240, i));
            frames.push_back(cleanJpeg(pictures.back(), 90, dir));
            ASSERT_FALSE(frames.back().empty()) << "cjpeg failed";
        }
        // One frame of each parity, so that chunk padding is exercised.
        if (frames[0].size() % 2 == frames[1].size() % 2)
            frames[1] = withFlippedParity(frames[1]);
    }

    std::filesystem::path dir;
    std::vector<Picture> pictures;
    std::vector<std::vector<std::uint8_t>> frames;
};

TEST_F(AviWriterTest, FramesKeepTheirSlotsAndDecodeCleanly)
{
    // slots, expected pts: a 10 fps camera lands every third slot of the 30 fps grid; uneven
    // arrival leaves uneven gaps; consecutive slots leave none.
    struct Case
    {
        const char* name;
        std::vector<std::int32_t> slots;
    };
    const Case cases[] = {
        {"ten_fps", {0, 3, 6, 9, 12, 15, 18, 21}},
        {"uneven", {0, 1, 5, 6, 40, 41, 100}},
        {"every_slot", {0, 1, 2, 3, 4, 5}},
        {"late_first", {7, 8, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = dir / (std::string(c.name) + ".avi");
        CAviWriter w;
        w.SetFileName(file.string());
        w.SetFrameRate(30);
        w.SetBitmapInfo(headerFor(320, 240));
        ASSERT_EQ(w.OpenVideo(0), 1);
        std::int64_t total = 0;
        for (std::size_t i = 0; i < c.slots.size(); ++i) {
            const auto& f = frames[i % frames.size()];
            std::int64_t written = -1;
            ASSERT_EQ(w.AddFrame(f.data(), static_cast<std::uint32_t>(f.size()), &written, c.slots[i]), 1);
            EXPECT_EQ(written, static_cast<std::int64_t>(f.size()));
            total += written;
        }
        EXPECT_GE(w.FinalFileBytes(), static_cast<std::uint64_t>(total));
        const std::uint64_t expectedSize = w.FinalFileBytes();
        EXPECT_EQ(w.Close(), 1);
        EXPECT_EQ(std::filesystem::file_size(file), expectedSize);

        EXPECT_EQ(ffmpegDecodeMessages(file), "");
        EXPECT_EQ(ffprobeWarnings(file), "");
        std::vector<long> expected(c.slots.begin(), c.slots.end());
        EXPECT_EQ(packetPts(file), expected);
        EXPECT_EQ(streamEntry(file, "v", "codec_name"), "mjpeg");
        EXPECT_EQ(streamEntry(file, "v", "width"), "320");
        EXPECT_EQ(streamEntry(file, "v", "r_frame_rate"), "30/1");
    }
}

TEST_F(AviWriterTest, FirstFrameMatchesItsSource)
{
    const auto file = dir / "first.avi";
    CAviWriter w;
    w.SetFileName(file.string());
    w.SetBitmapInfo(headerFor(320, 240));
    ASSERT_EQ(w.OpenVideo(0), 1);
    std::int64_t written = 0;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(w.AddFrame(frames[i].data(), static_cast<std::uint32_t>(frames[i].size()), &written, i * 3),
                  1);
    w.Close();

    Picture decoded;
    ASSERT_TRUE(firstVideoFrame(file, dir / "first.ppm", &decoded));
    EXPECT_GT(psnr(decoded, pictures[0]), 30.0);
    // The second source is a different picture: the comparison can tell frames apart.
    EXPECT_LT(psnr(decoded, pictures[1]), psnr(decoded, pictures[0]));
}

TEST_F(AviWriterTest, AudioStreamIsConsistentPcm)
{
    const auto file = dir / "av.avi";
    const WaveFormat format = pcmWaveFormat(16, 1, 8000);
    CAviWriter w;
    w.SetFileName(file.string());
    w.SetBitmapInfo(headerFor(320, 240));
    ASSERT_EQ(w.OpenVideoAudio(0, format, 3), 1);
    EXPECT_TRUE(w.HasAudio());
    // Four seconds: a frame every third slot and a 250-ms sound block (4000 bytes) every
    // 250 ms, interleaved as they would arrive.
    std::vector<std::uint8_t> block(4000);
    for (std::size_t i = 0; i < block.size(); i += 2) {
        const auto s = static_cast<std::int16_t>(8000 * std::sin(i / 2 * 2 * std::numbers::pi * 440 / 8000));
        block[i] = static_cast<std::uint8_t>(s);
        block[i + 1] = static_cast<std::uint8_t>(s >> 8);
    }
    std::int64_t written = 0;
    int slot = 0;
    for (int blockNo = 0; blockNo < 16; ++blockNo) {
        ASSERT_EQ(w.WriteAudio(-1 - blockNo, block.data(), static_cast<std::uint32_t>(block.size())), 1);
        for (; slot < (blockNo + 1) * 30 / 4; slot += 3) {
            const auto& f = frames[slot % frames.size()];
            ASSERT_EQ(w.AddFrame(f.data(), static_cast<std::uint32_t>(f.size()), &written, slot), 1);
        }
    }
    // A write that is not whole sample blocks is refused.
    EXPECT_EQ(w.WriteAudio(0, block.data(), 3), 0);
    w.Close();

    EXPECT_EQ(ffmpegDecodeMessages(file), "");
    EXPECT_EQ(ffprobeWarnings(file), "");
    EXPECT_EQ(streamEntry(file, "a", "codec_name"), "pcm_s16le");
    EXPECT_EQ(streamEntry(file, "a", "sample_rate"), "8000");
    EXPECT_EQ(streamEntry(file, "a", "channels"), "1");
    EXPECT_EQ(streamEntry(file, "a", "nb_frames"), "32000"); // the stream length in sample blocks
    // The audio decodes to exactly what was written, and lasts as long as the video.
    const auto pcm = dir / "av.raw";
    ASSERT_EQ(run("ffmpeg -nostdin -v error -i " + quote(file.string()) + " -map 0:a -f s16le -y " +
                  quote(pcm.string()))
                  .exitCode,
              0);
    const auto raw = readFile(pcm);
    ASSERT_EQ(raw.size(), 16 * block.size());
    const double audioSeconds = double(raw.size()) / format.avgBytesPerSec;
    const double videoSeconds = std::stod(streamEntry(file, "v", "duration"));
    EXPECT_NEAR(audioSeconds, videoSeconds, 0.05 * videoSeconds);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), raw.begin() + 5 * block.size()));
}

TEST_F(AviWriterTest, RefusesWhatItCannotWriteAndLeavesNoPartialFile)
{
    // An existing recording is never overwritten.
    const auto existing = dir / "existing.avi";
    writeFile(existing, {1, 2, 3});
    // name, bitmap header, expect the named file to exist afterwards
    struct Case
    {
        const char* name;
        std::filesystem::path file;
        BitmapInfoHeader header;
    };
    const Case cases[] = {
        {"missing folder", dir / "no" / "such" / "x.avi", headerFor(320, 240)},
        {"existing file", existing, headerFor(320, 240)},
        {"zero width", dir / "zero.avi", headerFor(0, 240)},
        {"negative width", dir / "neg.avi", headerFor(-5, 240)},
        {"folder as file", dir, headerFor(320, 240)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CAviWriter w;
        w.SetFileName(c.file.string());
        w.SetBitmapInfo(c.header);
        EXPECT_EQ(w.OpenVideo(0), 0);
        EXPECT_FALSE(w.IsOpen());
        EXPECT_EQ(w.Close(), 1);
    }
    EXPECT_EQ(readFile(existing), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_FALSE(std::filesystem::exists(dir / "zero.avi"));
    EXPECT_FALSE(std::filesystem::exists(dir / "neg.avi"));

    // Bad audio formats: 12 bits, three channels, inconsistent block align.
    WaveFormat odd = pcmWaveFormat(12, 1, 8000);
    WaveFormat three = pcmWaveFormat(16, 3, 8000);
    WaveFormat misaligned = pcmWaveFormat(16, 1, 8000);
    misaligned.blockAlign = 1;
    for (const WaveFormat& f : {odd, three, misaligned}) {
        CAviWriter w;
        w.SetFileName((dir / "audio.avi").string());
        w.SetBitmapInfo(headerFor(320, 240));
        EXPECT_EQ(w.OpenVideoAudio(0, f, 3), 0);
        EXPECT_FALSE(std::filesystem::exists(dir / "audio.avi"));
    }
}

TEST_F(AviWriterTest, WritesOutOfOrderOrClosedAreRefused)
{
    std::int64_t written = 0;
    CAviWriter w;
    EXPECT_EQ(w.AddFrame(frames[0].data(), static_cast<std::uint32_t>(frames[0].size()), &written, 0), 0);
    EXPECT_EQ(w.WriteAudio(0, frames[0].data(), 2), 0);

    const auto file = dir / "order.avi";
    w.SetFileName(file.string());
    w.SetBitmapInfo(headerFor(320, 240));
    ASSERT_EQ(w.OpenVideo(0), 1);
    EXPECT_EQ(w.OpenVideo(0), 0); // already open
    const auto size = static_cast<std::uint32_t>(frames[0].size());
    EXPECT_EQ(w.AddFrame(frames[0].data(), size, &written, 5), 1);
    EXPECT_EQ(w.AddFrame(frames[0].data(), size, &written, 5), 0); // same slot
    EXPECT_EQ(w.AddFrame(frames[0].data(), size, &written, 2), 0); // earlier slot
    EXPECT_EQ(w.AddFrame(frames[0].data(), size, &written, -1), 0);
    EXPECT_EQ(w.WriteAudio(0, frames[0].data(), 2), 0); // no audio stream
    EXPECT_EQ(w.AddFrame(frames[1].data(), static_cast<std::uint32_t>(frames[1].size()), &written, 6), 1);
    EXPECT_EQ(w.Close(), 1);
    EXPECT_EQ(w.Close(), 1);
    EXPECT_EQ(w.AddFrame(frames[0].data(), size, &written, 7), 0);
    EXPECT_EQ(packetPts(file), (std::vector<long>{5, 6}));
    EXPECT_EQ(ffmpegDecodeMessages(file), "");
}

TEST_F(AviWriterTest, SizeLimitIsNeverPassed)
{
    const std::uint64_t limit = 400 * 1024;
    const auto file = dir / "limit.avi";
    CAviWriter w;
    w.SetSizeLimitForTesting(limit);
    w.SetFileName(file.string());
    w.SetBitmapInfo(headerFor(320, 240));
    ASSERT_EQ(w.OpenVideo(0), 1);
    std::int64_t written = 0;
    int slot = 0;
    bool sawNear = false;
    int accepted = 0;
    while (slot < 10000) {
        const auto& f = frames[slot % frames.size()];
        if (w.AddFrame(f.data(), static_cast<std::uint32_t>(f.size()), &written, slot) != 1)
            break;
        ++accepted;
        sawNear = sawNear || w.NearSizeLimit();
        EXPECT_LE(w.FinalFileBytes(), limit);
        slot += 2;
    }
    ASSERT_LT(slot, 10000) << "the limit was never reached";
    EXPECT_TRUE(sawNear);
    EXPECT_TRUE(w.IsOpen()); // a refused frame does not end the file
    w.Close();
    EXPECT_LE(std::filesystem::file_size(file), limit);
    EXPECT_EQ(ffmpegDecodeMessages(file), "");
    EXPECT_EQ(decodedFrameCount(file), accepted);
}

TEST_F(AviWriterTest, ThreadsShareOneWriter)
{
    // The image loop writes frames, the audio thread sound, and the host's thread closes in the
    // middle; nothing may tear a chunk or write after the close.
    const auto file = dir / "threads.avi";
    CAviWriter w;
    w.SetFileName(file.string());
    w.SetBitmapInfo(headerFor(320, 240));
    ASSERT_EQ(w.OpenVideoAudio(0, pcmWaveFormat(16, 1, 8000), 3), 1);
    std::atomic<int> framesWritten{0}, blocksWritten{0};
    std::vector<std::uint8_t> block(800, 0);
    std::thread video([&] {
        std::int64_t written = 0;
        for (int slot = 0; slot < 3000; ++slot) {
            const auto& f = frames[slot % frames.size()];
            if (w.AddFrame(f.data(), static_cast<std::uint32_t>(f.size()), &written, slot) == 1)
                ++framesWritten;
        }
    });
    std::thread audio([&] {
        for (int i = 0; i < 3000; ++i)
            if (w.WriteAudio(0, block.data(), static_cast<std::uint32_t>(block.size())) == 1)
                ++blocksWritten;
    });
    while (framesWritten.load() < 50)
        std::this_thread::yield();
    std::thread closer([&] { w.Close(); });
    closer.join();
    video.join();
    audio.join();
    w.Close();
    EXPECT_GE(framesWritten.load(), 50);
    EXPECT_EQ(ffmpegDecodeMessages(file), "");
    EXPECT_EQ(decodedFrameCount(file), framesWritten.load());
}

TEST_F(AviWriterTest, KilledRecordingPlaysUpToItsLastSecond)
{
    // A child process records at 30 frames per second and reports every frame it has written;
    // it is killed without warning after about two and a half seconds.
    const auto file = dir / "killed.avi";
    const auto& f = frames[0];
    int pipeFd[2];
    ASSERT_EQ(::pipe(pipeFd), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFd[0]);
        CAviWriter w;
        w.SetFileName(file.string());
        w.SetBitmapInfo(headerFor(320, 240));
        if (w.OpenVideo(0) != 1)
            ::_exit(3);
        std::int64_t written = 0;
        for (std::int32_t slot = 0;; ++slot) {
            if (w.AddFrame(f.data(), static_cast<std::uint32_t>(f.size()), &written, slot) != 1)
                ::_exit(4);
            const char mark = 'f';
            if (::write(pipeFd[1], &mark, 1) != 1)
                ::_exit(5);
            std::this_thread::sleep_for(std::chrono::milliseconds(33));
        }
    }
    ::close(pipeFd[1]);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    int reported = 0;
    char buf[256];
    ssize_t n;
    while ((n = ::read(pipeFd[0], buf, sizeof buf)) > 0)
        reported += static_cast<int>(n);
    ::close(pipeFd[0]);
    ASSERT_GT(reported, 40);

    // ffmpeg reads it (no index: it scans the 'movi' list) and gets every frame but those of
    // the last second at most.
    const auto decode = run("ffmpeg -nostdin -v error -i " + quote(file.string()) + " -f null -");
    EXPECT_EQ(decode.exitCode, 0) << decode.output;
    const int decoded = decodedFrameCount(file);
    EXPECT_LE(decoded, reported);
    EXPECT_GE(decoded, reported - 30);
}

} // namespace
