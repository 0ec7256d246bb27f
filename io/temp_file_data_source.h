// CTempFileDataSource: a data source over a file that grows while it is written, for data whose
// size is not known beforehand (the encoded multipart content of an outgoing message).
//
// Without a path the source makes its own file with mkstemp in the temporary folder ($TMPDIR,
// else /tmp) with the prefix "Map", readable only by this user, and deletes it when destroyed.
// With a path it uses that file and keeps it. The data length is tracked by the source; Close
// cuts the file to it. Sizes are 64-bit inside; the interface's positions are 31-bit.
#pragma once

#include "io/data_source.h"

#include <string>

namespace tessivor {

class CTempFileDataSource : public CDataSource
{
public:
    // `firstSize` is the expected size in bytes (a hint; the file grows as needed); `name` a
    // label (up to 259 characters kept); `path` the file to use, or null for a temporary file.
    CTempFileDataSource(std::int64_t firstSize, const char* name, const char* path);
    // Closes the source and deletes its own temporary file.
    ~CTempFileDataSource() override;
    CTempFileDataSource(const CTempFileDataSource&) = delete;
    CTempFileDataSource& operator=(const CTempFileDataSource&) = delete;

    // A new source with the same size hint and name. When this source owns a temporary file, or
    // is open, the clone gets a temporary file of its own holding a copy of the data (so that
    // neither deletes the other's file); otherwise it names the same file and keeps it.
    CDataSource* Clone() override;
    // Closes first. Mode 0: the file must exist; it is read. Mode 1: created when missing and
    // emptied. Mode 2: created when missing; the position is its end.
    std::int32_t Open(std::int32_t mode) override;
    // Cuts the file to the data length and closes it; -1 when a step fails.
    std::int32_t Close() override;
    std::int32_t ReadLine(char* buffer, std::int32_t size) override;
    // Modes 1 and 2 only.
    std::int32_t WriteLine(const char* text) override;
    std::int32_t Read(void* buffer, std::int32_t count) override;
    // Modes 1 and 2 only; writes at the position and extends the data as needed.
    std::int32_t Write(const void* data, std::int32_t count) override;
    // A target before the start or beyond the data gives -1.
    std::int32_t Seek(std::int32_t offset, std::int32_t origin) override;

    const std::string& GetPath() const { return m_path; }
    bool IsOpen() const { return m_fd >= 0; }

private:
    // Copies this source's data into `target` (an open, empty source); false on failure.
    bool CopyDataTo(CTempFileDataSource& target);

    std::string m_path;
    std::string m_name;
    std::int64_t m_firstSize = 0;
    int m_fd = -1;
    std::int32_t m_mode = -1;
    std::int64_t m_length = 0;
    std::int64_t m_position = 0;
    bool m_delete = false;
};

} // namespace tessivor
