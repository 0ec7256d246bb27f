#include "platform/end_signals.h"

#include <atomic>
#include <cerrno>
#include <iterator>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace tessivor {

namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the handler may touch: lock-free atomics only.
std::atomic<int> g_writeEnd{-1};
std::atomic<int> g_arrived{0};
std::atomic<bool> g_taken{false}; // an EndSignals object holds the signals
struct sigaction g_previous[std::size(kEndSignals)];

extern "C" void onEndSignal(int signal)
{
    const int savedErrno = errno;
    if (g_arrived.fetch_add(1) > 0) {
        // The program is closing already: this one ends it. The signal is blocked while its
        // handler runs, so the raise takes effect, with the default action, once it returns.
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        ::sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
        ::raise(signal);
    } else {
        const unsigned char number = static_cast<unsigned char>(signal);
        // The pipe holds far more than the one byte ever written to it.
        [[maybe_unused]] const ssize_t n = ::write(g_writeEnd.load(), &number, 1);
    }
    errno = savedErrno;
}

} // namespace

EndSignals::~EndSignals()
{
    if (m_installed) {
        for (std::size_t i = 0; i < std::size(kEndSignals); ++i)
            ::sigaction(kEndSignals[i], &g_previous[i], nullptr);
        g_writeEnd.store(-1);
        g_arrived.store(0);
        g_taken.store(false);
    }
    if (m_read >= 0)
        ::close(m_read);
    if (m_write >= 0)
        ::close(m_write);
}

bool EndSignals::install()
{
    if (m_installed)
        return true;
    if (g_taken.exchange(true))
        return false; // another object holds them
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_taken.store(false);
        return false;
    }
    m_read = ends[0];
    m_write = ends[1];
    g_writeEnd.store(m_write);
    g_arrived.store(0);

    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    action.sa_flags = SA_RESTART;
    ::sigemptyset(&action.sa_mask);
    for (int s : kEndSignals)
        ::sigaddset(&action.sa_mask, s); // one handler at a time
    std::size_t done = 0;
    for (; done < std::size(kEndSignals); ++done)
        if (::sigaction(kEndSignals[done], &action, &g_previous[done]) != 0)
            break;
    if (done < std::size(kEndSignals)) {
        while (done-- > 0)
            ::sigaction(kEndSignals[done], &g_previous[done], nullptr);
        g_writeEnd.store(-1);
        g_taken.store(false);
        return false;
    }
    m_installed = true;
    return true;
}

int EndSignals::take()
{
    if (m_read < 0)
        return 0;
    int first = 0;
    unsigned char buffer[16];
    ssize_t n;
    while ((n = ::read(m_read, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        for (ssize_t i = 0; i < n && first == 0; ++i)
            first = buffer[i];
    return first;
}

void endBySignal(int signal)
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    sigset_t set;
    ::sigemptyset(&set);
    ::sigaddset(&set, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    ::_exit(128 + signal); // a signal whose default does not end the process
}

} // namespace tessivor
