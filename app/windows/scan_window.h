// The scan window: one picture area that the engine's scan timer hands from camera to camera
// (it binds the camera it shows to scanTarget()). Resizing the window sets the preview size of all
// four controls. Closing it ends scan mode (and combined mode) while another main window stays
// open, or the program when none does; it unbinds every control that still holds its number.
//
// User-interface thread only.
#pragma once

#include "app/core/engine_ports.h"
#include "app/windows/skin_buttons.h"
#include "app/windows/view_host.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>
#include <memory>

namespace pellucor {

struct AppState;
class Engine;
class PictureSurface;
class SkinForm;
class SkinObject;

struct ScanServices
{
    AppState* state = nullptr;
    Engine* engine = nullptr;
    // Called after the window closed when none of the seven main windows is open any more.
    std::function<void()> lastWindowClosed;
    // "WakeUp": shows the control panel, normal size, with the focus. Nothing when not set.
    std::function<void()> wakeUp;
    // The control panel's frame on screen, or an empty rectangle while it is not shown: the window
    // opens beside it. The screen's top-left corner when not set.
    std::function<QRect()> panelFrame;
};

class ScanWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ScanWindow(ScanServices services, QWidget* parent = nullptr);
    ~ScanWindow() override;

    void Form_Activate();
    void Form_Resize();
    void RefrushStatusBar();

    // The skin's events, also reached by tests as a user would reach them (button 1 is the left).
    // The window serves entries 0 to 4 of the button table ("OnTop" and "WakeUp" among them).
    void SkinForm1_MouseDown(SkinObject* object, int button);
    void SkinForm1_MouseUp(SkinObject* object, int button);
    void SkinForm1_MouseIn(SkinObject* object);
    void SkinForm1_MouseOut(SkinObject* object);
    void SkinForm1_ObjectClick(SkinObject* object);

    bool FirstActivate = true;
    PictureSurface& picture() { return *m_picture; }
    SkinForm& skin() { return *m_skin; }
    QSize clientSize() const;
    DrawTarget target() const;

signals:
    void unloaded();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Unload();
    void buttonFeedback(SkinObject* object, MouseStep step);

    ScanServices m_sv;
    std::unique_ptr<SkinButtons> m_buttons;
    bool m_unloaded = false;
    SkinForm* m_skin = nullptr;
    PictureSurface* m_picture = nullptr;
};

// The scan window as the engine's window set reaches it.
class ScanWindows : public QObject, public ScanHost
{
    Q_OBJECT

public:
    explicit ScanWindows(ScanServices services, QObject* parent = nullptr);
    ~ScanWindows() override;

    void showScan() override;
    void unloadScan() override;
    DrawTarget scanTarget() override;
    void scanRefresh() override;
    void scanRefrushStatusBar() override;

    ScanWindow* window() const { return m_window.data(); }

private:
    ScanWindow& ensure();

    ScanServices m_services;
    QPointer<ScanWindow> m_window;
};

} // namespace pellucor
