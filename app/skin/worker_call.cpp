#include "app/skin/worker_call.h"

#include "app/skin/wake_notifier.h"
#include "platform/worker_thread.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <exception>

namespace pellucor {

void waitForWorker(QWidget* window, const char* threadName, const std::function<void()>& call)
{
    QPointer<QWidget> guard(window);
    const bool disable = window && window->isEnabled();
    if (disable)
        window->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);

    std::exception_ptr error;
    auto run = [&] {
        try {
            call();
        } catch (...) {
            error = std::current_exception();
        }
    };
    {
        // The worker touches nothing of Qt: its end is a wake event, which the loop watches.
        QEventLoop loop;
        WakeNotifier wake;
        QTimer poll; // only without a wake event
        std::atomic<bool> ended{false};
        auto quitWhenEnded = [&] {
            if (ended.load(std::memory_order_acquire))
                loop.quit();
        };
        QObject::connect(&wake, &WakeNotifier::woken, &loop, quitWhenEnded);
        QObject::connect(&poll, &QTimer::timeout, &loop, quitWhenEnded);
        tessivor::WorkerThread worker;
        const bool started = worker.start(threadName, [&run, &ended, event = wake.wakeEvent()] {
            run();
            ended.store(true, std::memory_order_release);
            event->signal();
        });
        if (!started) {
            run();
        } else {
            if (!wake.wakeEvent()->valid())
                poll.start(10);
            // Returns early when the program is asked to end: the join then waits for the rest.
            if (!ended.load(std::memory_order_acquire))
                loop.exec();
            worker.join();
        }
    }

    QApplication::restoreOverrideCursor();
    if (disable && guard)
        guard->setEnabled(true);
    if (error)
        std::rethrow_exception(error);
}

} // namespace pellucor
