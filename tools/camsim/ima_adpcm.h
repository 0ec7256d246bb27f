// The simulated camera's own IMA ADPCM encoder for its sound blocks. It is written apart from the
// control's coder on purpose: a simulator that shared the client's coder would hide the faults
// of both.
//
// The algorithm is the IMA (DVI) ADPCM of the IMA Digital Audio Focus and Technical Working
// Groups' recommended practice (1992): one channel of signed 16-bit samples, four bits per
// sample, two codes per byte with the first sample in the high nibble. The state (the predicted
// sample and the step index 0 to 88) carries over from one call to the next, so a sound cut into
// blocks codes as one stream, and each block can name the state it starts from.
#pragma once

#include <cstddef>
#include <cstdint>

namespace camsim {

class ImaAdpcmEncoder
{
public:
    static constexpr int kMaxStepIndex = 88;

    // Codes `count` samples into (count + 1) / 2 bytes at `output` from the current state; an
    // odd count leaves the last low nibble 0. Returns the bytes written.
    std::size_t encode(const std::int16_t* samples, std::size_t count, std::uint8_t* output);

    // The state the next sample is coded from: what a decoder has reached after the codes so far.
    std::int16_t predicted() const { return m_predicted; }
    std::uint8_t stepIndex() const { return m_stepIndex; }

    void reset()
    {
        m_predicted = 0;
        m_stepIndex = 0;
    }

private:
    std::uint8_t encodeSample(std::int16_t sample);

    std::int16_t m_predicted = 0;
    std::uint8_t m_stepIndex = 0;
};

} // namespace camsim
