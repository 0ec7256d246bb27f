// CFileDataSource: a data source over a file on disk, with a read buffer for line reading.
// The socket client sends and receives files through it (4096-byte buffer), and the mail
// classes open attachments and decoded parts with it.
#pragma once

#include "io/data_source.h"
#include "io/win_file.h"

#include <string>
#include <vector>

namespace tessivor {

class CFileDataSource : public CDataSource
{
public:
    // `name` is the file path (null is taken as empty); `bufferSize` the size of the line-read
    // buffer (at least 2 bytes are used).
    CFileDataSource(const char* name, std::int32_t bufferSize);
    ~CFileDataSource() override;

    CDataSource* Clone() override;
    // An empty name gives -1. Mode 0 opens an existing file for reading; mode 1 creates the file
    // anew (an old one is emptied) for reading and writing; mode 2 opens or creates it for
    // reading and writing with every write going to the end.
    std::int32_t Open(std::int32_t mode) override;
    std::int32_t Close() override;
    std::int32_t ReadLine(char* buffer, std::int32_t size) override;
    std::int32_t WriteLine(const char* text) override;
    // Hands out the bytes that ReadLine had buffered first, then reads from the file.
    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* data, std::int32_t count) override;
    std::int32_t Seek(std::int32_t offset, std::int32_t origin) override;

    const std::string& GetName() const { return m_name; }

private:
    // Puts the file position back where the caller believes it is and forgets the buffer.
    bool DropBuffer();

    std::string m_name;
    CWinFile m_file;
    std::vector<char> m_buffer;
    std::int32_t m_bufferStart = 0; // first byte not handed out yet
    std::int32_t m_bufferHeld = 0;  // bytes held from m_bufferStart on
    bool m_eof = false;             // the last fill met the end of the file
};

} // namespace tessivor
