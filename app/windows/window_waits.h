// The fixed waits and the hourglass pointer of a camera window (the colour panel waits 1000 ms
// around a read and 2000 ms after it sends the settings).
//
// A wait runs a local event loop (or the test's pause) with the window's inputs off, so the window
// keeps painting and the controls' events keep arriving. A window closed meanwhile must not be
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
    // The hourglass pointer on or off; repeated calls with the same value do nothing.
    void hourglass(bool on);
    // Destroys the window now, or once the outermost wait has returned.
    void deleteWindowWhenIdle();

private:
    QWidget* m_window;
    std::function<void(int)> m_pause;
    bool m_hourglass = false;
    int m_depth = 0;
    bool m_deleteWhenIdle = false;
};

} // namespace pellucor
