// CAviWriter: writes one AVI 1.0 file (RIFF 'AVI ') with a Motion-JPEG video stream and, when
// asked, a PCM audio stream.
//
// File layout:
//   RIFF 'AVI '
//     LIST 'hdrl'  avih, LIST 'strl' (strh 'vids' + strf BITMAPINFOHEADER 'MJPG'),
//                  [LIST 'strl' (strh 'auds' + strf WAVEFORMATEX)]
//     LIST 'movi'  '00dc' JPEG frames, '01wb' PCM blocks, in the order written
//     idx1         one entry per chunk, offsets from the 'movi' fourcc
// Every chunk with an odd size is followed by one pad byte (its size field keeps the true size).
//
// Time grid. Video samples are frame slots of 1/rate seconds; a frame is written at the slot
// index the caller gives. Slots skipped between two frames become zero-length '00dc' chunks with
// index entries (not key frames), so every frame keeps its time in any reader.
//
// Crash safety. The RIFF, 'movi' and stream sizes in the header are rewritten, and the file
// flushed, at most kHeaderRefreshMs after any write: a recording whose process dies plays up to
// that point without its index. The index is written at Close.
//
// Size. An AVI 1.0 file must stay below 2 GiB. Counters are 64-bit; a write that would make the
// finished file (with its index) larger than the limit is refused, and NearSizeLimit() tells the
// caller in time to start the next file.
//
// Threads. Every operation takes the writer's lock: the image loop writes frames, the audio
// thread writes sound and the host's thread may close, all on one writer. Close is idempotent.
#pragma once

#include "platform/audio_output.h"
#include "platform/dib.h"

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tessivor {

class CAviWriter
{
public:
    // The AVI 1.0 ceiling: the RIFF size is read as a signed 32-bit number by many readers.
    static constexpr std::uint64_t kMaxFileBytes = 0x7FFFFFFFull;
    // NearSizeLimit() turns true this far below the limit (or an eighth of a lower test limit),
    // which leaves room for the next frames and the index entries they add.
    static constexpr std::uint64_t kSplitMarginBytes = 16ull << 20;
    static constexpr std::uint32_t kHeaderRefreshMs = 500;
    // Larger chunks are refused (a JPEG frame or a sound block is far smaller).
    static constexpr std::uint32_t kMaxChunkBytes = 16u << 20;

    CAviWriter();
    // Closes a file that is still open, so that it is complete.
    ~CAviWriter();
    CAviWriter(const CAviWriter&) = delete;
    CAviWriter& operator=(const CAviWriter&) = delete;

    // Settings for the next open; a file already open keeps its own.
    void SetFileName(std::string_view name);            // at most 259 bytes kept
    void SetFrameRate(int fps);                         // frames per second, 1 to 1000
    void SetBitmapInfo(const BitmapInfoHeader& header); // the picture size comes from here
    void Init(std::string_view name, const BitmapInfoHeader& header, int rate);

    // Creates the file (it must not exist yet) with the video stream. 1 on success, 0 on
    // failure, in which case no file is left behind. `zero` is unused.
    int OpenVideo(int zero);
    // The same with a PCM audio stream in `waveFormat` (8 or 16 bits, 1 or 2 channels). `zero`
    // and `mode` are unused.
    int OpenVideoAudio(int zero, const WaveFormat& waveFormat, int mode);

    // Writes one JPEG frame at slot `frameIndex`, which must be above the last slot written.
    // *bytesWritten receives the frame's byte count. 1 on success, 0 when no file is open, the
    // slot is not after the last one, the file would pass its size limit or the disk refused the
    // write (the file then ends at its last complete chunk).
    int AddFrame(const void* jpeg, std::uint32_t bytes, std::int64_t* bytesWritten, std::int32_t frameIndex);
    // Appends PCM sound (whole sample blocks) to the audio stream. `start` is unused: sound is
    // always appended. 1 on success, 0 without an audio stream or when the write fails.
    int WriteAudio(std::int32_t start, const void* data, std::uint32_t bytes);
    // Writes the index and the final sizes and closes the file. Always 1; nothing when closed.
    int Close();

    bool IsOpen() const;
    bool HasAudio() const;
    // The audio stream's format (meaningful while HasAudio()).
    WaveFormat AudioFormat() const;
    // The size the file would have if it were closed now (chunks, index and headers).
    std::uint64_t FinalFileBytes() const;
    // True once FinalFileBytes() is within kSplitMarginBytes of the size limit.
    bool NearSizeLimit() const;
    std::string FileName() const;

    // A lower size limit, so that tests can reach it; 0 restores kMaxFileBytes.
    void SetSizeLimitForTesting(std::uint64_t bytes);

private:
    struct IndexEntry
    {
        std::uint32_t fourcc;
        std::uint32_t flags;
        std::uint32_t offset; // from the 'movi' fourcc
        std::uint32_t size;
    };

    int openLocked(const WaveFormat* audio);
    bool writeChunkLocked(std::uint32_t fourcc, std::uint32_t flags, const void* data, std::uint32_t bytes);
    // Writes m_chunk at the end of the data; on failure cuts the file back to that end.
    bool appendChunkLocked();
    bool refreshHeaderLocked();
    void maybeRefreshLocked();
    void closeLocked();
    std::uint64_t finalBytesLocked(std::size_t extraChunks, std::uint64_t extraBytes) const;
    std::uint64_t limitLocked() const;

    mutable std::mutex m_mutex;

    // settings
    std::string m_fileName{"Untitled.avi"};
    int m_frameRate = 30;
    BitmapInfoHeader m_header{};
    std::uint64_t m_sizeLimit = 0;

    // the open file
    std::FILE* m_file = nullptr;
    bool m_hasAudio = false;
    WaveFormat m_audioFormat;
    std::int32_t m_width = 0, m_height = 0;
    std::uint64_t m_fileEnd = 0;    // bytes written so far (headers and chunks)
    std::uint64_t m_moviFourcc = 0; // offset of the 'movi' fourcc
    std::uint64_t m_offRiffSize = 0, m_offMoviSize = 0, m_offTotalFrames = 0, m_offAvihBuffer = 0;
    std::uint64_t m_offVideoLength = 0, m_offVideoBuffer = 0, m_offAudioLength = 0, m_offAudioBuffer = 0;
    std::uint32_t m_videoSlots = 0; // slots written, empty ones included
    std::uint64_t m_audioBytes = 0;
    std::uint32_t m_maxVideoChunk = 0, m_maxAudioChunk = 0;
    std::vector<IndexEntry> m_index;
    std::vector<std::uint8_t> m_chunk; // reused chunk assembly buffer
    std::uint32_t m_lastRefreshTick = 0;
    bool m_headerStale = false;
};

} // namespace tessivor
