// The end signals: the first one becomes a byte to read, a second one ends the process at once,
// and the actions found before come back afterwards.
#include "platform/end_signals.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessivor;

namespace {

// Runs `body` in a child process; its wait status.
template <typename F> int statusOfChild(F body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

bool readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

TEST(EndSignals, TheFirstSignalIsReadFromTheDescriptorAndASecondEndsTheProcess)
{
    for (int first : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(first);
        EndSignals signals;
        ASSERT_TRUE(signals.install());
        EXPECT_FALSE(readable(signals.fd()));
        EXPECT_EQ(signals.take(), 0);
        ASSERT_EQ(::raise(first), 0); // the process goes on
        EXPECT_TRUE(readable(signals.fd()));
        EXPECT_EQ(signals.take(), first);
        EXPECT_FALSE(readable(signals.fd()));

        // While the program closes, any second one ends it as that signal's default would.
        for (int second : {SIGTERM, SIGINT, SIGHUP}) {
            const int status = statusOfChild([second] {
                ::raise(second);
                return 0;
            });
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == second) << second << ": " << status;
        }
    }
}

TEST(EndSignals, TheActionsFoundBeforeComeBackAndOnlyOneObjectHoldsTheSignals)
{
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction before = {};
    ASSERT_EQ(::sigaction(SIGHUP, &ignore, &before), 0);
    {
        EndSignals signals;
        ASSERT_TRUE(signals.install());
        EndSignals other;
        EXPECT_FALSE(other.install());
        EXPECT_EQ(other.fd(), -1);
    }
    struct sigaction now = {};
    ::sigaction(SIGHUP, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    ::sigaction(SIGHUP, &before, nullptr);

    EndSignals again; // free once the first is gone
    EXPECT_TRUE(again.install());
}

TEST(EndSignals, AProgramThatHasClosedEndsByTheSignal)
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        const int status = statusOfChild([signal] {
            EndSignals signals;
            if (!signals.install())
                return 2;
            ::raise(signal);
            if (signals.take() != signal)
                return 3;
            endBySignal(signal);
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << ": " << status;
    }
}

} // namespace
