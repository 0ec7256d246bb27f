// The program's window set: what the engine calls of its windows (EngineWindows). The control
// panel's part goes to the panel; the view, combined and scan parts go to the hosts that main()
// sets. While a host is not set its calls do nothing (a view window is then never shown, so no
// camera is bound to one).
//
// It also keeps the program's end: each main window clears its WindowOpen flag when it closes and
// then calls mainWindowClosed(); once none of the seven is open, the shutdown runs (the engine
// saves the profile and stops the cameras) and the program ends.
//
// User-interface thread only.
#pragma once

#include "app/core/engine_ports.h"
#include "app/core/event_log.h"
#include "app/windows/view_host.h"

#include <functional>

namespace pellucor {

struct AppState;
class ControlPanel;

class WindowSet : public EngineWindows, public EventViews
{
public:
    explicit WindowSet(AppState& state) : m_state(state) {}

    void setPanel(ControlPanel* panel) { m_panel = panel; }
    void setViewHost(ViewHost* host) { m_views = host; }
    void setCombinedHost(CombinedHost* host) { m_combined = host; }
    void setScanHost(ScanHost* host) { m_scan = host; }
    // Runs once, when the last main window has closed.
    void setShutdown(std::function<void()> shutdown) { m_shutdown = std::move(shutdown); }

    // Called by every main window after it has cleared its own WindowOpen flag.
    void mainWindowClosed();
    bool shutDown() const { return m_shutDown; }

    // The combined window, for the panel's combine switch.
    void showCombined();
    // The panel's calls into the combined window; nothing while it is not open.
    void combinedPutActiveBorder(int slot);
    void combinedRefrushShowClrCtl(int slot);
    void combinedRefrushListCtl(int slot);
    void combinedRefrushClrCtlBtn(int slot);
    void combinedShowButton(int row, int image);
    // The panel's calls into the view windows (ViewHost).
    void placeView(int slot, int left, int top);
    void viewFitWindow(int slot);
    void viewShowButton(int slot, int row, int image);
    void viewPinAgain(int slot);

    // Control panel.
    void showController() override;
    void LedControl(int lamp, bool on) override;
    void RefreshPanelText() override;

    // View windows.
    void showView(int slot) override;
    void unloadView(int slot) override;
    bool viewExists(int slot) override;
    DrawTarget viewPicture(int slot) override;
    void setViewFirstActivate(int slot, bool value) override;
    void setViewColorCtlOn(int slot, bool value) override;
    void viewFormResize(int slot) override;
    void viewRefrushStatusBar(int slot) override;
    void viewRefreshPicture(int slot) override;
    void viewShowColorCtl(int slot) override;
    void viewShowMotionText(int slot, bool on) override;
    void viewRecordGrayBTN(int slot) override;

    // Combined window.
    void unloadCombined() override;
    DrawTarget combinedPane(int slot) override;
    void combinedFormResize() override;
    void combinedRefreshPane(int slot) override;
    void combinedShowMotionText(bool on) override;
    void combinedRecordGrayBTN(int slot) override;
    void combinedRefrushStatusBar(int slot) override;

    // Scan window.
    void showScan() override;
    void unloadScan() override;
    DrawTarget scanTarget() override;
    void scanRefresh() override;
    void scanRefrushStatusBar() override;

    // The event lists of the camera windows (the event log's view side).
    bool combinedEventListShown() override;
    void addToCombined(const std::string& header, const std::string& message) override;
    void addToView(int cam, const std::string& header, const std::string& message) override;

private:
    AppState& m_state;
    ControlPanel* m_panel = nullptr;
    ViewHost* m_views = nullptr;
    CombinedHost* m_combined = nullptr;
    ScanHost* m_scan = nullptr;
    std::function<void()> m_shutdown;
    bool m_shutDown = false;
};

} // namespace pellucor
