// camsim: a simulated network camera for the tests and the demonstration of the control.
//
// It speaks the camera's side of the control's protocols on loopback addresses: the native TCP
// frame protocol (with or without the login challenge), the web server's picture streams
// ("/VIDEO.CGI", "/mjpeg.cgi", "/N.cgi" and the repeated-request stream), the image-settings
// page and datagram, and Basic authentication. It serves moving test pictures that carry their
// frame number, at a chosen size and rate, and can be told to stall, drop its connections,
// change the picture size or break its streams on purpose.
//
// At start it prints one line per service, "camsim SERVICE ADDRESS:PORT", then "camsim ready".
// While it runs, the control channel (a TCP port that takes one command per line and answers one
// line, "ok ..." or "error ...") and the signals SIGUSR1 (drop every connection) and SIGUSR2
// (stall or resume) change its behaviour; SIGINT and SIGTERM end it. See usage() for the options
// and commands.
#include "camera.h"
#include "sound.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <list>
#include <thread>

using namespace camsim;

namespace {

const char* const kUsage = R"(usage: camsim [options]

Listening (IPv4; loopback addresses only unless --any-address):
  --address ADDR          listen address (default 127.0.0.1)
  --any-address           allow a listen address outside 127.0.0.0/8
  --native-port PORT      native frame protocol (default 8481; 0: any free port)
  --http-port PORT        web server (default 8080; 0: any free port)
  --udp-port PORT         image-settings datagrams (default 62976; -1: off)
  --control-port PORT     control channel (default 0: any free port; -1: off)
  --udp-any               datagrams on the any-address (broadcasts reach the camera), not --address
  --multicast             answer the multicast protocol on 224.0.0.1:13579 (through --address)
  --kestra-port PORT      Kestra command port (default -1: off; 0: any free port)
  --tftp-port PORT        firmware by TFTP after a download request (default -1: off; 0: any)

Discovery (the camera's identity; --family turns the answers on):
  --family KIND           native | videocgi | multipart | kestra
  --name TEXT, --model TEXT, --location TEXT, --serial TEXT
  --firmware M.mmL, --rom M.mmL   versions, e.g. 1.05a
  --mask A.B.C.D, --gateway A.B.C.D
  --web-port PORT         web port told by the multicast and extended-information answers
  --login-needed          the login query answers with a challenge
  --wireless              the multicast search answer marks a wireless camera

Camera:
  --size WxH              picture size (default 320x240)
  --rate FPS              frames per second (default 10)
  --quality Q             JPEG quality 1-100 (default 75); a picture whose compressed data
                          would hold no stuffed 0xFF byte is served at the next higher quality
                          that gives one (ffmpeg 5.1 warns "EOI missing" when it probes a file
                          that begins with such a picture)
  --first-frame N         number of the first frame (default 1)
  --user NAME, --password TEXT   credentials (default pelko / pelko)
  --challenge             the native protocol asks for the login block
  --greeting CODE         native greeting without challenge: 0200, 0201, 0202 or 0501
  --no-auth               the web server asks for no credentials
  --multipart-path PATH   path of the repeated-request stream (default /goform/video2)
  --pan-tilt X,Y          position reported by /mjpeg.cgi (default 0,0)
  --audio-path PATH       path of the sound stream (default /goform/audio2)
  --audio-pcm             sound blocks carry 16-bit PCM instead of IMA ADPCM
  --audio-tone HZ         frequency of the tone the camera hears (default 300)
  --no-audio              no sound stream
  --settings R,C,F,B,C,H,L  the seven image settings (default 2,1,30,64,32,8,60)
  --mac A.B.C.D.E.F       the camera's MAC address, decimal parts (default 0.1.2.3.4.5)
  --malformed KIND[:N]    break the next N frames (default: all) of every stream
  --stall                 start stalled: connections are accepted, nothing is sent
  --run-for SECONDS       quit after this long
  --request-log FILE      append every web request and Kestra command to FILE, one line each
  --upload-file FILE      where the firmware uploads' file bytes are written (web or TFTP)
  --clip LIST             serve the JPEG files named in LIST (one path per line, relative to
                          LIST's folder; '#' starts a comment line) instead of the drawn scene,
                          holding the selected one (the first at start)
  --clip-play             with --clip: play the clip in a loop, one file per frame

Control channel commands:
  stall | resume | drop | size WxH | rate FPS | pt X Y | malformed KIND [N] | malformed off
  user NAME | password TEXT | challenge on|off | auth on|off | greeting CODE
  settings R,C,F,B,C,H,L | stats | last-request | quit
  kestra-break KIND | kestra-survey N | kestra-pt on|off
  download-answer N (the download request's answer word; 0 ready) | firmware | resets
  clip N | clip next | clip   (hold clip file N (from 0) / the next one; answer: index and size)

Breakages (KIND): garbage truncate huge zero nolength noboundary badjpeg short busy bomb
Kestra command breakages: off short badword notdone hugelength surveymany surveycut surveynoword silent
)";

struct Options
{
    std::string address = "127.0.0.1";
    bool anyAddress = false;
    int nativePort = 8481;
    int httpPort = 8080;
    int udpPort = 62976;
    int controlPort = 0;
    int kestraPort = -1;
    int tftpPort = -1;
    bool udpAny = false;
    bool multicast = false;
    std::uint64_t firstFrame = 1;
    double rate = 10;
    double runFor = 0;
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "camsim: %s\n", message.c_str());
    std::exit(2);
}

template <class T> std::optional<T> number(std::string_view text)
{
    T v{};
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || p != text.data() + text.size())
        return std::nullopt;
    return v;
}

std::vector<std::string_view> split(std::string_view text, char sep)
{
    std::vector<std::string_view> out;
    while (true) {
        const auto at = text.find(sep);
        out.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return out;
        text.remove_prefix(at + 1);
    }
}

std::optional<std::pair<int, int>> parseSize(std::string_view text)
{
    const auto parts = split(text, 'x');
    if (parts.size() != 2)
        return std::nullopt;
    auto w = number<int>(parts[0]), h = number<int>(parts[1]);
    if (!w || !h || *w < 8 || *h < 8 || *w > 4096 || *h > 4096)
        return std::nullopt;
    return std::pair{*w, *h};
}

// Exactly N numbers of type T, separated by `sep`.
template <class T, std::size_t N>
std::optional<std::array<T, N>> parseNumbers(std::string_view text, char sep)
{
    const auto parts = split(text, sep);
    if (parts.size() != N)
        return std::nullopt;
    std::array<T, N> v{};
    for (std::size_t i = 0; i < N; ++i) {
        auto n = number<T>(parts[i]);
        if (!n)
            return std::nullopt;
        v[i] = *n;
    }
    return v;
}

std::optional<std::array<std::int16_t, 7>> parseSettings(std::string_view text)
{
    return parseNumbers<std::int16_t, 7>(text, ',');
}

std::optional<std::array<std::uint8_t, 6>> parseMac(std::string_view text)
{
    return parseNumbers<std::uint8_t, 6>(text, '.');
}

std::optional<std::pair<Malformed, int>> parseMalformed(std::string_view kind, std::string_view count)
{
    auto k = malformedFromName(kind);
    if (!k)
        return std::nullopt;
    int n = -1;
    if (!count.empty()) {
        auto c = number<int>(count);
        if (!c || *c < 1)
            return std::nullopt;
        n = *c;
    }
    return std::pair{*k, n};
}

// Threads that end by themselves; finished ones are joined whenever a new one starts.
class ThreadSet
{
public:
    void start(std::function<void()> work)
    {
        std::lock_guard lock(m_mutex);
        reapLocked();
        auto done = std::make_shared<std::atomic<bool>>(false);
        m_items.push_back({std::thread([work = std::move(work), done] {
                               work();
                               done->store(true);
                           }),
                           done});
    }
    void joinAll()
    {
        std::list<Item> items;
        {
            std::lock_guard lock(m_mutex);
            items.swap(m_items);
        }
        for (auto& i : items)
            i.thread.join();
    }

private:
    struct Item
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void reapLocked()
    {
        for (auto it = m_items.begin(); it != m_items.end();) {
            if (it->done->load()) {
                it->thread.join();
                it = m_items.erase(it);
            } else {
                ++it;
            }
        }
    }
    std::mutex m_mutex;
    std::list<Item> m_items;
};

struct Camera
{
    CameraState state;
    std::unique_ptr<FrameSource> frames;
    ConnectionSet connections;
    ConnectionSet controlConnections; // kept apart, so that "drop" can still answer
    ThreadSet threads;

    void quit()
    {
        state.quit.store(true);
        connections.dropAll();
        controlConnections.dropAll();
        frames->wake();
    }
};

int listenOn(const Options& o, int type, int port, int* boundPort)
{
    const std::string address = type == SOCK_DGRAM && o.udpAny ? "0.0.0.0" : o.address;
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        fail(std::string("socket: ") + std::strerror(errno));
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        fail("cannot bind " + address + ":" + std::to_string(port) + ": " + std::strerror(errno));
    if (type == SOCK_STREAM && ::listen(fd, 16) != 0)
        fail(std::string("listen: ") + std::strerror(errno));
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *boundPort = ntohs(a.sin_port);
    return fd;
}

// Accepts connections until the camera quits and hands each to `serve` on a thread of its own.
void acceptLoop(Camera& cam, int fd,
                void (*serve)(CameraState&, FrameSource&, const std::shared_ptr<Connection>&))
{
    while (!cam.state.quit.load()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        const int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            continue;
        const int one = 1; // answers go out at once, not after the client's delayed acknowledgement
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto conn = std::make_shared<Connection>(c);
        cam.state.stats.connections++;
        cam.connections.add(conn);
        cam.threads.start([&cam, conn, serve] {
            serve(cam.state, *cam.frames, conn);
            cam.connections.remove(conn);
            conn->drop();
        });
    }
}

// The JPEG files named in a clip list, in order; the program ends on an unreadable list or file.
std::vector<CameraState::ClipPicture> loadClip(const std::string& listFile)
{
    std::ifstream list(listFile);
    if (!list)
        fail("--clip: cannot read " + listFile);
    const std::filesystem::path folder = std::filesystem::path(listFile).parent_path();
    std::vector<CameraState::ClipPicture> pictures;
    std::string line;
    while (std::getline(list, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const std::filesystem::path file = folder / line; // an absolute line stays as it is
        std::ifstream in(file, std::ios::binary);
        auto bytes = std::make_shared<std::vector<std::uint8_t>>((std::istreambuf_iterator<char>(in)),
                                                                 std::istreambuf_iterator<char>());
        if (!in && !in.eof())
            fail("--clip: cannot read " + file.string());
        if (bytes->empty())
            fail("--clip: " + file.string() + " is empty");
        pictures.push_back(std::move(bytes));
    }
    if (pictures.empty())
        fail("--clip: " + listFile + " names no file");
    return pictures;
}

std::string escape(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string command(Camera& cam, std::string_view line)
{
    auto words = split(line, ' ');
    const std::string_view verb = words[0];
    auto arg = [&](std::size_t i) { return i < words.size() ? words[i] : std::string_view(); };
    CameraState& st = cam.state;
    if (verb == "stall") {
        st.stalled.store(true);
    } else if (verb == "resume") {
        st.stalled.store(false);
        cam.frames->wake();
    } else if (verb == "drop") {
        cam.connections.dropAll();
        cam.frames->wake();
    } else if (verb == "size") {
        auto s = parseSize(arg(1));
        if (!s)
            return "error size WxH";
        st.width.store(s->first);
        st.height.store(s->second);
    } else if (verb == "rate") {
        auto r = number<double>(arg(1));
        if (!r || *r <= 0 || *r > 1000)
            return "error rate FPS";
        cam.frames->setRate(*r);
    } else if (verb == "pt") {
        auto x = number<int>(arg(1)), y = number<int>(arg(2));
        if (!x || !y)
            return "error pt X Y";
        st.panX.store(*x);
        st.tiltY.store(*y);
    } else if (verb == "malformed") {
        auto m = parseMalformed(arg(1), arg(2));
        if (!m)
            return "error malformed KIND [N]";
        st.setMalformed(m->first, m->second);
    } else if (verb == "user" || verb == "password") {
        auto [user, password] = st.credentials();
        (verb == "user" ? user : password) = std::string(arg(1));
        st.setCredentials(user, password);
        reportAdministrator(st);
    } else if (verb == "challenge" || verb == "auth") {
        if (arg(1) != "on" && arg(1) != "off")
            return "error on|off";
        (verb == "challenge" ? st.challenge : st.authRequired).store(arg(1) == "on");
        reportAdministrator(st);
    } else if (verb == "greeting") {
        if (arg(1) != "0200" && arg(1) != "0201" && arg(1) != "0202" && arg(1) != "0501")
            return "error greeting 0200|0201|0202|0501";
        st.setGreeting(std::string(arg(1)));
    } else if (verb == "settings") {
        auto v = parseSettings(arg(1));
        if (!v)
            return "error settings R,C,F,B,C,H,L";
        st.setImageSettings(*v);
    } else if (verb == "clip") {
        const std::size_t size = st.clipSize();
        if (size == 0)
            return "error no clip";
        if (arg(1) == "next") {
            st.selectClip((st.clipIndex() + 1) % size);
        } else if (!arg(1).empty()) {
            auto n = number<std::size_t>(arg(1));
            if (!n || !st.selectClip(*n))
                return "error clip N, 0 to " + std::to_string(size - 1);
        }
        cam.frames->wake();
        return "ok index=" + std::to_string(st.clipIndex()) + " size=" + std::to_string(size);
    } else if (verb == "kestra-break") {
        auto k = kestraBreakFromName(arg(1));
        if (!k)
            return "error kestra-break KIND";
        st.kestra.setBreak(*k);
    } else if (verb == "kestra-survey") {
        auto n = number<int>(arg(1));
        if (!n || *n < 0 || *n > 33)
            return "error kestra-survey 0-33";
        st.kestra.surveyEntries.store(*n);
    } else if (verb == "kestra-pt") {
        if (arg(1) != "on" && arg(1) != "off")
            return "error on|off";
        st.kestra.panTilt.store(arg(1) == "on");
    } else if (verb == "stats") {
        const Stats& s = st.stats;
        return "ok connections=" + std::to_string(s.connections.load()) +
               " open=" + std::to_string(cam.connections.size()) +
               " frames=" + std::to_string(s.framesSent.load()) +
               " logins-ok=" + std::to_string(s.loginsAccepted.load()) +
               " logins-refused=" + std::to_string(s.loginsRefused.load()) +
               " requests=" + std::to_string(s.httpRequests.load()) +
               " auth-failures=" + std::to_string(s.authFailures.load()) +
               " max-pending=" + std::to_string(s.maxPendingRequests.load()) +
               " settings-requests=" + std::to_string(s.settingsRequests.load()) +
               " breakages=" + std::to_string(s.breakages.load());
    } else if (verb == "last-request") {
        const auto r = st.recentRequests();
        return "ok " + (r.empty() ? std::string() : escape(r.back()));
    } else if (auto answer = configCommand(st, words)) {
        return *answer;
    } else if (auto web = webConfigCommand(st, words)) {
        return *web;
    } else if (verb == "quit") {
        cam.quit();
    } else {
        return "error unknown command";
    }
    return "ok";
}

void serveControl(Camera& cam, const std::shared_ptr<Connection>& conn)
{
    std::string input;
    while (!cam.state.quit.load()) {
        const auto nl = input.find('\n');
        if (nl == std::string::npos) {
            if (!waitReadable(*conn, std::chrono::seconds(3600)))
                return;
            const long n = recvSome(*conn, input, 4096);
            if (n == 0 || n == -1 || input.size() > 4096)
                return;
            continue;
        }
        std::string line = input.substr(0, nl);
        input.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const std::string answer = command(cam, line) + "\n";
        if (!sendAll(*conn, answer))
            return;
    }
}

void controlLoop(Camera& cam, int fd)
{
    while (!cam.state.quit.load()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        const int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            continue;
        auto conn = std::make_shared<Connection>(c);
        cam.controlConnections.add(conn);
        cam.threads.start([&cam, conn] {
            serveControl(cam, conn);
            cam.controlConnections.remove(conn);
        });
    }
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    Camera cam;
    bool stalled = false;
    std::vector<CameraState::ClipPicture> clip;
    bool clipPlay = false;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size())
                fail(a + " needs a value");
            return args[++i];
        };
        auto port = [&]() {
            auto p = number<int>(value());
            if (!p || *p < -1 || *p > 65535)
                fail(a + ": not a port");
            return *p;
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--address") {
            o.address = value();
        } else if (a == "--any-address") {
            o.anyAddress = true;
        } else if (a == "--native-port") {
            o.nativePort = port();
        } else if (a == "--http-port") {
            o.httpPort = port();
        } else if (a == "--udp-port") {
            o.udpPort = port();
        } else if (a == "--control-port") {
            o.controlPort = port();
        } else if (a == "--kestra-port") {
            o.kestraPort = port();
        } else if (a == "--tftp-port") {
            o.tftpPort = port();
        } else if (a == "--request-log") {
            cam.state.setRequestLog(value());
        } else if (a == "--upload-file") {
            cam.state.kestra.setUploadFile(value());
        } else if (a == "--udp-any") {
            o.udpAny = true;
        } else if (a == "--multicast") {
            o.multicast = true;
        } else if (a == "--family") {
            auto f = familyFromName(value());
            if (!f)
                fail("--family native, videocgi, multipart or kestra");
            cam.state.identity.family = *f;
        } else if (a == "--name") {
            cam.state.identity.name = value();
        } else if (a == "--model") {
            cam.state.identity.model = value();
        } else if (a == "--location") {
            cam.state.identity.location = value();
        } else if (a == "--serial") {
            cam.state.identity.serial = value();
        } else if (a == "--firmware" || a == "--rom") {
            const std::string v = value();
            auto parts = split(v, '.');
            auto major = parts.size() == 2 ? number<int>(parts[0]) : std::nullopt;
            std::optional<int> minor;
            char letter = 0;
            if (parts.size() == 2 && parts[1].size() >= 1) {
                std::string_view m = parts[1];
                if (!m.empty() && (m.back() < '0' || m.back() > '9')) {
                    letter = m.back();
                    m.remove_suffix(1);
                }
                minor = number<int>(m);
            }
            if (!major || !minor || *major > 255 || *minor > 255)
                fail(a + " M.mmL, e.g. 1.05a");
            auto& field = a == "--firmware" ? cam.state.identity.firmware : cam.state.identity.rom;
            field = {static_cast<std::uint8_t>(*major), static_cast<std::uint8_t>(*minor),
                     static_cast<std::uint8_t>(letter)};
        } else if (a == "--mask" || a == "--gateway") {
            auto v = parseNumbers<std::uint8_t, 4>(value(), '.');
            if (!v)
                fail(a + " A.B.C.D");
            (a == "--mask" ? cam.state.identity.mask : cam.state.identity.gateway) = *v;
        } else if (a == "--web-port") {
            const int p = port();
            cam.state.identity.webPort = static_cast<std::uint16_t>(p < 0 ? 0 : p);
        } else if (a == "--login-needed") {
            cam.state.identity.loginNeeded = true;
        } else if (a == "--wireless") {
            cam.state.identity.wireless = true;
        } else if (a == "--size") {
            auto s = parseSize(value());
            if (!s)
                fail("--size WxH, 8 to 4096 each");
            cam.state.width.store(s->first);
            cam.state.height.store(s->second);
        } else if (a == "--rate") {
            auto r = number<double>(value());
            if (!r || *r <= 0 || *r > 1000)
                fail("--rate: frames per second above 0, at most 1000");
            o.rate = *r;
        } else if (a == "--quality") {
            auto q = number<int>(value());
            if (!q || *q < 1 || *q > 100)
                fail("--quality 1-100");
            cam.state.quality.store(*q);
        } else if (a == "--first-frame") {
            auto n = number<std::uint64_t>(value());
            if (!n)
                fail("--first-frame N");
            o.firstFrame = *n;
        } else if (a == "--user" || a == "--password") {
            auto [user, password] = cam.state.credentials();
            (a == "--user" ? user : password) = value();
            cam.state.setCredentials(user, password);
        } else if (a == "--challenge") {
            cam.state.challenge.store(true);
        } else if (a == "--greeting") {
            const std::string g = value();
            if (g != "0200" && g != "0201" && g != "0202" && g != "0501")
                fail("--greeting 0200, 0201, 0202 or 0501");
            cam.state.setGreeting(g);
        } else if (a == "--no-auth") {
            cam.state.authRequired.store(false);
        } else if (a == "--multipart-path") {
            const std::string p = value();
            if (p.empty() || p[0] != '/')
                fail("--multipart-path must begin with /");
            cam.state.setMultipartPath(p);
        } else if (a == "--audio-path" || a == "--audio-pcm" || a == "--audio-tone" || a == "--no-audio") {
            SoundOptions o = soundSource().options();
            if (a == "--audio-path") {
                o.path = value();
                if (o.path.empty() || o.path[0] != '/')
                    fail("--audio-path must begin with /");
            } else if (a == "--audio-pcm") {
                o.adpcm = false;
            } else if (a == "--audio-tone") {
                const std::string v = value();
                char* end = nullptr;
                o.toneHz = std::strtod(v.c_str(), &end);
                if (v.empty() || *end != 0 || !(o.toneHz > 0 && o.toneHz < 4000))
                    fail("--audio-tone must be a frequency below 4000 Hz");
            } else {
                o.enabled = false;
            }
            soundSource().configure(o);
        } else if (a == "--pan-tilt") {
            const std::string text = value();
            const auto parts = split(text, ',');
            auto x = parts.size() == 2 ? number<int>(parts[0]) : std::nullopt;
            auto y = parts.size() == 2 ? number<int>(parts[1]) : std::nullopt;
            if (!x || !y)
                fail("--pan-tilt X,Y");
            cam.state.panX.store(*x);
            cam.state.tiltY.store(*y);
        } else if (a == "--settings") {
            auto v = parseSettings(value());
            if (!v)
                fail("--settings: seven 16-bit numbers separated by commas");
            cam.state.setImageSettings(*v);
        } else if (a == "--mac") {
            auto m = parseMac(value());
            if (!m)
                fail("--mac: six decimal numbers 0-255 separated by dots");
            cam.state.setMac(*m);
        } else if (a == "--malformed") {
            const std::string v = value();
            const auto colon = v.find(':');
            auto m = parseMalformed(std::string_view(v).substr(0, colon),
                                    colon == std::string::npos ? "" : std::string_view(v).substr(colon + 1));
            if (!m)
                fail("--malformed KIND[:N]");
            cam.state.setMalformed(m->first, m->second);
        } else if (a == "--stall") {
            stalled = true;
        } else if (a == "--run-for") {
            auto s = number<double>(value());
            if (!s || *s <= 0)
                fail("--run-for SECONDS");
            o.runFor = *s;
        } else if (a == "--clip") {
            clip = loadClip(value());
        } else if (a == "--clip-play") {
            clipPlay = true;
        } else {
            fail("unknown option " + a + " (see --help)");
        }
    }
    in_addr addr{};
    if (::inet_pton(AF_INET, o.address.c_str(), &addr) != 1)
        fail("--address must be a dotted IPv4 address");
    if ((ntohl(addr.s_addr) >> 24) != 127 && !o.anyAddress)
        fail(o.address + " is not a loopback address (use --any-address to listen there)");
    std::memcpy(cam.state.identity.ip.data(), &addr.s_addr, 4);
    if (o.udpAny && !o.anyAddress)
        fail("--udp-any needs --any-address");
    cam.state.stalled.store(stalled);
    if (clipPlay && clip.empty())
        fail("--clip-play needs --clip");
    cam.state.setClip(std::move(clip), clipPlay);
    cam.frames = std::make_unique<FrameSource>(cam.state, o.firstFrame, o.rate);
    reportAdministrator(cam.state);

    // Signals go to one thread that waits for them; every other thread has them blocked.
    sigset_t sigs;
    sigemptyset(&sigs);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaddset(&sigs, s);
    pthread_sigmask(SIG_BLOCK, &sigs, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    struct Listener
    {
        const char* name;
        int type;
        int port;
        void (*serve)(CameraState&, FrameSource&, const std::shared_ptr<Connection>&);
    };
    const Listener listeners[] = {
        {"native", SOCK_STREAM, o.nativePort, serveNative},
        {"http", SOCK_STREAM, o.httpPort, serveHttp},
        {"udp", SOCK_DGRAM, o.udpPort, nullptr},
        {"control", SOCK_STREAM, o.controlPort, nullptr},
        {"kestra", SOCK_STREAM, o.kestraPort, serveKestraCommand},
        {"tftp", SOCK_DGRAM, o.tftpPort, nullptr},
    };
    std::vector<int> fds;
    std::vector<std::thread> loops;
    for (const Listener& l : listeners) {
        if (l.port < 0)
            continue;
        int bound = 0;
        const int fd = listenOn(o, l.type, l.port, &bound);
        fds.push_back(fd);
        if (l.serve == serveKestraCommand)
            cam.state.kestra.commandPort.store(bound);
        std::printf("camsim %s %s:%d\n", l.name, o.address.c_str(), bound);
        if (l.serve)
            loops.emplace_back([&cam, fd, serve = l.serve] { acceptLoop(cam, fd, serve); });
        else if (std::string_view(l.name) == "tftp")
            loops.emplace_back([&cam, fd] { serveTftp(cam.state, fd); });
        else if (l.type == SOCK_DGRAM)
            loops.emplace_back([&cam, fd] { serveSettingsDatagrams(cam.state, fd); });
        else
            loops.emplace_back([&cam, fd] { controlLoop(cam, fd); });
    }
    if (o.multicast) {
        // Bound to the any-address: Linux delivers no multicast datagram to a socket bound to a
        // unicast address. Member of the group on the camera's own interface.
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(13579);
        ip_mreq m{};
        ::inet_pton(AF_INET, "224.0.0.1", &m.imr_multiaddr);
        m.imr_interface = addr;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) != 0)
            fail(std::string("multicast: ") + std::strerror(errno));
        fds.push_back(fd);
        std::printf("camsim multicast 224.0.0.1:13579\n");
        loops.emplace_back([&cam, fd] { serveMulticast(cam.state, fd); });
    }
    std::printf("camsim ready\n");
    std::fflush(stdout);

    std::thread signals([&cam, sigs] {
        while (!cam.state.quit.load()) {
            int sig = 0;
            if (sigwait(&sigs, &sig) != 0)
                continue;
            if (sig == SIGUSR1) {
                cam.connections.dropAll();
                cam.frames->wake();
            } else if (sig == SIGUSR2) {
                cam.state.stalled.store(!cam.state.stalled.load());
                cam.frames->wake();
            } else {
                cam.quit();
            }
        }
    });

    const auto start = Clock::now();
    while (!cam.state.quit.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (o.runFor > 0 && Clock::now() - start > std::chrono::duration<double>(o.runFor))
            cam.quit();
    }
    pthread_kill(signals.native_handle(), SIGTERM); // wakes the signal thread if it still waits
    signals.join();
    for (auto& t : loops)
        t.join();
    cam.threads.joinAll();
    for (int fd : fds)
        ::close(fd);
    return 0;
}
