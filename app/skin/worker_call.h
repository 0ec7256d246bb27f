// A blocking call (a camera request that takes many seconds when the camera does not answer) made
// on a worker thread while the user-interface thread waits for it in a local event loop: pictures,
// timers and the panel clock go on, the waiting window takes no input and the pointer is the busy
// one. To its caller it is the call itself: callOnWorker returns what the call returned, or throws
// what it threw.
//
// Contract:
// - callOnWorker returns only after the call has returned, whatever happens during the wait: the
//   window closed or destroyed, the program asked to end (which ends every event loop at once; the
//   rest of the wait then blocks, bounded by the call's own time-out). So whatever the call uses
//   and outlives the callOnWorker call on the caller's stack cannot be destroyed under it.
// - The call runs on a thread of its own: it must not touch a widget, nor an object of the
//   user-interface thread that is not safe to use from another thread (the camera control is).
//   The worker itself calls nothing of Qt: its end reaches the loop as a wake event.
// - Only the window's inputs are turned off (and on again when it still exists and was enabled
//   before). A dialog whose close box and Esc must be refused meanwhile holds its own busy state.
// - Waits nest: a timer that starts another wait during this one gets its own worker, and the
//   inner wait returns first.
// - When no thread can be started, the call runs on the calling thread.
// User-interface thread only.
#pragma once

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

class QWidget;

namespace pellucor {

// Runs `call` on a new thread named `threadName` and returns when it has returned; `window` (may
// be null) is disabled meanwhile.
void waitForWorker(QWidget* window, const char* threadName, const std::function<void()>& call);

template <typename F> std::invoke_result_t<F&> callOnWorker(QWidget* window, const char* threadName, F call)
{
    using R = std::invoke_result_t<F&>;
    if constexpr (std::is_void_v<R>) {
        waitForWorker(window, threadName, call);
    } else {
        std::optional<R> result;
        waitForWorker(window, threadName, [&] { result.emplace(call()); });
        return std::move(*result);
    }
}

} // namespace pellucor
