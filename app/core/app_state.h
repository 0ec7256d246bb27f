// The program's lasting state: four camera records with their schedule entries, the system
// settings, the language pack's settings and text tables, and the run-time state that windows
// share. One AppState object is made at start-up and passed by reference to whoever needs it;
// there are no process globals. Everything here belongs to the user-interface thread.
//
// Camera slots and schedule entries are numbered from 1, as the profile's key names are; cam(n)
// and Schedule(k) take those numbers. Flags are bool here and -1/0 in the files.
#pragma once

#include "app/core/app_paths.h"
#include "app/core/camera_kinds.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

namespace pellucor {

constexpr int kCameraCount = 4;
constexpr int kScheduleCount = 5;
constexpr int kStorageCount = 16;
// The native protocol's port: a camera's port until another is known.
constexpr std::int32_t kNativeCameraPort = 8481;

struct ScheduleInfo
{
    bool CHECK = false;
    std::int32_t MODE = 1; // 0 week mode, 1 date mode
    std::string TimeStart;
    std::string TimeStop;
    std::int32_t WeekOption = 0; // bit 0 Sunday .. bit 6 Saturday
    std::string DateStart;
    std::string DateStop;
    bool Started = false; // run-time
    bool Stopped = false; // run-time
};

struct CamInfo
{
    std::int32_t RecordType = kRecordManual; // run-time
    bool Assign = false;
    bool IsLocalCamera = true;
    bool Recording = false;       // run-time
    bool PasswordChecked = false; // run-time
    bool LoginRefused = false;    // run-time: stopped because the camera refused the credentials
    bool PT = false;
    bool Enable = false;
    std::string IPAddress;
    std::string MacAddress = "0.0.0.0.0.0";
    std::int32_t Port = kNativeCameraPort;
    std::int32_t Protocol = kProtocolNative;
    std::string UserName;
    std::string Password;
    std::string ServerModel;
    std::string ServerName;
    std::string ServerLocation;
    std::string FWVersion;
    std::string HWVersion;
    std::string ROMVersion;
    std::time_t LastMotion = 0; // run-time
    bool MotionLedOn = false;   // run-time
    std::int32_t RotateAngle = 0;
    std::int32_t RecordMode = kRecordNone;
    std::int32_t ScheduleCount = 0;
    std::int32_t ScheduleIndex = 0; // run-time
    std::array<ScheduleInfo, kScheduleCount> schedules{};
    std::string MailServer;
    std::string MailFrom;
    std::string MailTo;
    std::string MailSubject;
    std::string MailUserName;
    std::string MailPassword;
    std::int32_t MailIntervalTime = 5;
    std::int32_t Sensitivity = 5;
    std::int32_t Alarm = 0;
    std::int32_t SendEmail = 0;
    std::int32_t Trig1 = 0;
    std::int32_t Trig2 = 0;
    std::array<std::int32_t, 3> ImageConfig{64, 64, 64}; // run-time: brightness, contrast, hue
    std::time_t LastMailTime = 0;                        // run-time; 0 = never

    // Schedule entry k, 1 to 5.
    ScheduleInfo& Schedule(int k) { return schedules.at(static_cast<std::size_t>(k - 1)); }
    const ScheduleInfo& Schedule(int k) const { return schedules.at(static_cast<std::size_t>(k - 1)); }
};

struct StorageEntry
{
    std::string Path;
    bool Checked = false;
};

struct SystemSettings
{
    bool EnableProxy = false;
    std::string ProxyServerAddress;
    std::int32_t ProxyServerPort = 8080;
    bool BypassProxyServer = true;
    std::array<StorageEntry, kStorageCount> storages{};
    std::int32_t StorageCount = 1;
    std::int32_t ActiveStorage = 1;
    std::int16_t ReserveSpace = 0;
    std::int16_t SplitFileMode = 0;
    std::int16_t FileSize = 0;
    std::int16_t FileTimeLimited = 0;
    std::int32_t UseRecycleFlag = 0;
    std::int32_t RecycleMode = 0;
    std::int32_t RecycleTime = 0;
    std::int32_t RecycleSpaceValue = 0;
    std::int32_t ScanDelay = 0;
    std::int32_t PlayerMode = 0;
    std::string PlayerPath;

    // Storage entry k, 1 to 16.
    StorageEntry& Storage(int k) { return storages.at(static_cast<std::size_t>(k - 1)); }
    const StorageEntry& Storage(int k) const { return storages.at(static_cast<std::size_t>(k - 1)); }
};

// Settings of the language pack's "_1.ini".
struct UiSettings
{
    std::string FontName = "MS Sans Serif";
    float FontSize = 0; // points; 0 until the pack is read
    std::int32_t FontWeight = 0;
    std::int32_t FontCharSet = 0;
    // The panel's size in pixels as the pack gives it (0 = the skin's own size). Our windows work
    // in pixels; there is no twips conversion.
    std::int32_t UIWidth = 0;
    std::int32_t UIHeight = 0;
    std::string HelpFileName;
    std::string AboutVersion;
    std::string Version;
    std::array<std::int32_t, 5> ExtraItem{}; // ExtraItem1 .. ExtraItem5
    bool ImageIntervalOn = true;
};

// One skin-button row: the object's name and its nine texts (0-6 bitmap names of its states,
// 7 the hint, 8 a picture name).
struct ButtonRow
{
    std::string BtnName;
    std::array<std::string, 9> BtnStr{};
    bool EnableGray = false; // panel rows only
};

constexpr int kButtonRows = 41;
constexpr int kHintRows = 11;
constexpr int kEventTexts = 100;

// Texts that the engine window loads for the windows that have no text loader of their own.
struct SharedTexts
{
    std::array<std::string, 3> ColorCaption{}; // brightness, contrast, hue
    std::string CombineCaption;                // frmCombineWindow/Caption
    std::string ScanCaption;                   // frmScan/Caption
    std::string WebCaption;                    // frmWeb/Caption
    std::string strModel, strHWVER, strFWVER, strROMVER, strMACADDR, strIPADDR, strName, strOffLine,
        strOnLine, strLoginRefused;
    std::string AppTitle;
    std::array<std::string, 4> RecText{};      // 0 the view's label, 1-3 by recording kind
    std::array<std::string, 3> ViewMessage{};  // frmClient Message1, Message2, Message3
    std::array<std::string, 3> PopupText{};    // About, Help, FitWindow
    std::array<std::string, 5> PanelMessage{}; // frmController Message1..5
    std::array<std::string, 3> MainMessage{};  // frmMain Message1..3
    // Event texts 1 to 100; element 0 is unused so that EventText[k] is the pack's "Event" + k.
    std::array<std::string, kEventTexts + 1> EventText{};
};

struct AppState
{
    AppPaths paths;

    // The language selector.
    std::string Language = "english";
    std::string INIPath = "main.ini";

    std::array<CamInfo, kCameraCount> cams{};
    SystemSettings settings;

    UiSettings ui;
    std::array<ButtonRow, kButtonRows> ButtonTable{};
    std::array<ButtonRow, kHintRows> HintTable{};
    std::string MaxHint;
    std::string MaxHint2;
    SharedTexts texts;
    std::string EmptyText = "EMPTY";

    // Run-time state shared by the windows.
    std::int32_t CurCam = 1;
    std::int32_t CombineMode = 0;
    bool ScanModeOn = false;
    std::int32_t ScanCam = 1;
    bool CamConfOn = false;
    std::array<bool, 7> WindowOpen{}; // 0 panel, 1-4 view windows, 5 combined, 6 scan
    std::int16_t ProcessorLevel = 0;
    std::string PendingCookie;
    std::array<std::string, kCameraCount> CamCookie{};
    std::array<bool, kCameraCount> AutoRestarted{};
    std::array<bool, kCameraCount> AudioOn{};
    std::array<bool, kCameraCount> MailPending{};
    std::array<bool, kCameraCount> ExtInfoOn{};
    std::array<bool, 6> OnTopFlags{}; // 0-3 view windows, 4 scan, 5 combined

    // Camera n, 1 to 4.
    CamInfo& cam(int n) { return cams.at(static_cast<std::size_t>(n - 1)); }
    const CamInfo& cam(int n) const { return cams.at(static_cast<std::size_t>(n - 1)); }
};

// Gives every record and setting its start value, in the documented order. `paths` must be set
// first (storage entry 1 is the program's home). `now` becomes each camera's LastMotion.
void InitGlobals(AppState& state, std::time_t now);

} // namespace pellucor
