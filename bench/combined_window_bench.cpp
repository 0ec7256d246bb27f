// The combined window with four live cameras, offscreen: four simulated cameras (tools/camsim,
// each its own process) send 640x480 pictures at 30 frames per second over loopback; the
// program's engine with four real controls (the control module created by ProgID and called
// late-bound, as the program does) draws them into the four 400x300 panes of the combined window,
// which repaint from their frame targets on the user-interface thread as in the program.
//
// BM_CombinedWindow has the controls pass every frame on (DisplayDelay 0, as the control-only
// benchmark four_cameras_bench); BM_CombinedWindowProgramSettings keeps the settings the program
// gives them, whose display delay lets about half the frames through.
//
// Reported (counters):
//   camN_served_fps      frames camera N sent per second (its own count)
//   camN_shown_fps       paints of pane N per second that showed a new picture
//   cpu_per_frame_ratio  CPU time of this process (controls, engine, window, Qt painting) per
//                        shown frame, as a multiple of a bare libjpeg-turbo decode of one such
//                        frame measured here first
//   bare_decode_ms       that decode's CPU time
//   peak_rss_mb          peak resident memory of the process
//
// TESSIVOR_BENCH_SECONDS sets the measured time (default 60). The control module is registered in
// a registration file of the benchmark's own (TESSIVOR_REGISTRY), not in the user's.
#include "bare_decode.h"
#include "camsim_process.h"
#include "picture.h"
#include "real_time_services.h"
#include "views_only.h"

#include "app/core/app_state.h"
#include "app/core/control_adapter.h"
#include "app/core/engine.h"
#include "app/core/event_log.h"
#include "app/core/language_pack.h"
#include "app/skin/message_pump.h"
#include "app/skin/picture_surface.h"
#include "app/skin/skin_form.h"
#include "app/skin/ui_services.h"
#include "app/viewer/kestra_viewer.h"
#include "app/windows/combined_windows.h"

#include "platform/clock.h"
#include "platform/com_module.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace pellucor;
using tessivor::testing::CamSim;
using tessivor::testing::statsField;

namespace {

QApplication& app()
{
    static QApplication* a = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "combined_window_bench";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv); // kept to the end of the process
    }();
    return *a;
}

// Message boxes of the engine: none may stop the benchmark, so they are counted, not shown.
struct CountedMessages : MessageBoxes
{
    int shown = 0;
    void show(const std::string&, const std::string&) override { ++shown; }
};

// Counts the paints of the four panes that showed a picture the pane had not shown before.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(CombinedWindow& w)
    {
        for (int n = 1; n <= 4; ++n) {
            m_panes[static_cast<std::size_t>(n - 1)] = &w.pane(n);
            w.pane(n).installEventFilter(this);
        }
    }
    std::array<long, 4> shown{};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        for (std::size_t k = 0; k < 4; ++k) {
            if (watched != m_panes[k])
                continue;
            // The paint runs here, so that its outcome can be read right after it.
            const std::uint64_t before = m_panes[k]->shownVersion();
            watched->event(event);
            shown[k] += m_panes[k]->shownVersion() != before ? 1 : 0;
            return true;
        }
        return false;
    }

private:
    std::array<PictureSurface*, 4> m_panes{};
};

// Runs an event loop for `seconds`, as the program's own loop runs: it sleeps until something
// happens (a loop that polls would be counted as the window's CPU time).
void runEvents(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// Puts 0 into the control's DisplayDelay (its default, 65 ms, lets a frame through only that long
// after the last: about 15 of a camera's 30 frames per second), which the program never sets.
bool drawEveryFrame(DispatchCamera& control)
{
    tessivor::IAutomationObject& object = control.object();
    tessivor::DispId id{};
    if (object.getIdOfName("DisplayDelay", &id) != tessivor::S_OK)
        return false;
    tessivor::DispParams params = tessivor::DispParams::fromDeclared({tessivor::Variant::i4(0)});
    return object.invoke(id, tessivor::InvokeKind::PropertyPut, params, nullptr) == tessivor::S_OK;
}

// `everyFrame`: the controls pass every frame on (DisplayDelay 0), as in the control-only
// benchmark; otherwise they run with the settings the program gives them.
void runCombined(benchmark::State& state, bool everyFrame)
{
    const double seconds = benchSeconds();
    const double bare = bareDecodeSeconds(camsim::encodeTestPicture(7, 640, 480, 75), 640, 480);

    const auto home =
        std::filesystem::temp_directory_path() / ("combined_bench." + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    ::setenv("TESSIVOR_REGISTRY", (home / "registry").c_str(), 1);
    app();
    void* module = ::dlopen(TESSIVOR_MODULE_FILE, RTLD_NOW | RTLD_LOCAL);
    auto reg = module ? reinterpret_cast<tessivor::DllRegisterServerFn>(::dlsym(module, "DllRegisterServer"))
                      : nullptr;
    if (!reg || reg() != tessivor::S_OK) {
        state.SkipWithError("the control module cannot be registered");
        return;
    }

    std::vector<std::unique_ptr<CamSim>> cameras;
    for (int n = 1; n <= 4; ++n)
        cameras.push_back(std::make_unique<CamSim>(
            std::vector<std::string>{"--size", "640x480", "--rate", "30", "--quality", "75"}));

    AppState st;
    std::vector<std::pair<std::string, int>> addresses;
    for (const auto& c : cameras)
        addresses.emplace_back(c->address(), c->httpPort());
    // Motion JPEG over HTTP (protocol 2), as the control-only benchmark.
    if (!viewtest::camsimState(st, home, addresses, 2, "Bench")) {
        state.SkipWithError("the language pack cannot be read");
        return;
    }
    st.CombineMode = 1;
    st.CurCam = 1;

    QtUiServices ui;
    MessagePump pump;
    QtTimerFactory timers;
    CountedMessages messages;
    tessivor::Clock& clock = tessivor::activeClock();
    EventLog log(st, clock);
    viewtest::CombinedOnly windows;
    EngineServices sv = enginetest::realTimeServices(timers, ui, windows, messages, log);
    std::string error;
    Engine engine(
        st, std::move(sv),
        [&error, everyFrame](int n, CameraEvents& events) -> std::unique_ptr<CameraControl> {
            auto control = DispatchCamera::create(kControlProgId, n, &events, &error);
            if (control && everyFrame && !drawEveryFrame(*control))
                error = "DisplayDelay cannot be set";
            return control;
        },
        [&clock](int n, ViewerEvents& events) -> std::unique_ptr<CameraViewer> {
            return std::make_unique<KestraViewer>(n, &events, clock);
        });
    if (!error.empty()) {
        state.SkipWithError(("a control cannot be made: " + error).c_str());
        return;
    }

    CombinedServices cs;
    cs.state = &st;
    cs.engine = &engine;
    cs.log = &log;
    CombinedWindows combined(cs);
    windows.combined = &combined;
    log.setViews(&windows);

    engine.Load(); // combined mode: every camera bound to its pane and started
    combined.showCombined();
    CombinedWindow& w = *combined.window();
    if (w.FirstActivate)
        w.Form_Activate();
    const QSize size = QSize(800, 600) + (w.size() - w.clientSize());
    w.resize(size);
    w.skin().setGeometry(QRect(QPoint(0, 0), size));
    PaintCounter counter(w);

    std::array<long, 4> served{};
    std::array<long, 4> shown{};
    double cpu = 0;
    double elapsed = 0;
    for (auto _ : state) {
        runEvents(3); // the streams settle
        std::array<long, 4> servedBefore{};
        for (std::size_t k = 0; k < 4; ++k)
            servedBefore[k] = statsField(cameras[k]->command("stats"), "frames");
        const std::array<long, 4> shownBefore = counter.shown;
        const double cpuStart = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        runEvents(seconds);
        cpu = processCpuSeconds() - cpuStart;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (std::size_t k = 0; k < 4; ++k) {
            served[k] = statsField(cameras[k]->command("stats"), "frames") - servedBefore[k];
            shown[k] = counter.shown[k] - shownBefore[k];
        }
        state.SetIterationTime(elapsed);
    }
    long total = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        const std::string cam = "cam" + std::to_string(k + 1);
        state.counters[cam + "_served_fps"] = double(served[k]) / elapsed;
        state.counters[cam + "_shown_fps"] = double(shown[k]) / elapsed;
        total += shown[k];
    }
    state.counters["cpu_per_frame_ratio"] = total > 0 ? cpu / double(total) / bare : 0;
    state.counters["bare_decode_ms"] = bare * 1000;
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    state.counters["peak_rss_mb"] = double(u.ru_maxrss) / 1024.0;
    if (messages.shown > 0)
        state.SkipWithError("the engine reported an error during the run");

    w.close();
    windows.combined = nullptr;
    engine.Unload();
    QCoreApplication::processEvents();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
}

void BM_CombinedWindow(benchmark::State& state)
{
    runCombined(state, true);
}
BENCHMARK(BM_CombinedWindow)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_CombinedWindowProgramSettings(benchmark::State& state)
{
    runCombined(state, false);
}
BENCHMARK(BM_CombinedWindowProgramSettings)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
