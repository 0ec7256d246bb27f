// The waits and the hourglass pointer of a camera window: the fixed ones (the colour panel waits
// 1000 ms around a read and 2000 ms after it sends the settings) and the wait for a result that a
// control's worker reports by its completion event (the colour panel's read of the settings).
//
// A wait runs a local event loop (or, for a fixed wait, the test's pause) with the window's inputs
// off, so the window keeps painting, the clock and the other windows go on, and the controls'
// events keep arriving. Waits nest (an event that arrives during a wait may start another); the
// inputs come back when the outermost one returns. A window closed meanwhile must not be
// destroyed under the waiting handler: deleteWindowWhenIdle() hands it to deleteLater() only once
// the outermost wait has returned, and the handler ends its procedure when it finds the window
// unloaded.
//
// User-interface thread only.
#pragma once

#include <functional>

class QWidget;

namespace pellucor {

class WindowWaits
{
public:
    // `pause` replaces the local event loop when set (tests run it in simulated time).
    WindowWaits(QWidget* window, std::function<void(int ms)> pause);
    ~WindowWaits();
    WindowWaits(const WindowWaits&) = delete;
    WindowWaits& operator=(const WindowWaits&) = delete;

    // Waits `ms` milliseconds with the window's inputs off.
    void wait(int ms);
    // Waits with the window's inputs off until `done` holds (it is asked every few milliseconds)
    // or `limitMs` has passed; true when `done` held.
    bool waitFor(const std::function<bool()>& done, int limitMs);
    // The hourglass pointer on or off; repeated calls with the same value do nothing.
    void hourglass(bool on);
    // Destroys the window now, or once the outermost wait has returned.
    void deleteWindowWhenIdle();

private:
    void enter();
    void leave();

    QWidget* m_window;
    std::function<void(int)> m_pause;
    bool m_hourglass = false;
    int m_depth = 0;
    bool m_deleteWhenIdle = false;
};

} // namespace pellucor
