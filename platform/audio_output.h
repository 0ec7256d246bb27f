// Sound output: a device that plays queued PCM buffers in order, in place of the system's wave
// output. Three kinds exist: ALSA (the machine's default sound device), a WAV file (for tests and
// for listening afterwards) and a silent output (where no sound device exists, as on CI).
//
// The model is a queue of buffers. write() copies a buffer into the queue and returns at once;
// the output's own thread plays the buffers one after another and calls the `done` callback given
// to open() after each one, also for every buffer that reset() or close() throws away. So the
// caller can count what is still queued exactly as it would with a wave-out device. The callback
// runs on the output's thread and must not call back into the output.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessivor {

// The PCM wave format (the WAVEFORMATEX fields, in their order and widths).
struct WaveFormat
{
    std::uint16_t formatTag = 1; // 1: PCM
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSec = 8000;
    std::uint32_t avgBytesPerSec = 16000; // blockAlign × samplesPerSec
    std::uint16_t blockAlign = 2;         // channels × bitsPerSample / 8
    std::uint16_t bitsPerSample = 16;
    std::uint16_t cbSize = 0; // no extra bytes

    bool operator==(const WaveFormat&) const = default;
};

// A PCM format with its derived fields filled in.
WaveFormat pcmWaveFormat(int bitsPerSample, int channels, std::uint32_t samplesPerSec);

class AudioOutput
{
public:
    using DoneCallback = std::function<void()>;

    virtual ~AudioOutput() = default;

    // Opens the device for `format` (PCM, 8 or 16 bits). False when the device or the format is
    // refused; the output is then closed. Opening an open output closes it first.
    virtual bool open(const WaveFormat& format, DoneCallback done) = 0;
    // Queues a copy of `bytes` bytes. False when the output is not open.
    virtual bool write(const void* data, std::size_t bytes) = 0;
    // Throws away every queued buffer (each gets its done call) and returns when they are gone.
    virtual void reset() = 0;
    // reset(), then releases the device. Idempotent.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // A short name for traces: "alsa", "wav", "silent".
    virtual const char* kind() const = 0;
};

// The output the control uses: the one made by the factory that a test installed, else by the
// TESSIVOR_AUDIO_OUTPUT setting: "silent", "wav:PATH", "alsa"; when unset, ALSA's default device if
// it can be opened, else the silent output.
std::unique_ptr<AudioOutput> createAudioOutput();

using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;
// Replaces the factory (an empty function restores the default); for tests.
void setAudioOutputFactory(AudioOutputFactory factory);

// A silent output. With `realTime` each buffer takes its play time (through the clock), as on a
// device; without, buffers are done at once.
std::unique_ptr<AudioOutput> makeSilentAudioOutput(bool realTime);

// A WAV-file output: every buffer played is appended to `path`, whose header always describes what
// it holds. Reopening with the same format goes on appending; another format starts the file anew.
std::unique_ptr<AudioOutput> makeWavFileAudioOutput(const std::string& path, bool realTime);

// ALSA's default playback device; nothing when the ALSA device cannot be opened at all.
std::unique_ptr<AudioOutput> makeAlsaAudioOutput();

} // namespace tessivor
