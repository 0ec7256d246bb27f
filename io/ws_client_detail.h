// What the socket client's files share: the reference-counted connection socket, the
// pending name look-up, the notification window's support and a few small socket helpers.
#pragma once

#include "io/ws_client.h"
#include "platform/control_window.h"
#include "platform/worker_thread.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/time.h>
#include <unistd.h>

namespace tessivor {

struct CWSClient::SocketRef
{
    const int fd;
    const bool stream;
    CSocketPrimitives& calls;          // whose SocketClose releases the descriptor
    std::atomic<bool> shutDown{false}; // set by CloseConnection from any thread

    SocketRef(int f, bool s, CSocketPrimitives& c) : fd(f), stream(s), calls(c) {}
    // Runs on whichever thread lets go of the last reference, after every other holder has let
    // go (the count's release and acquire order their uses before this), so the number is
    // released exactly once and never under a running call. The client outlives every reference.
    ~SocketRef() { calls.SocketClose(fd); }
    SocketRef(const SocketRef&) = delete;
    SocketRef& operator=(const SocketRef&) = delete;
};

// The notification window and the threads that report to it. The window belongs to the thread
// that created it; the watcher and the look-up thread only post to it.
struct CWSClient::NotifySupport
{
    std::unique_ptr<ControlWindow> window;
    CWSClient* attached = nullptr; // set by the attach message
    WorkerThread watcher;
    std::atomic<bool> stopWatch{false};
    WorkerThread lookup;
    std::atomic<bool> lookupBusy{false}; // cleared before the answer is posted

    void stopWatcher()
    {
        stopWatch.store(true);
        watcher.join();
        stopWatch.store(false);
    }
};

// One look-up, shared by the thread that runs getaddrinfo and the caller that waits for it.
struct CWSClient::Lookup
{
    std::mutex lock;
    std::condition_variable changed;
    bool finished = false;
    bool abandoned = false; // CloseConnection from another thread ended the wait
    int result = WSC_HOST_NOT_FOUND;
    std::array<char, INET_ADDRSTRLEN> address{};
};

namespace wsclient {

inline void copyText(char* out, std::size_t outSize, const char* text)
{
    if (outSize == 0)
        return;
    const std::size_t n = std::min(std::strlen(text), outSize - 1);
    std::memcpy(out, text, n);
    out[n] = 0;
}

inline bool setBlocking(int fd, bool blocking)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return wanted == flags || ::fcntl(fd, F_SETFL, wanted) == 0;
}

inline timeval toTimeval(int ms)
{
    if (ms < 0)
        ms = 0;
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

} // namespace wsclient

} // namespace tessivor
