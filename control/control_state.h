// The control's working state, grouped by the threads that touch it.
//
// Words that another thread must see at once (stop requests, Status, busy marks, requests from
// the host) are atomics, each written whole; a request's data is written before its flag. The
// other groups belong to one worker thread and are not shared.
#pragma once

#include "camproto/kestra_packet.h"
#include "control/client_block.h"
#include "control/guarded.h"
#include "control/parameter_table.h"
#include "control/wave_render.h"
#include "imagelib/img_desc.h"
#include "io/ws_client.h"
#include "mail/image_mail_client.h"
#include "mail/mail_message.h"
#include "media/avi_writer.h"
#include "platform/fixed_text.h"
#include "platform/handles.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace tessivor {

// The stop word of the image loop and its readers. Only StopRequested means stop; the Protocol 4
// reader answers a stop with StopAcknowledged when it ends, and a firmware upload holds
// FirmwareUpload, which the image loop does not treat as a stop.
enum class EndRun : std::int32_t
{
    Run = 0,
    StopRequested = 1,
    StopAcknowledged = 2,
    FirmwareUpload = 5,
};

// Values of Status. A host may put any other number through PutNewStatus.
enum StatusCode : std::int32_t
{
    STATUS_STOPPED = 0,
    STATUS_STREAMING = 2,
    STATUS_RECORD_REQUESTED = 3,
    STATUS_RECORDING = 4,
};

// The stop word as one 32-bit atomic. Socket waits and the SMTP client poll the raw word (1 =
// stop), so it is kept as a plain word with named states around it.
class EndRunFlag
{
public:
    EndRun load() const { return static_cast<EndRun>(m_word.load()); }
    void store(EndRun state) { m_word.store(static_cast<std::int32_t>(state)); }
    EndRun exchange(EndRun state)
    {
        return static_cast<EndRun>(m_word.exchange(static_cast<std::int32_t>(state)));
    }
    // Stores `desired` only while the word holds `expected`; true when it did.
    bool compareExchange(EndRun expected, EndRun desired)
    {
        auto e = static_cast<std::int32_t>(expected);
        return m_word.compare_exchange_strong(e, static_cast<std::int32_t>(desired));
    }
    bool stopRequested() const { return load() == EndRun::StopRequested; }
    const std::atomic<std::int32_t>& word() const { return m_word; }

private:
    std::atomic<std::int32_t> m_word{static_cast<std::int32_t>(EndRun::Run)};
};

// Lifecycle words: written by the host's thread (Run, Stop, PutNewStatus, the busy starts) and
// by the workers as they start and end; read by all.
struct RunFlags
{
    std::atomic<std::int32_t> m_nStatus{STATUS_STOPPED}; // StatusCode, or what the host put
    EndRunFlag m_bEndRun;
    std::atomic<std::int32_t> m_bAudioStop{0};
    std::atomic<std::int32_t> m_bAudioRunning{0};
    std::atomic<std::int32_t> m_bImageConfigBusy{0};
    std::atomic<std::int32_t> m_bMailBusy{0};
    std::atomic<std::int32_t> m_bPanTiltBusy{0};
    std::atomic<std::int32_t> m_bMailIdle{1}; // no alert e-mail is on its way
    // The e-mail job's own stop request (the mail client aborts while it is set): raised by
    // CloseSMTP and the destructor, lowered when a job is started. The stream's stop word has
    // no say over an alert.
    std::atomic<std::int32_t> m_bMailStop{0};
    std::atomic<std::int32_t> m_hRunThread{0}; // token handed out by Run / RunAudio
    std::atomic<std::int32_t> m_bLoopEnded{0}; // the image loop has passed its last step
    std::atomic<std::int32_t> m_nFailedRounds{0};
    // PlayMode: the host switches them; the image loop and the sound thread end when theirs is off.
    std::atomic<std::int32_t> m_nPlayVideo{1};
    std::atomic<std::int32_t> m_nPlayAudio{1};
};

// Recording requests: the host's thread (StartRecording, StopRecording, LockRecord, Stop)
// writes them, the image thread acts on them and reports m_bAviOpen; the sound thread reads
// m_bAviOpen to record its blocks.
struct RecordFlags
{
    std::atomic<std::int32_t> m_bLockRecord{0};
    std::atomic<std::int32_t> m_bRecordRequest{0};
    std::atomic<std::int32_t> m_bRecordFirstStart{1};
    std::atomic<std::int32_t> m_bAviOpen{0};
    // Code 11 has been posted for this recording attempt: set with it, cleared by
    // StartRecording and by a file that opens.
    std::atomic<std::int32_t> m_bOpenFailPosted{0};
    // Counts recording attempts: StartRecording begins one, and so does a file that a failed
    // write closed. Reports that come once per attempt remember the attempt they were made in.
    std::atomic<std::int32_t> m_nRecordAttempt{0};
};

// Capture and Snapshot: the host's thread writes the file and size, then raises the flag; the
// image thread writes the picture, the result, and clears the flag.
struct CaptureRequest
{
    std::atomic<std::int32_t> m_bCaptureRequest{0};
    std::atomic<std::int32_t> m_nCaptureSize{0};
    FixedText<260> m_szCaptureFile;
    std::atomic<std::int32_t> m_nCaptureResult{0}; // last served request: -1 written, 0 not
};

// What the readers learn about the stream: written by the image thread (and the sound thread
// for the 503 count), read by the host's thread through the get members.
struct StreamInfo
{
    std::atomic<std::int32_t> m_nImageWidth{0};
    std::atomic<std::int32_t> m_nImageHeight{0};
    std::atomic<std::int32_t> m_nPTCoordinatesX{0};
    std::atomic<std::int32_t> m_nPTCoordinatesY{0};
    std::atomic<std::int32_t> m_nFrameCount{0};
    std::atomic<std::int32_t> m_nShareSequence{0};
    std::atomic<std::uint32_t> m_nFrameLength{0};
    std::atomic<std::int32_t> m_n503Count{0};
    std::atomic<std::int32_t> m_bFirstAnswer{1};
    std::atomic<std::int32_t> m_bMotionPrimed{0};
};

// The picture readers' buffers; image thread only.
struct StreamBuffers
{
    static constexpr std::size_t kFrameBufferSize = 300000;

    std::unique_ptr<std::uint8_t[]> m_FrameBuffer{new std::uint8_t[kFrameBufferSize]()};
    const std::uint8_t* m_pCgiFrame = nullptr;
    FixedText<260> m_szStreamTime;          // time of the last Protocol 4 frame
    FixedText<260> m_szStreamUserData;      // "Userdata:" of the last Protocol 4 answer
    std::vector<std::uint8_t> m_DecodedDib; // decodes of depths the image library has no image of
    ImgTempImage m_WorkingImage;            // the decoded frame, kept while its size and depth stay
    ImgTempImage m_PreviewImage;            // the frame at the preview size, kept likewise
};

// An open recording; image thread only (the sound thread adds its blocks to the writer while
// m_bAviOpen is set).
struct RecordingState
{
    CAviWriter m_AviWriter;
    std::int32_t m_nFrameSlot = 0;
    std::int32_t m_nLastFrameSlot = 0;
    std::int64_t m_nBytesWritten = 0;
    std::int32_t m_nSplitAmount = 0;
    std::int32_t m_nSplitModeAtOpen = FILE_SIZE;
    std::uint32_t m_dwRecordStartTick = 0; // ms ticks at the opening
    std::uint32_t m_dwRecordNowTick = 0;
    std::time_t m_tRecordStart = 0; // wall clock at the opening, seconds
    std::time_t m_tRecordNow = 0;
    std::string m_szRecordFolder;        // folder of the open file, whose free space is watched
    std::int32_t m_nDiskLowAttempt = -1; // the attempt whose opening has reported 14 already
};

// The motion detector's reference and hold-off; image thread only.
struct MotionState
{
    static constexpr std::size_t kMotionReferenceSize = 640 * 480 * 3;

    std::vector<std::uint8_t> m_MotionReference = std::vector<std::uint8_t>(kMotionReferenceSize, 0);
    std::int32_t m_bMotionEventHeld = 0;
    std::time_t m_tLastMotionEvent = 0;
    std::time_t m_tMotionNow = 0;
    int m_nMotionReferenceWidth = 0; // size of the picture in the reference
    int m_nMotionReferenceHeight = 0;
    int m_nMotionReferenceGrid = 0;                // the sampling grid whose cells the reference holds
    std::vector<std::uint8_t> m_MotionBandCompare; // per cell of a band: compare it
    std::vector<int> m_MotionBandCounts;           // per cell of a band: differing pixels
};

// The alert e-mail: the image thread keeps the interval times; the e-mail thread owns the client.
struct MailState
{
    std::time_t m_tLastMail = 0;
    std::time_t m_tMailNow = 0;
    // The SMTP client of every alert of this control; the job ties it to the stop word, so a
    // stop or the destructor ends a stalled dialogue.
    CImageMailClient m_MailClient;
    CMailMessage m_MailMessage;
};

// The sound thread's state.
struct AudioState
{
    static constexpr std::size_t kAudioBufferSize = 150000;

    std::vector<std::uint8_t> m_AudioBuffer = std::vector<std::uint8_t>(kAudioBufferSize, 0);
    std::unique_ptr<TWaveRender> m_pWaveRender = std::make_unique<TWaveRender>(); // opens at the first sound
    // The last "Userdata:" of the sound stream: written by the sound thread, read by any.
    Guarded<FixedText<260>> m_szAudioUserData;
    std::int32_t m_nAudioRecordStart = 0; // start position of the next recorded block
};

// The HTTP request engine's exchange area. The engine runs on its caller's thread (the host's
// for the CGI members, a worker's for the configuration reads); callers do not overlap their
// requests. The engine checks that rule: each request holds a Claim on the area while it runs.
struct HttpExchange
{
    // A request's hold on the area. A claim that finds the area held already breaks the rule: it
    // is counted in m_Overlaps and traced, and it leaves the other request's hold alone.
    class Claim
    {
    public:
        explicit Claim(HttpExchange& area);
        ~Claim();
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;
        bool overlapped() const { return m_overlapped; }

    private:
        HttpExchange& m_area;
        bool m_overlapped;
    };

    std::atomic<bool> m_InUse{false};
    std::atomic<std::uint32_t> m_Overlaps{0};

    static constexpr std::size_t kBodySize = 10000;
    static constexpr std::size_t kDevExtInfoSize = 512;

    std::atomic<std::int32_t> m_lErrCode{0};
    FixedText<260> m_szCgiPath{"/goform/serial"};
    std::vector<ParameterEntry> m_Parameters;
    std::array<ParameterEntry, kMaxParameterEntries> m_ParameterTable{};
    std::int32_t m_nParameterNum = 0;
    std::array<char, kBodySize> m_Body{};
    std::array<std::uint8_t, kDevExtInfoSize> m_DevExtInfo{};
};

// The sockets. The host's thread closes the stream, multipart and audio sockets (Stop,
// PutNewStatus) to end a reader's blocking wait; CWSClient makes that safe from any thread.
struct Sockets
{
    CWSClient m_StreamSocket;    // Protocols 0, 1, 2 and 50
    CWSClient m_AudioSocket;     // sound
    CWSClient m_MultipartSocket; // Protocol 4
    CWSClient m_SearchSocket;    // the UDP search
    CWSClient m_ConfigSocket;    // the image-settings reads
};

// Frame sharing: the host's thread switches it; the image thread fills the block.
struct FrameSharing
{
    std::atomic<std::int32_t> m_bEnableServer{0};
    std::shared_ptr<ClientBlock> m_ClientBlock = std::make_shared<ClientBlock>();
    Handle m_hClientBlock = 0; // the number ClientStructPoint hands out
};

// Device search and probe words: the sequence number of the discovery and configuration
// datagrams (every thread that sends one: the host's, the search and probe workers, the
// image-settings thread), and the search's progress words. The host's thread starts a search
// or a probe and sets the selection and the probe's keep-locality choice; the search workers
// report through the done words. The found list itself is in DiscoveryState
// (control/discovery_state.h).
struct SearchFlags
{
    std::atomic<std::uint16_t> m_nSequence{0};
    std::atomic<std::int32_t> m_bSearching{0};
    std::atomic<std::int32_t> m_bBroadcastSearchDone{0};
    std::atomic<std::int32_t> m_bMulticastSearchDone{0};
    std::atomic<std::int32_t> m_bQuietSearch{1};
    std::atomic<std::int32_t> m_nSelectedDevice{-2};
    std::atomic<std::int32_t> m_bKeepLocalCamera{1}; // ProbeDevice: leave LocalCamera as it is
};

// The last answer to the Kestra status command; the host's thread only (PT_Support writes it,
// Wireless_Support reads it).
struct KestraState
{
    camproto::KestraStatusBlock m_KestraStatus;
};

// The pan/tilt worker: PT_CMD (host's thread) stores the command and raises RunFlags'
// m_bPanTiltBusy; the worker clears it after it has posted its result.
struct PanTiltState
{
    std::atomic<std::int32_t> m_nPanTiltCmd{0};
};

// The firmware upload: UpdateFirmware (host's thread) stores the file and starts the worker, which
// writes the progress; the host reads it through UpdataP. m_bFirmwareStop is the destructor's
// stop request, which also cuts the fixed pauses after the upload short; the upload socket is
// closed from the host's thread to end a blocking send or wait.
struct FirmwareState
{
    FixedText<260> m_szFirmwareFile;
    std::atomic<double> m_dUpdataP{0.0};
    std::atomic<std::int32_t> m_bFirmwareStop{0};
    CWSClient m_FirmwareSocket;
};

} // namespace tessivor
