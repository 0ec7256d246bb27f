// The view window's skin buttons, its colour panel and the snapshot: what each button does
// under the mouse and on a click, reading and writing the camera's image settings, and saving a
// picture under a name the user picks. The camera calls themselves are the camera windows' shared
// actions (camera_actions.h); this file keeps the view window's own rules of when they run.
#include "app/windows/view_window.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"
#include "app/skin/skin_object.h"
#include "app/skin/tool_set.h"
#include "app/windows/colour_panel.h"
#include "app/windows/skin_buttons.h"
#include "app/windows/view_window_detail.h"
#include "app/windows/window_waits.h"

#include <QCursor>
#include <QScrollBar>

#include <exception>

namespace pellucor {

using namespace viewdetail;

void ViewWindow::SkinForm1_MouseDown(SkinObject* o, int button)
{
    if (!o || button != 1)
        return;
    const int row = m_buttons->rowOf(*o);
    const CamInfo& c = cam();
    if (m_buttons->windowButtonFeedback(*o, row, MouseStep::Down, isMaximized(), false))
        return;
    switch (row) {
    case buttonrow::kSnapshot:
    case buttonrow::kZoom:
        m_buttons->show(*o, row, kPressed);
        break;
    case buttonrow::kRotate:
        if (!recordingModeOn() && c.Protocol != kProtocolKestra)
            m_buttons->show(*o, row, kPressed);
        break;
    case buttonrow::kAudio:
        if (recordingModeOn())
            break;
        if (c.Protocol == kProtocolKestra || c.Protocol == kProtocolMultipart) {
            if (c.Enable)
                m_buttons->show(*o, row,
                                m_sv.state->AudioOn[static_cast<std::size_t>(m_slot - 1)] ? kOver : kPressed);
        } else {
            m_buttons->show(*o, row, kAbsent);
        }
        break;
    case -1:
        rePin();
        break;
    default: // ColorCtl and Event show their latch on the way in and out only
        break;
    }
}

void ViewWindow::SkinForm1_MouseUp(SkinObject* o, int button)
{
    if (!o || button != 1)
        return;
    const int row = m_buttons->rowOf(*o);
    if (m_buttons->windowButtonFeedback(*o, row, MouseStep::Up, isMaximized(), false))
        return;
    if (row == buttonrow::kSnapshot || row == buttonrow::kZoom)
        m_buttons->show(*o, row, kReleased);
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
    const int row = m_buttons->rowOf(*o);
    const CamInfo& c = cam();
    const int loose = in ? kOver : kNormal;
    const bool audioOn = m_sv.state->AudioOn[static_cast<std::size_t>(m_slot - 1)];
    const bool pinned = m_sv.state->OnTopFlags[static_cast<std::size_t>(m_slot - 1)];
    if (m_buttons->windowButtonFeedback(*o, row, in ? MouseStep::In : MouseStep::Out, isMaximized(), pinned))
        return;
    switch (row) {
    case buttonrow::kSnapshot:
    case buttonrow::kZoom:
        m_buttons->show(*o, row, loose);
        break;
    case buttonrow::kColorCtl:
        if (!recordingModeOn() && c.Protocol != kProtocolKestra && c.Protocol != kProtocolMultipart)
            m_buttons->show(*o, row, ColorCtlOn ? kPressed : loose);
        break;
    case buttonrow::kEvent:
        m_buttons->show(*o, row, EventListOn ? kPressed : loose);
        break;
    case buttonrow::kRotate:
        if (!recordingModeOn() && c.Protocol != kProtocolKestra)
            m_buttons->show(*o, row, loose);
        break;
    case buttonrow::kAudio:
        if (recordingModeOn())
            break;
        if (c.Protocol == kProtocolKestra || c.Protocol == kProtocolMultipart)
            m_buttons->show(*o, row, audioOn ? kPressed : loose);
        else
            m_buttons->show(*o, row, kAbsent);
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
            m_buttons->wakeUp(*o, m_sv.wakeUp);
        } else if (name == "OnTop") {
            ToggleOnTop();
        } else if (name == "Rotate") {
            if (c.RecordMode != kRecordNone || c.Protocol == kProtocolKestra || !c.Assign || !c.Enable ||
                (m_quirks.rotateRefusedInScan && st.ScanModeOn))
                return;
            rotatePicture(st, *m_sv.engine, m_slot);
            m_buttons->show(*o, buttonrow::kRotate, kOver);
        } else if (name == "ColorCtl") {
            if (c.RecordMode != kRecordNone || c.Protocol == kProtocolKestra ||
                c.Protocol == kProtocolMultipart)
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
            if (c.RecordMode != kRecordNone ||
                (c.Protocol != kProtocolKestra && c.Protocol != kProtocolMultipart) || !c.Enable)
                return;
            toggleAudio(st, *m_sv.engine, m_slot);
        }
    } catch (const std::exception&) {
        // A button whose skin object or control call fails does nothing more.
    }
}

void ViewWindow::ToggleOnTop()
{
    m_buttons->toggleOnTop(m_sv.state->OnTopFlags[static_cast<std::size_t>(m_slot - 1)], this);
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
    return m_colour->bar(index);
}

QWidget& ViewWindow::colourPanel()
{
    return *m_colour;
}

void ViewWindow::ShowColorCtl_Fun()
{
    QPointer<ViewWindow> self(this);
    try {
        CamInfo& c = cam();
        SkinObject& o = m_buttons->row(buttonrow::kColorCtl);
        if (!ColorCtlOn) {
            m_buttons->show(o, buttonrow::kColorCtl, kReleased);
            m_colour->hide();
            m_waits->hourglass(true);
            m_waits->wait(kPanelWaitMs);
            m_waits->hourglass(false);
            return;
        }
        if (!putImageAddress(c, control())) {
            ColorCtlOn = false;
            m_sv.messages->show(m_sv.state->texts.ViewMessage[1]);
            return;
        }
        m_waits->hourglass(true);
        const std::optional<ImageSettings> read =
            readImageConfigWaiting(*m_sv.engine, m_slot, *m_waits, m_sv.imageReadLimitMs);
        m_waits->hourglass(false);
        if (!self || m_unloaded)
            return;
        if (!ColorCtlOn)
            return; // closed while the read ran (the camera stopped, a recording mode began)
        if (!read) {
            ColorCtlOn = false;
            m_buttons->show(o, buttonrow::kColorCtl, kOver);
            m_colour->hide();
            m_sv.messages->show(m_sv.state->texts.ViewMessage[2]);
            return;
        }
        ImgConfig = *read;
        m_buttons->show(o, buttonrow::kColorCtl, kPressed);
        m_colour->show();
        m_colour->raise();
        if (m_quirks.drawsPanelBeforePause)
            m_colour->repaint();
        UpdatingColor = true;
        m_colour->showSettings(ImgConfig);
        UpdatingColor = false;
        if (m_quirks.drawsPanelBeforePause && m_sv.ui)
            m_sv.ui->processEvents();
        if (!self || m_unloaded)
            return;
        m_waits->hourglass(true);
        m_waits->wait(kPanelWaitMs);
        m_waits->hourglass(false);
    } catch (const std::exception&) {
        if (self)
            m_waits->hourglass(false);
    }
}

void ViewWindow::colourChanged(int index, int value)
{
    if (FirstActivate || UpdatingColor)
        return;
    ImgConfig[kColourSetting[index]] = static_cast<std::int16_t>(value);
    m_colour->showValue(index, value);
    m_colour->repaint();
    ApplyImageConfig();
}

void ViewWindow::ApplyImageConfig()
{
    QPointer<ViewWindow> self(this);
    m_waits->hourglass(true);
    writeImageConfig(control(), ImgConfig);
    m_waits->wait(kApplyWaitMs);
    if (!self || m_unloaded) {
        if (self)
            m_waits->hourglass(false);
        return;
    }
    m_sv.engine->RestartCam(m_slot);
    if (self)
        m_waits->hourglass(false);
}

// ---- snapshot ----

void ViewWindow::SaveSnapshot()
{
    try {
        saveSnapshot(*m_sv.state, *m_sv.engine, m_slot, m_sv.saveDialog, this);
    } catch (const std::exception&) {
    }
}

} // namespace pellucor
