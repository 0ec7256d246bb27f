// The camera's side of configuration (see config_camera.h). Written from the protocol's
// description, apart from the control's code, so that the two cannot share a mistake.
#include "config_camera.h"

#include "camera.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace camsim {

namespace {

constexpr std::size_t kHeader = 18;
constexpr std::size_t kPieceData = 1024;
constexpr std::size_t kPieceDatagram = 1044;
constexpr std::uint16_t kTarget = 0x55AA;
constexpr std::uint16_t kRefused = 256;

std::uint16_t sumWords(const std::uint8_t* p, std::size_t n)
{
    std::uint32_t s = 0;
    for (std::size_t i = 0; i + 1 < n; i += 2)
        s += static_cast<std::uint32_t>(p[i] | (p[i + 1] << 8));
    return static_cast<std::uint16_t>(s);
}

void put16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::vector<std::uint8_t> reply(CameraState& st, const std::uint8_t* in, std::size_t size,
                                std::uint16_t status)
{
    std::vector<std::uint8_t> out(size);
    std::memcpy(out.data(), in, kHeader);
    const auto mac = st.mac();
    std::memcpy(out.data() + 6, mac.data(), 6);
    put16(out.data() + 16, status);
    return out;
}

std::string hex(const std::uint8_t* p, std::size_t n)
{
    std::string out;
    char t[3];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(t, sizeof t, "%02X", p[i]);
        out += t;
    }
    return out;
}

std::string answer(std::string_view status, std::string_view body, std::string_view type = "text/plain")
{
    return "HTTP/1.0 " + std::string(status) + "\r\nServer: camsim\r\nContent-Type: " + std::string(type) +
           "\r\n\r\n" + std::string(body);
}

const std::string kNoContent = "HTTP/1.0 204 No Content\r\nServer: camsim\r\n\r\n";
const std::string kRefusedPage = answer("200 OK", "<html><body>Password Error</body></html>\r\n");
const std::string kBadRequest = answer("400 Bad Request", "");

} // namespace

ConfigStore::ConfigStore()
{
    // A recognisable block: a name text at 44, two users, a MAC at 382.
    std::memcpy(m_block.data() + 44, "camsim-config", 13);
    std::memcpy(m_block.data() + 428, "admin", 5);
    std::memcpy(m_block.data() + 440, "secret", 6);
    put16(m_block.data() + 448, 1);
    std::memcpy(m_block.data() + 450, "guest", 5);
    put16(m_block.data() + 470, 2);
    const std::uint8_t mac[6] = {0, 1, 2, 3, 4, 5};
    std::memcpy(m_block.data() + 382, mac, 6);
    const std::uint16_t check =
        static_cast<std::uint16_t>(kTarget - sumWords(m_block.data() + 2, kConfigBlockSize - 2));
    put16(m_block.data(), check);
}

std::array<std::uint8_t, kConfigBlockSize> ConfigStore::block() const
{
    std::lock_guard g(mutex);
    return m_block;
}

void ConfigStore::setBlock(const std::array<std::uint8_t, kConfigBlockSize>& b)
{
    std::lock_guard g(mutex);
    m_block = b;
}

std::array<std::int16_t, 7> ConfigStore::clock() const
{
    std::lock_guard g(mutex);
    return m_clock;
}

void ConfigStore::setClock(const std::array<std::int16_t, 7>& c)
{
    std::lock_guard g(mutex);
    m_clock = c;
}

std::array<std::int32_t, 2> ConfigStore::outputs() const
{
    std::lock_guard g(mutex);
    return m_outputs;
}

bool ConfigStore::setOutput(int index, std::int32_t value)
{
    if (index != 1 && index != 2)
        return false;
    std::lock_guard g(mutex);
    m_outputs[static_cast<std::size_t>(index - 1)] = value;
    return true;
}

void ConfigStore::setBreak(PieceBreak kind, int piece, int count)
{
    std::lock_guard g(mutex);
    m_break = kind;
    m_breakPiece = piece;
    m_breakCount = count;
}

PieceBreak ConfigStore::takeBreak(int piece)
{
    std::lock_guard g(mutex);
    if (m_break == PieceBreak::None || piece != m_breakPiece || m_breakCount == 0)
        return PieceBreak::None;
    if (m_breakCount > 0)
        --m_breakCount;
    return m_break;
}

std::uint16_t ConfigStore::takePiece(int piece, std::uint16_t check, const std::uint8_t* data,
                                     std::uint8_t flag, std::uint8_t value)
{
    std::lock_guard g(mutex);
    if (piece < 0 || piece > 7)
        return kRefused;
    if (static_cast<std::uint16_t>(sumWords(data, kPieceData) + check) != kTarget)
        return kRefused; // the piece's own sum
    if (piece == 0)
        m_nextPiece = 0;
    if (piece != m_nextPiece && piece != m_nextPiece - 1)
        return kRefused; // out of order (a repeated piece is taken again)
    std::memcpy(m_pending.data() + kPieceData * static_cast<std::size_t>(piece), data, kPieceData);
    m_nextPiece = piece + 1;
    if (piece == 7) {
        lastFlag = flag;
        lastValue = value;
        if (sumWords(m_pending.data(), kConfigImageSize) != kTarget)
            return kRefused; // the block's own sum
        std::memcpy(m_block.data(), m_pending.data(), kConfigBlockSize);
        m_nextPiece = 0;
    }
    return 0;
}

bool ConfigStore::takeImage(std::string_view image)
{
    if (image.size() != kConfigImageSize)
        return false;
    const auto* p = reinterpret_cast<const std::uint8_t*>(image.data());
    if (sumWords(p, kConfigImageSize) != kTarget)
        return false;
    std::lock_guard g(mutex);
    std::memcpy(m_block.data(), p, kConfigBlockSize);
    return true;
}

void reportAdministrator(CameraState& st)
{
    const Family f = st.identity.family;
    const bool demands = (f == Family::Native && (st.identity.loginNeeded || st.challenge.load())) ||
                         (f == Family::VideoCgi && st.authRequired.load());
    if (!demands)
        return;
    const auto [user, password] = st.credentials();
    auto b = st.config.block();
    std::memset(b.data() + 140, 0, 12 + 8);
    std::memcpy(b.data() + 140, user.data(), std::min<std::size_t>(user.size(), 12));
    std::memcpy(b.data() + 152, password.data(), std::min<std::size_t>(password.size(), 8));
    put16(b.data(), static_cast<std::uint16_t>(kTarget - sumWords(b.data() + 2, kConfigBlockSize - 2)));
    st.config.setBlock(b);
}

std::array<std::uint8_t, 80> loginChallenge()
{
    std::array<std::uint8_t, 80> c{};
    for (std::size_t i = 0; i < c.size(); ++i)
        c[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return c;
}

std::vector<std::uint8_t> answerConfigDatagram(CameraState& st, const std::uint8_t* in, std::size_t size)
{
    if (size < kHeader)
        return {};
    const auto mac = st.mac();
    if (std::memcmp(in + 6, mac.data(), 6) != 0)
        return {};
    ConfigStore& k = st.config;
    const std::uint16_t opcode = static_cast<std::uint16_t>((in[4] << 8) | in[5]);
    const int sequence = (in[2] << 8) | in[3];
    switch (opcode) {
    case 0x000B: {
        const PieceBreak b = k.takeBreak(sequence);
        if (sequence > 7 || b == PieceBreak::Drop)
            return {};
        auto out = reply(st, in, kPieceDatagram, 0);
        const auto block = k.block();
        std::array<std::uint8_t, kConfigImageSize> image{};
        std::memcpy(image.data(), block.data(), block.size());
        std::uint8_t* data = out.data() + 20;
        std::memcpy(data, image.data() + kPieceData * static_cast<std::size_t>(sequence), kPieceData);
        put16(out.data() + 18, static_cast<std::uint16_t>(kTarget - sumWords(data, kPieceData)));
        if (b == PieceBreak::Corrupt)
            data[100] ^= 0x40;
        return out;
    }
    case 0x000C: {
        if (size < kPieceDatagram)
            return reply(st, in, kHeader, kRefused);
        const PieceBreak b = k.takeBreak(sequence);
        if (b == PieceBreak::Drop)
            return {};
        std::uint8_t data[kPieceData];
        std::memcpy(data, in + 20, kPieceData);
        if (b == PieceBreak::Corrupt)
            data[100] ^= 0x40;
        const std::uint16_t check = static_cast<std::uint16_t>(in[18] | (in[19] << 8));
        return reply(st, in, kHeader, k.takePiece(sequence, check, data, in[16], in[17]));
    }
    case 0x0013: {
        if (size < kHeader + 20)
            return reply(st, in, kHeader, kRefused);
        const auto [user, password] = st.credentials();
        const auto challenge = loginChallenge();
        const auto expected = expectedLoginBlock(user, password, challenge.data());
        const bool ok = std::memcmp(in + kHeader, expected.data(), expected.size()) == 0;
        (ok ? st.stats.loginsAccepted : st.stats.loginsRefused)++;
        return reply(st, in, kHeader, ok ? 0 : kRefused);
    }
    case 0x0006: {
        std::lock_guard g(k.mutex);
        k.downloadRequests++;
        return reply(st, in, kHeader, static_cast<std::uint16_t>(k.downloadAnswer));
    }
    case 0x0004:
    case 0x0005: {
        std::lock_guard g(k.mutex);
        (opcode == 0x0004 ? k.reboots : k.factoryResets)++;
        return reply(st, in, kHeader, 0);
    }
    case 0x0003: {
        if (size < 26)
            return {};
        std::lock_guard g(k.mutex);
        std::memcpy(k.lastAddress.data(), in + 12, 4);
        std::memcpy(k.lastAddress.data() + 4, in + 18, 8);
        return reply(st, in, kHeader, 0);
    }
    case 0x001E:
    case 0x0020: {
        if (size < 32)
            return {};
        std::array<std::int16_t, 7> v{};
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<std::int16_t>(in[18 + 2 * i] | (in[19 + 2 * i] << 8));
        if (opcode == 0x001E)
            k.setClock(v);
        else
            st.setImageSettings(v);
        return reply(st, in, kHeader, 0);
    }
    case 0x001F: {
        auto out = reply(st, in, 32, 0);
        const auto c = k.clock();
        for (std::size_t i = 0; i < c.size(); ++i)
            put16(out.data() + 18 + 2 * i, static_cast<std::uint16_t>(c[i]));
        return out;
    }
    default:
        return {};
    }
}

bool configPageTakesBody(std::string_view target)
{
    return target == "/CONFIG.CGI" || target == "/IOCONTROL.CGI" ||
           target == "/IOCONTROL.CGI?CGIQUaere=Datetime" || target == "/IOCONTROL.CGI?CGIQUaere=Image";
}

std::optional<std::string> configPageAnswer(CameraState& st, std::string_view method, std::string_view target,
                                            std::string_view body, bool loginOk)
{
    const bool post = method == "POST";
    ConfigStore& k = st.config;
    if (target == "/CONFIG.CGI") {
        if (!loginOk)
            return kRefusedPage;
        if (post) {
            {
                std::lock_guard g(k.mutex);
                k.lastBody = std::string(body);
            }
            return k.takeImage(body) ? kNoContent : kBadRequest;
        }
        const auto block = k.block();
        std::string data(reinterpret_cast<const char*>(block.data()), block.size());
        if (st.takeMalformed() == Malformed::Truncate)
            data.resize(data.size() / 2); // the length says more than comes
        return "HTTP/1.0 200 OK\r\nServer: camsim\r\nContent-Type: "
               "application/octet-stream\r\nContent-Length: " +
               std::to_string(block.size()) + "\r\n\r\n" + data;
    }
    if (target.rfind("/IOCONTROL.CGI", 0) != 0)
        return std::nullopt;
    if (!loginOk)
        return kRefusedPage;
    if (post) {
        std::lock_guard g(k.mutex);
        k.lastBody = std::string(body);
    }
    const std::string text(body);
    if (target == "/IOCONTROL.CGI") {
        if (!post) {
            const auto o = k.outputs();
            return answer("200 OK", "Trigger1=" + std::to_string(o[0]) + "&Trigger2=" + std::to_string(o[1]) +
                                        "&ImageUpload=0\r\n\r\n");
        }
        int index = 0, value = 0;
        if (std::sscanf(text.c_str(), "Trigger%d=%d", &index, &value) != 2 || !k.setOutput(index, value))
            return kBadRequest;
        return kNoContent;
    }
    if (target == "/IOCONTROL.CGI?CGIQUaere=Datetime") {
        if (!post) {
            const auto c = k.clock();
            char line[96];
            std::snprintf(line, sizeof line, "Date_manual=%d-%d-%d&Time_manual=%d:%d:%d\r\n", c[6], c[4],
                          c[3], c[2], c[1], c[0]);
            return answer("200 OK", line);
        }
        int y, mo, d, h, mi, s;
        if (std::sscanf(text.c_str(), "Date_manual=%d-%d-%d&Time_manual=%d:%d:%d", &y, &mo, &d, &h, &mi,
                        &s) != 6)
            return kBadRequest;
        auto c = k.clock();
        c = {static_cast<std::int16_t>(s), static_cast<std::int16_t>(mi), static_cast<std::int16_t>(h),
             static_cast<std::int16_t>(d), static_cast<std::int16_t>(mo), c[5],
             static_cast<std::int16_t>(y)};
        k.setClock(c);
        return kNoContent;
    }
    if (target == "/IOCONTROL.CGI?CGIQUaere=Image" && post) {
        st.stats.settingsRequests++;
        int v[7];
        if (std::sscanf(text.c_str(),
                        "Video_Mode=%d&Compress=%d&Frame_Rate=%d&Bright_cntl=%d&Contrast_cntl=%d&Hue_cntl=%d&"
                        "Light_Fraq=%d",
                        &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]) != 7)
            return kBadRequest;
        std::array<std::int16_t, 7> s{};
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<std::int16_t>(v[i]);
        st.setImageSettings(s);
        return kNoContent;
    }
    if ((target == "/IOCONTROL.CGI?CGIQUaere=Reset" || target == "/IOCONTROL.CGI?CGIQUaere=Factory") &&
        post) {
        std::lock_guard g(k.mutex);
        (target.ends_with("Reset") ? k.reboots : k.factoryResets)++;
        return kNoContent;
    }
    return std::nullopt;
}

std::vector<std::uint8_t> answerNativeCommand(CameraState& st, std::string_view command,
                                              const std::uint8_t* argument)
{
    ConfigStore& k = st.config;
    if (command == "0111") {
        std::vector<std::uint8_t> out(70, 0);
        std::memcpy(out.data(), "0111", 4);
        const auto o = k.outputs();
        out[8] = static_cast<std::uint8_t>(o[0]);
        out[9] = static_cast<std::uint8_t>(o[1]);
        return out;
    }
    if (command == "0002") {
        std::vector<std::uint8_t> out(34, 0);
        const bool ok = k.setOutput(argument[0], static_cast<std::int8_t>(argument[1]));
        std::memcpy(out.data(), ok ? "0210" : "0502", 4);
        return out;
    }
    return {};
}

std::optional<std::string> configCommand(CameraState& st, const std::vector<std::string_view>& words)
{
    ConfigStore& k = st.config;
    const std::string_view verb = words[0];
    auto arg = [&](std::size_t i) { return std::string(i < words.size() ? words[i] : std::string_view()); };
    if (verb == "config-break") {
        if (arg(1) == "off") {
            k.setBreak(PieceBreak::None, -1, 0);
            return "ok";
        }
        const PieceBreak kind = arg(1) == "drop"      ? PieceBreak::Drop
                                : arg(1) == "corrupt" ? PieceBreak::Corrupt
                                                      : PieceBreak::None;
        int piece = -1, count = -1;
        if (kind == PieceBreak::None || std::sscanf(arg(2).c_str(), "%d", &piece) != 1 || piece < 0 ||
            piece > 7)
            return "error config-break drop|corrupt PIECE [N] | off";
        if (words.size() > 3 && std::sscanf(arg(3).c_str(), "%d", &count) != 1)
            return "error config-break drop|corrupt PIECE [N] | off";
        k.setBreak(kind, piece, count);
        return "ok";
    }
    if (verb == "config-read") {
        unsigned offset = 0, length = 0;
        if (std::sscanf(arg(1).c_str(), "%u", &offset) != 1 ||
            std::sscanf(arg(2).c_str(), "%u", &length) != 1 || offset > kConfigBlockSize ||
            length > kConfigBlockSize - offset)
            return "error config-read OFFSET LENGTH";
        const auto b = k.block();
        return "ok " + hex(b.data() + offset, length);
    }
    if (verb == "config-write") {
        unsigned offset = 0;
        const std::string h = arg(2);
        if (std::sscanf(arg(1).c_str(), "%u", &offset) != 1 || h.size() % 2 != 0 ||
            offset + h.size() / 2 > kConfigBlockSize)
            return "error config-write OFFSET HEX";
        auto b = k.block();
        for (std::size_t i = 0; i < h.size() / 2; ++i) {
            unsigned v = 0;
            if (std::sscanf(h.substr(2 * i, 2).c_str(), "%2x", &v) != 1)
                return "error config-write OFFSET HEX";
            b[offset + i] = static_cast<std::uint8_t>(v);
        }
        // The camera keeps its own block consistent.
        put16(b.data(), static_cast<std::uint16_t>(kTarget - sumWords(b.data() + 2, kConfigBlockSize - 2)));
        k.setBlock(b);
        return "ok";
    }
    if (verb == "config-sum") {
        const auto b = k.block();
        char t[16];
        std::snprintf(t, sizeof t, "%04X", sumWords(b.data(), kConfigBlockSize));
        return "ok " + std::string(t);
    }
    if (verb == "clock") {
        const auto c = k.clock();
        std::string out = "ok";
        for (auto v : c)
            out += " " + std::to_string(v);
        return out;
    }
    if (verb == "outputs") {
        const auto o = k.outputs();
        if (words.size() == 3) {
            int a = 0, b = 0;
            if (std::sscanf(arg(1).c_str(), "%d", &a) != 1 || std::sscanf(arg(2).c_str(), "%d", &b) != 1)
                return "error outputs [A B]";
            k.setOutput(1, a);
            k.setOutput(2, b);
            return "ok";
        }
        return "ok " + std::to_string(o[0]) + " " + std::to_string(o[1]);
    }
    std::lock_guard g(k.mutex);
    if (verb == "download-answer") {
        int v = 0;
        if (std::sscanf(arg(1).c_str(), "%d", &v) != 1 || v < 0 || v > 0xFFFF)
            return "error download-answer 0-65535";
        k.downloadAnswer = v;
        return "ok";
    }
    if (verb == "firmware")
        return "ok requests=" + std::to_string(k.downloadRequests) +
               " installs=" + std::to_string(k.firmwareInstalls) + " name=" + k.firmwareName +
               " bytes=" + std::to_string(k.firmwareBytes);
    if (verb == "resets")
        return "ok reboots=" + std::to_string(k.reboots) + " factory=" + std::to_string(k.factoryResets);
    if (verb == "last-address")
        return "ok " + hex(k.lastAddress.data(), k.lastAddress.size());
    if (verb == "last-body")
        return "ok " + hex(reinterpret_cast<const std::uint8_t*>(k.lastBody.data()), k.lastBody.size());
    if (verb == "write-flags")
        return "ok " + std::to_string(k.lastFlag) + " " + std::to_string(k.lastValue);
    return std::nullopt;
}

} // namespace camsim
