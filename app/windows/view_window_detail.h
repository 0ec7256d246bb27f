// Pieces shared by the camera windows' source files (view, combined and scan windows); not for
// other users.
#pragma once

#include "app/core/app_state.h"
#include "app/core/camera_port.h"

#include <QFont>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <string>
#include <string_view>

namespace pellucor::viewdetail {

// The window's waits, in milliseconds.
inline constexpr int kApplyWaitMs = 2000;
inline constexpr int kPanelWaitMs = 1000;

// The edition whose upper-cased name is "DRAVONETTC" asks for the camera's password before the
// colour button works.
bool isTcEdition(const std::string& language);
// A position or size as the 16-bit number the viewer takes.
std::int16_t toI16(double v);
// The Fit Window tool's identifier.
QString fitWindowTool();
// Clears the control's drawing target when it is still `handle`: a picture that is about to go
// is drawn into by nothing. Errors of the control are swallowed.
void unbindControl(CameraControl& control, std::int32_t handle);
// The program-wide font of the language pack, without underline, italic or strikethrough.
QFont programFont(const UiSettings& ui);
// Keeps a window above all others (or lets it go back among them).
void setTopMost(QWidget* window, bool on);

} // namespace pellucor::viewdetail
