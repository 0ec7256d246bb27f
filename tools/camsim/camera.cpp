#include "camera.h"
#include "picture.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <random>

namespace camsim {

// ---- malformed kinds ----

namespace {
struct MalformedEntry
{
    Malformed kind;
    const char* name;
};
constexpr MalformedEntry kMalformedNames[] = {
    {Malformed::None, "off"},
    {Malformed::Garbage, "garbage"},
    {Malformed::Truncate, "truncate"},
    {Malformed::Huge, "huge"},
    {Malformed::Zero, "zero"},
    {Malformed::NoLength, "nolength"},
    {Malformed::NoBoundary, "noboundary"},
    {Malformed::BadJpeg, "badjpeg"},
    {Malformed::Short, "short"},
    {Malformed::Busy, "busy"},
    {Malformed::Bomb, "bomb"},
};
} // namespace

std::optional<Malformed> malformedFromName(std::string_view name)
{
    for (const auto& e : kMalformedNames)
        if (name == e.name)
            return e.kind;
    return std::nullopt;
}

// ---- camera state ----

void CameraState::setCredentials(std::string user, std::string password)
{
    std::lock_guard lock(m_mutex);
    m_user = std::move(user);
    m_password = std::move(password);
}

std::pair<std::string, std::string> CameraState::credentials() const
{
    std::lock_guard lock(m_mutex);
    return {m_user, m_password};
}

void CameraState::setGreeting(std::string code)
{
    std::lock_guard lock(m_mutex);
    m_greeting = std::move(code);
}

std::string CameraState::greeting() const
{
    std::lock_guard lock(m_mutex);
    return m_greeting;
}

void CameraState::setMultipartPath(std::string path)
{
    std::lock_guard lock(m_mutex);
    m_multipartPath = std::move(path);
}

std::string CameraState::multipartPath() const
{
    std::lock_guard lock(m_mutex);
    return m_multipartPath;
}

void CameraState::setImageSettings(const std::array<std::int16_t, 7>& values)
{
    std::lock_guard lock(m_mutex);
    m_imageSettings = values;
}

std::array<std::int16_t, 7> CameraState::imageSettings() const
{
    std::lock_guard lock(m_mutex);
    return m_imageSettings;
}

void CameraState::setMac(const std::array<std::uint8_t, 6>& mac)
{
    std::lock_guard lock(m_mutex);
    m_mac = mac;
}

std::array<std::uint8_t, 6> CameraState::mac() const
{
    std::lock_guard lock(m_mutex);
    return m_mac;
}

void CameraState::setMalformed(Malformed kind, int count)
{
    std::lock_guard lock(m_mutex);
    m_malformed = kind;
    m_malformedCount = kind == Malformed::None ? 0 : count;
}

Malformed CameraState::takeMalformed()
{
    std::lock_guard lock(m_mutex);
    if (m_malformed == Malformed::None)
        return Malformed::None;
    const Malformed kind = m_malformed;
    stats.breakages++;
    if (m_malformedCount > 0 && --m_malformedCount == 0)
        m_malformed = Malformed::None;
    return kind;
}

Malformed CameraState::peekMalformed() const
{
    std::lock_guard lock(m_mutex);
    return m_malformed;
}

void CameraState::setClip(std::vector<ClipPicture> pictures, bool play)
{
    std::lock_guard lock(m_mutex);
    m_clip = std::move(pictures);
    m_clipPlay = play;
    m_clipIndex = 0;
}

std::size_t CameraState::clipSize() const
{
    std::lock_guard lock(m_mutex);
    return m_clip.size();
}

std::size_t CameraState::clipIndex() const
{
    std::lock_guard lock(m_mutex);
    return m_clipIndex;
}

bool CameraState::selectClip(std::size_t index)
{
    std::lock_guard lock(m_mutex);
    if (index >= m_clip.size())
        return false;
    m_clipIndex = index;
    return true;
}

CameraState::ClipPicture CameraState::clipPicture(std::uint64_t offset) const
{
    std::lock_guard lock(m_mutex);
    if (m_clip.empty())
        return nullptr;
    return m_clip[m_clipPlay ? static_cast<std::size_t>(offset % m_clip.size()) : m_clipIndex];
}

void CameraState::setRequestLog(std::string path)
{
    std::lock_guard lock(m_mutex);
    m_requestLog = std::move(path);
}

void CameraState::logRequest(std::string_view line)
{
    std::lock_guard lock(m_mutex);
    if (m_requestLog.empty())
        return;
    if (std::FILE* f = std::fopen(m_requestLog.c_str(), "a")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fputc('\n', f);
        std::fclose(f);
    }
}

void CameraState::recordRequest(std::string head)
{
    constexpr std::size_t kKept = 64;
    std::lock_guard lock(m_mutex);
    m_requests.push_back(std::move(head));
    if (m_requests.size() > kKept)
        m_requests.erase(m_requests.begin());
}

std::vector<std::string> CameraState::recentRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

// ---- connections ----

Connection::~Connection()
{
    ::close(m_fd);
}

void Connection::drop()
{
    m_dropped.store(true);
    ::shutdown(m_fd, SHUT_RDWR);
}

void ConnectionSet::add(const std::shared_ptr<Connection>& c)
{
    std::lock_guard lock(m_mutex);
    m_items.insert(c);
}

void ConnectionSet::remove(const std::shared_ptr<Connection>& c)
{
    std::lock_guard lock(m_mutex);
    m_items.erase(c);
}

void ConnectionSet::dropAll()
{
    std::lock_guard lock(m_mutex);
    for (const auto& c : m_items)
        c->drop();
}

std::size_t ConnectionSet::size() const
{
    std::lock_guard lock(m_mutex);
    return m_items.size();
}

// ---- frame source ----

FrameSource::FrameSource(CameraState& state, std::uint64_t firstFrame, double rate)
    : m_state(state), m_start(Clock::now()), m_first(firstFrame), m_rate(rate)
{
}

std::uint64_t FrameSource::dueNumberLocked(Clock::time_point now) const
{
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    return m_first + static_cast<std::uint64_t>(std::floor(std::max(0.0, seconds) * m_rate));
}

Clock::time_point FrameSource::dueTimeLocked(std::uint64_t number) const
{
    const double seconds = static_cast<double>(number - m_first) / m_rate;
    return m_start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::shared_ptr<const Frame> FrameSource::frameLocked(std::uint64_t number,
                                                      std::unique_lock<std::mutex>& lock)
{
    if (auto picture = m_state.clipPicture(number - m_first)) {
        // Clip pictures are served as they are and never cached: the selection may change at
        // any time.
        auto frame = std::make_shared<Frame>();
        frame->number = number;
        frame->jpeg = *picture;
        return frame;
    }
    const int w = m_state.width.load(), h = m_state.height.load();
    if (m_cache && m_cache->number == number && m_cache->width == w && m_cache->height == h)
        return m_cache;
    // Encoding takes a few milliseconds: other connections may wait meanwhile, which keeps the
    // one picture per number that they all share.
    auto frame = std::make_shared<Frame>();
    frame->number = number;
    frame->width = w;
    frame->height = h;
    frame->jpeg = encodeTestPicture(number, w, h, m_state.quality.load());
    (void)lock;
    m_cache = frame;
    return frame;
}

std::shared_ptr<const Frame> FrameSource::next(std::optional<std::uint64_t> after, const Connection& conn)
{
    std::unique_lock lock(m_mutex);
    while (true) {
        if (conn.dropped() || m_state.quit.load())
            return nullptr;
        if (m_state.stalled.load()) {
            m_changed.wait(lock);
            continue;
        }
        const auto now = Clock::now();
        const std::uint64_t due = dueNumberLocked(now);
        const std::uint64_t wanted = after ? std::max(*after + 1, due) : due;
        if (wanted <= due)
            return frameLocked(wanted, lock);
        m_changed.wait_until(lock, dueTimeLocked(wanted));
    }
}

bool FrameSource::waitWhileStalled(const Connection& conn)
{
    std::unique_lock lock(m_mutex);
    while (m_state.stalled.load() && !conn.dropped() && !m_state.quit.load())
        m_changed.wait(lock);
    return !conn.dropped() && !m_state.quit.load();
}

Clock::time_point FrameSource::dueAfter(std::optional<std::uint64_t> after) const
{
    std::lock_guard lock(m_mutex);
    const auto now = Clock::now();
    if (!after || *after < dueNumberLocked(now))
        return now;
    return dueTimeLocked(*after + 1);
}

void FrameSource::setRate(double rate)
{
    std::lock_guard lock(m_mutex);
    // Numbering goes on from the frame due now; only the pace changes.
    const auto now = Clock::now();
    m_first = dueNumberLocked(now) + 1;
    m_start = now;
    m_rate = rate;
    m_changed.notify_all();
}

void FrameSource::wake()
{
    std::lock_guard lock(m_mutex);
    m_changed.notify_all();
}

// ---- socket helpers ----

bool sendAll(const Connection& c, const void* data, std::size_t size)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        if (c.dropped())
            return false;
        const ssize_t n = ::send(c.fd(), p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool waitReadable(const Connection& c, std::chrono::milliseconds timeout)
{
    pollfd p{c.fd(), POLLIN, 0};
    const auto end = Clock::now() + timeout;
    while (!c.dropped()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0)
            return false;
        const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 200)));
        if (r > 0)
            return true;
        if (r < 0 && errno != EINTR)
            return true; // let the read report it
    }
    return false;
}

bool recvExact(const Connection& c, void* data, std::size_t size, std::chrono::milliseconds timeout)
{
    auto* p = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        if (!waitReadable(c, timeout))
            return false;
        const ssize_t n = ::recv(c.fd(), p, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

long recvSome(const Connection& c, std::string& into, std::size_t max)
{
    char buf[4096];
    const ssize_t n = ::recv(c.fd(), buf, std::min(max, sizeof buf), MSG_DONTWAIT);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? -2 : -1;
    into.append(buf, static_cast<std::size_t>(n));
    return n;
}

std::vector<std::uint8_t> randomBytes(std::size_t count)
{
    static thread_local std::mt19937 rng{std::random_device{}()};
    std::vector<std::uint8_t> out(count);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(rng());
    return out;
}

// ---- login ----

std::array<std::uint8_t, 20> expectedLoginBlock(std::string_view user, std::string_view password,
                                                const std::uint8_t* challenge)
{
    // The camera's side of the login transform, kept apart from the control's own so that the
    // tests compare two separate readings of it. Bytes 0-11 of the block are the user name and
    // 12-19 the password, zero-padded and cut without a terminator. Two passes each XOR the
    // block with 20 challenge bytes (0-19, then 20-39) and, per nibble whose lowest bit is set
    // after that XOR, XOR the nibble with the matching byte of 40-59 or 60-79.
    std::array<std::uint8_t, 20> b{};
    for (std::size_t i = 0; i < 12 && i < user.size(); ++i)
        b[i] = static_cast<std::uint8_t>(user[i]);
    for (std::size_t i = 0; i < 8 && i < password.size(); ++i)
        b[12 + i] = static_cast<std::uint8_t>(password[i]);
    for (int pass = 0; pass < 2; ++pass)
        for (int j = 0; j < 20; ++j) {
            const std::uint8_t x = b[static_cast<std::size_t>(j)] ^ challenge[20 * pass + j];
            const std::uint8_t k = challenge[40 + 20 * pass + j];
            std::uint8_t lo = x & 0x0F;
            if (x & 0x01)
                lo = (lo ^ k) & 0x0F;
            std::uint8_t hi = x & 0xF0;
            if (x & 0x10)
                hi = (hi ^ k) & 0xF0;
            b[static_cast<std::size_t>(j)] = static_cast<std::uint8_t>(hi | lo);
        }
    return b;
}

std::optional<std::string> decodeBase64(std::string_view text)
{
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+')
            return 62;
        if (c == '/')
            return 63;
        return -1;
    };
    std::string out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=')
            break;
        const int v = value(c);
        if (v < 0)
            return std::nullopt;
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    return out;
}

} // namespace camsim
