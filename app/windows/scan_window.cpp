#include "app/windows/scan_window.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"
#include "app/skin/picture_surface.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_object.h"
#include "app/windows/view_window_detail.h"
#include "app/windows/window_places.h"

#include <QApplication>
#include <QCloseEvent>

#include <exception>

namespace pellucor {

namespace {

constexpr std::size_t kScanOpen = 6;  // its WindowOpen entry
constexpr std::size_t kScanOnTop = 4; // its OnTopFlags entry

} // namespace

ScanWindow::ScanWindow(ScanServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_sv(std::move(services))
{
    setWindowIcon(QApplication::windowIcon());
    m_skin = new SkinForm(this);
    auto* client = new QWidget();
    client->setAttribute(Qt::WA_NoSystemBackground);
    client->installEventFilter(this);
    m_skin->hostWidget("Client", client);
    m_picture = new PictureSurface(client);
    m_buttons = std::make_unique<SkinButtons>(*m_sv.state, *m_skin);
    connectSkinEvents(m_skin, this);

    AppState& st = *m_sv.state;
    st.WindowOpen[kScanOpen] = true;
    FirstActivate = true;
    st.OnTopFlags.fill(false);
    const auto folder = st.paths.langDir();
    const auto skin = findFileIgnoreCase(folder, st.Language + "_2.skn");
    m_skin->SetSkinFile(QString::fromStdString((skin ? *skin : folder / (st.Language + "_2.skn")).string()));
    resize(m_skin->sizeHint());
    m_skin->setGeometry(rect());
}

ScanWindow::~ScanWindow() = default;

QSize ScanWindow::clientSize() const
{
    return m_picture->parentWidget()->size();
}

DrawTarget ScanWindow::target() const
{
    const QSize c = clientSize();
    return DrawTarget{m_picture->handle(), m_picture->handle(), c.width(), c.height()};
}

void ScanWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_unloaded)
        Form_Activate();
}

void ScanWindow::Form_Activate()
{
    if (!FirstActivate)
        return;
    const AppState& st = *m_sv.state;
    try {
        if (st.Language != "Dravonet") {
            m_skin->RootObject()
                .FindObject("ServerName")
                .SetText(QString::fromStdString(st.texts.ScanCaption));
        } else {
            const QString t =
                QString("%1 ").arg(st.ScanCam) + QString::fromStdString(st.cam(st.ScanCam).ServerName);
            setWindowTitle(t);
            m_skin->RootObject().FindObject("ServerName").SetText(t);
        }
    } catch (const std::exception&) {
    }
    FirstActivate = false;
    // A client area of 320 x 240 whatever the skin's design size.
    const QSize c = clientSize();
    const QSize size(320 + width() - c.width(), 240 + height() - c.height());
    resize(size);
    m_skin->setGeometry(QRect(QPoint(0, 0), size));
    // Every button's hint; the view windows' buttons that this window does not serve (entries 5
    // to 9 greyed, the sound button without sound) are shown disabled.
    try {
        m_buttons->showHints();
        for (int row = buttonrow::kColorCtl; row <= buttonrow::kZoom; ++row)
            m_buttons->show(row, kGreyed);
        m_buttons->show(buttonrow::kAudio, kAbsent);
    } catch (const std::exception&) {
    }
}

// ---- skin buttons ----

void ScanWindow::SkinForm1_MouseDown(SkinObject* o, int button)
{
    if (button == 1)
        buttonFeedback(o, MouseStep::Down);
}

void ScanWindow::SkinForm1_MouseUp(SkinObject* o, int button)
{
    if (button == 1)
        buttonFeedback(o, MouseStep::Up);
}

void ScanWindow::SkinForm1_MouseIn(SkinObject* o)
{
    buttonFeedback(o, MouseStep::In);
}

void ScanWindow::SkinForm1_MouseOut(SkinObject* o)
{
    buttonFeedback(o, MouseStep::Out);
}

void ScanWindow::buttonFeedback(SkinObject* o, MouseStep step)
{
    if (!o || m_unloaded)
        return;
    try {
        m_buttons->windowButtonFeedback(*o, m_buttons->rowOf(*o), step, isMaximized(),
                                        m_sv.state->OnTopFlags[kScanOnTop]);
    } catch (const std::exception&) {
    }
}

void ScanWindow::SkinForm1_ObjectClick(SkinObject* o)
{
    if (!o || m_unloaded)
        return;
    try {
        if (o->Name() == "WakeUp")
            m_buttons->wakeUp(*o, m_sv.wakeUp);
        else if (o->Name() == "OnTop")
            m_buttons->toggleOnTop(m_sv.state->OnTopFlags[kScanOnTop], this);
    } catch (const std::exception&) {
    }
}

void ScanWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_skin->setGeometry(rect());
}

bool ScanWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched == m_picture->parentWidget()) {
        m_picture->setGeometry(QRect(QPoint(0, 0), clientSize()));
        Form_Resize();
    }
    return QWidget::eventFilter(watched, event);
}

void ScanWindow::Form_Resize()
{
    if (m_unloaded)
        return;
    const QSize c = clientSize();
    for (int n = 1; n <= 4; ++n) {
        try {
            m_sv.engine->Cam(n).put(IntProp::PreviewWidth, c.width());
            m_sv.engine->Cam(n).put(IntProp::PreviewHeight, c.height());
        } catch (const std::exception&) {
        }
    }
}

void ScanWindow::RefrushStatusBar()
{
    const AppState& st = *m_sv.state;
    const CamInfo& c = st.cam(st.ScanCam);
    const bool plain = st.Language == "Dravonet" || st.Language == "DravonetS";
    const QString t =
        QString::number(st.ScanCam) + (plain ? " " : ".  ") + QString::fromStdString(c.ServerName);
    setWindowTitle(t);
    try {
        m_skin->RootObject().FindObject("IPAddress").SetText(QString::fromStdString(c.IPAddress));
        m_skin->RootObject().FindObject("ServerName").SetText(t);
    } catch (const std::exception&) {
    }
}

void ScanWindow::closeEvent(QCloseEvent* event)
{
    if (!m_unloaded)
        Form_Unload();
    event->accept();
}

void ScanWindow::Form_Unload()
{
    m_unloaded = true;
    hide();
    AppState& st = *m_sv.state;
    st.OnTopFlags[kScanOnTop] = false;
    // No control keeps the number of a picture that is about to go.
    for (int n = 1; n <= 4; ++n)
        viewdetail::unbindControl(m_sv.engine->Cam(n), m_picture->handle());
    m_sv.engine->setScanModeOn(false);
    st.WindowOpen[kScanOpen] = false;
    bool anyOpen = false;
    for (bool open : st.WindowOpen)
        anyOpen = anyOpen || open;
    if (anyOpen) {
        m_sv.engine->setCombineMode(0);
        m_sv.engine->tmrScan().setEnabled(false);
    }
    emit unloaded();
    if (!anyOpen && m_sv.lastWindowClosed)
        m_sv.lastWindowClosed();
}

// ---- the window set's side ----

ScanWindows::ScanWindows(ScanServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services))
{
}

ScanWindows::~ScanWindows()
{
    delete m_window.data();
}

ScanWindow& ScanWindows::ensure()
{
    if (m_window)
        return *m_window;
    auto* w = new ScanWindow(m_services);
    m_window = w;
    // Every load opens beside the control panel, where it leaves the panel's buttons free.
    const QRect panel = m_services.panelFrame ? m_services.panelFrame() : QRect();
    w->move(besidePanel(panel, w->frameGeometry().size(), screenAreaFor(panel)));
    connect(w, &ScanWindow::unloaded, this, [this, w] {
        if (m_window == w)
            m_window = nullptr;
        w->deleteLater();
    });
    return *w;
}

void ScanWindows::showScan()
{
    ScanWindow& w = ensure();
    w.show();
    w.raise();
    w.activateWindow();
    if (!w.isActiveWindow())
        w.Form_Activate();
}

void ScanWindows::unloadScan()
{
    if (m_window)
        m_window->close();
}

DrawTarget ScanWindows::scanTarget()
{
    return ensure().target();
}

void ScanWindows::scanRefresh()
{
    if (m_window)
        m_window->picture().update();
}

void ScanWindows::scanRefrushStatusBar()
{
    if (m_window)
        m_window->RefrushStatusBar();
}

} // namespace pellucor
