// The frame-sharing block: every received frame can be shared, without copying through the
// automation interface, with an in-process consumer that finds the block by the number that
// ClientStructPoint hands out. Two slots alternate; the consumer marks a slot busy while it reads
// it and the pipeline skips a busy slot. Fields in this order, without gaps.
#pragma once

#include "platform/handles.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace tessivor {

struct ClientBlock
{
    static constexpr std::size_t kSlotSize = 204800;

    std::atomic<std::int32_t> nextSlot{1}; // 1 or 2: the slot the next frame goes to
    std::atomic<std::int32_t> sequence1{0};
    std::atomic<std::int32_t> sequence2{0};
    std::atomic<std::int32_t> readerBusy1{0};
    std::atomic<std::int32_t> readerBusy2{0};
    std::atomic<std::int32_t> length1{0};
    std::atomic<std::int32_t> length2{0};
    std::atomic<std::int32_t> writing1{0};
    std::atomic<std::int32_t> writing2{0};
    std::uint8_t slot1[kSlotSize] = {};
    std::uint8_t slot2[kSlotSize] = {};
};

static_assert(sizeof(std::atomic<std::int32_t>) == 4);

// Blocks by the number ClientStructPoint handed out; null once the control is gone.
Handle registerClientBlock(std::shared_ptr<ClientBlock> block);
void unregisterClientBlock(Handle handle);
std::shared_ptr<ClientBlock> findClientBlock(Handle handle);

} // namespace tessivor
