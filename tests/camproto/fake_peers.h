// In-process peers for the exchange tests, on loopback: a datagram peer that answers each
// request with scripted datagrams, and a TCP peer that answers each connection with scripted
// bytes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessivor::testing {

using Datagram = std::vector<std::uint8_t>;

// A socket of `type` bound to a free port of 127.0.0.1; the port into `*port`.
inline int bindLoopback(int type, std::uint16_t* port)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return fd;
}

class FakeDatagramPeer
{
public:
    // `answer` gets each request and returns the datagrams to send back, in order.
    explicit FakeDatagramPeer(std::function<std::vector<Datagram>(const Datagram&)> answer)
        : m_answer(std::move(answer))
    {
        m_fd = bindLoopback(SOCK_DGRAM, &m_port);
        m_thread = std::thread([this] { run(); });
    }
    ~FakeDatagramPeer()
    {
        m_quit.store(true);
        m_thread.join();
        ::close(m_fd);
    }
    std::uint16_t port() const { return m_port; }
    int requests() const { return m_requests.load(); }
    // True while a request waits to be read or its answers are still going out.
    bool busy() const
    {
        if (m_inFlight.load())
            return true;
        pollfd p{m_fd, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }
    Datagram lastRequest() const
    {
        std::lock_guard lock(m_mutex);
        return m_last;
    }

private:
    void run()
    {
        while (!m_quit.load()) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            m_inFlight.store(true); // before the read, so that busy() never misses the request
            std::uint8_t buf[4096];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0) {
                m_inFlight.store(false);
                continue;
            }
            Datagram request(buf, buf + n);
            {
                std::lock_guard lock(m_mutex);
                m_last = request;
            }
            // Counted before the answer goes out, so that a client that has its answer sees the count.
            m_requests.fetch_add(1);
            for (const Datagram& d : m_answer(request))
                ::sendto(m_fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
            m_inFlight.store(false);
        }
    }

    std::function<std::vector<Datagram>(const Datagram&)> m_answer;
    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_inFlight{false};
    std::atomic<int> m_requests{0};
    mutable std::mutex m_mutex;
    Datagram m_last;
    std::thread m_thread;
};

// A hostile datagram peer: once a request has come, it streams `junk` back to whoever asked last
// (a client that asks again from a new socket gets the rest), one datagram per socket wait the
// client begins, moving the test's clock on by `stepMs` after each, until `totalMs` have passed
// on that clock. While it streams it counts as busy, so the clock lets no idle time pass.
template <class StepClock> class StreamingPeer
{
public:
    StreamingPeer(StepClock& clock, Datagram junk, std::uint32_t stepMs, std::uint32_t totalMs)
        : m_clock(clock), m_junk(std::move(junk)), m_stepMs(stepMs), m_totalMs(totalMs),
          m_startWaits(clock.waits())
    {
        m_fd = bindLoopback(SOCK_DGRAM, &m_port);
        m_thread = std::thread([this] { run(); });
    }
    ~StreamingPeer()
    {
        m_quit.store(true);
        m_thread.join();
        ::close(m_fd);
    }
    std::uint16_t port() const { return m_port; }
    bool busy() const { return !m_finished.load(); }
    int sent() const { return m_sent.load(); }
    int requests() const { return m_requests.load(); }

private:
    // Reads every waiting request; the last sender is the one streamed to.
    void drain(bool block)
    {
        while (true) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, block ? 20 : 0) <= 0)
                return;
            std::uint8_t buf[4096];
            socklen_t len = sizeof m_to;
            if (::recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&m_to), &len) >= 0)
                m_requests.fetch_add(1);
            block = false;
        }
    }
    void run()
    {
        int seenWaits = m_startWaits;
        while (!m_quit.load() && m_requests.load() == 0)
            drain(true);
        for (std::uint32_t streamed = 0; streamed < m_totalMs && !m_quit.load(); streamed += m_stepMs) {
            // Paced by the client: the next datagram goes out once it waits again.
            while (!m_quit.load() && m_clock.waits() == seenWaits)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            seenWaits = m_clock.waits();
            drain(false);
            ::sendto(m_fd, m_junk.data(), m_junk.size(), 0, reinterpret_cast<sockaddr*>(&m_to), sizeof m_to);
            m_sent.fetch_add(1);
            m_clock.advance(m_stepMs);
        }
        m_finished.store(true);
        while (!m_quit.load())
            drain(true);
    }

    StepClock& m_clock;
    const Datagram m_junk;
    const std::uint32_t m_stepMs;
    const std::uint32_t m_totalMs;
    const int m_startWaits;
    int m_fd = -1;
    std::uint16_t m_port = 0;
    sockaddr_in m_to{};
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_sent{0};
    std::atomic<int> m_requests{0};
    std::thread m_thread;
};

class FakeTcpPeer
{
public:
    // Each connection: the request head is read, then `answer` (empty: say nothing and hold the
    // connection until the client closes it) is sent and the connection closed.
    explicit FakeTcpPeer(std::string answer) : m_answer(std::move(answer))
    {
        m_fd = bindLoopback(SOCK_STREAM, &m_port);
        ::listen(m_fd, 8);
        m_thread = std::thread([this] { run(); });
    }
    ~FakeTcpPeer()
    {
        m_quit.store(true);
        m_thread.join();
        ::close(m_fd);
    }
    std::uint16_t port() const { return m_port; }
    int connections() const { return m_connections.load(); }
    std::string lastHead() const
    {
        std::lock_guard lock(m_mutex);
        return m_head;
    }

private:
    void run()
    {
        while (!m_quit.load()) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int c = ::accept(m_fd, nullptr, nullptr);
            if (c < 0)
                continue;
            m_connections.fetch_add(1);
            std::string head;
            char ch;
            while (head.find("\r\n\r\n") == std::string::npos) {
                pollfd q{c, POLLIN, 0};
                if (::poll(&q, 1, 2000) <= 0 || ::recv(c, &ch, 1, 0) != 1)
                    break;
                head += ch;
            }
            {
                std::lock_guard lock(m_mutex);
                m_head = head;
            }
            if (!m_answer.empty()) {
                ::send(c, m_answer.data(), m_answer.size(), MSG_NOSIGNAL);
            } else {
                while (!m_quit.load()) { // hold it until the client gives up
                    pollfd q{c, POLLIN, 0};
                    if (::poll(&q, 1, 20) > 0 && ::recv(c, &ch, 1, 0) <= 0)
                        break;
                }
            }
            ::close(c);
        }
    }

    std::string m_answer;
    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_quit{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::string m_head;
    std::thread m_thread;
};

} // namespace tessivor::testing
