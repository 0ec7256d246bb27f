// Helpers of the e-mail tests: a scratch folder per test and running outside tools (Python's
// email package, munpack, uudecode) with an argument list, never through a shell.
#pragma once

#include "../io/test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace mailtest {

namespace fs = std::filesystem;

using testfiles::readFile;
using testfiles::writeFile;

// A folder of its own for each test, under the test's home folder.
class TempDir : public testfiles::HomeDir
{
public:
    TempDir() : HomeDir("mail") {}
};

struct ProcessResult
{
    int exitCode = -1;
    std::string out; // standard output and standard error, interleaved
};

// Runs `argv` in `cwd` (when given) and waits for it, at most `limit` (a hang guard only).
inline ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& cwd = {},
                                std::chrono::seconds limit = std::chrono::seconds(60))
{
    ProcessResult result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        result.out = "cannot start " + argv[0];
        return result;
    }
    const auto end = std::chrono::steady_clock::now() + limit;
    char buf[4096];
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            result.out += "\n[killed after the time limit]";
            break;
        }
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        result.out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// A peer process that runs beside the test (a server): its standard input stays open while it
// runs (closing it asks the peer to end), its standard output can be read line by line.
class PeerProcess
{
public:
    explicit PeerProcess(const std::vector<std::string>& argv)
    {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (::posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        m_stdin = in[1];
        m_stdout = out[0];
    }
    ~PeerProcess() { stop(); }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    bool running() const { return m_pid > 0; }

    // The next line of its output (without the line end); empty when none came in time.
    std::string readLine(std::chrono::seconds limit = std::chrono::seconds(20))
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (true) {
            const auto lf = m_buffer.find('\n');
            if (lf != std::string::npos) {
                std::string line = m_buffer.substr(0, lf);
                m_buffer.erase(0, lf + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || m_stdout < 0)
                return {};
            pollfd p{m_stdout, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char block[1024];
            const ssize_t n = ::read(m_stdout, block, sizeof block);
            if (n <= 0)
                return {};
            m_buffer.append(block, static_cast<std::size_t>(n));
        }
    }

    // Closes its input, waits up to five seconds for it to end, then kills it.
    void stop()
    {
        if (m_stdin >= 0)
            ::close(m_stdin);
        m_stdin = -1;
        if (m_pid > 0) {
            int status = 0;
            for (int i = 0; i < 100 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (::waitpid(m_pid, &status, WNOHANG) == 0) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
            }
        }
        m_pid = -1;
        if (m_stdout >= 0)
            ::close(m_stdout);
        m_stdout = -1;
    }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
    std::string m_buffer;
};

// The folder of the Python peers beside this file.
inline std::string peer(const std::string& script)
{
    return std::string(TESSIVOR_SOURCE_DIR) + "/tests/mail/peers/" + script;
}

inline const char* kSystemPython = "/usr/bin/python3";

} // namespace mailtest
