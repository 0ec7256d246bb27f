// What the camera engine needs of the program around it: its windows, message boxes, the event
// loop and timers. The program implements these with Qt; scenario tests with recording fakes and
// simulated time. User-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pellucor {

// A drawing target as the controls receive it: a frame-target handle, the device-context
// stand-in (the same handle in our platform layer) and its size in pixels.
struct DrawTarget
{
    std::int32_t handle = 0;
    std::int32_t dc = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The calls on the four view windows, slots 1 to 4, that the engine makes and the window set
// passes on to the windows themselves.
class ViewWindowCalls
{
public:
    virtual ~ViewWindowCalls() = default;
    virtual void showView(int slot) = 0;
    virtual void unloadView(int slot) = 0;
    // True when the view window object exists (shown or hidden).
    virtual bool viewExists(int slot) = 0;
    // The picture area, placed at the window's full client size first.
    virtual DrawTarget viewPicture(int slot) = 0;
    virtual void setViewFirstActivate(int slot, bool value) = 0;
    virtual void setViewColorCtlOn(int slot, bool value) = 0;
    virtual void viewFormResize(int slot) = 0;
    virtual void viewRefrushStatusBar(int slot) = 0;
    virtual void viewRefreshPicture(int slot) = 0;
    virtual void viewShowColorCtl(int slot) = 0;
    virtual void viewShowMotionText(int slot, bool on) = 0;
    virtual void viewRecordGrayBTN(int slot) = 0;
};

// The calls on the combined 2 x 2 window that the engine makes.
class CombinedWindowCalls
{
public:
    virtual ~CombinedWindowCalls() = default;
    virtual void unloadCombined() = 0;
    virtual DrawTarget combinedPane(int slot) = 0;
    virtual void combinedFormResize() = 0;
    virtual void combinedRefreshPane(int slot) = 0;
    virtual void combinedShowMotionText(bool on) = 0;
    virtual void combinedRecordGrayBTN(int slot) = 0;
    virtual void combinedRefrushStatusBar(int slot) = 0;
};

// The calls on the scan window that the engine makes.
class ScanWindowCalls
{
public:
    virtual ~ScanWindowCalls() = default;
    virtual void showScan() = 0;
    virtual void unloadScan() = 0;
    virtual DrawTarget scanTarget() = 0;
    virtual void scanRefresh() = 0;
    virtual void scanRefrushStatusBar() = 0;
};

// The windows the engine calls. Slot numbers are 1 to 4; WindowOpen in AppState says which
// windows are open, and the engine checks it before calling a window's procedure.
class EngineWindows : public ViewWindowCalls, public CombinedWindowCalls, public ScanWindowCalls
{
public:
    // Control panel.
    virtual void showController() = 0;
    virtual void LedControl(int lamp, bool on) = 0;
    virtual void RefreshPanelText() = 0;
};

class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // A box with an OK button; an empty title means the application's title.
    virtual void show(const std::string& text, const std::string& title = {}) = 0;
};

class UiServices
{
public:
    virtual ~UiServices() = default;
    // Lets pending window and control events run (the engine calls it between stop attempts).
    virtual void processEvents() = 0;
};

// A repeating timer on the user-interface thread. Disabling and enabling again restarts its period.
class Timer
{
public:
    virtual ~Timer() = default;
    virtual void setInterval(std::int32_t ms) = 0;
    virtual std::int32_t interval() const = 0;
    virtual void setEnabled(bool on) = 0;
    virtual bool enabled() const = 0;
};

class TimerFactory
{
public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<Timer> create(std::int32_t intervalMs, bool enabled,
                                          std::function<void()> tick) = 0;
};

} // namespace pellucor
