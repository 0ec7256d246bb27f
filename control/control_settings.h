// The control's settings, grouped by concern.
//
// Threads: the host's thread writes every group through the put members (under the group's
// lock, control/guarded.h). Workers never write a setting; each reads a copy of the group it
// needs at the start of its round:
//   ConnectionSettings  image thread (each connection round), audio thread (each pass), the
//                       image-settings thread, the e-mail thread, and the host's thread for the
//                       CGI members and the synchronous configuration reads
//   DrawingSettings     image thread (each frame) and the host's thread (idle drawing)
//   RecordingSettings   image thread (each frame of a recording)
//   MotionSettings      image thread (each frame)
//   MailSettings        e-mail thread (each job), image thread (the alert picture)
//   StreamSettings      image thread and audio thread (each pass)
//   KestraSettings      the host's thread (the Kestra members)
// A put therefore takes effect from the next round, never in the middle of one.
#pragma once

#include "control/iimage.h"
#include "control/image_events.h"
#include "platform/fixed_text.h"

#include <array>
#include <cstdint>

namespace tessivor {

using Text260 = FixedText<260>;
using Text100 = FixedText<100>;
using Text64 = FixedText<64>;

struct MotionRect
{
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

inline constexpr int kMotionRectCount = 16;

// Where the camera is and how to reach it.
struct ConnectionSettings
{
    Text260 m_szRemoteHost{"192.168.0.20"};
    std::int32_t m_nRemotePort = 8481;
    std::int32_t m_nRemoteWebPort = 80;
    std::int32_t m_bEnableProxy = 0;
    std::int32_t m_bBypassProxy = 1;
    std::int32_t m_bLocalCamera = 1;
    Text260 m_szProxyHost{"192.168.0.20"};
    std::int32_t m_nProxyPort = 8080;
    std::int32_t m_nTimeOut = 3;     // seconds
    std::int32_t m_nConnTimeOut = 3; // seconds
    std::int32_t m_nMailReceiveTimeOut = 300;
    Text260 m_szMACAddress;
    std::array<std::uint8_t, 6> m_TargetMac{};
    std::array<std::uint8_t, 4> m_TargetIp{};
    std::int32_t m_nProtocol = PROTOCOL_VIDEO_CGI;
    std::int32_t m_nDisplayDelay = 65; // ms
    std::int32_t m_nConnectCameraNoForServer = 1;

    // True when requests go through the proxy: EnableProxy holds exactly 1 (a host that stores
    // the automation "true", -1, connects directly) and the camera is not a local one with
    // BypassProxyServer set.
    bool proxyInUse() const { return m_bEnableProxy == 1 && !(m_bLocalCamera != 0 && m_bBypassProxy != 0); }
};

// Where and how the picture is drawn, and the texts and values the host stores for its own use.
struct DrawingSettings
{
    std::int32_t m_PreviewhWnd = 0;
    std::int32_t m_PreviewDC = 0;
    std::int32_t m_nPreviewTop = 0;
    std::int32_t m_nPreviewLeft = 0;
    std::int32_t m_nPreviewTargetTop = 0;
    std::int32_t m_nPreviewTargetLeft = 0;
    std::int32_t m_nPreviewWidth = 320;
    std::int32_t m_nPreviewHeight = 240;
    std::int32_t m_nRotateAngle = 0;
    std::int32_t m_bMirror = 0;
    std::int32_t m_bOtherDC = 0;
    std::int32_t m_bDrawImage = 1;
    std::uint32_t m_BackColor = 0x80000005; // system window colour
    Text100 m_szBKText;

    // Stored and read back only.
    std::int32_t m_nFrameRate = 30;
    std::int32_t m_nDateWidth = 150;
    std::int32_t m_nDateHeight = 20;
    std::int32_t m_nImageInterval = 0;
    std::int32_t m_nRecordTextMode = NO_TEXT;
    Text100 m_szRecordText;
    std::int32_t m_bRecordTextTransparent = 0;
    std::int32_t m_bShowCaption = 0;
    Text100 m_szCaption;
    std::int32_t m_bCaptionTransparent = 0;
};

struct RecordingSettings
{
    Text260 m_szNormalFilePath{"c:\\"};
    Text260 m_szMotionFilePath{"c:\\"};
    std::int32_t m_nSplitFileSpace = 30; // MB
    std::int32_t m_nSplitFileMode = FILE_SIZE;
    std::int32_t m_nReservedSpace = 100; // MB
    std::int32_t m_nSplitFileTime = 20;  // minutes
};

struct MotionSettings
{
    std::int32_t m_nMotionDetectMode = 0;
    std::int32_t m_nMotionSensitivity = 5;
    std::int32_t m_nMotionBlockCount = 0; // 0..kMotionRectCount
    std::array<MotionRect, kMotionRectCount> m_MotionRects{};
};

struct MailSettings
{
    Text260 m_szMailServer;
    Text260 m_szMailTo;
    Text260 m_szMailFrom;
    Text260 m_szMailSubject;
    Text260 m_szSendMailID;
    Text260 m_szSendMailPWD;
    Text260 m_szEMailFileName{"c:\\1.jpg"};
    std::int32_t m_nMailIntervalTime = 0; // seconds
};

// The repeated-request and sound streams of Protocol 4 cameras.
struct StreamSettings
{
    Text64 m_szMultipartVideoPath{"/goform/video2"};
    Text64 m_szMultipartAudioPath{"/goform/audio2"};
    std::int32_t m_nMultipartPause = 4000; // ms
};

// The Kestra family's ports and texts: the host puts the ports, GetKestraPort and GetKestraHName
// (on the host's thread) fill them from the camera.
struct KestraSettings
{
    static constexpr std::int32_t kDefaultControlPort = 5000;
    static constexpr std::int32_t kDefaultStreamPort = 5001;
    static constexpr std::int32_t kDefaultCommandPort = 5100;
    static constexpr const char* kDefaultFwVersion = "1.57.0926.2005(default)";

    std::int32_t m_nKestraCPort = kDefaultControlPort;
    std::int32_t m_nKestraSPort = kDefaultStreamPort;
    std::int32_t m_nKestraIPort = kDefaultCommandPort; // the command port
    FixedText<128> m_szKestraHName;
    FixedText<128> m_szKestraFwVersion{kDefaultFwVersion};
};

} // namespace tessivor
