// What the camera windows do to the camera of a slot when the user asks: the next rotation step,
// switching the sound, a snapshot under a name the user picks, and reading (while the window
// waits) and writing the seven image settings behind the colour panel. The view windows and the
// combined window call these for their camera; each window keeps its own rules of when a button
// is refused.
//
// Errors of a control call propagate (ControlError) unless a function says otherwise; the windows
// catch them and end the one action. User-interface thread only.
#pragma once

#include "app/core/camera_port.h"

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace pellucor {

struct AppState;
struct CamInfo;
class Engine;
class WindowWaits;

// The save dialog of a snapshot. The filter is in Qt's form ("JPEG Image (*.jpg)").
struct SnapshotDialog
{
    std::string title;
    std::string folder;
    std::string filter;
    std::string proposedName;
};

// Shows the save dialog: the chosen file, or nothing when the user cancelled.
using SnapshotDialogRunner = std::function<std::optional<std::string>(const SnapshotDialog&)>;

// 0, 90, 180, 270, 0: a stored angle of 270 or more (or a negative one) starts again at 0.
int nextRotateAngle(int angle);

// Steps camera `slot`'s rotation in its record and hands the angle to its control.
void rotatePicture(AppState& state, Engine& engine, int slot);

// Switches camera `slot`'s sound (AudioOn flips): a multipart camera (protocol 4) through the
// control's play mode (3 video and sound, 1 video only) and RunAudio; a Kestra camera (protocol 3)
// through its viewer, after the control has opened the sound with the session cookie. The caller
// refuses other protocols.
void toggleAudio(AppState& state, Engine& engine, int slot);

// Asks for a file name ("Save Image" in the program's home folder, "Temp.bmp" for a Kestra camera,
// "Temp.jpg" otherwise) and has the viewer (Kestra) or the control write the picture there at its
// own size. A cancelled dialog saves nothing and says nothing. `dialog` may be empty: a Qt save
// dialog over `owner` is shown.
void saveSnapshot(const AppState& state, Engine& engine, int slot, const SnapshotDialogRunner& dialog,
                  QWidget* owner);

// A native camera (protocol 0) is addressed by its MAC address: false when the record has none
// (the panel cannot open); otherwise the control gets it first. Other protocols need none.
bool putImageAddress(const CamInfo& camera, CameraControl& control);

// How long a window waits for the end of an image-settings read at most. The control ends every
// read by its own time-outs well before (two datagrams of 6 s, or four page requests); this
// only keeps a window from waiting for an event that will never come.
inline constexpr int kImageReadLimitMs = 60000;

// Reads camera `slot`'s seven image settings on the control's own worker (GetImageConfig mode 1)
// while `waits` keeps the window waiting, its inputs off and events running, until the control's
// completion event reaches the engine or `limitMs` passes. The settings read, or nothing when the
// read could not start (a failed call, another read of the camera still running), the camera did
// not answer, or no answer came in time. Errors of the control are not propagated.
std::optional<ImageSettings> readImageConfigWaiting(Engine& engine, int slot, WindowWaits& waits,
                                                    int limitMs);

// Sends the seven image settings; the answer and a failure are not used (the stream restarts
// anyway).
void writeImageConfig(CameraControl& control, const ImageSettings& settings);

} // namespace pellucor
