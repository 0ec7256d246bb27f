// The state of the simulated camera and the pieces its protocol handlers share: the settings
// that the command line and the control channel change, the frame clock that paces and numbers
// the pictures, the set of open connections (so that they can be dropped at once), and small
// socket helpers.
//
// Threads: one per listening socket, one per connection, one for the control channel and one for
// signals. Everything here may be used from any of them.
#pragma once

#include "config_camera.h"
#include "config_camera_web.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace camsim {

using Clock = std::chrono::steady_clock;

// Ways of breaking the byte streams on purpose, chosen with --malformed or "malformed KIND".
enum class Malformed
{
    None,
    Garbage,    // random bytes where a header or frame belongs
    Truncate,   // half a header, then the connection is dropped
    Huge,       // a frame length far beyond any limit
    Zero,       // a frame length of 0
    NoLength,   // HTTP parts without a length header
    NoBoundary, // HTTP parts without the empty line and the part delimiter
    BadJpeg,    // a whole frame whose JPEG lacks its end marker
    Short,      // a frame length, half the frame, then the connection is dropped
    Busy,       // HTTP answers "503 Service Unavailable"
    Bomb,       // a valid frame that is very slow to decode (decode_bomb.h) instead of the picture
};

std::optional<Malformed> malformedFromName(std::string_view name);

// Counters that the control channel reports with "stats".
struct Stats
{
    std::atomic<std::uint64_t> connections{0};
    std::atomic<std::uint64_t> framesSent{0};
    std::atomic<std::uint64_t> loginsAccepted{0};
    std::atomic<std::uint64_t> loginsRefused{0};
    std::atomic<std::uint64_t> httpRequests{0};
    std::atomic<std::uint64_t> authFailures{0};
    std::atomic<std::uint64_t> maxPendingRequests{0}; // most pipelined requests waiting for an answer
    // Datagrams of the settings and discovery protocols, and requests of the image-settings pages
    // (a read or a write of the seven settings over HTTP).
    std::atomic<std::uint64_t> settingsRequests{0};
    std::atomic<std::uint64_t> breakages{0}; // frames, heads or answers broken on purpose
};

// What a camera tells of itself to the discovery protocols. Set before the camera's threads
// start and only read afterwards.
enum class Family
{
    None,      // answers no discovery request
    Native,    // search datagrams; the device record is the whole description
    VideoCgi,  // search datagrams and "/DevInfo.CGI"
    Multipart, // search datagrams, extended information, "/goform/serial" and "/cgi-bin/devinfo.cgi"
    Kestra,    // multicast search and "/getInfo.asp"
};
std::optional<Family> familyFromName(std::string_view name);

struct Identity
{
    Family family = Family::None;
    std::array<std::uint8_t, 4> ip{};
    std::array<std::uint8_t, 4> mask{255, 255, 255, 0};
    std::array<std::uint8_t, 4> gateway{};
    std::string name = "camsim";
    std::string model = "CS-100";
    std::string location = "lab";
    std::string serial = "CS0001";
    std::array<std::uint8_t, 3> firmware{1, 5, 'a'}; // major, minor, letter
    std::array<std::uint8_t, 3> rom{2, 1, 'b'};
    std::string hardware = "H1A0"; // four characters
    std::uint16_t webPort = 80;
    bool loginNeeded = false;
    bool wireless = false;
};

// Ways of breaking the Kestra command port's answers, chosen with "kestra-break KIND".
enum class KestraBreak
{
    None,
    Short,        // 60 bytes of a reply, then the connection is closed
    BadWord,      // a reply without the company word
    NotDone,      // a reply whose answer word is not 81
    HugeLength,   // a done reply claiming 0xFFFFFFFF data bytes
    SurveyMany,   // a survey that claims 40 entries (and carries 33)
    SurveyCut,    // a survey that claims 10 entries, sends 3 and closes
    SurveyNoWord, // a survey without the company word
    Silent,       // the command is read and nothing is answered
};
std::optional<KestraBreak> kestraBreakFromName(std::string_view name);

// The Kestra family's side of the camera: the command port's stored values and answers, the web
// login sessions, and where uploaded firmware goes.
class KestraSide
{
public:
    std::atomic<bool> panTilt{true};
    std::atomic<int> surveyEntries{3};
    std::atomic<int> commandPort{0};

    void setBreak(KestraBreak kind);
    KestraBreak peekBreak() const;

    void storeValue(std::uint32_t command, std::string value);
    std::optional<std::string> value(std::uint32_t command) const;

    void openSession(std::string cookie);
    bool hasSession(const std::string& cookie) const;
    void closeSession(const std::string& cookie);

    void setUploadFile(std::string path);
    std::string uploadFile() const;

private:
    mutable std::mutex m_mutex;
    KestraBreak m_break = KestraBreak::None;
    std::map<std::uint32_t, std::string> m_values;
    std::set<std::string> m_sessions;
    std::string m_uploadFile;
};

class CameraState
{
public:
    Identity identity;
    KestraSide kestra;

    // ---- picture ----
    std::atomic<int> width{320};
    std::atomic<int> height{240};
    std::atomic<int> quality{75};

    // ---- behaviour ----
    std::atomic<bool> stalled{false};     // connections stay open, nothing is sent
    std::atomic<bool> challenge{false};   // native protocol asks for the login block ("0301")
    std::atomic<bool> authRequired{true}; // HTTP needs Basic authentication
    std::atomic<bool> quit{false};

    // ---- pan/tilt position reported by /mjpeg.cgi ----
    std::atomic<int> panX{0};
    std::atomic<int> tiltY{0};

    Stats stats;
    ConfigStore config; // configuration block, clock, outputs (config_camera.cpp)
    WebConfigStore web; // the multipart family's settings pages and users (config_camera_web.cpp)

    void setCredentials(std::string user, std::string password);
    std::pair<std::string, std::string> credentials() const;

    // The native greeting: "0200", "0201", "0202" or "0501".
    void setGreeting(std::string code);
    std::string greeting() const;

    // Path of the repeated-request (keep-alive) picture stream.
    void setMultipartPath(std::string path);
    std::string multipartPath() const;

    // Resolution, compression, frame rate, brightness, contrast, hue, light frequency.
    void setImageSettings(const std::array<std::int16_t, 7>& values);
    std::array<std::int16_t, 7> imageSettings() const;

    // Six bytes that image-settings requests must name.
    void setMac(const std::array<std::uint8_t, 6>& mac);
    std::array<std::uint8_t, 6> mac() const;

    // The next `count` frames (or requests) of every stream are broken in this way; count < 0
    // means until told otherwise.
    void setMalformed(Malformed kind, int count);
    // Takes one use of the current breakage; None when the streams are healthy.
    Malformed takeMalformed();
    // The current breakage, without using it up.
    Malformed peekMalformed() const;

    // The request log (--request-log): every line goes to the file as it comes.
    void setRequestLog(std::string path);
    void logRequest(std::string_view line);

    // The most recent request heads (newest last), for tests that check what the client sent.
    void recordRequest(std::string head);
    std::vector<std::string> recentRequests() const;

    // ---- scripted clip ----
    // Pictures (whole JPEG files) served as they are instead of the drawn scene. Held: the
    // selected picture goes out again and again until another is selected, so a test decides
    // which picture the client sees next. Playing: frame n gets picture (n - first frame) modulo
    // the clip's length.
    using ClipPicture = std::shared_ptr<const std::vector<std::uint8_t>>;
    void setClip(std::vector<ClipPicture> pictures, bool play);
    std::size_t clipSize() const;
    std::size_t clipIndex() const;
    // False when `index` is outside the clip.
    bool selectClip(std::size_t index);
    // The picture for the frame `offset` frames after the first; null without a clip.
    ClipPicture clipPicture(std::uint64_t offset) const;

private:
    mutable std::mutex m_mutex;
    std::string m_user = "pelko";
    std::string m_password = "pelko";
    std::string m_greeting = "0200";
    std::string m_multipartPath = "/goform/video2";
    std::array<std::int16_t, 7> m_imageSettings{2, 1, 30, 64, 32, 8, 60};
    std::array<std::uint8_t, 6> m_mac{0, 1, 2, 3, 4, 5};
    Malformed m_malformed = Malformed::None;
    int m_malformedCount = 0;
    std::vector<std::string> m_requests;
    std::string m_requestLog;
    std::vector<ClipPicture> m_clip;
    bool m_clipPlay = false;
    std::size_t m_clipIndex = 0;
};

// One open connection. drop() shuts its socket down, which ends any blocking call on it.
class Connection
{
public:
    explicit Connection(int fd) : m_fd(fd) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int fd() const { return m_fd; }
    bool dropped() const { return m_dropped.load(); }
    void drop();

private:
    int m_fd;
    std::atomic<bool> m_dropped{false};
};

// Every open connection, so that "drop" and shutdown reach them all.
class ConnectionSet
{
public:
    void add(const std::shared_ptr<Connection>& c);
    void remove(const std::shared_ptr<Connection>& c);
    void dropAll();
    std::size_t size() const;

private:
    mutable std::mutex m_mutex;
    std::set<std::shared_ptr<Connection>> m_items;
};

struct Frame
{
    std::uint64_t number = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> jpeg;
};

// Numbers and paces the pictures. Frame n is due at start + (n - first) / rate; a connection
// asks for the first frame after the one it sent last and gets it when it is due, or the newest
// due frame when it has fallen behind, so every connection sees rising numbers at the rate.
class FrameSource
{
public:
    FrameSource(CameraState& state, std::uint64_t firstFrame, double rate);

    // Waits for the next frame after `after` (nullopt: none sent yet). Returns null when the
    // connection was dropped or the camera quits. Waits while the camera is stalled.
    std::shared_ptr<const Frame> next(std::optional<std::uint64_t> after, const Connection& conn);
    // Waits while the camera is stalled; false when the connection was dropped meanwhile.
    bool waitWhileStalled(const Connection& conn);
    // When next(after) would return without waiting.
    Clock::time_point dueAfter(std::optional<std::uint64_t> after) const;

    void setRate(double rate);
    // Wakes every waiter so that it looks at the flags again (stall, drop, quit).
    void wake();

private:
    std::uint64_t dueNumberLocked(Clock::time_point now) const;
    Clock::time_point dueTimeLocked(std::uint64_t number) const;
    std::shared_ptr<const Frame> frameLocked(std::uint64_t number, std::unique_lock<std::mutex>& lock);

    CameraState& m_state;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Clock::time_point m_start;
    std::uint64_t m_first;
    double m_rate;
    std::shared_ptr<const Frame> m_cache;
};

// ---- socket helpers (all return false when the connection is gone) ----

bool sendAll(const Connection& c, const void* data, std::size_t size);
inline bool sendAll(const Connection& c, std::string_view text)
{
    return sendAll(c, text.data(), text.size());
}
// Waits up to `timeout` for data; true when readable (or closed: the next read tells).
bool waitReadable(const Connection& c, std::chrono::milliseconds timeout);
// Reads exactly `size` bytes, waiting at most `timeout` for each piece.
bool recvExact(const Connection& c, void* data, std::size_t size, std::chrono::milliseconds timeout);
// Appends what is waiting (at most `max` bytes); the count, 0 when the peer closed, -1 on error.
long recvSome(const Connection& c, std::string& into, std::size_t max);

std::vector<std::uint8_t> randomBytes(std::size_t count);

// ---- login ----

// The 20-byte login block the camera expects for a user, a password and its 80-byte challenge.
std::array<std::uint8_t, 20> expectedLoginBlock(std::string_view user, std::string_view password,
                                                const std::uint8_t* challenge);
// Decodes standard Base64; nullopt on a character outside the alphabet.
std::optional<std::string> decodeBase64(std::string_view text);

// ---- protocol handlers (one connection each) ----

void serveNative(CameraState& state, FrameSource& frames, const std::shared_ptr<Connection>& conn);
void serveHttp(CameraState& state, FrameSource& frames, const std::shared_ptr<Connection>& conn);
// Answers image-settings datagrams (and, for a camera of a discovery family, the search, probe,
// login query and extended information) on `fd` until the camera quits.
void serveSettingsDatagrams(CameraState& state, int fd);

// Takes firmware files by TFTP on `fd` (write requests only) until the camera quits.
void serveTftp(CameraState& state, int fd);

// ---- Kestra family, pan/tilt and firmware pages (kestra_camera.cpp) ----

// The Kestra command port: 128-byte packets, one command per connection.
void serveKestraCommand(CameraState& state, FrameSource& frames, const std::shared_ptr<Connection>& conn);
// The whole HTTP answer of a Kestra web form or page, a pan/tilt request or a firmware upload
// page; nullopt when the request is none of them. `authorised` tells whether the request's Basic
// credentials are right (the pan/tilt and octet pages need them; the Kestra forms use cookies).
std::optional<std::string> kestraHttpAnswer(CameraState& state, std::string_view method,
                                            std::string_view target, std::string_view contentType,
                                            std::string_view body, bool authorised);

// ---- discovery (discovery_camera.cpp) ----

// The answer to a discovery datagram other than the image settings; empty when the camera does
// not answer it.
std::vector<std::uint8_t> answerDiscoveryDatagram(CameraState& state, const std::uint8_t* in,
                                                  std::size_t size);
// Answers the multicast protocol on `fd` (bound to port 13579, member of 224.0.0.1) until the
// camera quits; answers go to the group through the camera's own address.
void serveMulticast(CameraState& state, int fd);
// The whole HTTP answer of a device-information page of the camera's family; nullopt when the
// camera has no such page.
std::optional<std::string> discoveryPage(const CameraState& state, std::string_view target);

} // namespace camsim
