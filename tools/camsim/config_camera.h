// The camera's side of configuration: the configuration block (read and written in eight
// checked pieces over datagrams, or whole over "/CONFIG.CGI"), the password check, the clock,
// reboot and factory settings, the network address, the image settings and the two outputs
// (over datagrams, "/IOCONTROL.CGI" and the native connection).
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace camsim {

class CameraState;

inline constexpr std::size_t kConfigBlockSize = 4786;
inline constexpr std::size_t kConfigImageSize = 8192;

// A piece of the block transfer that the camera breaks on purpose ("config-break").
enum class PieceBreak
{
    None,
    Drop,    // the camera does not answer the piece
    Corrupt, // read: one data byte is changed after the check word was made; write: the piece is
             // taken as if a byte had changed on the way, so its sum fails
};

class ConfigStore
{
public:
    ConfigStore();

    std::array<std::uint8_t, kConfigBlockSize> block() const;
    void setBlock(const std::array<std::uint8_t, kConfigBlockSize>& b);

    // Second, minute, hour, day, month, date, year.
    std::array<std::int16_t, 7> clock() const;
    void setClock(const std::array<std::int16_t, 7>& c);
    std::array<std::int32_t, 2> outputs() const;
    // False for an output other than 1 or 2.
    bool setOutput(int index, std::int32_t value);

    void setBreak(PieceBreak kind, int piece, int count);
    // Uses up one breakage when `piece` is the broken one.
    PieceBreak takeBreak(int piece);

    // ---- the write in progress (datagrams) ----
    // Takes a piece in order; status 0 accepted, 256 refused. The block changes only when piece 7
    // completes an image whose whole sum is right.
    std::uint16_t takePiece(int piece, std::uint16_t check, const std::uint8_t* data, std::uint8_t flag,
                            std::uint8_t value);
    // A whole 8192-byte image (HTTP): true when its sum is right and the block was replaced.
    bool takeImage(std::string_view image);

    std::string report(std::string_view what) const;

    int reboots = 0;
    int factoryResets = 0;
    std::array<std::uint8_t, 12> lastAddress{}; // address, mask, gateway of the last 0x0003
    std::string lastBody;                       // the body of the last POST
    int lastFlag = -1, lastValue = -1;          // bytes 16-17 of the last piece 7
    // Firmware: the answer word to the download request ("download-answer"), the requests
    // counted, and the last file that came by TFTP (tftp_camera.cpp).
    int downloadAnswer = 0;
    int downloadRequests = 0;
    std::string firmwareName;
    std::size_t firmwareBytes = 0;
    int firmwareInstalls = 0;

    mutable std::mutex mutex;

private:
    std::array<std::uint8_t, kConfigBlockSize> m_block{};
    std::array<std::uint8_t, kConfigImageSize> m_pending{};
    int m_nextPiece = 0;
    std::array<std::int16_t, 7> m_clock{0, 30, 12, 11, 12, 5, 2026};
    std::array<std::int32_t, 2> m_outputs{0, 0};
    PieceBreak m_break = PieceBreak::None;
    int m_breakPiece = -1;
    int m_breakCount = 0;
};

// A camera that demands a login names its administrator in its configuration block (the name
// field at 140, the password field at 152), as a camera's owner sets it up: a native camera that
// asks for the login block or answers the login query with a challenge, or a "/VIDEO.CGI"
// camera whose web server wants Basic credentials. Other cameras keep their block as it is.
// Called at start and whenever the credentials or those switches change.
void reportAdministrator(CameraState& state);

// The camera's login challenge (the same for every query).
std::array<std::uint8_t, 80> loginChallenge();

// The answer to a configuration, password, clock, reset, address or image-settings datagram;
// empty when the camera does not answer it.
std::vector<std::uint8_t> answerConfigDatagram(CameraState& state, const std::uint8_t* in, std::size_t size);

// The whole HTTP answer to a "/CONFIG.CGI" or "/IOCONTROL.CGI" request; nullopt for other pages.
std::optional<std::string> configPageAnswer(CameraState& state, std::string_view method,
                                            std::string_view target, std::string_view body, bool loginOk);
// Whether a POST to `target` carries a body the camera reads, and how long it is at most.
bool configPageTakesBody(std::string_view target);

// Native connection commands after the login: "0111" (read outputs) and "0002" + index + value
// (set one). The answer bytes; empty for another command.
std::vector<std::uint8_t> answerNativeCommand(CameraState& state, std::string_view command,
                                              const std::uint8_t* argument);

// Control-channel commands: "config-break drop|corrupt PIECE [N]", "config-break off",
// "config-read OFFSET LENGTH" (hex), "config-write OFFSET HEX", "config-sum", "clock",
// "outputs", "resets", "last-address", "last-body", "write-flags", "download-answer N",
// "firmware". nullopt for other verbs.
std::optional<std::string> configCommand(CameraState& state, const std::vector<std::string_view>& words);

} // namespace camsim
