// Block and work allocators of the still-image library (see img_memory.h).
#include "imagelib/img_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>

namespace {

// Written in front of every image block. 16 bytes keep the block aligned like malloc's.
struct BlockHeader
{
    std::uint64_t size;
    std::uint64_t magic;
};
static_assert(sizeof(BlockHeader) == 16);

constexpr std::uint64_t kBlockMagic = 0x696d67626c6f636bULL; // "imgblock"

std::mutex g_blocksMutex;
std::unordered_set<const void*>& liveBlocks()
{
    static auto* blocks = new std::unordered_set<const void*>; // outlives static destructors
    return *blocks;
}

std::atomic<std::size_t> g_liveWork{0};
std::atomic<std::uint32_t> g_failCountdown{0};

// True when the test hook says this allocation fails.
bool hookFails()
{
    std::uint32_t n = g_failCountdown.load();
    while (n != 0) {
        if (g_failCountdown.compare_exchange_weak(n, n - 1))
            return n == 1;
    }
    return false;
}

BlockHeader* headerOf(const void* block)
{
    return reinterpret_cast<BlockHeader*>(
        const_cast<unsigned char*>(static_cast<const unsigned char*>(block)) - sizeof(BlockHeader));
}

} // namespace

void* img_block_alloc(std::size_t bytes)
{
    if (bytes == 0)
        bytes = 1;
    if (bytes > SIZE_MAX - sizeof(BlockHeader) || hookFails())
        return nullptr;
    auto* header = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader) + bytes));
    if (!header)
        return nullptr;
    header->size = bytes;
    header->magic = kBlockMagic;
    void* block = header + 1;
    try {
        std::lock_guard lock(g_blocksMutex);
        liveBlocks().insert(block);
    } catch (...) {
        std::free(header);
        return nullptr;
    }
    return block;
}

void img_block_free(void* block)
{
    if (!block)
        return;
    {
        std::lock_guard lock(g_blocksMutex);
        if (liveBlocks().erase(block) == 0)
            return; // not ours, or freed already
    }
    BlockHeader* header = headerOf(block);
    // A live block whose header was overwritten means memory corruption; no result code can
    // make that safe.
    if (header->magic != kBlockMagic)
        std::abort();
    header->magic = 0;
    std::free(header);
}

bool img_block_owned(const void* p)
{
    if (!p)
        return false;
    std::lock_guard lock(g_blocksMutex);
    return liveBlocks().count(p) != 0;
}

std::size_t img_block_size(const void* block)
{
    if (!img_block_owned(block))
        return 0;
    return static_cast<std::size_t>(headerOf(block)->size);
}

void* img_work_alloc(std::size_t bytes)
{
    if (hookFails())
        return nullptr;
    void* p = std::calloc(1, bytes ? bytes : 1);
    if (p)
        ++g_liveWork;
    return p;
}

void* img_work_alloc_unfilled(std::size_t bytes)
{
    if (hookFails())
        return nullptr;
    void* p = std::malloc(bytes ? bytes : 1);
    if (p)
        ++g_liveWork;
    return p;
}

void img_work_free(void* p)
{
    if (!p)
        return;
    --g_liveWork;
    std::free(p);
}

std::size_t img_live_allocations()
{
    std::lock_guard lock(g_blocksMutex);
    return liveBlocks().size() + g_liveWork.load();
}

void img_fail_allocation(std::uint32_t n)
{
    g_failCountdown.store(n);
}

bool img_allocation_failure_pending()
{
    return g_failCountdown.load() != 0;
}
