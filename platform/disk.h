// Disk queries.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tessivor {

// Bytes available to an unprivileged user on the file system that holds `folder`;
// nothing when the folder cannot be queried.
std::optional<std::uint64_t> freeDiskBytes(const std::filesystem::path& folder);

} // namespace tessivor
