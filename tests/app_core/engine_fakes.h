// Recording fakes for the camera engine: controls, viewers, windows, message boxes, and a clock
// whose timers fire in simulated time. Every call the engine makes lands in one shared trace, in
// order, so a scenario can be compared with its expected sequence.
#pragma once

#include "app/core/camera_port.h"
#include "app/core/engine.h"
#include "app/core/engine_ports.h"
#include "app/core/event_log.h"
#include "app/core/viewer_port.h"

#include "platform/clock.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace enginetest {

using namespace pellucor;
using tessivor::InvokeKind;
using tessivor::Variant;

struct Trace
{
    std::vector<std::string> lines;
    void add(std::string line) { lines.push_back(std::move(line)); }
    std::size_t count(const std::string& line) const
    {
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
    }
    // Index of the first line equal to `line` at or after `from`, or npos.
    std::size_t find(const std::string& line, std::size_t from = 0) const
    {
        for (std::size_t i = from; i < lines.size(); ++i)
            if (lines[i] == line)
                return i;
        return std::string::npos;
    }
};

inline std::string shown(const Variant& v)
{
    if (v.type() == tessivor::VarType::Bstr)
        return "\"" + v.display() + "\"";
    if (v.type() == tessivor::VarType::Bool)
        return v.display() == "0" ? "False" : "True";
    return v.display();
}

// A simulated clock and its timers. sleepMs moves time on without firing timers (the engine's
// waits block the user-interface thread); advance() is the event loop: it fires due timers in
// time order.
class FakeClock : public tessivor::Clock, public TimerFactory, public UiServices
{
public:
    explicit FakeClock(std::time_t start) : m_start(start) {}

    std::uint32_t tickCount() override { return static_cast<std::uint32_t>(m_ms); }
    void sleepMs(std::uint32_t ms) override
    {
        m_ms += ms;
        m_slept += ms;
    }
    std::time_t now() override { return m_start + static_cast<std::time_t>(m_ms / 1000); }

    void processEvents() override
    {
        ++m_processed;
        if (onProcessEvents)
            onProcessEvents();
    }

    struct FakeTimer : Timer
    {
        FakeClock* clock = nullptr;
        std::int32_t ms = 1000;
        bool on = false;
        std::int64_t due = 0;
        std::function<void()> tick;
        void setInterval(std::int32_t v) override
        {
            ms = v;
            if (on)
                due = clock->m_ms + ms;
        }
        std::int32_t interval() const override { return ms; }
        void setEnabled(bool v) override
        {
            if (v && !on)
                due = clock->m_ms + ms;
            on = v;
        }
        bool enabled() const override { return on; }
        ~FakeTimer() override { std::erase(clock->m_timers, this); }
    };

    std::unique_ptr<Timer> create(std::int32_t intervalMs, bool enabled, std::function<void()> tick) override
    {
        auto t = std::make_unique<FakeTimer>();
        t->clock = this;
        t->tick = std::move(tick);
        t->setInterval(intervalMs);
        t->setEnabled(enabled);
        m_timers.push_back(t.get());
        return t;
    }

    // Runs the event loop for `ms` simulated milliseconds.
    void advance(std::int64_t ms)
    {
        const std::int64_t target = m_ms + ms;
        for (;;) {
            FakeTimer* next = nullptr;
            for (FakeTimer* t : m_timers)
                if (t->on && t->due <= target && (!next || t->due < next->due))
                    next = t;
            if (!next)
                break;
            m_ms = std::max(m_ms, next->due);
            next->due = std::max(next->due + next->ms, m_ms + 1);
            next->tick();
        }
        m_ms = std::max(m_ms, target);
    }
    // Moves to the absolute time `t` (seconds), running the loop on the way.
    void runUntil(std::time_t t) { advance((t - m_start) * 1000 - m_ms); }

    std::int64_t ms() const { return m_ms; }
    std::int64_t slept() const { return m_slept; }
    int processed() const { return m_processed; }
    std::function<void()> onProcessEvents;

private:
    std::time_t m_start;
    std::int64_t m_ms = 0;
    std::int64_t m_slept = 0;
    int m_processed = 0;
    std::vector<FakeTimer*> m_timers;
};

// A control that records every call and behaves like a camera that connects at once: Run makes
// Status 2, Stop makes it 0 (unless `stuck`), StartRecording 4, StopRecording 2.
class FakeControl : public LateBoundCamera
{
public:
    FakeControl(int slot, Trace& trace) : m_slot(slot), m_trace(trace) {}

    std::map<std::string, Variant, std::less<>> props;
    bool stuck = false;      // Stop leaves Status as it is
    std::int32_t login = -1; // LoginCamera's answer
    bool failNext = false;   // the next call fails
    bool traceGets = true;
    std::function<void(std::string_view)> onMethod;
    // GetImageConfig's answer: its result (-1 read) and the seven settings it fills in.
    std::int32_t imageConfigResult = -1;
    ImageSettings imageConfig{2, 1, 30, 64, 32, 8, 60};
    // Mode 1 (the read on the control's worker) answers `imageConfigStart` (-1: the read
    // started) and, when it started, hands the read's end (result and settings, as above) to
    // `endImageConfig`, which delivers it as the control's completion event would. Nothing comes
    // when it is not set, as from a read that never ends.
    std::int32_t imageConfigStart = -1;
    std::function<void(std::int32_t status, const ImageSettings& values)> endImageConfig;

    std::int32_t status() const
    {
        auto it = props.find("Status");
        std::int32_t v = 0;
        if (it != props.end())
            it->second.toI4(&v);
        return v;
    }
    void setStatus(std::int32_t v) { props["Status"] = Variant::i4(v); }

protected:
    Variant call(std::string_view member, InvokeKind kind, std::vector<Variant> declared) override
    {
        const std::string prefix = "Cam(" + std::to_string(m_slot) + ").";
        const std::string name(member);
        if (failNext) {
            failNext = false;
            m_trace.add(prefix + name + " failed");
            throw ControlError("fake failure");
        }
        if (kind == InvokeKind::PropertyPut) {
            m_trace.add(prefix + name + " = " + shown(declared.at(0)));
            props[name] = declared.at(0);
            return {};
        }
        if (kind == InvokeKind::PropertyGet) {
            auto it = props.find(member);
            Variant v = it != props.end() ? it->second : defaultOf(member);
            if (traceGets)
                m_trace.add(prefix + name + " -> " + shown(v));
            return v;
        }
        std::string args;
        for (const Variant& a : declared)
            args += (args.empty() ? "" : ", ") + shown(a);
        m_trace.add(prefix + name + "(" + args + ")");
        if (onMethod)
            onMethod(member);
        if (member == "Run") {
            setStatus(2);
            return Variant::i4(100 + m_slot);
        }
        if (member == "Stop") {
            if (!stuck)
                setStatus(0);
            return {};
        }
        if (member == "StartRecording") {
            setStatus(4);
            return {};
        }
        if (member == "StopRecording") {
            if (status() >= 3)
                setStatus(2);
            return {};
        }
        if (member == "LoginCamera")
            return Variant::i4(login);
        if (member == "GetKestraValue")
            return Variant::str("OK");
        return Variant::i4(0);
    }

    Variant callWithOuts(std::string_view member, InvokeKind kind, std::vector<Variant>& declared) override
    {
        Variant r = call(member, kind, declared);
        std::int32_t mode = 0;
        if (member == "GetImageConfig" && !declared.empty() && tessivor::succeeded(declared[0].toI4(&mode)) &&
            mode == 1) {
            if (imageConfigStart == -1 && endImageConfig)
                endImageConfig(imageConfigResult, imageConfig);
            return Variant::i4(imageConfigStart);
        }
        if (member == "GetImageConfig") {
            for (std::size_t i = 0; i < imageConfig.size() && i + 1 < declared.size(); ++i)
                declared[i + 1] = Variant::i2(imageConfig[i]);
            return Variant::i4(imageConfigResult);
        }
        return r;
    }

private:
    static Variant defaultOf(std::string_view member)
    {
        for (const CameraMember& m : cameraMembers()) {
            if (m.name != member || m.kind != InvokeKind::PropertyGet)
                continue;
            if (m.params.at(0) == "BSTR*")
                return Variant::str("");
            if (m.params.at(0) == "BOOL*")
                return Variant::boolean(false);
            return Variant::i4(0);
        }
        return Variant::i4(0);
    }

    int m_slot;
    Trace& m_trace;
};

class FakeViewer : public CameraViewer
{
public:
    FakeViewer(int slot, Trace& trace) : m_slot(slot), m_trace(trace) {}

    std::int32_t showing = 0;
    std::int32_t mode = 0;
    std::string mailFile;
    bool writesAlertPicture = true; // setAlertPicture(true) writes the mail file
    std::string cookie;
    std::string folder;

    void setUserName(const std::string& v) override { rec("setUserName", v); }
    void setPassword(const std::string& v) override { rec("setPassword", v); }
    std::string loginName() override
    {
        rec("loginName", "");
        return "admin user";
    }
    void setControlPort(const std::string& v) override { rec("setControlPort", v); }
    void setStreamPort(const std::string& v) override { rec("setStreamPort", v); }
    void setFirmwareVersion(const std::string& v) override { rec("setFirmwareVersion", v); }
    void setCameraAddress(const std::string& v) override { rec("setCameraAddress", v); }
    void setCookie(const std::string& v) override
    {
        cookie = v;
        rec("setCookie", "<cookie>");
    }
    void setDrawingWindow(std::int32_t h) override { rec("setDrawingWindow", std::to_string(h)); }
    void attachWindow(std::int32_t h, std::int16_t w, std::int16_t ht) override
    {
        rec("attachWindow", std::to_string(h) + ", " + std::to_string(w) + ", " + std::to_string(ht));
    }
    void prepare(const std::string& c, std::int32_t v) override
    {
        rec("prepare", c + ", " + std::to_string(v));
    }
    std::int32_t imageWidth() override { return 640; }
    std::int32_t imageHeight() override { return 480; }
    std::int32_t state() override { return showing ? CameraViewer::kStateShowing : 0; }
    void startShowing() override
    {
        showing = 1;
        rec("startShowing", "");
    }
    void stopShowing() override
    {
        showing = 0;
        rec("stopShowing", "");
    }
    void audioOn() override { rec("audioOn", ""); }
    void audioOff() override { rec("audioOff", ""); }
    void setMotionMode(std::int32_t m) override
    {
        mode = m;
        rec("setMotionMode", std::to_string(m));
    }
    std::int32_t motionMode() override { return mode; }
    void setMotionSensitivity(std::int32_t s) override { rec("setMotionSensitivity", std::to_string(s)); }
    void setMailPictureFile(const std::string& f) override
    {
        mailFile = f;
        rec("setMailPictureFile", f);
    }
    void setAlertPicture(bool on) override
    {
        rec("setAlertPicture", on ? "True" : "False");
        if (on && writesAlertPicture && !mailFile.empty()) {
            std::FILE* f = std::fopen(mailFile.c_str(), "wb");
            if (f) {
                std::fputs("jpeg", f);
                std::fclose(f);
            }
        }
    }
    void setSplitSize(std::int16_t mb) override { rec("setSplitSize", std::to_string(mb)); }
    void setRecordFolder(const std::string& f) override
    {
        folder = f;
        rec("setRecordFolder", f);
    }
    void startRecording() override { rec("startRecording", ""); }
    void stopRecording() override { rec("stopRecording", ""); }
    bool snapshotToFile(const std::string& f) override
    {
        rec("snapshotToFile", f);
        return true;
    }

private:
    void rec(const char* what, const std::string& args)
    {
        m_trace.add("CamViewer1(" + std::to_string(m_slot) + ")." + what + "(" + args + ")");
    }
    int m_slot;
    Trace& m_trace;
};

// Windows that record every call; showing and unloading keep WindowOpen as the real ones do.
class FakeWindows : public EngineWindows
{
public:
    FakeWindows(AppState& state, Trace& trace) : m_state(state), m_trace(trace) {}

    std::array<bool, kCameraCount> exists{};

    void showController() override
    {
        m_state.WindowOpen[0] = true;
        rec("frmController.Show");
    }
    void LedControl(int lamp, bool on) override
    {
        rec("frmController.LedControl(" + std::to_string(lamp) + ", " + (on ? "True" : "False") + ")");
    }
    void RefreshPanelText() override { rec("frmController.RefreshPanelText"); }
    void showView(int n) override
    {
        exists[static_cast<std::size_t>(n - 1)] = true;
        m_state.WindowOpen[static_cast<std::size_t>(n)] = true;
        rec(view(n) + ".Show");
    }
    void unloadView(int n) override
    {
        exists[static_cast<std::size_t>(n - 1)] = false;
        m_state.WindowOpen[static_cast<std::size_t>(n)] = false;
        rec(view(n) + ".Unload");
    }
    bool viewExists(int n) override { return exists[static_cast<std::size_t>(n - 1)]; }
    DrawTarget viewPicture(int n) override { return {1000 + n, 2000 + n, 352, 288}; }
    void setViewFirstActivate(int n, bool v) override
    {
        rec(view(n) + ".FirstActivate = " + (v ? "True" : "False"));
    }
    void setViewColorCtlOn(int n, bool v) override
    {
        rec(view(n) + ".ColorCtlOn = " + (v ? "True" : "False"));
    }
    void viewFormResize(int n) override { rec(view(n) + ".Form_Resize"); }
    void viewRefrushStatusBar(int n) override { rec(view(n) + ".RefrushStatusBar"); }
    void viewRefreshPicture(int n) override { rec(view(n) + ".Picture1.Refresh"); }
    void viewShowColorCtl(int n) override { rec(view(n) + ".ShowColorCtl_Fun"); }
    void viewShowMotionText(int n, bool on) override
    {
        rec(view(n) + ".ShowMotionText(" + (on ? "True" : "False") + ")");
    }
    void viewRecordGrayBTN(int n) override { rec(view(n) + ".RecordGrayBTN"); }
    void unloadCombined() override
    {
        m_state.WindowOpen[5] = false;
        rec("frmCombineWindow.Unload");
    }
    DrawTarget combinedPane(int n) override { return {3000 + n, 4000 + n, 320, 240}; }
    void combinedFormResize() override { rec("frmCombineWindow.Form_Resize"); }
    void combinedRefreshPane(int n) override
    {
        rec("frmCombineWindow.picCam(" + std::to_string(n) + ").Refresh");
    }
    void combinedShowMotionText(bool on) override
    {
        rec(std::string("frmCombineWindow.ShowMotionText(") + (on ? "True" : "False") + ")");
    }
    void combinedRecordGrayBTN(int n) override
    {
        rec("frmCombineWindow.RecordGrayBTN(" + std::to_string(n) + ")");
    }
    void combinedRefrushStatusBar(int n) override
    {
        rec("frmCombineWindow.RefrushStatusBar(" + std::to_string(n) + ")");
    }
    void showScan() override
    {
        m_state.WindowOpen[6] = true;
        rec("frmScan.Show");
    }
    void unloadScan() override
    {
        m_state.WindowOpen[6] = false;
        rec("frmScan.Unload");
    }
    DrawTarget scanTarget() override { return {5000, 6000, 640, 480}; }
    void scanRefresh() override { rec("frmScan.Refresh"); }
    void scanRefrushStatusBar() override { rec("frmScan.RefrushStatusBar"); }

private:
    static std::string view(int n) { return "frmClient" + std::to_string(n); }
    void rec(std::string s) { m_trace.add(std::move(s)); }
    AppState& m_state;
    Trace& m_trace;
};

class FakeMessages : public MessageBoxes
{
public:
    explicit FakeMessages(Trace& trace) : m_trace(trace) {}
    std::vector<std::string> shown;
    void show(const std::string& text, const std::string& title) override
    {
        shown.push_back(title.empty() ? text : title + ": " + text);
        m_trace.add("MsgBox " + shown.back());
    }

private:
    Trace& m_trace;
};

// An engine over fakes, in simulated time from `start`. A control given in `own` takes its
// slot's place (cam(n) of that slot is then not to be used).
struct EngineRig
{
    // `otherWindows` (when given) takes the engine's window calls in place of the recording fake.
    EngineRig(AppState& s, std::time_t start, EngineWindows* otherWindows = nullptr,
              std::array<std::unique_ptr<CameraControl>, kCameraCount> own = {})
        : state(s), clock(start), windows(s, trace), messages(trace), log(s, clock)
    {
        std::array<std::unique_ptr<CameraControl>, kCameraCount> cams;
        std::array<std::unique_ptr<CameraViewer>, kCameraCount> viewers;
        for (int n = 1; n <= kCameraCount; ++n) {
            const auto i = static_cast<std::size_t>(n - 1);
            auto v = std::make_unique<FakeViewer>(n, trace);
            viewer[i] = v.get();
            viewers[i] = std::move(v);
            if (own[i]) {
                cams[i] = std::move(own[i]);
                continue;
            }
            auto c = std::make_unique<FakeControl>(n, trace);
            control[i] = c.get();
            cams[i] = std::move(c);
        }
        EngineServices sv;
        sv.clock = &clock;
        sv.timers = &clock;
        sv.ui = &clock;
        sv.windows = otherWindows ? otherWindows : &windows;
        sv.messages = &messages;
        sv.log = &log;
        sv.freeSpace = [this](const std::filesystem::path& p) {
            trace.add("DiskFreeSpace");
            return freeBytes ? freeBytes(p) : 100e9;
        };
        sv.saveSetting = [this] {
            trace.add("SaveSetting");
            return true;
        };
        sv.processorLevel = [] { return std::int16_t{6}; };
        engine = std::make_unique<Engine>(state, std::move(sv), std::move(cams), std::move(viewers));
    }

    FakeControl& cam(int n) { return *control.at(static_cast<std::size_t>(n - 1)); }
    FakeViewer& viewerOf(int n) { return *viewer.at(static_cast<std::size_t>(n - 1)); }
    std::vector<std::string> linesSince(std::size_t from) const
    {
        return {trace.lines.begin() + static_cast<std::ptrdiff_t>(from), trace.lines.end()};
    }

    AppState& state;
    Trace trace;
    FakeClock clock;
    FakeWindows windows;
    FakeMessages messages;
    EventLog log;
    std::function<double(const std::filesystem::path&)> freeBytes;
    std::array<FakeControl*, kCameraCount> control{};
    std::array<FakeViewer*, kCameraCount> viewer{};
    std::unique_ptr<Engine> engine;
};

} // namespace enginetest
