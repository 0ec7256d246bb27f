// The camera engine: the program's never-shown heart. It owns the four camera controls and the
// four Kestra viewers, puts each camera's settings into them, starts and stops the cameras,
// answers their events, records by hand, by schedule and on motion, checks and recycles the
// recording storage, runs scan mode and keeps the event lists.
//
// It reaches everything outside itself through small interfaces (engine_ports.h, camera_port.h,
// viewer_port.h) and every fixed wait goes through the clock, so that it runs headless in
// simulated time. User-interface thread only: control and viewer events, timers and calls from
// the windows arrive one at a time.
//
// Public procedures catch their own errors and report them in a message box ("Error CamStart
// function"), then return with the state as far as it got. Event handlers end the one event
// quietly.
#pragma once

#include "app/core/app_state.h"
#include "app/core/camera_port.h"
#include "app/core/engine_ports.h"
#include "app/core/viewer_port.h"

#include <array>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tessivor {
class Clock;
}

namespace pellucor {

class EventLog;

struct EngineServices
{
    tessivor::Clock* clock = nullptr;
    TimerFactory* timers = nullptr;
    UiServices* ui = nullptr;
    EngineWindows* windows = nullptr;
    MessageBoxes* messages = nullptr;
    EventLog* log = nullptr;
    // Bytes free on the file system of a storage folder; the disk query when not set.
    std::function<double(const std::filesystem::path&)> freeSpace;
    // Writes the selector and the profile; SaveSetting on the state when not set.
    std::function<bool()> saveSetting;
    // The processor family level that sets the image interval; read from the system when not set.
    std::function<std::int16_t()> processorLevel;
};

// A camera's e-mail alert settings as the e-mail dialog returns them.
struct MailSettings
{
    std::string MailServer;
    std::string MailFrom;
    std::string MailTo;
    std::string MailSubject;
    std::string MailUserName;
    std::string MailPassword;
    std::int32_t MailIntervalTime = 5;
};

// A camera's motion alert switches as the motion dialog returns them.
struct MotionSettings
{
    std::int32_t Sensitivity = 5;
    std::int32_t Alarm = 0;
    std::int32_t SendEmail = 0;
};

// One entry of a camera's schedule as the schedule dialog returns it: the entry and its number in
// the record before the edit (0 for a new entry), whose run-time flags it keeps.
struct ScheduleEdit
{
    ScheduleInfo entry;
    int was = 0;
};

// What a probe learns of a camera, for its record.
struct ProbedCamera
{
    std::string FWVersion;
    std::int32_t Protocol = kProtocolNative;
    std::int32_t Port = 0;
    bool IsLocalCamera = false;
    std::string MacAddress;
    std::string ServerModel;
    std::string ServerName;
    std::string HWVersion;
    std::string ROMVersion;
};

// Probes the camera that `cam` is set to, inside the call (it asks over the network: run it on a
// worker); nothing when the camera does not answer. Touches only the control.
std::optional<ProbedCamera> probeCamera(CameraControl& cam);

// The motion mode that a record's switches give: 1 beep, 4 e-mail, 8 motion recording, their sum.
std::int32_t motionModeOf(std::int32_t alarm, std::int32_t sendEmail, std::int32_t recordMode);

class Engine : public CameraEvents, public ViewerEvents
{
public:
    // Waits of the procedures, in milliseconds.
    static constexpr std::uint32_t kStopAttemptWaitMs = 500;
    static constexpr int kStopAttempts = 5;
    static constexpr std::uint32_t kRestartPollMs = 200;
    // RestartCam gives up waiting after this many polls, as CamStart does after its attempts.
    static constexpr int kRestartPolls = 13;
    static constexpr std::uint32_t kRecordStartWaitMs = 200;
    static constexpr std::uint32_t kRecycleWaitMs = 100;
    static constexpr std::int32_t kMotionHoldMs = 10000;
    // A schedule start may be this late (the program was busy, or started just after the time).
    static constexpr std::int32_t kScheduleLateSeconds = 300;

    // Makes slot n's control or viewer, reporting its events to `events` (the engine itself).
    using ControlFactory = std::function<std::unique_ptr<CameraControl>(int slot, CameraEvents& events)>;
    using ViewerFactory = std::function<std::unique_ptr<CameraViewer>(int slot, ViewerEvents& events)>;

    Engine(AppState& state, EngineServices services,
           std::array<std::unique_ptr<CameraControl>, kCameraCount> cams,
           std::array<std::unique_ptr<CameraViewer>, kCameraCount> viewers);
    // Throws std::runtime_error when a factory makes nothing.
    Engine(AppState& state, EngineServices services, const ControlFactory& makeControl,
           const ViewerFactory& makeViewer);
    ~Engine() override;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The window's load: defaults into the controls, then every assigned camera is configured and
    // every enabled one shown and started.
    void Load();
    // The window's unload: profile saved, recordings and cameras stopped, Kestra sessions ended,
    // logs written, then a bounded wait for each control to stop.
    void Unload();

    void InitialCamSetting();
    void PutSettingToCam(int n);
    void ApplyImageInterval();

    // Edits that the settings dialogs return. Each stores the edits in the records, then hands
    // them to the controls (and viewers); a control that refuses leaves the records stored and
    // the rest unsent, and the reason comes back (empty when all went in).
    std::string applyMailSettings(int n, const MailSettings& mail);
    std::string applyMotionSettings(int n, const MotionSettings& motion);
    std::string applySystemSettings(const SystemSettings& settings);
    // Camera n's schedule becomes `entries`, in their order (at most kScheduleCount are kept). A
    // recording by schedule is stopped first; the entry that started it keeps its place as
    // ScheduleIndex (0 when it is gone). New entries start with clear run-time flags.
    void applyScheduleEntries(int n, const std::vector<ScheduleEdit>& entries);
    // Stores what a probe learned in camera n's record and puts the record into its control
    // again; then starts the camera when `start`.
    void applyProbedCamera(int n, const ProbedCamera& found, bool start);
    // The profile file that saving writes from now on.
    void setProfilePath(const std::string& path);
    // Reads the profile `path` into the state (which then names it); false with a reason in
    // `error` when it could not be read.
    bool loadProfile(const std::string& path, std::string* error);

    // The run-time selections that windows and dialogs change: the current camera (1 to 4), the
    // combined mode (0 off, 1 on) and whether scan mode is on (the scan procedures run apart).
    void setCurrentCamera(int n);
    void setCombineMode(std::int32_t mode);
    void setScanModeOn(bool on);
    // Camera n was started or assigned by the user: a later stop is not taken for one that
    // RestartCam made.
    void clearAutoRestarted(int n);
    // The session cookie of a Kestra camera's login that a setup dialog made: the next Kestra
    // camera put into its control takes the session over instead of logging in again.
    void setPendingCookie(std::string cookie);

    void CamStart(int n);
    void CamStop(int n);
    void RestartCam(int n);

    bool StartRecord(int n, int kind);
    void StopRecord(int n);
    void Start_MotionStart(int n);
    void Stop_MotionStart(int n);

    bool CheckStorage(int n);

    void ScanMode();
    void ScanModeToNormalMode();
    void ScanModeToCombineMode();

    // View windows of open slots refresh their status lines.
    void RefreshStatus();

    // Control and viewer events.
    void onImageEvent(int slot, std::int32_t code) override;
    void onEndGetImageConfig(int slot, std::int32_t endStatus, const std::int16_t values[7]) override;
    void onViewerRecordStop(int slot) override;
    void onViewerMotion(int slot) override;
    void onViewerMailAlarm(int slot) override;

    // A camera window that waits for the end of an image-settings read it started in the
    // control's worker mode (GetImageConfig mode 1) hears of it here, after the engine has taken
    // the values: slot, the read's result (-1 read) and the seven settings. The key is for
    // forgetImageConfigWaiter; a waiter may forget itself (or another) while it is called.
    using ImageConfigWaiter = std::function<void(int slot, std::int32_t status, const ImageSettings& values)>;
    int addImageConfigWaiter(ImageConfigWaiter waiter);
    void forgetImageConfigWaiter(int key);

    // Timer ticks (the timers call these; public so that the windows' layer can share them).
    void tmrMotionLed_Timer();
    void tmrMotion_Timer(int n);
    void tmrSchedule_Timer();
    void tmrScan_Timer();

    CameraControl& Cam(int n) { return *m_cams.at(static_cast<std::size_t>(n - 1)); }
    CameraViewer& CamViewer1(int n) { return *m_viewers.at(static_cast<std::size_t>(n - 1)); }
    Timer& tmrMotion(int n) { return *m_tmrMotion.at(static_cast<std::size_t>(n - 1)); }
    Timer& tmrScan() { return *m_tmrScan; }
    Timer& tmrSchedule() { return *m_tmrSchedule; }
    Timer& tmrMotionLed() { return *m_tmrMotionLed; }

    // The hidden picture that parks controls in scan mode.
    std::int32_t hiddenPicture() const { return m_hiddenPicture; }

    // The camera's alert picture, which its mail job sends: one file per slot in the home.
    std::filesystem::path alertPictureFile(int n) const;
    // A new session cookie (at most 16 decimal digits).
    std::string newCookie();

private:
    void makeTimers();
    void logText(int n, int k);
    void refresh();
    void bindTarget(int n, const DrawTarget& target);
    void motionProcedure(int n);
    // After a closed file: the next one in the checked folder, or the recording ends.
    void storageRestart(int n, bool viewer);
    // The common end of CamStart and CamStop: lamp, event line, Enable, refreshes.
    void finishSwitch(int n, bool started);
    // Connection settings and the proxy into the control.
    void putConnection(int n, bool withRotation);
    // The motion lamp and the motion text of the window that shows camera n.
    void showMotion(int n, bool on);
    // The image interval and the status texts after a recording started or stopped.
    void afterRecordChange(int n);
    void restartMotionTimer(int n);
    void DoScanMode(int n);
    void scheduleEntry(int n, int k, std::time_t now);

    bool RecycleStorage(int n);
    bool SelectStorage(int n);
    bool CheckPath(const std::filesystem::path& path, const std::string& name, std::filesystem::path& out);
    void tellRecordFolder(int n, const std::filesystem::path& folder);
    double freeSpace(const std::filesystem::path& path);
    bool saveSetting();

    AppState& m_state;
    EngineServices m_sv;
    std::array<std::unique_ptr<CameraControl>, kCameraCount> m_cams;
    std::array<std::unique_ptr<CameraViewer>, kCameraCount> m_viewers;
    std::array<std::unique_ptr<Timer>, kCameraCount> m_tmrMotion;
    std::unique_ptr<Timer> m_tmrMotionLed;
    std::unique_ptr<Timer> m_tmrSchedule;
    std::unique_ptr<Timer> m_tmrScan;
    std::int32_t m_hiddenPicture = 0;
    // A CamStart or CamStop of the slot runs (it lets events run, which may call again).
    std::array<bool, kCameraCount> m_switching{};
    // End of the span that started each schedule entry's recording.
    std::array<std::array<std::time_t, kScheduleCount>, kCameraCount> m_spanEnd{};
    std::vector<std::pair<int, ImageConfigWaiter>> m_imageConfigWaiters;
    int m_nextWaiterKey = 0;
};

// The processor's family number (/proc/cpuinfo "cpu family"), 0 when unknown.
std::int16_t processorFamilyLevel();

// Recording folder name of camera n: "CAM" + n + "_" + its name trimmed, cleaned of the
// characters a file name cannot hold, and trimmed again.
std::string cameraFolderName(int n, const std::string& serverName);

// Startup before the engine loads: defaults, language selector, the pack's button and hint
// tables, the profile and the pack's settings. False (after a message) when the program must end.
bool LoadStartupFiles(AppState& state, MessageBoxes& messages, std::time_t now);

} // namespace pellucor
