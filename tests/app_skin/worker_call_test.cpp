// A blocking call on a worker thread while the window waits: the result and exceptions come back,
// timers run meanwhile, the window is off and the pointer busy, and the call is never left behind
// by a window that goes away or a program that ends.
#include "qt_test_support.h"

#include "app/skin/worker_call.h"

#include <QApplication>
#include <QCursor>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace pellucor;

namespace {

// A call that blocks until released (or, so that a broken wait cannot hang the test, until a
// generous limit has passed).
class Gate
{
public:
    // Blocks the calling (worker) thread.
    void pass()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_entered = true;
        m_caller = std::this_thread::get_id();
        m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_open; });
        m_timedOut = !m_open;
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    bool entered()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entered;
    }
    std::thread::id caller()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_caller;
    }
    bool timedOut()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_timedOut;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_entered = false;
    bool m_open = false;
    bool m_timedOut = false;
    std::thread::id m_caller;
};

// Runs `step` on every tick of a 5 ms timer while the test waits.
struct Ticker
{
    explicit Ticker(std::function<void()> step)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, step = std::move(step)] {
            ++ticks;
            step();
        });
        timer.start(5);
    }
    QTimer timer;
    int ticks = 0;
};

TEST(WorkerCall, ReturnsTheResultWhileTimersRunTheWindowIsOffAndThePointerBusy)
{
    testApp();
    QWidget window;
    window.show();
    Gate gate;
    bool enabledDuringCall = true;
    int cursorDuringCall = -1;
    int ticksInCall = 0;
    Ticker clock([&] {
        if (!gate.entered())
            return;
        if (++ticksInCall == 3) { // the clock has gone on while the call blocks
            enabledDuringCall = window.isEnabled();
            cursorDuringCall = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1;
            gate.open();
        }
    });
    const int answer = callOnWorker(&window, "test-call", [&] {
        gate.pass();
        return 42;
    });
    EXPECT_EQ(answer, 42);
    EXPECT_FALSE(gate.timedOut());
    EXPECT_NE(gate.caller(), std::this_thread::get_id());
    EXPECT_GE(ticksInCall, 3);
    EXPECT_FALSE(enabledDuringCall);
    EXPECT_EQ(cursorDuringCall, Qt::WaitCursor);
    EXPECT_TRUE(window.isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A window that was off before the wait stays off after it.
    window.setEnabled(false);
    callOnWorker(&window, "test-call", [] {});
    EXPECT_FALSE(window.isEnabled());
}

TEST(WorkerCall, TheCallsExceptionIsThrownOnTheCallingThread)
{
    testApp();
    QWidget window;
    EXPECT_THROW(callOnWorker(&window, "test-call", []() -> int { throw std::runtime_error("no answer"); }),
                 std::runtime_error);
    EXPECT_TRUE(window.isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(WorkerCall, AWindowDestroyedDuringTheWaitIsLeftAlone)
{
    testApp();
    auto* window = new QWidget;
    window->show();
    Gate gate;
    Ticker clock([&] {
        if (gate.entered() && window) {
            delete window;
            window = nullptr;
            gate.open();
        }
    });
    EXPECT_EQ(callOnWorker(window, "test-call",
                           [&] {
                               gate.pass();
                               return std::string("done");
                           }),
              "done");
    EXPECT_EQ(window, nullptr);
    EXPECT_FALSE(gate.timedOut());
}

// A timer starts a second wait while the first one runs; the first call ends during the second
// wait, which returns first, and the first wait still sees its end.
TEST(WorkerCall, WaitsNest)
{
    testApp();
    Gate outer, inner;
    std::vector<std::string> order;
    bool innerStarted = false;
    Ticker clock([&] {
        if (!outer.entered() || innerStarted)
            return;
        innerStarted = true;
        order.push_back(std::to_string(callOnWorker(nullptr, "inner", [&] {
            outer.open(); // the outer call ends while the inner one still blocks
            inner.pass();
            return 2;
        })));
    });
    Ticker releaser([&] {
        if (inner.entered())
            inner.open();
    });
    order.push_back(std::to_string(callOnWorker(nullptr, "outer", [&] {
        outer.pass();
        return 1;
    })));
    EXPECT_EQ(order, (std::vector<std::string>{"2", "1"}));
    EXPECT_FALSE(outer.timedOut());
    EXPECT_FALSE(inner.timedOut());
}

// The program is asked to end while the call runs: every event loop ends at once, but the wait
// returns only after the call has.
TEST(WorkerCall, TheProgramEndingDuringTheWaitStillWaitsForTheCall)
{
    testApp();
    Gate gate, exitAsked;
    std::atomic<bool> callEnded{false};
    bool endedWhenReturned = false;
    // Opens the gate from a thread of its own once the program has been asked to end: from then
    // on no timer of the user-interface thread runs.
    std::thread opener([&] {
        exitAsked.pass();
        gate.open();
    });
    bool asked = false;
    Ticker ender([&] {
        if (gate.entered() && !asked) {
            asked = true;
            QCoreApplication::exit(0);
            exitAsked.open();
        }
    });
    QTimer::singleShot(0, [&] {
        callOnWorker(nullptr, "test-call", [&] {
            gate.pass();
            callEnded.store(true);
        });
        endedWhenReturned = callEnded.load();
    });
    QCoreApplication::exec();
    opener.join();
    EXPECT_TRUE(asked);
    EXPECT_FALSE(exitAsked.timedOut());
    EXPECT_TRUE(endedWhenReturned);
    EXPECT_FALSE(gate.timedOut());

    // Later waits work as before.
    Gate again;
    Ticker releaser([&] {
        if (again.entered())
            again.open();
    });
    callOnWorker(nullptr, "test-call", [&] { again.pass(); });
    EXPECT_FALSE(again.timedOut());
}

} // namespace
