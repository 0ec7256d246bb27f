#include "app/windows/view_window.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"
#include "app/core/event_log.h"
#include "app/core/viewer_port.h"
#include "app/skin/picture_surface.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_label.h"
#include "app/skin/skin_object.h"
#include "app/skin/tool_set.h"
#include "app/windows/hand_cursor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QFileDialog>
#include <QFrame>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <exception>

namespace pellucor {

namespace {

// The window's waits, in milliseconds.
constexpr int kApplyWaitMs = 2000;
constexpr int kPanelWaitMs = 1000;

// The colour bars' range and start value.
constexpr int kColourMin = 0;
constexpr int kColourMax = 128;
constexpr int kColourStart = 64;
// Where the brightness, contrast and hue are among the seven image settings.
constexpr std::size_t kColourSetting[3] = {3, 4, 5};

// The colour panel's layout over its backdrop (Bar.skn is 200 x 84): three rows of a caption,
// a bar and the value.
constexpr int kPanelWidth = 200;
constexpr int kPanelHeight = 84;
constexpr int kPanelRow = 26;

// Button-state texts of a HintTable row (its BtnStr index).
enum BtnState
{
    kReleased = 1,
    kPressed = 2,
    kNormal = 3,
    kOver = 4,
    kGreyed = 5,
    kAbsent = 6,
    kHint = 7,
};

// The zoom of a Kestra viewer reads the picture size after this preparation call.
constexpr const char* kViewerSizeCommand = "SIZE";
constexpr std::int32_t kViewerSizeValue = 12;

constexpr const char* kSnapshotTitle = "Save Image";

bool isTcEdition(const std::string& language)
{
    return QString::fromStdString(language).toUpper() == "DRAVONETTC";
}

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

std::int16_t toI16(double v)
{
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(roundHalfEven(v), INT16_MIN, INT16_MAX));
}

// The program-wide font of the language pack, without underline, italic or strikethrough.
void setControlFont(QWidget* widget, const UiSettings& ui)
{
    QFont font(QString::fromStdString(ui.FontName));
    font.setPointSizeF(ui.FontSize > 0 ? ui.FontSize : 9);
    if (ui.FontWeight > 0)
        font.setWeight(QFont::Weight(std::clamp(ui.FontWeight / 100 * 100, 100, 900)));
    font.setUnderline(false);
    font.setItalic(false);
    font.setStrikeOut(false);
    widget->setFont(font);
}

QString fitWindowTool()
{
    return QString::fromLatin1(kFitWindowTool.data(), static_cast<qsizetype>(kFitWindowTool.size()));
}

std::optional<std::string> qtSaveDialog(QWidget* owner, const SnapshotDialog& d)
{
    const QString start = QString::fromStdString(d.folder + "/" + d.proposedName);
    const QString file = QFileDialog::getSaveFileName(owner, QString::fromStdString(d.title), start,
                                                      QString::fromStdString(d.filter));
    if (file.isEmpty())
        return std::nullopt;
    return file.toStdString();
}

} // namespace

ViewSlotQuirks ViewSlotQuirks::of(int slot)
{
    ViewSlotQuirks q;
    q.loadsToolSet = slot == 1 || slot == 2;
    q.rotateRefusedInScan = slot == 1;
    q.drawsPanelBeforePause = slot == 1;
    return q;
}

void SetTopMost(QWidget* window, bool on)
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

// ---- Form_Load ----

ViewWindow::ViewWindow(int slot, ViewServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_slot(slot), m_quirks(ViewSlotQuirks::of(slot)),
      m_sv(std::move(services)), m_lines(std::make_unique<EventLineList>())
{
    buildControls();
    setWindowTitle(QString("Cam%1").arg(m_slot));

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
    for (int i = 0; i < 3; ++i)
        m_barCaptions[i]->SetCaption(
            QString::fromStdString(st.texts.ColorCaption[static_cast<std::size_t>(i)]));
    if (m_quirks.loadsToolSet) {
        if (auto atb = findFileIgnoreCase(st.paths.langDir(), st.Language + ".atb"))
            m_toolBar->LoadToolSet(QString::fromStdString(atb->string()));
    }
}

ViewWindow::~ViewWindow() = default;

void ViewWindow::deleteWhenIdle()
{
    if (m_waitDepth > 0)
        m_deleteWhenIdle = true; // the outermost wait hands the window over once it returns
    else
        deleteLater();
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

    m_picImage = new QWidget(m_client);
    m_picImage->resize(kPanelWidth, kPanelHeight);
    m_barSkin = new SkinForm(m_picImage);
    m_barSkin->setGeometry(0, 0, kPanelWidth, kPanelHeight);
    for (int i = 0; i < 3; ++i) {
        const int y = 3 + i * kPanelRow;
        m_barCaptions[i] = new SkinLabel(m_barSkin);
        m_barCaptions[i]->setGeometry(4, y, 74, 20);
        auto* bar = new QScrollBar(Qt::Horizontal, m_barSkin);
        bar->setRange(kColourMin, kColourMax);
        bar->setValue(kColourStart);
        bar->setTracking(false); // the value changes when the thumb is let go
        bar->setGeometry(80, y + 2, 84, 16);
        m_bars[i] = bar;
        m_barValues[i] = new SkinLabel(m_barSkin);
        m_barValues[i]->setGeometry(168, y, 30, 20);
        m_barValues[i]->SetCaption(QString::number(kColourStart));
        connect(bar, &QScrollBar::valueChanged, this, [this, i](int value) { colourChanged(i, value); });
    }
    m_picImage->hide();

    m_frameList = new QFrame(m_client);
    m_listEvent = new QListWidget(m_frameList);
    m_frameList->hide();

    m_toolBar = new SkinToolBar(this);
    m_toolBar->hide(); // only its zoom menu pops up
    connect(m_toolBar, &SkinToolBar::ToolClick, this,
            [this](const QString& id, int state) { ApplyZoomTool(id, state); });

    connect(m_skin, &SkinForm::ObjectClick, this, [this](SkinObject* o) { SkinForm1_ObjectClick(o); });
    connect(m_skin, &SkinForm::MouseDown, this,
            [this](SkinObject* o, int b, int, int) { SkinForm1_MouseDown(o, b); });
    connect(m_skin, &SkinForm::MouseUp, this,
            [this](SkinObject* o, int b, int, int) { SkinForm1_MouseUp(o, b); });
    connect(m_skin, &SkinForm::MouseIn, this, [this](SkinObject* o) { SkinForm1_MouseIn(o); });
    connect(m_skin, &SkinForm::MouseOut, this, [this](SkinObject* o) { SkinForm1_MouseOut(o); });
}

void ViewWindow::LoadSkin()
{
    const AppState& st = *m_sv.state;
    const auto folder = st.paths.langDir();
    const auto skin = findFileIgnoreCase(folder, st.Language + "_2.skn");
    m_skin->SetSkinFile(QString::fromStdString((skin ? *skin : folder / (st.Language + "_2.skn")).string()));
    const auto bar = findFileIgnoreCase(folder, "Bar.skn");
    m_barSkin->SetSkinFile(QString::fromStdString((bar ? *bar : folder / "Bar.skn").string()));
    for (SkinLabel* l : m_barCaptions)
        l->AttachSkin(m_barSkin);
    for (SkinLabel* l : m_barValues)
        l->AttachSkin(m_barSkin);
    resize(m_skin->sizeHint());
    m_skin->setGeometry(rect());
}

void ViewWindow::FillEventList()
{
    const auto& lines = m_sv.log->lines(m_slot);
    if (lines.empty())
        return;
    for (const std::string& l : lines)
        m_listEvent->addItem(QString::fromStdString(l));
    // The window's own copy, which keeps its own bound as lines arrive.
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2)
        m_lines->add(lines[i], lines[i + 1]);
    m_listEvent->setCurrentRow(m_listEvent->count() - 2);
}

void ViewWindow::addEventLines(const std::string& header, const std::string& message)
{
    m_lines->add(header, message);
    m_listEvent->addItem(QString::fromStdString(header));
    m_listEvent->addItem(QString::fromStdString(message));
    const int keep = static_cast<int>(m_lines->lines().size());
    while (m_listEvent->count() > keep)
        delete m_listEvent->takeItem(0);
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
        setControlFont(m_toolBar, m_sv.state->ui);
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
    m_picImage->move(0, std::max(0, c.height() - kPanelHeight));
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
            if (cam().Protocol == 3)
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
        const AppState& st = *m_sv.state;
        const CamInfo& c = cam();
        object("IPAddress").SetText(QString::fromStdString(c.IPAddress));
        object("Line").SetText(QString::fromStdString(c.Enable ? st.texts.strOnLine : st.texts.strOffLine));
        object("Recording").SetText(c.Recording ? QString::fromStdString(st.texts.RecText[0]) : QString());
        const QString caption = QString("%1.  ").arg(m_slot) + QString::fromStdString(c.ServerName);
        setWindowTitle(caption);
        object("ServerName").SetText(caption);
        if (isTcEdition(st.Language)) {
            object("ColorCtl").SetTransparency(c.PasswordChecked ? 0 : 255);
            object("LBtnSet").SetOffset(c.PasswordChecked ? 84 : 62);
        }
    } catch (const std::exception&) {
    }
}

void ViewWindow::ShowMotionText(bool motion)
{
    try {
        object("MotionDetect").SetText(motion ? QStringLiteral("MOTION") : QString());
    } catch (const std::exception&) {
    }
}

void ViewWindow::RecordGrayBTN()
{
    try {
        const CamInfo& c = cam();
        if (c.RecordMode != 0 && ColorCtlOn) {
            ColorCtlOn = false;
            QPointer<ViewWindow> self(this);
            ShowColorCtl_Fun();
            if (!self || m_unloaded)
                return;
        }
        const bool audioOn = m_sv.state->AudioOn[static_cast<std::size_t>(m_slot - 1)];
        int colour = kGreyed, rotate = kGreyed, audio = kGreyed;
        if (c.RecordMode == 0) {
            if (c.Protocol != 3 && c.Protocol != 4) {
                colour = kReleased;
                rotate = kReleased;
                audio = kAbsent;
            } else {
                rotate = c.Protocol == 4 ? kReleased : kGreyed;
                audio = audioOn ? kPressed : kNormal;
            }
        } else if (c.Protocol != 3 && c.Protocol != 4) {
            audio = kAbsent;
        }
        showBitmap(rowObject(Row::ColorCtl), static_cast<int>(Row::ColorCtl), colour);
        showBitmap(rowObject(Row::Rotate), static_cast<int>(Row::Rotate), rotate);
        showBitmap(rowObject(Row::Audio), static_cast<int>(Row::Audio), audio);
    } catch (const std::exception&) {
    }
}

void ViewWindow::ToggleEventList()
{
    try {
        SkinObject& o = rowObject(Row::Event);
        if (EventListOn) {
            showBitmap(o, static_cast<int>(Row::Event), kPressed);
            ArrangeControls();
            m_frameList->show();
            m_frameList->raise();
        } else {
            showBitmap(o, static_cast<int>(Row::Event), kOver);
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
        for (int row = 0; row < kHintRows; ++row) {
            const ButtonRow& r = m_sv.state->HintTable[static_cast<std::size_t>(row)];
            object(QString::fromStdString(r.BtnName)).SetHintText(QString::fromStdString(r.BtnStr[kHint]));
        }
        if (cam().Protocol != 3 && cam().Protocol != 4)
            rowObject(Row::Audio).SetHintText(QString());
    } catch (const std::exception&) {
    }
}

void ViewWindow::SetFormFont()
{
    const UiSettings& ui = m_sv.state->ui;
    setControlFont(m_listEvent, ui);
    for (SkinLabel* l : m_barCaptions)
        setControlFont(l, ui);
    for (SkinLabel* l : m_barValues)
        setControlFont(l, ui);
}

// ---- skin buttons ----

SkinObject& ViewWindow::object(const QString& name)
{
    return m_skin->RootObject().FindObject(name);
}

SkinObject& ViewWindow::rowObject(Row row)
{
    return object(QString::fromStdString(m_sv.state->HintTable[static_cast<std::size_t>(row)].BtnName));
}

QString ViewWindow::btnStr(int row, int state) const
{
    return QString::fromStdString(
        m_sv.state->HintTable[static_cast<std::size_t>(row)].BtnStr[static_cast<std::size_t>(state)]);
}

void ViewWindow::showBitmap(SkinObject& o, int row, int state)
{
    o.SetBitmap(btnStr(row, state));
}

int ViewWindow::rowOf(const SkinObject& o) const
{
    for (int row = 0; row < kHintRows; ++row)
        if (o.Name() == QString::fromStdString(m_sv.state->HintTable[static_cast<std::size_t>(row)].BtnName))
            return row;
    return -1;
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
    return cam().RecordMode != 0;
}

void ViewWindow::SkinForm1_MouseDown(SkinObject* o, int button)
{
    if (!o || button != 1)
        return;
    const int row = rowOf(*o);
    const CamInfo& c = cam();
    switch (row) {
    case 0:
    case 1:
    case 2:
    case 4:
    case 7:
    case 9:
        showBitmap(*o, row, kPressed);
        break;
    case 8:
        if (!recordingModeOn() && c.Protocol != 3)
            showBitmap(*o, row, kPressed);
        break;
    case 10:
        if (recordingModeOn())
            break;
        if (c.Protocol == 3 || c.Protocol == 4) {
            if (c.Enable)
                showBitmap(*o, row,
                           m_sv.state->AudioOn[static_cast<std::size_t>(m_slot - 1)] ? kOver : kPressed);
        } else {
            showBitmap(*o, row, kAbsent);
        }
        break;
    case -1:
        rePin();
        break;
    default: // OnTop, ColorCtl and Event show their latch on the way in and out only
        break;
    }
}

void ViewWindow::SkinForm1_MouseUp(SkinObject* o, int button)
{
    if (!o || button != 1)
        return;
    const int row = rowOf(*o);
    if (row == 0 || row == 1 || row == 2 || row == 7 || row == 9)
        showBitmap(*o, row, kReleased);
}

void ViewWindow::SkinForm1_MouseIn(SkinObject* o)
{
    hoverFeedback(o, true);
}

void ViewWindow::SkinForm1_MouseOut(SkinObject* o)
{
    hoverFeedback(o, false);
}

// The pointer entering (`in`) or leaving a button: the "under the pointer" image on the way in,
// the normal one on the way out, latched buttons showing their latch either way.
void ViewWindow::hoverFeedback(SkinObject* o, bool in)
{
    if (!o)
        return;
    const int row = rowOf(*o);
    const CamInfo& c = cam();
    const int loose = in ? kOver : kNormal;
    const bool audioOn = m_sv.state->AudioOn[static_cast<std::size_t>(m_slot - 1)];
    const bool pinned = m_sv.state->OnTopFlags[static_cast<std::size_t>(m_slot - 1)];
    switch (row) {
    case 0:
    case 2:
    case 4:
    case 7:
    case 9:
        showBitmap(*o, row, loose);
        break;
    case 1:
        showBitmap(*o, row, loose);
        if (in)
            o->SetHintText(
                QString::fromStdString(isMaximized() ? m_sv.state->MaxHint2 : m_sv.state->MaxHint));
        break;
    case 3:
        showBitmap(*o, row, pinned ? kPressed : loose);
        break;
    case 5:
        if (!recordingModeOn() && c.Protocol != 3 && c.Protocol != 4)
            showBitmap(*o, row, ColorCtlOn ? kPressed : loose);
        break;
    case 6:
        showBitmap(*o, row, EventListOn ? kPressed : loose);
        break;
    case 8:
        if (!recordingModeOn() && c.Protocol != 3)
            showBitmap(*o, row, loose);
        break;
    case 10:
        if (recordingModeOn())
            break;
        if (c.Protocol == 3 || c.Protocol == 4)
            showBitmap(*o, row, audioOn ? kPressed : loose);
        else
            showBitmap(*o, row, kAbsent);
        break;
    default:
        break;
    }
}

void ViewWindow::SkinForm1_ObjectClick(SkinObject* o)
{
    if (!o)
        return;
    try {
        AppState& st = *m_sv.state;
        CamInfo& c = cam();
        const QString name = o->Name();
        if (name == "WakeUp") {
            if (m_sv.wakeUp)
                m_sv.wakeUp();
            showBitmap(*o, static_cast<int>(Row::WakeUp), kOver);
        } else if (name == "OnTop") {
            ToggleOnTop();
        } else if (name == "Rotate") {
            if (c.RecordMode != 0 || c.Protocol == 3 || !c.Assign || !c.Enable ||
                (m_quirks.rotateRefusedInScan && st.ScanModeOn))
                return;
            c.RotateAngle = c.RotateAngle < 270 ? c.RotateAngle + 90 : 0;
            control().put(IntProp::RotateAngle, c.RotateAngle);
            showBitmap(*o, static_cast<int>(Row::Rotate), kOver);
        } else if (name == "ColorCtl") {
            if (c.RecordMode != 0 || c.Protocol == 3 || c.Protocol == 4)
                return;
            if (isTcEdition(st.Language) && !c.PasswordChecked)
                return;
            ColorCtlOn = c.Enable ? !ColorCtlOn : false;
            ShowColorCtl_Fun();
        } else if (name == "Snapshot") {
            SaveSnapshot();
        } else if (name == "Event") {
            EventListOn = !EventListOn;
            ToggleEventList();
        } else if (name == "Zoom") {
            m_toolBar->PopupMenu("ID_ZoomMenu", QCursor::pos());
        } else if (name == "Audio") {
            if (c.RecordMode != 0 || (c.Protocol != 3 && c.Protocol != 4) || !c.Enable)
                return;
            bool& audioOn = st.AudioOn[static_cast<std::size_t>(m_slot - 1)];
            if (audioOn) {
                audioOn = false;
                if (c.Protocol == 4) {
                    control().put(IntProp::PlayMode, 1); // video only
                    control().RunAudio();
                } else {
                    m_sv.engine->CamViewer1(m_slot).audioOff();
                }
            } else {
                audioOn = true;
                if (c.Protocol == 4) {
                    control().put(IntProp::PlayMode, 3); // video and sound
                    control().RunAudio();
                } else {
                    control().KestraAudioON(st.CamCookie[static_cast<std::size_t>(m_slot - 1)]);
                    m_sv.engine->CamViewer1(m_slot).audioOn();
                }
            }
        }
    } catch (const std::exception&) {
        // A button whose skin object or control call fails does nothing more.
    }
}

void ViewWindow::ToggleOnTop()
{
    bool& pinned = m_sv.state->OnTopFlags[static_cast<std::size_t>(m_slot - 1)];
    SkinObject& o = rowObject(Row::OnTop);
    pinned = !pinned;
    showBitmap(o, static_cast<int>(Row::OnTop), pinned ? kPressed : kOver);
    SetTopMost(this, pinned);
}

// Puts every pinned view window back on top: the other slots in ascending order, this one last.
void ViewWindow::rePin()
{
    auto pinAgain = [this](int s) {
        if (!m_sv.state->OnTopFlags[static_cast<std::size_t>(s - 1)])
            return;
        QWidget* w = s == m_slot ? this : (m_sv.windowOfSlot ? m_sv.windowOfSlot(s) : nullptr);
        SetTopMost(w, true);
    };
    for (int s = 1; s <= kCameraCount; ++s)
        if (s != m_slot)
            pinAgain(s);
    pinAgain(m_slot);
}

// ---- colour panel ----

QScrollBar& ViewWindow::colourBar(int index)
{
    return *m_bars[std::clamp(index, 0, 2)];
}

void ViewWindow::hourglass(bool on)
{
    if (on == m_hourglass)
        return;
    m_hourglass = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

// The window's fixed waits: the window takes no input meanwhile, but paints and lets the
// controls' events run. A window closed meanwhile is not destroyed under the waiting handler (nor
// under the scroll bar whose signal runs it): it goes once the outermost wait has returned, and
// the caller ends its procedure when it finds the window unloaded.
void ViewWindow::wait(int ms)
{
    ++m_waitDepth;
    setEnabled(false);
    if (m_sv.pause) {
        m_sv.pause(ms);
    } else {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    setEnabled(true);
    if (--m_waitDepth == 0 && m_deleteWhenIdle)
        deleteLater();
}

void ViewWindow::ShowColorCtl_Fun()
{
    QPointer<ViewWindow> self(this);
    try {
        CamInfo& c = cam();
        SkinObject& o = rowObject(Row::ColorCtl);
        auto hidePanel = [this] {
            for (QScrollBar* b : m_bars)
                b->hide();
            m_picImage->hide();
        };
        if (!ColorCtlOn) {
            showBitmap(o, static_cast<int>(Row::ColorCtl), kReleased);
            hidePanel();
            hourglass(true);
            wait(kPanelWaitMs);
            hourglass(false);
            return;
        }
        if (c.Protocol == 0) {
            if (c.MacAddress.empty()) {
                ColorCtlOn = false;
                m_sv.messages->show(m_sv.state->texts.ViewMessage[1]);
                return;
            }
            control().put(TextProp::MACAddress, c.MacAddress);
        }
        hourglass(true);
        ImageSettings read = ImgConfig;
        std::int32_t r = 0;
        try {
            r = control().GetImageConfig(0, read);
        } catch (const std::exception&) {
            r = 0;
        }
        hourglass(false);
        if (!self || m_unloaded)
            return;
        if (r != -1) {
            ColorCtlOn = false;
            showBitmap(o, static_cast<int>(Row::ColorCtl), kOver);
            hidePanel();
            m_sv.messages->show(m_sv.state->texts.ViewMessage[1]);
            return;
        }
        ImgConfig = read;
        showBitmap(o, static_cast<int>(Row::ColorCtl), kPressed);
        for (QScrollBar* b : m_bars)
            b->show();
        m_picImage->show();
        m_picImage->raise();
        if (m_quirks.drawsPanelBeforePause)
            m_picImage->repaint();
        UpdatingColor = true;
        for (int i = 0; i < 3; ++i) {
            const std::int16_t v = ImgConfig[kColourSetting[i]];
            m_bars[i]->setValue(v);
            m_barValues[i]->SetCaption(QString::number(v));
        }
        UpdatingColor = false;
        if (m_quirks.drawsPanelBeforePause && m_sv.ui)
            m_sv.ui->processEvents();
        if (!self || m_unloaded)
            return;
        hourglass(true);
        wait(kPanelWaitMs);
        hourglass(false);
    } catch (const std::exception&) {
        if (self)
            hourglass(false);
    }
}

void ViewWindow::colourChanged(int index, int value)
{
    if (FirstActivate || UpdatingColor)
        return;
    ImgConfig[kColourSetting[index]] = static_cast<std::int16_t>(value);
    m_barValues[index]->SetCaption(QString::number(value));
    m_picImage->repaint();
    ApplyImageConfig();
}

void ViewWindow::ApplyImageConfig()
{
    QPointer<ViewWindow> self(this);
    hourglass(true);
    try {
        control().SetImageConfig(ImgConfig); // its answer is not used: the stream restarts anyway
    } catch (const std::exception&) {
    }
    wait(kApplyWaitMs);
    if (!self || m_unloaded) {
        hourglass(false);
        return;
    }
    m_sv.engine->RestartCam(m_slot);
    if (self)
        hourglass(false);
}

// ---- snapshot ----

void ViewWindow::SaveSnapshot()
{
    try {
        const bool viewer = cam().Protocol == 3;
        SnapshotDialog d;
        d.title = kSnapshotTitle;
        d.folder = m_sv.state->paths.homeDir.string();
        d.filter = viewer ? "BMP Image (*.bmp)" : "JPEG Image (*.jpg)";
        d.proposedName = viewer ? "Temp.bmp" : "Temp.jpg";
        QPointer<ViewWindow> self(this);
        const std::optional<std::string> file = m_sv.saveDialog ? m_sv.saveDialog(d) : qtSaveDialog(this, d);
        if (!self || !file || file->empty())
            return; // cancelled: no file, no message
        if (viewer)
            m_sv.engine->CamViewer1(m_slot).snapshotToFile(*file);
        else
            control().Capture(*file, 0);
    } catch (const std::exception&) {
    }
}

// ---- zoom and drag-to-pan ----

void ViewWindow::ApplyZoomTool(const QString& id, int state)
{
    if (state == 0)
        return;
    try {
        const QSize c = clientSize();
        const double W = c.width(), H = c.height();
        const bool viewer = cam().Protocol == 3;
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
    try {
        if (control().get(IntProp::PreviewhWnd) == pictureHandle()) {
            control().put(IntProp::PreviewhWnd, 0);
            control().put(IntProp::PreviewDC, 0);
        }
    } catch (const std::exception&) {
    }
    if (cam().Protocol == 3)
        m_sv.engine->CamViewer1(m_slot).setDrawingWindow(0);
}

void ViewWindow::Form_Unload()
{
    m_unloaded = true;
    hide();
    hourglass(false);
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
