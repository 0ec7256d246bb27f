// CMemoryDataSource: a data source over a fixed-size memory buffer, either the caller's or one
// of its own. Message bodies are read and filled through it.
//
// The buffer has room for `size` data bytes and a terminating NUL (size + 1 bytes), so that a
// text written into it stays a C string. The data length is what was written (binary data with
// NUL bytes included); over a caller's buffer that was not written through the source it is the
// text length of the buffer, measured when the source is opened.
#pragma once

#include "io/data_source.h"

#include <string>

namespace tessivor {

class CMemoryDataSource : public CDataSource
{
public:
    // Without a buffer the source owns size + 1 bytes holding an empty text. A caller's buffer
    // stays the caller's, must hold size + 1 bytes and must outlive the source; its data length
    // starts as its text length (up to the first NUL, at most size).
    CMemoryDataSource(char* buffer, std::int32_t size, const char* name);
    ~CMemoryDataSource() override;
    CMemoryDataSource(const CMemoryDataSource&) = delete;
    CMemoryDataSource& operator=(const CMemoryDataSource&) = delete;

    // A new source owning a copy of the buffer, with the same length and name.
    CDataSource* Clone() override;
    // Mode 1 empties the data; mode 2 puts the position at the end of the data; mode 0 (and any
    // other) at the start. Always 0.
    std::int32_t Open(std::int32_t mode) override;
    std::int32_t Close() override;
    std::int32_t ReadLine(char* buffer, std::int32_t size) override;
    // Writes the whole line or nothing (-1 when it does not fit).
    std::int32_t WriteLine(const char* text) override;
    std::int32_t Read(void* buffer, std::int32_t count) override;
    // Copies min(count, capacity - position) bytes at the position and puts a NUL after them;
    // the data then ends there (anything after it is dropped).
    std::int32_t Write(const void* data, std::int32_t count) override;
    // A target before the start or beyond the data gives -1.
    std::int32_t Seek(std::int32_t offset, std::int32_t origin) override;

    const char* GetData() const { return m_data; }
    std::int32_t GetLength() const { return m_length; }
    std::int32_t GetCapacity() const { return m_capacity; }

private:
    char* m_data = nullptr;
    std::int32_t m_capacity = 0;
    std::int32_t m_length = 0;
    std::int32_t m_position = 0;
    bool m_owned = false;
    bool m_written = false; // data was written through the source: its length is known exactly
    std::string m_name;
};

} // namespace tessivor
