#include "app/windows/combined_window.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"
#include "app/core/viewer_port.h"
#include "app/skin/picture_surface.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_object.h"
#include "app/windows/status_texts.h"
#include "app/windows/view_window_detail.h"
#include "app/windows/window_waits.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMouseEvent>

#include <cmath>
#include <exception>

namespace pellucor {

using namespace viewdetail;

namespace {

constexpr std::size_t kCombinedOpen = 5; // its WindowOpen entry
constexpr std::size_t kCombinedOnTop = 5;
constexpr int kViewerInset = 6;

bool validSlot(int slot)
{
    return slot >= 1 && slot <= 4;
}

QString skinPath(const AppState& st, const std::string& name)
{
    const auto folder = st.paths.langDir();
    const auto found = findFileIgnoreCase(folder, name);
    return QString::fromStdString((found ? *found : folder / name).string());
}

} // namespace

std::array<QRect, 4> combinedPaneLayout(int width, int height)
{
    // (W + 0.5) / 2 rounded: W / 2 rounded up, so an odd width gives the right panes one pixel more
    // than fits.
    const int hw = static_cast<int>(std::lround((width + 0.5) / 2));
    const int hh = static_cast<int>(std::lround((height + 0.5) / 2));
    return {QRect(0, 0, hw, hh), QRect(hw, 0, hw, hh), QRect(0, hh, hw, hh), QRect(hw, hh, hw, hh)};
}

// ---- Form_Load ----

CombinedWindow::CombinedWindow(CombinedServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_sv(std::move(services))
{
    setWindowIcon(QApplication::windowIcon());
    m_skin = new SkinForm(this);
    m_client = new QWidget();
    m_client->setAttribute(Qt::WA_NoSystemBackground);
    m_client->installEventFilter(this);
    m_skin->hostWidget("Client", m_client);
    for (std::size_t k = 0; k < 4; ++k) {
        m_panes[k] = new QWidget(m_client);
        m_frames[k] = new SkinForm(m_panes[k]);
        m_pictures[k] = new PictureSurface();
        m_pictures[k]->installEventFilter(this);
        m_frames[k]->hostWidget("Client", m_pictures[k]);
        const int index = static_cast<int>(k) + 1;
        connect(m_frames[k], &SkinForm::ObjectClick, this, [this, index](SkinObject*) { selectPane(index); });
    }
    buildEventList();

    AppState& st = *m_sv.state;
    st.WindowOpen[kCombinedOpen] = true;
    setWindowTitle(QString());
    LoadSkin();
    buildColourControls();
    Form_Resize();
    for (int k = 1; k <= 4; ++k) {
        try {
            m_sv.engine->Cam(k).put(BoolProp::DrawImage, true);
        } catch (const std::exception&) {
        }
    }
    FirstActivate = true;
    st.OnTopFlags.fill(false);
}

CombinedWindow::~CombinedWindow() = default;

void CombinedWindow::LoadSkin()
{
    const AppState& st = *m_sv.state;
    m_skin->SetSkinFile(skinPath(st, st.Language + "_2.skn"));
    const QString cam = skinPath(st, "cam.skn");
    for (SkinForm* f : m_frames)
        f->SetSkinFile(cam);
    resize(m_skin->sizeHint());
    m_skin->setGeometry(rect());
}

PictureSurface& CombinedWindow::pane(int slot)
{
    return *m_pictures.at(static_cast<std::size_t>(slot - 1));
}

SkinForm& CombinedWindow::paneFrame(int slot)
{
    return *m_frames.at(static_cast<std::size_t>(slot - 1));
}

QSize CombinedWindow::clientSize() const
{
    return m_client->size();
}

// ---- activation ----

void CombinedWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_unloaded)
        Form_Activate();
}

void CombinedWindow::Form_Activate()
{
    if (FirstActivate) {
        SetFormFont();
        RefreshProtocolButtons(m_sv.state->CurCam);
        PutActiveBorder(m_sv.state->CurCam);
        FirstActivate = false;
    }
    InitSkinButtons();
    if (ColorPanelShown) {
        try {
            m_buttons->show(buttonrow::kColorCtl, kPressed);
        } catch (const std::exception&) {
        }
    }
}

void CombinedWindow::PutActiveBorder(int n)
{
    if (!validSlot(n))
        return;
    const AppState& st = *m_sv.state;
    const QString lang = QString::fromStdString(st.Language);
    const bool plainCaption = lang == "DravonetS" || lang == "Dravonet";
    const QString caption = plainCaption
                                ? QString::fromStdString(st.texts.CombineCaption)
                                : QString("%1.  ").arg(n) + QString::fromStdString(st.cam(n).ServerName);
    setWindowTitle(caption);
    try {
        m_skin->RootObject().FindObject("ServerName").SetText(caption);
    } catch (const std::exception&) {
    }
    for (int k = 1; k <= 4; ++k) {
        const QString colour = k == n ? QStringLiteral("BgColor 255 -") : QStringLiteral("BgColor 0 -");
        try {
            SkinObject& root = paneFrame(k).RootObject();
            for (const char* edge : {"Top", "Bottom", "Left", "Right"})
                root.FindObject(edge).SetBitmap(colour);
        } catch (const std::exception&) {
        }
        paneFrame(k).update();
    }
    RecordGrayBTN(n);
    RefreshProtocolButtons(n);
    RefrushClrCtlBtn(n);
    RefrushStatusBar(n);
    ShowMotionText(false);
}

void CombinedWindow::selectPane(int index)
{
    if (!validSlot(index) || m_unloaded)
        return;
    AppState& st = *m_sv.state;
    if (index != st.CurCam) {
        RefrushShowClrCtl(index); // the old pane's colour panel goes
        if (m_unloaded)
            return;
        st.CamConfOn = false;
        if (m_sv.currentCameraLeaving)
            m_sv.currentCameraLeaving(st.CurCam, index);
    }
    m_sv.engine->setCurrentCamera(index);
    PutActiveBorder(index);
    if (m_sv.currentCameraChanged)
        m_sv.currentCameraChanged();
}

bool CombinedWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched == m_client) {
        Form_Resize();
    } else if (event->type() == QEvent::MouseButtonPress) {
        for (std::size_t k = 0; k < 4; ++k)
            if (watched == m_pictures[k])
                selectPane(static_cast<int>(k) + 1);
    }
    return QWidget::eventFilter(watched, event);
}

// ---- layout and binding ----

void CombinedWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_skin->setGeometry(rect()); // the skin (and the client area over it) follows the window
}

void CombinedWindow::Form_Resize()
{
    if (isMinimized() || m_unloaded)
        return;
    layoutPanes();
    bindPreviews();
    ArrangeEventList();
}

void CombinedWindow::layoutPanes()
{
    const QSize c = clientSize();
    const auto rects = combinedPaneLayout(c.width(), c.height());
    for (std::size_t k = 0; k < 4; ++k) {
        m_panes[k]->setGeometry(rects[k]);
        m_frames[k]->setGeometry(0, 0, rects[k].width(), rects[k].height());
    }
    placeColourPanels();
}

DrawTarget CombinedWindow::paneTarget(int slot)
{
    if (!validSlot(slot))
        return {};
    const QWidget& p = *m_panes[static_cast<std::size_t>(slot - 1)];
    const std::int32_t h = pane(slot).handle();
    return DrawTarget{h, h, p.width(), p.height()};
}

void CombinedWindow::bindPreviews()
{
    for (int n = 1; n <= 4; ++n) {
        const DrawTarget t = paneTarget(n);
        try {
            if (m_sv.state->cam(n).Protocol != kProtocolKestra) {
                CameraControl& c = m_sv.engine->Cam(n);
                c.put(IntProp::PreviewhWnd, t.handle);
                c.put(IntProp::PreviewDC, t.dc);
                c.put(IntProp::PreviewWidth, t.width);
                c.put(IntProp::PreviewHeight, t.height);
            } else {
                m_sv.engine->CamViewer1(n).attachWindow(t.handle, toI16(t.width - kViewerInset),
                                                        toI16(t.height - kViewerInset));
            }
        } catch (const std::exception&) {
            // A control that refuses its pane shows nothing there; the other panes still bind.
        }
    }
}

void CombinedWindow::refreshPane(int slot)
{
    if (validSlot(slot))
        pane(slot).update();
}

// ---- Form_Unload ----

void CombinedWindow::closeEvent(QCloseEvent* event)
{
    if (!m_unloaded)
        Form_Unload();
    event->accept();
}

void CombinedWindow::unbindPanes()
{
    // Controls and viewers keep no number of a pane that is about to go: they draw into nothing
    // until another window binds them.
    for (int n = 1; n <= 4; ++n) {
        unbindControl(m_sv.engine->Cam(n), pane(n).handle());
        if (m_sv.state->cam(n).Protocol == kProtocolKestra)
            m_sv.engine->CamViewer1(n).setDrawingWindow(0);
    }
}

void CombinedWindow::Form_Unload()
{
    m_unloaded = true;
    hide();
    m_waits->hourglass(false);
    AppState& st = *m_sv.state;
    st.OnTopFlags[kCombinedOnTop] = false;
    unbindPanes();
    st.WindowOpen[kCombinedOpen] = false;
    bool anyOpen = false;
    for (bool open : st.WindowOpen)
        anyOpen = anyOpen || open;
    if (anyOpen && st.CombineMode == 1)
        m_sv.engine->setCombineMode(0);
    emit unloaded();
    if (!anyOpen && m_sv.lastWindowClosed)
        m_sv.lastWindowClosed();
}

} // namespace pellucor
