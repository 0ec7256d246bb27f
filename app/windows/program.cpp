#include "app/windows/program.h"

#include "app/core/control_adapter.h"
#include "app/core/engine.h"
#include "app/core/event_log.h"
#include "app/settings/settings_context.h"
#include "app/skin/message_pump.h"
#include "app/skin/single_instance.h"
#include "app/viewer/kestra_viewer.h"
#include "app/windows/combined_windows.h"
#include "app/windows/control_panel.h"
#include "app/windows/scan_window.h"
#include "app/windows/view_windows.h"

#include "platform/clock.h"
#include "platform/end_signals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <system_error>

namespace pellucor {

Program::Program(ProgramOptions options) : m_options(std::move(options)) {}

// The windows the settings dialogs reach: the panel and the window set.
class Program::ProgramSettingsHost : public SettingsHost
{
public:
    explicit ProgramSettingsHost(Program& program) : m_program(program) {}

    void Erase_Fun(int slot) override
    {
        if (!m_program.m_panel || !m_program.m_engine)
            return;
        m_program.m_engine->setCurrentCamera(slot);
        m_program.m_panel->Erase_Fun();
    }
    void showView(int slot) override { m_program.m_windows.showView(slot); }
    void RefrushStatusBar(int slot) override { m_program.m_windows.viewRefrushStatusBar(slot); }
    void unloadCombined() override { m_program.m_windows.unloadCombined(); }
    void unloadScan() override { m_program.m_windows.unloadScan(); }
    void showPanel() override { m_program.m_windows.showController(); }

private:
    Program& m_program;
};

Program::~Program()
{
    m_endNotifier.reset();
    // The panel refers to the engine; the engine's controls report into the pump's loop.
    m_windows.setPanel(nullptr);
    m_windows.setViewHost(nullptr);
    m_windows.setCombinedHost(nullptr);
    m_windows.setScanHost(nullptr);
    if (m_log)
        m_log->setViews(nullptr);
    m_scan.reset();
    m_combined.reset();
    m_views.reset();
    m_dialogs.setSettings(nullptr);
    m_panel.reset(); // with it the settings dialogs it owns
    m_settings.reset();
    m_settingsHost.reset();
    m_engine.reset();
    m_log.reset();
    m_pump.reset();
}

Program::StartResult Program::start()
{
    m_instance = std::make_unique<SingleInstance>(m_options.lockPath);
    if (!m_instance->acquire())
        return StartResult::AlreadyRunning;

    const auto home = resolveHomeDir(m_options.home);
    if (!home) {
        m_ui.show("The program has no home folder: start it with --home DIR or set PELLUCOR_HOME.");
        return StartResult::Failed;
    }
    std::error_code ec;
    std::filesystem::create_directories(*home, ec);
    if (ec) {
        m_ui.show("The home folder " + home->string() + " cannot be made: " + ec.message());
        return StartResult::Failed;
    }
    m_state.paths.homeDir = *home;
    m_state.paths.dataDir = resolveDataDir(m_options.exePath);

    // Every file is read before the engine and the windows exist.
    if (!LoadStartupFiles(m_state, m_ui, std::time(nullptr)))
        return StartResult::Failed;

    m_pump = std::make_unique<MessagePump>();
    tessivor::Clock& clock = tessivor::activeClock();
    m_log = std::make_unique<EventLog>(m_state, clock);
    EngineServices sv;
    sv.clock = &clock;
    sv.timers = &m_timers;
    sv.ui = &m_ui;
    sv.windows = &m_windows;
    sv.messages = &m_ui;
    sv.log = m_log.get();
    std::string error;
    try {
        m_engine = std::make_unique<Engine>(
            m_state, std::move(sv),
            [&](int n, CameraEvents& events) -> std::unique_ptr<CameraControl> {
                return DispatchCamera::create(kControlProgId, n, &events, &error);
            },
            [&clock](int n, ViewerEvents& events) -> std::unique_ptr<CameraViewer> {
                return std::make_unique<KestraViewer>(n, &events, clock);
            });
    } catch (const std::exception& e) {
        m_ui.show(std::string("The camera control cannot be made (") + e.what() + "): " + error);
        return StartResult::Failed;
    }
    m_windows.setShutdown([this] { shutdown(); });
    // From here on there is something to close; before, a signal's default loses nothing.
    watchEndSignals();

    // The camera windows exist before the engine loads, so that it binds the cameras to their
    // pictures.
    ViewServices vs;
    vs.state = &m_state;
    vs.engine = m_engine.get();
    vs.log = m_log.get();
    vs.messages = &m_ui;
    vs.ui = &m_ui;
    // "WakeUp" of a camera window: the panel comes back as a loaded window (its open flag and
    // its activation), not only on screen.
    auto wakeUp = [this] { m_windows.showController(); };
    vs.wakeUp = wakeUp;
    vs.lastWindowClosed = [this] { m_windows.mainWindowClosed(); };
    m_views = std::make_unique<ViewWindows>(std::move(vs));
    m_windows.setViewHost(m_views.get());
    CombinedServices cs;
    cs.state = &m_state;
    cs.engine = m_engine.get();
    cs.currentCameraLeaving = [this](int from, int) {
        if (!m_panel || !m_state.WindowOpen[0])
            return;
        m_panel->tmrBtnHold().setEnabled(false);
        m_state.ExtInfoOn[static_cast<std::size_t>(from - 1)] = false;
    };
    cs.currentCameraChanged = [this] {
        if (!m_panel || !m_state.WindowOpen[0])
            return;
        m_panel->RefreshPTPanel();
        m_panel->RefreshPanelText();
        m_panel->RefrushCamCfgBtn();
    };
    cs.lastWindowClosed = [this] { m_windows.mainWindowClosed(); };
    // The combined and scan windows open beside the panel, not over it.
    auto panelFrame = [this] { return m_panel && m_panel->isVisible() ? m_panel->frameGeometry() : QRect(); };
    cs.panelFrame = panelFrame;
    cs.messages = &m_ui;
    cs.wakeUp = wakeUp;
    cs.log = m_log.get();
    m_combined = std::make_unique<CombinedWindows>(std::move(cs));
    m_windows.setCombinedHost(m_combined.get());
    ScanServices ss;
    ss.state = &m_state;
    ss.engine = m_engine.get();
    ss.lastWindowClosed = [this] { m_windows.mainWindowClosed(); };
    ss.wakeUp = wakeUp;
    ss.panelFrame = panelFrame;
    m_scan = std::make_unique<ScanWindows>(std::move(ss));
    m_windows.setScanHost(m_scan.get());
    m_log->setViews(&m_windows);
    m_engine->Load();
    m_ui.setApplicationTitle(QString::fromStdString(m_state.texts.AppTitle));

    PanelServices ps;
    ps.engine = m_engine.get();
    ps.windows = &m_windows;
    ps.dialogs = &m_dialogs;
    ps.timers = &m_timers;
    ps.clock = &clock;
    ps.ui = &m_ui;
    ps.opener = &m_opener;
    ps.openMessages = &m_dialogs;
    ps.starter = &m_starter;
    m_panel = std::make_unique<ControlPanel>(m_state, ps);
    m_dialogs.setOwner(m_panel.get());
    m_settingsHost = std::make_unique<ProgramSettingsHost>(*this);
    m_settings = std::make_unique<SettingsContext>(m_state, *m_engine);
    m_settings->host = m_settingsHost.get();
    m_settings->opener = &m_opener;
    m_settings->starter = &m_starter;
    m_dialogs.setSettings(m_settings.get());
    m_windows.setPanel(m_panel.get());
    m_windows.showController();

    if (m_options.closeAfterSeconds > 0)
        QTimer::singleShot(m_options.closeAfterSeconds * 1000, qApp, [] { QApplication::closeAllWindows(); });
    return StartResult::Running;
}

void Program::shutdown()
{
    if (m_engine)
        m_engine->Unload();
    m_ui.endProgram();
}

int Program::exec()
{
    m_inEventLoop = true;
    const int code = QApplication::exec();
    m_inEventLoop = false;
    return code;
}

QString Program::lockPath() const
{
    return m_instance ? m_instance->lockPath() : m_options.lockPath;
}

qint64 Program::lockHolder() const
{
    return m_instance ? m_instance->holder() : 0;
}

void Program::watchEndSignals()
{
    m_endSignals = std::make_unique<tessivor::EndSignals>();
    if (!m_endSignals->install()) {
        std::fprintf(stderr, "pellucor: the end signals cannot be caught; SIGTERM ends the program without "
                             "saving\n");
        m_endSignals.reset();
        return;
    }
    m_endNotifier = std::make_unique<QSocketNotifier>(m_endSignals->fd(), QSocketNotifier::Read);
    QObject::connect(m_endNotifier.get(), &QSocketNotifier::activated, m_endNotifier.get(),
                     [this] { closeOnSignal(m_endSignals->take()); });
}

void Program::closeOnSignal(int signal)
{
    if (signal == 0 || m_endSignal != 0)
        return;
    m_endSignal = signal;
    // Straight in the program's event loop, or inside a dialog's or a message box's loop, or a
    // wait that lets events run, whose callers are still on the stack below this one.
    const int ownLoops = m_inEventLoop ? 1 : 0;
    const bool nested = QThread::currentThread()->loopLevel() > ownLoops || m_ui.eventsRunning();

    // As the user ends the program: every main window closes, and the last one runs the shutdown.
    for (int n = 1; n <= kCameraCount; ++n)
        if (m_state.WindowOpen[static_cast<std::size_t>(n)])
            m_windows.unloadView(n);
    if (m_state.WindowOpen[5])
        m_windows.unloadCombined();
    if (m_state.WindowOpen[6])
        m_windows.unloadScan();
    if (m_state.WindowOpen[0] && m_panel)
        m_panel->close();
    m_windows.mainWindowClosed(); // no window was open (still starting): the shutdown runs now

    if (!nested)
        return; // the event loop ends, and with it the program
    m_instance.reset();
    if (m_options.endInPlace)
        m_options.endInPlace(signal);
    else
        tessivor::endBySignal(signal);
}

} // namespace pellucor
