// The buffer queue and player thread that every AudioOutput kind shares; a kind supplies how a
// device opens, closes and plays one buffer. Internal to platform/.
#pragma once

#include "platform/audio_output.h"
#include "platform/worker_thread.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace tessivor {

class QueuedAudioOutput : public AudioOutput
{
public:
    ~QueuedAudioOutput() override;

    bool open(const WaveFormat& format, DoneCallback done) final;
    bool write(const void* data, std::size_t bytes) final;
    void reset() final;
    void close() final;
    bool isOpen() const final;

protected:
    // Called with no lock held, on the opening thread / the player thread.
    virtual bool openDevice(const WaveFormat& format) = 0;
    virtual void closeDevice() = 0;
    // Plays one buffer; may block for its play time.
    virtual void play(const WaveFormat& format, const std::uint8_t* data, std::size_t bytes) = 0;
    // Asks a blocking play() to return early (called with the queue lock held; must not block).
    virtual void abortPlaying() {}

private:
    void run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::vector<std::uint8_t>> m_queue;
    std::size_t m_dropped = 0; // buffers thrown away whose done calls are still owed
    bool m_playing = false;
    bool m_open = false;
    bool m_stopping = false;
    WaveFormat m_format;
    DoneCallback m_done;
    WorkerThread m_player;
};

} // namespace tessivor
