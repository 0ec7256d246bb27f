#include "app/windows/camera_actions.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"
#include "app/core/viewer_port.h"
#include "app/windows/window_waits.h"

#include <QFileDialog>
#include <QString>

#include <exception>
#include <memory>

namespace pellucor {

namespace {

constexpr const char* kSnapshotTitle = "Save Image";

std::optional<std::string> qtSaveDialog(QWidget* owner, const SnapshotDialog& d)
{
    const QString start = QString::fromStdString(d.folder + "/" + d.proposedName);
    const QString file = QFileDialog::getSaveFileName(owner, QString::fromStdString(d.title), start,
                                                      QString::fromStdString(d.filter));
    if (file.isEmpty())
        return std::nullopt;
    return file.toStdString();
}

} // namespace

int nextRotateAngle(int angle)
{
    return angle >= 0 && angle < 270 ? angle + 90 : 0;
}

void rotatePicture(AppState& state, Engine& engine, int slot)
{
    CamInfo& c = state.cam(slot);
    c.RotateAngle = nextRotateAngle(c.RotateAngle);
    engine.Cam(slot).put(IntProp::RotateAngle, c.RotateAngle);
}

void toggleAudio(AppState& state, Engine& engine, int slot)
{
    const CamInfo& c = state.cam(slot);
    const auto i = static_cast<std::size_t>(slot - 1);
    bool& audioOn = state.AudioOn[i];
    CameraControl& control = engine.Cam(slot);
    if (audioOn) {
        audioOn = false;
        if (c.Protocol == kProtocolMultipart) {
            control.put(IntProp::PlayMode, 1); // video only
            control.RunAudio();
        } else {
            engine.CamViewer1(slot).audioOff();
        }
    } else {
        audioOn = true;
        if (c.Protocol == kProtocolMultipart) {
            control.put(IntProp::PlayMode, 3); // video and sound
            control.RunAudio();
        } else {
            control.KestraAudioON(state.CamCookie[i]);
            engine.CamViewer1(slot).audioOn();
        }
    }
}

void saveSnapshot(const AppState& state, Engine& engine, int slot, const SnapshotDialogRunner& dialog,
                  QWidget* owner)
{
    const bool viewer = state.cam(slot).Protocol == kProtocolKestra;
    SnapshotDialog d;
    d.title = kSnapshotTitle;
    d.folder = state.paths.homeDir.string();
    d.filter = viewer ? "BMP Image (*.bmp)" : "JPEG Image (*.jpg)";
    d.proposedName = viewer ? "Temp.bmp" : "Temp.jpg";
    const std::optional<std::string> file = dialog ? dialog(d) : qtSaveDialog(owner, d);
    if (!file || file->empty())
        return; // cancelled: no file, no message
    if (viewer)
        engine.CamViewer1(slot).snapshotToFile(*file);
    else
        engine.Cam(slot).Capture(*file, 0);
}

bool putImageAddress(const CamInfo& camera, CameraControl& control)
{
    if (camera.Protocol != kProtocolNative)
        return true;
    if (camera.MacAddress.empty())
        return false;
    control.put(TextProp::MACAddress, camera.MacAddress);
    return true;
}

std::optional<ImageSettings> readImageConfigWaiting(Engine& engine, int slot, WindowWaits& waits, int limitMs)
{
    struct Answer
    {
        bool came = false;
        std::int32_t status = 0;
        ImageSettings values{};
    };
    // Shared with the waiter, which the engine may still hold while this returns.
    auto answer = std::make_shared<Answer>();
    const int key =
        engine.addImageConfigWaiter([answer, slot](int n, std::int32_t status, const ImageSettings& v) {
            if (n != slot || answer->came)
                return;
            answer->came = true;
            answer->status = status;
            answer->values = v;
        });
    struct Forget
    {
        Engine& engine;
        int key;
        ~Forget() { engine.forgetImageConfigWaiter(key); }
    } forget{engine, key};

    ImageSettings ignored{}; // mode 1 reports the values by the event, not by the arguments
    try {
        if (engine.Cam(slot).GetImageConfig(1, ignored) != -1)
            return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!waits.waitFor([&answer] { return answer->came; }, limitMs) || answer->status != -1)
        return std::nullopt;
    return answer->values;
}

void writeImageConfig(CameraControl& control, const ImageSettings& settings)
{
    try {
        control.SetImageConfig(settings);
    } catch (const std::exception&) {
    }
}

} // namespace pellucor
