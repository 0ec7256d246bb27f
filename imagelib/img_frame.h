// The frame every module of the still-image library stands on: result codes, the library
// exception that carries a code out of a coder, the process-wide module locks and the status
// word of the JPEG module.
//
// Calling convention: every public `img_` function returns a 32-bit signed result, 0 for
// success and one of the negative codes below otherwise (a few return a count or a handle and
// say so). No exception leaves the library: code deep inside a coder that meets a fatal
// condition calls `img_raise(code)`, and the entry point that started the work catches it with
// `img_guard` (coders: a fixed failure code, the raised code kept in the module's status word)
// or `img_entry` (other operations: the raised code is the result). Faults of the library's own
// memory use are never caught and turned into codes: the coders check their bounds before they
// touch memory and raise a code instead.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <utility>

// Result codes. The library produces no message texts.
enum : std::int32_t
{
    IMG_OK = 0,
    // Bad argument or area: missing pixels or header, area outside the image or beyond the
    // coordinate limit, bytes per row too small; no free memory-stream slot.
    IMG_ERR_ARGUMENT = -1,
    IMG_ERR_SAVE = -3,           // a JPEG save or TIFF operation ended on a caught exception
    IMG_ERR_OPEN_INPUT = -4,     // the input file or memory source cannot be opened
    IMG_ERR_RANGE = -5,          // an argument outside its allowed range (colours, modes, sizes)
    IMG_ERR_CREATE_OUTPUT = -10, // the output file or memory stream cannot be created
    IMG_ERR_COMPRESSED = -12,    // the bitmap header says the pixels are compressed
    IMG_ERR_NO_MEMORY = -14,     // out of memory, or a drawing surface cannot be used
    IMG_ERR_NO_THUMBNAIL = -15,  // the JPEG source holds no usable thumbnail
    IMG_ERR_PRINT = -18,         // printing cannot start a document or page
    IMG_ERR_DEPTH = -26,         // bits per pixel not accepted, or the two images differ in it
    IMG_ERR_NO_PIXELS = -42,     // the image has no pixel memory
    IMG_ERR_JPEG_HEADER = -43,   // bad JPEG header, or header reading ended on an exception
    IMG_ERR_MEM_SOURCE = -52,    // a memory source without data: null pointer or zero length
    IMG_ERR_JPEG_DECODE = -62,   // a JPEG decode (or TIFF read) ended on an exception
    IMG_ERR_BITMAP_QUERY = -68,  // a bitmap handle cannot be queried
    // Internal codes, raised inside the coders and kept in the module's status word.
    IMG_ERR_END_OF_DATA = -101, // the input ended
    IMG_ERR_READ = -104,        // the input could not be read
};

// The exception a coder raises; it carries one of the codes above and nothing else.
class ImgError : public std::exception
{
public:
    explicit ImgError(std::int32_t code) noexcept : m_code(code) {}
    std::int32_t code() const noexcept { return m_code; }
    const char* what() const noexcept override { return "imagelib error"; }

private:
    std::int32_t m_code;
};

[[noreturn]] void img_raise(std::int32_t code);

// The form in which a caught code is kept in a status word: negative codes get bit 28 set
// (the library's own small negative codes already have it, so they read back unchanged).
constexpr std::int32_t img_status_code(std::int32_t code)
{
    return code < 0 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(code) | 0x10000000u) : code;
}

// Status word of the JPEG module: the code of the last failure caught at a JPEG entry point,
// or a soft status of the input refill; the JPEG reader clears it when it opens its input.
// Read without the module lock (hence atomic).
extern std::atomic<std::int32_t> img_status;

// Runs the work of a coder entry point. Returns what `work` returns; when it raises, the code
// (or -14 for exhausted memory) goes into `status` (when given) in status form and the result
// is `failureCode`. The caller frees its work memory and closes its stream on every path, so
// it does that after this returns (or through destructors).
template <class Work>
std::int32_t img_guard(std::int32_t failureCode, std::atomic<std::int32_t>* status, Work&& work) noexcept
{
    std::int32_t caught;
    try {
        return std::forward<Work>(work)();
    } catch (const ImgError& e) {
        caught = e.code();
    } catch (const std::bad_alloc&) {
        caught = IMG_ERR_NO_MEMORY;
    } catch (...) {
        caught = failureCode;
    }
    if (status)
        status->store(img_status_code(caught));
    return failureCode;
}

// Runs the work of a non-coder entry point: a raised code is the result, exhausted memory -14.
template <class Work> std::int32_t img_entry(Work&& work) noexcept
{
    try {
        return std::forward<Work>(work)();
    } catch (const ImgError& e) {
        return e.code();
    } catch (const std::bad_alloc&) {
        return IMG_ERR_NO_MEMORY;
    } catch (...) {
        return IMG_ERR_ARGUMENT;
    }
}

// The library modules that keep process-wide working state. Each is entered by one thread at a
// time, for the whole operation, through its lock. The locks are plain static mutexes: they
// exist before first use (so two threads arriving at once are safe) and live until the process
// ends. All other operations (allocation, display, resize, rotation, conversions without colour
// reduction) keep no shared state and take no lock.
enum class ImgModule : int
{
    Jpeg = 0,        // every JPEG load, save and header query
    Tiff,            // every TIFF load, save and query
    ColourReduction, // img_reduce_colors
    Print,           // printing
    Count
};

// Holds the module's lock until the returned object is destroyed.
[[nodiscard]] std::unique_lock<std::mutex> img_module_lock(ImgModule module);

// Vector paths: resize and quarter turns have AVX-512 (VBMI) forms that give exactly the plain
// forms' output. They run when the processor has the instructions and they are allowed (the
// default); switching them off lets tests compare the two forms. Thread-safe.
void img_allow_vector_paths(bool allow);
bool img_vector_paths_usable();

// Forms of the 24-bit nearest-neighbour resize. `Best` (the default) takes the fastest one the
// processor has: AVX-512 VBMI, else SSSE3, else the plain form. All give the same bytes.
enum class ImgResizePath : int
{
    Best,
    Plain,
    Ssse3,
    Vbmi,
};
// Makes later resizes use `path` (tests compare each form with the plain one); false, and
// nothing changed, when the processor lacks it. Thread-safe.
bool img_force_resize_path(ImgResizePath path);
// The form a resize started now uses: always Plain while vector paths are switched off.
ImgResizePath img_resize_path();
