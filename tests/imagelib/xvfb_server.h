// An X server of the tests' own (Xvfb) for the tests that need a display.
#pragma once

#include <csignal>
#include <string>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

// An Xvfb of the given screen size (320 x 240 by default) on a display number it picks itself
// (-displayfd), stopped at the end. display() is empty when it did not start; why() says why.
class Xvfb
{
public:
    explicit Xvfb(const char* screen = "320x240x24")
    {
        if (::access("/usr/bin/Xvfb", X_OK) != 0) {
            m_why = "Xvfb is not installed";
            return;
        }
        int fds[2];
        if (::pipe(fds) != 0) {
            m_why = "no pipe";
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM); // no server left behind by a test that is killed
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten",
                    "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // The display number arrives when the server is ready (up to 20 s on a loaded machine).
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (::poll(&p, 1, 20000) > 0) {
            char ch;
            if (::read(fds[0], &ch, 1) != 1 || ch == '\n')
                break;
            number += ch;
        }
        ::close(fds[0]);
        if (number.empty()) {
            m_why = "Xvfb did not start";
            stop();
            return;
        }
        m_display = ":" + number;
    }
    ~Xvfb() { stop(); }
    const std::string& display() const { return m_display; }
    const std::string& why() const { return m_why; }

private:
    void stop()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    pid_t m_pid = -1;
    std::string m_display, m_why;
};
