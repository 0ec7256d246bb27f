// The camera's own TCP protocol, camera side. Fixed-size messages only:
//
//   camera: answer code (4 ASCII digits) as soon as the connection is open
//     "0200"/"0201"/"0202" + 126-byte status block, or "0501" + 30-byte short block: frames may
//     be asked for; "0301" + 80-byte challenge + 46-byte preamble: the client must log in
//   client: "0001" + 20-byte login block (after "0301"); the camera answers with a second code,
//     "0200" + 126 bytes when the block matches its credentials, else "0400" and nothing more
//   client: "0110" asks for one frame; camera: 4-byte little-endian length, then the JPEG
//   client: "1111" ends the session
#include "camera.h"
#include "decode_bomb.h"

#include <cstring>

namespace camsim {

namespace {

constexpr std::size_t kStatusBlockSize = 126;
constexpr std::size_t kShortStatusBlockSize = 30;
constexpr std::size_t kChallengeSize = 80;
constexpr std::size_t kPreambleSize = 46;
constexpr auto kLoginWait = std::chrono::seconds(10);
constexpr auto kIdleWait = std::chrono::seconds(60);

bool sendGreeting(const Connection& c, const std::string& code)
{
    std::vector<std::uint8_t> msg(code.begin(), code.end());
    const std::size_t blockSize = code == "0501" ? kShortStatusBlockSize : kStatusBlockSize;
    std::vector<std::uint8_t> block(blockSize, 0);
    std::memcpy(block.data(), "camsim", 6);
    msg.insert(msg.end(), block.begin(), block.end());
    return sendAll(c, msg.data(), msg.size());
}

bool login(CameraState& state, const Connection& c)
{
    const auto challenge = randomBytes(kChallengeSize);
    std::vector<std::uint8_t> msg{'0', '3', '0', '1'};
    msg.insert(msg.end(), challenge.begin(), challenge.end());
    msg.resize(msg.size() + kPreambleSize, 0);
    if (!sendAll(c, msg.data(), msg.size()))
        return false;
    std::uint8_t answer[24];
    if (!recvExact(c, answer, sizeof answer, kLoginWait))
        return false;
    const auto [user, password] = state.credentials();
    const auto expected = expectedLoginBlock(user, password, challenge.data());
    if (std::memcmp(answer, "0001", 4) != 0 ||
        std::memcmp(answer + 4, expected.data(), expected.size()) != 0) {
        state.stats.loginsRefused++;
        sendAll(c, "0400");
        // The client closes; wait for that so that it reads the refusal rather than a reset.
        std::uint8_t rest[64];
        while (recvExact(c, rest, 1, kLoginWait)) {
        }
        return false;
    }
    if (state.peekMalformed() == Malformed::Truncate && state.takeMalformed() == Malformed::Truncate) {
        // Half of the second answer code, then nothing until the client gives up.
        sendAll(c, "02");
        std::uint8_t rest[64];
        while (recvExact(c, rest, 1, kLoginWait)) {
        }
        return false;
    }
    state.stats.loginsAccepted++;
    return sendGreeting(c, "0200");
}

// Sends one frame, or the breakage the camera was told to send instead. False when the
// connection is to end.
bool sendFrame(CameraState& state, const Connection& c, const Frame& frame)
{
    const Malformed bad = state.takeMalformed();
    std::vector<std::uint8_t> jpeg = bad == Malformed::Bomb ? servedDecodeBomb() : frame.jpeg;
    auto lengthBytes = [](std::uint32_t n) {
        return std::array<std::uint8_t, 4>{static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                                           static_cast<std::uint8_t>(n >> 16),
                                           static_cast<std::uint8_t>(n >> 24)};
    };
    const auto head = lengthBytes(static_cast<std::uint32_t>(jpeg.size()));
    switch (bad) {
    case Malformed::Garbage: {
        const auto junk = randomBytes(2048);
        return sendAll(c, junk.data(), junk.size());
    }
    case Malformed::Truncate:
        sendAll(c, head.data(), 2);
        return false;
    case Malformed::Huge:
        return sendAll(c, lengthBytes(0xFFFFFFF0u).data(), 4);
    case Malformed::Zero:
        return sendAll(c, lengthBytes(0).data(), 4);
    case Malformed::Short:
        sendAll(c, head.data(), 4);
        sendAll(c, jpeg.data(), jpeg.size() / 2);
        return false;
    case Malformed::BadJpeg:
        if (jpeg.size() >= 2)
            jpeg[jpeg.size() - 1] = 0x00;
        break;
    default:
        break;
    }
    jpeg.insert(jpeg.begin(), head.begin(), head.end()); // one send: length and frame together
    if (!sendAll(c, jpeg.data(), jpeg.size()))
        return false;
    state.stats.framesSent++;
    return true;
}

} // namespace

void serveNative(CameraState& state, FrameSource& frames, const std::shared_ptr<Connection>& conn)
{
    const Connection& c = *conn;
    if (!frames.waitWhileStalled(c))
        return;
    if (state.challenge.load()) {
        if (!login(state, c))
            return;
    } else if (!sendGreeting(c, state.greeting())) {
        return;
    }
    std::optional<std::uint64_t> last;
    while (true) {
        char command[4];
        if (!recvExact(c, command, 4, kIdleWait))
            return;
        if (std::memcmp(command, "0111", 4) == 0 || std::memcmp(command, "0002", 4) == 0) {
            // The outputs: "0002" carries the output's number and its new value.
            std::uint8_t argument[2] = {};
            if (command[3] == '2' && !recvExact(c, argument, 2, kIdleWait))
                return;
            const auto answer = answerNativeCommand(state, std::string_view(command, 4), argument);
            if (!sendAll(c, answer.data(), answer.size()))
                return;
            continue;
        }
        if (std::memcmp(command, "0110", 4) != 0)
            return; // "1111" or anything unknown ends the session
        auto frame = frames.next(last, c);
        if (!frame)
            return;
        if (!sendFrame(state, c, *frame))
            return;
        last = frame->number;
    }
}

} // namespace camsim
