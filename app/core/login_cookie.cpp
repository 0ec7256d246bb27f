#include "app/core/login_cookie.h"

#include <sys/random.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <random>

namespace pellucor {

namespace {

// Fills `out` from getrandom(2); std::random_device (the same kernel source through another
// door) only when the call is not there at all.
void secureBytes(void* out, std::size_t size)
{
    auto* p = static_cast<unsigned char*>(out);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::getrandom(p + done, size - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            std::random_device device;
            for (; done < size; ++done)
                p[done] = static_cast<unsigned char>(device());
        }
    }
}

} // namespace

std::string loginCookieFrom(const std::array<double, 4>& fractions)
{
    std::string cookie;
    for (double r : fractions)
        cookie += std::to_string(static_cast<long>(std::nearbyint(r * 10000.0)));
    return cookie.substr(0, 16);
}

std::string newLoginCookie()
{
    std::array<std::uint64_t, 4> bits{};
    secureBytes(bits.data(), sizeof bits);
    std::array<double, 4> fractions{};
    // The top 53 bits make a double in [0, 1) with every value equally likely.
    for (std::size_t i = 0; i < bits.size(); ++i)
        fractions[i] = static_cast<double>(bits[i] >> 11) * 0x1p-53;
    return loginCookieFrom(fractions);
}

} // namespace pellucor
