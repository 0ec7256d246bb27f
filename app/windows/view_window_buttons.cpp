// The view window's skin buttons, its colour panel and the snapshot: what each button does
// under the mouse and on a click, reading and writing the camera's image settings, and saving a
// picture under a name the user picks.
#include "app/windows/view_window.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"
#include "app/core/viewer_port.h"
#include "app/skin/skin_label.h"
#include "app/skin/skin_object.h"
#include "app/skin/tool_set.h"
#include "app/windows/view_window_detail.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QFileDialog>
#include <QScrollBar>
#include <QTimer>

#include <exception>

namespace pellucor {

using namespace viewdetail;

namespace {

constexpr const char* kSnapshotTitle = "Save Image";

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
    setTopMost(this, pinned);
}

// Puts every pinned view window back on top: the other slots in ascending order, this one last.
void ViewWindow::rePin()
{
    auto pinAgain = [this](int s) {
        if (!m_sv.state->OnTopFlags[static_cast<std::size_t>(s - 1)])
            return;
        QWidget* w = s == m_slot ? this : (m_sv.windowOfSlot ? m_sv.windowOfSlot(s) : nullptr);
        setTopMost(w, true);
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

} // namespace pellucor
