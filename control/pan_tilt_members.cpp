// PT_CMD: one pan/tilt command on a worker thread of its own, reported by EndPTCmd.
//
// "/pantiltcontrol.cgi" cameras (every Protocol but 3) get form POSTs, a move preceded by the
// swing stop; Kestra cameras (Protocol 3) get one or two GETs (camproto/pan_tilt.h). A command
// given while another runs is refused at once (pVal 0): the two would share the engine's
// exchange area and path.
#include "control/cimage.h"

#include "camproto/pan_tilt.h"

namespace tessivor {

HRESULT CImage::PT_CMD(std::int32_t CmdID, std::int32_t* pVal)
{
    if (m_Run.m_bPanTiltBusy.exchange(1) != 0) {
        *pVal = 0;
        return S_OK;
    }
    m_PanTilt.m_nPanTiltCmd.store(CmdID);
    m_Search.m_bQuietSearch.store(0);
    const bool started = m_PanTiltThread.start("pan-tilt", [this, CmdID] {
        const int result = PTCmdWorker(CmdID);
        // Free before the end event: a command sent on that event is not refused as busy.
        m_PanTiltThread.done();
        m_Run.m_bPanTiltBusy.store(0);
        postMessage(m_hWnd, WM_ENDPTCMD, static_cast<std::uintptr_t>(static_cast<std::uint32_t>(result)), 0);
    });
    if (!started) {
        m_Run.m_bPanTiltBusy.store(0);
        *pVal = 1;
        return S_OK;
    }
    *pVal = -1;
    return S_OK;
}

int CImage::PTCmdWorker(std::int32_t command)
{
    if (m_Connection.read().m_nProtocol == PROTOCOL_KESTRA) {
        if (camproto::isPanTiltSwing(command))
            return -1;
        int result = 0;
        // A diagonal sends both steps; the result is the last one's.
        for (const std::string& path : camproto::kestraPanTiltPaths(command)) {
            m_Http.m_szCgiPath.assign(path);
            result = HttpGet(0);
        }
        return result;
    }
    const std::string path(camproto::kPanTiltCgiPath);
    if (command != camproto::kPanTiltSwingOffCommand) {
        const int stopped = HttpPostCommand(path, camproto::kPanTiltSwingOff);
        if (stopped != -1)
            return stopped;
    }
    const auto body = camproto::panTiltPostBody(command);
    return body ? HttpPostCommand(path, *body) : 0;
}

} // namespace tessivor
