// The four view windows as the engine's window set reaches them: each call goes to the window of
// the slot, and a window that does not exist yet is made where the call needs one (showing it,
// or handing out its picture). A closed window is destroyed once its close has run; the next
// call that needs it makes it again.
//
// User-interface thread only.
#pragma once

#include "app/windows/view_host.h"
#include "app/windows/view_window.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <optional>

namespace pellucor {

class ViewWindows : public QObject, public ViewHost
{
    Q_OBJECT

public:
    // `services` is handed to every window made; its windowOfSlot is set here.
    explicit ViewWindows(ViewServices services, QObject* parent = nullptr);
    ~ViewWindows() override;

    void showView(int slot) override;
    void unloadView(int slot) override;
    bool viewExists(int slot) override;
    DrawTarget viewPicture(int slot) override;
    void setViewFirstActivate(int slot, bool value) override;
    void setViewColorCtlOn(int slot, bool value) override;
    void viewFormResize(int slot) override;
    void viewRefrushStatusBar(int slot) override;
    void viewRefreshPicture(int slot) override;
    void viewShowColorCtl(int slot) override;
    void viewShowMotionText(int slot, bool on) override;
    void viewRecordGrayBTN(int slot) override;

    // One event's two lines for the open window of camera `slot` (the event log's view side).
    void addToView(int slot, const std::string& header, const std::string& message) override;

    void placeView(int slot, int left, int top) override;
    void viewFitWindow(int slot) override;
    void viewShowButton(int slot, int row, int image) override;
    void viewPinAgain(int slot) override;

    // The window of a slot, or nullptr when it does not exist (or slot is not 1 to 4).
    ViewWindow* window(int slot) const;

private:
    ViewWindow& ensure(int slot);

    ViewServices m_services;
    void placeFirstTime(int slot, ViewWindow& w);

    std::array<QPointer<ViewWindow>, 4> m_windows;
    // Where each slot's window was when it closed: a window made again opens there.
    std::array<std::optional<QPoint>, 4> m_places;
};

} // namespace pellucor
