// TWaveRender: plays the camera's sound through the sound output (platform/audio_output.h).
//
// It keeps a ring of buffers of one play duration each; write() fills the next free buffer from
// a block (decoding IMA ADPCM first when that is on) and queues it. The output reports every
// buffer it has played, which frees it again. When every buffer is still queued the rest of a
// block is dropped and counted as an overflow; when the last queued buffer finishes the output has
// run dry, which is counted as an underrun.
//
// Threads: everything but callback() and format() runs on one thread (the audio reader's).
// callback() runs on the output's thread and touches only the atomic counters.
#pragma once

#include "control/adpcm.h"
#include "platform/audio_output.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tessivor {

class TWaveRender
{
public:
    // Results of write() and values of lastError().
    enum WaveError : int
    {
        WAVE_OK = 0,
        WAVE_OPEN_FAILED = 1,  // the output could not be opened for the format
        WAVE_QUEUE_FAILED = 3, // a buffer could not be queued
        WAVE_TOO_LARGE = 4,    // an ADPCM block larger than a quarter of a buffer
    };

    // 16-bit mono at 8000 samples per second, 6 buffers of 250 ms (4000 bytes), ADPCM on. The
    // output is made by createAudioOutput() at the first write, and opened by the first write
    // after each close.
    TWaveRender();
    ~TWaveRender();
    TWaveRender(const TWaveRender&) = delete;
    TWaveRender& operator=(const TWaveRender&) = delete;

    // When anything differs: frees the buffers, closes the output, takes the PCM format and
    // recomputes the buffer size. 8 or 16 bits, 1 or 2 channels, 1 to 192000 samples per second;
    // other values are ignored.
    void setFormat(int bits, int channels, std::uint32_t samplesPerSec);
    // A different count frees the buffers and takes it (at least 1); a different duration (or
    // no buffer size yet) frees them and sets the size to `ms` of sound in whole sample blocks.
    void setBuffers(int ms, int count);
    // On: makes the decoding area of one buffer's size; throws std::runtime_error
    // "TWaveRender::setAdpcm() IPE" when no buffer size is known yet. Off: frees it.
    void setAdpcm(bool on);
    // Play time in ms of `bytes` bytes (ADPCM bytes count as the four PCM bytes they give),
    // rounded up so that a buffer of that duration holds them.
    int bytesToMs(std::size_t bytes) const;
    // Queues a block (ADPCM: decoded with the step index and sample of its header). Returns
    // WAVE_OK, an error code (also kept in lastError()), or, when every buffer was queued, the
    // bytes not queued (ADPCM: input bytes) with lastError() WAVE_OK.
    int write(const std::uint8_t* data, std::size_t bytes, std::uint8_t stepIndex, std::int16_t sample);
    // Frees the buffers, closes the output and turns ADPCM off.
    void close();
    // The output's report that one buffer has been played (output thread).
    void callback();

    int lastError() const { return m_lastError; }
    int overflows() const { return m_overflows.load(); }
    int underruns() const { return m_underruns.load(); }
    int queued() const { return m_queued.load(); }
    int bufferSize() const { return m_bufferSize; }
    int bufferCount() const { return m_bufferCount; }
    bool adpcm() const { return m_adpcmOn; }
    // The current PCM format; any thread may ask (the recording takes its audio format here).
    WaveFormat format() const;
    // The PCM of the last ADPCM block written (4 × its bytes).
    const std::uint8_t* decodedData() const
    {
        return reinterpret_cast<const std::uint8_t*>(m_adpcmOut.data());
    }
    TAdpcm& coder() { return m_adpcm; }

private:
    void freeBuffers();
    void createBuffers();

    std::unique_ptr<AudioOutput> m_output;
    TAdpcm m_adpcm;
    WaveFormat m_format;
    mutable std::mutex m_formatLock; // guards m_format against readers on other threads
    std::vector<std::vector<std::uint8_t>> m_buffers;
    std::vector<std::int16_t> m_adpcmOut;
    bool m_adpcmOn = false;
    int m_next = 0;
    int m_bufferSize = 0;
    int m_bufferCount = 6;
    int m_bufferMs = 0;
    int m_lastError = WAVE_OK;
    std::atomic<int> m_queued{0};
    std::atomic<int> m_overflows{0};
    std::atomic<int> m_underruns{0};
};

} // namespace tessivor
