// What recording costs per frame: a 640x480 camera JPEG passed through into the AVI file.
//
//   BM_RecordingCostRatio/Q  the whole frame pipeline (CImage::ProcessFrame: header gate, decode,
//                            320x240 preview drawn into a frame target) on frames of the
//                            simulated camera (tools/camsim) at JPEG quality Q, in blocks with
//                            and without recording. Counters: plain_us and recording_us per
//                            frame, and ratio = recording / plain, the cost of recording as a
//                            factor. Five repetitions; the median ratio is the figure.
//   BM_DecodeOnly            libjpeg decode of the frame into RGB rows
//   BM_RecordFrame           CImage::RecordFrame appending the frame (free-space check included)
//   BM_DecodeAndRecord       both, per frame: its ratio to BM_DecodeOnly bounds the overhead from
//                            above (the pipeline does more than a decode)
//   BM_WriterAddFrame        CAviWriter::AddFrame alone (bytes per second = write throughput)
//
// The control's clock advances 34 ms per frame, so that every frame gets a slot of its
// own and is written (a camera at 30 frames per second), and the file's open pause costs nothing.
#include "bare_decode.h"
#include "control/cimage.h"
#include "picture.h"
#include "platform/clock.h"
#include "platform/frame_target.h"
#include "tests/control/cimage_peer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

using namespace tessivor;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Frame 1 of the simulated camera at 640x480, quality 85.
const std::vector<std::uint8_t>& frame()
{
    static const std::vector<std::uint8_t> f = camsim::encodeTestPicture(1, kWidth, kHeight, 85);
    return f;
}

// A clock whose ticks advance 34 ms per frame, so every frame gets a slot of its own; the
// file's open pause costs nothing.
class FrameClock final : public Clock
{
public:
    std::uint32_t tickCount() override { return m_ticks; }
    void sleepMs(std::uint32_t ms) override { m_ticks += ms; }
    std::time_t now() override { return 1796712534 + m_ticks / 1000; }
    void advance() { m_ticks += 34; }

private:
    std::uint32_t m_ticks = 1000;
};

std::filesystem::path benchDir()
{
    auto dir = std::filesystem::temp_directory_path() / "tessivor-record-bench";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// A control recording into a fresh folder; files are split every 200 MB to bound the disk use.
struct Recording
{
    Recording() : dir(benchDir())
    {
        installClock(&clock);
        control.put_NormalFilePath(dir.string());
        control.put_ReservedSpace(0);
        control.put_SplitFileSpace(200);
        CImagePeer::run(control).m_nStatus.store(2);
    }
    ~Recording()
    {
        control.StopRecording();
        recordOne();
        installClock(nullptr);
        std::filesystem::remove_all(dir);
    }
    void recordOne()
    {
        if (CImagePeer::record(control).m_bRecordRequest.load() == 0)
            control.StartRecording();
        clock.advance();
        control.RecordFrame(RecordedPicture{header(), frame().data(), frame().size()});
    }
    static BitmapInfoHeader header()
    {
        BitmapInfoHeader h;
        h.biWidth = kWidth;
        h.biHeight = kHeight;
        h.biBitCount = 24;
        return h;
    }
    std::filesystem::path dir;
    FrameClock clock;
    CImage control;
};

void BM_DecodeOnly(benchmark::State& state)
{
    std::vector<std::uint8_t> rgb(kWidth * kHeight * 3);
    for (auto _ : state) {
        bareDecode(frame(), rgb);
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeOnly);

void BM_RecordFrame(benchmark::State& state)
{
    Recording r;
    for (auto _ : state)
        r.recordOne();
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame().size()));
}
BENCHMARK(BM_RecordFrame);

void BM_DecodeAndRecord(benchmark::State& state)
{
    Recording r;
    std::vector<std::uint8_t> rgb(kWidth * kHeight * 3);
    for (auto _ : state) {
        bareDecode(frame(), rgb);
        benchmark::DoNotOptimize(rgb.data());
        r.recordOne();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeAndRecord);

void BM_WriterAddFrame(benchmark::State& state)
{
    const auto dir = benchDir();
    CAviWriter w;
    BitmapInfoHeader h = Recording::header();
    int file = 0;
    std::int32_t slot = 0;
    auto open = [&] {
        w.SetFileName((dir / ("w" + std::to_string(file++) + ".avi")).string());
        w.SetBitmapInfo(h);
        w.OpenVideo(0);
        slot = 0;
    };
    open();
    std::int64_t written = 0;
    for (auto _ : state) {
        if (slot > 4000) { // about 200 MB per file
            w.Close();
            std::filesystem::remove_all(dir);
            std::filesystem::create_directories(dir);
            open();
        }
        w.AddFrame(frame().data(), static_cast<std::uint32_t>(frame().size()), &written, slot++);
    }
    w.Close();
    std::filesystem::remove_all(dir);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame().size()));
}
BENCHMARK(BM_WriterAddFrame);

// ProcessFrame of one frame, in seconds; false when the pipeline dropped it.
bool timedProcess(CImage& control, const std::vector<std::uint8_t>& jpeg, double* seconds)
{
    std::memcpy(CImagePeer::buffers(control).m_FrameBuffer.get(), jpeg.data(), jpeg.size());
    const auto start = std::chrono::steady_clock::now();
    const int rc = control.ProcessFrame(static_cast<std::uint32_t>(jpeg.size()));
    *seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return rc == -1;
}

// One control, whose frames are recorded in every other block of kBlockFrames frames: the same
// control on both sides of the ratio (two identical controls timed side by side, neither of them
// recording, differed by up to 10 per cent), and blocks short enough that the machine's drift
// falls on both sides.
// The frame that closes a block's file counts as recording, and so does the file's opening.
void BM_RecordingCostRatio(benchmark::State& state)
{
    constexpr std::int64_t kBlockFrames = 128;
    const int quality = static_cast<int>(state.range(0));
    const std::vector<std::uint8_t> frames[2] = {camsim::encodeTestPicture(1, kWidth, kHeight, quality),
                                                 camsim::encodeTestPicture(2, kWidth, kHeight, quality)};
    FrameClock clock;
    installClock(&clock);
    const auto dir = benchDir();
    const Handle target = frameTargets::create(320, 240);
    {
        CImage control;
        control.put_Protocol(PROTOCOL_NATIVE); // the frame lies in m_FrameBuffer
        control.put_MotionDetectMode(0);
        control.put_OtherDC(VariantBool(-1));
        control.put_PreviewhWnd(static_cast<std::int32_t>(target));
        control.put_PreviewDC(static_cast<std::int32_t>(target));
        control.put_PreviewWidth(320);
        control.put_PreviewHeight(240);
        control.put_NormalFilePath(dir.string());
        control.put_ReservedSpace(0);
        CImagePeer::run(control).m_nStatus.store(2);

        double plainSeconds = 0, recordingSeconds = 0;
        std::int64_t plainFrames = 0, recordingFrames = 0, n = 0;
        for (auto _ : state) {
            const bool recordingBlock = (n / kBlockFrames) & 1;
            const bool blockStart = n % kBlockFrames == 0;
            if (blockStart && recordingBlock)
                control.StartRecording();
            if (blockStart && !recordingBlock)
                control.StopRecording(); // this frame closes the file
            const bool counted = recordingBlock || (blockStart && n > 0);
            clock.advance();
            if (!timedProcess(control, frames[n & 1], counted ? &recordingSeconds : &plainSeconds)) {
                state.SkipWithError("frame dropped");
                break;
            }
            ++(counted ? recordingFrames : plainFrames);
            if (recordingBlock && CImagePeer::record(control).m_bAviOpen.load() == 0) {
                state.SkipWithError("no file open while recording");
                break;
            }
            messageLoop::pump(); // the events it posted
            ++n;
        }
        control.StopRecording();
        clock.advance();
        timedProcess(control, frames[0], &recordingSeconds);
        if (plainFrames > 0 && recordingFrames > 0) {
            const double plain = plainSeconds / double(plainFrames);
            const double recording = recordingSeconds / double(recordingFrames);
            state.counters["plain_us"] = plain * 1e6;
            state.counters["recording_us"] = recording * 1e6;
            state.counters["ratio"] = recording / plain;
        }
        state.counters["frame_bytes"] = double(frames[0].size() + frames[1].size()) / 2;
    }
    frameTargets::destroy(target);
    installClock(nullptr);
    std::filesystem::remove_all(dir);
}
// Five runs of each, reported as mean, median and spread: the median ratio is the figure.
BENCHMARK(BM_RecordingCostRatio)->Arg(75)->Arg(95)->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
