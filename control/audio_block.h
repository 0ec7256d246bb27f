// AudioBlock: the body of one answer of the camera's sound stream, little-endian:
//   0 bits per sample, 1 channels, 2 ADPCM flag (non-zero: IMA ADPCM), 3 unused,
//   4-5 samples per second, 6-7 unused, 8 ADPCM step index of the first sample (bit 7: go on from
//   the coder's state), 9 unused, 10-11 predicted sample (signed), 12-13 data length, 14-15 unused,
//   16... the data (ADPCM: two samples per byte; PCM: interleaved samples).
// Every field is checked before anything is played: a block that fails is dropped whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tessivor {

struct AudioBlock
{
    static constexpr std::size_t kHeaderBytes = 16;
    static constexpr std::uint32_t kMinRate = 1000;
    static constexpr std::uint32_t kMaxRate = 96000;

    int bitsPerSample = 16;
    int channels = 1;
    bool adpcm = false;
    std::uint32_t samplesPerSec = 8000;
    std::uint8_t stepIndex = 0;
    std::int16_t predictedSample = 0;
    // The sound data inside the body (PCM: cut to whole sample blocks).
    std::span<const std::uint8_t> data;
};

enum class AudioBlockStatus
{
    Ok,
    TooShort,        // fewer bytes than the 16-byte header
    DataOutsideBody, // the data length reaches past the body
    NoData,          // a data length of 0 (or PCM shorter than one sample block)
    BadBits,         // ADPCM other than 16 bits, PCM other than 8 or 16
    BadChannels,     // other than 1 or 2
    BadRate,         // outside kMinRate..kMaxRate
};

const char* audioBlockStatusText(AudioBlockStatus status);

// Reads and checks the block in `body`; `block` is written only when the result is Ok, and its
// data then points into `body`.
AudioBlockStatus parseAudioBlock(std::span<const std::uint8_t> body, AudioBlock* block);

} // namespace tessivor
