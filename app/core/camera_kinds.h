// Names for the small numbers that a camera record holds and that a control reports: the camera's
// protocol family, the recording switch and the kind of a running recording, and the status codes
// of a control's image event. The records and the profile keep the plain numbers; these constants
// compare and assign to them directly.
#pragma once

#include <cstdint>

namespace pellucor {

// CamInfo::Protocol and a found device's protocol: how the control fetches the camera's pictures.
enum CameraProtocol : std::int32_t
{
    kProtocolNative = 0,      // the camera's own TCP protocol
    kProtocolVideoCgi = 1,    // "/VIDEO.CGI", pushed pictures
    kProtocolMjpegCgi = 2,    // "/mjpeg.cgi", pushed pictures with pan/tilt coordinates
    kProtocolKestra = 3,      // the Kestra family: pictures come through the outside viewer
    kProtocolMultipart = 4,   // a configurable picture path asked again and again
    kProtocolNumberedCgi = 50 // "/<camera number>.cgi", pushed pictures
};

// CamInfo::RecordMode (the camera's recording switch) and CamInfo::RecordType (the kind of the
// recording that runs now; never kRecordNone).
enum RecordKind : std::int32_t
{
    kRecordNone = 0,
    kRecordManual = 1,
    kRecordSchedule = 2,
    kRecordMotion = 3
};

// The status codes of a control's image event that the engine and the search dialog answer.
enum CameraEvent : std::int32_t
{
    kEventLoopClosed = 0,        // the image loop has ended
    kEventThreadStarted = 1,     // Run created its thread
    kEventConnected = 2,         // the first answer of the camera after a (re)connect
    kEventMotion = 6,            // motion detected
    kEventRecordOpenFailed = 11, // the recording file could not be opened
    kEventRecordSplit = 12,      // the file reached its limit; a new one follows
    kEventDiskLow = 14,          // free space is below the reserve
    kEventCaptureSaved = 15,     // a snapshot was written
    kEventMailFailed = 17,       // sending the alert failed
    kEventMailSent = 19,         // the alert was sent
    kEventReconnectPause = 20,   // too many bad frames; the loop pauses
    kEventStreamTimeout = 21,    // the camera sent no picture in time
    kEventLoginRefused = 22,     // the camera refused the credentials; the loop ends
    kEventDeviceFound = 27,      // a search found a device
    kEventSmtpErrorFirst = 41,   // 41 to 57: sending failed, one code per mail client error
    kEventSmtpErrorLast = 57,
    kEventRecordTimeout = 1000 // the camera was silent so long that the open file was closed
};

} // namespace pellucor
