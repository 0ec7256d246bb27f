// The requests to end that the system sends a program turned into bytes on a descriptor, so that
// the program's event loop runs its own close instead of the process dying where it stands:
// SIGTERM (a logout, a system shutdown, `systemctl stop`, `kill`), SIGINT (Ctrl+C in a terminal)
// and SIGHUP (the terminal went away).
//
// install() takes the three signals over for the whole process: the first one that arrives writes
// its number to fd(). Any second one, while the program is still closing, ends the process at
// once as the signal's default would: a close that hangs can always be cut short. The destructor
// puts back the actions that install() found. One object at a time per process.
//
// The handler only writes one byte (it may run on any thread); everything else belongs to the
// thread that owns the object.
#pragma once

namespace tessivor {

class EndSignals
{
public:
    EndSignals() = default;
    ~EndSignals();
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

    // False when the pipe or a handler could not be made; the signals then keep their actions.
    bool install();
    // Readable once a signal has arrived; -1 before install().
    int fd() const { return m_read; }
    // The number of the signal that arrived first, or 0 when none has; reads fd() empty.
    int take();

private:
    int m_read = -1;
    int m_write = -1;
    bool m_installed = false;
};

// Ends the process by `signal`, as that signal's default action would, so that whoever started
// the program sees how it was ended. For a program that has closed in order on that signal.
[[noreturn]] void endBySignal(int signal);

} // namespace tessivor
