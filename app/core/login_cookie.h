// The login cookie of the Kestra family (Protocol 3): it names a camera session. Cookies are four
// fractions drawn from the system's secure random source, each multiplied by 10000 and rounded to
// the nearest whole number (halves to even), written in decimal, joined in the order drawn and
// cut to 16 characters.
#pragma once

#include <array>
#include <string>

namespace pellucor {

// A new cookie: at most 16 decimal digits.
std::string newLoginCookie();
// The cookie text made of four fractions in [0, 1).
std::string loginCookieFrom(const std::array<double, 4>& fractions);

} // namespace pellucor
