// IMA ADPCM encoding after the IMA recommended practice (1992), section "ADPCM encoder": the
// difference to the predicted sample is quantised against the current step in three binary
// steps (step, step/2, step/4), and the predicted sample moves by the difference those bits
// stand for, built exactly as a decoder rebuilds it (step/8 plus the step parts of the set
// bits), so that encoder and decoder stay in the same state.
#include "ima_adpcm.h"

#include <algorithm>

namespace camsim {

namespace {

// The 89 quantiser step sizes of the recommended practice (each about 1.1 times the one before).
const int kStepSizes[89] = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// Step index change for the magnitude bits of a code (the sign bit does not matter).
const int kIndexChange[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

} // namespace

std::uint8_t ImaAdpcmEncoder::encodeSample(std::int16_t sample)
{
    int step = kStepSizes[m_stepIndex];
    int difference = sample - m_predicted;
    std::uint8_t code = 0;
    if (difference < 0) {
        code = 8;
        difference = -difference;
    }
    int rebuilt = step >> 3;
    for (std::uint8_t bit = 4; bit != 0; bit >>= 1) {
        if (difference >= step) {
            code |= bit;
            difference -= step;
            rebuilt += step;
        }
        step >>= 1;
    }
    const int predicted = (code & 8) ? m_predicted - rebuilt : m_predicted + rebuilt;
    m_predicted = static_cast<std::int16_t>(std::clamp(predicted, -32768, 32767));
    m_stepIndex =
        static_cast<std::uint8_t>(std::clamp(m_stepIndex + kIndexChange[code & 7], 0, kMaxStepIndex));
    return code;
}

std::size_t ImaAdpcmEncoder::encode(const std::int16_t* samples, std::size_t count, std::uint8_t* output)
{
    std::size_t written = 0;
    for (std::size_t i = 0; i < count; i += 2) {
        const std::uint8_t high = encodeSample(samples[i]);
        const std::uint8_t low = i + 1 < count ? encodeSample(samples[i + 1]) : 0;
        output[written++] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return written;
}

} // namespace camsim
