// The settings dialogs' test rig: a temporary home with the shipped packs, the camera engine over
// recording fakes (every control call lands in one trace), scripted message boxes and file
// dialogs, and windows that record what the dialogs ask of them.
#pragma once

#include "../app_core/engine_fakes.h"
#include "../setup/dialog_test_support.h"

#include "app/core/profile.h"
#include "app/settings/settings_dialogs.h"

#include <algorithm>

namespace settingstest {

using namespace pellucor;
using namespace dialogtest;

// The panel and windows as the profile commands see them; Erase_Fun empties the slot as the
// panel does.
class FakeHost : public SettingsHost
{
public:
    explicit FakeHost(AppState& state) : m_state(state) {}
    std::vector<std::string> calls;
    void Erase_Fun(int slot) override
    {
        calls.push_back("Erase_Fun(" + std::to_string(slot) + ")");
        m_state.CurCam = slot;
        CamInfo empty;
        m_state.cam(slot) = empty;
    }
    void showView(int slot) override { calls.push_back("showView(" + std::to_string(slot) + ")"); }
    void RefrushStatusBar(int slot) override
    {
        calls.push_back("RefrushStatusBar(" + std::to_string(slot) + ")");
    }
    void unloadCombined() override { calls.push_back("unloadCombined"); }
    void unloadScan() override { calls.push_back("unloadScan"); }
    void showPanel() override { calls.push_back("showPanel"); }

private:
    AppState& m_state;
};

struct Rig
{
    explicit Rig(bool withPack = true)
        : home(withPack), engine(home.state, 1000), host(home.state), context(home.state, *engine.engine)
    {
        context.prompts = &prompts;
        context.host = &host;
        context.now = [] { return QDateTime(QDate(2026, 3, 10), QTime(12, 0)); };
        context.pause = [](std::uint32_t) {};
    }

    AppState& state() { return home.state; }
    std::vector<std::string>& trace() { return engine.trace.lines; }
    // Trace lines from `from` on that start with `prefix`.
    std::vector<std::string> lines(const std::string& prefix, std::size_t from = 0) const
    {
        std::vector<std::string> out;
        for (std::size_t i = from; i < engine.trace.lines.size(); ++i)
            if (engine.trace.lines[i].rfind(prefix, 0) == 0)
                out.push_back(engine.trace.lines[i]);
        return out;
    }
    std::size_t mark() const { return engine.trace.lines.size(); }
    std::filesystem::path profile() const { return profilePath(home.state); }

    TestHome home;
    enginetest::EngineRig engine;
    ScriptedPrompts prompts;
    FakeHost host;
    SettingsContext context;
};

template <typename W> W& find(QWidget& parent, const char* name)
{
    return child<W>(parent, name);
}

} // namespace settingstest
