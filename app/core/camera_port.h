// The camera control as the engine sees it: a typed port over the members the program uses, and
// the two control events it answers.
//
// The program's controls are created by ProgID and called late-bound (control_adapter.h); tests
// use a recording fake. Both implement CameraControl through LateBoundCamera, which turns every
// typed call into one (member, kind, arguments) call, so the member names, kinds and argument
// types live in one table (cameraMembers()).
//
// A failing call throws ControlError; the engine's public procedures catch it and report it, as
// their message boxes say. User-interface thread only.
#pragma once

#include "platform/dispatch.h"
#include "platform/variant.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pellucor {

class ControlError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum class TextProp
{
    DeviceSerialNo,
    UserName,
    Password,
    RemoteHost,
    ProxyServerAddress,
    EMailFileName,
    MACAddress,
    SendMailID,
    SendMailPWD,
    NormalFilePath,
    MotionFilePath,
    KestraFWVERSION,
    FoundDeviceName,
    FoundMACAddress,
    FoundFWVersion,
    FoundHWVersion,
    FoundROMVersion,
    FoundServerModel,
};

enum class IntProp
{
    RemotePort,
    Protocol,
    ProxyPort,
    RotateAngle,
    PreviewLeft,
    PreviewTop,
    MotionDetectMode,
    MotionBlockCount,
    MotionSensitivity,
    ImageInterval,
    PreviewhWnd,
    PreviewDC,
    PreviewWidth,
    PreviewHeight,
    SplitFileMode,
    SplitFileSpace,
    SplitFileTime,
    MinReservedSpace,
    MailIntervalTime,
    PlayMode,
    FoundIndex,
    Status,
    KestraCPort,
    KestraSPort,
    ImageWidth,
    ImageHeight,
    FoundProtocol,
};

enum class BoolProp
{
    LocalCamera,
    EnableProxy,
    BypassProxyServer,
    DrawImage,
    OtherDC,
    HaveRecycleFunction,
};

enum class ControlMethod
{
    Run,
    Stop,
    RunAudio,
    LoginCamera,
    GetKestraPort,
    GetKestraValue,
    Kestra_Logout,
    StartRecording,
    StopRecording,
    SetEMailProperty,
    SendEmail,
    GetImageConfig,
    SetImageConfig,
    Capture,
    KestraAudioON,
    PT_CMD,
    ProbeDevice,
    RequestDownload,
};

// The camera's seven image settings in the order the control takes them: resolution,
// compression, frame rate, brightness, contrast, hue, light frequency.
using ImageSettings = std::array<std::int16_t, 7>;

// One member as the program calls it: its name, its dispatch id in the control's type library,
// its kind and the automation types of its arguments in declared order (an out argument last,
// marked with '*').
struct CameraMember
{
    std::string_view name;
    tessivor::DispId id;
    tessivor::InvokeKind kind;
    std::vector<std::string_view> params; // e.g. {"BSTR"}, {"I4*"}, {"BOOL", "I4*"}
};

// Every member the program calls, one entry per (name, kind).
const std::vector<CameraMember>& cameraMembers();
std::string_view memberName(TextProp p);
std::string_view memberName(IntProp p);
std::string_view memberName(BoolProp p);
std::string_view memberName(ControlMethod m);

class CameraControl
{
public:
    virtual ~CameraControl() = default;

    virtual void put(TextProp p, const std::string& value) = 0;
    virtual void put(IntProp p, std::int32_t value) = 0;
    virtual void put(BoolProp p, bool value) = 0;
    virtual std::string get(TextProp p) = 0;
    virtual std::int32_t get(IntProp p) = 0;
    virtual bool get(BoolProp p) = 0;

    virtual std::int32_t Run() = 0;
    virtual void Stop() = 0;
    virtual std::int32_t RunAudio() = 0;
    virtual std::int32_t LoginCamera(bool createNewThread) = 0;
    virtual std::int32_t GetKestraPort() = 0;
    virtual std::string GetKestraValue(std::int32_t command) = 0;
    virtual std::int32_t Kestra_Logout(const std::string& cookie) = 0;
    virtual void StartRecording() = 0;
    virtual void StopRecording() = 0;
    virtual std::int32_t SetEMailProperty(const std::string& host, const std::string& mailTo,
                                          const std::string& mailFrom, const std::string& subject) = 0;
    virtual std::int32_t SendEmail() = 0;
    // Mode 0 reads inside the call and fills `values`; the result is -1 when they were read.
    virtual std::int32_t GetImageConfig(std::int32_t mode, ImageSettings& values) = 0;
    virtual std::int32_t SetImageConfig(const ImageSettings& values) = 0;
    // The next frame as a JPEG file; `resize` 0 keeps the frame's size. Returns at once.
    virtual void Capture(const std::string& file, std::int32_t resize) = 0;
    virtual std::int32_t KestraAudioON(const std::string& cookie) = 0;
    // A pan/tilt command (the pad's codes: 1 up, 3 left, 4 home, 5 right, 7 down, 52 swing).
    virtual std::int32_t PT_CMD(std::int32_t command) = 0;
    // Asks the camera about itself (mode 0: inside the call); -1 when it answered, its identity
    // then in the Found* properties.
    virtual std::int32_t ProbeDevice(std::int32_t mode, bool newThread) = 0;
    // Asks the camera to wait for a firmware upload; 0 when it agreed.
    virtual std::int32_t RequestDownload() = 0;
};

// Implements the typed port through one late-bound call. `declared` holds the in arguments in
// declared order; the result is the property's value or the method's out argument (empty when
// the member has none).
class LateBoundCamera : public CameraControl
{
public:
    void put(TextProp p, const std::string& value) override;
    void put(IntProp p, std::int32_t value) override;
    void put(BoolProp p, bool value) override;
    std::string get(TextProp p) override;
    std::int32_t get(IntProp p) override;
    bool get(BoolProp p) override;

    std::int32_t Run() override;
    void Stop() override;
    std::int32_t RunAudio() override;
    std::int32_t LoginCamera(bool createNewThread) override;
    std::int32_t GetKestraPort() override;
    std::string GetKestraValue(std::int32_t command) override;
    std::int32_t Kestra_Logout(const std::string& cookie) override;
    void StartRecording() override;
    void StopRecording() override;
    std::int32_t SetEMailProperty(const std::string& host, const std::string& mailTo,
                                  const std::string& mailFrom, const std::string& subject) override;
    std::int32_t SendEmail() override;
    std::int32_t GetImageConfig(std::int32_t mode, ImageSettings& values) override;
    std::int32_t SetImageConfig(const ImageSettings& values) override;
    void Capture(const std::string& file, std::int32_t resize) override;
    std::int32_t KestraAudioON(const std::string& cookie) override;
    std::int32_t PT_CMD(std::int32_t command) override;
    std::int32_t ProbeDevice(std::int32_t mode, bool newThread) override;
    std::int32_t RequestDownload() override;

protected:
    virtual tessivor::Variant call(std::string_view member, tessivor::InvokeKind kind,
                                   std::vector<tessivor::Variant> declared) = 0;
    // The same call for members with out arguments before the last: those come back written
    // into `declared`. By default the plain call, which leaves them as they were passed.
    virtual tessivor::Variant callWithOuts(std::string_view member, tessivor::InvokeKind kind,
                                           std::vector<tessivor::Variant>& declared)
    {
        return call(member, kind, declared);
    }

private:
    std::int32_t callInt(ControlMethod m, std::vector<tessivor::Variant> declared);
};

// What the engine answers of a control's events; `slot` is the camera number 1 to 4.
class CameraEvents
{
public:
    virtual ~CameraEvents() = default;
    virtual void onImageEvent(int slot, std::int32_t code) = 0;
    // Status, then resolution, compression, frame rate, brightness, contrast, hue, light frequency.
    virtual void onEndGetImageConfig(int slot, std::int32_t endStatus, const std::int16_t values[7]) = 0;
};

} // namespace pellucor
