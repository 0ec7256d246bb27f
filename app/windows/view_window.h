// The camera view window: one camera slot's live picture in a skinned window, with its status
// line, its event lines, the colour panel (brightness, contrast, hue), snapshots, sound,
// rotation, keeping on top, and the digital zoom with drag-to-pan.
//
// One class serves the four slots; what differs by slot is in ViewSlotQuirks. The picture area
// (`Picture1`) is a PictureSurface whose frame-target number the slot's control draws into from
// its own thread; the window repaints from the target on the user-interface thread.
//
// Lifecycle: made (Form_Load) -> first activation (fonts, tool text, a 320 x 240 client area,
// button greying) -> later activations refresh hints and status texts -> closed (Form_Unload),
// after which the owner destroys it. Closing unbinds the picture from the control and the viewer,
// so nothing keeps drawing for a window that is gone.
//
// The colour panel reads the camera's settings on the control's worker and waits for its
// completion event; that wait and the fixed ones (2000 ms after a setting is sent, 1000 ms around
// a read) run a local event loop with the window's inputs off and the hourglass, so the window
// keeps painting and the rest of the program goes on; a window closed during such a wait ends its
// procedure there.
//
// Every handler catches its own errors (a skin object missing from the skin, a control call that
// fails): the one action ends quietly and the program goes on. User-interface thread only.
#pragma once

#include "app/core/camera_port.h"
#include "app/windows/camera_actions.h"
#include "app/windows/zoom_model.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QListWidget;
class QScrollBar;
class QFrame;

namespace pellucor {

struct AppState;
struct CamInfo;
class Engine;
class EventListBox;
class EventLog;
class ColourPanel;
class MessageBoxes;
class PictureSurface;
class SkinButtons;
class SkinForm;
class SkinObject;
class SkinToolBar;
class UiServices;
class WindowWaits;

// What a view window reaches outside itself. The state, engine and log must outlive the window.
struct ViewServices
{
    AppState* state = nullptr;
    Engine* engine = nullptr;
    EventLog* log = nullptr;
    MessageBoxes* messages = nullptr;
    UiServices* ui = nullptr;
    // The chosen file, or nothing when the user cancelled. A Qt save dialog when not set.
    SnapshotDialogRunner saveDialog;
    // A fixed wait of the window (milliseconds) while events run. A local event loop when not set.
    std::function<void(int ms)> pause;
    // The longest wait for the end of an image-settings read.
    int imageReadLimitMs = kImageReadLimitMs;
    // "WakeUp": shows the control panel, normal size, with the focus. Nothing when not set.
    std::function<void()> wakeUp;
    // The window of another slot (for the on-top walk); nullptr when it is not loaded.
    std::function<QWidget*(int slot)> windowOfSlot;
    // Called after a window closed when none of the seven main windows is open any more.
    std::function<void()> lastWindowClosed;
};

// The few behaviours that differ by slot.
struct ViewSlotQuirks
{
    // Slots 1 and 2 load the language's tool set; 3 and 4 keep the built-in tools.
    bool loadsToolSet = false;
    // Slot 1 refuses "Rotate" while scan mode is on.
    bool rotateRefusedInScan = false;
    // Slot 1 draws the colour panel (and lets events run) before its one-second pause.
    bool drawsPanelBeforePause = false;

    static ViewSlotQuirks of(int slot);
};

class ViewWindow : public QWidget
{
    Q_OBJECT

public:
    // Form_Load. `slot` is 1 to 4.
    ViewWindow(int slot, ViewServices services, QWidget* parent = nullptr);
    ~ViewWindow() override;

    int slot() const { return m_slot; }

    // Public procedures other windows call.
    void RefrushStatusBar();
    void ShowColorCtl_Fun();
    void ShowMotionText(bool motion);
    void RecordGrayBTN();
    void Form_Resize();
    // The engine's event lines of this camera, as they are logged.
    void addEventLines(const std::string& header, const std::string& message);
    // Repaints the picture area from its target.
    void refreshPicture();
    // Puts the picture area at the whole client area (the engine binds it so).
    void placePictureAtClient();
    // Destroys the window once no wait of its own is running (the owner's end of a close).
    void deleteWhenIdle();

    // Public variables other windows write.
    bool FirstActivate = true;
    bool ColorCtlOn = false;
    bool EventListOn = false;
    bool UpdatingColor = false;
    ImageSettings
        ImgConfig{}; // resolution, compression, frame rate, brightness, contrast, hue, light frequency

    // The picture area as the engine binds it: placed at the full client area first.
    PictureSurface& picture() { return *m_picture; }
    std::int32_t pictureHandle() const;
    QSize clientSize() const;
    const ZoomPanModel& zoom() const { return m_zoom; }
    SkinForm& skin() { return *m_skin; }
    SkinToolBar& toolBar() { return *m_toolBar; }
    QListWidget& eventList() { return *m_listEvent; }
    QScrollBar& colourBar(int index); // 0 brightness, 1 contrast, 2 hue
    QWidget& colourPanel();
    bool eventListShown() const;

    // The window's event handlers, also reached by tests as a user would reach them.
    void Form_Activate();
    void SkinForm1_ObjectClick(SkinObject* object);
    void SkinForm1_MouseDown(SkinObject* object, int button);
    void SkinForm1_MouseUp(SkinObject* object, int button);
    void SkinForm1_MouseIn(SkinObject* object);
    void SkinForm1_MouseOut(SkinObject* object);
    void ApplyZoomTool(const QString& id, int state);
    // "ID_FitWindow" pressed from outside (a camera newly assigned to the slot): the tool shows
    // pressed and the picture fills the client area.
    void pressFitWindow();
    // Mouse on the picture: button code (1 left, 2 right, 4 middle; on a move the buttons held)
    // and the position within the picture in pixels.
    void Picture1_MouseDown(int button, double x, double y);
    void Picture1_MouseMove(int button, double x, double y);
    void Picture1_MouseUp();

signals:
    // The window's close has run: its flags are cleared and its picture unbound.
    void unloaded(int slot);

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void LoadSkin();
    void ArrangeControls();
    void ResizePreview();
    void ToggleEventList();
    void FillEventList();
    void RefreshProtocolButtons();
    void SetFormFont();
    void ApplyImageConfig();
    void SaveSnapshot();
    void ToggleOnTop();
    void Form_Unload();
    void colourChanged(int index, int value);
    void hoverFeedback(SkinObject* object, bool in);
    void placePicture();
    void setPictureCursor(PanCursor cursor);
    void rePin();
    void unbindPicture();

    // Skin objects by name (throws SkinError when missing).
    SkinObject& object(const QString& name);

    CamInfo& cam() const;
    CameraControl& control() const;
    bool recordingModeOn() const;
    bool fitWindowPressed() const;

    int m_slot;
    ViewSlotQuirks m_quirks;
    ViewServices m_sv;
    bool m_unloaded = false;

    SkinForm* m_skin = nullptr;  // SkinForm1
    QWidget* m_client = nullptr; // the client area over the skin's "Client"
    PictureSurface* m_picture = nullptr;
    ColourPanel* m_colour = nullptr; // picImage with its bars and labels
    QFrame* m_frameList = nullptr;
    QListWidget* m_listEvent = nullptr;
    SkinToolBar* m_toolBar = nullptr;
    std::unique_ptr<EventListBox> m_events;
    std::unique_ptr<SkinButtons> m_buttons;
    std::unique_ptr<WindowWaits> m_waits;
    ZoomPanModel m_zoom;
};

} // namespace pellucor
