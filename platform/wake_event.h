// Wake events: a counter that any thread can raise and one thread waits on through a file
// descriptor (Linux eventfd). A GUI loop watches fd() with its socket notifier, so a worker
// thread can wake the UI thread without calling into the GUI library at all.
//
// signal() may run on any thread while the owner thread reads; the object itself must outlive
// every signal() (owners share it through a shared_ptr).
#pragma once

namespace tessivor {

class WakeEvent
{
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // False when no descriptor could be made; signal() and clear() then do nothing.
    bool valid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // Any thread. Makes fd() readable.
    void signal();
    // Owner thread. Resets the counter; fd() stops being readable.
    void clear();

private:
    int m_fd = -1;
};

} // namespace tessivor
