// The engine over the real control module, for end-to-end tests: the module registered from its
// build (TESSIVOR_MODULE_FILE), its controls created by ProgID and called late-bound, recording
// fakes for the viewers, real time for the waits.
#pragma once

#include "engine_fakes.h"
#include "real_time_services.h"
#include "register_module.h"

#include "app/core/control_adapter.h"

#include "platform/registration.h"

#include <gtest/gtest.h>

namespace enginetest {

// The engine with the module's controls; `error` says why a control could not be made.
inline std::unique_ptr<Engine> makeEngineWithRealControls(AppState& state, EngineServices sv, Trace& trace,
                                                          std::string& error)
{
    return std::make_unique<Engine>(
        state, std::move(sv),
        [&error](int n, CameraEvents& events) -> std::unique_ptr<CameraControl> {
            return DispatchCamera::create(kControlProgId, n, &events, &error);
        },
        [&trace](int n, ViewerEvents&) -> std::unique_ptr<CameraViewer> {
            return std::make_unique<FakeViewer>(n, trace);
        });
}

} // namespace enginetest
