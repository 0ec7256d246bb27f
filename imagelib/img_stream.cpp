// Files and memory streams of the still-image library (see img_stream.h).
#include "imagelib/img_stream.h"

#include "imagelib/img_frame.h"
#include "imagelib/img_memory.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr int kSlots = 4;
// Positions and sizes of memory streams are 32-bit byte offsets.
constexpr std::int64_t kMaxMemoryPosition = 0x7FFFFFFF;

struct MemReadSlot
{
    std::int32_t number = 0; // 0 = free
    const std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
    std::int64_t position = 0;
};

struct MemWriteSlot
{
    std::int32_t number = 0;       // 0 = free
    std::uint8_t* bytes = nullptr; // work memory, `capacity` bytes, zero beyond `size`
    std::uint32_t capacity = 0;
    std::uint32_t size = 0; // highest position ever written
    std::int64_t position = 0;
};

std::mutex g_slotMutex;
std::array<MemReadSlot, kSlots> g_readSlots;
std::array<MemWriteSlot, kSlots> g_writeSlots;

// The slot behind a handle, or nullptr when the handle names no slot that is open.
template <class Slot> Slot* slotOf(std::array<Slot, kSlots>& slots, ImgHandle handle)
{
    if (handle < 1 || handle > kSlots)
        return nullptr;
    Slot& s = slots[static_cast<std::size_t>(handle - 1)];
    return s.number == handle ? &s : nullptr;
}

// New position for a seek, or -1 when the method is unknown or the result lies before the start
// or beyond the 32-bit range of memory positions.
std::int64_t seekTarget(std::int64_t position, std::int64_t end, std::int32_t distance, std::int32_t method)
{
    std::int64_t base;
    switch (method) {
    case IMG_SEEK_SET:
        base = 0;
        break;
    case IMG_SEEK_CUR:
        base = position;
        break;
    case IMG_SEEK_END:
        if (end < 0)
            return -1;
        base = end;
        break;
    default:
        return -1;
    }
    const std::int64_t target = base + distance;
    return target < 0 || target > kMaxMemoryPosition ? -1 : target;
}

// ---- files ----

std::FILE* fileOf(ImgHandle h)
{
    return reinterpret_cast<std::FILE*>(h);
}

std::int32_t fileClose(ImgHandle h)
{
    return std::fclose(fileOf(h)) == 0 ? 1 : 0;
}

std::int64_t fileSeek(ImgHandle h, std::int32_t distance, std::int32_t method)
{
    int whence;
    switch (method) {
    case IMG_SEEK_SET:
        whence = SEEK_SET;
        break;
    case IMG_SEEK_CUR:
        whence = SEEK_CUR;
        break;
    case IMG_SEEK_END:
        whence = SEEK_END;
        break;
    default:
        return -1;
    }
    if (std::fseek(fileOf(h), distance, whence) != 0)
        return -1;
    return std::ftell(fileOf(h));
}

std::int32_t fileRead(ImgHandle h, void* buffer, std::uint32_t count, std::uint32_t* done)
{
    const std::size_t n = std::fread(buffer, 1, count, fileOf(h));
    if (done)
        *done = static_cast<std::uint32_t>(n);
    return std::ferror(fileOf(h)) ? 0 : 1;
}

std::int32_t fileWrite(ImgHandle h, const void* buffer, std::uint32_t count, std::uint32_t* done)
{
    const std::size_t n = std::fwrite(buffer, 1, count, fileOf(h));
    if (done)
        *done = static_cast<std::uint32_t>(n);
    return n == count ? 1 : 0;
}

// UTF-8 form of a wide (UTF-32) file name; false for a value that is no Unicode scalar.
bool wideToUtf8(const wchar_t* wide, std::string& out)
{
    out.clear();
    for (; *wide; ++wide) {
        const auto c = static_cast<std::uint32_t>(*wide);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            if (c >= 0xD800 && c <= 0xDFFF)
                return false;
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x110000) {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            return false;
        }
    }
    return true;
}

ImgHandle openFile(const wchar_t* wideName, const char* name, const char* mode)
{
    std::string utf8;
    if (wideName) {
        try {
            if (!wideToUtf8(wideName, utf8))
                return IMG_INVALID_HANDLE;
        } catch (...) {
            return IMG_INVALID_HANDLE;
        }
        name = utf8.c_str();
    }
    if (!name || !*name)
        return IMG_INVALID_HANDLE;
    std::FILE* f = std::fopen(name, mode);
    return f ? reinterpret_cast<ImgHandle>(f) : IMG_INVALID_HANDLE;
}

} // namespace

bool img_wide_to_utf8(const wchar_t* wide, std::string& out)
{
    return wideToUtf8(wide, out);
}

std::int32_t img_check_mem_source(const void* data, std::uint32_t length)
{
    return data && length ? IMG_OK : IMG_ERR_MEM_SOURCE;
}

ImgHandle img_open_write(const wchar_t* wideName, const char* name, void** memoryResult, ImgStreamOps* ops)
{
    if (!ops)
        return IMG_INVALID_HANDLE;
    *ops = ImgStreamOps{};
    if (memoryResult) {
        *memoryResult = nullptr;
        const std::int32_t slot = img_memw_open();
        if (slot < 0)
            return IMG_INVALID_HANDLE;
        ops->close = img_memw_close;
        ops->seek = img_memw_seek;
        ops->write = img_memw_write;
        return slot;
    }
    const ImgHandle h = openFile(wideName, name, "wb");
    if (h != IMG_INVALID_HANDLE) {
        ops->close = fileClose;
        ops->seek = fileSeek;
        ops->write = fileWrite;
    }
    return h;
}

ImgHandle img_open_read(const wchar_t* wideName, const char* name, const void* data, std::uint32_t length,
                        ImgStreamOps* ops)
{
    if (!ops)
        return IMG_INVALID_HANDLE;
    *ops = ImgStreamOps{};
    if (data) {
        const std::int32_t slot = img_memr_open(data, length);
        if (slot < 0)
            return IMG_INVALID_HANDLE;
        ops->close = img_memr_close;
        ops->seek = img_memr_seek;
        ops->read = img_memr_read;
        return slot;
    }
    const ImgHandle h = openFile(wideName, name, "rb");
    if (h != IMG_INVALID_HANDLE) {
        ops->close = fileClose;
        ops->seek = fileSeek;
        ops->read = fileRead;
    }
    return h;
}

// ---- memory read streams ----

std::int32_t img_memr_open(const void* data, std::uint32_t length)
{
    if (img_check_mem_source(data, length) != IMG_OK)
        return -1;
    std::lock_guard lock(g_slotMutex);
    for (int i = 0; i < kSlots; ++i) {
        MemReadSlot& s = g_readSlots[static_cast<std::size_t>(i)];
        if (s.number == 0) {
            s = MemReadSlot{i + 1, static_cast<const std::uint8_t*>(data), length, 0};
            return i + 1;
        }
    }
    return -1;
}

std::int64_t img_memr_seek(ImgHandle slot, std::int32_t distance, std::int32_t method)
{
    std::lock_guard lock(g_slotMutex);
    MemReadSlot* s = slotOf(g_readSlots, slot);
    if (!s)
        return -1;
    const std::int64_t target = seekTarget(s->position, s->length, distance, method);
    if (target >= 0)
        s->position = target;
    return target;
}

std::int32_t img_memr_read(ImgHandle slot, void* buffer, std::uint32_t count, std::uint32_t* done)
{
    if (done)
        *done = 0;
    std::lock_guard lock(g_slotMutex);
    MemReadSlot* s = slotOf(g_readSlots, slot);
    if (!s || (!buffer && count))
        return 0;
    // A position past the end (after a seek) reads nothing.
    const std::int64_t left = s->position < s->length ? s->length - s->position : 0;
    const std::uint32_t n = count < left ? count : static_cast<std::uint32_t>(left);
    if (n)
        std::memcpy(buffer, s->data + s->position, n);
    s->position += n;
    if (done)
        *done = n;
    return 1;
}

std::int32_t img_memr_close(ImgHandle slot)
{
    std::lock_guard lock(g_slotMutex);
    MemReadSlot* s = slotOf(g_readSlots, slot);
    if (!s)
        return 0;
    *s = MemReadSlot{};
    return 1;
}

// ---- memory write streams ----

std::int32_t img_memw_open()
{
    std::lock_guard lock(g_slotMutex);
    for (int i = 0; i < kSlots; ++i) {
        MemWriteSlot& s = g_writeSlots[static_cast<std::size_t>(i)];
        if (s.number == 0) {
            s = MemWriteSlot{};
            s.number = i + 1;
            return i + 1;
        }
    }
    return -1;
}

std::int32_t img_memw_write(ImgHandle slot, const void* data, std::uint32_t count, std::uint32_t* done)
{
    if (done)
        *done = 0;
    std::lock_guard lock(g_slotMutex);
    MemWriteSlot* s = slotOf(g_writeSlots, slot);
    if (!s || (!data && count))
        return 0;
    const std::int64_t end = s->position + count;
    if (end > kMaxMemoryPosition)
        return 0;
    if (end > s->capacity) {
        // Grow geometrically; the new bytes are zero, so gaps read as zeros.
        std::int64_t capacity = s->capacity ? s->capacity : 4096;
        while (capacity < end)
            capacity *= 2;
        if (capacity > kMaxMemoryPosition)
            capacity = kMaxMemoryPosition;
        auto* grown = static_cast<std::uint8_t*>(img_work_alloc(static_cast<std::size_t>(capacity)));
        if (!grown)
            return 0;
        if (s->size)
            std::memcpy(grown, s->bytes, s->size);
        img_work_free(s->bytes);
        s->bytes = grown;
        s->capacity = static_cast<std::uint32_t>(capacity);
    }
    if (count)
        std::memcpy(s->bytes + s->position, data, count);
    s->position = end;
    if (end > s->size)
        s->size = static_cast<std::uint32_t>(end);
    if (done)
        *done = count;
    return 1;
}

std::int64_t img_memw_seek(ImgHandle slot, std::int32_t distance, std::int32_t method)
{
    std::lock_guard lock(g_slotMutex);
    MemWriteSlot* s = slotOf(g_writeSlots, slot);
    if (!s)
        return -1;
    if (method != IMG_SEEK_SET && method != IMG_SEEK_CUR)
        return s->position;
    const std::int64_t target = seekTarget(s->position, -1, distance, method);
    if (target >= 0)
        s->position = target;
    return target;
}

std::int32_t img_memw_collect(ImgHandle slot, void** out)
{
    if (out)
        *out = nullptr;
    std::lock_guard lock(g_slotMutex);
    MemWriteSlot* s = slotOf(g_writeSlots, slot);
    if (!s || s->size == 0 || !out)
        return IMG_ERR_NO_MEMORY;
    void* block = img_block_alloc(s->size);
    if (!block)
        return IMG_ERR_NO_MEMORY;
    std::memcpy(block, s->bytes, s->size);
    *out = block;
    return IMG_OK;
}

std::int32_t img_memw_close(ImgHandle slot)
{
    std::lock_guard lock(g_slotMutex);
    MemWriteSlot* s = slotOf(g_writeSlots, slot);
    if (!s)
        return 0;
    img_work_free(s->bytes);
    *s = MemWriteSlot{};
    return 1;
}
