#include "app/windows/window_set.h"

#include "app/core/app_state.h"
#include "app/windows/control_panel.h"

#include <algorithm>

namespace pellucor {

void WindowSet::mainWindowClosed()
{
    if (m_shutDown ||
        std::any_of(m_state.WindowOpen.begin(), m_state.WindowOpen.end(), [](bool o) { return o; }))
        return;
    m_shutDown = true;
    if (m_shutdown)
        m_shutdown();
}

void WindowSet::showCombined()
{
    if (m_combined)
        m_combined->showCombined();
}

void WindowSet::combinedPutActiveBorder(int slot)
{
    if (m_combined && m_state.WindowOpen[5])
        m_combined->combinedPutActiveBorder(slot);
}

void WindowSet::combinedRefrushShowClrCtl(int slot)
{
    if (m_combined && m_state.WindowOpen[5])
        m_combined->combinedRefrushShowClrCtl(slot);
}

void WindowSet::combinedRefrushListCtl(int slot)
{
    if (m_combined && m_state.WindowOpen[5])
        m_combined->combinedRefrushListCtl(slot);
}

void WindowSet::combinedRefrushClrCtlBtn(int slot)
{
    if (m_combined && m_state.WindowOpen[5])
        m_combined->combinedRefrushClrCtlBtn(slot);
}

void WindowSet::combinedShowButton(int row, int image)
{
    if (m_combined && m_state.WindowOpen[5])
        m_combined->combinedShowButton(row, image);
}

void WindowSet::placeView(int slot, int left, int top)
{
    if (m_views)
        m_views->placeView(slot, left, top);
}

void WindowSet::viewFitWindow(int slot)
{
    if (m_views)
        m_views->viewFitWindow(slot);
}

void WindowSet::viewShowButton(int slot, int row, int image)
{
    if (m_views)
        m_views->viewShowButton(slot, row, image);
}

void WindowSet::viewPinAgain(int slot)
{
    if (m_views)
        m_views->viewPinAgain(slot);
}

void WindowSet::showController()
{
    if (m_panel)
        m_panel->showPanel();
}

void WindowSet::LedControl(int lamp, bool on)
{
    if (m_panel)
        m_panel->LedControl(lamp, on);
}

void WindowSet::RefreshPanelText()
{
    if (m_panel)
        m_panel->RefreshPanelText();
}

void WindowSet::showView(int slot)
{
    if (m_views)
        m_views->showView(slot);
}
void WindowSet::unloadView(int slot)
{
    if (m_views)
        m_views->unloadView(slot);
}
bool WindowSet::viewExists(int slot)
{
    return m_views && m_views->viewExists(slot);
}
DrawTarget WindowSet::viewPicture(int slot)
{
    return m_views ? m_views->viewPicture(slot) : DrawTarget{};
}
void WindowSet::setViewFirstActivate(int slot, bool value)
{
    if (m_views)
        m_views->setViewFirstActivate(slot, value);
}
void WindowSet::setViewColorCtlOn(int slot, bool value)
{
    if (m_views)
        m_views->setViewColorCtlOn(slot, value);
}
void WindowSet::viewFormResize(int slot)
{
    if (m_views)
        m_views->viewFormResize(slot);
}
void WindowSet::viewRefrushStatusBar(int slot)
{
    if (m_views)
        m_views->viewRefrushStatusBar(slot);
}
void WindowSet::viewRefreshPicture(int slot)
{
    if (m_views)
        m_views->viewRefreshPicture(slot);
}
void WindowSet::viewShowColorCtl(int slot)
{
    if (m_views)
        m_views->viewShowColorCtl(slot);
}
void WindowSet::viewShowMotionText(int slot, bool on)
{
    if (m_views)
        m_views->viewShowMotionText(slot, on);
}
void WindowSet::viewRecordGrayBTN(int slot)
{
    if (m_views)
        m_views->viewRecordGrayBTN(slot);
}

void WindowSet::unloadCombined()
{
    if (m_combined)
        m_combined->unloadCombined();
}
DrawTarget WindowSet::combinedPane(int slot)
{
    return m_combined ? m_combined->combinedPane(slot) : DrawTarget{};
}
void WindowSet::combinedFormResize()
{
    if (m_combined)
        m_combined->combinedFormResize();
}
void WindowSet::combinedRefreshPane(int slot)
{
    if (m_combined)
        m_combined->combinedRefreshPane(slot);
}
void WindowSet::combinedShowMotionText(bool on)
{
    if (m_combined)
        m_combined->combinedShowMotionText(on);
}
void WindowSet::combinedRecordGrayBTN(int slot)
{
    if (m_combined)
        m_combined->combinedRecordGrayBTN(slot);
}
void WindowSet::combinedRefrushStatusBar(int slot)
{
    if (m_combined)
        m_combined->combinedRefrushStatusBar(slot);
}

void WindowSet::showScan()
{
    if (m_scan)
        m_scan->showScan();
}
void WindowSet::unloadScan()
{
    if (m_scan)
        m_scan->unloadScan();
}
DrawTarget WindowSet::scanTarget()
{
    return m_scan ? m_scan->scanTarget() : DrawTarget{};
}
void WindowSet::scanRefresh()
{
    if (m_scan)
        m_scan->scanRefresh();
}
void WindowSet::scanRefrushStatusBar()
{
    if (m_scan)
        m_scan->scanRefrushStatusBar();
}

bool WindowSet::combinedEventListShown()
{
    return m_combined && m_combined->combinedEventListShown();
}

void WindowSet::addToCombined(const std::string& header, const std::string& message)
{
    if (m_combined)
        m_combined->addToCombined(header, message);
}

void WindowSet::addToView(int cam, const std::string& header, const std::string& message)
{
    if (m_views)
        m_views->addToView(cam, header, message);
}

} // namespace pellucor
