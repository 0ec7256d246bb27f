// The login transform of the native protocols (see login_transform.h).
#include "camproto/login_transform.h"

#include <algorithm>
#include <cstring>

namespace tessivor::camproto {

namespace {

constexpr std::size_t kUserBytes = 12;
constexpr std::size_t kPasswordBytes = 8;

} // namespace

CredentialBlock makeCredentialBlock(std::string_view userName, std::string_view password)
{
    CredentialBlock block{};
    std::memcpy(block.data(), userName.data(), std::min(userName.size(), kUserBytes));
    std::memcpy(block.data() + kUserBytes, password.data(), std::min(password.size(), kPasswordBytes));
    return block;
}

void scrambleCredentials(std::uint8_t* out, const std::uint8_t* credentials, const std::uint8_t* challenge)
{
    // Two passes. In pass i, challenge bytes 20i..20i+19 are whole-byte masks and bytes
    // 40+20i..40+20i+19 nibble masks; a nibble is masked only when its lowest bit, after the
    // whole-byte mask, is set.
    std::uint8_t b[kCredentialBlockSize];
    std::memcpy(b, credentials, sizeof b);
    for (int pass = 0; pass < 2; ++pass) {
        for (int j = 0; j < kCredentialBlockSize; ++j) {
            const std::uint8_t x = b[j] ^ challenge[20 * pass + j];
            const std::uint8_t k = challenge[40 + 20 * pass + j];
            std::uint8_t lo = x & 0x0F;
            if (x & 0x01)
                lo = (lo ^ k) & 0x0F;
            std::uint8_t hi = x & 0xF0;
            if (x & 0x10)
                hi = (hi ^ k) & 0xF0;
            b[j] = static_cast<std::uint8_t>(hi | lo);
        }
    }
    std::memcpy(out, b, sizeof b);
}

} // namespace tessivor::camproto
