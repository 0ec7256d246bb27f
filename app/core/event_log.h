// Event lists and daily log files.
//
// Every camera slot keeps a list of event lines: each event adds a header line (local date and
// time, camera address, camera name) and a message line. Both lines are appended to the camera's
// daily log file, Log/Cam<n>Log/<yyyymmdd>.Log in the program's home, as the event is logged, so
// that a program that is killed or crashes has lost none of them. The list itself is bounded:
// when it reaches 500 lines its oldest 100 leave it. A line is written to the file once; lines
// that could not be written when they were logged (a full disk) are tried again with the next
// event and at shutdown (SaveLog with lineCount), as long as they are still listed.
// When the camera's log folder cannot be made, the lines go to <yyyymmdd>.Log in the home.
// The file's date is the date at the moment of writing. Lines end with CR LF; files are only
// appended to.
//
// The open view windows and the combined window receive every event's two lines through
// EventViews; each of those lists keeps its own bound with EventLineList.
//
// User-interface thread only.
#pragma once

#include "app/core/app_state.h"

#include <string>
#include <vector>

namespace tessivor {
class Clock;
}

namespace pellucor {

// A window's event list: lines are added two at a time; at 500 lines or more the oldest 100 go.
class EventLineList
{
public:
    static constexpr std::size_t kTrimAt = 500;
    static constexpr std::size_t kTrimCount = 100;

    void add(const std::string& header, const std::string& message);
    const std::vector<std::string>& lines() const { return m_lines; }

private:
    std::vector<std::string> m_lines;
};

// Implemented by the window layer.
class EventViews
{
public:
    virtual ~EventViews() = default;
    // The combined window is open and shows its event list.
    virtual bool combinedEventListShown() = 0;
    virtual void addToCombined(const std::string& header, const std::string& message) = 0;
    // Camera `cam`'s view window is open (the caller has checked WindowOpen).
    virtual void addToView(int cam, const std::string& header, const std::string& message) = 0;
};

class EventLog
{
public:
    // The engine list is trimmed when it holds more than this many lines.
    static constexpr std::size_t kEngineLimit = 499;
    static constexpr std::size_t kEngineTrim = 100;

    // `state` and `clock` must outlive the log.
    EventLog(AppState& state, tessivor::Clock& clock);

    void setViews(EventViews* views) { m_views = views; }

    // Logs one event for camera `index` (1 to 4; other numbers are ignored).
    void AddEvent(int index, const std::string& message);
    // Appends those of the first `count` lines of camera `index`'s list that are not in a log
    // file yet to its daily log file; the lines stay in the list. Nothing is written (and no file
    // made) when the list is empty or shorter than `count`, or when all of them are written. False
    // when the file could not be opened or written.
    bool SaveLog(int index, std::size_t count);
    // Makes Log and Log/Cam<index>Log in the home; true when the camera's folder exists afterwards.
    bool CheckLogFolder(int index);

    const std::vector<std::string>& lines(int index) const;
    std::size_t lineCount(int index) const { return lines(index).size(); }

    // The log file SaveLog writes to today, given whether the camera folder exists.
    std::filesystem::path logFile(int index, bool folderOk) const;

private:
    std::vector<std::string>& list(int index) { return m_lists.at(static_cast<std::size_t>(index - 1)); }
    std::size_t& written(int index) { return m_written.at(static_cast<std::size_t>(index - 1)); }

    AppState& m_state;
    tessivor::Clock& m_clock;
    EventViews* m_views = nullptr;
    std::array<std::vector<std::string>, kCameraCount> m_lists;
    // How many lines at the top of each list are in a log file already.
    std::array<std::size_t, kCameraCount> m_written{};
};

// The decimal text of `value`, with a leading "0" for 1 to 9.
std::string PadZero(long value);
// `text` without the characters \ / : * ? " < > | (which file names cannot hold).
std::string MakeValidFileName(std::string text);
// Local date and time as the event header shows it: "yyyy-mm-dd hh:mm:ss".
std::string formatLocalDateTime(std::time_t t);

} // namespace pellucor
