// Glue between the JPEG coder and the library's stream layer: the coder's byte source and sink
// over an open stream, opening a JPEG input with its 64 KiB window, and the header read that the
// header queries and the decoder share.
#pragma once

#include "imagelib/img_memory.h"
#include "imagelib/img_stream.h"
#include "imagelib/jpeg_bitwriter.h"
#include "imagelib/jpeg_input.h"
#include "imagelib/jpeg_markers.h"

#include <cstdint>
#include <optional>

namespace tessivor::jpeg {

// A file by wide or narrow name (the wide one wins), or memory data with its length.
struct JpegInputName
{
    const wchar_t* wideName = nullptr;
    const char* name = nullptr;
    const void* data = nullptr;
    std::uint32_t length = 0;
    bool memory = false;
};

class StreamSource : public ByteSource
{
public:
    StreamSource(ImgHandle handle, const ImgStreamOps& ops) : m_handle(handle), m_ops(ops) {}
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override;
    void seek(std::uint64_t position) override;

private:
    ImgHandle m_handle;
    const ImgStreamOps& m_ops;
};

class StreamSink : public ByteSink
{
public:
    StreamSink(ImgHandle handle, const ImgStreamOps& ops) : m_handle(handle), m_ops(ops) {}
    bool write(const std::uint8_t* data, std::size_t size) override;

private:
    ImgHandle m_handle;
    const ImgStreamOps& m_ops;
};

// An open JPEG input and its window; closes and frees both when destroyed.
class JpegInput
{
public:
    JpegInput() = default;
    ~JpegInput();
    JpegInput(const JpegInput&) = delete;
    JpegInput& operator=(const JpegInput&) = delete;

    // 0; -52 for an empty memory source; -4 when the input cannot be opened; -14 without memory
    // for the window.
    std::int32_t open(const JpegInputName& input);
    InputWindow& window() { return *m_window; }

private:
    ImgStreamOps m_ops;
    ImgHandle m_handle = IMG_INVALID_HANDLE;
    std::optional<StreamSource> m_source;
    ImgWork<std::uint8_t> m_buffer;
    std::optional<InputWindow> m_window;
};

// The coefficients of a component for the whole picture (64 16-bit values per block, zero
// filled), for the coding paths that visit every block more than once; empty without memory.
// Work memory of the coder is held by owners like this one and freed when they go out of
// scope, on every path, so there is no separate clear and free step.
ImgWork<std::int16_t> img_jpeg_alloc_coef(std::size_t blocks);

// Opens `input` into `in` and walks the headers from SOI to the first SOS into `header`
// (cleared first), clearing the status word. 0, the open codes of JpegInput, or -43 (status set
// when an internal code ended the walk). A decoder goes on with the same `in`, from offset 0.
std::int32_t img_jpeg_read_headers(const JpegInputName& input, JpegInput& in, JpegHeader& header);

} // namespace tessivor::jpeg
