// frmController: the control panel, the program's visible main window.
//
// A skinned window (SkinForm) whose named objects are the camera buttons, the action buttons, the
// pan/tilt pad, twelve lamps (three per camera: recording, motion, connected), five text lines, the
// large camera number and a clock. Which object a button row names, and the bitmaps of its
// states, come from the language pack's button table (AppState::ButtonTable, 41 rows).
//
// The panel shows; the engine decides. Clicks check their preconditions against AppState and
// call the engine's public procedures (PutSettingToCam, CamStart, CamStop, recording, scan mode),
// the dialogs (PanelDialogs) and the other windows (WindowSet). The engine calls back
// RefreshPanelText and LedControl through the window set.
//
// Every skin event handler catches its own failures: a skin object that the pack lacks is
// skipped, and any other error shows a message box naming the handler; nothing reaches the event
// loop.
//
// User-interface thread only; the clock and the pan/tilt hold timer fire on it.
#pragma once

#include "app/core/engine_ports.h"
#include "app/skin/skin_object.h"
#include "app/windows/panel_dialogs.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tessivor {
class Clock;
}

namespace pellucor {

struct AppState;
struct CamInfo;
class Engine;
class WindowSet;
class SkinForm;
class SkinToolBar;
class DesktopOpener;
class OpenMessages;
class ProgramStarter;

struct PanelServices
{
    Engine* engine = nullptr;
    WindowSet* windows = nullptr;
    PanelDialogs* dialogs = nullptr;
    TimerFactory* timers = nullptr;
    tessivor::Clock* clock = nullptr;
    UiServices* ui = nullptr;
    // Help file and recordings are opened through these.
    DesktopOpener* opener = nullptr;
    OpenMessages* openMessages = nullptr;
    ProgramStarter* starter = nullptr;
};

// Rows of the panel's button table that the panel reaches by number.
namespace panelrow {
inline constexpr int kScan = 3;
inline constexpr int kCombine = 4;
inline constexpr int kMotionRec = 6;
inline constexpr int kScheduleRec = 7;
inline constexpr int kManualRec = 8;
inline constexpr int kAssign = 9;
inline constexpr int kConnect = 10;
inline constexpr int kErase = 11;
inline constexpr int kExtInfo = 12;
inline constexpr int kWeb = 13;
inline constexpr int kMotion = 14;
inline constexpr int kUpdate = 15;
inline constexpr int kCam1 = 16; // camera n is row n + 15
inline constexpr int kLed1 = 20; // lamp n is row n + 19
inline constexpr int kCamConf = 33;
inline constexpr int kPadFirst = 34; // PT-L, PT-R, PT-U, PT-D, PT-H, PT-S
inline constexpr int kPadLast = 39;
inline constexpr int kPadGroup = 40;
} // namespace panelrow

// Button states (the BtnStr index of a row).
namespace btnstate {
inline constexpr int kDark = 0;
inline constexpr int kNormal = 1;
inline constexpr int kPressed = 2;
inline constexpr int kHover = 4;
inline constexpr int kGray = 5;
} // namespace btnstate

class ControlPanel : public QWidget
{
    Q_OBJECT

public:
    // Form_Load: builds the window from the pack (skin, size, tool set) and sets its open flag.
    ControlPanel(AppState& state, PanelServices services, QWidget* parent = nullptr);
    ~ControlPanel() override;

    // Shows the panel (normal size, in front, with the focus), sets its open flag again and runs
    // its activation: the start-up's show, a camera window's "WakeUp" and the settings dialog's
    // return all come here.
    void showPanel();
    void Form_Activate();

    SkinForm& skin() { return *m_skin; }
    SkinToolBar& toolBar() { return *m_tbr; }

    // ---- text lines, lamps and button states ----
    void ShowLineText(int index, const std::string& text);
    std::string BuildLineText(int camera, int kind) const;
    void RefreshPanelText();
    void LedControl(int lamp, bool on);
    void RefreshAllLeds();
    void RefrushCamCfgBtn();
    void ChkBtnStatus(const QString& name);
    void ShowBtnBitmap(int row, int state);
    bool SetSkinButtonState(const QString& name, bool show);
    void RefreshPTPanel();

    // ---- skin events ----
    void SkinForm1_MouseIn(SkinObject* obj);
    void SkinForm1_MouseOut(SkinObject* obj);
    void SkinForm1_MouseDown(SkinObject* obj, int button);
    void SkinForm1_MouseUp(SkinObject* obj, int button);
    void SkinForm1_ObjectClick(SkinObject* obj);
    void tbr_ToolClick(const QString& id);

    // ---- actions that other windows and dialogs call ----
    void Erase_Fun();
    void Combine_Fun();
    // The search dialog's probe of the current camera ended (the panel's own control).
    struct ProbeReport
    {
        std::int32_t result = 0; // -1 found
        std::int32_t RemotePort = 0;
        bool LocalCamera = true;
        std::int32_t FoundProtocol = kProtocolNative;
        std::string FoundMACAddress, FoundServerModel, FoundDeviceName, FoundFWVersion, FoundHWVersion,
            FoundROMVersion;
    };
    void ImageServer1_EndProbeDevice(const ProbeReport& report);

    // The pan/tilt hold timer and the clock (for tests: their state).
    Timer& tmrBtnHold() { return *m_tmrBtnHold; }
    std::int16_t padCommand() const { return m_padCommand; }
    bool connectHover() const { return m_connectHover; }
    // The clock's tick.
    void Timer1_Timer();

    // Longest wait of Assign_Fun for the old camera to stop, in 100 ms steps.
    static constexpr int kAssignStopPolls = 50;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The object of that name, or nullptr when the skin lacks it.
    SkinObject* object(const QString& name);
    SkinObject* rowObject(int row);
    const std::string& btnStr(int row, int state) const;
    QString rowName(int row) const;
    void showAgain(int row);
    void putHint(int row);
    // Runs a handler's body; a failure shows `failureText` and ends the handler.
    template <typename Body> void guarded(const char* failureText, Body&& body);

    bool assigned() const;
    bool editionS() const;
    bool editionTC() const;
    bool editionEng() const;

    int rowOf(const QString& name) const;
    bool feedbackCondition(int row, int event) const;
    void feedback(SkinObject* obj, int event, int button);
    // The view windows whose OnTopFlags are set, top-most again (slots 1 to 4 in order).
    void pinViewsAgain();

    // Dispatcher pieces.
    // What a click on a named object does; a handler returns False when it has ended the click
    // itself (the common tail is skipped). Blocked objects do nothing while scan mode runs.
    struct ClickRow
    {
        const char* name;
        bool blockedInScan;
        bool (ControlPanel::*handler)(SkinObject& obj);
    };
    static const ClickRow kClickRows[];
    bool clickCam(SkinObject& obj);
    bool clickSysConf(SkinObject& obj);
    bool clickManualRec(SkinObject& obj);
    bool clickAssign(SkinObject& obj);
    bool clickMotion(SkinObject& obj);
    bool clickCombine(SkinObject& obj);
    bool clickPlay(SkinObject& obj);
    bool clickAbout(SkinObject& obj);
    bool clickConnect(SkinObject& obj);
    bool clickWeb(SkinObject& obj);
    bool clickScan(SkinObject& obj);
    bool clickMin(SkinObject& obj);
    bool clickErase(SkinObject& obj);
    bool clickCamConf(SkinObject& obj);
    bool clickExtInfo(SkinObject& obj);
    bool clickScheduleRec(SkinObject& obj);
    bool clickMotionRec(SkinObject& obj);
    bool clickUpdate(SkinObject& obj);
    void extInfoOff();
    void leaveModes();
    void tail();
    void SelectCam(int n);
    void ShowClient(int n);
    void configurationGate();

    // Actions.
    void Assign_Fun();
    void AssignCamFromBrowse(int n, const BrowseResult& chosen);
    void Connect_Fun(int n);
    void CamConf_Fun();
    void Update_Fun();
    void Web_Fun();
    void Motion_Fun();
    void StopAllRecording();
    bool ManualRec_Fun();
    bool ScheduleRec_Fun();
    bool MotionRec_Fun();
    bool HasCheckedSchedule(int n) const;
    void stopIfRecording(int n);
    // Motion recording off, and its recording (if one runs) ended.
    void stopMotionRecording(int n);
    // Runs one recording switch on the current camera: nothing (result True) while scan mode
    // runs or the slot is empty; the windows' record buttons follow afterwards.
    bool recordSwitch(const std::function<bool(int, CamInfo&)>& body);
    void Play_Fun();
    void Scan_Fun();

    // Pan/tilt.
    void padPress(int row);
    void padRelease(SkinObject* obj, int row);
    bool PTButtonDown(int n);
    void SendPTCommand(int n, std::int16_t code);
    void tmrBtnHold_Timer();

    std::string panelMessage(int k) const;

    AppState& m_state;
    PanelServices m_sv;
    SkinForm* m_skin = nullptr;
    SkinToolBar* m_tbr = nullptr;
    std::unique_ptr<Timer> m_timer1;
    std::unique_ptr<Timer> m_tmrBtnHold;
    bool m_firstActivate = true;
    bool m_connectHover = false;
    std::int16_t m_padCommand = 0;
};

template <typename Body> void ControlPanel::guarded(const char* failureText, Body&& body)
{
    try {
        body();
    } catch (const SkinError&) {
        // A pack without this object: the step is skipped.
    } catch (...) {
        if (m_sv.dialogs)
            m_sv.dialogs->messageBox(failureText, kStyleOk);
    }
}

} // namespace pellucor
