// Memory of the still-image library.
//
// Image blocks: every image (header, palette, pixels) and every result handed to a caller
// (a JPEG saved to memory, for instance) lives in one zero-filled block from
// `img_block_alloc`. A hidden header in front of the block holds its size and a magic word, and
// the allocator keeps the set of live blocks, so that `img_block_size` and `img_block_free` can
// tell our blocks from any other pointer without reading memory that is not ours. The caller
// that receives a block owns it and frees it with `img_block_free`.
//
// Work memory: row buffers, masks, tables and stream buffers of one operation come from
// `img_work_alloc` and are freed with `img_work_free` before the operation returns, on every
// path.
//
// Both kinds count their live allocations, and a test hook can make the Nth allocation from now
// fail, so that the clean-up of every half-finished path can be tested.
//
// All functions are thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// A zero-filled block of `bytes` bytes (at least 1), aligned for any scalar; nullptr when no
// memory can be had.
void* img_block_alloc(std::size_t bytes);
// Frees a block from img_block_alloc. nullptr, and any pointer that is not the start of a live
// block, are ignored (a pointer into foreign memory is never dereferenced).
void img_block_free(void* block);
// Whether `p` is the start of a live block.
bool img_block_owned(const void* p);
// The size a live block was allocated with; 0 for anything else.
std::size_t img_block_size(const void* block);

// Zero-filled work memory for one operation; nullptr when no memory can be had.
void* img_work_alloc(std::size_t bytes);
// Work memory whose bytes are undefined until written, for buffers that are always filled before
// they are read (a stream window): it costs no pass over the memory. Counted and freed as above.
void* img_work_alloc_unfilled(std::size_t bytes);
// Frees work memory; nullptr is ignored.
void img_work_free(void* p);

// Work memory that frees itself.
struct ImgWorkFree
{
    void operator()(void* p) const noexcept { img_work_free(p); }
};
template <class T> using ImgWork = std::unique_ptr<T[], ImgWorkFree>;
template <class T> ImgWork<T> img_work_array(std::size_t count)
{
    if (count > SIZE_MAX / sizeof(T))
        return ImgWork<T>();
    return ImgWork<T>(static_cast<T*>(img_work_alloc(count * sizeof(T))));
}

template <class T> ImgWork<T> img_work_array_unfilled(std::size_t count)
{
    if (count > SIZE_MAX / sizeof(T))
        return ImgWork<T>();
    return ImgWork<T>(static_cast<T*>(img_work_alloc_unfilled(count * sizeof(T))));
}

// Number of live blocks plus live work allocations (for leak checks in tests).
std::size_t img_live_allocations();

// Test hook: the `n`th block or work allocation from now (1 = the next one) fails as if memory
// were exhausted; 0 disables. The failure happens once.
void img_fail_allocation(std::uint32_t n);
// Whether a failure set with img_fail_allocation has not happened yet.
bool img_allocation_failure_pending();
