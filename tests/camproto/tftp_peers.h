// TFTP servers for the upload tests: Debian's tftpd-hpa started as a child process, and a
// scripted server of our own that can refuse, stay silent, drop, duplicate and delay its ACKs, and
// speak from a second port. Both written without our client, so that a fault in it cannot hide.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tessivor::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes randomFileBytes(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& c : b)
        c = static_cast<std::uint8_t>(rng());
    return b;
}

inline sockaddr_in udpAddress(const std::string& address, std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    return a;
}

// A UDP socket bound to address:port (0: any free one); -1 when the bind fails.
inline int bindUdp(const std::string& address, std::uint16_t port, std::uint16_t* bound)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = udpAddress(address, port);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *bound = ntohs(a.sin_port);
    return fd;
}

// in.tftpd of tftpd-hpa in the foreground on 127.0.0.1 and a free port, serving (and accepting
// new files into) a folder of its own.
class TftpdHpa
{
public:
    static constexpr const char* kProgram = "/usr/sbin/in.tftpd";

    // Empty when the server cannot run here (not installed, or not root: it changes its root).
    static std::string unavailableReason()
    {
        if (::access(kProgram, X_OK) != 0)
            return "tftpd-hpa (in.tftpd) is not installed";
        if (::geteuid() != 0)
            return "tftpd-hpa needs root for --secure";
        return {};
    }

    explicit TftpdHpa(const std::filesystem::path& folder) : m_folder(folder)
    {
        ::chmod(folder.c_str(), 0777); // the server runs as nobody
        int fd = bindUdp("127.0.0.1", 0, &m_port);
        ::close(fd);
        const std::string address = "127.0.0.1:" + std::to_string(m_port);
        std::vector<std::string> args{kProgram,   "--foreground", "--address",    address,
                                      "--create", "--secure",     folder.string()};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        // Ready once its port is taken.
        for (int i = 0; i < 200; ++i) {
            std::uint16_t p = 0;
            const int probe = bindUdp("127.0.0.1", m_port, &p);
            if (probe < 0)
                return;
            ::close(probe);
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    ~TftpdHpa()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    std::uint16_t port() const { return m_port; }

private:
    std::filesystem::path m_folder;
    std::uint16_t m_port = 0;
    pid_t m_pid = -1;
};

// A write-only TFTP server of our own with scripted misbehaviour. It serves one transfer.
class ScriptedTftpServer
{
public:
    struct Script
    {
        bool silent = false;        // nothing is ever answered
        bool refuseRequest = false; // ERROR 2 to the write request
        int errorAfterBlock = -1;   // ERROR 3 instead of the ACK of this block
        int dropFirstAckEvery = 0;  // the first ACK of every n-th block is not sent
        bool hostile = false;       // duplicate, late and stray ACKs, ERROR and noise from a 2nd port
        int ackDelayMs = 0;         // each ACK waits this long
        // An ACK 0 from another host (`impostorAddress`) reaches the client before the server's own.
        bool impostorFirst = false;
        std::string impostorAddress = "127.0.0.3";
        std::string address = "127.0.0.1";
        std::uint16_t port = 0;
    };

    explicit ScriptedTftpServer(Script script) : m_script(std::move(script))
    {
        m_listen = bindUdp(m_script.address, m_script.port, &m_port);
        std::uint16_t ignored = 0;
        m_transfer = bindUdp(m_script.address, 0, &ignored);
        m_stray = bindUdp(m_script.address, 0, &ignored);
        if (m_script.impostorFirst)
            m_impostor = bindUdp(m_script.impostorAddress, 0, &ignored);
        if (m_listen >= 0)
            m_thread = std::thread([this] { run(); });
    }
    ~ScriptedTftpServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (int fd : {m_listen, m_transfer, m_stray, m_impostor})
            if (fd >= 0)
                ::close(fd);
    }
    bool ok() const
    {
        return m_listen >= 0 && m_transfer >= 0 && m_stray >= 0 &&
               (!m_script.impostorFirst || m_impostor >= 0);
    }
    // What the client sent to the impostor: DATA packets and ERROR 5 (unknown transfer ID).
    int impostorData() const { return m_impostorData.load(); }
    int impostorErrors() const { return m_impostorErrors.load(); }
    std::uint16_t port() const { return m_port; }
    int writeRequests() const { return m_requests.load(); }
    int strayErrors() const { return m_strayErrors.load(); } // ERRORs the client sent to the 2nd port
    int retransmissions() const { return m_retransmissions.load(); }
    std::string requestedName() const
    {
        std::lock_guard lock(m_mutex);
        return m_name;
    }
    Bytes file() const
    {
        std::lock_guard lock(m_mutex);
        return m_file;
    }
    bool complete() const { return m_complete.load(); }

private:
    static Bytes packet(std::uint16_t op, std::uint16_t n, const std::string& text = {},
                        bool terminate = false)
    {
        Bytes p{static_cast<std::uint8_t>(op >> 8), static_cast<std::uint8_t>(op),
                static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
        p.insert(p.end(), text.begin(), text.end());
        if (terminate)
            p.push_back(0);
        return p;
    }
    void sendFrom(int fd, const Bytes& p, const sockaddr_in& to)
    {
        ::sendto(fd, p.data(), p.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    void ack(std::uint16_t n, const sockaddr_in& to)
    {
        if (m_script.ackDelayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(m_script.ackDelayMs));
        sendFrom(m_transfer, packet(4, n), to);
        if (m_script.hostile) {
            sendFrom(m_transfer, packet(4, n), to);                                 // duplicate
            sendFrom(m_transfer, packet(4, static_cast<std::uint16_t>(n - 1)), to); // late
            sendFrom(m_stray, packet(4, static_cast<std::uint16_t>(n + 1)), to);    // foreign port
            sendFrom(m_stray, packet(5, 0, "bogus", true), to);                     // foreign ERROR
            sendFrom(m_stray, Bytes{0xFF, 0x00, 0x01}, to);                         // noise
        }
    }
    // Waits for a datagram on fd; its size, or -1.
    long receive(int fd, Bytes& buf, sockaddr_in* from, int ms)
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1)
            return -1;
        socklen_t len = sizeof *from;
        return ::recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(from), &len);
    }
    void drainStray()
    {
        Bytes buf(600);
        sockaddr_in from{};
        while (true) {
            const long n = receive(m_stray, buf, &from, 0);
            if (n < 0)
                break;
            if (n >= 4 && buf[1] == 5)
                m_strayErrors++;
        }
        while (m_impostor >= 0) {
            const long n = receive(m_impostor, buf, &from, 0);
            if (n < 0)
                break;
            if (n >= 4 && buf[1] == 3)
                m_impostorData++;
            if (n >= 4 && buf[1] == 5 && buf[3] == 5)
                m_impostorErrors++;
        }
    }
    void run()
    {
        Bytes buf(2048);
        sockaddr_in client{};
        while (!m_stop) {
            const long n = receive(m_listen, buf, &client, 50);
            if (n < 2 || buf[1] != 2)
                continue;
            m_requests++;
            {
                std::lock_guard lock(m_mutex);
                m_name.assign(reinterpret_cast<const char*>(buf.data()) + 2);
            }
            if (m_script.silent)
                continue;
            if (m_script.refuseRequest) {
                sendFrom(m_transfer, packet(5, 2, "Access violation", true), client);
                continue;
            }
            if (m_script.impostorFirst) {
                sendFrom(m_impostor, packet(4, 0), client);
                std::this_thread::sleep_for(std::chrono::milliseconds(20)); // it arrives first
            }
            ack(0, client);
            break;
        }
        std::uint16_t expected = 1;
        std::map<std::uint16_t, int> seen;
        auto lastData = std::chrono::steady_clock::now();
        while (!m_stop) {
            drainStray();
            sockaddr_in from{};
            const long n = receive(m_transfer, buf, &from, 50);
            if (n < 0) {
                // The final ACK may be lost: answer repeats for a while, then end.
                if (m_complete && std::chrono::steady_clock::now() - lastData > std::chrono::seconds(3))
                    break;
                continue;
            }
            if (n < 4 || buf[1] != 3)
                continue;
            lastData = std::chrono::steady_clock::now();
            const std::uint16_t block = static_cast<std::uint16_t>((buf[2] << 8) | buf[3]);
            if (++seen[block] > 1)
                m_retransmissions++;
            if (block == static_cast<std::uint16_t>(expected - 1)) {
                ack(block, from); // a repeat of the block we have
                continue;
            }
            if (block != expected)
                continue;
            if (static_cast<int>(block) == m_script.errorAfterBlock) {
                sendFrom(m_transfer, packet(5, 3, "Disk full", true), from);
                break;
            }
            if (m_script.dropFirstAckEvery > 0 && block % m_script.dropFirstAckEvery == 0 && seen[block] == 1)
                continue; // the client has to send it again
            {
                std::lock_guard lock(m_mutex);
                m_file.insert(m_file.end(), buf.begin() + 4, buf.begin() + n);
            }
            ++expected;
            if (n - 4 < 512)
                m_complete = true;
            ack(block, from);
        }
        drainStray();
    }

    Script m_script;
    int m_listen = -1, m_transfer = -1, m_stray = -1, m_impostor = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::atomic<int> m_strayErrors{0};
    std::atomic<int> m_retransmissions{0};
    std::atomic<int> m_impostorData{0};
    std::atomic<int> m_impostorErrors{0};
    std::atomic<bool> m_complete{false};
    mutable std::mutex m_mutex;
    std::string m_name;
    Bytes m_file;
    std::thread m_thread;
};

} // namespace tessivor::testing
