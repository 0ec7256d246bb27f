// What the view window and the combined window both show of one camera: the status lines of the
// window skin ("IPAddress", "Line", "Recording"), the motion text ("MotionDetect"), the colour
// button of the edition that asks for the camera's password first, and a list box of event lines.
//
// The skin helpers raise SkinError when the skin lacks an object (the windows' handlers catch
// it); an object written before the missing one keeps its new text. User-interface thread only.
#pragma once

#include "app/core/event_log.h"

#include <string>
#include <vector>

class QListWidget;

namespace pellucor {

struct AppState;
struct CamInfo;
class SkinObject;

// "IPAddress" := the camera's address; "Line" := the on-line text when the camera is enabled,
// else the off-line text; "Recording" := the recording text while the camera records, else "".
void putStatusLines(SkinObject& root, const AppState& state, const CamInfo& cam);

// In the edition whose upper-cased name is "DRAVONETTC": "ColorCtl" shows (level 0) and the
// button group "LBtnSet" widens to 84 once the camera's password is checked; otherwise level 255
// and 62. Nothing in the other editions.
void putColourButtonLevel(SkinObject& root, const AppState& state, const CamInfo& cam);

// "MotionDetect" := "MOTION" while motion is shown, else "".
void putMotionText(SkinObject& root, bool motion);

// A window's own copy of event lines in a list box. Lines come two at a time (the header with
// date, address and name, then the message); the copy keeps its own bound (EventLineList), so the
// box never holds more than the bound whatever the engine's list holds. The selection is the
// caller's.
class EventListBox
{
public:
    // `list` must outlive this object.
    explicit EventListBox(QListWidget& list) : m_list(list) {}

    // Shows `lines` (header and message pairs, oldest first) in place of what the box held.
    void fill(const std::vector<std::string>& lines);
    // Appends one event's two lines; the oldest leave once the bound is reached.
    void add(const std::string& header, const std::string& message);
    // Selects the last line; nothing when the box is empty.
    void selectLastLine();

    QListWidget& list() { return m_list; }

private:
    QListWidget& m_list;
    EventLineList m_lines;
};

} // namespace pellucor
