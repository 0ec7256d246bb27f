// A small network of its own for the discovery tests, made of network namespaces that the test
// creates and deletes (addresses from 198.18.0.0/15, no route out of them):
//
//   host (this test process)  eth0 198.18.0.1/24 and 198.18.0.2/24 --+
//   camera a                  eth0 198.18.0.11/24 -------------------+-- bridge (namespace "s")
//   camera b                  eth0 198.18.0.12/24 -------------------+
//   router                    eth0 198.18.0.254/24 ------------------+
//                             br1  198.19.0.254/24 --+-- camera c  eth0 198.19.0.13/24
//                                                    +-- camera d  eth0 198.19.0.14/24
//
// The test process moves itself into the host namespace before any other thread exists, so the
// control and all its workers speak only inside the lab. Cameras run as camsim processes inside
// their namespaces. Everything is removed when the program ends.
#pragma once

#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tessivor::testing {

class NetnsLab
{
public:
    static constexpr const char* kIp = "/usr/sbin/ip";

    // Builds the lab and enters its host namespace; `error()` says why when it could not.
    NetnsLab() : m_prefix("tsv" + std::to_string(::getpid()))
    {
        if (::geteuid() != 0) {
            m_error = "network namespaces need root (CI runs as root)";
            return;
        }
        if (::access(kIp, X_OK) != 0) {
            m_error = std::string(kIp) + " is missing (Debian package iproute2)";
            return;
        }
        try {
            build();
        } catch (const std::exception& e) {
            m_error = e.what();
        }
    }
    ~NetnsLab()
    {
        for (pid_t pid : m_cameras) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        for (const std::string& ns : m_namespaces)
            std::system((std::string(kIp) + " netns del " + ns + " 2>/dev/null").c_str());
    }
    NetnsLab(const NetnsLab&) = delete;
    NetnsLab& operator=(const NetnsLab&) = delete;

    bool ready() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    std::string ns(const std::string& name) const { return m_prefix + name; }

    // Starts camsim in namespace `name` with `args`; waits for its "camsim ready".
    void startCamera(const std::string& name, const std::string& exe, const std::vector<std::string>& args)
    {
        std::vector<std::string> argv{kIp, "netns", "exec", ns(name), exe};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> a;
        for (auto& s : argv)
            a.push_back(s.data());
        a.push_back(nullptr);
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], 1);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::execv(a[0], a.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_cameras.push_back(pid);
        std::string text;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (text.find("camsim ready\n") == std::string::npos) {
            pollfd p{out[0], POLLIN, 0};
            char buf[256];
            ssize_t n = 0;
            if (std::chrono::steady_clock::now() > end || ::poll(&p, 1, 200) < 0 ||
                ((p.revents & (POLLIN | POLLHUP)) && (n = ::read(out[0], buf, sizeof buf)) <= 0)) {
                ::close(out[0]);
                throw std::runtime_error("camsim " + name + " did not start: " + text);
            }
            if (n > 0)
                text.append(buf, static_cast<std::size_t>(n));
        }
        ::close(out[0]);
    }

    // A raw socket that sees every frame on the bridge of the segment (made inside its namespace).
    int openCapture() const
    {
        int fd = -1;
        std::thread t([&] {
            const int nsFd = ::open(("/run/netns/" + ns("s")).c_str(), O_RDONLY | O_CLOEXEC);
            if (nsFd < 0 || ::setns(nsFd, CLONE_NEWNET) != 0)
                return;
            ::close(nsFd);
            fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
            if (fd < 0)
                return;
            sockaddr_ll a{};
            a.sll_family = AF_PACKET;
            a.sll_protocol = htons(ETH_P_ALL);
            a.sll_ifindex = static_cast<int>(::if_nametoindex("br0"));
            if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                ::close(fd);
                fd = -1;
            }
        });
        t.join();
        return fd;
    }

private:
    void run(const std::string& command)
    {
        const std::string full = std::string(kIp) + " " + command + " 2>&1";
        FILE* p = ::popen(full.c_str(), "r");
        std::string out;
        char buf[256];
        std::size_t n;
        while (p && (n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        const int status = p ? ::pclose(p) : -1;
        if (status != 0)
            throw std::runtime_error("ip " + command + " failed: " + out);
    }

    void build()
    {
        for (const char* n : {"h", "s", "r", "a", "b", "c", "d"}) {
            run("netns add " + ns(n));
            m_namespaces.push_back(ns(n));
            run("-n " + ns(n) + " link set lo up");
        }
        run("-n " + ns("s") + " link add br0 type bridge");
        run("-n " + ns("s") + " link set br0 up");
        for (const char* n : {"h", "a", "b", "r"}) {
            const std::string port = std::string("p") + n;
            run("-n " + ns("s") + " link add " + port + " type veth peer name eth0 netns " + ns(n));
            run("-n " + ns("s") + " link set " + port + " master br0 up");
            run("-n " + ns(n) + " link set eth0 up");
        }
        run("-n " + ns("r") + " link add br1 type bridge");
        run("-n " + ns("r") + " link set br1 up");
        for (const char* n : {"c", "d"}) {
            const std::string port = std::string("p") + n;
            run("-n " + ns("r") + " link add " + port + " type veth peer name eth0 netns " + ns(n));
            run("-n " + ns("r") + " link set " + port + " master br1 up");
            run("-n " + ns(n) + " link set eth0 up");
        }
        run("-n " + ns("h") + " addr add 198.18.0.1/24 dev eth0");
        run("-n " + ns("h") + " addr add 198.18.0.2/24 dev eth0");
        run("-n " + ns("h") + " route add 198.19.0.0/24 via 198.18.0.254");
        // The limited broadcast leaves through the segment (there is no default route).
        run("-n " + ns("h") + " route add 255.255.255.255/32 dev eth0");
        run("-n " + ns("r") + " addr add 198.18.0.254/24 dev eth0");
        run("-n " + ns("r") + " addr add 198.19.0.254/24 dev br1");
        run("netns exec " + ns("r") + " /usr/sbin/sysctl -q -w net.ipv4.ip_forward=1");
        const std::pair<const char*, const char*> cams[] = {
            {"a", "198.18.0.11"}, {"b", "198.18.0.12"}, {"c", "198.19.0.13"}, {"d", "198.19.0.14"}};
        for (auto [n, address] : cams) {
            const bool behindRouter = std::string(address).starts_with("198.19.");
            run("-n " + ns(n) + " addr add " + address + "/24 dev eth0");
            run("-n " + ns(n) + " route add default via " + (behindRouter ? "198.19.0.254" : "198.18.0.254"));
        }
        // This process joins the host namespace; threads made from now on are in it too.
        const int fd = ::open(("/run/netns/" + ns("h")).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0)
            throw std::runtime_error("cannot enter the host namespace: " + std::string(std::strerror(errno)));
        ::close(fd);
    }

    std::string m_prefix;
    std::string m_error;
    std::vector<std::string> m_namespaces;
    std::vector<pid_t> m_cameras;
};

} // namespace tessivor::testing
