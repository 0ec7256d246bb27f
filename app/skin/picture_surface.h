// PictureSurface: the widget in which a camera picture appears.
//
// The surface owns a frame target (platform/frame_target.h) whose number it hands out (handle())
// for the control's preview window and device context. The control draws into the target from
// its own thread; each change wakes the UI thread through a wake event (never through Qt from the
// drawing thread), and the widget repaints from a snapshot of the target. The target follows the
// widget's size (a resize clears it to black until the next frame).
//
// When the widget is destroyed the number stops naming anything: a control or viewer that still
// holds it finds no target, and one that is drawing right then draws into a target that nobody
// shows any more. Neither can reach the widget.
//
// UI thread only, except what the frame target itself allows.
#pragma once

#include "platform/frame_target.h"

#include <QWidget>

#include <cstdint>
#include <memory>

namespace pellucor {

class WakeNotifier;

class PictureSurface : public QWidget
{
    Q_OBJECT

public:
    explicit PictureSurface(QWidget* parent = nullptr);
    ~PictureSurface() override;

    // The number of the frame target, for `PreviewhWnd` and `PreviewDC`.
    tessivor::Handle handle() const { return m_handle; }
    std::shared_ptr<tessivor::FrameTarget> target() const { return m_target; }

    // The target version that the last paint showed.
    std::uint64_t shownVersion() const { return m_shownVersion; }

signals:
    // The target changed and a repaint has been asked for.
    void pictureChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    tessivor::Handle m_handle = 0;
    std::shared_ptr<tessivor::FrameTarget> m_target;
    WakeNotifier* m_wake = nullptr;
    std::uint64_t m_shownVersion = 0;
};

} // namespace pellucor
