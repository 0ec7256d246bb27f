// The stream layer through which the JPEG and TIFF coders read and write files and memory.
//
// A coder opens its input or output with img_open_read / img_open_write, which return a handle
// and fill the coder's ImgStreamOps with the four operations that go with it; the coder calls
// only through those and closes the handle before its entry point returns.
//
// Memory sources always carry their length in bytes: nothing is read past it, and seeking from
// the end uses it. Memory outputs grow as they are written and are gathered into one image
// block (img_memory.h) at the end. There are four memory read slots and four memory write slots
// in the process; taking and freeing a slot is thread-safe, and a slot is then used by the one
// operation that took it. A bad slot number is rejected, never used as an index.
#pragma once

#include <cstdint>
#include <string>

// A stream handle: a memory slot number 1 to 4, or a file. IMG_INVALID_HANDLE on failure.
using ImgHandle = std::intptr_t;
inline constexpr ImgHandle IMG_INVALID_HANDLE = -1;

// Seek methods.
enum : std::int32_t
{
    IMG_SEEK_SET = 0,
    IMG_SEEK_CUR = 1,
    IMG_SEEK_END = 2,
};

struct ImgStreamOps
{
    // Non-zero on success.
    std::int32_t (*close)(ImgHandle) = nullptr;
    // Moves by `distance` bytes from the start, the current position or the end; returns the
    // new position, or -1 (position unchanged) when the method is unknown or the position would
    // come before the start.
    std::int64_t (*seek)(ImgHandle, std::int32_t distance, std::int32_t method) = nullptr;
    // Non-zero on success; `done` receives the bytes read (0 at the end of the data).
    std::int32_t (*read)(ImgHandle, void* buffer, std::uint32_t count, std::uint32_t* done) = nullptr;
    // Non-zero on success; `done` receives the bytes written (fewer than `count` is a failure).
    std::int32_t (*write)(ImgHandle, const void* buffer, std::uint32_t count, std::uint32_t* done) = nullptr;
};

// UTF-8 form of a wide (UTF-32) file name; false for a value that is no Unicode scalar.
bool img_wide_to_utf8(const wchar_t* wide, std::string& out);

// 0 when `data`/`length` can be a memory source, else -52 (null pointer or zero length).
std::int32_t img_check_mem_source(const void* data, std::uint32_t length);

// Opens an output. With `memoryResult` (which is set to nullptr here): a memory write stream,
// gathered later with img_memw_collect. Otherwise the file named by `wideName` (when given) or
// `name`, created or emptied. Fills `ops` (close, seek, write; read stays null). Returns the
// handle, or IMG_INVALID_HANDLE; the caller then returns -10.
ImgHandle img_open_write(const wchar_t* wideName, const char* name, void** memoryResult, ImgStreamOps* ops);

// Opens an input. With `data`: a memory read stream over `length` bytes (null data or zero
// length fails). Otherwise the existing file named by `wideName` (when given) or `name`. Fills
// `ops` (close, seek, read; write stays null). Returns the handle, or IMG_INVALID_HANDLE; the
// caller then returns -4.
ImgHandle img_open_read(const wchar_t* wideName, const char* name, const void* data, std::uint32_t length,
                        ImgStreamOps* ops);

// Memory read streams.
// Takes the first free slot over `length` bytes at `data`; the slot number, or -1 when all
// four are busy or the source is empty.
std::int32_t img_memr_open(const void* data, std::uint32_t length);
std::int64_t img_memr_seek(ImgHandle slot, std::int32_t distance, std::int32_t method);
// Copies up to `count` bytes, never past the end of the source; 1 with `done` set, or 0 with
// `done` 0 for a bad slot.
std::int32_t img_memr_read(ImgHandle slot, void* buffer, std::uint32_t count, std::uint32_t* done);
std::int32_t img_memr_close(ImgHandle slot);

// Memory write streams.
// Takes the first free slot; its number, or -1 when all four are busy.
std::int32_t img_memw_open();
// Writes at the current position (a later write over the same bytes wins; a gap left by a
// seek past the end reads as zeros); 1 with `done` = count, or 0 with `done` 0 for a bad slot,
// exhausted memory or a size beyond 2 GiB - 1, the stream then unchanged.
std::int32_t img_memw_write(ImgHandle slot, const void* data, std::uint32_t count, std::uint32_t* done);
// Methods from the start and from the current position; any other method changes nothing.
// Returns the position, or -1 for a bad slot or a position before the start.
std::int64_t img_memw_seek(ImgHandle slot, std::int32_t distance, std::int32_t method);
// Gathers the stream's bytes (its size is the highest position ever written) into a new image
// block for the caller, who frees it with img_block_free and learns the length from
// img_block_size. -14 for a bad slot, an empty stream or exhausted memory.
std::int32_t img_memw_collect(ImgHandle slot, void** out);
std::int32_t img_memw_close(ImgHandle slot);

// Closes a stream when it goes out of scope (unless released).
class ImgStreamCloser
{
public:
    ImgStreamCloser(ImgHandle handle, const ImgStreamOps& ops) : m_handle(handle), m_ops(&ops) {}
    ~ImgStreamCloser() { close(); }
    ImgStreamCloser(const ImgStreamCloser&) = delete;
    ImgStreamCloser& operator=(const ImgStreamCloser&) = delete;
    // Closes now; the result of the close operation (non-zero on success), 0 when already closed.
    std::int32_t close()
    {
        std::int32_t r = 0;
        if (m_handle != IMG_INVALID_HANDLE && m_ops->close)
            r = m_ops->close(m_handle);
        m_handle = IMG_INVALID_HANDLE;
        return r;
    }

private:
    ImgHandle m_handle;
    const ImgStreamOps* m_ops;
};
