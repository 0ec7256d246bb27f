// What the control keeps of the camera's configuration: the configuration block as the last read
// left it (and as SetConfigValue changes it), the selectors of the indexed fields, and the user
// list that GetUserCount builds from the block, and the login thread. The block, selectors and
// users are used on the host's thread only (the members that touch them run there).
#pragma once

#include "camproto/config_block.h"
#include "platform/worker_thread.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessivor {

// One user as the block's user table holds it: name 12 bytes, password 8, access word.
struct UserEntry
{
    std::array<std::uint8_t, camproto::kUserEntrySize> bytes{};
};

struct CameraConfigState
{
    camproto::ConfigBlock block{};
    camproto::ConfigSelectors selectors;
    std::vector<UserEntry> users; // at most 64
    WorkerThread loginThread;     // LoginCamera's own thread
};

} // namespace tessivor
