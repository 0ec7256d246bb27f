// Opening a file with the program the desktop associates with it, or with the user's player.
//
// The desktop lookup (QDesktopServices) is Qt GUI and belongs to the program: core declares
// DesktopOpener and the program implements it. The player is started here with QProcess and an
// argument list, never through a shell, so a file name cannot run commands.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pellucor {

struct AppState;

// Implemented by the program with QDesktopServices::openUrl.
class DesktopOpener
{
public:
    virtual ~DesktopOpener() = default;
    // True when a program was started for the file.
    virtual bool openWithAssociatedProgram(const std::filesystem::path& file) = 0;
};

// Message boxes of these routines, implemented by the window layer.
class OpenMessages
{
public:
    enum class Icon
    {
        None,
        Critical,
    };
    virtual ~OpenMessages() = default;
    virtual void show(const std::string& text, Icon icon) = 0;
};

// Starts a program with arguments and does not wait for it; the program's default is QProcess.
class ProgramStarter
{
public:
    virtual ~ProgramStarter() = default;
    virtual bool startDetached(const std::string& program, const std::vector<std::string>& arguments) = 0;
};

// QProcess::startDetached with an argument list.
class QtProgramStarter : public ProgramStarter
{
public:
    bool startDetached(const std::string& program, const std::vector<std::string>& arguments) override;
};

// A missing file shows the engine window's message 3; no program for the file shows message 1
// (critical), a player that does not start message 2 (critical). Returns true when a program was started.
bool OpenWithAssociatedProgram(const AppState& state, const std::filesystem::path& file,
                               DesktopOpener& opener, OpenMessages& messages);
// Starts the configured player (PlayerPath) with the file as its one argument.
bool OpenWithPlayer(const AppState& state, const std::filesystem::path& file, ProgramStarter& starter,
                    OpenMessages& messages);

} // namespace pellucor
