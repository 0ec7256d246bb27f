// The login transform of the native protocols: the 20-byte credential block and its scramble
// with the 80-byte challenge that the camera sends (on TCP after "0301", on UDP in its reply).
// Pure functions; any thread may call them.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tessivor::camproto {

// The login block of the native protocols: the first 12 bytes of the user name and the first 8
// of the password, each zero-padded.
inline constexpr int kCredentialBlockSize = 20;
inline constexpr int kChallengeSize = 80;
using CredentialBlock = std::array<std::uint8_t, kCredentialBlockSize>;

// Fixed widths, zero-padded; a longer text is cut without a terminator.
CredentialBlock makeCredentialBlock(std::string_view userName, std::string_view password);

// `out` receives 20 bytes; `credentials` is a CredentialBlock's 20 bytes; `challenge` the
// camera's 80 bytes. `out` may be the same buffer as `credentials`.
void scrambleCredentials(std::uint8_t* out, const std::uint8_t* credentials, const std::uint8_t* challenge);

} // namespace tessivor::camproto
