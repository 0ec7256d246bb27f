// The sound of Protocol 4 cameras: the PlayMode switches, RunAudio and its thread, and what
// happens to each sound block (play it, and
// record it while a recording with sound is open).
#include "control/audio_block.h"
#include "control/cimage.h"
#include "platform/handles.h"
#include "platform/trace.h"

#include <exception>

namespace tessivor {

HRESULT CImage::get_PlayMode(std::int32_t* pVal)
{
    *pVal = (m_Run.m_nPlayVideo.load() == 1 ? 1 : 0) | (m_Run.m_nPlayAudio.load() == 1 ? 2 : 0);
    return S_OK;
}

HRESULT CImage::put_PlayMode(std::int32_t newVal)
{
    // Switching off asks the thread concerned to end; switching on starts nothing by itself.
    switch (newVal) {
    case 0:
        m_Run.m_nPlayVideo.store(0);
        m_Run.m_nPlayAudio.store(0);
        m_Run.m_bEndRun.store(EndRun::StopRequested);
        m_Run.m_bAudioStop.store(1);
        break;
    case 1:
        m_Run.m_nPlayVideo.store(1);
        m_Run.m_nPlayAudio.store(0);
        m_Run.m_bAudioStop.store(1);
        break;
    case 2:
        m_Run.m_nPlayVideo.store(0);
        m_Run.m_nPlayAudio.store(1);
        m_Run.m_bEndRun.store(EndRun::StopRequested);
        break;
    case 3:
        m_Run.m_nPlayVideo.store(1);
        m_Run.m_nPlayAudio.store(1);
        break;
    default:
        break;
    }
    return S_OK;
}

HRESULT CImage::RunAudio(std::int32_t* RunThreadHandle)
{
    if (m_Run.m_nPlayAudio.load() != 1)
        return S_OK;
    // A thread that has not cleared its mark yet, or one still ending, counts as running.
    if (m_Run.m_bAudioRunning.load() != 0 || m_AudioThread.running()) {
        *RunThreadHandle = m_Run.m_hRunThread.load();
        Fire_GetImageEvent(EVT_ALREADY_RUNNING);
        return S_OK;
    }
    // The flags are set before the thread exists, so that it never sees a stale stop request.
    const std::int32_t previousStop = m_Run.m_bAudioStop.exchange(0);
    m_Run.m_bAudioRunning.store(1);
    if (!m_AudioThread.start("audio", [this] { AudioThread(); })) {
        m_Run.m_bAudioRunning.store(0);
        m_Run.m_bAudioStop.store(previousStop);
        Fire_GetImageEvent(EVT_THREAD_FAILED);
        *RunThreadHandle = 0;
        return S_OK;
    }
    m_StreamInfo.m_nShareSequence.store(0);
    Fire_GetImageEvent(EVT_THREAD_STARTED);
    m_Run.m_hRunThread.store(newHandle());
    *RunThreadHandle = m_Run.m_hRunThread.load();
    return S_OK;
}

void CImage::AudioThread()
{
    trace("Audio Thread Run!!");
    try {
        ReadAudioStream();
    } catch (const std::exception& e) {
        // The coder and renderer report impossible states by exceptions; none leaves the thread.
        trace("audio thread: %s", e.what());
    }
    try {
        m_Audio.m_pWaveRender->close();
    } catch (const std::exception& e) {
        trace("audio thread: %s", e.what());
    }
    m_StreamSettings.update(
        [](StreamSettings& streaming) { streaming.m_szMultipartAudioPath.assign("/goform/audio2"); });
    m_Run.m_bAudioRunning.store(0);
    trace("Audio Thread Stop!!");
}

CImage::AudioBlockResult CImage::PlayAudioBlock(std::span<const std::uint8_t> body)
{
    AudioBlock block;
    const AudioBlockStatus status = parseAudioBlock(body, &block);
    if (status != AudioBlockStatus::Ok) {
        trace("audio block dropped: %s", audioBlockStatusText(status));
        return AudioBlockResult::Dropped;
    }
    TWaveRender& render = *m_Audio.m_pWaveRender;
    int result = 0;
    try {
        render.setAdpcm(block.adpcm);
        render.setFormat(block.bitsPerSample, block.channels, block.samplesPerSec);
        render.setBuffers(render.bytesToMs(block.data.size()), 8);
        result = render.write(block.data.data(), block.data.size(), block.stepIndex, block.predictedSample);
    } catch (const std::exception& e) {
        trace("audio block dropped: %s", e.what());
        return AudioBlockResult::Dropped;
    }
    if (result != 0) {
        if (render.lastError() == TWaveRender::WAVE_TOO_LARGE) {
            trace("Buffer busy, audio packet drop");
            return AudioBlockResult::Dropped;
        }
        if (render.lastError() != TWaveRender::WAVE_OK)
            return AudioBlockResult::EndPass;
        // Every buffer was busy: the rest of the block is not played, but it was decoded and
        // still belongs in the recording.
    }

    // The recording takes the block as played: decoded PCM for ADPCM, the data as received
    // otherwise; only when its format is the recording's (a format change mid-file is not
    // written into a stream declared otherwise).
    if (m_Record.m_bRecordRequest.load() == 1 && m_Record.m_bAviOpen.load() == 1 &&
        m_Recording.m_AviWriter.HasAudio()) {
        const WaveFormat format = render.format();
        if (format == m_Recording.m_AviWriter.AudioFormat()) {
            const std::uint8_t* pcm = block.adpcm ? render.decodedData() : block.data.data();
            const std::size_t bytes = block.adpcm ? 4 * block.data.size() : block.data.size();
            --m_Audio.m_nAudioRecordStart;
            m_Recording.m_AviWriter.WriteAudio(m_Audio.m_nAudioRecordStart, pcm,
                                               static_cast<std::uint32_t>(bytes));
        }
    } else {
        m_Audio.m_nAudioRecordStart = 0;
    }
    return AudioBlockResult::Played;
}

} // namespace tessivor
