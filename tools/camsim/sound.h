// The camera's sound stream: AudioBlocks of 250 ms (8000 samples per second, 16-bit mono) of a
// steady tone, IMA ADPCM-coded by default or plain PCM, numbered and paced in real time like the
// pictures. Every block carries the coder state at its first sample, so a client that starts at any
// block decodes it exactly.
//
// AudioBlock layout (little-endian): bits, channels, ADPCM flag, 0, rate (2), 0 (2), step index,
// 0, predicted sample (2), data length (2), 0 (2), data.
#pragma once

#include "camera.h"
#include "ima_adpcm.h"

#include <deque>

namespace camsim {

struct SoundOptions
{
    bool enabled = true;
    bool adpcm = true;
    std::string path = "/goform/audio2";
    double toneHz = 300;
};

struct SoundBlock
{
    std::uint64_t number = 0;
    std::vector<std::uint8_t> body; // the whole AudioBlock
};

class SoundSource
{
public:
    static constexpr int kRate = 8000;
    static constexpr int kBlockMs = 250;
    static constexpr int kSamplesPerBlock = kRate * kBlockMs / 1000;

    SoundSource();

    void configure(const SoundOptions& options);
    SoundOptions options() const;

    // When the block after `after` is due (nullopt: the newest due one, which is due now).
    Clock::time_point dueAfter(std::optional<std::uint64_t> after) const;
    // The block after `after`, or the newest due one when `after` has fallen behind; call it once
    // dueAfter(after) has passed.
    std::shared_ptr<const SoundBlock> take(std::optional<std::uint64_t> after);

private:
    std::uint64_t newestDueLocked(Clock::time_point now) const;
    std::shared_ptr<const SoundBlock> blockLocked(std::uint64_t number);

    mutable std::mutex m_mutex;
    SoundOptions m_options;
    Clock::time_point m_start;
    std::deque<std::shared_ptr<const SoundBlock>> m_cache; // recent blocks, ascending
    std::uint64_t m_nextToCode = 0;                        // the coder's state belongs to this block
    ImaAdpcmEncoder m_coder;
};

// The one sound source of the process (the camera has one microphone).
SoundSource& soundSource();

// One answer of the sound path: the head and the block.
std::string soundAnswer(const SoundBlock& block, bool keepAlive);

} // namespace camsim
