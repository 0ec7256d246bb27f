// TAdpcm: one channel of IMA (DVI) ADPCM, the sound coding of the cameras' audio blocks.
//
// Packing: two 4-bit codes per byte, the first sample in the high nibble. The state is the
// predicted sample (signed 16 bits) and the step index (0 to 88); both carry over from one call
// to the next, so a stream split into blocks decodes as one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessivor {

class TAdpcm
{
public:
    // A block header's step index with this bit set means: go on from the coder's state.
    static constexpr std::uint8_t kContinue = 0x80;
    static constexpr int kMaxStepIndex = 88;

    TAdpcm(); // set(16)

    // Resets the state. Only 16-bit samples exist; any other value throws std::runtime_error
    // with the text "TAdpcm::set() Only 16bits sample resolution supported".
    void set(int bits);

    // Decodes `bytes` bytes into 2 × bytes samples at `output`, starting from the given step
    // index and predicted sample, or from the state when `stepIndex` has kContinue set (an index
    // above 88 counts as 88). Returns the output size in bytes (4 × bytes).
    std::size_t decode(const std::uint8_t* data, std::int16_t* output, std::size_t bytes,
                       std::uint8_t stepIndex, std::int16_t sample);

    // Encodes `count` samples into (count + 1) / 2 bytes with the same packing (an odd count
    // leaves the last low nibble 0), from the current state. Returns the bytes written.
    std::size_t encode(const std::int16_t* samples, std::size_t count, std::uint8_t* output);

    // Puts the coder in a given state (an index above 88 counts as 88).
    void setState(std::uint8_t stepIndex, std::int16_t predicted);

    std::int16_t predicted() const { return m_predicted; }
    std::uint8_t stepIndex() const { return m_index; }

private:
    std::int16_t m_predicted = 0;
    std::uint8_t m_index = 0;
};

} // namespace tessivor
