#include "platform/disk.h"

#include <sys/statvfs.h>

namespace tessivor {

std::optional<std::uint64_t> freeDiskBytes(const std::filesystem::path& folder)
{
    struct statvfs st
    {
    };
    if (folder.empty() || ::statvfs(folder.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(st.f_bavail) * static_cast<std::uint64_t>(st.f_frsize);
}

} // namespace tessivor
