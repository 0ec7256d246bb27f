// The picture viewer of the Kestra camera family (Protocol 3), as the engine and the windows use
// it: settings, showing, motion, snapshots, alert pictures and recording, and three events.
//
// Our viewer (app/viewer) implements it; tests use a recording fake. User-interface thread only.
#pragma once

#include <cstdint>
#include <string>

namespace pellucor {

class CameraViewer
{
public:
    // Bit value of state() while the viewer is showing.
    static constexpr std::int32_t kStateShowing = 2;

    virtual ~CameraViewer() = default;

    // Connection settings.
    virtual void setUserName(const std::string& name) = 0;
    virtual void setPassword(const std::string& password) = 0;
    // The name the viewer logs in with (the user name as the camera's login expects it).
    virtual std::string loginName() = 0;
    virtual void setControlPort(const std::string& port) = 0;
    virtual void setStreamPort(const std::string& port) = 0;
    virtual void setFirmwareVersion(const std::string& version) = 0;
    virtual void setCameraAddress(const std::string& address) = 0;
    virtual void setCookie(const std::string& cookie) = 0;

    // Drawing: the target handle pictures are drawn into, and the size they are drawn at.
    virtual void setDrawingWindow(std::int32_t handle) = 0;
    virtual void attachWindow(std::int32_t handle, std::int16_t width, std::int16_t height) = 0;
    // Prepares the image-size reads (a command text and a number; the zoom passes "SIZE", 12).
    virtual void prepare(const std::string& command, std::int32_t value) = 0;
    virtual std::int32_t imageWidth() = 0;
    virtual std::int32_t imageHeight() = 0;

    // Showing and sound.
    virtual std::int32_t state() = 0;
    virtual void startShowing() = 0;
    virtual void stopShowing() = 0;
    virtual void audioOn() = 0;
    virtual void audioOff() = 0;

    // Motion and alerts: the mode has the bits of the control's MotionDetectMode.
    virtual void setMotionMode(std::int32_t mode) = 0;
    virtual std::int32_t motionMode() = 0;
    virtual void setMotionSensitivity(std::int32_t sensitivity) = 0;
    virtual void setMailPictureFile(const std::string& file) = 0;
    // Setting it writes the current picture to the mail picture file before the call returns.
    virtual void setAlertPicture(bool on) = 0;

    // Recording: the split size in MB, the folder files go to, start and stop.
    virtual void setSplitSize(std::int16_t megabytes) = 0;
    virtual void setRecordFolder(const std::string& folder) = 0;
    virtual void startRecording() = 0;
    virtual void stopRecording() = 0;

    // The current picture as a BMP file; false when there is none or the file cannot be written.
    virtual bool snapshotToFile(const std::string& file) = 0;
};

// What the engine answers of a viewer's events; `slot` is the camera number 1 to 4.
class ViewerEvents
{
public:
    virtual ~ViewerEvents() = default;
    // A recording file reached its split size and was closed.
    virtual void onViewerRecordStop(int slot) = 0;
    virtual void onViewerMotion(int slot) = 0;
    virtual void onViewerMailAlarm(int slot) = 0;
};

} // namespace pellucor
