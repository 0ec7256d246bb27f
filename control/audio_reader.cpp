// The camera's sound stream (Protocol 4 cameras): the same GET on one kept-alive connection again
// and again, each answer one AudioBlock, up to 16 requests in flight so that blocks come back to
// back. Runs on the audio thread until m_Run.m_bAudioStop; Stop closes m_Sockets.m_AudioSocket to end a wait.
#include "control/cimage.h"
#include "control/pipelined_reader.h"
#include "control/stream_requests.h"
#include "platform/clock.h"
#include "platform/trace.h"

#include <algorithm>
#include <utility>

namespace tessivor {

namespace {

constexpr PipelineRules kAudioRules{
    .sendSpacingMs = 100,        // least time between two requests, plus the extra delay
    .silenceReconnectMs = 15000, // no block played for this long: reconnect
    .waitSliceMs = 100,          // longest wait before the stop flag is looked at
    .receivePiece = 250,         // bytes per receive
    .restAfterFirstMs = 0,
    .waitEndsAtAnswerTimeout = false,
    .name = "audio stream",
};

} // namespace

int CImage::ReadAudioStream()
{
    // The settings of this pass; a put takes effect when the sound thread starts again.
    const ConnectionSettings conn = m_Connection.read();
    const StreamSettings streaming = m_StreamSettings.read();
    CWSClient& s = m_Sockets.m_AudioSocket;
    auto stopped = [this] { return m_Run.m_bAudioStop.load() == 1; };
    // Rests `ms`, looking at the stop flag every slice; false when a stop came.
    auto pause = [stopped](std::uint32_t ms) {
        for (std::uint32_t waited = 0; waited < ms; waited += kAudioRules.waitSliceMs) {
            if (stopped())
                return false;
            sleepMs(std::min(kAudioRules.waitSliceMs, ms - waited));
        }
        return !stopped();
    };
    // The thread routine then resets the path and clears m_Run.m_bAudioRunning.
    auto finish = [&] {
        s.CloseConnection();
        m_Audio.m_pWaveRender->close();
        trace("Stopaudio");
        return -1;
    };
    const auto multipartPause = [&streaming] {
        return static_cast<std::uint32_t>(std::max(0, streaming.m_nMultipartPause));
    };

    PipelinedReader::Hooks hooks;
    hooks.pause = pause;
    hooks.onHead = [this](const MjpegGatherer::Answer& a) {
        if (a.userData)
            m_Audio.m_szAudioUserData.update([&](FixedText<260>& text) { text.assign(*a.userData); });
    };
    hooks.onBody = [this, stopped](ByteView block, PipelinedReader& reader) {
        if (stopped())
            return PipelinedReader::BodyStep::Stop;
        switch (PlayAudioBlock(block)) {
        case AudioBlockResult::Played:
            reader.bodyShown();
            break;
        case AudioBlockResult::Dropped:
            break;
        case AudioBlockResult::EndPass:
            return PipelinedReader::BodyStep::EndPass; // the next block tries the output again
        }
        return PipelinedReader::BodyStep::GoOn;
    };
    PipelinedReader reader(s, kAudioRules, m_Run.m_bAudioStop, conn.m_nTimeOut, m_StreamInfo.m_n503Count,
                           std::move(hooks));

    while (true) {
        if (stopped())
            return finish();
        // The direct connection waits TimeOut seconds, the one through the proxy ConnTimeOut.
        const bool viaProxy = conn.proxyInUse();
        const int connected =
            viaProxy ? s.Connect(conn.m_nProxyPort, conn.m_szProxyHost.c_str(), conn.m_nConnTimeOut)
                     : s.Connect(conn.m_nRemotePort, conn.m_szRemoteHost.c_str(), conn.m_nTimeOut);
        switch (reader.afterConnect(connected, multipartPause())) {
        case PipelinedReader::Connect::Connected:
            break;
        case PipelinedReader::Connect::Retry:
            continue;
        case PipelinedReader::Connect::GiveUp:
            s.CloseConnection();
            return 0;
        case PipelinedReader::Connect::Stopped:
            return finish();
        }

        const std::string path = streaming.m_szMultipartAudioPath.str();
        const auto [fullUser, fullPassword] = credentials(CredentialText());
        const std::string user = fullUser.substr(0, 12);
        const std::string password = fullPassword.substr(0, 8);
        // The credential may be a token the camera issued, not a code made here: it is checked
        // like every other text that goes into the request.
        const std::string credential = Base64EncodeBuffer(user + ":" + password);
        if (!fitsInLine(path) || !fitsInLine(user) || !fitsInLine(credential) ||
            !fitsInLine(conn.m_szRemoteHost.view())) {
            trace("audio request refused: a field would break the request");
            s.CloseConnection();
            return 0;
        }
        const std::string request = keptAliveRequest(conn, path, user, credential);
        if (reader.run(request) == PipelinedReader::End::Stopped)
            return finish();

        s.CloseConnection();
        const bool goOn = pause(multipartPause());
        m_Audio.m_pWaveRender->close();
        s.ResetWinsock();
        if (!goOn)
            return finish();
    }
}

} // namespace tessivor
