#include "io/temp_file_data_source.h"

#include "io/line_split.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessivor {

namespace {

// Makes a new empty file "Map??????" in the temporary folder; its path, or empty on failure.
std::string makeTempFile()
{
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = (dir != nullptr && dir[0] != '\0') ? dir : "/tmp";
    if (pattern.back() != '/')
        pattern += '/';
    pattern += "MapXXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0)
        return {};
    ::close(fd);
    return std::string(buf.data());
}

bool preadAll(int fd, char* out, std::size_t count, std::int64_t offset)
{
    while (count > 0) {
        const ssize_t n = ::pread(fd, out, count, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out += n;
        count -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

bool pwriteAll(int fd, const char* in, std::size_t count, std::int64_t offset)
{
    while (count > 0) {
        const ssize_t n = ::pwrite(fd, in, count, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        in += n;
        count -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

} // namespace

CTempFileDataSource::CTempFileDataSource(std::int64_t firstSize, const char* name, const char* path)
    : m_name(name ? name : ""), m_firstSize(std::max<std::int64_t>(firstSize, 0))
{
    if (m_name.size() > 259)
        m_name.resize(259);
    if (path != nullptr && path[0] != '\0') {
        m_path = path;
    } else {
        m_path = makeTempFile();
        m_delete = !m_path.empty();
    }
}

CTempFileDataSource::~CTempFileDataSource()
{
    Close();
    if (m_delete)
        ::unlink(m_path.c_str());
}

CDataSource* CTempFileDataSource::Clone()
{
    if (!m_delete && m_fd < 0)
        return new (std::nothrow) CTempFileDataSource(m_firstSize, m_name.c_str(), m_path.c_str());
    auto* copy = new (std::nothrow) CTempFileDataSource(m_firstSize, m_name.c_str(), nullptr);
    if (copy == nullptr)
        return nullptr;
    if (copy->m_path.empty() || copy->Open(1) != 0 || !CopyDataTo(*copy) || copy->Close() != 0) {
        delete copy;
        return nullptr;
    }
    return copy;
}

bool CTempFileDataSource::CopyDataTo(CTempFileDataSource& target)
{
    int fd = m_fd;
    std::int64_t length = m_length;
    bool closeAfter = false;
    if (fd < 0) {
        fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return errno == ENOENT; // nothing written yet: an empty copy
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return false;
        }
        length = st.st_size;
        closeAfter = true;
    }
    std::vector<char> block(65536);
    bool ok = true;
    for (std::int64_t done = 0; ok && done < length;) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(length - done, block.size()));
        ok = preadAll(fd, block.data(), n, done) &&
             target.Write(block.data(), static_cast<std::int32_t>(n)) == static_cast<std::int32_t>(n);
        done += static_cast<std::int64_t>(n);
    }
    if (closeAfter)
        ::close(fd);
    return ok;
}

std::int32_t CTempFileDataSource::Open(std::int32_t mode)
{
    Close();
    if (m_path.empty() || mode < 0 || mode > 2)
        return -1;
    int flags = O_CLOEXEC;
    if (mode == 0)
        flags |= O_RDONLY;
    else
        flags |= O_RDWR | O_CREAT;
    if (m_delete)
        flags |= O_NOFOLLOW; // our own file in a shared folder: never follow a planted link
    int fd;
    do {
        fd = ::open(m_path.c_str(), flags, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    m_fd = fd;
    m_mode = mode;
    m_length = mode == 1 ? 0 : st.st_size;
    m_position = mode == 2 ? m_length : 0;
    return 0;
}

std::int32_t CTempFileDataSource::Close()
{
    if (m_fd < 0)
        return 0;
    bool ok = true;
    if (m_mode != 0) {
        int rc;
        do {
            rc = ::ftruncate(m_fd, m_length);
        } while (rc != 0 && errno == EINTR);
        ok = rc == 0;
    }
    if (::close(m_fd) != 0 && errno != EINTR)
        ok = false;
    m_fd = -1;
    m_mode = -1;
    m_position = 0;
    return ok ? 0 : -1;
}

std::int32_t CTempFileDataSource::ReadLine(char* buffer, std::int32_t size)
{
    if (buffer == nullptr || size < 2 || m_fd < 0)
        return -1;
    // Read one byte more than fits (the terminator's place), so that a CR at the edge can be
    // paired with its LF.
    const auto avail = static_cast<std::int32_t>(std::min<std::int64_t>(m_length - m_position, size));
    if (avail > 0 && !preadAll(m_fd, buffer, static_cast<std::size_t>(avail), m_position)) {
        buffer[0] = '\0';
        return -1;
    }
    const bool atEnd = m_position + avail >= m_length;
    const std::int32_t take = io_detail::lineTake(buffer, avail, atEnd, size - 1);
    buffer[take] = '\0';
    m_position += take;
    return take;
}

std::int32_t CTempFileDataSource::WriteLine(const char* text)
{
    return WriteLineThroughWrite(text);
}

std::int32_t CTempFileDataSource::Read(void* buffer, std::int32_t count)
{
    if (buffer == nullptr || count < 0 || m_fd < 0)
        return -1;
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count, m_length - m_position));
    if (n > 0 && !preadAll(m_fd, static_cast<char*>(buffer), static_cast<std::size_t>(n), m_position))
        return -1;
    m_position += n;
    return n;
}

std::int32_t CTempFileDataSource::Write(const void* data, std::int32_t count)
{
    if (data == nullptr || count < 0 || m_fd < 0 || (m_mode != 1 && m_mode != 2))
        return -1;
    if (m_position + count > INT32_MAX)
        return -1;
    if (count > 0 &&
        !pwriteAll(m_fd, static_cast<const char*>(data), static_cast<std::size_t>(count), m_position))
        return 0;
    m_position += count;
    m_length = std::max(m_length, m_position);
    return count;
}

std::int32_t CTempFileDataSource::Seek(std::int32_t offset, std::int32_t origin)
{
    if (m_fd < 0)
        return -1;
    const auto target = SeekTarget(offset, origin, m_position, m_length);
    if (!target || *target > INT32_MAX)
        return -1;
    m_position = *target;
    return static_cast<std::int32_t>(m_position);
}

} // namespace tessivor
