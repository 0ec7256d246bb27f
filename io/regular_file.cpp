#include "io/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessivor {

namespace {

constexpr std::size_t kBlockBytes = 64 * 1024;

// Closes the descriptor on every path.
class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

FileReadResult readOpen(int fd, std::size_t maxBytes, const std::function<bool()>& aborted,
                        std::vector<std::uint8_t>* out)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        return FileReadResult::ReadFailed;
    if (!S_ISREG(st.st_mode))
        return FileReadResult::NotRegular;
    if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return FileReadResult::TooLarge;
    out->reserve(static_cast<std::size_t>(st.st_size));
    // One byte beyond the limit is asked for, so that a file that grew is seen to be too large.
    while (true) {
        if (aborted && aborted())
            return FileReadResult::Aborted;
        const std::size_t have = out->size();
        const std::size_t want = std::min(kBlockBytes, maxBytes + 1 - have);
        out->resize(have + want);
        const ssize_t n = ::read(fd, out->data() + have, want);
        if (n < 0 && errno == EINTR) {
            out->resize(have);
            continue;
        }
        if (n < 0)
            return FileReadResult::ReadFailed;
        out->resize(have + static_cast<std::size_t>(n));
        if (n == 0)
            return FileReadResult::Read;
        if (out->size() > maxBytes)
            return FileReadResult::TooLarge;
    }
}

} // namespace

FileReadResult readRegularFile(const std::string& path, std::size_t maxBytes,
                               const std::function<bool()>& aborted, std::vector<std::uint8_t>* out)
{
    out->clear();
    // O_NONBLOCK: a FIFO opens at once instead of waiting for a writer (it is then refused).
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        return FileReadResult::CannotOpen;
    const FileReadResult result = readOpen(fd.get(), maxBytes, aborted, out);
    if (result != FileReadResult::Read)
        out->clear();
    return result;
}

} // namespace tessivor
