// Whole-file reads with a size cap, and atomic whole-file replacement.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace pellucor {

enum class FileIoStatus
{
    Ok,
    NotFound,
    TooLarge,
    ReadFailed,
    WriteFailed,  // temporary file not made, written, or flushed to disk
    RenameFailed, // the finished temporary file could not take the target's place
};

struct FileIoResult
{
    FileIoStatus status = FileIoStatus::Ok;
    std::string message; // the system's error text, empty on success
    bool ok() const { return status == FileIoStatus::Ok; }
};

// Reads the whole file into `out`; files above `maxBytes` are refused. `out` is untouched on failure.
FileIoResult readWholeFile(const std::filesystem::path& path, std::uintmax_t maxBytes, std::string& out);

// Replaces `path` with `bytes`: writes a temporary file in the same folder, flushes it to disk,
// renames it over the target and flushes the folder. The temporary file is removed on every
// failure, and the old file stays as it was. `mode` gives the new file's permission bits; without
// it an existing target's bits are kept and a new file gets 0644.
FileIoResult writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                 std::optional<mode_t> mode = std::nullopt);

} // namespace pellucor
