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
#include "app/windows/camera_actions.h"
#include "app/windows/skin_buttons.h"

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
class ColourPanel;
class Engine;
class EventListBox;
class EventLog;
class PictureSurface;
class SkinForm;
class SkinObject;
class WindowWaits;

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
    // The control panel's frame on screen, or an empty rectangle while it is not shown: the window
    // opens beside it. The screen's top-left corner when not set.
    std::function<QRect()> panelFrame;

    // ---- Colour controls and skin buttons ----
    // The colour panel's error message box. None shown when not set.
    MessageBoxes* messages = nullptr;
    // The snapshot's save dialog: the chosen file, or nothing on cancel. A Qt dialog when not set.
    SnapshotDialogRunner saveDialog;
    // A fixed wait of the window (milliseconds) while events run. A local event loop when not set.
    std::function<void(int ms)> pause;
    // The longest wait for the end of an image-settings read.
    int imageReadLimitMs = kImageReadLimitMs;
    // "WakeUp": shows the control panel, normal size, with the focus. Nothing when not set.
    std::function<void()> wakeUp;
    // ---- end of colour controls and skin buttons ----

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

    // ---- Colour controls and skin buttons (combined_window_buttons.cpp) ----
    // They act on the current camera c = CurCam: E = its Enable, R0 = no recording mode
    // (RecordMode 0), P = its Protocol.
public:
    // The colour panel of pane n (picImage with its bars and labels); only CurCam's is shown.
    ColourPanel& colourPanel(int slot);
    // Hides the colour panel before the control panel makes camera n current.
    void RefrushShowClrCtl(int n);
    // The "DRAVONETTC" edition shows the colour button only once camera n's password was checked.
    void RefrushClrCtlBtn(int n);
    // The images of "ColorCtl", "Event", "Snapshot", "Rotate", entry 9 and "Audio" for camera n.
    void RecordGrayBTN(int n);
    // The skin's events, also reached by tests as a user would reach them (button 1 is the left).
    void SkinForm1_MouseDown(SkinObject* object, int button);
    void SkinForm1_MouseUp(SkinObject* object, int button);
    void SkinForm1_MouseIn(SkinObject* object);
    void SkinForm1_MouseOut(SkinObject* object);
    void SkinForm1_ObjectClick(SkinObject* object);
    // Destroys the window once no wait of its own is running (the owner's end of a close).
    void deleteWhenIdle();

    bool ColorPanelShown = false;
    bool EventListShown = false;
    std::array<bool, 4> Updating{};
    // The seven image settings of each pane as last read (resolution, compression, frame rate,
    // brightness, contrast, hue, light frequency).
    std::array<ImageSettings, 4> ImgConfig{};

private:
    void buildColourControls();
    void placeColourPanels();
    void SetFormFont();
    void InitSkinButtons();
    // The hints of the buttons for camera n (none on "Audio" for a camera without sound).
    void RefreshProtocolButtons(int n);
    void ShowColorCtl();
    void colourChanged(int slot, int index, int value);
    void buttonFeedback(SkinObject* object, MouseStep step);

    std::unique_ptr<SkinButtons> m_buttons;
    std::unique_ptr<WindowWaits> m_waits;
    std::array<ColourPanel*, 4> m_colour{};
    // ---- end of colour controls and skin buttons ----

    // ---- Status lines, motion text and event list (combined_window_status.cpp) ----
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
    QListWidget& eventList();
    bool eventListVisible() const;

private:
    void buildEventList();
    void ArrangeEventList();

    QFrame* m_frameList = nullptr;
    QListWidget* m_listEvent = nullptr;
    std::unique_ptr<EventListBox> m_events;
    // ---- end of status lines, motion text and event list ----
};

} // namespace pellucor
