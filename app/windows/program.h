// The program as a whole: start-up in its fixed order and the end after the last main window.
//
// start(): one instance per user session (a second start ends at once, having read nothing);
// then every file is read before anything else is made (language selector, the pack's button and
// hint tables, the profile, the pack's settings; a missing one ends the start after a message
// naming it); then the camera engine loads (the four controls are made, every assigned camera
// configured and every enabled one started); then the control panel is shown.
//
// The end: when the last of the seven main windows closes, the engine saves the profile, stops
// the recordings and the cameras, writes the logs and waits (bounded) for the controls; then the
// event loop ends. Destroying the Program frees the windows, then the engine and its controls.
//
// The system's requests to end (SIGTERM, SIGINT, SIGHUP) take the same way from the moment the
// engine exists: every main window closes as if the user closed it, and endSignal() tells the
// caller to end the process by that signal once the Program is gone. A signal that finds a
// dialog, a message box or a wait running gets the same close at once, and then the process ends
// right there (the lock released first): what the dialog or the wait would do next belongs to a
// program that has already closed. A second signal during the close ends the process at once.
//
// Make it on the user-interface thread after the QApplication. User-interface thread only.
#pragma once

#include "app/core/app_state.h"
#include "app/skin/ui_services.h"
#include "app/windows/program_dialogs.h"
#include "app/windows/window_set.h"

#include <QString>

#include <filesystem>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace tessivor {
class EndSignals;
}

namespace pellucor {

class ControlPanel;
class Engine;
class EventLog;
class MessagePump;
class SingleInstance;
class ViewWindows;
class SettingsHost;
struct SettingsContext;
class CombinedWindows;
class ScanWindows;

struct ProgramOptions
{
    std::filesystem::path home;    // --home; empty: PELLUCOR_HOME, then the XDG data folder
    std::filesystem::path exePath; // finds the data folder
    int closeAfterSeconds = 0;     // > 0: every main window closes by itself after this time
    QString lockPath;              // empty: the per-session default
    // Ends the process after a signal's close that ran inside a dialog or a wait. Empty: by the
    // signal, as its default action would. Tests record the call instead.
    std::function<void(int signal)> endInPlace;
};

class Program
{
public:
    enum class StartResult
    {
        Running,
        AlreadyRunning, // another instance holds the lock: nothing was read
        Failed,         // a message was shown; the program ends
    };

    explicit Program(ProgramOptions options);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    StartResult start();
    // Runs the event loop until the program ends; its exit code.
    int exec();
    // The signal that ended the program, 0 when none did.
    int endSignal() const { return m_endSignal; }
    // The session's lock file, and the process that holds it as the file names it (0: unknown),
    // for the message of a start that is refused.
    QString lockPath() const;
    qint64 lockHolder() const;

    AppState& state() { return m_state; }
    WindowSet& windows() { return m_windows; }
    QtUiServices& ui() { return m_ui; }
    ControlPanel* panel() { return m_panel.get(); }
    Engine* engine() { return m_engine.get(); }
    EventLog* log() { return m_log.get(); }

private:
    class ProgramSettingsHost;
    void shutdown();
    void watchEndSignals();
    void closeOnSignal(int signal);

    ProgramOptions m_options;
    AppState m_state;
    QtUiServices m_ui;
    QtTimerFactory m_timers;
    ProgramDialogs m_dialogs{m_ui};
    QtDesktopOpener m_opener;
    QtProgramStarter m_starter;
    WindowSet m_windows{m_state};
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<tessivor::EndSignals> m_endSignals;
    std::unique_ptr<QSocketNotifier> m_endNotifier;
    int m_endSignal = 0;
    bool m_inEventLoop = false;
    std::unique_ptr<MessagePump> m_pump;
    std::unique_ptr<EventLog> m_log;
    std::unique_ptr<Engine> m_engine;
    std::unique_ptr<ControlPanel> m_panel;
    std::unique_ptr<ViewWindows> m_views;
    std::unique_ptr<SettingsHost> m_settingsHost;
    std::unique_ptr<SettingsContext> m_settings;
    std::unique_ptr<CombinedWindows> m_combined;
    std::unique_ptr<ScanWindows> m_scan;
};

} // namespace pellucor
