#include "app/core/event_log.h"

#include "platform/clock.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace pellucor {

namespace {

std::tm localTime(std::time_t t)
{
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return tm;
}

} // namespace

void EventLineList::add(const std::string& header, const std::string& message)
{
    m_lines.push_back(header);
    m_lines.push_back(message);
    if (m_lines.size() >= kTrimAt)
        m_lines.erase(m_lines.begin(), m_lines.begin() + kTrimCount);
}

EventLog::EventLog(AppState& state, tessivor::Clock& clock) : m_state(state), m_clock(clock) {}

const std::vector<std::string>& EventLog::lines(int index) const
{
    return m_lists.at(static_cast<std::size_t>(index - 1));
}

std::string formatLocalDateTime(std::time_t t)
{
    std::tm tm = localTime(t);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

void EventLog::AddEvent(int index, const std::string& message)
{
    if (index < 1 || index > kCameraCount)
        return;
    const CamInfo& cam = m_state.cam(index);
    const std::string header =
        formatLocalDateTime(m_clock.now()) + "   " + cam.IPAddress + "   " + cam.ServerName;
    const std::string line = "    " + message;

    std::vector<std::string>& l = list(index);
    l.push_back(header);
    l.push_back(line);
    SaveLog(index, l.size());
    if (l.size() > kEngineLimit) {
        // The bound holds even when the file cannot be written: the fallback file is the last resort.
        l.erase(l.begin(), l.begin() + static_cast<std::ptrdiff_t>(kEngineTrim));
        written(index) -= std::min(written(index), kEngineTrim);
    }

    if (!m_views)
        return;
    if (m_state.WindowOpen[5] && m_views->combinedEventListShown())
        m_views->addToCombined(header, line);
    if (m_state.WindowOpen[static_cast<std::size_t>(index)])
        m_views->addToView(index, header, line);
}

bool EventLog::CheckLogFolder(int index)
{
    std::error_code ec;
    std::filesystem::create_directories(m_state.paths.cameraLogFolder(index), ec);
    return std::filesystem::is_directory(m_state.paths.cameraLogFolder(index), ec);
}

std::filesystem::path EventLog::logFile(int index, bool folderOk) const
{
    std::tm tm = localTime(m_clock.now());
    std::string name = PadZero(tm.tm_year + 1900) + PadZero(tm.tm_mon + 1) + PadZero(tm.tm_mday) + ".Log";
    return folderOk ? m_state.paths.cameraLogFolder(index) / name : m_state.paths.homeDir / name;
}

bool EventLog::SaveLog(int index, std::size_t count)
{
    if (index < 1 || index > kCameraCount)
        return false;
    const std::vector<std::string>& l = list(index);
    std::size_t& done = written(index);
    if (l.empty() || l.size() < count || done >= count)
        return true; // nothing to write
    const std::filesystem::path file = logFile(index, CheckLogFolder(index));
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (!out)
        return false;
    std::string text;
    for (std::size_t i = done; i < count; ++i)
        text += l[i] + "\r\n";
    // The lines go out in one write; when it fails they all count as unwritten and are tried
    // again later.
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out)
        return false;
    done = count;
    return true;
}

std::string PadZero(long value)
{
    std::string s = std::to_string(value);
    return (value >= 1 && value <= 9) ? "0" + s : s;
}

std::string MakeValidFileName(std::string text)
{
    for (char bad : {'\\', '/', ':', '*', '?', '"', '<', '>', '|'})
        std::erase(text, bad);
    return text;
}

} // namespace pellucor
