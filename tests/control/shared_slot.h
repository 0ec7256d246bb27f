// The fields of one slot of the frame-sharing block, as a consumer in a test reads them.
#pragma once

#include "control/client_block.h"

#include <atomic>
#include <cstdint>

namespace tessivor::testing {

struct SharedSlot
{
    std::atomic<std::int32_t>& sequence;
    std::atomic<std::int32_t>& readerBusy;
    std::atomic<std::int32_t>& writing;
    std::atomic<std::int32_t>& length;
    const std::uint8_t* data;
};

// Slot 0 is the block's first slot, 1 its second.
inline SharedSlot sharedSlot(ClientBlock& b, int slot)
{
    if (slot == 0)
        return {b.sequence1, b.readerBusy1, b.writing1, b.length1, b.slot1};
    return {b.sequence2, b.readerBusy2, b.writing2, b.length2, b.slot2};
}

} // namespace tessivor::testing
