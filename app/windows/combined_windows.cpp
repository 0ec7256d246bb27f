#include "app/windows/combined_windows.h"

#include "app/core/app_state.h"
#include "app/windows/skin_buttons.h"
#include "app/windows/window_places.h"

#include <exception>

namespace pellucor {

CombinedWindows::CombinedWindows(CombinedServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services))
{
}

CombinedWindows::~CombinedWindows()
{
    delete m_window.data();
}

CombinedWindow& CombinedWindows::ensure()
{
    if (m_window)
        return *m_window;
    auto* w = new CombinedWindow(m_services);
    m_window = w;
    // Every load opens beside the control panel, where it leaves the panel's buttons free.
    const QRect panel = m_services.panelFrame ? m_services.panelFrame() : QRect();
    w->move(besidePanel(panel, w->frameGeometry().size(), screenAreaFor(panel)));
    connect(w, &CombinedWindow::unloaded, this, [this, w] {
        if (m_window == w)
            m_window = nullptr;
        w->deleteWhenIdle();
    });
    return *w;
}

void CombinedWindows::showCombined()
{
    CombinedWindow& w = ensure();
    w.show();
    w.raise();
    w.activateWindow();
    // Where the window system does not activate it, the first activation's steps run here.
    if (!w.isActiveWindow())
        w.Form_Activate();
}

void CombinedWindows::unloadCombined()
{
    if (m_window)
        m_window->close();
}

DrawTarget CombinedWindows::combinedPane(int slot)
{
    return ensure().paneTarget(slot);
}

void CombinedWindows::combinedFormResize()
{
    if (m_window)
        m_window->Form_Resize();
}

void CombinedWindows::combinedRefreshPane(int slot)
{
    if (m_window)
        m_window->refreshPane(slot);
}

// The window's buttons show the current camera: a recording change of another camera leaves them
// as they are.
void CombinedWindows::combinedRecordGrayBTN(int slot)
{
    if (m_window && slot == m_services.state->CurCam)
        m_window->RecordGrayBTN(slot);
}

void CombinedWindows::combinedShowMotionText(bool on)
{
    if (m_window)
        m_window->ShowMotionText(on);
}

void CombinedWindows::combinedRefrushStatusBar(int slot)
{
    if (m_window)
        m_window->RefrushStatusBar(slot);
}

void CombinedWindows::combinedPutActiveBorder(int slot)
{
    if (m_window)
        m_window->PutActiveBorder(slot);
}

void CombinedWindows::combinedRefrushShowClrCtl(int slot)
{
    if (m_window)
        m_window->RefrushShowClrCtl(slot);
}

void CombinedWindows::combinedRefrushListCtl(int slot)
{
    if (m_window)
        m_window->RefrushListCtl(slot);
}

void CombinedWindows::combinedRefrushClrCtlBtn(int slot)
{
    if (m_window)
        m_window->RefrushClrCtlBtn(slot);
}

bool CombinedWindows::combinedEventListShown()
{
    return m_window && m_window->EventListShown;
}

void CombinedWindows::addToCombined(const std::string& header, const std::string& message)
{
    if (m_window)
        m_window->addEventLines(header, message);
}

void CombinedWindows::combinedShowButton(int row, int image)
{
    if (!m_window)
        return;
    try {
        SkinButtons(*m_services.state, m_window->skin()).show(row, image);
    } catch (const std::exception&) {
        // A skin without the row's button: nothing to show.
    }
}

} // namespace pellucor
