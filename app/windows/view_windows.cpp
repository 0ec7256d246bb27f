#include "app/windows/view_windows.h"

#include "app/skin/picture_surface.h"

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
    // Once closed, the window goes (its close has unbound its picture).
    connect(w, &ViewWindow::unloaded, this, [this, w](int s) {
        auto& e = m_windows[static_cast<std::size_t>(s - 1)];
        if (e == w)
            e = nullptr;
        w->deleteWhenIdle();
    });
    return *w;
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

} // namespace pellucor
