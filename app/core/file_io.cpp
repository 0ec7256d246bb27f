#include "app/core/file_io.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pellucor {

namespace {

FileIoResult failure(FileIoStatus status, int err)
{
    return {status, std::strerror(err)};
}

// Closes a descriptor on every path out of a function.
class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // close() reports errors that a late write-back can produce; they must not go unseen.
    int release()
    {
        int rc = ::close(m_fd);
        m_fd = -1;
        return rc;
    }

private:
    int m_fd;
};

} // namespace

FileIoResult readWholeFile(const std::filesystem::path& path, std::uintmax_t maxBytes, std::string& out)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return failure(errno == ENOENT ? FileIoStatus::NotFound : FileIoStatus::ReadFailed, errno);
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0)
        return failure(FileIoStatus::ReadFailed, errno);
    if (!S_ISREG(st.st_mode))
        return {FileIoStatus::ReadFailed, "not a regular file"};
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes)
        return {FileIoStatus::TooLarge, "larger than " + std::to_string(maxBytes) + " bytes"};

    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buf[16384];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failure(FileIoStatus::ReadFailed, errno);
        }
        if (n == 0)
            break;
        // The file may grow between fstat and read; the cap holds for what is read.
        if (data.size() + static_cast<std::size_t>(n) > maxBytes)
            return {FileIoStatus::TooLarge, "larger than " + std::to_string(maxBytes) + " bytes"};
        data.append(buf, static_cast<std::size_t>(n));
    }
    out = std::move(data);
    return {};
}

FileIoResult writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                 std::optional<mode_t> mode)
{
    std::filesystem::path folder = path.parent_path();
    if (folder.empty())
        folder = ".";
    mode_t bits = 0644;
    struct stat old
    {
    };
    if (mode)
        bits = *mode;
    else if (::stat(path.c_str(), &old) == 0)
        bits = old.st_mode & 07777;

    // The temporary name starts with '.' so that folder listings (log and storage scans) skip it.
    std::string tmpl = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    Fd fd(::mkostemp(tmpl.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return failure(FileIoStatus::WriteFailed, errno);
    auto discard = [&](FileIoStatus status, int err) {
        ::unlink(tmpl.c_str());
        return failure(status, err);
    };
    // mkostemp makes the file 0600; widen it only to the wanted bits (secrets stay 0600 throughout).
    if (::fchmod(fd.get(), bits) != 0)
        return discard(FileIoStatus::WriteFailed, errno);

    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd.get(), p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return discard(FileIoStatus::WriteFailed, errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0)
        return discard(FileIoStatus::WriteFailed, errno);
    if (fd.release() != 0)
        return discard(FileIoStatus::WriteFailed, errno);
    if (::rename(tmpl.c_str(), path.c_str()) != 0)
        return discard(FileIoStatus::RenameFailed, errno);

    // Make the rename itself durable; a failure here cannot undo it and changes nothing for readers.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return {};
}

} // namespace pellucor
