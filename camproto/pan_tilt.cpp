// Pan/tilt request texts (see pan_tilt.h).
#include "camproto/pan_tilt.h"

#include <array>

namespace tessivor::camproto {

bool isPanTiltMove(int command)
{
    return command >= 0 && command <= 8;
}

bool isPanTiltSwing(int command)
{
    return command >= 50 && command <= 52;
}

std::optional<std::string> panTiltPostBody(int command)
{
    if (isPanTiltMove(command))
        return "PanSingleMoveDegree=1&TiltSingleMoveDegree=1&PanTiltSingleMove=" + std::to_string(command);
    if (isPanTiltSwing(command))
        return "PanTiltSwingMode=" + std::to_string(command - kPanTiltSwingOffCommand);
    return std::nullopt;
}

std::vector<std::string> kestraPanTiltPaths(int command)
{
    if (!isPanTiltMove(command))
        return {};
    // Per pad cell: the vertical step, then the horizontal one (either may be absent).
    static constexpr std::array<std::array<const char*, 2>, 9> kSteps{{
        {"up", "left"},
        {"up", nullptr},
        {"up", "right"},
        {nullptr, "left"},
        {"home", nullptr},
        {nullptr, "right"},
        {"down", "left"},
        {"down", nullptr},
        {"down", "right"},
    }};
    std::vector<std::string> paths;
    for (const char* step : kSteps[static_cast<std::size_t>(command)])
        if (step != nullptr)
            paths.push_back(std::string("/goform/CfgPT_Direction?f_PT_DIRECTION=") + step);
    return paths;
}

} // namespace tessivor::camproto
