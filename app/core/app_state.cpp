#include "app/core/app_state.h"

namespace pellucor {

void InitGlobals(AppState& state, std::time_t now)
{
    // A fresh object holds every start value; only the folders, found before, carry over.
    AppState fresh;
    fresh.paths = state.paths;
    for (CamInfo& cam : fresh.cams)
        cam.LastMotion = now;
    fresh.settings.Storage(1) = {fresh.paths.defaultStorage().string(), true};
    state = std::move(fresh);
}

} // namespace pellucor
