// The status codes that GetImageEvent carries, the window messages of the control window, and the
// small numbers the stream readers hand back to the image loop.
#pragma once

#include "platform/control_window.h"

#include <cstdint>

namespace tessivor {

// GetImageEvent codes.
enum ImageEventCode : std::int32_t
{
    EVT_LOOP_CLOSED = 0,         // the image loop has ended; posted just before Status becomes 0
    EVT_THREAD_STARTED = 1,      // Run / RunAudio created their thread (fired)
    EVT_CONNECTED = 2,           // first answer of the camera after a (re)connect
    EVT_THREAD_FAILED = 4,       // Run / RunAudio could not create their thread (fired)
    EVT_ALREADY_RUNNING = 5,     // Run / RunAudio while running; nothing started (fired)
    EVT_MOTION = 6,              // motion detected; also posted by the e-mail job at its start
    EVT_RECORD_STARTED = 8,      // a recording file was opened for the first time after StartRecording
    EVT_RECORD_STOPPED = 9,      // the recording stopped and its file is closed
    EVT_RECORD_OPEN_FAILED = 11, // the AVI file could not be opened
    EVT_RECORD_SPLIT = 12,       // the file reached its size or time limit; a new one follows
    EVT_RECORD_CLOSED = 13,      // the image loop closed an open file (always followed by 9)
    EVT_DISK_LOW = 14,           // free disk space is below ReservedSpace
    EVT_CAPTURE_SAVED = 15,      // the picture asked for by Capture or Snapshot was written
    EVT_MAIL_STARTED = 16,       // the e-mail thread was created
    EVT_MAIL_FAILED = 17,        // sending failed with an error outside the mapped list
    EVT_MAIL_THREAD_FAILED = 18, // the e-mail thread could not be created
    EVT_MAIL_SENT = 19,          // the e-mail was sent
    EVT_RECONNECT_PAUSE = 20,    // more than 100 passes failed with a bad frame length; pause 3 s
    EVT_STREAM_TIMEOUT = 21,     // the camera sent no picture in time
    EVT_LOGIN_REFUSED = 22,      // the camera refused the credentials; the loop ends
    EVT_FRAME_LENGTH = 26,       // a native frame length arrived
    EVT_DEVICE_FOUND = 27,       // a search found a device; lParam = number found so far
    EVT_IMAGE_SIZE_CHANGED = 28, // the decoded picture size changed
    EVT_PT_CHANGED = 29,         // new pan/tilt coordinates
    EVT_SMTP_ERROR_FIRST = 41,   // 41-57: sending failed, one code per SMTP client error
    EVT_SMTP_ERROR_LAST = 57,
    EVT_RECORD_TIMEOUT = 1000, // the camera was silent long enough that the open file was closed
};

// Messages to the control window.
inline constexpr std::uint32_t WM_IMAGEEVENT = WM_USER;            // wParam: ImageEventCode
inline constexpr std::uint32_t WM_STARTMAIL = WM_USER + 1;         // start the e-mail thread
inline constexpr std::uint32_t WM_ENDPROBEDEVICE = WM_USER + 2;    // wParam: probe result
inline constexpr std::uint32_t WM_ENDSEARCHDEVICE = WM_USER + 3;   // wParam: search result
inline constexpr std::uint32_t WM_ENDLOGINCAMERA = WM_USER + 4;    // wParam 0, lParam: login result
inline constexpr std::uint32_t WM_ENDGETIMAGECONFIG = WM_USER + 5; // wParam: read result
inline constexpr std::uint32_t WM_ENDPTCMD = WM_USER + 7;          // wParam: command result

// What a stream reader returns to the image loop.
enum StreamResult : int
{
    STREAM_STOP_AFTER_FRAMES = -1,
    STREAM_FAILED_ROUND = 0,
    STREAM_STOP_SEEN = 1,
    STREAM_BAD_FRAME_LENGTH = 2,
    STREAM_STATUS_400 = 3,
    STREAM_STATUS_403 = 4,
    STREAM_LOGIN_REFUSED = 5,
    STREAM_CAMERA_SILENT = 6,
};

// Camera protocol numbers (Protocol, FoundProtocol).
enum ProtocolKind : std::int32_t
{
    PROTOCOL_NATIVE = 0,
    PROTOCOL_VIDEO_CGI = 1,
    PROTOCOL_MJPEG_CGI = 2,
    PROTOCOL_KESTRA = 3,
    PROTOCOL_MULTIPART = 4,
    PROTOCOL_NUMBERED_CGI = 50,
};

} // namespace tessivor
