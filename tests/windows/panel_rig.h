// The control panel over the real engine with recording fakes: fake controls and viewers, view,
// combined and scan windows that record their calls (or real view and combined windows, for what
// the panel changes in them), scripted dialogs and simulated time. The real English pack is read
// from data/, and the profile is written into a test folder.
#pragma once

#include "../app_core/engine_fakes.h"
#include "../app_skin/qt_test_support.h"

#include "app/core/language_pack.h"
#include "app/core/open_file.h"
#include "app/skin/skin_form.h"
#include "app/skin/ui_services.h"
#include "app/windows/combined_windows.h"
#include "app/windows/control_panel.h"
#include "app/windows/view_windows.h"
#include "app/windows/window_set.h"

#include <QTest>

#include <deque>

namespace paneltest {

using namespace enginetest;

class ScriptedDialogs : public PanelDialogs
{
public:
    explicit ScriptedDialogs(Trace& trace) : m_trace(trace) {}

    std::deque<int> answers; // message box answers in order; OK when empty
    BrowseResult browseResult;
    bool eraseAnswer = true;
    AdminProbeResult probeResult;
    bool passwordAnswer = false;
    WebResult webResult;
    std::function<WebResult(const WebRequest&)> onWeb; // answers in place of webResult when set
    PlayResult playResult;
    std::function<void(int)> onSchedule;

    int messageBox(const std::string& text, int style, const std::string&) override
    {
        m_trace.add("MsgBox " + text + " (" + std::to_string(style) + ")");
        if (answers.empty())
            return kAnswerOk;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    BrowseResult browse(int n) override
    {
        m_trace.add("frmBrowse(" + std::to_string(n) + ")");
        return browseResult;
    }
    bool confirmErase(int n) override
    {
        m_trace.add("frmEraseCamBox(" + std::to_string(n) + ")");
        return eraseAnswer;
    }
    AdminProbeResult probeAdminPassword(int n) override
    {
        m_trace.add("probeAdminPassword(" + std::to_string(n) + ")");
        return probeResult;
    }
    bool checkPassword(const PasswordCheckRequest& r) override
    {
        m_trace.add("frmCheckPassword(" + std::to_string(r.camera) + ", " + std::to_string(r.CheckMode) +
                    ", " + r.AdminID + ")");
        return passwordAnswer;
    }
    WebResult web(const WebRequest& r) override
    {
        m_trace.add("frmWeb(" + std::to_string(r.camera) + ", " + (r.connected ? "True" : "False") + ", " +
                    r.address + ")");
        return onWeb ? onWeb(r) : webResult;
    }
    void updateFirmware(int n) override { m_trace.add("frmUpdateFW(" + std::to_string(n) + ")"); }
    void schedule(int n) override
    {
        m_trace.add("frmSchedule(" + std::to_string(n) + ")");
        if (onSchedule)
            onSchedule(n);
    }
    void motionSettings(int n) override { m_trace.add("frmMotionSetting(" + std::to_string(n) + ")"); }
    void systemSettings() override { m_trace.add("frmSysConf"); }
    PlayResult play(const std::string& folder) override
    {
        m_trace.add("frmPlayMenu(" + folder + ")");
        return playResult;
    }
    void about() override { m_trace.add("frmAbout"); }

private:
    Trace& m_trace;
};

// View, combined and scan windows that record their calls and keep WindowOpen as real ones do.
class FakeHosts : public ViewHost, public CombinedHost, public ScanHost
{
public:
    FakeHosts(AppState& state, Trace& trace) : m_state(state), m_trace(trace), m_record(state, trace) {}

    void showView(int n) override { m_record.showView(n); }
    void unloadView(int n) override { m_record.unloadView(n); }
    bool viewExists(int n) override { return m_record.viewExists(n); }
    DrawTarget viewPicture(int n) override { return m_record.viewPicture(n); }
    void setViewFirstActivate(int n, bool v) override { m_record.setViewFirstActivate(n, v); }
    void setViewColorCtlOn(int n, bool v) override { m_record.setViewColorCtlOn(n, v); }
    void viewFormResize(int n) override { m_record.viewFormResize(n); }
    void viewRefrushStatusBar(int n) override { m_record.viewRefrushStatusBar(n); }
    void viewRefreshPicture(int n) override { m_record.viewRefreshPicture(n); }
    void viewShowColorCtl(int n) override { m_record.viewShowColorCtl(n); }
    void viewShowMotionText(int n, bool on) override { m_record.viewShowMotionText(n, on); }
    void viewRecordGrayBTN(int n) override { m_record.viewRecordGrayBTN(n); }
    void addToView(int n, const std::string&, const std::string&) override
    {
        m_trace.add("View" + std::to_string(n) + ".addToView");
    }
    void placeView(int n, int left, int top) override
    {
        view(n, "Move(" + std::to_string(left) + ", " + std::to_string(top) + ")");
    }
    void viewFitWindow(int n) override { view(n, "FitWindow"); }
    void viewShowButton(int n, int row, int image) override
    {
        view(n, "ShowButton(" + std::to_string(row) + ", " + std::to_string(image) + ")");
    }
    void viewPinAgain(int n) override { view(n, "SetTopMost(True)"); }

    void showCombined() override
    {
        m_state.WindowOpen[5] = true;
        m_trace.add("frmCombineWindow.Show");
    }
    void unloadCombined() override { m_record.unloadCombined(); }
    DrawTarget combinedPane(int n) override { return m_record.combinedPane(n); }
    void combinedFormResize() override { m_record.combinedFormResize(); }
    void combinedRefreshPane(int n) override { m_record.combinedRefreshPane(n); }
    void combinedShowMotionText(bool on) override { m_record.combinedShowMotionText(on); }
    void combinedRecordGrayBTN(int n) override { m_record.combinedRecordGrayBTN(n); }
    void combinedRefrushStatusBar(int n) override { m_record.combinedRefrushStatusBar(n); }
    void combinedPutActiveBorder(int n) override { combined("PutActiveBorder", n); }
    void combinedRefrushShowClrCtl(int n) override { combined("RefrushShowClrCtl", n); }
    void combinedRefrushListCtl(int n) override { combined("RefrushListCtl", n); }
    void combinedRefrushClrCtlBtn(int n) override { combined("RefrushClrCtlBtn", n); }
    bool combinedEventListShown() override { return false; }
    void addToCombined(const std::string&, const std::string&) override {}
    void combinedShowButton(int row, int image) override
    {
        m_trace.add("frmCombineWindow.ShowButton(" + std::to_string(row) + ", " + std::to_string(image) +
                    ")");
    }

    void showScan() override { m_record.showScan(); }
    void unloadScan() override
    {
        m_record.unloadScan();
        m_state.CombineMode = 0;
        m_state.ScanModeOn = false;
    }
    DrawTarget scanTarget() override { return m_record.scanTarget(); }
    void scanRefresh() override { m_record.scanRefresh(); }
    void scanRefrushStatusBar() override { m_record.scanRefrushStatusBar(); }

private:
    void view(int n, const std::string& what) { m_trace.add("frmClient" + std::to_string(n) + "." + what); }
    void combined(const char* what, int n)
    {
        m_trace.add(std::string("frmCombineWindow.") + what + "(" + std::to_string(n) + ")");
    }
    AppState& m_state;
    Trace& m_trace;
    FakeWindows m_record;
};

// The desktop's opener and the open routines' messages, recorded.
class RecordingOpener : public DesktopOpener, public OpenMessages
{
public:
    std::vector<std::filesystem::path> opened;
    std::vector<std::string> messages;
    bool openWithAssociatedProgram(const std::filesystem::path& file) override
    {
        opened.push_back(file);
        return true;
    }
    void show(const std::string& text, Icon) override { messages.push_back(text); }
};

inline constexpr std::time_t kStart = 1767225600; // 2026-01-01 00:00:00 UTC

// Which view and combined windows the panel drives.
enum class CameraWindows
{
    Recorded, // FakeHosts: every call traced
    Real,     // ViewWindows and CombinedWindows over the fake controls
};

struct PanelRig
{
    // `setup` changes the records after the files were read and before the engine loads.
    explicit PanelRig(const std::function<void(AppState&)>& setup = {},
                      CameraWindows cameraWindows = CameraWindows::Recorded)
        : home("panel"), clock(kStart), messages(trace), log(state, clock), windows(state),
          hosts(state, trace), dialogs(trace)
    {
        testApp();
        state.paths.homeDir = home.path();
        state.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
        EXPECT_TRUE(LoadStartupFiles(state, messages, kStart));
        state.settings.Storage(1).Path = (home.path() / "storage").string();
        state.settings.Storage(1).Checked = true;
        if (setup)
            setup(state);

        std::array<std::unique_ptr<CameraControl>, kCameraCount> cams;
        std::array<std::unique_ptr<CameraViewer>, kCameraCount> viewers;
        for (int n = 1; n <= kCameraCount; ++n) {
            auto c = std::make_unique<FakeControl>(n, trace);
            c->traceGets = false;
            control[static_cast<std::size_t>(n - 1)] = c.get();
            cams[static_cast<std::size_t>(n - 1)] = std::move(c);
            viewers[static_cast<std::size_t>(n - 1)] = std::make_unique<FakeViewer>(n, trace);
        }
        windows.setViewHost(&hosts);
        windows.setCombinedHost(&hosts);
        windows.setScanHost(&hosts);
        EngineServices sv;
        sv.clock = &clock;
        sv.timers = &clock;
        sv.ui = &clock;
        sv.windows = &windows;
        sv.messages = &messages;
        sv.log = &log;
        sv.freeSpace = [](const std::filesystem::path&) { return 100e9; };
        sv.processorLevel = [] { return std::int16_t{6}; };
        engine = std::make_unique<Engine>(state, std::move(sv), std::move(cams), std::move(viewers));
        if (cameraWindows == CameraWindows::Real) {
            ViewServices vs;
            vs.state = &state;
            vs.engine = engine.get();
            vs.log = &log;
            vs.messages = &messages;
            vs.ui = &clock;
            vs.pause = [](int) {};
            vs.lastWindowClosed = [this] { windows.mainWindowClosed(); };
            views = std::make_unique<ViewWindows>(vs);
            windows.setViewHost(views.get());
            CombinedServices cs;
            cs.state = &state;
            cs.engine = engine.get();
            cs.log = &log;
            cs.messages = &messages;
            cs.pause = [](int) {};
            cs.lastWindowClosed = [this] { windows.mainWindowClosed(); };
            combined = std::make_unique<CombinedWindows>(cs);
            windows.setCombinedHost(combined.get());
        }
        windows.setShutdown([this] {
            trace.add("shutdown");
            engine->Unload();
        });
        engine->Load();

        PanelServices ps;
        ps.engine = engine.get();
        ps.windows = &windows;
        ps.dialogs = &dialogs;
        ps.timers = &clock;
        ps.clock = &clock;
        ps.ui = &clock;
        ps.opener = &opener;
        ps.openMessages = &opener;
        panel = std::make_unique<ControlPanel>(state, ps);
        windows.setPanel(panel.get());
        windows.showController();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
        // The pointer starts on the panel's background (a previous test may have left it
        // where this one moves it first, and then no move would arrive).
        QTest::mouseMove(&form(), QPoint(form().width() - 2, form().height() - 2));
    }
    ~PanelRig()
    {
        windows.setPanel(nullptr);
        panel.reset();
        windows.setViewHost(nullptr);
        windows.setCombinedHost(nullptr);
        combined.reset();
        views.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    SkinForm& form() { return panel->skin(); }
    SkinObject& obj(const char* name) { return form().RootObject().FindObject(name); }
    QString bitmap(const char* name) { return obj(name).BitmapName(); }
    QString text(const char* name) { return obj(name).Text(); }
    QPoint at(const char* name) { return obj(name).geometry().center(); }

    // A left click as a user makes it: the pointer moves onto the object, presses and releases.
    void click(const char* name)
    {
        QTest::mouseMove(&form(), at(name));
        QTest::mouseClick(&form(), Qt::LeftButton, Qt::NoModifier, at(name));
    }
    void press(const char* name)
    {
        QTest::mouseMove(&form(), at(name));
        QTest::mousePress(&form(), Qt::LeftButton, Qt::NoModifier, at(name));
    }
    void release(const char* name) { QTest::mouseRelease(&form(), Qt::LeftButton, Qt::NoModifier, at(name)); }

    FakeControl& cam(int n) { return *control.at(static_cast<std::size_t>(n - 1)); }
    std::size_t mark() const { return trace.lines.size(); }
    std::size_t countSince(std::size_t from, const std::string& line) const
    {
        return static_cast<std::size_t>(
            std::count(trace.lines.begin() + static_cast<std::ptrdiff_t>(from), trace.lines.end(), line));
    }
    std::string traceSince(std::size_t from) const
    {
        std::string s;
        for (std::size_t i = from; i < trace.lines.size(); ++i)
            s += trace.lines[i] + "\n";
        return s;
    }

    TestFolder home;
    AppState state;
    Trace trace;
    FakeClock clock;
    FakeMessages messages;
    EventLog log;
    WindowSet windows;
    FakeHosts hosts;
    ScriptedDialogs dialogs;
    RecordingOpener opener;
    std::array<FakeControl*, kCameraCount> control{};
    std::unique_ptr<Engine> engine;
    std::unique_ptr<ViewWindows> views;        // CameraWindows::Real only
    std::unique_ptr<CombinedWindows> combined; // CameraWindows::Real only
    std::unique_ptr<ControlPanel> panel;
};

// A camera record as the search dialog hands it over.
inline void assignCamera(CamInfo& c, const std::string& address, const std::string& name, bool pt = false)
{
    c.Assign = true;
    c.Enable = true;
    c.IPAddress = address;
    c.Port = 8481;
    c.Protocol = kProtocolNative;
    c.ServerName = name;
    c.ServerLocation = "Hall";
    c.PT = pt;
}

} // namespace paneltest
