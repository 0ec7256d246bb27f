#include "app/core/bits.h"

#include <cfenv>
#include <cmath>

namespace pellucor {

std::int16_t LongToInt(std::int32_t value)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFFu));
}

std::int16_t Shli(std::int16_t value, std::uint8_t count)
{
    if (count >= 16)
        return 0;
    return LongToInt(
        static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(value)) << count));
}

std::int32_t Shll(std::int32_t value, std::uint8_t count)
{
    if (count >= 32)
        return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << count);
}

std::int32_t dblToLong(double value)
{
    if (!std::isfinite(value))
        return 0;
    constexpr double k32 = 4294967296.0;
    double m = value;
    if (!(value >= 0 && value <= k32))
        m = value - std::floor(value / k32) * k32;
    if (m > 2147483647.0)
        m -= k32;
    // nearbyint rounds ties to even in the default rounding mode.
    double r = std::nearbyint(m);
    if (r > 2147483647.0 || r < -2147483648.0)
        return 0;
    return static_cast<std::int32_t>(r);
}

void BitSetInteger(std::int16_t& target, std::uint8_t bit)
{
    target = static_cast<std::int16_t>(target | Shli(1, bit));
}

void BitClearInteger(std::int16_t& target, std::uint8_t bit)
{
    target = static_cast<std::int16_t>(target & ~Shli(1, bit));
}

bool BitTestInteger(std::int16_t value, std::uint8_t bit)
{
    return (value & Shli(1, bit)) != 0;
}

bool BitTestLong(std::int32_t value, std::uint8_t bit)
{
    return (value & Shll(1, bit)) != 0;
}

} // namespace pellucor
