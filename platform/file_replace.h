// Replacing a file whole: the new content goes into a new file beside the target, which is
// renamed over the target only once it is complete. Whoever reads the target sees the old file
// or the complete new one, and a failure leaves the old file and no temporary one.
#pragma once

#include <cstddef>
#include <filesystem>

namespace tessivor {

enum class ReplaceResult
{
    Ok,
    CannotCreate, // the new file cannot be created, or not renamed over the target
    WriteFailed,  // the new file took fewer bytes than given
};

ReplaceResult replaceFileContents(const std::filesystem::path& target, const void* data, std::size_t size);

} // namespace tessivor
