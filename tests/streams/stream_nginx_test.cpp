// The repeated-request stream (Protocol 4) from a web server that nobody here wrote: nginx serves
// one JPEG file behind Basic authentication while the test replaces the file again and again
// (write, then rename, so that nginx never serves half a file). A relay in front of nginx counts
// the requests that are on their way and not yet answered; nginx's own log shows what it answered.
#include "camsim_process.h"
#include "control/cimage.h"
#include "event_recorder.h"
#include "jpeg_check.h"
#include "picture.h"
#include "shared_slot.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

using namespace tessivor;
using namespace tessivor::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr int kMaxUnanswered = 16;

int freePort(const std::string& address)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

int connectTo(const std::string& address, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string nginxProgram()
{
    for (const char* p : {"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"})
        if (fs::exists(p))
            return p;
    return {};
}

// nginx in a prefix of its own, in the foreground, as one process.
class Nginx
{
public:
    Nginx(const fs::path& prefix, const std::string& address, int port, const std::string& user,
          const std::string& password)
        : m_prefix(prefix)
    {
        fs::create_directories(prefix / "html/goform");
        fs::create_directories(prefix / "tmp");
        std::ofstream(prefix / "htpasswd") << user << ":{PLAIN}" << password << "\n";
        const std::string p = prefix.string();
        std::ofstream(prefix / "nginx.conf")
            << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << p << "/nginx.pid;\n"
            << "error_log " << p << "/error.log;\nevents { worker_connections 64; }\n"
            << "http {\n"
            << "  log_format frames '$connection $connection_requests $status $body_bytes_sent "
               "$request_uri';\n"
            << "  access_log " << p << "/access.log frames;\n"
            << "  client_body_temp_path " << p << "/tmp/body;\n  proxy_temp_path " << p << "/tmp/proxy;\n"
            << "  fastcgi_temp_path " << p << "/tmp/fastcgi;\n  uwsgi_temp_path " << p << "/tmp/uwsgi;\n"
            << "  scgi_temp_path " << p << "/tmp/scgi;\n"
            << "  keepalive_requests 1000000;\n  keepalive_timeout 30;\n"
            << "  server {\n    listen " << address << ":" << port << ";\n    root " << p << "/html;\n"
            << "    location / { auth_basic \"camera\"; auth_basic_user_file " << p << "/htpasswd;\n"
            << "                 default_type image/jpeg; }\n  }\n}\n";
    }
    ~Nginx() { stop(); }

    void start(const std::string& address, int port)
    {
        const std::string program = nginxProgram();
        ASSERT_FALSE(program.empty()) << "nginx is not installed (scripts/packages.txt lists nginx-light)";
        const std::string prefix = m_prefix.string() + "/"; // made before fork: the child may not allocate
        const std::string conf = m_prefix.string() + "/nginx.conf";
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::execl(program.c_str(), program.c_str(), "-p", prefix.c_str(), "-c", conf.c_str(), nullptr);
            ::_exit(127);
        }
        for (int i = 0; i < 100; ++i) {
            const int fd = connectTo(address, port);
            if (fd >= 0) {
                ::close(fd);
                return;
            }
            std::this_thread::sleep_for(50ms);
        }
        FAIL() << "nginx did not start; its error log: " << slurp(m_prefix / "error.log");
    }
    void stop()
    {
        if (m_pid > 0) {
            // A graceful stop waits for nginx's open connections; one that a peer still holds
            // would keep it waiting, so after a generous limit nginx is stopped at once.
            ::kill(m_pid, SIGQUIT);
            const auto limit = std::chrono::steady_clock::now() + 20s;
            while (::waitpid(m_pid, nullptr, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() > limit) {
                    ::kill(m_pid, SIGTERM);
                    ::waitpid(m_pid, nullptr, 0);
                    break;
                }
                std::this_thread::sleep_for(50ms);
            }
            m_pid = -1;
        }
    }
    static std::string slurp(const fs::path& file)
    {
        std::ifstream in(file);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

private:
    fs::path m_prefix;
    pid_t m_pid = -1;
};

// Passes one client connection at a time to the server, hands the server's answers on no faster
// than one per kAnswerSpacing (as a camera that makes a picture at a time would), and counts, at
// every moment, the requests that went to the server and whose answers have not been handed on.
class CountingRelay
{
public:
    static constexpr auto kAnswerSpacing = 20ms;

    CountingRelay(std::string address, int serverPort)
        : m_address(std::move(address)), m_serverPort(serverPort)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, m_address.c_str(), &a.sin_addr);
        socklen_t len = sizeof a;
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 4);
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~CountingRelay()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    int port() const { return m_port; }
    long requests() const { return m_requests; }
    long answers() const { return m_answers; }
    long mostUnanswered() const { return m_mostUnanswered; }

private:
    void run()
    {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = connectTo(m_address, m_serverPort);
            if (client >= 0 && server >= 0)
                relay(client, server);
            if (client >= 0)
                ::close(client);
            if (server >= 0)
                ::close(server);
        }
    }

    void relay(int client, int server)
    {
        std::string up, down;            // bytes seen and not yet parsed
        std::deque<std::string> answers; // whole answers waiting to be handed on
        std::size_t headEnd = std::string::npos, answerSize = 0;
        auto nextHandOn = std::chrono::steady_clock::now();
        char buf[65536];
        while (!m_stop) {
            const auto now = std::chrono::steady_clock::now();
            if (!answers.empty() && now >= nextHandOn) {
                const std::string a = std::move(answers.front());
                answers.pop_front();
                if (::send(client, a.data(), a.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(a.size()))
                    return;
                ++m_answers;
                nextHandOn = now + kAnswerSpacing;
            }
            const int wait =
                answers.empty()
                    ? 100
                    : static_cast<int>(std::max<long long>(
                          0,
                          std::chrono::duration_cast<std::chrono::milliseconds>(nextHandOn - now).count()));
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(p, 2, wait) <= 0)
                continue;
            if (p[0].revents) {
                const ssize_t n = ::recv(client, buf, sizeof buf, 0);
                if (n <= 0 || ::send(server, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n)
                    return;
                up.append(buf, static_cast<std::size_t>(n));
                for (std::size_t end; (end = up.find("\r\n\r\n")) != std::string::npos;) {
                    up.erase(0, end + 4); // a GET has no body
                    ++m_requests;
                    m_mostUnanswered =
                        std::max(m_mostUnanswered.load(), m_requests.load() - m_answers.load());
                }
            }
            if (p[1].revents) {
                const ssize_t n = ::recv(server, buf, sizeof buf, 0);
                if (n <= 0)
                    return;
                down.append(buf, static_cast<std::size_t>(n));
                while (true) {
                    if (headEnd == std::string::npos) {
                        headEnd = down.find("\r\n\r\n");
                        if (headEnd == std::string::npos)
                            break;
                        const std::string head = down.substr(0, headEnd);
                        const auto cl = head.find("Content-Length: ");
                        answerSize =
                            headEnd + 4 + (cl == std::string::npos ? 0 : std::stoul(head.substr(cl + 16)));
                    }
                    if (down.size() < answerSize)
                        break;
                    answers.push_back(down.substr(0, answerSize));
                    down.erase(0, answerSize);
                    headEnd = std::string::npos;
                }
            }
        }
    }

    std::string m_address;
    int m_serverPort;
    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_requests{0};
    std::atomic<long> m_answers{0};
    std::atomic<long> m_mostUnanswered{0};
};

// Replaces the served picture by the next frame every `interval`, the way a camera's web server
// would: the new file is written beside the old one and renamed over it.
class PictureWriter
{
public:
    PictureWriter(fs::path file, std::chrono::milliseconds interval) : m_file(std::move(file))
    {
        write();
        m_thread = std::thread([this, interval] {
            while (!m_stop) {
                std::this_thread::sleep_for(interval);
                write();
            }
        });
    }
    ~PictureWriter()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    void write()
    {
        const auto jpeg = camsim::encodeTestPicture(++m_number, 320, 240, 75);
        const fs::path next = m_file.string() + ".next";
        std::ofstream(next, std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
        std::error_code ignored;
        fs::rename(next, m_file, ignored);
    }

    fs::path m_file;
    std::uint64_t m_number = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

TEST(StreamNginx, RepeatedRequestsStreamFromNginxWithinTheUnansweredLimit)
{
    const std::string address = uniqueLoopbackAddress();
    const int nginxPort = freePort(address);
    const fs::path prefix = fs::path(::testing::TempDir()) / ("tessivor-nginx-" + std::to_string(::getpid()));
    fs::remove_all(prefix);
    struct RemoveAtEnd
    {
        fs::path dir;
        ~RemoveAtEnd() { fs::remove_all(dir); }
    } removeAtEnd{prefix}; // after everything below has stopped
    Nginx nginx(prefix, address, nginxPort, "viewer", "p4ss");
    PictureWriter pictures(prefix / "html/goform/video2", 40ms);
    nginx.start(address, nginxPort);
    if (HasFatalFailure())
        return;
    CountingRelay relay(address, nginxPort);

    auto c = std::make_unique<CImage>();
    auto recorder = std::make_shared<EventRecorder>();
    std::uint32_t cookie = 0;
    c->events().advise(recorder, &cookie);
    c->put_RemoteHost(address);
    c->put_RemotePort(relay.port());
    c->put_Protocol(PROTOCOL_MULTIPART);
    c->put_UserName("viewer");
    c->put_Password("p4ss");
    c->put_TimeOut(1);
    c->put_EnableServer(VARIANT_TRUE);

    // Every shared frame: whole, and never older than the one before (the file changes every
    // 40 ms, so the same picture may come several times, but never an earlier one).
    std::vector<std::pair<std::int32_t, long long>> shared; // share sequence, picture number
    int broken = 0;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        auto block = CImagePeer::sharing(*c).m_ClientBlock;
        std::int32_t last[2] = {0, 0};
        std::vector<std::uint8_t> copy(ClientBlock::kSlotSize);
        while (!done) {
            for (int slot = 0; slot < 2; ++slot) {
                auto [seq, busy, writing, length, data] = sharedSlot(*block, slot);
                const std::int32_t s = seq.load();
                if (s == 0 || s == last[slot])
                    continue;
                busy.store(1);
                if (writing.load() == 0) {
                    const auto n = static_cast<std::size_t>(length.load());
                    std::memcpy(copy.data(), data, n);
                    if (seq.load() == s && writing.load() == 0) {
                        shared.emplace_back(s, camsimFrameNumber(copy.data(), n));
                        broken += decodesCleanly(copy.data(), n) ? 0 : 1;
                        last[slot] = s;
                    }
                }
                busy.store(0);
            }
            std::this_thread::sleep_for(200us);
        }
    });

    std::int32_t h = 0;
    c->Run(&h);
    ASSERT_TRUE(pumpUntil([&] { return recorder->imageCodes().size() >= 2; }, 5s));
    messageLoop::waitAndPump(0ms);
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < 3s)
        messageLoop::waitAndPump(50ms);
    c->Stop();
    ASSERT_TRUE(pumpUntil([&] { return recorder->imageCodes().back() == EVT_LOOP_CLOSED; }, 2s));
    std::int32_t status = -1;
    c->get_Status(&status);
    EXPECT_EQ(status, 0);
    done = true;
    reader.join();
    nginx.stop();

    // In the order the pipeline handed them on (the reading thread may take two slots in the
    // other order when it falls behind).
    std::sort(shared.begin(), shared.end());
    std::vector<long long> numbers;
    for (const auto& [sequence, number] : shared)
        numbers.push_back(number);
    EXPECT_EQ(recorder->imageCodes().front(), EVT_THREAD_STARTED);
    EXPECT_EQ(recorder->imageCodes()[1], EVT_CONNECTED);
    ASSERT_GE(numbers.size(), 30u) << "frames in 3 s";
    EXPECT_EQ(broken, 0);
    for (std::size_t i = 1; i < numbers.size(); ++i)
        ASSERT_GE(numbers[i], numbers[i - 1]) << "frame " << numbers[i] << " after " << numbers[i - 1];
    EXPECT_GT(numbers.back(), numbers.front()); // the replaced file was followed

    EXPECT_LE(relay.mostUnanswered(), kMaxUnanswered);
    EXPECT_GE(relay.mostUnanswered(), 1);

    // nginx answered every request it read with the picture (the login was accepted), and no
    // more requests than the limit were left unanswered when the control went away.
    std::istringstream log(Nginx::slurp(prefix / "access.log"));
    long logged = 0, notOk = 0;
    for (std::string line; std::getline(log, line);) {
        std::istringstream fields(line);
        std::string connection, number, statusText, bytes, uri;
        fields >> connection >> number >> statusText >> bytes >> uri;
        ++logged;
        notOk += statusText != "200" || uri != "/goform/video2";
    }
    EXPECT_EQ(notOk, 0);
    EXPECT_GE(logged, static_cast<long>(numbers.size()));
    EXPECT_LE(relay.requests() - logged, kMaxUnanswered);
    std::printf("nginx: %zu frames handed on, %ld requests, %ld answered, at most %ld unanswered\n",
                numbers.size(), relay.requests(), logged, relay.mostUnanswered());
}

} // namespace
