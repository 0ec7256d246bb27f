// CWinFile: a small owner of one open file, the layer that the file data source, the TFTP
// firmware upload and the socket client's file transfers stand on.
//
// The access and creation words keep the numbering that the control's callers were written
// against (read/write bits; create-new, create-always, open-existing, open-always,
// truncate-existing), mapped onto POSIX open(2). Results: 0 or a byte count or position for
// success, -1 for failure; nothing throws. One thread uses an object at a time.
#pragma once

#include <cstdint>

namespace tessivor {

class CWinFile
{
public:
    // Desired access (bits).
    static constexpr std::uint32_t ACCESS_READ = 0x1;
    static constexpr std::uint32_t ACCESS_WRITE = 0x2;
    // Creation disposition.
    static constexpr std::int32_t CREATE_NEW = 1;        // fails when the file exists
    static constexpr std::int32_t CREATE_ALWAYS = 2;     // an existing file is emptied
    static constexpr std::int32_t OPEN_EXISTING = 3;     // fails when the file is missing
    static constexpr std::int32_t OPEN_ALWAYS = 4;       // created when missing
    static constexpr std::int32_t TRUNCATE_EXISTING = 5; // must exist; emptied
    // Seek methods.
    static constexpr std::int32_t SEEK_FROM_BEGIN = 0;
    static constexpr std::int32_t SEEK_FROM_CURRENT = 1;
    static constexpr std::int32_t SEEK_FROM_END = 2;

    // Holds no file; cannot fail.
    CWinFile() = default;
    // Closes the file if one is open.
    ~CWinFile();
    CWinFile(const CWinFile&) = delete;
    CWinFile& operator=(const CWinFile&) = delete;

    // Closes a file still held, removes blanks before and after the name and opens the file
    // with that access and disposition (new files get mode 0666 less the umask). With the append
    // flag set, every write goes to the end of the file. 0 when open, -1 otherwise (the object
    // then holds no file).
    std::int32_t Open(const char* name, std::uint32_t access, std::int32_t disposition, std::int32_t append);
    // 0, or -1 when closing failed. Closing an object that holds no file is 0.
    std::int32_t Close();
    // Up to count bytes from the current position: the number read (0 at the end of the file),
    // or -1 when no file is open or the read fails.
    std::int32_t Read(void* buffer, std::int32_t count);
    // The number of bytes written (all of them unless the disk is full), or -1.
    std::int32_t Write(const void* data, std::int32_t count);
    // Moves to offset from the start, the current position or the end (offset added, as for
    // lseek); the new position, or -1 (also when it does not fit 31 bits).
    std::int32_t Seek(std::int32_t offset, std::int32_t method);
    // The file size in bytes, or -1.
    std::int32_t Size();
    // Cuts or extends the file to `length` bytes; 0 or -1.
    std::int32_t Truncate(std::int32_t length);

    bool IsOpen() const { return m_fd >= 0; }

private:
    int m_fd = -1;
    bool m_append = false;
};

} // namespace tessivor
