// Starts and stops the simulated camera (tools/camsim) for a test, and talks to its control
// channel. Each camera listens on a loopback address of its own (127.x.y.z), so that tests that
// run side by side never share a port, not even the fixed image-settings port.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tessivor::testing {

// A loopback address that no other test of this run uses: 127.<pid bits>.<counter>.
inline std::string uniqueLoopbackAddress()
{
    static std::atomic<int> counter{1};
    const int n = counter++;
    const unsigned pid = static_cast<unsigned>(::getpid());
    return "127." + std::to_string(1 + (pid % 250)) + "." + std::to_string((pid / 250) % 250) + "." +
           std::to_string(1 + n % 250);
}

class CamSim
{
public:
    // Starts camsim with `args` (besides the address and the ports) and waits for it to be ready.
    // The image-settings datagram port (62976, fixed by the protocol) is opened only when asked
    // for, so that cameras that do not need it never compete for it.
    explicit CamSim(std::vector<std::string> args, bool settingsDatagrams = false,
                    std::string address = uniqueLoopbackAddress())
        : m_address(std::move(address)), m_args(std::move(args)),
          m_udpPort(settingsDatagrams ? "62976" : "-1")
    {
        start({"--native-port", "0", "--http-port", "0", "--udp-port", m_udpPort, "--control-port", "0"});
    }
    ~CamSim() { kill(); }
    CamSim(const CamSim&) = delete;
    CamSim& operator=(const CamSim&) = delete;

    const std::string& address() const { return m_address; }
    int nativePort() const { return m_ports.at("native"); }
    int httpPort() const { return m_ports.at("http"); }
    // The port of a service camsim announced ("kestra", "control", ...).
    int port(const std::string& service) const { return m_ports.at(service); }

    // Ends the camera at once (SIGKILL), as a camera that loses power.
    void kill()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        if (m_control >= 0) {
            ::close(m_control);
            m_control = -1;
        }
    }

    // Starts the camera again on the same ports, with `extra` arguments added.
    void restart(const std::vector<std::string>& extra = {})
    {
        kill();
        m_args.insert(m_args.end(), extra.begin(), extra.end());
        start({"--native-port", std::to_string(m_ports.at("native")), "--http-port",
               std::to_string(m_ports.at("http")), "--udp-port", m_udpPort, "--control-port", "0"});
    }

    // One control-channel command; returns the answer line ("ok ..." or "error ...").
    std::string command(const std::string& line)
    {
        if (m_control < 0)
            connectControl();
        const std::string out = line + "\n";
        if (::send(m_control, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size()))
            throw std::runtime_error("camsim control channel closed");
        std::string answer;
        char c;
        while (true) {
            pollfd p{m_control, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0 || ::recv(m_control, &c, 1, 0) != 1)
                throw std::runtime_error("camsim did not answer \"" + line + "\"");
            if (c == '\n')
                return answer;
            answer += c;
        }
    }

    // A counter from the "stats" answer.
    long stat(const std::string& name)
    {
        const std::string s = command("stats");
        const auto at = s.find(" " + name + "=");
        if (at == std::string::npos)
            throw std::runtime_error("no " + name + " in " + s);
        return std::stol(s.substr(at + name.size() + 2));
    }

private:
    void start(const std::vector<std::string>& ports)
    {
        std::vector<std::string> argv{TESSIVOR_CAMSIM_EXE, "--address", m_address};
        argv.insert(argv.end(), ports.begin(), ports.end());
        argv.insert(argv.end(), m_args.begin(), m_args.end());
        // Everything the child needs is made before fork: between fork and exec the child of a
        // threaded process may not allocate (another thread may have held the allocator's lock).
        std::vector<char*> a;
        for (auto& s : argv)
            a.push_back(s.data());
        a.push_back(nullptr);
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            // The camera ends with the thread that started it, even when the test dies.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::execv(a[0], a.data());
            ::_exit(127);
        }
        ::close(out[1]);
        // "camsim NAME ADDRESS:PORT" lines, then "camsim ready".
        std::string text;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (text.find("camsim ready\n") == std::string::npos) {
            pollfd p{out[0], POLLIN, 0};
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            char buf[256];
            ssize_t n = 0;
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
                (n = ::read(out[0], buf, sizeof buf)) <= 0) {
                ::close(out[0]);
                kill();
                throw std::runtime_error("camsim did not start: " + text);
            }
            text.append(buf, static_cast<std::size_t>(n));
        }
        ::close(out[0]);
        std::size_t pos = 0;
        while (true) {
            const auto nl = text.find('\n', pos);
            if (nl == std::string::npos)
                break;
            const std::string line = text.substr(pos, nl - pos);
            pos = nl + 1;
            const auto sp1 = line.find(' '), sp2 = line.rfind(' '), colon = line.rfind(':');
            if (sp1 != std::string::npos && sp2 != sp1 && colon != std::string::npos)
                m_ports[line.substr(sp1 + 1, sp2 - sp1 - 1)] = std::stoi(line.substr(colon + 1));
        }
    }

    void connectControl()
    {
        m_control = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(m_ports.at("control")));
        ::inet_pton(AF_INET, m_address.c_str(), &a.sin_addr);
        if (::connect(m_control, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("cannot reach the camsim control channel");
    }

    std::string m_address;
    std::vector<std::string> m_args;
    std::string m_udpPort;
    std::map<std::string, int> m_ports;
    pid_t m_pid = -1;
    int m_control = -1;
};

// A number of camsim's "stats" answer ("ok connections=3 open=1 frames=40 ..."), or -1.
inline long statsField(const std::string& stats, const std::string& name)
{
    const auto at = stats.find(" " + name + "=");
    return at == std::string::npos ? -1 : std::atol(stats.c_str() + at + name.size() + 2);
}

// The number in a JPEG's "camsim frame N" comment; -1 when the bytes hold none.
inline long long camsimFrameNumber(const std::uint8_t* jpeg, std::size_t size)
{
    static const char kPrefix[] = "camsim frame ";
    const std::size_t prefix = sizeof kPrefix - 1;
    // Walk the markers from SOI to the first COM segment.
    std::size_t pos = 2;
    if (size < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return -1;
    while (pos + 4 <= size && jpeg[pos] == 0xFF) {
        const std::uint8_t marker = jpeg[pos + 1];
        const std::size_t length = (static_cast<std::size_t>(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
        if (length < 2 || pos + 2 + length > size)
            return -1;
        if (marker == 0xFE) {
            const char* text = reinterpret_cast<const char*>(jpeg + pos + 4);
            const std::size_t textSize = length - 2;
            if (textSize <= prefix || std::memcmp(text, kPrefix, prefix) != 0)
                return -1;
            return std::stoll(std::string(text + prefix, textSize - prefix));
        }
        if (marker == 0xDA)
            return -1;
        pos += 2 + length;
    }
    return -1;
}

} // namespace tessivor::testing
