// The queue shared by every output kind, the silent and WAV-file outputs, and the factory.
#include "platform/audio_output.h"

#include "platform/audio_output_queue.h"
#include "platform/clock.h"
#include "platform/trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

namespace tessivor {

WaveFormat pcmWaveFormat(int bitsPerSample, int channels, std::uint32_t samplesPerSec)
{
    WaveFormat f;
    f.formatTag = 1;
    f.channels = static_cast<std::uint16_t>(channels);
    f.samplesPerSec = samplesPerSec;
    f.bitsPerSample = static_cast<std::uint16_t>(bitsPerSample);
    f.blockAlign = static_cast<std::uint16_t>(channels * bitsPerSample / 8);
    f.avgBytesPerSec = f.blockAlign * samplesPerSec;
    f.cbSize = 0;
    return f;
}

// ---- the queue ----

QueuedAudioOutput::~QueuedAudioOutput()
{
    // Derived classes call close() in their own destructors, while their play() still exists.
}

bool QueuedAudioOutput::open(const WaveFormat& format, DoneCallback done)
{
    close();
    if (format.formatTag != 1 || (format.bitsPerSample != 8 && format.bitsPerSample != 16) ||
        format.channels < 1 || format.channels > 2 || format.samplesPerSec == 0 ||
        format.blockAlign != format.channels * format.bitsPerSample / 8)
        return false;
    if (!openDevice(format))
        return false;
    {
        std::lock_guard lock(m_mutex);
        m_format = format;
        m_done = std::move(done);
        m_stopping = false;
        m_open = true;
    }
    if (!m_player.start("audio-out", [this] { run(); })) {
        // Without its player the output would take buffers and never report them done.
        {
            std::lock_guard lock(m_mutex);
            m_open = false;
            m_done = nullptr;
        }
        closeDevice();
        trace("%s output: no player thread, not opened\n", kind());
        return false;
    }
    return true;
}

bool QueuedAudioOutput::write(const void* data, std::size_t bytes)
{
    std::lock_guard lock(m_mutex);
    if (!m_open)
        return false;
    const auto* p = static_cast<const std::uint8_t*>(data);
    m_queue.emplace_back(p, p + bytes);
    m_wake.notify_all();
    return true;
}

void QueuedAudioOutput::reset()
{
    std::unique_lock lock(m_mutex);
    if (!m_open)
        return;
    m_dropped += m_queue.size();
    m_queue.clear();
    abortPlaying(); // a blocking play() returns soon
    m_wake.notify_all();
    // The thread makes the done calls for the dropped buffers; wait until it has.
    m_idle.wait(lock, [this] { return m_dropped == 0 && !m_playing; });
}

void QueuedAudioOutput::close()
{
    {
        std::unique_lock lock(m_mutex);
        if (!m_open)
            return;
    }
    reset();
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_wake.notify_all();
    }
    m_player.join();
    closeDevice();
    std::lock_guard lock(m_mutex);
    m_open = false;
    m_done = nullptr;
}

bool QueuedAudioOutput::isOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_open;
}

void QueuedAudioOutput::run()
{
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_stopping || m_dropped > 0 || !m_queue.empty(); });
        if (m_dropped > 0) {
            const std::size_t n = m_dropped;
            m_dropped = 0;
            auto done = m_done;
            lock.unlock();
            for (std::size_t i = 0; i < n; ++i)
                if (done)
                    done();
            lock.lock();
            m_idle.notify_all();
            continue;
        }
        if (m_queue.empty()) {
            if (m_stopping)
                break;
            continue;
        }
        std::vector<std::uint8_t> buffer = std::move(m_queue.front());
        m_queue.pop_front();
        m_playing = true;
        auto done = m_done;
        const WaveFormat format = m_format;
        lock.unlock();
        play(format, buffer.data(), buffer.size());
        if (done)
            done();
        lock.lock();
        m_playing = false;
        m_idle.notify_all();
    }
}

// ---- silent ----

namespace {

std::uint32_t playTimeMs(const WaveFormat& format, std::size_t bytes)
{
    if (format.avgBytesPerSec == 0)
        return 0;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(bytes) * 1000 / format.avgBytesPerSec);
}

class SilentAudioOutput final : public QueuedAudioOutput
{
public:
    explicit SilentAudioOutput(bool realTime) : m_realTime(realTime) {}
    ~SilentAudioOutput() override { close(); }
    const char* kind() const override { return "silent"; }

protected:
    bool openDevice(const WaveFormat&) override { return true; }
    void closeDevice() override {}
    void play(const WaveFormat& format, const std::uint8_t*, std::size_t bytes) override
    {
        if (m_realTime)
            sleepMs(playTimeMs(format, bytes));
    }

private:
    bool m_realTime;
};

// ---- WAV file ----

void putLe32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void putLe16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

class WavFileAudioOutput final : public QueuedAudioOutput
{
public:
    WavFileAudioOutput(std::string path, bool realTime) : m_path(std::move(path)), m_realTime(realTime) {}
    ~WavFileAudioOutput() override
    {
        close();
        if (m_file)
            std::fclose(m_file);
    }
    const char* kind() const override { return "wav"; }

protected:
    bool openDevice(const WaveFormat& format) override
    {
        if (m_file && format == m_fileFormat)
            return true; // go on appending
        if (m_file) {
            trace("wav output: format changed, %s starts anew\n", m_path.c_str());
            std::fclose(m_file);
            m_file = nullptr;
        }
        m_file = std::fopen(m_path.c_str(), "wb");
        if (!m_file)
            return false;
        m_fileFormat = format;
        m_dataBytes = 0;
        return writeHeader();
    }
    void closeDevice() override
    {
        if (m_file)
            std::fflush(m_file);
    }
    void play(const WaveFormat& format, const std::uint8_t* data, std::size_t bytes) override
    {
        // Sizes are 32-bit in a WAV file: stop appending before they would overflow.
        if (m_file && m_dataBytes + bytes < 0xFFFFFF00u) {
            std::fseek(m_file, 0, SEEK_END);
            if (std::fwrite(data, 1, bytes, m_file) == bytes)
                m_dataBytes += static_cast<std::uint32_t>(bytes);
            writeHeader();
        }
        if (m_realTime)
            sleepMs(playTimeMs(format, bytes));
    }

private:
    bool writeHeader()
    {
        std::uint8_t h[44];
        std::memcpy(h, "RIFF", 4);
        putLe32(h + 4, 36 + m_dataBytes);
        std::memcpy(h + 8, "WAVEfmt ", 8);
        putLe32(h + 16, 16);
        putLe16(h + 20, m_fileFormat.formatTag);
        putLe16(h + 22, m_fileFormat.channels);
        putLe32(h + 24, m_fileFormat.samplesPerSec);
        putLe32(h + 28, m_fileFormat.avgBytesPerSec);
        putLe16(h + 32, m_fileFormat.blockAlign);
        putLe16(h + 34, m_fileFormat.bitsPerSample);
        std::memcpy(h + 36, "data", 4);
        putLe32(h + 40, m_dataBytes);
        std::fseek(m_file, 0, SEEK_SET);
        const bool ok = std::fwrite(h, 1, sizeof h, m_file) == sizeof h;
        std::fflush(m_file);
        return ok;
    }

    std::string m_path;
    bool m_realTime;
    std::FILE* m_file = nullptr;
    WaveFormat m_fileFormat;
    std::uint32_t m_dataBytes = 0;
};

std::mutex g_factoryMutex;
AudioOutputFactory g_factory;

} // namespace

std::unique_ptr<AudioOutput> makeSilentAudioOutput(bool realTime)
{
    return std::make_unique<SilentAudioOutput>(realTime);
}

std::unique_ptr<AudioOutput> makeWavFileAudioOutput(const std::string& path, bool realTime)
{
    return std::make_unique<WavFileAudioOutput>(path, realTime);
}

void setAudioOutputFactory(AudioOutputFactory factory)
{
    std::lock_guard lock(g_factoryMutex);
    g_factory = std::move(factory);
}

std::unique_ptr<AudioOutput> createAudioOutput()
{
    {
        std::lock_guard lock(g_factoryMutex);
        if (g_factory)
            return g_factory();
    }
    const char* env = std::getenv("TESSIVOR_AUDIO_OUTPUT");
    const std::string_view setting = env ? env : "";
    if (setting == "silent")
        return makeSilentAudioOutput(true);
    if (setting.starts_with("wav:") && setting.size() > 4)
        return makeWavFileAudioOutput(std::string(setting.substr(4)), true);
    if (auto alsa = makeAlsaAudioOutput())
        return alsa;
    trace("no sound device: audio is played silently\n");
    return makeSilentAudioOutput(true);
}

} // namespace tessivor
