#include "io/win_file.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tessivor {

namespace {

// Calls `transfer` (read(2) or write(2) on the rest of the buffer) until `count` bytes are moved
// or a call moves none, retrying on EINTR. The bytes moved; -1 when a call fails before any.
template <typename Byte, typename Transfer>
std::int32_t transferAll(Byte* bytes, std::int32_t count, Transfer transfer)
{
    std::int32_t done = 0;
    while (done < count) {
        const ssize_t n = transfer(bytes + done, static_cast<std::size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return done > 0 ? done : -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::int32_t>(n);
    }
    return done;
}

} // namespace

CWinFile::~CWinFile()
{
    Close();
}

std::int32_t CWinFile::Open(const char* name, std::uint32_t access, std::int32_t disposition,
                            std::int32_t append)
{
    Close();
    if (name == nullptr)
        return -1;
    std::string path(name);
    const auto first = path.find_first_not_of(' ');
    if (first == std::string::npos)
        return -1;
    path = path.substr(first, path.find_last_not_of(' ') - first + 1);

    int flags = O_CLOEXEC;
    const bool wantRead = (access & ACCESS_READ) != 0;
    const bool wantWrite = (access & ACCESS_WRITE) != 0;
    if (wantRead && wantWrite)
        flags |= O_RDWR;
    else if (wantWrite)
        flags |= O_WRONLY;
    else if (wantRead)
        flags |= O_RDONLY;
    else
        return -1;
    switch (disposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags |= O_CREAT | O_TRUNC;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        flags |= O_TRUNC;
        break;
    default:
        return -1;
    }
    // O_TRUNC needs write access; refuse the combination instead of letting the result depend
    // on the system.
    if ((flags & O_TRUNC) && !wantWrite)
        return -1;

    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    m_fd = fd;
    m_append = append != 0;
    return 0;
}

std::int32_t CWinFile::Close()
{
    if (m_fd < 0)
        return 0;
    const int rc = ::close(m_fd);
    m_fd = -1;
    m_append = false;
    // close(2) always releases the descriptor, even when it reports EINTR.
    return rc == 0 || errno == EINTR ? 0 : -1;
}

std::int32_t CWinFile::Read(void* buffer, std::int32_t count)
{
    if (m_fd < 0 || buffer == nullptr || count < 0)
        return -1;
    // Fill the request unless the end of the file comes first, so that a short count always
    // means "end of file" to the callers.
    return transferAll(static_cast<char*>(buffer), count,
                       [this](char* p, std::size_t n) { return ::read(m_fd, p, n); });
}

std::int32_t CWinFile::Write(const void* data, std::int32_t count)
{
    if (m_fd < 0 || data == nullptr || count < 0)
        return -1;
    if (m_append && ::lseek(m_fd, 0, SEEK_END) < 0)
        return -1;
    return transferAll(static_cast<const char*>(data), count,
                       [this](const char* p, std::size_t n) { return ::write(m_fd, p, n); });
}

std::int32_t CWinFile::Seek(std::int32_t offset, std::int32_t method)
{
    if (m_fd < 0)
        return -1;
    int whence;
    switch (method) {
    case SEEK_FROM_BEGIN:
        whence = SEEK_SET;
        break;
    case SEEK_FROM_CURRENT:
        whence = SEEK_CUR;
        break;
    case SEEK_FROM_END:
        whence = SEEK_END;
        break;
    default:
        return -1;
    }
    const off_t pos = ::lseek(m_fd, offset, whence);
    if (pos < 0 || pos > INT32_MAX)
        return -1;
    return static_cast<std::int32_t>(pos);
}

std::int32_t CWinFile::Size()
{
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || st.st_size > INT32_MAX)
        return -1;
    return static_cast<std::int32_t>(st.st_size);
}

std::int32_t CWinFile::Truncate(std::int32_t length)
{
    if (m_fd < 0 || length < 0)
        return -1;
    int rc;
    do {
        rc = ::ftruncate(m_fd, length);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : -1;
}

} // namespace tessivor
