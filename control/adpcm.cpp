// IMA ADPCM after the IMA Digital Audio Focus and Technical Working Groups' recommended practice
// (1992): 89 quantiser step sizes growing by about 10% each, and an index change per code.
#include "control/adpcm.h"

#include <algorithm>
#include <stdexcept>

namespace tessivor {

namespace {

const std::int16_t kStepTable[89] = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

const std::int8_t kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

// One code: the difference is built from the step's bits as the reference decoder does
// (step/8 + step/4·b0 + step/2·b1 + step·b2), so rounding matches other decoders exactly.
inline void decodeNibble(int code, int& predicted, int& index)
{
    const int step = kStepTable[index];
    int diff = step >> 3;
    if (code & 4)
        diff += step;
    if (code & 2)
        diff += step >> 1;
    if (code & 1)
        diff += step >> 2;
    predicted += (code & 8) ? -diff : diff;
    predicted = std::clamp(predicted, -32768, 32767);
    index = std::clamp(index + kIndexTable[code], 0, TAdpcm::kMaxStepIndex);
}

inline int encodeSample(int sample, int& predicted, int& index)
{
    const int step = kStepTable[index];
    int diff = sample - predicted;
    int code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    int tempStep = step;
    if (diff >= tempStep) {
        code |= 4;
        diff -= tempStep;
    }
    tempStep >>= 1;
    if (diff >= tempStep) {
        code |= 2;
        diff -= tempStep;
    }
    tempStep >>= 1;
    if (diff >= tempStep)
        code |= 1;
    decodeNibble(code, predicted, index); // the decoder's view keeps both sides in step
    return code;
}

} // namespace

TAdpcm::TAdpcm()
{
    set(16);
}

void TAdpcm::set(int bits)
{
    if (bits != 16)
        throw std::runtime_error("TAdpcm::set() Only 16bits sample resolution supported");
    m_predicted = 0;
    m_index = 0;
}

void TAdpcm::setState(std::uint8_t stepIndex, std::int16_t predicted)
{
    m_index = static_cast<std::uint8_t>(std::min<int>(stepIndex, kMaxStepIndex));
    m_predicted = predicted;
}

std::size_t TAdpcm::decode(const std::uint8_t* data, std::int16_t* output, std::size_t bytes,
                           std::uint8_t stepIndex, std::int16_t sample)
{
    int predicted = m_predicted;
    int index = m_index;
    if (!(stepIndex & kContinue)) {
        predicted = sample;
        index = std::min<int>(stepIndex, kMaxStepIndex);
    }
    for (std::size_t i = 0; i < bytes; ++i) {
        decodeNibble(data[i] >> 4, predicted, index);
        output[2 * i] = static_cast<std::int16_t>(predicted);
        decodeNibble(data[i] & 0x0F, predicted, index);
        output[2 * i + 1] = static_cast<std::int16_t>(predicted);
    }
    m_predicted = static_cast<std::int16_t>(predicted);
    m_index = static_cast<std::uint8_t>(index);
    return 4 * bytes;
}

std::size_t TAdpcm::encode(const std::int16_t* samples, std::size_t count, std::uint8_t* output)
{
    int predicted = m_predicted;
    int index = m_index;
    std::size_t out = 0;
    for (std::size_t i = 0; i < count; i += 2) {
        const int high = encodeSample(samples[i], predicted, index);
        const int low = i + 1 < count ? encodeSample(samples[i + 1], predicted, index) : 0;
        output[out++] = static_cast<std::uint8_t>(high << 4 | low);
    }
    m_predicted = static_cast<std::int16_t>(predicted);
    m_index = static_cast<std::uint8_t>(index);
    return out;
}

} // namespace tessivor
