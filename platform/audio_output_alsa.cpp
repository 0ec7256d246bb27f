// The ALSA output: the default playback device, opened per format, written in blocking mode from
// the output's player thread.
#include "platform/audio_output_queue.h"
#include "platform/trace.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <mutex>

namespace tessivor {

namespace {

// ALSA reports its errors on standard error by default; ours go to the traces.
void alsaErrorHandler(const char* file, int line, const char* function, int err, const char* fmt, ...)
{
    if (!traceEnabled())
        return;
    char text[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    trace("alsa %s:%d %s (%d): %s\n", file, line, function, err, text);
}

void quietAlsa()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(alsaErrorHandler); });
}

class AlsaAudioOutput final : public QueuedAudioOutput
{
public:
    ~AlsaAudioOutput() override { close(); }
    const char* kind() const override { return "alsa"; }

protected:
    bool openDevice(const WaveFormat& format) override
    {
        snd_pcm_t* pcm = nullptr;
        int err = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0);
        if (err < 0) {
            trace("alsa: cannot open the default device: %s\n", snd_strerror(err));
            return false;
        }
        // 500 ms of device latency holds about two of the renderer's buffers.
        err = snd_pcm_set_params(pcm, format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE,
                                 SND_PCM_ACCESS_RW_INTERLEAVED, format.channels, format.samplesPerSec, 1,
                                 500000);
        if (err < 0) {
            trace("alsa: format refused: %s\n", snd_strerror(err));
            snd_pcm_close(pcm);
            return false;
        }
        m_pcm = pcm;
        m_abort.store(false);
        return true;
    }

    void closeDevice() override
    {
        if (m_pcm) {
            snd_pcm_drop(m_pcm);
            snd_pcm_close(m_pcm);
            m_pcm = nullptr;
        }
    }

    void play(const WaveFormat& format, const std::uint8_t* data, std::size_t bytes) override
    {
        m_abort.store(false);
        snd_pcm_uframes_t frames = bytes / format.blockAlign;
        while (frames > 0 && !m_abort.load()) {
            const snd_pcm_sframes_t n = snd_pcm_writei(m_pcm, data, frames);
            if (n < 0) {
                if (snd_pcm_recover(m_pcm, static_cast<int>(n), 1) < 0) {
                    trace("alsa: write failed: %s\n", snd_strerror(static_cast<int>(n)));
                    return;
                }
                continue;
            }
            frames -= static_cast<snd_pcm_uframes_t>(n);
            data += static_cast<std::size_t>(n) * format.blockAlign;
        }
    }

    void abortPlaying() override
    {
        // A blocked snd_pcm_writei returns within the device period; the rest of the buffer is
        // not written.
        m_abort.store(true);
    }

private:
    snd_pcm_t* m_pcm = nullptr;
    std::atomic<bool> m_abort{false};
};

} // namespace

std::unique_ptr<AudioOutput> makeAlsaAudioOutput()
{
    quietAlsa();
    snd_pcm_t* probe = nullptr;
    if (snd_pcm_open(&probe, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return nullptr;
    snd_pcm_close(probe);
    return std::make_unique<AlsaAudioOutput>();
}

} // namespace tessivor
