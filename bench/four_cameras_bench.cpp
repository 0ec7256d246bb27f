// Live cameras in one process: simulated cameras (tools/camsim, each its own process) send
// 640x480 pictures at 30 frames per second over loopback; as many controls of this process
// receive, decode, check for motion and draw a 320x240 preview of every frame, for a fixed time.
// BM_OneCamera measures the live ingest of a single camera, BM_FourCameras four at once;
// BM_BareIngest is the floor for one camera (receive and bare decode only, see there), and
// BM_PacedDecode the floor of that floor: the bare decode alone, at the cameras' pace.
//
// Reported (counters):
//   cam1_fps ..             frames handed to each control's pipeline per second
//   cpu_per_frame_ratio     CPU time of this process per processed frame (readers, pipeline,
//                           event handling), as a multiple of a bare libjpeg-turbo decode of one
//                           such frame: the process's floor, measured once before the first
//                           benchmark, so that every benchmark of a run has the same one
//   bare_decode_ms          that decode's CPU time
//   bare_before_ms, bare_after_ms   the same decode measured just before and just after this
//                           benchmark's window: how far the machine moved while it ran
//   cpu_per_frame_ms        the CPU time per processed frame itself
//   vs_bare_ingest          (BM_OneCamera) CPU per frame as a multiple of BM_BareIngest's of the
//                           same run, when that ran first
//   peak_rss_mb             peak resident memory of the process
//
// TESSIVOR_BENCH_SECONDS sets the time (default 60).
#include "bare_decode.h"
#include "camsim_process.h"
#include "control/cimage.h"
#include "picture.h"
#include "platform/frame_target.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace tessivor;
using namespace tessivor::testing;

namespace {

// CPU seconds of bare decodes of a camsim 640x480 frame into RGB rows: the mean of each of
// `batches` batches of 60 decodes is added to `means`.
void sampleBareDecode(std::vector<double>& means, int batches)
{
    static const auto jpeg = camsim::encodeTestPicture(7, 640, 480, 75);
    std::vector<std::uint8_t> rgb(640 * 480 * 3);
    constexpr int kRounds = 60;
    bareDecode(jpeg, rgb); // caches and tables warm, as in every batch after the first
    for (int b = 0; b < batches; ++b) {
        const double start = threadCpuSeconds();
        for (int i = 0; i < kRounds; ++i) {
            bareDecode(jpeg, rgb);
            benchmark::DoNotOptimize(rgb.data());
        }
        means.push_back((threadCpuSeconds() - start) / kRounds);
    }
}

// The reference decode time of one benchmark: the medians of batches taken before and after its
// measured window, kept apart so that a report shows how far the machine moved in between.
class BareReference
{
public:
    void sample() { sampleBareDecode(m_means.emplace_back(), 5); }
    double before() const { return median(0); }
    double after() const { return median(1); }

private:
    double median(std::size_t which) const
    {
        if (m_means.size() <= which)
            return 0;
        std::vector<double> sorted = m_means[which];
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[sorted.size() / 2];
    }
    std::vector<std::vector<double>> m_means;
};

// The floor every benchmark of this process is measured against, taken once, before the first
// one: the decode on a processor that has been kept busy for a moment first (a core that comes out
// of idle runs its first decodes slower), then the median of many batches. One floor for all,
// so that the ratios of one run compare with each other; each benchmark also reports the
// decode around its own window (bare_before_ms, bare_after_ms).
double processFloorSeconds()
{
    static const double floor = [] {
        std::vector<double> warmUp;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (std::chrono::steady_clock::now() < until)
            sampleBareDecode(warmUp, 1);
        std::vector<double> means;
        sampleBareDecode(means, 15);
        std::sort(means.begin(), means.end());
        return means[means.size() / 2];
    }();
    return floor;
}

// CPU per frame of the paced bare ingest (BM_BareIngest) of this run, once it has run: the floor
// of a live camera's ingest, against which BM_OneCamera is reported as well.
double g_bareIngestCpuPerFrame = 0;

// The counters every live benchmark reports; see the top of the file.
void reportCpu(benchmark::State& state, double cpu, long frames, const BareReference& reference)
{
    const double floor = processFloorSeconds();
    const double perFrame = frames > 0 ? cpu / double(frames) : 0;
    state.counters["cpu_per_frame_ratio"] = perFrame / floor;
    state.counters["cpu_per_frame_ms"] = perFrame * 1000;
    state.counters["bare_decode_ms"] = floor * 1000;
    state.counters["bare_before_ms"] = reference.before() * 1000;
    state.counters["bare_after_ms"] = reference.after() * 1000;
}

void runCameras(benchmark::State& state, int cameraCount)
{
    const double seconds = benchSeconds();
    processFloorSeconds();
    BareReference reference;
    reference.sample();

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
        const auto end = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     std::chrono::duration<double>(seconds));
        auto nextRead = start + std::chrono::milliseconds(500);
        while (true) {
            // The harness sleeps until the controls post something or the next count is due, as
            // a host's event loop would: waking on a short period of its own would be counted as
            // the controls' CPU time.
            const auto now = std::chrono::steady_clock::now();
            if (now >= end)
                break;
            messageLoop::waitAndPump(
                std::chrono::ceil<std::chrono::milliseconds>(std::min(nextRead, end) - now));
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
    // The cameras are gone before the second reference batches, as before the first.
    cameras.clear();
    reference.sample();
    long total = 0;
    for (long f : frames)
        total += f;
    reportCpu(state, cpu, total, reference);
    if (cameraCount == 1 && total > 0 && g_bareIngestCpuPerFrame > 0)
        state.counters["vs_bare_ingest"] = cpu / double(total) / g_bareIngestCpuPerFrame;
}
// The floor of any live ingest of one camera: a plain blocking socket takes the camera's pushed
// stream, each part's JPEG is found by its "Content-length:" field and decoded with the bare
// decode, nothing else. Reported as BM_OneCamera is.
void BM_BareIngest(benchmark::State& state)
{
    const double seconds = benchSeconds();
    processFloorSeconds();
    BareReference reference;
    reference.sample();
    auto cameraProcess = std::make_unique<CamSim>(
        std::vector<std::string>{"--size", "640x480", "--rate", "30", "--quality", "75"});
    CamSim& camera = *cameraProcess;

    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(camera.httpPort()));
    ::inet_pton(AF_INET, camera.address().c_str(), &to.sin_addr);
    // The simulated camera's default user and password, "pelko" and "pelko".
    const std::string request = "GET /VIDEO.CGI HTTP/1.0\r\nAuthorization: Basic cGVsa286cGVsa28=\r\n\r\n";
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 ||
        ::send(fd, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) {
        state.SkipWithError("no connection to the simulated camera");
        if (fd >= 0)
            ::close(fd);
        return;
    }
    std::vector<std::uint8_t> in(1 << 20);
    std::vector<std::uint8_t> rgb(640 * 480 * 3);
    std::size_t held = 0;
    long frames = 0;
    double cpu = 0;
    // Decodes every whole part held; false when the stream is unusable.
    auto takeParts = [&](bool count) {
        while (true) {
            const std::string_view text(reinterpret_cast<const char*>(in.data()), held);
            const std::size_t field = text.find("Content-length:");
            const std::size_t body = text.find("\r\n\r\n", field);
            if (field == std::string_view::npos || body == std::string_view::npos)
                return held < in.size() / 2;
            const std::size_t length = std::strtoul(text.data() + field + 15, nullptr, 10);
            const std::size_t end = body + 4 + length;
            if (length == 0 || end > in.size())
                return false;
            if (end > held)
                return true;
            bareDecode(in.data() + body + 4, length, rgb);
            benchmark::DoNotOptimize(rgb.data());
            frames += count ? 1 : 0;
            std::memmove(in.data(), in.data() + end, held - end);
            held -= end;
        }
    };
    for (auto _ : state) {
        bool usable = true;
        auto receiveUntil = [&](std::chrono::steady_clock::time_point until, bool count) {
            while (usable && std::chrono::steady_clock::now() < until) {
                const ssize_t n = ::recv(fd, in.data() + held, in.size() - held, 0);
                if (n <= 0) {
                    usable = false;
                    break;
                }
                held += static_cast<std::size_t>(n);
                usable = takeParts(count);
            }
        };
        receiveUntil(std::chrono::steady_clock::now() + std::chrono::seconds(2), false);
        const double cpuStart = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        receiveUntil(start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(seconds)),
                     true);
        cpu = processCpuSeconds() - cpuStart;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed);
        state.counters["cam1_fps"] = double(frames) / elapsed;
        if (!usable)
            state.SkipWithError("the stream ended or could not be read");
    }
    ::close(fd);
    cameraProcess.reset();
    reference.sample();
    reportCpu(state, cpu, frames, reference);
    if (frames > 0)
        g_bareIngestCpuPerFrame = cpu / double(frames);
}
BENCHMARK(BM_BareIngest)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The bare decode alone, one frame every 1/30 s on one thread, sleeping in between as a live
// reader does while it waits for the next frame. A processor that idles between frames comes back
// to each one with colder caches and predictors (and, in a virtual machine, often after another
// guest ran on it), so this is what a decode costs at the cameras' pace, before any receiving.
// Reported as BM_OneCamera is.
void BM_PacedDecode(benchmark::State& state)
{
    const double seconds = benchSeconds();
    processFloorSeconds();
    BareReference reference;
    reference.sample();
    const auto jpeg = camsim::encodeTestPicture(7, 640, 480, 75);
    std::vector<std::uint8_t> rgb(640 * 480 * 3);
    long frames = 0;
    double cpu = 0;
    for (auto _ : state) {
        const auto period = std::chrono::microseconds(33333);
        const double cpuStart = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const auto end = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     std::chrono::duration<double>(seconds));
        for (auto next = start; next + period <= end; next += period) {
            std::this_thread::sleep_until(next);
            bareDecode(jpeg, rgb);
            benchmark::DoNotOptimize(rgb.data());
            ++frames;
        }
        std::this_thread::sleep_until(end); // each frame counted with its whole period
        cpu = processCpuSeconds() - cpuStart;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed);
        state.counters["cam1_fps"] = double(frames) / elapsed;
    }
    reference.sample();
    reportCpu(state, cpu, frames, reference);
}
BENCHMARK(BM_PacedDecode)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

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
