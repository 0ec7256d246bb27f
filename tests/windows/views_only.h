// The view windows as the engine's window set and the event log's views, for tests: the calls
// for view windows go to a ViewWindows (set once it exists, after the engine); the panel,
// combined and scan windows are absent and their calls do nothing (ViewsAndCombined adds the
// combined window).
#pragma once

#include "app/core/app_state.h"
#include "app/core/engine_ports.h"
#include "app/core/event_log.h"
#include "app/core/language_pack.h"
#include "app/windows/view_host.h"
#include "app/windows/view_windows.h"

#include <QListWidget>
#include <QObject>
#include <QTimer>

#include <ctime>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace viewtest {

using namespace pellucor;

// The state the camera-window tests start from: the English pack read from the source tree, four
// assigned and enabled Protocol 0 cameras "Gate1".."Gate4" at 127.0.0.n, the control panel open.
// False when a pack file could not be read.
inline bool fourCamerasState(AppState& state, const std::filesystem::path& home)
{
    state.paths.homeDir = home;
    state.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
    InitGlobals(state, 1700000000);
    const bool read = LoadUISetting(state) && LoadHintText(state) && LoadLanguageText(state);
    for (int n = 1; n <= kCameraCount; ++n) {
        CamInfo& c = state.cam(n);
        c.Assign = c.Enable = true;
        c.Protocol = kProtocolNative;
        c.IPAddress = "127.0.0." + std::to_string(n);
        c.ServerName = "Gate" + std::to_string(n);
        c.MacAddress = "0.1.2.3.4." + std::to_string(n);
    }
    state.WindowOpen[0] = true; // the control panel is open
    return read;
}

// The recording fakes' image-settings reads on the control's worker (GetImageConfig mode 1) end
// as the real control's do: the completion event reaches the engine through the event loop, after
// the call has returned, unless `context` is gone by then.
template <class Rig> void endImageReadsByEvent(Rig& rig, QObject* context)
{
    for (int n = 1; n <= kCameraCount; ++n)
        rig.cam(n).endImageConfig = [&rig, context, n](std::int32_t status, const ImageSettings& values) {
            QTimer::singleShot(0, context, [&rig, n, status, values] {
                rig.engine->onEndGetImageConfig(n, status, values.data());
            });
        };
}

// The list's last line is selected and lies inside what the list shows.
inline bool lastLineSelectedInSight(QListWidget& list)
{
    const int last = list.count() - 1;
    if (last < 0 || list.currentRow() != last)
        return false;
    const QRect line = list.visualItemRect(list.item(last));
    return line.isValid() && list.viewport()->rect().contains(line);
}

// Lines of `trace` from `from` on that start with `prefix`.
template <class Trace>
std::vector<std::string> linesWith(const Trace& trace, const std::string& prefix, std::size_t from = 0)
{
    std::vector<std::string> out;
    for (std::size_t i = from; i < trace.lines.size(); ++i)
        if (trace.lines[i].rfind(prefix, 0) == 0)
            out.push_back(trace.lines[i]);
    return out;
}

// The state the tests with simulated cameras start from: the English pack read from the source
// tree, recordings in the home, slot n (from 1) holding cameras[n - 1] (address and port) with
// `protocol`, assigned and enabled, named `namePrefix` + n; the control panel open. False when a
// pack file could not be read.
inline bool camsimState(AppState& state, const std::filesystem::path& home,
                        const std::vector<std::pair<std::string, int>>& cameras, int protocol,
                        const std::string& namePrefix)
{
    state.paths.homeDir = home;
    state.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
    InitGlobals(state, std::time(nullptr));
    const bool read = LoadUISetting(state) && LoadHintText(state);
    state.settings.Storage(1).Path = (home / "storage").string();
    for (std::size_t i = 0; i < cameras.size() && i < kCameraCount; ++i) {
        const int n = static_cast<int>(i) + 1;
        CamInfo& c = state.cam(n);
        c.Assign = c.Enable = true;
        c.Protocol = protocol;
        c.IPAddress = cameras[i].first;
        c.Port = cameras[i].second;
        c.UserName = c.Password = "pelko"; // the simulated camera's default credentials
        c.ServerName = namePrefix + std::to_string(n);
        c.MacAddress = "0.1.2.3.4." + std::to_string(n);
    }
    state.WindowOpen[0] = true; // the control panel is open
    return read;
}

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

// As ViewsOnly, with the combined window's calls going to `combined` while it is set.
struct ViewsAndCombined : ViewsOnly
{
    CombinedHost* combined = nullptr;
    void unloadCombined() override
    {
        if (combined)
            combined->unloadCombined();
    }
    DrawTarget combinedPane(int n) override { return combined ? combined->combinedPane(n) : DrawTarget{}; }
    void combinedFormResize() override
    {
        if (combined)
            combined->combinedFormResize();
    }
    void combinedRefreshPane(int n) override
    {
        if (combined)
            combined->combinedRefreshPane(n);
    }
    void combinedShowMotionText(bool on) override
    {
        if (combined)
            combined->combinedShowMotionText(on);
    }
    void combinedRecordGrayBTN(int n) override
    {
        if (combined)
            combined->combinedRecordGrayBTN(n);
    }
    void combinedRefrushStatusBar(int n) override
    {
        if (combined)
            combined->combinedRefrushStatusBar(n);
    }
    bool combinedEventListShown() override { return combined && combined->combinedEventListShown(); }
    void addToCombined(const std::string& header, const std::string& message) override
    {
        if (combined)
            combined->addToCombined(header, message);
    }
};

// Combined mode: the engine's calls for the combined window reach it, and there are no view windows.
struct CombinedOnly : ViewsAndCombined
{
    void showView(int) override {}
    void unloadView(int) override {}
    bool viewExists(int) override { return false; }
    void viewRefrushStatusBar(int) override {}
};

} // namespace viewtest
