// Peers for the HTTP engine tests, all on 127.0.0.1: a scripted camera that records each request
// and answers it, a relay that records what passes through it, and child processes (a real HTTP
// server, a real proxy) that the tests start and stop by their process id.
#pragma once

#include "../io/loopback_peer.h"
#include "platform/clock.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace httppeers {

// Skips the engine's fixed pauses; time itself runs as usual.
class NoSleepClock : public tessivor::Clock
{
public:
    std::uint32_t tickCount() override
    {
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }
    void sleepMs(std::uint32_t ms) override { slept += ms; }
    std::time_t now() override { return std::time(nullptr); }
    std::atomic<std::uint64_t> slept{0};
};

// Reads one request: the head through its empty line, then Content-Length more bytes.
inline std::string readRequest(int fd)
{
    std::string got;
    char b[4096];
    std::size_t need = std::string::npos;
    while (need == std::string::npos || got.size() < need) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 3000) != 1)
            break;
        const ssize_t n = ::recv(fd, b, sizeof b, 0);
        if (n <= 0)
            break;
        got.append(b, static_cast<std::size_t>(n));
        const auto end = got.find("\r\n\r\n");
        if (need == std::string::npos && end != std::string::npos) {
            std::size_t length = 0;
            const auto at = got.find("Content-Length: ");
            if (at != std::string::npos && at < end)
                length = std::stoul(got.substr(at + 16));
            need = end + 4 + length;
        }
    }
    return got;
}

// A camera that answers each connection with what `respond` returns for its request, then
// closes. Requests are kept in arrival order.
class FakeCamera
{
public:
    using Responder = std::function<std::string(const std::string& request)>;

    explicit FakeCamera(Responder respond) : m_respond(std::move(respond))
    {
        m_thread = std::thread([this] { run(); });
    }
    ~FakeCamera()
    {
        m_stop = true;
        m_thread.join();
    }
    int port() const { return m_listener.port(); }
    std::vector<std::string> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

private:
    void run()
    {
        while (!m_stop) {
            loopback::Fd c = m_listener.accept(50);
            if (c.get() < 0)
                continue;
            const std::string request = readRequest(c.get());
            {
                std::lock_guard lock(m_mutex);
                m_requests.push_back(request);
            }
            loopback::sendAll(c.get(), m_respond(request));
            ::shutdown(c.get(), SHUT_WR);
            loopback::readAll(c.get(), 1 << 20, 200); // until the client closes
        }
    }

    loopback::Listener m_listener;
    Responder m_respond;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// Passes connections on to `upstreamPort` and records every byte the clients send.
class RecordingRelay
{
public:
    explicit RecordingRelay(int upstreamPort) : m_upstream(upstreamPort)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~RecordingRelay()
    {
        m_stop = true;
        m_thread.join();
    }
    int port() const { return m_listener.port(); }
    std::string captured() const
    {
        std::lock_guard lock(m_mutex);
        return m_captured;
    }

private:
    void run()
    {
        while (!m_stop) {
            loopback::Fd client = m_listener.accept(50);
            if (client.get() < 0)
                continue;
            loopback::Fd up(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
            sockaddr_in a = loopback::address(m_upstream);
            if (::connect(up.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
                continue;
            pump(client.get(), up.get());
        }
    }
    void pump(int client, int up)
    {
        bool clientOpen = true, upOpen = true;
        char b[4096];
        while (upOpen && !m_stop) {
            pollfd p[2] = {{client, static_cast<short>(clientOpen ? POLLIN : 0), 0}, {up, POLLIN, 0}};
            if (::poll(p, 2, 5000) <= 0)
                return;
            if (clientOpen && (p[0].revents & (POLLIN | POLLHUP))) {
                const ssize_t n = ::recv(client, b, sizeof b, 0);
                if (n <= 0) {
                    clientOpen = false;
                    ::shutdown(up, SHUT_WR);
                } else {
                    std::lock_guard lock(m_mutex);
                    m_captured.append(b, static_cast<std::size_t>(n));
                    loopback::sendAll(up, std::string(b, static_cast<std::size_t>(n)));
                }
            }
            if (p[1].revents & (POLLIN | POLLHUP)) {
                const ssize_t n = ::recv(up, b, sizeof b, 0);
                if (n <= 0)
                    upOpen = false;
                else
                    loopback::sendAll(client, std::string(b, static_cast<std::size_t>(n)));
            }
        }
    }

    int m_upstream;
    loopback::Listener m_listener;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::string m_captured;
    std::thread m_thread;
};

// A child process started with an argument list and stopped by its process id.
class ChildProcess
{
public:
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& logFile)
    {
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    bool started() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

// Waits until something accepts connections on `port`.
inline bool waitForListener(int port, int ms = 10000)
{
    const auto start = std::chrono::steady_clock::now();
    while (loopback::msSince(start) < ms) {
        loopback::Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in a = loopback::address(port);
        if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace httppeers
