#include "app/windows/view_windows.h"

#include "app/skin/picture_surface.h"
#include "app/windows/skin_buttons.h"
#include "app/windows/view_window_detail.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <exception>

namespace pellucor {

namespace {

bool validSlot(int slot)
{
    return slot >= 1 && slot <= 4;
}

} // namespace

ViewWindows::ViewWindows(ViewServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services))
{
    m_services.windowOfSlot = [this](int slot) -> QWidget* { return window(slot); };
}

ViewWindows::~ViewWindows()
{
    for (auto& w : m_windows)
        delete w.data();
}

ViewWindow* ViewWindows::window(int slot) const
{
    if (!validSlot(slot))
        return nullptr;
    return m_windows[static_cast<std::size_t>(slot - 1)].data();
}

ViewWindow& ViewWindows::ensure(int slot)
{
    if (ViewWindow* w = window(slot))
        return *w;
    auto& entry = m_windows[static_cast<std::size_t>(slot - 1)];
    auto* w = new ViewWindow(slot, m_services);
    entry = w;
    if (const auto& place = m_places[static_cast<std::size_t>(slot - 1)])
        w->move(*place);
    else
        placeFirstTime(slot, *w);
    // Once closed, the window goes (its close has unbound its picture); its place is kept for
    // the next window of the slot.
    connect(w, &ViewWindow::unloaded, this, [this, w](int s) {
        m_places[static_cast<std::size_t>(s - 1)] = w->pos();
        auto& e = m_windows[static_cast<std::size_t>(s - 1)];
        if (e == w)
            e = nullptr;
        w->deleteWhenIdle();
    });
    return *w;
}

// The first window of a slot: the four in two rows at the right of the screen, where the control
// panel (top left) does not cover them. A window made again opens where the last one closed (left
// there by the user, or by the end of combined mode). A window manager may still place it as it
// sees fit.
void ViewWindows::placeFirstTime(int slot, ViewWindow& w)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int width = std::max(w.width(), 340) + 8;
    const int height = std::max(w.height(), 280) + 8;
    const int column = (slot - 1) % 2;
    const int row = (slot - 1) / 2;
    const int x = std::max(area.left(), area.right() + 1 - (2 - column) * width);
    const int y = area.top() + row * height;
    w.move(x, y);
}

void ViewWindows::showView(int slot)
{
    if (!validSlot(slot))
        return;
    ViewWindow& w = ensure(slot);
    w.show();
    w.raise();
    w.activateWindow();
    // Showing a window activates it. Where the window system does not (no window manager, or
    // one that keeps the focus elsewhere), the activation steps run here, so that the window
    // draws and gets its size; a later real activation repeats only the refreshes.
    if (!w.isActiveWindow())
        w.Form_Activate();
}

void ViewWindows::unloadView(int slot)
{
    if (ViewWindow* w = window(slot))
        w->close();
}

bool ViewWindows::viewExists(int slot)
{
    return window(slot) != nullptr;
}

DrawTarget ViewWindows::viewPicture(int slot)
{
    if (!validSlot(slot))
        return {};
    ViewWindow& w = ensure(slot);
    const QSize c = w.clientSize();
    w.placePictureAtClient();
    return DrawTarget{w.pictureHandle(), w.pictureHandle(), c.width(), c.height()};
}

void ViewWindows::setViewFirstActivate(int slot, bool value)
{
    if (ViewWindow* w = window(slot))
        w->FirstActivate = value;
}

void ViewWindows::setViewColorCtlOn(int slot, bool value)
{
    if (ViewWindow* w = window(slot))
        w->ColorCtlOn = value;
}

void ViewWindows::viewFormResize(int slot)
{
    if (ViewWindow* w = window(slot))
        w->Form_Resize();
}

void ViewWindows::viewRefrushStatusBar(int slot)
{
    if (ViewWindow* w = window(slot))
        w->RefrushStatusBar();
}

void ViewWindows::viewRefreshPicture(int slot)
{
    if (ViewWindow* w = window(slot))
        w->refreshPicture();
}

void ViewWindows::viewShowColorCtl(int slot)
{
    if (ViewWindow* w = window(slot))
        w->ShowColorCtl_Fun();
}

void ViewWindows::viewShowMotionText(int slot, bool on)
{
    if (ViewWindow* w = window(slot))
        w->ShowMotionText(on);
}

void ViewWindows::viewRecordGrayBTN(int slot)
{
    if (ViewWindow* w = window(slot))
        w->RecordGrayBTN();
}

void ViewWindows::addToView(int slot, const std::string& header, const std::string& message)
{
    if (ViewWindow* w = window(slot))
        w->addEventLines(header, message);
}

void ViewWindows::placeView(int slot, int left, int top)
{
    if (validSlot(slot))
        ensure(slot).move(left, top);
}

void ViewWindows::viewFitWindow(int slot)
{
    if (ViewWindow* w = window(slot))
        w->pressFitWindow();
}

void ViewWindows::viewShowButton(int slot, int row, int image)
{
    ViewWindow* w = window(slot);
    if (!w)
        return;
    try {
        SkinButtons(*m_services.state, w->skin()).show(row, image);
    } catch (const std::exception&) {
        // A skin without the row's button: nothing to show.
    }
}

void ViewWindows::viewPinAgain(int slot)
{
    if (ViewWindow* w = window(slot))
        viewdetail::setTopMost(w, true);
}

} // namespace pellucor
