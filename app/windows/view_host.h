// The seams between the program's window set (the engine's EngineWindows, kept by the control
// panel's side) and the camera windows that own pictures: the four view windows, the combined
// window and the scan window. Each calls through to the window for the slot; a window that does
// not exist yet is created where the call shows it. User-interface thread only.
#pragma once

#include "app/core/engine_ports.h"

#include <string>

namespace pellucor {

// The four view windows, slots 1 to 4.
class ViewHost : public ViewWindowCalls
{
public:
    // One event's two lines for the open window of camera `slot`.
    virtual void addToView(int slot, const std::string& header, const std::string& message) = 0;
    // Puts the slot's window (made when it does not exist yet) with its top-left corner at
    // (left, top) of the screen, in pixels; showing it is the caller's next step.
    virtual void placeView(int slot, int left, int top) = 0;
    // The control panel's calls on the slot's window; nothing while it does not exist. The zoom
    // tool "ID_FitWindow" pressed (the picture fills the window again); a button of the window
    // button table showing one of its row's images (`image` is the row's text index); the window
    // kept above all others again.
    virtual void viewFitWindow(int slot) = 0;
    virtual void viewShowButton(int slot, int row, int image) = 0;
    virtual void viewPinAgain(int slot) = 0;
};

// The combined 2 x 2 window.
class CombinedHost : public CombinedWindowCalls
{
public:
    virtual void showCombined() = 0;
    // The control panel's calls: marks pane `slot` active; hides the colour panel and the event
    // list before `slot` becomes current; refreshes the colour button after a configuration access.
    virtual void combinedPutActiveBorder(int slot) = 0;
    virtual void combinedRefrushShowClrCtl(int slot) = 0;
    virtual void combinedRefrushListCtl(int slot) = 0;
    virtual void combinedRefrushClrCtlBtn(int slot) = 0;
    // The combined window is open and shows its event list; one event's two lines into it.
    virtual bool combinedEventListShown() = 0;
    virtual void addToCombined(const std::string& header, const std::string& message) = 0;
    // A button of the window button table showing one of its row's images; nothing while the
    // window is not open.
    virtual void combinedShowButton(int row, int image) = 0;
};

// The scan window: the engine's calls and no others.
using ScanHost = ScanWindowCalls;

} // namespace pellucor
