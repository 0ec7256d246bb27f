// A named worker thread that its owner joins. start() refuses while the previous run is still
// going, and joins a finished one first (also one that has only called done()), so the owner
// always holds at most one thread per slot.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace tessivor {

class WorkerThread
{
public:
    WorkerThread() = default;
    ~WorkerThread() { join(); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs `work` on a new thread named `name` (at most 15 characters are kept). False when the
    // previous run has not ended or the thread cannot be created. An exception that escapes
    // `work` is traced and swallowed.
    bool start(std::string name, std::function<void()> work);

    // True from a successful start() until `work` has returned or called done().
    bool running() const { return m_running.load(std::memory_order_acquire); }

    // Called by `work` itself just before it hands its result on (posts its end event): from
    // then on start() accepts a new run, joining this one's last steps first. Without it, an
    // owner that starts again as soon as the end event arrives could find the thread still
    // "running" and be refused.
    void done() { m_running.store(false, std::memory_order_release); }

    // Waits for the thread to end (no-op when none was started or it was joined already).
    // Must not be called from the thread itself.
    void join();

private:
    std::thread m_thread;
    std::atomic<bool> m_running{false};
};

// Makes the next `count` thread starts in this process fail, as when the system has no
// resources left; for tests of the failure paths.
void failThreadStartsForTesting(int count);

} // namespace tessivor
