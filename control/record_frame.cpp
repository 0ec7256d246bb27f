// The recording step of the frame pipeline: opens a file when the host asks for recording,
// places each frame on the slot grid of a 30-frames-per-second file (slot = elapsed ms × 30 /
// 1000, rounded to the nearest, so that the file's time is the camera's time and recorded sound
// stays in step), splits by size or time (and always before the AVI 1.0 limit), watches the free
// disk space, and closes the file when recording stops. Runs on the image thread; the host's
// thread only sets and clears the request and may close the writer (PutNewStatus), which the
// writer's lock makes safe.
#include "control/cimage.h"

#include "imagelib/img_jpeg.h"
#include "imagelib/img_memory.h"
#include "platform/clock.h"
#include "platform/disk.h"
#include "platform/trace.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace tessivor {

namespace {

constexpr int kRecordFrameRate = 30;
constexpr std::uint32_t kOpenPauseMs = 50;
// A second file opened within the same second as the last one takes the next free second's name.
constexpr int kNameTries = 120;

// "YYYYMMDDhhmmss.avi" of the local time `t`.
std::string recordingName(std::time_t t)
{
    std::tm local{};
    ::localtime_r(&t, &local);
    char name[80];
    std::snprintf(name, sizeof name, "%04d%02d%02d%02d%02d%02d.avi", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}

// The JPEG bytes of a picture for the file: the camera's own, or the working image encoded into
// an image block that the holder frees.
class PictureBytes
{
public:
    explicit PictureBytes(const RecordedPicture& picture)
    {
        if (picture.jpeg) {
            m_data = picture.jpeg;
            m_size = picture.jpegBytes;
            return;
        }
        if (picture.encodeFrom &&
            img_save_jpeg_mem(&m_block, picture.encodeFrom, RecordedPicture::kEncodeQuality) == 0 &&
            m_block) {
            m_data = static_cast<const std::uint8_t*>(m_block);
            m_size = img_block_size(m_block);
        }
    }
    ~PictureBytes()
    {
        if (m_block)
            img_block_free(m_block);
    }
    PictureBytes(const PictureBytes&) = delete;
    PictureBytes& operator=(const PictureBytes&) = delete;

    bool ok() const { return m_data != nullptr && m_size > 0; }
    const std::uint8_t* data() const { return m_data; }
    std::uint32_t size() const { return static_cast<std::uint32_t>(m_size); }

private:
    void* m_block = nullptr;
    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

// ReservedSpace megabytes as bytes; a negative setting reserves nothing.
std::uint64_t reserveBytes(std::int32_t megabytes)
{
    return megabytes > 0 ? static_cast<std::uint64_t>(megabytes) * 1048576ull : 0;
}

} // namespace

bool CImage::RecordFrame(const RecordedPicture& picture)
{
    const RecordingSettings recording = m_RecordingSettings.read(); // this frame's settings
    const bool request = m_Record.m_bRecordRequest.load() != 0;
    const bool open = m_Record.m_bAviOpen.load() != 0;

    if (request && open) {
        // Append.
        m_Recording.m_dwRecordNowTick = tickCount();
        const std::uint32_t elapsed = m_Recording.m_dwRecordNowTick - m_Recording.m_dwRecordStartTick;
        if (elapsed < 1) {
            trace("Record Total time < 1\n");
            return false;
        }
        // The nearest slot, not the one the time falls in: a steady camera's frames arrive on
        // the slot boundaries (every 100 ms is every third slot), where rounding down would move
        // a frame that is a millisecond early back a whole slot.
        m_Recording.m_nFrameSlot =
            static_cast<std::int32_t>((std::uint64_t(elapsed) * kRecordFrameRate + 500) / 1000);
        if (m_Recording.m_nFrameSlot > m_Recording.m_nLastFrameSlot && m_Recording.m_nFrameSlot > 0) {
            m_Recording.m_nLastFrameSlot = m_Recording.m_nFrameSlot;
            const PictureBytes bytes(picture);
            if (!bytes.ok()) {
                // The picture could not be encoded: this slot stays empty, the file goes on.
                trace("Record frame encode error\n");
                return true;
            }
            std::int64_t written = 0;
            if (m_Recording.m_AviWriter.AddFrame(bytes.data(), bytes.size(), &written,
                                                 m_Recording.m_nFrameSlot)) {
                m_Recording.m_nBytesWritten += written;
                // A folder that can no longer be asked counts as full: the host's storage check
                // decides what follows.
                const auto free = freeDiskBytes(m_Recording.m_szRecordFolder);
                if (!free || *free < reserveBytes(recording.m_nReservedSpace)) {
                    PostImageEvent(EVT_DISK_LOW);
                    return false;
                }
                bool split = false;
                if (m_Recording.m_nSplitModeAtOpen == FILE_SIZE) {
                    split = m_Recording.m_nBytesWritten >
                            static_cast<std::int64_t>(m_Recording.m_nSplitAmount) * 1048576 - 1;
                } else if (m_Recording.m_nSplitModeAtOpen == FILE_TIME) {
                    m_Recording.m_tRecordNow = wallNow();
                    split = static_cast<std::int64_t>(m_Recording.m_tRecordNow - m_Recording.m_tRecordStart) >
                            static_cast<std::int64_t>(m_Recording.m_nSplitAmount) * 60 - 1;
                }
                // Whatever the settings, every file stays a valid AVI 1.0 file.
                if (split || m_Recording.m_AviWriter.NearSizeLimit()) {
                    m_Recording.m_AviWriter.Close();
                    m_Record.m_bAviOpen.store(0);
                    m_Record.m_bRecordRequest.store(0);
                    m_Run.m_nStatus.store(STATUS_STREAMING);
                    PostImageEvent(EVT_RECORD_SPLIT);
                }
            } else {
                // A failed write (a full disk, say) ends this file, which stays a valid AVI file;
                // the host hears of it once. The request stands, so a later frame opens a new
                // file when it can, and that opening is reported as a new start (8).
                m_Recording.m_AviWriter.Close();
                m_Record.m_bAviOpen.store(0);
                m_Record.m_bRecordFirstStart.store(1);
                m_Record.m_nRecordAttempt.fetch_add(1);
                m_Run.m_nStatus.store(STATUS_RECORD_REQUESTED);
                trace("Add frame error\n");
                PostImageEvent(EVT_RECORD_STOPPED);
            }
        } else {
            trace("IP=%s Time=%f FrameCount=%d LastCount=%d\n", m_Connection.read().m_szRemoteHost.c_str(),
                  double(elapsed), m_Recording.m_nFrameSlot, m_Recording.m_nLastFrameSlot);
            trace("Record Total time error2");
        }
        return true;
    }

    if (request && !open && m_Record.m_bLockRecord.load() == 0) {
        // Open.
        m_Recording.m_tRecordStart = wallNow();
        m_Recording.m_dwRecordStartTick = tickCount();
        m_Recording.m_nSplitModeAtOpen = recording.m_nSplitFileMode;
        if (m_Recording.m_nSplitModeAtOpen == FILE_SIZE)
            m_Recording.m_nSplitAmount = recording.m_nSplitFileSpace;
        else if (m_Recording.m_nSplitModeAtOpen == FILE_TIME)
            m_Recording.m_nSplitAmount = recording.m_nSplitFileTime;

        // An empty or unusable folder, or one whose free space cannot be asked, is an open
        // failure (11) like any other: nothing is created and the next frame tries again.
        const std::filesystem::path folder(recording.m_szNormalFilePath.str());
        std::error_code ec;
        const auto free = folder.empty() ? std::nullopt : freeDiskBytes(folder);
        if (folder.empty() || !std::filesystem::is_directory(folder, ec) || !free) {
            trace("recording folder unusable: \"%s\"\n", recording.m_szNormalFilePath.c_str());
            m_Record.m_bAviOpen.store(0);
            PostOpenFailedOnce();
            sleepMs(kOpenPauseMs);
            return true;
        }
        // The first frame is needed at the opening: a picture that cannot be had opens nothing.
        const PictureBytes bytes(picture);
        if (!bytes.ok()) {
            trace("Record frame encode error\n");
            sleepMs(kOpenPauseMs);
            return true;
        }
        // Opening needs more free bytes than the reserve, and room for that first frame, so that
        // a full disk (with a reserve of 0) opens no file that could not hold a picture.
        if (*free <= reserveBytes(recording.m_nReservedSpace) + bytes.size()) {
            // Once per recording attempt: the host's storage check answers the first report,
            // and a report for every further frame would only repeat it.
            const std::int32_t attempt = m_Record.m_nRecordAttempt.load();
            if (m_Recording.m_nDiskLowAttempt != attempt) {
                m_Recording.m_nDiskLowAttempt = attempt;
                PostImageEvent(EVT_DISK_LOW);
            }
            sleepMs(kOpenPauseMs);
            return true;
        }

        // Never overwrite: a name already taken (a split within the same second) moves on to
        // the next second.
        std::filesystem::path file;
        for (int i = 0; i < kNameTries; ++i) {
            file = folder / recordingName(m_Recording.m_tRecordStart + i);
            if (!std::filesystem::exists(file, ec))
                break;
        }
        m_Recording.m_szRecordFolder = folder.string();
        m_Recording.m_AviWriter.SetFileName(file.string());
        m_Recording.m_nFrameSlot = 0;
        m_Recording.m_nLastFrameSlot = 0;
        m_Recording.m_nBytesWritten = 0;
        m_Recording.m_AviWriter.SetFrameRate(kRecordFrameRate);
        m_Recording.m_AviWriter.SetBitmapInfo(picture.header);

        int audioMode = 0;
        if (m_Connection.read().m_nProtocol == PROTOCOL_MULTIPART)
            audioMode = (m_Run.m_nPlayVideo.load() == 1 ? 1 : 0) + (m_Run.m_nPlayAudio.load() == 1 ? 2 : 0);
        int opened = 0;
        if (audioMode >= 2) {
            trace("audio init");
            opened = m_Recording.m_AviWriter.OpenVideoAudio(0, m_Audio.m_pWaveRender->format(), audioMode);
        } else {
            opened = m_Recording.m_AviWriter.OpenVideo(0);
        }
        if (opened) {
            // The file counts as open (Status 4, code 8) once it holds its first frame; a file
            // that could not take it holds nothing and is removed, and the request stands.
            std::int64_t written = 0;
            if (m_Recording.m_AviWriter.AddFrame(bytes.data(), bytes.size(), &written, 0)) {
                m_Recording.m_nBytesWritten += written;
                m_Run.m_nStatus.store(STATUS_RECORDING);
                m_Record.m_bAviOpen.store(1);
                m_Record.m_bOpenFailPosted.store(0);
                if (m_Record.m_bRecordFirstStart.exchange(0))
                    PostImageEvent(EVT_RECORD_STARTED);
            } else {
                m_Recording.m_AviWriter.Close();
                std::filesystem::remove(file, ec);
                trace("Add frame error2\n");
            }
        } else {
            m_Record.m_bAviOpen.store(0);
            PostOpenFailedOnce();
        }
        sleepMs(kOpenPauseMs);
        return true;
    }

    if (!request && open) {
        m_Recording.m_AviWriter.Close();
        m_Record.m_bAviOpen.store(0);
        m_Run.m_nStatus.store(STATUS_STREAMING);
        PostImageEvent(EVT_RECORD_STOPPED);
    }
    return true;
}

void CImage::PostOpenFailedOnce()
{
    // The request stands and every frame tries again; the host hears of the failure once per
    // attempt, not once per frame.
    if (m_Record.m_bOpenFailPosted.exchange(1) == 0)
        PostImageEvent(EVT_RECORD_OPEN_FAILED);
}

void CImage::CloseRecordingForSizeChange()
{
    if (m_Record.m_bAviOpen.exchange(0))
        m_Recording.m_AviWriter.Close();
}

} // namespace tessivor
