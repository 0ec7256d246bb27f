// The view windows as the engine's window set and the event log's views, for tests: the calls
// for view windows go to a ViewWindows (set once it exists, after the engine); the panel,
// combined and scan windows are absent and their calls do nothing.
#pragma once

#include "app/core/engine_ports.h"
#include "app/core/event_log.h"
#include "app/windows/view_windows.h"

namespace viewtest {

using namespace pellucor;

struct ViewsOnly : EngineWindows, EventViews
{
    ViewWindows* views = nullptr;
    void showController() override {}
    void LedControl(int, bool) override {}
    void RefreshPanelText() override {}
    void showView(int n) override { views->showView(n); }
    void unloadView(int n) override { views->unloadView(n); }
    bool viewExists(int n) override { return views->viewExists(n); }
    DrawTarget viewPicture(int n) override { return views->viewPicture(n); }
    void setViewFirstActivate(int n, bool v) override { views->setViewFirstActivate(n, v); }
    void setViewColorCtlOn(int n, bool v) override { views->setViewColorCtlOn(n, v); }
    void viewFormResize(int n) override { views->viewFormResize(n); }
    void viewRefrushStatusBar(int n) override { views->viewRefrushStatusBar(n); }
    void viewRefreshPicture(int n) override { views->viewRefreshPicture(n); }
    void viewShowColorCtl(int n) override { views->viewShowColorCtl(n); }
    void viewShowMotionText(int n, bool on) override { views->viewShowMotionText(n, on); }
    void viewRecordGrayBTN(int n) override { views->viewRecordGrayBTN(n); }
    void unloadCombined() override {}
    DrawTarget combinedPane(int) override { return {}; }
    void combinedFormResize() override {}
    void combinedRefreshPane(int) override {}
    void combinedShowMotionText(bool) override {}
    void combinedRecordGrayBTN(int) override {}
    void combinedRefrushStatusBar(int) override {}
    void showScan() override {}
    void unloadScan() override {}
    DrawTarget scanTarget() override { return {}; }
    void scanRefresh() override {}
    void scanRefrushStatusBar() override {}

    bool combinedEventListShown() override { return false; }
    void addToCombined(const std::string&, const std::string&) override {}
    void addToView(int cam, const std::string& header, const std::string& message) override
    {
        views->addToView(cam, header, message);
    }
};

} // namespace viewtest
