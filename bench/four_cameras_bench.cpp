// Live cameras in one process: simulated cameras (tools/camsim, each its own process) send
// 640x480 pictures at 30 frames per second over loopback; as many controls of this process
// receive, decode, check for motion and draw a 320x240 preview of every frame, for a fixed time.
// BM_OneCamera measures the live ingest of a single camera, BM_FourCameras four at once.
//
// Reported (counters):
//   cam1_fps ..             frames handed to each control's pipeline per second
//   cpu_per_frame_ratio     CPU time of this process per processed frame (readers, pipeline,
//                           event handling), as a multiple of a bare libjpeg-turbo decode of one
//                           such frame measured here first
//   bare_decode_ms          that decode's CPU time
//   peak_rss_mb             peak resident memory of the process
//
// TESSIVOR_BENCH_SECONDS sets the time (default 60).
#include "bare_decode.h"
#include "camsim_process.h"
#include "control/cimage.h"
#include "picture.h"
#include "platform/frame_target.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

using namespace tessivor;
using namespace tessivor::testing;

namespace {

double threadCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double processCpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of one bare decode of a camsim 640x480 frame into RGB rows.
double bareDecodeSeconds()
{
    const auto jpeg = camsim::encodeTestPicture(7, 640, 480, 75);
    std::vector<std::uint8_t> rgb(640 * 480 * 3);
    constexpr int kRounds = 300;
    const double start = threadCpuSeconds();
    for (int i = 0; i < kRounds; ++i) {
        bareDecode(jpeg, rgb);
        benchmark::DoNotOptimize(rgb.data());
    }
    return (threadCpuSeconds() - start) / kRounds;
}

void runCameras(benchmark::State& state, int cameraCount)
{
    const char* env = std::getenv("TESSIVOR_BENCH_SECONDS");
    const double seconds = env ? std::atof(env) : 60.0;
    const double bare = bareDecodeSeconds();

    std::vector<std::unique_ptr<CamSim>> cameras;
    std::vector<std::unique_ptr<CImage>> controls;
    std::vector<Handle> targets;
    for (int i = 0; i < cameraCount; ++i) {
        cameras.push_back(std::make_unique<CamSim>(
            std::vector<std::string>{"--size", "640x480", "--rate", "30", "--quality", "75"}));
        auto c = std::make_unique<CImage>();
        targets.push_back(frameTargets::create(320, 240));
        c->put_RemoteHost(cameras.back()->address());
        c->put_RemotePort(cameras.back()->httpPort());
        c->put_Protocol(PROTOCOL_MJPEG_CGI);
        c->put_DisplayDelay(0);
        c->put_MotionDetectMode(2);
        c->put_OtherDC(VariantBool(-1));
        c->put_PreviewhWnd(static_cast<std::int32_t>(targets.back()));
        c->put_PreviewDC(static_cast<std::int32_t>(targets.back()));
        c->put_PreviewWidth(320);
        c->put_PreviewHeight(240);
        controls.push_back(std::move(c));
    }

    std::vector<long> frames(cameraCount, 0);
    double cpu = 0;
    for (auto _ : state) {
        for (auto& c : controls) {
            std::int32_t h = 0;
            c->Run(&h);
        }
        // Let the streams settle, then measure.
        const auto settle = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < settle)
            messageLoop::waitAndPump(std::chrono::milliseconds(20));
        for (auto& c : controls) {
            std::int32_t ignored = 0;
            c->get_FrameCount(&ignored); // reading sets it back to 0
        }
        const double cpuStart = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const auto end = start + std::chrono::duration<double>(seconds);
        auto nextRead = start + std::chrono::milliseconds(500);
        while (std::chrono::steady_clock::now() < end) {
            messageLoop::waitAndPump(std::chrono::milliseconds(20));
            if (std::chrono::steady_clock::now() >= nextRead) {
                // FrameCount stops at 5000 until it is read: read it often.
                for (int i = 0; i < cameraCount; ++i) {
                    std::int32_t n = 0;
                    controls[static_cast<std::size_t>(i)]->get_FrameCount(&n);
                    frames[static_cast<std::size_t>(i)] += n;
                }
                nextRead += std::chrono::milliseconds(500);
            }
        }
        for (int i = 0; i < cameraCount; ++i) {
            std::int32_t n = 0;
            controls[static_cast<std::size_t>(i)]->get_FrameCount(&n);
            frames[static_cast<std::size_t>(i)] += n;
        }
        cpu = processCpuSeconds() - cpuStart;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed);
        for (auto& c : controls)
            c->Stop();
        for (int i = 0; i < cameraCount; ++i)
            state.counters["cam" + std::to_string(i + 1) + "_fps"] =
                double(frames[static_cast<std::size_t>(i)]) / elapsed;
    }
    long total = 0;
    for (long f : frames)
        total += f;
    state.counters["cpu_per_frame_ratio"] = total > 0 ? cpu / double(total) / bare : 0;
    state.counters["bare_decode_ms"] = bare * 1000;
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    state.counters["peak_rss_mb"] = double(u.ru_maxrss) / 1024.0;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (auto& c : controls)
        while (c->ImageThreadRunning() && std::chrono::steady_clock::now() < deadline)
            messageLoop::waitAndPump(std::chrono::milliseconds(20));
    controls.clear();
    for (Handle t : targets)
        frameTargets::destroy(t);
}
void BM_OneCamera(benchmark::State& state)
{
    runCameras(state, 1);
}
BENCHMARK(BM_OneCamera)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_FourCameras(benchmark::State& state)
{
    runCameras(state, 4);
}
BENCHMARK(BM_FourCameras)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
