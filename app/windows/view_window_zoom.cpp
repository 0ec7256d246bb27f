// The view window's digital zoom and drag-to-pan: the zoom tools size the control's drawing and
// place the picture, the mouse drags a picture larger than the client area (zoom_model.h holds
// the arithmetic).
#include "app/windows/view_window.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"
#include "app/core/viewer_port.h"
#include "app/skin/picture_surface.h"
#include "app/skin/tool_set.h"
#include "app/windows/hand_cursor.h"
#include "app/windows/view_window_detail.h"

#include <QAction>
#include <QMouseEvent>

#include <exception>

namespace pellucor {

using namespace viewdetail;

namespace {

// The zoom of a Kestra viewer reads the picture size after this preparation call.
constexpr const char* kViewerSizeCommand = "SIZE";
constexpr std::int32_t kViewerSizeValue = 12;

int buttonMask(Qt::MouseButtons buttons)
{
    int code = 0;
    if (buttons & Qt::LeftButton)
        code |= 1;
    if (buttons & Qt::RightButton)
        code |= 2;
    if (buttons & Qt::MiddleButton)
        code |= 4;
    return code;
}

} // namespace

void ViewWindow::pressFitWindow()
{
    if (QAction* fit = m_toolBar->tool(fitWindowTool()))
        fit->setChecked(true);
    ApplyZoomTool(fitWindowTool(), 1);
}

void ViewWindow::ApplyZoomTool(const QString& id, int state)
{
    if (state == 0)
        return;
    try {
        const QSize c = clientSize();
        const double W = c.width(), H = c.height();
        const bool viewer = cam().Protocol == kProtocolKestra;
        CameraControl& ctl = control();
        if (id == fitWindowTool()) {
            ctl.put(IntProp::PreviewHeight, c.height());
            ctl.put(IntProp::PreviewWidth, c.width());
            m_zoom.place(
                {0, 0, double(ctl.get(IntProp::PreviewWidth)), double(ctl.get(IntProp::PreviewHeight))});
        } else if (const auto f = zoomFactor(id.toStdString())) {
            std::int32_t w0 = 0, h0 = 0;
            if (viewer) {
                CameraViewer& v = m_sv.engine->CamViewer1(m_slot);
                v.prepare(kViewerSizeCommand, kViewerSizeValue);
                h0 = v.imageHeight();
                w0 = v.imageWidth();
            } else {
                h0 = ctl.get(IntProp::ImageHeight);
                w0 = ctl.get(IntProp::ImageWidth);
            }
            ctl.put(IntProp::PreviewHeight, zoomedSide(h0, *f));
            ctl.put(IntProp::PreviewWidth, zoomedSide(w0, *f));
            m_zoom.centre(W, H, ctl.get(IntProp::PreviewWidth), ctl.get(IntProp::PreviewHeight));
        } else {
            return;
        }
        placePicture();
        if (viewer) {
            const PictureRect& r = m_zoom.picture();
            m_sv.engine->CamViewer1(m_slot).attachWindow(pictureHandle(), toI16(r.width), toI16(r.height));
        }
    } catch (const std::exception&) {
    }
}

void ViewWindow::setPictureCursor(PanCursor cursor)
{
    switch (cursor) {
    case PanCursor::Default:
        m_picture->unsetCursor();
        break;
    case PanCursor::Hand:
        m_picture->setCursor(handCursor());
        break;
    case PanCursor::SizeAll:
        m_picture->setCursor(Qt::SizeAllCursor);
        break;
    }
}

void ViewWindow::Picture1_MouseDown(int button, double x, double y)
{
    rePin();
    const QSize c = clientSize();
    const bool fit = fitWindowPressed();
    setPictureCursor(m_zoom.mouseDown(button, x, y, c.width(), c.height(), fit));
}

void ViewWindow::Picture1_MouseMove(int button, double x, double y)
{
    const QSize c = clientSize();
    const bool fit = fitWindowPressed();
    const PictureRect before = m_zoom.picture();
    setPictureCursor(m_zoom.mouseMove(button, x, y, c.width(), c.height(), fit));
    if (!(m_zoom.picture() == before))
        placePicture();
}

void ViewWindow::Picture1_MouseUp()
{
    setPictureCursor(m_zoom.mouseUp());
}

bool ViewWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_picture) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            Picture1_MouseDown(buttonMask(e->button()), e->position().x(), e->position().y());
            return true;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            Picture1_MouseMove(buttonMask(e->buttons()), e->position().x(), e->position().y());
            return true;
        }
        case QEvent::MouseButtonRelease:
            Picture1_MouseUp();
            return true;
        default:
            break;
        }
    } else if (watched == m_client && event->type() == QEvent::Resize && m_toolBar && !m_unloaded) {
        Form_Resize();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace pellucor
