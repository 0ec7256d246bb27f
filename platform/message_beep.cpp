#include "platform/message_beep.h"

#include "platform/audio_output.h"
#include "platform/trace.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace tessivor {

namespace {

constexpr std::uint32_t kSampleRate = 22050;
constexpr int kToneHz = 880;
constexpr int kToneMs = 100;
constexpr double kAmplitude = 0.3 * 32767;

// 16-bit mono samples of the tone, faded in and out over 5 ms so that it starts and ends
// without a click.
std::vector<std::int16_t> makeTone()
{
    const int count = static_cast<int>(kSampleRate) * kToneMs / 1000;
    const int fade = static_cast<int>(kSampleRate) * 5 / 1000;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
    const double pi = std::acos(-1.0);
    for (int i = 0; i < count; ++i) {
        double gain = 1.0;
        if (i < fade)
            gain = double(i) / fade;
        else if (count - 1 - i < fade)
            gain = double(count - 1 - i) / fade;
        samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(
            std::lround(kAmplitude * gain * std::sin(2 * pi * kToneHz * i / kSampleRate)));
    }
    return samples;
}

class Beeper
{
public:
    void beep()
    {
        std::lock_guard lock(m_mutex);
        if (!m_tried) {
            m_tried = true;
            open();
        }
        // One tone at a time: while it still sounds, the new beep is part of it.
        if (!m_output || m_sounding.load() != 0)
            return;
        m_sounding.store(1);
        if (!m_output->write(m_tone.data(), m_tone.size() * sizeof(std::int16_t)))
            m_sounding.store(0);
    }

    void reset()
    {
        std::lock_guard lock(m_mutex);
        if (m_output)
            m_output->close();
        m_output.reset();
        m_sounding.store(0);
        m_tried = false;
    }

private:
    void open()
    {
        auto output = createAudioOutput();
        if (!output || std::strcmp(output->kind(), "silent") == 0)
            return; // no sound device: a beep is nothing
        if (!output->open(pcmWaveFormat(16, 1, kSampleRate), [this] { m_sounding.store(0); })) {
            trace("beep: the %s output did not open", output->kind());
            return;
        }
        m_output = std::move(output);
    }

    std::mutex m_mutex;
    std::atomic<int> m_sounding{0}; // cleared by the output's thread when the tone has played
    std::vector<std::int16_t> m_tone = makeTone();
    std::unique_ptr<AudioOutput> m_output;
    bool m_tried = false;
};

// Never destroyed: the output's thread may still be playing while the process ends.
Beeper& beeper()
{
    static Beeper* b = new Beeper;
    return *b;
}

} // namespace

void messageBeep()
{
    beeper().beep();
}

void resetMessageBeep()
{
    beeper().reset();
}

} // namespace tessivor
