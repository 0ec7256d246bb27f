#include "app/core/app_paths.h"

#include "app/core/text_util.h"

#include <cstdlib>

namespace pellucor {

std::filesystem::path AppPaths::cameraLogFolder(int n) const
{
    return logFolder() / ("Cam" + std::to_string(n) + "Log");
}

std::optional<std::filesystem::path> resolveHomeDir(const std::filesystem::path& commandLineHome)
{
    if (!commandLineHome.empty())
        return commandLineHome;
    auto env = [](const char* name) -> std::string {
        const char* v = std::getenv(name);
        return v ? v : "";
    };
    if (std::string v = env("PELLUCOR_HOME"); !v.empty())
        return std::filesystem::path(v);
    if (std::string v = env("XDG_DATA_HOME"); !v.empty())
        return std::filesystem::path(v) / "pellucor";
    if (std::string v = env("HOME"); !v.empty())
        return std::filesystem::path(v) / ".local" / "share" / "pellucor";
    return std::nullopt;
}

std::filesystem::path resolveDataDir(const std::filesystem::path& exePath)
{
    std::error_code ec;
    std::filesystem::path installed = exePath.parent_path() / ".." / "share" / "pellucor";
    if (std::filesystem::is_directory(installed / "lang", ec))
        return installed.lexically_normal();
    return std::filesystem::path(PELLUCOR_SOURCE_DATA_DIR);
}

std::optional<std::filesystem::path> findFileIgnoreCase(const std::filesystem::path& folder,
                                                        std::string_view name)
{
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
        return std::nullopt;
    std::error_code ec;
    std::filesystem::path exact = folder / std::string(name);
    if (std::filesystem::is_regular_file(exact, ec))
        return exact;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec)
        return std::nullopt;
    std::optional<std::filesystem::path> found;
    for (const auto& entry : it) {
        std::string candidate = entry.path().filename().string();
        if (!equalsIgnoreCase(candidate, name) || !entry.is_regular_file(ec))
            continue;
        // Several spellings of one name: take the first in byte order, so the choice is stable.
        if (!found || candidate < found->filename().string())
            found = entry.path();
    }
    return found;
}

} // namespace pellucor
