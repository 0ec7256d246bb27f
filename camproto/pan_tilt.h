// The pan/tilt requests of the two camera families that have a head.
//
// Cameras reached through "/pantiltcontrol.cgi" take a form-encoded POST; cameras of the Kestra
// family take one GET per direction on "/goform/CfgPT_Direction". Commands 0 to 8 are the cells
// of a 3 x 3 pad read row by row (up-left, up, up-right; left, home, right; down-left, down,
// down-right); 50 to 52 switch the swing mode off, to mode 1 or to mode 2. Diagonals are two
// GETs for the Kestra family: the vertical step first.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessivor::camproto {

inline constexpr std::string_view kPanTiltCgiPath = "/pantiltcontrol.cgi";
inline constexpr std::string_view kPanTiltSwingOff = "PanTiltSwingMode=0";
inline constexpr int kPanTiltSwingOffCommand = 50;

// A command the pad or the swing switch knows.
bool isPanTiltMove(int command);  // 0 to 8
bool isPanTiltSwing(int command); // 50 to 52

// The POST body for "/pantiltcontrol.cgi"; nullopt for a command it does not know.
std::optional<std::string> panTiltPostBody(int command);

// The GET paths of a Kestra camera, in order: one or two for a move, none otherwise.
std::vector<std::string> kestraPanTiltPaths(int command);

} // namespace tessivor::camproto
