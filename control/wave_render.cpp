#include "control/wave_render.h"

#include "platform/trace.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tessivor {

TWaveRender::TWaveRender()
{
    m_format = pcmWaveFormat(16, 1, 8000);
    setBuffers(250, 6);
    setAdpcm(true);
}

TWaveRender::~TWaveRender()
{
    close();
}

void TWaveRender::setFormat(int bits, int channels, std::uint32_t samplesPerSec)
{
    if ((bits != 8 && bits != 16) || channels < 1 || channels > 2 || samplesPerSec < 1 ||
        samplesPerSec > 192000)
        return;
    const WaveFormat wanted = pcmWaveFormat(bits, channels, samplesPerSec);
    if (wanted == m_format)
        return;
    freeBuffers();
    if (m_output)
        m_output->close();
    {
        std::lock_guard lock(m_formatLock);
        m_format = wanted;
    }
    m_bufferSize = 0; // recomputed for the new byte rate
    if (m_bufferMs > 0)
        setBuffers(m_bufferMs, m_bufferCount);
}

WaveFormat TWaveRender::format() const
{
    std::lock_guard lock(m_formatLock);
    return m_format;
}

void TWaveRender::setBuffers(int ms, int count)
{
    count = std::max(count, 1);
    ms = std::clamp(ms, 1, 10000);
    if (count != m_bufferCount) {
        freeBuffers();
        m_bufferCount = count;
    }
    if (ms != m_bufferMs || m_bufferSize == 0) {
        freeBuffers();
        m_bufferMs = ms;
        const std::uint64_t bytes = static_cast<std::uint64_t>(ms) * m_format.avgBytesPerSec / 1000;
        const std::uint64_t align = std::max<std::uint16_t>(m_format.blockAlign, 1);
        m_bufferSize = static_cast<int>(std::max<std::uint64_t>(bytes - bytes % align, align));
        if (m_adpcmOn)
            m_adpcmOut.assign((m_bufferSize + 1) / 2, 0);
    }
}

void TWaveRender::setAdpcm(bool on)
{
    if (on) {
        if (m_bufferSize == 0)
            throw std::runtime_error("TWaveRender::setAdpcm() IPE");
        if (!m_adpcmOn || m_adpcmOut.size() != static_cast<std::size_t>((m_bufferSize + 1) / 2))
            m_adpcmOut.assign((m_bufferSize + 1) / 2, 0);
        m_adpcmOn = true;
    } else {
        m_adpcmOut.clear();
        m_adpcmOut.shrink_to_fit();
        m_adpcmOn = false;
    }
}

int TWaveRender::bytesToMs(std::size_t bytes) const
{
    const std::uint64_t pcm = m_adpcmOn ? 4 * static_cast<std::uint64_t>(bytes) : bytes;
    if (m_format.avgBytesPerSec == 0)
        return 0;
    return static_cast<int>((pcm * 1000 + m_format.avgBytesPerSec - 1) / m_format.avgBytesPerSec);
}

void TWaveRender::freeBuffers()
{
    if (m_output && m_output->isOpen())
        m_output->reset(); // every queued buffer is reported done before this returns
    m_buffers.clear();
}

void TWaveRender::createBuffers()
{
    freeBuffers();
    m_buffers.assign(m_bufferCount, std::vector<std::uint8_t>(m_bufferSize));
    m_next = 0;
    m_queued.store(0);
    m_overflows.store(0);
    m_underruns.store(0);
}

int TWaveRender::write(const std::uint8_t* data, std::size_t bytes, std::uint8_t stepIndex,
                       std::int16_t sample)
{
    m_lastError = WAVE_OK;
    if (!m_output)
        m_output = createAudioOutput();
    if (!m_output->isOpen()) {
        if (!m_output->open(m_format, [this] { callback(); })) {
            m_lastError = WAVE_OPEN_FAILED;
            return m_lastError;
        }
        createBuffers();
    } else if (m_buffers.empty()) {
        createBuffers();
    }

    const std::uint8_t* src = data;
    std::size_t left = bytes;
    if (m_adpcmOn) {
        if (bytes > static_cast<std::size_t>(m_bufferSize) / 4) {
            m_lastError = WAVE_TOO_LARGE;
            return m_lastError;
        }
        left = m_adpcm.decode(data, m_adpcmOut.data(), bytes, stepIndex, sample);
        src = reinterpret_cast<const std::uint8_t*>(m_adpcmOut.data());
    }
    // Whole sample blocks only: a torn sample would shift every later one.
    left -= left % std::max<std::uint16_t>(m_format.blockAlign, 1);

    while (left > 0) {
        if (m_next >= m_bufferCount)
            m_next = 0;
        if (m_queued.load() >= m_bufferCount) {
            m_overflows.fetch_add(1);
            return static_cast<int>(m_adpcmOn ? left / 4 : left);
        }
        // A buffer is queued with the bytes it holds, never with stale ones behind them.
        const std::size_t n = std::min(left, static_cast<std::size_t>(m_bufferSize));
        std::vector<std::uint8_t>& buffer = m_buffers[m_next];
        std::memcpy(buffer.data(), src, n);
        m_queued.fetch_add(1);
        if (!m_output->write(buffer.data(), n)) {
            m_queued.fetch_sub(1);
            m_lastError = WAVE_QUEUE_FAILED;
            return m_lastError;
        }
        ++m_next;
        src += n;
        left -= n;
    }
    return WAVE_OK;
}

void TWaveRender::close()
{
    freeBuffers();
    if (m_output)
        m_output->close();
    setAdpcm(false);
}

void TWaveRender::callback()
{
    if (m_queued.fetch_sub(1) == 1)
        m_underruns.fetch_add(1);
}

} // namespace tessivor
