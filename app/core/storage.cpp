// The storage check before and during recordings: choosing the storage folder, making the
// camera's recording folder, telling the control where to write, and recycling old recordings
// by space quota or by age.
#include "app/core/engine.h"

#include "app/core/text_util.h"

#include "platform/clock.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace pellucor {

namespace fs = std::filesystem;

namespace {

constexpr double kMB = 1048576.0;

// Total size of the regular files below `folder`; 0 when it does not exist yet. A symbolic link
// takes no room in the folder, whatever it points to.
double folderSize(const fs::path& folder)
{
    std::error_code ec;
    if (!fs::exists(folder, ec))
        return 0;
    double total = 0;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fec;
        if (fs::is_regular_file(it->symlink_status(fec)))
            total += static_cast<double>(it->file_size(fec));
    }
    if (ec)
        throw std::system_error(ec);
    return total;
}

struct Recording
{
    fs::path path;
    fs::file_time_type modified;
};

// A recording the program names itself: the local time of its start as 14 digits
// ("YYYYMMDDhhmmss"), for a second file of the same second "_" and one or two digits, and ".avi".
bool isRecordingName(std::string_view name)
{
    constexpr std::string_view kExtension = ".avi";
    if (name.size() < 14 + kExtension.size() || name.substr(name.size() - kExtension.size()) != kExtension)
        return false;
    const std::string_view stem = name.substr(0, name.size() - kExtension.size());
    auto digits = [](std::string_view s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(stem.substr(0, 14)))
        return false;
    const std::string_view suffix = stem.substr(14);
    return suffix.empty() || (suffix.size() <= 3 && suffix.front() == '_' && digits(suffix.substr(1)));
}

// The program's own recordings in the folder itself, oldest first: regular files, never symbolic
// links, under a name the program gives (isRecordingName). Whatever else lies in the folder, the
// user's own videos included, is never a candidate.
std::vector<Recording> recordings(const fs::path& folder)
{
    std::vector<Recording> out;
    for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
        if (!isRecordingName(e.path().filename().string()) || !fs::is_regular_file(e.symlink_status()))
            continue;
        out.push_back({e.path(), e.last_write_time()});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Recording& a, const Recording& b) { return a.modified < b.modified; });
    return out;
}

std::time_t toTimeT(fs::file_time_type t)
{
    // file_clock and system_clock tick at the same rate; their epochs differ by a constant.
    const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        t - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
    return std::chrono::system_clock::to_time_t(system);
}

void removeRecording(const fs::path& file, bool withSub)
{
    fs::remove(file); // throws when it cannot: the check then fails
    if (withSub) {
        fs::path sub = file;
        sub.replace_extension(".SUB");
        std::error_code ec;
        if (fs::is_regular_file(fs::symlink_status(sub, ec)))
            fs::remove(sub);
    }
}

} // namespace

bool Engine::CheckStorage(int n)
{
    try {
        if (Cam(n).get(BoolProp::HaveRecycleFunction))
            return true;
        return m_state.settings.UseRecycleFlag != 0 ? RecycleStorage(n) : SelectStorage(n);
    } catch (const std::exception&) {
        return false;
    }
}

void Engine::tellRecordFolder(int n, const fs::path& folder)
{
    if (m_state.cam(n).Protocol == kProtocolKestra) {
        CamViewer1(n).setRecordFolder(folder.string());
    } else {
        Cam(n).put(TextProp::NormalFilePath, folder.string());
        // Motion-started files go to the same folder, where the recycling finds them.
        Cam(n).put(TextProp::MotionFilePath, folder.string());
    }
}

bool Engine::CheckPath(const fs::path& path, const std::string& name, fs::path& out)
{
    std::error_code ec;
    if (path.empty()) {
        m_sv.messages->show("Error: " + std::to_string(ENOENT) + ". " + std::strerror(ENOENT), "CheckPath");
        return false;
    }
    fs::create_directories(path, ec);
    const fs::path folder = path / name;
    if (!ec)
        fs::create_directory(folder, ec);
    if (ec) {
        m_sv.messages->show("Error: " + std::to_string(ec.value()) + ". " + ec.message(), "CheckPath");
        return false;
    }
    out = folder;
    return true;
}

bool Engine::RecycleStorage(int n)
{
    SystemSettings& s = m_state.settings;
    const int count = std::min<int>(s.StorageCount, kStorageCount);
    int active = 0;
    for (int k = 1; k <= count && active == 0; ++k)
        if (s.Storage(k).Checked)
            active = k;
    if (active == 0)
        return false;
    s.ActiveStorage = active;
    const fs::path storage = s.Storage(active).Path;
    const double reserve = (s.ReserveSpace * 50.0 + 500.0) * kMB;
    fs::path folder;
    if (!CheckPath(storage, cameraFolderName(n, m_state.cam(n).ServerName), folder))
        return false;
    // Asked once the folder exists, so that it is the storage's own file system that answers.
    double free = freeSpace(storage);
    tellRecordFolder(n, folder);

    const bool withSub = m_state.cam(n).Protocol == kProtocolKestra;
    if (s.RecycleMode == 0) {
        const double quota = (s.RecycleSpaceValue * 200.0 + 200.0) * kMB;
        double stillToFill = 0;
        for (int k = 1; k <= kCameraCount; ++k) {
            if (k != n && m_state.cam(k).RecordMode == kRecordNone)
                continue;
            const double size = folderSize(storage / cameraFolderName(k, m_state.cam(k).ServerName));
            if (size < quota)
                stillToFill += quota - size;
        }
        if (reserve + stillToFill > free)
            return false;
        const double limit = quota - (s.FileSize + 1) * 10.0 * kMB;
        // Each round deletes one file, so the loop ends; the bound guards against a file that
        // comes back.
        for (int round = 0; round < 100000; ++round) {
            if (folderSize(folder) <= limit)
                return true;
            const std::vector<Recording> files = recordings(folder);
            // The newest recording may be the one being written: it is never a candidate.
            if (files.size() < 2)
                return false;
            removeRecording(files.front().path, withSub);
            m_sv.clock->sleepMs(kRecycleWaitMs);
        }
        return false;
    }
    if (s.RecycleMode == 1) {
        const long hoursKept = s.RecycleTime * 2L + 2L;
        const std::time_t now = m_sv.clock->now();
        std::vector<Recording> files = recordings(folder);
        // While the camera records, its newest recording may be the file being written.
        if (m_state.cam(n).Recording && !files.empty())
            files.pop_back();
        bool deleted = false;
        for (const Recording& r : files) {
            // Hour boundaries passed between the file's last change and now.
            const long hours = static_cast<long>(now / 3600 - toTimeT(r.modified) / 3600);
            if (hours > hoursKept) {
                removeRecording(r.path, withSub);
                deleted = true;
                m_sv.clock->sleepMs(kRecycleWaitMs);
            }
        }
        // What the deletions freed counts.
        if (deleted)
            free = freeSpace(storage);
        return reserve <= free;
    }
    return false;
}

bool Engine::SelectStorage(int n)
{
    SystemSettings& s = m_state.settings;
    const int count = std::min<int>(s.StorageCount, kStorageCount);
    if (count < 1)
        return false;
    const double reserve = (s.ReserveSpace * 50.0 + 500.0) * kMB;
    int k = s.ActiveStorage >= 1 && s.ActiveStorage <= count ? s.ActiveStorage : 1;
    for (int tries = 0; tries < count; ++tries) {
        if (s.Storage(k).Checked) {
            const fs::path storage = s.Storage(k).Path;
            fs::path folder;
            if (!CheckPath(storage, cameraFolderName(n, m_state.cam(n).ServerName), folder))
                return false;
            const double free = freeSpace(storage);
            tellRecordFolder(n, folder);
            if (reserve < free)
                return true;
        }
        k = k % count + 1;
    }
    return false;
}

} // namespace pellucor
