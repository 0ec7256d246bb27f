// The view window's lifecycle, layout, status line and event list, and its close. The skin
// buttons, colour panel and snapshot are in view_window_buttons.cpp; the zoom and drag-to-pan in
// view_window_zoom.cpp.
#include "app/windows/view_window.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"
#include "app/core/event_log.h"
#include "app/core/viewer_port.h"
#include "app/skin/picture_surface.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_object.h"
#include "app/skin/tool_set.h"
#include "app/windows/colour_panel.h"
#include "app/windows/skin_buttons.h"
#include "app/windows/status_texts.h"
#include "app/windows/view_window_detail.h"
#include "app/windows/window_waits.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QListWidget>

#include <algorithm>
#include <exception>

namespace pellucor {

using namespace viewdetail;

namespace viewdetail {

bool isTcEdition(const std::string& language)
{
    return QString::fromStdString(language).toUpper() == "DRAVONETTC";
}

std::int16_t toI16(double v)
{
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(roundHalfEven(v), INT16_MIN, INT16_MAX));
}

QString fitWindowTool()
{
    return QString::fromLatin1(kFitWindowTool.data(), static_cast<qsizetype>(kFitWindowTool.size()));
}

void unbindControl(CameraControl& control, std::int32_t handle)
{
    try {
        if (control.get(IntProp::PreviewhWnd) == handle) {
            control.put(IntProp::PreviewhWnd, 0);
            control.put(IntProp::PreviewDC, 0);
        }
    } catch (const std::exception&) {
    }
}

QFont programFont(const UiSettings& ui)
{
    QFont font(QString::fromStdString(ui.FontName));
    font.setPointSizeF(ui.FontSize > 0 ? ui.FontSize : 9);
    if (ui.FontWeight > 0)
        font.setWeight(QFont::Weight(std::clamp(ui.FontWeight / 100 * 100, 100, 900)));
    font.setUnderline(false);
    font.setItalic(false);
    font.setStrikeOut(false);
    return font;
}

void setTopMost(QWidget* window, bool on)
{
    if (!window)
        return;
    const bool pinned = window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    if (pinned != on) {
        const bool shown = window->isVisible();
        window->setWindowFlag(Qt::WindowStaysOnTopHint, on); // hides the window
        if (shown)
            window->show();
    }
    if (on)
        window->raise();
}

} // namespace viewdetail

ViewSlotQuirks ViewSlotQuirks::of(int slot)
{
    ViewSlotQuirks q;
    q.loadsToolSet = slot == 1 || slot == 2;
    q.rotateRefusedInScan = slot == 1;
    q.drawsPanelBeforePause = slot == 1;
    return q;
}

// ---- Form_Load ----

ViewWindow::ViewWindow(int slot, ViewServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_slot(slot), m_quirks(ViewSlotQuirks::of(slot)),
      m_sv(std::move(services))
{
    buildControls();
    setWindowTitle(QString("Cam%1").arg(m_slot));
    setWindowIcon(QApplication::windowIcon()); // the program's icon

    AppState& st = *m_sv.state;
    st.WindowOpen[static_cast<std::size_t>(m_slot)] = true;
    ResizePreview();
    ArrangeControls();
    try {
        control().put(IntProp::PreviewhWnd, pictureHandle());
        control().put(IntProp::PreviewDC, pictureHandle());
    } catch (const std::exception&) {
        // The control refused its target: the window shows no picture, and says so nowhere else.
    }
    FirstActivate = true;
    st.OnTopFlags[static_cast<std::size_t>(m_slot - 1)] = false;
    ColorCtlOn = false;
    EventListOn = false;
    UpdatingColor = false;
    LoadSkin();
    FillEventList();
    RefrushStatusBar();
    m_colour->setCaptions(st.texts.ColorCaption);
    if (m_quirks.loadsToolSet) {
        if (auto atb = findFileIgnoreCase(st.paths.langDir(), st.Language + ".atb"))
            m_toolBar->LoadToolSet(QString::fromStdString(atb->string()));
    }
}

ViewWindow::~ViewWindow() = default;

void ViewWindow::deleteWhenIdle()
{
    m_waits->deleteWindowWhenIdle();
}

void ViewWindow::buildControls()
{
    m_skin = new SkinForm(this);
    m_client = new QWidget();
    m_client->setAttribute(Qt::WA_NoSystemBackground);
    m_client->installEventFilter(this);
    m_skin->hostWidget("Client", m_client);

    m_picture = new PictureSurface(m_client);
    m_picture->setMouseTracking(true);
    m_picture->installEventFilter(this);

    m_colour = new ColourPanel(ColourPanel::ValueText::Plain, m_client);
    connect(m_colour, &ColourPanel::barChanged, this, [this](int i, int value) { colourChanged(i, value); });
    m_colour->hide();
    m_buttons = std::make_unique<SkinButtons>(*m_sv.state, *m_skin);
    m_waits = std::make_unique<WindowWaits>(this, m_sv.pause);

    m_frameList = new QFrame(m_client);
    m_listEvent = new QListWidget(m_frameList);
    m_events = std::make_unique<EventListBox>(*m_listEvent);
    m_frameList->hide();

    m_toolBar = new SkinToolBar(this);
    m_toolBar->hide(); // only its zoom menu pops up
    connect(m_toolBar, &SkinToolBar::ToolClick, this,
            [this](const QString& id, int state) { ApplyZoomTool(id, state); });

    connectSkinEvents(m_skin, this);
}

void ViewWindow::LoadSkin()
{
    const AppState& st = *m_sv.state;
    const auto folder = st.paths.langDir();
    const auto skin = findFileIgnoreCase(folder, st.Language + "_2.skn");
    m_skin->SetSkinFile(QString::fromStdString((skin ? *skin : folder / (st.Language + "_2.skn")).string()));
    const auto bar = findFileIgnoreCase(folder, "Bar.skn");
    m_colour->LoadSkin(QString::fromStdString((bar ? *bar : folder / "Bar.skn").string()));
    resize(m_skin->sizeHint());
    m_skin->setGeometry(rect());
}

void ViewWindow::FillEventList()
{
    const auto& lines = m_sv.log->lines(m_slot);
    if (lines.empty())
        return;
    m_events->fill(lines);
    m_listEvent->setCurrentRow(m_listEvent->count() - 2); // the header of the last event
}

void ViewWindow::addEventLines(const std::string& header, const std::string& message)
{
    m_events->add(header, message);
    m_events->selectLastLine(); // the newest line comes into sight
}

// ---- activation, layout, status ----

void ViewWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_unloaded)
        Form_Activate();
}

void ViewWindow::Form_Activate()
{
    try {
        control().put(BoolProp::DrawImage, true);
    } catch (const std::exception&) {
    }
    if (FirstActivate) {
        SetFormFont();
        m_toolBar->setFont(programFont(m_sv.state->ui));
        // Without the pack's text the tool keeps its built-in one.
        if (const std::string& fit = m_sv.state->texts.PopupText[2]; !fit.empty())
            m_toolBar->SetToolText(fitWindowTool(), QString::fromStdString(fit));
        // A client area of 320 x 240 whatever the skin's design size.
        const QSize client = clientSize();
        const int bw = width() - client.width();
        const int bh = height() - client.height();
        resize(320 + bw, 240 + bh);
        m_skin->setGeometry(0, 0, 320 + bw, 240 + bh);
        Form_Resize();
        RecordGrayBTN();
        FirstActivate = false;
    }
    RefreshProtocolButtons();
    RefrushStatusBar();
}

void ViewWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_skin->setGeometry(rect()); // the skin (and the client area over it) follows the window
}

void ViewWindow::Form_Resize()
{
    ResizePreview();
    ArrangeControls();
}

QSize ViewWindow::clientSize() const
{
    return m_client->size();
}

std::int32_t ViewWindow::pictureHandle() const
{
    return m_picture->handle();
}

void ViewWindow::ArrangeControls()
{
    const QSize c = clientSize();
    m_frameList->setGeometry(0, 0, c.width(), c.height());
    m_listEvent->setGeometry(0, 0, c.width(), c.height());
    // The colour panel sits at the bottom left of the picture area.
    m_colour->move(0, std::max(0, c.height() - ColourPanel::kHeight));
}

void ViewWindow::ResizePreview()
{
    const QSize c = clientSize();
    const double W = c.width(), H = c.height();
    try {
        if (fitWindowPressed()) {
            m_zoom.fit(W, H);
            placePicture();
            control().put(IntProp::PreviewWidth, c.width());
            control().put(IntProp::PreviewHeight, c.height());
            if (cam().Protocol == kProtocolKestra)
                m_sv.engine->CamViewer1(m_slot).attachWindow(pictureHandle(), toI16(W), toI16(H));
        } else {
            const double pw = control().get(IntProp::PreviewWidth);
            const double ph = control().get(IntProp::PreviewHeight);
            PictureRect r = m_zoom.picture();
            r.top = (H - ph) / 2;
            r.left = (W - pw) / 2;
            m_zoom.place(r);
            placePicture();
        }
    } catch (const std::exception&) {
    }
}

void ViewWindow::placePicture()
{
    const PictureRect& r = m_zoom.picture();
    m_picture->setGeometry(roundHalfEven(r.left), roundHalfEven(r.top), std::max(0, roundHalfEven(r.width)),
                           std::max(0, roundHalfEven(r.height)));
}

void ViewWindow::placePictureAtClient()
{
    const QSize c = clientSize();
    m_zoom.fit(c.width(), c.height());
    placePicture();
}

void ViewWindow::refreshPicture()
{
    m_picture->update();
}

void ViewWindow::RefrushStatusBar()
{
    try {
        const CamInfo& c = cam();
        SkinObject& root = m_skin->RootObject();
        putStatusLines(root, *m_sv.state, c);
        const QString caption = QString("%1.  ").arg(m_slot) + QString::fromStdString(c.ServerName);
        setWindowTitle(caption);
        object("ServerName").SetText(caption);
        putColourButtonLevel(root, *m_sv.state, c);
    } catch (const std::exception&) {
    }
}

void ViewWindow::ShowMotionText(bool motion)
{
    try {
        putMotionText(m_skin->RootObject(), motion);
    } catch (const std::exception&) {
    }
}

void ViewWindow::RecordGrayBTN()
{
    try {
        const CamInfo& c = cam();
        if (c.RecordMode != kRecordNone && ColorCtlOn) {
            ColorCtlOn = false;
            QPointer<ViewWindow> self(this);
            ShowColorCtl_Fun();
            if (!self || m_unloaded)
                return;
        }
        const bool audioOn = m_sv.state->AudioOn[static_cast<std::size_t>(m_slot - 1)];
        int colour = kGreyed, rotate = kGreyed, audio = kGreyed;
        if (c.RecordMode == kRecordNone) {
            if (c.Protocol != kProtocolKestra && c.Protocol != kProtocolMultipart) {
                colour = kReleased;
                rotate = kReleased;
                audio = kAbsent;
            } else {
                rotate = c.Protocol == kProtocolMultipart ? kReleased : kGreyed;
                audio = audioOn ? kPressed : kNormal;
            }
        } else if (c.Protocol != kProtocolKestra && c.Protocol != kProtocolMultipart) {
            audio = kAbsent;
        }
        m_buttons->show(buttonrow::kColorCtl, colour);
        m_buttons->show(buttonrow::kRotate, rotate);
        m_buttons->show(buttonrow::kAudio, audio);
    } catch (const std::exception&) {
    }
}

void ViewWindow::ToggleEventList()
{
    try {
        SkinObject& o = m_buttons->row(buttonrow::kEvent);
        if (EventListOn) {
            m_buttons->show(o, buttonrow::kEvent, kPressed);
            ArrangeControls();
            m_frameList->show();
            m_frameList->raise();
        } else {
            m_buttons->show(o, buttonrow::kEvent, kOver);
            m_frameList->hide();
        }
    } catch (const std::exception&) {
    }
}

bool ViewWindow::eventListShown() const
{
    return m_frameList->isVisibleTo(const_cast<ViewWindow*>(this));
}

void ViewWindow::RefreshProtocolButtons()
{
    try {
        m_buttons->refreshHints(cam().Protocol);
    } catch (const std::exception&) {
    }
}

void ViewWindow::SetFormFont()
{
    const QFont font = programFont(m_sv.state->ui);
    m_listEvent->setFont(font);
    m_colour->setLabelFont(font);
}

// ---- skin buttons ----

SkinObject& ViewWindow::object(const QString& name)
{
    return m_buttons->object(name);
}

bool ViewWindow::fitWindowPressed() const
{
    return m_toolBar->ToolState(fitWindowTool()) == 1;
}

CamInfo& ViewWindow::cam() const
{
    return m_sv.state->cam(m_slot);
}

CameraControl& ViewWindow::control() const
{
    return m_sv.engine->Cam(m_slot);
}

bool ViewWindow::recordingModeOn() const
{
    return cam().RecordMode != kRecordNone;
}

// ---- Form_Unload ----

void ViewWindow::closeEvent(QCloseEvent* event)
{
    if (!m_unloaded)
        Form_Unload();
    event->accept();
}

void ViewWindow::unbindPicture()
{
    // The control and the viewer keep no number of a window that is gone: they draw into nothing
    // until a window gives them a target again.
    unbindControl(control(), pictureHandle());
    if (cam().Protocol == kProtocolKestra)
        m_sv.engine->CamViewer1(m_slot).setDrawingWindow(0);
}

void ViewWindow::Form_Unload()
{
    m_unloaded = true;
    hide();
    m_waits->hourglass(false);
    AppState& st = *m_sv.state;
    st.OnTopFlags[static_cast<std::size_t>(m_slot - 1)] = false;
    try {
        control().put(BoolProp::DrawImage, false);
    } catch (const std::exception&) {
    }
    unbindPicture();
    st.WindowOpen[static_cast<std::size_t>(m_slot)] = false;
    bool anyOpen = false;
    for (std::size_t w = 0; w < st.WindowOpen.size(); ++w)
        anyOpen = anyOpen || st.WindowOpen[w];
    emit unloaded(m_slot);
    if (!anyOpen && m_sv.lastWindowClosed)
        m_sv.lastWindowClosed();
}

} // namespace pellucor
