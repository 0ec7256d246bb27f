// Our viewer for the Kestra camera family (Protocol 3).
//
// Its settings, its state, motion mode, split size, recording folder, alert picture file and
// drawing targets are real, and so is the picture path: every JPEG frame handed to feedFrame()
// is checked and decoded, drawn into the attached target at the attach size while the viewer
// shows, tested for motion with the control's rule (MotionDetected, MailAlarm), kept for BMP
// snapshots and alert pictures, and recorded into Motion-JPEG AVI files that are split by size
// (RecordStop).
//
// What it lacks is a network picture source: the family's picture protocol is not known, so no
// live pictures of these cameras are shown. feedFrame() is the one seam through which pictures
// enter; a source posts its frames to the user-interface thread and calls it there.
//
// User-interface thread only; events fire inside the call that causes them.
#pragma once

#include "app/core/viewer_port.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tessivor {
class Clock;
class CAviWriter;
} // namespace tessivor

namespace pellucor {

class KestraViewer : public CameraViewer
{
public:
    // Frames larger than this on either side are refused before decoding.
    static constexpr int kMaxSide = 4096;
    // Motion is reported at most once per this many seconds while it goes on (as the control).
    static constexpr std::time_t kMotionHoldSeconds = 5;
    // Recording frame rate of the files (frames keep their time on this grid).
    static constexpr int kRecordRate = 30;

    enum class FrameResult
    {
        Shown,      // decoded (and drawn, tested and recorded as the settings say)
        Refused,    // not a usable JPEG: nothing changed
        NotShowing, // the viewer is stopped: the frame was dropped
    };

    // `events` (may be null) receives slot `slot`'s events; `clock` times motion and recordings.
    KestraViewer(int slot, ViewerEvents* events, tessivor::Clock& clock);
    ~KestraViewer() override;
    KestraViewer(const KestraViewer&) = delete;
    KestraViewer& operator=(const KestraViewer&) = delete;

    // The picture-source seam.
    FrameResult feedFrame(const std::uint8_t* jpeg, std::size_t bytes);

    void setUserName(const std::string& name) override { m_user = name; }
    void setPassword(const std::string& password) override { m_password = password; }
    std::string loginName() override { return m_user; }
    void setControlPort(const std::string& port) override { m_controlPort = port; }
    void setStreamPort(const std::string& port) override { m_streamPort = port; }
    void setFirmwareVersion(const std::string& version) override { m_firmware = version; }
    void setCameraAddress(const std::string& address) override { m_address = address; }
    void setCookie(const std::string& cookie) override { m_cookie = cookie; }

    void setDrawingWindow(std::int32_t handle) override;
    void attachWindow(std::int32_t handle, std::int16_t width, std::int16_t height) override;
    void prepare(const std::string&, std::int32_t) override {}
    std::int32_t imageWidth() override { return m_width; }
    std::int32_t imageHeight() override { return m_height; }

    std::int32_t state() override { return m_showing ? kStateShowing : 0; }
    void startShowing() override { m_showing = true; }
    void stopShowing() override;
    void audioOn() override { m_audio = true; }
    void audioOff() override { m_audio = false; }

    void setMotionMode(std::int32_t mode) override;
    std::int32_t motionMode() override { return m_motionMode; }
    void setMotionSensitivity(std::int32_t sensitivity) override { m_sensitivity = sensitivity; }
    void setMailPictureFile(const std::string& file) override { m_mailFile = file; }
    void setAlertPicture(bool on) override;

    void setSplitSize(std::int16_t megabytes) override { m_splitMB = megabytes; }
    void setRecordFolder(const std::string& folder) override { m_folder = folder; }
    void startRecording() override;
    void stopRecording() override;

    bool snapshotToFile(const std::string& file) override;

    // Read-backs for the windows and tests.
    bool recording() const;
    std::filesystem::path recordingFile() const;
    bool audioOnFlag() const { return m_audio; }
    std::string cookie() const { return m_cookie; }
    std::string cameraAddress() const { return m_address; }

private:
    bool decode(const std::uint8_t* jpeg, std::size_t bytes);
    void draw();
    bool motionStep();
    void recordFrame(const std::uint8_t* jpeg, std::size_t bytes);
    bool openFile();

    int m_slot;
    ViewerEvents* m_events;
    tessivor::Clock& m_clock;

    std::string m_user, m_password, m_controlPort, m_streamPort, m_firmware, m_address, m_cookie;
    std::int32_t m_target = 0;
    int m_drawWidth = 0, m_drawHeight = 0; // 0: the target's own size
    bool m_showing = false;
    bool m_audio = false;

    // The last good frame: its JPEG, and its pixels as a bottom-up 24-bit DIB (B, G, R).
    std::vector<std::uint8_t> m_jpeg;
    std::vector<std::uint8_t> m_pixels;
    int m_width = 0, m_height = 0;
    std::uint32_t m_stride = 0;

    std::int32_t m_motionMode = 0;
    std::int32_t m_sensitivity = 5;
    std::vector<std::uint8_t> m_reference;
    bool m_primed = false;
    int m_refWidth = 0, m_refHeight = 0;
    bool m_motionHeld = false;
    std::time_t m_lastMotion = 0;

    std::string m_mailFile;
    bool m_alertPicture = false;

    std::int16_t m_splitMB = 10;
    std::string m_folder;
    bool m_recordRequest = false;
    std::unique_ptr<tessivor::CAviWriter> m_avi;
    std::uint32_t m_recordStartTick = 0;
    std::int32_t m_lastSlot = -1;
};

} // namespace pellucor
