// Scan mode: the enabled cameras shown one after another in the scan window. Nothing is
// stopped: only the drawing targets move and drawing is switched on and off.
#include "app/core/engine.h"

namespace pellucor {

void Engine::ScanMode()
{
    try {
        for (int n = 1; n <= kCameraCount; ++n)
            Cam(n).put(BoolProp::DrawImage, false);
        for (int n = 1; n <= kCameraCount; ++n)
            if (m_state.WindowOpen[static_cast<std::size_t>(n)])
                m_sv.windows->unloadView(n);
        if (m_state.WindowOpen[5])
            m_sv.windows->unloadCombined();
        m_sv.windows->showScan();
        m_state.ScanCam = 1;
        for (int n = kCameraCount; n >= 1; --n)
            if (m_state.cam(n).Enable)
                m_state.ScanCam = n;
        DoScanMode(m_state.ScanCam);
        m_tmrScan->setInterval((m_state.settings.ScanDelay + 1) * 1000);
        m_tmrScan->setEnabled(true);
    } catch (const std::exception&) {
        m_sv.messages->show("Error Scan Mode");
    }
}

void Engine::DoScanMode(int n)
{
    try {
        const DrawTarget scan = m_sv.windows->scanTarget();
        for (int k = 1; k <= kCameraCount; ++k) {
            if (m_state.cam(k).Protocol == kProtocolKestra) {
                CamViewer1(k).attachWindow(m_hiddenPicture, 1, 1);
            } else {
                Cam(k).put(BoolProp::DrawImage, false);
                Cam(k).put(IntProp::PreviewhWnd, m_hiddenPicture);
            }
        }
        if (!m_state.WindowOpen[6])
            return;
        if (m_state.cam(n).Protocol == kProtocolKestra) {
            CamViewer1(n).attachWindow(scan.handle, static_cast<std::int16_t>(scan.width),
                                       static_cast<std::int16_t>(scan.height));
        } else {
            Cam(n).put(IntProp::PreviewhWnd, scan.handle);
            Cam(n).put(IntProp::PreviewDC, scan.dc);
            Cam(n).put(IntProp::PreviewWidth, scan.width);
            Cam(n).put(IntProp::PreviewHeight, scan.height);
        }
        Cam(n).put(BoolProp::DrawImage, true);
        m_sv.windows->scanRefrushStatusBar();
    } catch (const std::exception&) {
        m_sv.messages->show("Error DoScanMode function");
    }
}

void Engine::tmrScan_Timer()
{
    int candidate = m_state.ScanCam;
    for (int tries = 0; tries < kCameraCount; ++tries) {
        candidate = candidate % kCameraCount + 1;
        if (m_state.cam(candidate).Enable) {
            m_state.ScanCam = candidate;
            m_sv.windows->scanRefresh();
            DoScanMode(candidate);
            return;
        }
    }
    if (m_state.WindowOpen[6])
        m_sv.windows->scanRefrushStatusBar();
}

void Engine::ScanModeToNormalMode()
{
    try {
        m_tmrScan->setEnabled(false);
        m_sv.windows->unloadScan();
        for (int n = 1; n <= kCameraCount; ++n) {
            Cam(n).put(BoolProp::DrawImage, false);
            if (!m_state.cam(n).Enable)
                continue;
            // Showing loads the window again; its picture then takes the control.
            m_sv.windows->showView(n);
            const DrawTarget view = m_sv.windows->viewPicture(n);
            Cam(n).put(IntProp::PreviewhWnd, view.handle);
            Cam(n).put(IntProp::PreviewDC, view.dc);
            Cam(n).put(IntProp::PreviewWidth, view.width);
            Cam(n).put(IntProp::PreviewHeight, view.height);
        }
        if (m_state.WindowOpen[0])
            m_sv.windows->RefreshPanelText();
    } catch (const std::exception&) {
        m_sv.messages->show("Error ScanModeToNormalMode function");
    }
}

void Engine::ScanModeToCombineMode()
{
    try {
        m_tmrScan->setEnabled(false);
        m_sv.windows->unloadScan();
        for (int n = 1; n <= kCameraCount; ++n)
            Cam(n).put(BoolProp::DrawImage, false);
    } catch (const std::exception&) {
        m_sv.messages->show("Error ScanModeToCombineMode function");
    }
}

} // namespace pellucor
