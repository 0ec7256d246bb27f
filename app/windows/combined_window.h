// The combined window: the live pictures of all four camera slots in one frameless, resizable
// window of 2 x 2 panes, pane n showing slot n. One pane is active: it belongs to the current
// camera `CurCam` and wears the red border of its pane frame (cam.skn).
//
// Each pane is a PictureSurface whose frame-target number the slot's control draws into from its
// own thread (a viewer-family slot, protocol 3, through its viewer). Every layout binds all four
// slots again. Closing the window unbinds every control and viewer that still holds one of its
// numbers, so nothing keeps drawing for a window that is gone.
//
// User-interface thread only.
#pragma once

#include "app/core/engine_ports.h"

#include <QRect>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QFrame;
class QListWidget;

namespace pellucor {

struct AppState;
class Engine;
class EventListBox;
class EventLog;
class PictureSurface;
class SkinForm;

struct CombinedServices
{
    AppState* state = nullptr;
    Engine* engine = nullptr;
    // A pane click is about to change the current camera from `from` to `to` (the control panel
    // stops its repeat timer and forgets the old camera's toggles). Nothing when not set.
    std::function<void(int from, int to)> currentCameraLeaving;
    // A pane click has set the current camera (the control panel refreshes). Nothing when not set.
    std::function<void()> currentCameraChanged;
    // Called after the window closed when none of the seven main windows is open any more.
    std::function<void()> lastWindowClosed;
    // Status lines, motion text and event list: the engine's event lists of the four cameras.
    // The event list shows nothing when not set.
    EventLog* log = nullptr;
};

// The pane rectangles of a client area W x H: half sizes rounded up, panes 1 to 4 row by row.
std::array<QRect, 4> combinedPaneLayout(int width, int height);

class CombinedWindow : public QWidget
{
    Q_OBJECT

public:
    // Form_Load.
    explicit CombinedWindow(CombinedServices services, QWidget* parent = nullptr);
    ~CombinedWindow() override;

    // Lays out the four panes and binds every slot to its pane (nothing while minimized).
    void Form_Resize();
    void Form_Activate();
    // Marks pane n active (border, caption).
    void PutActiveBorder(int n);
    // A click on pane `index` (1 to 4).
    void selectPane(int index);
    // Repaints pane `slot` from its target.
    void refreshPane(int slot);

    bool FirstActivate = true;

    PictureSurface& pane(int slot);
    SkinForm& paneFrame(int slot);
    SkinForm& skin() { return *m_skin; }
    QSize clientSize() const;
    DrawTarget paneTarget(int slot);

signals:
    // The window's close has run: its flags are cleared and its panes unbound.
    void unloaded();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadSkin();
    void layoutPanes();
    void bindPreviews();
    void unbindPanes();
    void Form_Unload();

    CombinedServices m_sv;
    bool m_unloaded = false;
    SkinForm* m_skin = nullptr;  // SkinForm1
    QWidget* m_client = nullptr; // the client area over the skin's "Client"
    std::array<QWidget*, 4> m_panes{};
    std::array<SkinForm*, 4> m_frames{};
    std::array<PictureSurface*, 4> m_pictures{};

    // Status lines, motion text and event list (combined_window_status.cpp)
public:
    // The window skin's "IPAddress", "Line" and "Recording" of camera n, and the password
    // edition's colour button.
    void RefrushStatusBar(int n);
    // "MOTION" in "MotionDetect", or nothing.
    void ShowMotionText(bool shown);
    // Before the current camera becomes n: a shown event list of another camera is hidden.
    void RefrushListCtl(int n);
    // Shows the current camera's event lines over the whole client area while EventListShown
    // is set, or hides them (the "Event" button flips the flag first).
    void ToggleEventList();
    // One new event's two lines, of any camera, while the list is shown.
    void addEventLines(const std::string& header, const std::string& message);
    bool EventListShown = false;
    QListWidget& eventList();
    bool eventListVisible() const;

private:
    void buildEventList();
    void ArrangeEventList();

    QFrame* m_frameList = nullptr;
    QListWidget* m_listEvent = nullptr;
    std::unique_ptr<EventListBox> m_events;
};

} // namespace pellucor
