// Replacing a file whole (see file_replace.h).
#include "platform/file_replace.h"

#include <cstdio>
#include <random>
#include <string>

namespace tessivor {

ReplaceResult replaceFileContents(const std::filesystem::path& target, const void* data, std::size_t size)
{
    std::random_device random;
    std::filesystem::path temp;
    std::FILE* f = nullptr;
    // "x": the new file must not exist yet, so two writers never share one.
    for (int attempt = 0; attempt < 16 && !f; ++attempt) {
        temp = target;
        temp += ".new" + std::to_string(random());
        f = std::fopen(temp.c_str(), "wbx");
    }
    if (!f)
        return ReplaceResult::CannotCreate;
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    const bool closed = std::fclose(f) == 0;
    std::error_code ec;
    if (!written || !closed) {
        std::filesystem::remove(temp, ec);
        return ReplaceResult::WriteFailed;
    }
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return ReplaceResult::CannotCreate;
    }
    return ReplaceResult::Ok;
}

} // namespace tessivor
