#include "media/avi_writer.h"

#include "platform/clock.h"
#include "platform/trace.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tessivor {

namespace {

constexpr std::uint32_t fourcc(const char (&s)[5])
{
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[0])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[3])) << 24;
}

constexpr std::uint32_t kVideoChunk = fourcc("00dc");
constexpr std::uint32_t kAudioChunk = fourcc("01wb");

// avih flags and idx1 flags (the AVI 1.0 values).
constexpr std::uint32_t AVIF_HASINDEX = 0x10;
constexpr std::uint32_t AVIF_ISINTERLEAVED = 0x100;
constexpr std::uint32_t AVIIF_KEYFRAME = 0x10;

// Bytes of a chunk on disk: the 8-byte head, the data and the pad byte of an odd size.
constexpr std::uint64_t chunkBytes(std::uint64_t dataBytes)
{
    return 8 + dataBytes + (dataBytes & 1);
}

// Empty slots are assembled in batches of this many chunks per write.
constexpr std::uint32_t kGapBatch = 4096;

// A little-endian byte builder that remembers where fields lie.
class Builder
{
public:
    explicit Builder(std::vector<std::uint8_t>& out) : m_out(out) { m_out.clear(); }
    std::uint64_t pos() const { return m_out.size(); }
    void u8(std::uint8_t v) { m_out.push_back(v); }
    void u16(std::uint16_t v)
    {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            u8(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void fcc(const char (&s)[5]) { u32(fourcc(s)); }
    void bytes(const void* p, std::size_t n)
    {
        const auto* b = static_cast<const std::uint8_t*>(p);
        m_out.insert(m_out.end(), b, b + n);
    }
    // Opens a LIST or chunk whose size is patched by close(); returns the size field's offset.
    std::uint64_t openList(const char (&type)[5], const char (&name)[5])
    {
        fcc(type);
        const std::uint64_t at = pos();
        u32(0);
        fcc(name);
        return at;
    }
    std::uint64_t openChunk(const char (&name)[5])
    {
        fcc(name);
        const std::uint64_t at = pos();
        u32(0);
        return at;
    }
    void close(std::uint64_t sizeAt)
    {
        const auto size = static_cast<std::uint32_t>(pos() - sizeAt - 4);
        for (int i = 0; i < 4; ++i)
            m_out[sizeAt + i] = static_cast<std::uint8_t>(size >> (8 * i));
        if (size & 1)
            u8(0);
    }

private:
    std::vector<std::uint8_t>& m_out;
};

} // namespace

CAviWriter::CAviWriter() = default;

CAviWriter::~CAviWriter()
{
    Close();
}

void CAviWriter::SetFileName(std::string_view name)
{
    std::lock_guard lock(m_mutex);
    m_fileName.assign(name.substr(0, 259));
}

void CAviWriter::SetFrameRate(int fps)
{
    std::lock_guard lock(m_mutex);
    m_frameRate = std::clamp(fps, 1, 1000);
}

void CAviWriter::SetBitmapInfo(const BitmapInfoHeader& header)
{
    std::lock_guard lock(m_mutex);
    m_header = header;
}

void CAviWriter::Init(std::string_view name, const BitmapInfoHeader& header, int rate)
{
    SetFileName(name);
    SetBitmapInfo(header);
    SetFrameRate(rate);
}

void CAviWriter::SetSizeLimitForTesting(std::uint64_t bytes)
{
    std::lock_guard lock(m_mutex);
    m_sizeLimit = std::min(bytes, kMaxFileBytes);
}

std::uint64_t CAviWriter::limitLocked() const
{
    return m_sizeLimit ? m_sizeLimit : kMaxFileBytes;
}

int CAviWriter::OpenVideo(int /*zero*/)
{
    std::lock_guard lock(m_mutex);
    return openLocked(nullptr);
}

int CAviWriter::OpenVideoAudio(int /*zero*/, const WaveFormat& waveFormat, int /*mode*/)
{
    std::lock_guard lock(m_mutex);
    const WaveFormat& f = waveFormat;
    if (f.formatTag != 1 || (f.bitsPerSample != 8 && f.bitsPerSample != 16) || f.channels < 1 ||
        f.channels > 2 || f.samplesPerSec == 0 || f.blockAlign != f.channels * f.bitsPerSample / 8 ||
        f.avgBytesPerSec != f.blockAlign * f.samplesPerSec) {
        trace("AVI Audio Compressed Stream creation failed.\n");
        return 0;
    }
    return openLocked(&waveFormat);
}

int CAviWriter::openLocked(const WaveFormat* audio)
{
    if (m_file) {
        trace("AVI file already open: %s\n", m_fileName.c_str());
        return 0;
    }
    const std::int32_t width = m_header.biWidth;
    const std::int32_t height = m_header.biHeight < 0 ? -m_header.biHeight : m_header.biHeight;
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
        trace("AVI Stream creation failed. Check Bitmap info.\n");
        return 0;
    }

    // "x": never overwrite an existing recording.
    std::FILE* file = std::fopen(m_fileName.c_str(), "wbx");
    if (!file) {
        trace("AVI Engine failed to initialize. Check filename %s.\n", m_fileName.c_str());
        return 0;
    }
    std::setvbuf(file, nullptr, _IONBF, 0); // every chunk goes out in one write

    m_width = width;
    m_height = height;
    m_hasAudio = audio != nullptr;
    if (audio)
        m_audioFormat = *audio;
    const std::uint32_t streams = m_hasAudio ? 2 : 1;
    const std::uint32_t frameBytes = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(width) * height * 3, 0xFFFFFFFFu));

    std::vector<std::uint8_t> head;
    Builder b(head);
    m_offRiffSize = b.openList("RIFF", "AVI ");
    const std::uint64_t hdrl = b.openList("LIST", "hdrl");

    const std::uint64_t avih = b.openChunk("avih");
    b.u32(static_cast<std::uint32_t>(1000000 / m_frameRate)); // microseconds per frame
    b.u32(0);                                                 // max bytes per second
    b.u32(0);                                                 // padding granularity
    b.u32(AVIF_HASINDEX | (m_hasAudio ? AVIF_ISINTERLEAVED : 0));
    m_offTotalFrames = b.pos();
    b.u32(0); // total frames
    b.u32(0); // initial frames
    b.u32(streams);
    m_offAvihBuffer = b.pos();
    b.u32(0); // suggested buffer size
    b.i32(width);
    b.i32(height);
    for (int i = 0; i < 4; ++i)
        b.u32(0);
    b.close(avih);

    const std::uint64_t vstrl = b.openList("LIST", "strl");
    const std::uint64_t vstrh = b.openChunk("strh");
    b.fcc("vids");
    b.fcc("MJPG");
    b.u32(0); // flags
    b.u16(0); // priority
    b.u16(0); // language
    b.u32(0); // initial frames
    b.u32(1); // scale
    b.u32(static_cast<std::uint32_t>(m_frameRate));
    b.u32(0); // start
    m_offVideoLength = b.pos();
    b.u32(0); // length in slots
    m_offVideoBuffer = b.pos();
    b.u32(0);          // suggested buffer size
    b.u32(0xFFFFFFFF); // quality: default
    b.u32(0);          // sample size: variable
    b.u16(0);
    b.u16(0);
    b.u16(static_cast<std::uint16_t>(width));
    b.u16(static_cast<std::uint16_t>(height));
    b.close(vstrh);
    const std::uint64_t vstrf = b.openChunk("strf");
    b.u32(40);
    b.i32(width);
    b.i32(height);
    b.u16(1);  // planes
    b.u16(24); // bits of the decoded picture
    b.fcc("MJPG");
    b.u32(frameBytes);
    b.i32(m_header.biXPelsPerMeter);
    b.i32(m_header.biYPelsPerMeter);
    b.u32(0);
    b.u32(0);
    b.close(vstrf);
    b.close(vstrl);

    if (m_hasAudio) {
        const WaveFormat& f = m_audioFormat;
        const std::uint64_t astrl = b.openList("LIST", "strl");
        const std::uint64_t astrh = b.openChunk("strh");
        b.fcc("auds");
        b.u32(0); // handler
        b.u32(0);
        b.u16(0);
        b.u16(0);
        b.u32(0);
        // One sample of the stream is one sample block: scale = block align and rate = average
        // bytes per second give the block rate, and the length counts blocks.
        b.u32(f.blockAlign);
        b.u32(f.avgBytesPerSec);
        b.u32(0);
        m_offAudioLength = b.pos();
        b.u32(0);
        m_offAudioBuffer = b.pos();
        b.u32(0);
        b.u32(0xFFFFFFFF);
        b.u32(f.blockAlign);
        b.u16(0);
        b.u16(0);
        b.u16(0);
        b.u16(0);
        b.close(astrh);
        const std::uint64_t astrf = b.openChunk("strf");
        b.u16(f.formatTag);
        b.u16(f.channels);
        b.u32(f.samplesPerSec);
        b.u32(f.avgBytesPerSec);
        b.u16(f.blockAlign);
        b.u16(f.bitsPerSample);
        b.u16(0); // no extra bytes
        b.close(astrf);
        b.close(astrl);
    }
    b.close(hdrl);

    m_offMoviSize = b.openList("LIST", "movi");
    m_moviFourcc = m_offMoviSize + 4;
    // The RIFF and movi sizes are patched by refreshHeaderLocked below.

    const bool written = std::fwrite(head.data(), 1, head.size(), file) == head.size();
    m_file = file;
    m_fileEnd = head.size();
    m_videoSlots = 0;
    m_audioBytes = 0;
    m_maxVideoChunk = m_maxAudioChunk = 0;
    m_index.clear();
    if (!written || !refreshHeaderLocked()) {
        trace("AVI Stream creation failed. Check Bitmap info.\n");
        std::fclose(m_file);
        m_file = nullptr;
        std::error_code ec;
        std::filesystem::remove(m_fileName, ec); // leave no partial file behind
        return 0;
    }
    return 1;
}

std::uint64_t CAviWriter::finalBytesLocked(std::size_t extraChunks, std::uint64_t extraBytes) const
{
    return m_fileEnd + extraBytes + 8 + 16 * static_cast<std::uint64_t>(m_index.size() + extraChunks);
}

bool CAviWriter::appendChunkLocked()
{
    if (std::fseek(m_file, static_cast<long>(m_fileEnd), SEEK_SET) == 0 &&
        std::fwrite(m_chunk.data(), 1, m_chunk.size(), m_file) == m_chunk.size())
        return true;
    // The disk refused (full, gone): cut the file back to its last complete chunk.
    trace("Unable to write data to stream.\n");
    std::clearerr(m_file);
    std::error_code ec;
    std::filesystem::resize_file(m_fileName, m_fileEnd, ec);
    return false;
}

bool CAviWriter::writeChunkLocked(std::uint32_t id, std::uint32_t flags, const void* data,
                                  std::uint32_t bytes)
{
    m_chunk.clear();
    Builder b(m_chunk);
    b.u32(id);
    b.u32(bytes);
    b.bytes(data, bytes);
    if (bytes & 1)
        b.u8(0);
    if (!appendChunkLocked())
        return false;
    m_index.push_back(IndexEntry{id, flags, static_cast<std::uint32_t>(m_fileEnd - m_moviFourcc), bytes});
    m_fileEnd += m_chunk.size();
    m_headerStale = true;
    return true;
}

int CAviWriter::AddFrame(const void* jpeg, std::uint32_t bytes, std::int64_t* bytesWritten,
                         std::int32_t frameIndex)
{
    std::lock_guard lock(m_mutex);
    if (!m_file) {
        trace("m_pStreamCompressed is null pointer\n");
        return 0;
    }
    if (frameIndex < 0 || static_cast<std::uint32_t>(frameIndex) < m_videoSlots || bytes > kMaxChunkBytes ||
        (bytes > 0 && !jpeg)) {
        trace("Unable to write data to stream.\n");
        return 0;
    }
    const std::uint32_t gaps = static_cast<std::uint32_t>(frameIndex) - m_videoSlots;
    const std::uint64_t added = gaps * chunkBytes(0) + chunkBytes(bytes);
    if (finalBytesLocked(gaps + 1, added) > limitLocked()) {
        trace("AVI file size limit reached: %s\n", m_fileName.c_str());
        return 0;
    }

    // Empty slots: zero-length chunks, each with its index entry, written in batches.
    for (std::uint32_t left = gaps; left > 0;) {
        const std::uint32_t n = std::min(left, kGapBatch);
        m_chunk.clear();
        Builder b(m_chunk);
        for (std::uint32_t i = 0; i < n; ++i) {
            b.u32(kVideoChunk);
            b.u32(0);
        }
        if (!appendChunkLocked())
            return 0;
        for (std::uint32_t i = 0; i < n; ++i)
            m_index.push_back(
                IndexEntry{kVideoChunk, 0, static_cast<std::uint32_t>(m_fileEnd + 8 * i - m_moviFourcc), 0});
        m_fileEnd += m_chunk.size();
        m_videoSlots += n;
        left -= n;
        m_headerStale = true;
    }

    if (!writeChunkLocked(kVideoChunk, AVIIF_KEYFRAME, jpeg, bytes))
        return 0;
    m_videoSlots = static_cast<std::uint32_t>(frameIndex) + 1;
    m_maxVideoChunk = std::max(m_maxVideoChunk, bytes);
    if (bytesWritten)
        *bytesWritten = bytes;
    maybeRefreshLocked();
    return 1;
}

int CAviWriter::WriteAudio(std::int32_t /*start*/, const void* data, std::uint32_t bytes)
{
    std::lock_guard lock(m_mutex);
    if (!m_file || !m_hasAudio || bytes == 0 || !data || bytes > kMaxChunkBytes ||
        bytes % m_audioFormat.blockAlign != 0)
        return 0;
    if (finalBytesLocked(1, chunkBytes(bytes)) > limitLocked()) {
        trace("AVI file size limit reached: %s\n", m_fileName.c_str());
        return 0;
    }
    if (!writeChunkLocked(kAudioChunk, AVIIF_KEYFRAME, data, bytes))
        return 0;
    m_audioBytes += bytes;
    m_maxAudioChunk = std::max(m_maxAudioChunk, bytes);
    maybeRefreshLocked();
    return 1;
}

void CAviWriter::maybeRefreshLocked()
{
    if (m_headerStale && ticksSince(m_lastRefreshTick) >= kHeaderRefreshMs)
        refreshHeaderLocked();
}

bool CAviWriter::refreshHeaderLocked()
{
    // The sizes describe the chunks written so far; readers that find no index scan the 'movi'
    // list up to its size.
    const std::uint64_t moviEnd = m_fileEnd;
    auto put = [&](std::uint64_t at, std::uint32_t v) {
        std::uint8_t b[4];
        for (int i = 0; i < 4; ++i)
            b[i] = static_cast<std::uint8_t>(v >> (8 * i));
        return std::fseek(m_file, static_cast<long>(at), SEEK_SET) == 0 && std::fwrite(b, 1, 4, m_file) == 4;
    };
    const std::uint32_t maxChunk = std::max(m_maxVideoChunk, m_maxAudioChunk) + 8;
    bool ok = put(m_offRiffSize, static_cast<std::uint32_t>(moviEnd - 8)) &&
              put(m_offMoviSize, static_cast<std::uint32_t>(moviEnd - m_moviFourcc)) &&
              put(m_offTotalFrames, m_videoSlots) && put(m_offAvihBuffer, maxChunk) &&
              put(m_offVideoLength, m_videoSlots) && put(m_offVideoBuffer, m_maxVideoChunk);
    if (m_hasAudio)
        ok = ok &&
             put(m_offAudioLength, static_cast<std::uint32_t>(m_audioBytes / m_audioFormat.blockAlign)) &&
             put(m_offAudioBuffer, m_maxAudioChunk);
    ok = ok && std::fflush(m_file) == 0;
    if (!ok)
        std::clearerr(m_file);
    m_lastRefreshTick = tickCount();
    m_headerStale = false;
    return ok;
}

int CAviWriter::Close()
{
    std::lock_guard lock(m_mutex);
    closeLocked();
    return 1;
}

void CAviWriter::closeLocked()
{
    if (!m_file)
        return;
    refreshHeaderLocked();
    // The index goes after 'movi'; then the RIFF size takes it in.
    std::vector<std::uint8_t> idx;
    idx.reserve(8 + 16 * m_index.size());
    Builder b(idx);
    b.fcc("idx1");
    b.u32(static_cast<std::uint32_t>(16 * m_index.size()));
    for (const IndexEntry& e : m_index) {
        b.u32(e.fourcc);
        b.u32(e.flags);
        b.u32(e.offset);
        b.u32(e.size);
    }
    bool ok = std::fseek(m_file, static_cast<long>(m_fileEnd), SEEK_SET) == 0 &&
              std::fwrite(idx.data(), 1, idx.size(), m_file) == idx.size();
    if (ok) {
        const std::uint64_t end = m_fileEnd + idx.size();
        std::uint8_t s[4];
        for (int i = 0; i < 4; ++i)
            s[i] = static_cast<std::uint8_t>((end - 8) >> (8 * i));
        ok = std::fseek(m_file, static_cast<long>(m_offRiffSize), SEEK_SET) == 0 &&
             std::fwrite(s, 1, 4, m_file) == 4;
    } else {
        // No room for the index: the file stays a valid AVI without one.
        std::clearerr(m_file);
        std::fflush(m_file);
        std::error_code ec;
        std::filesystem::resize_file(m_fileName, m_fileEnd, ec);
    }
    if (std::fclose(m_file) != 0)
        ok = false;
    if (!ok)
        trace("AVI file %s closed without its index\n", m_fileName.c_str());
    m_file = nullptr;
    m_index.clear();
    m_index.shrink_to_fit();
}

bool CAviWriter::IsOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_file != nullptr;
}

bool CAviWriter::HasAudio() const
{
    std::lock_guard lock(m_mutex);
    return m_file != nullptr && m_hasAudio;
}

WaveFormat CAviWriter::AudioFormat() const
{
    std::lock_guard lock(m_mutex);
    return m_audioFormat;
}

std::uint64_t CAviWriter::FinalFileBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_file ? finalBytesLocked(0, 0) : 0;
}

bool CAviWriter::NearSizeLimit() const
{
    std::lock_guard lock(m_mutex);
    const std::uint64_t limit = limitLocked();
    return m_file && finalBytesLocked(0, 0) + std::min(kSplitMarginBytes, limit / 8) > limit;
}

std::string CAviWriter::FileName() const
{
    std::lock_guard lock(m_mutex);
    return m_fileName;
}

} // namespace tessivor
