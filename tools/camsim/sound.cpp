#include "sound.h"

#include <cmath>
#include <numbers>

namespace camsim {

namespace {
constexpr std::size_t kCacheBlocks = 64; // 16 s of sound for connections that lag
constexpr double kAmplitude = 9000;
} // namespace

SoundSource::SoundSource() : m_start(Clock::now()) {}

void SoundSource::configure(const SoundOptions& options)
{
    std::lock_guard lock(m_mutex);
    m_options = options;
    m_cache.clear();
    m_nextToCode = 0;
    m_coder.reset();
    m_start = Clock::now();
}

SoundOptions SoundSource::options() const
{
    std::lock_guard lock(m_mutex);
    return m_options;
}

std::uint64_t SoundSource::newestDueLocked(Clock::time_point now) const
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start).count();
    return ms <= 0 ? 0 : static_cast<std::uint64_t>(ms) / kBlockMs;
}

Clock::time_point SoundSource::dueAfter(std::optional<std::uint64_t> after) const
{
    std::lock_guard lock(m_mutex);
    if (!after)
        return Clock::now();
    return m_start + std::chrono::milliseconds((*after + 1) * kBlockMs);
}

std::shared_ptr<const SoundBlock> SoundSource::take(std::optional<std::uint64_t> after)
{
    std::lock_guard lock(m_mutex);
    const std::uint64_t newest = newestDueLocked(Clock::now());
    std::uint64_t wanted = after ? *after + 1 : newest;
    if (wanted + kCacheBlocks / 2 < newest)
        wanted = newest; // fallen far behind: the newest block, as a microphone would
    return blockLocked(wanted);
}

std::shared_ptr<const SoundBlock> SoundSource::blockLocked(std::uint64_t number)
{
    for (const auto& b : m_cache)
        if (b->number == number)
            return b;
    if (number < m_nextToCode)
        return m_cache.empty() ? nullptr : m_cache.front(); // older than anything kept
    // Code every block up to the one wanted, in order, so the coder state runs on.
    std::shared_ptr<const SoundBlock> last;
    while (m_nextToCode <= number) {
        auto block = std::make_shared<SoundBlock>();
        block->number = m_nextToCode;
        std::vector<std::int16_t> pcm(kSamplesPerBlock);
        for (int i = 0; i < kSamplesPerBlock; ++i) {
            const double t = double(m_nextToCode * kSamplesPerBlock + i) / kRate;
            pcm[i] =
                static_cast<std::int16_t>(kAmplitude * std::sin(2 * std::numbers::pi * m_options.toneHz * t));
        }
        std::vector<std::uint8_t> data;
        std::uint8_t stepIndex = 0;
        std::int16_t predicted = 0;
        if (m_options.adpcm) {
            // The coder goes on from where the previous block left it; the header says where.
            stepIndex = m_coder.stepIndex();
            predicted = m_coder.predicted();
            data.resize(kSamplesPerBlock / 2);
            m_coder.encode(pcm.data(), pcm.size(), data.data());
        } else {
            data.resize(pcm.size() * 2);
            for (std::size_t i = 0; i < pcm.size(); ++i) {
                data[2 * i] = static_cast<std::uint8_t>(pcm[i]);
                data[2 * i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(pcm[i]) >> 8);
            }
        }
        auto& b = block->body;
        b.assign(16, 0);
        b[0] = 16;
        b[1] = 1;
        b[2] = m_options.adpcm ? 1 : 0;
        b[4] = static_cast<std::uint8_t>(kRate & 0xFF);
        b[5] = static_cast<std::uint8_t>(kRate >> 8);
        b[8] = stepIndex;
        b[10] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(predicted) & 0xFF);
        b[11] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(predicted) >> 8);
        b[12] = static_cast<std::uint8_t>(data.size() & 0xFF);
        b[13] = static_cast<std::uint8_t>(data.size() >> 8);
        b.insert(b.end(), data.begin(), data.end());
        m_cache.push_back(block);
        if (m_cache.size() > kCacheBlocks)
            m_cache.pop_front();
        last = block;
        ++m_nextToCode;
    }
    return last;
}

SoundSource& soundSource()
{
    static SoundSource source;
    return source;
}

std::string soundAnswer(const SoundBlock& block, bool keepAlive)
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto usec = std::chrono::duration_cast<std::chrono::microseconds>(now).count() % 1000000;
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(now).count();
    std::string head = "HTTP/1.0 200 OK\r\nServer: camsim\r\nContent-Type: application/octet-stream\r\n"
                       "Content-Length: " +
                       std::to_string(block.body.size()) + "\r\nTime: " + std::to_string(secs) +
                       "\r\nUsec: " + std::to_string(usec) + "\r\nUserdata: camsim sound " +
                       std::to_string(block.number) + "\r\n";
    if (keepAlive)
        head += "Connection: Keep-Alive\r\n";
    head += "\r\n";
    return head + std::string(block.body.begin(), block.body.end());
}

} // namespace camsim
