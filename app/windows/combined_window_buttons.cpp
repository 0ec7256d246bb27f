// The combined window's colour controls and skin buttons: the colour panel of the active pane
// (reading the camera's image settings and writing all seven back on every change), the button
// images that follow the mouse and the current camera's state, and the clicks: on top, wake up
// the control panel, colour panel, snapshot, rotation and sound. The camera calls are the camera
// windows' shared actions (camera_actions.h); the rules of when a button works are this window's.
//
// Every handler catches its own errors (a skin object missing from the skin, a control call that
// fails): the one action ends quietly and the program goes on.
#include "app/windows/combined_window.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_object.h"
#include "app/windows/colour_panel.h"
#include "app/windows/status_texts.h"
#include "app/windows/view_window_detail.h"
#include "app/windows/window_waits.h"

#include <QPointer>

#include <algorithm>
#include <exception>
#include <optional>

namespace pellucor {

using namespace viewdetail;

namespace {

constexpr std::size_t kCombinedOnTop = 5; // its OnTopFlags entry
constexpr int kPaneBorder = 3;            // the pane frame's edge (cam.skn)

std::size_t paneIndex(int slot)
{
    return static_cast<std::size_t>(std::clamp(slot, 1, 4) - 1);
}

bool hasSound(int protocol)
{
    return protocol == kProtocolKestra || protocol == kProtocolMultipart;
}

} // namespace

// ---- building (Form_Load) ----

void CombinedWindow::buildColourControls()
{
    const AppState& st = *m_sv.state;
    m_buttons = std::make_unique<SkinButtons>(st, *m_skin);
    m_waits = std::make_unique<WindowWaits>(this, m_sv.pause);
    const auto folder = st.paths.langDir();
    const auto bar = findFileIgnoreCase(folder, "Bar.skn");
    const QString barFile = QString::fromStdString((bar ? *bar : folder / "Bar.skn").string());
    for (std::size_t k = 0; k < 4; ++k) {
        auto* panel = new ColourPanel(ColourPanel::ValueText::SignColumn, m_panes[k]);
        panel->LoadSkin(barFile);
        panel->setCaptions(st.texts.ColorCaption);
        panel->hide();
        const int slot = static_cast<int>(k) + 1;
        connect(panel, &ColourPanel::barChanged, this,
                [this, slot](int i, int value) { colourChanged(slot, i, value); });
        m_colour[k] = panel;
    }
    ColorPanelShown = false;
    EventListShown = false;
    Updating.fill(false);

    connectSkinEvents(m_skin, this);
}

// Each pane's colour panel sits at the pane's bottom left, inside its frame; a pane narrower than
// the panel gets a narrower one, so that all of it is in sight.
void CombinedWindow::placeColourPanels()
{
    for (std::size_t k = 0; k < 4; ++k) {
        const int h = m_panes[k]->height();
        m_colour[k]->fitWidth(m_panes[k]->width() - 2 * kPaneBorder);
        m_colour[k]->move(kPaneBorder, std::max(0, h - kPaneBorder - ColourPanel::kHeight));
        m_colour[k]->raise();
    }
}

ColourPanel& CombinedWindow::colourPanel(int slot)
{
    return *m_colour[paneIndex(slot)];
}

void CombinedWindow::deleteWhenIdle()
{
    m_waits->deleteWindowWhenIdle();
}

// ---- activation ----

void CombinedWindow::SetFormFont()
{
    const QFont font = programFont(m_sv.state->ui);
    for (ColourPanel* p : m_colour)
        p->setLabelFont(font);
}

void CombinedWindow::InitSkinButtons()
{
    try {
        m_buttons->show(buttonrow::kZoom, kGreyed); // the view windows' zoom: nothing to zoom here
    } catch (const std::exception&) {
    }
}

void CombinedWindow::RefreshProtocolButtons(int n)
{
    try {
        m_buttons->refreshHints(m_sv.state->cam(std::clamp(n, 1, 4)).Protocol);
    } catch (const std::exception&) {
    }
}

void CombinedWindow::RefrushClrCtlBtn(int n)
{
    if (n < 1 || n > 4)
        return;
    try {
        putColourButtonLevel(m_skin->RootObject(), *m_sv.state, m_sv.state->cam(n));
    } catch (const std::exception&) {
    }
}

void CombinedWindow::RecordGrayBTN(int n)
{
    if (n < 1 || n > 4 || m_unloaded)
        return;
    try {
        const CamInfo& c = m_sv.state->cam(n);
        if (c.RecordMode != kRecordNone && ColorPanelShown) {
            ColorPanelShown = false;
            QPointer<CombinedWindow> self(this);
            ShowColorCtl();
            if (!self || m_unloaded)
                return;
        }
        const bool audioOn = m_sv.state->AudioOn[paneIndex(n)];
        const int soundImage = audioOn ? kPressed : kNormal;
        // Images of ColorCtl, Event, Snapshot, Rotate, entry 9 (0: left as it is) and Audio.
        std::array<int, 6> images{};
        if (c.RecordMode != kRecordNone)
            images = {kGreyed, kReleased, kReleased, kGreyed, 0, hasSound(c.Protocol) ? kGreyed : kAbsent};
        else if (!c.Enable)
            images = {kGreyed, kGreyed, kGreyed, kGreyed, kGreyed, kAbsent};
        else if (!hasSound(c.Protocol))
            images = {kReleased, kReleased, kReleased, kReleased, 0, kAbsent};
        else if (c.Protocol == kProtocolMultipart)
            images = {kGreyed, kReleased, kReleased, kReleased, 0, soundImage};
        else
            images = {kGreyed, kReleased, kReleased, kGreyed, 0, soundImage};
        const int rows[6] = {buttonrow::kColorCtl, buttonrow::kEvent, buttonrow::kSnapshot,
                             buttonrow::kRotate,   buttonrow::kZoom,  buttonrow::kAudio};
        for (std::size_t i = 0; i < 6; ++i)
            if (images[i] != 0)
                m_buttons->show(rows[i], images[i]);
    } catch (const std::exception&) {
    }
}

// ---- button images under the mouse ----

void CombinedWindow::SkinForm1_MouseDown(SkinObject* o, int button)
{
    if (button == 1)
        buttonFeedback(o, MouseStep::Down);
}

void CombinedWindow::SkinForm1_MouseUp(SkinObject* o, int button)
{
    if (button == 1)
        buttonFeedback(o, MouseStep::Up);
}

void CombinedWindow::SkinForm1_MouseIn(SkinObject* o)
{
    buttonFeedback(o, MouseStep::In);
}

void CombinedWindow::SkinForm1_MouseOut(SkinObject* o)
{
    buttonFeedback(o, MouseStep::Out);
}

void CombinedWindow::buttonFeedback(SkinObject* o, MouseStep step)
{
    if (!o || m_unloaded)
        return;
    try {
        const AppState& st = *m_sv.state;
        const int row = m_buttons->rowOf(*o);
        if (m_buttons->windowButtonFeedback(*o, row, step, isMaximized(), st.OnTopFlags[kCombinedOnTop]))
            return;
        const CamInfo& c = st.cam(st.CurCam);
        const bool E = c.Enable;
        const bool R0 = c.RecordMode == kRecordNone;
        const int P = c.Protocol;
        const bool audioOn = st.AudioOn[paneIndex(st.CurCam)];
        const bool hover = step == MouseStep::In || step == MouseStep::Out;
        const int loose = step == MouseStep::In ? kOver : kNormal;
        int image = 0; // 0: the image stays
        switch (row) {
        case buttonrow::kColorCtl:
            if (hover && E && R0 && !hasSound(P))
                image = ColorPanelShown ? kPressed : loose;
            break;
        case buttonrow::kEvent:
            if (hover && E)
                image = EventListShown ? kPressed : loose;
            break;
        case buttonrow::kSnapshot:
            if (E)
                image = step == MouseStep::Down ? kPressed : step == MouseStep::Up ? kReleased : loose;
            break;
        case buttonrow::kRotate:
            if (E && R0 && P != kProtocolKestra)
                image = step == MouseStep::Down ? kPressed : step == MouseStep::Up ? kOver : loose;
            break;
        case buttonrow::kAudio:
            if (!E || !R0 || step == MouseStep::Up)
                break;
            if (!hasSound(P))
                image = kAbsent;
            else if (step == MouseStep::Down)
                image = audioOn ? kOver : kPressed;
            else
                image = audioOn ? kPressed : loose;
            break;
        default: // entry 9 and names outside the table
            break;
        }
        if (image != 0)
            m_buttons->show(*o, row, image);
    } catch (const std::exception&) {
    }
}

// ---- clicks ----

void CombinedWindow::SkinForm1_ObjectClick(SkinObject* o)
{
    if (!o || m_unloaded)
        return;
    try {
        AppState& st = *m_sv.state;
        const int n = st.CurCam;
        const CamInfo& c = st.cam(n);
        const bool usable = c.Enable && c.RecordMode == kRecordNone;
        const QString name = o->Name();
        if (name == "OnTop") {
            m_buttons->toggleOnTop(st.OnTopFlags[kCombinedOnTop], this);
        } else if (name == "WakeUp") {
            m_buttons->wakeUp(*o, m_sv.wakeUp);
        } else if (name == "ColorCtl") {
            if (!usable || hasSound(c.Protocol))
                return;
            if (isTcEdition(st.Language) && !c.PasswordChecked)
                return;
            ColorPanelShown = !ColorPanelShown;
            ShowColorCtl();
        } else if (name == "Event") {
            if (!c.Enable)
                return;
            EventListShown = !EventListShown;
            ToggleEventList();
        } else if (name == "Snapshot") {
            if (c.Enable)
                saveSnapshot(st, *m_sv.engine, n, m_sv.saveDialog, this);
        } else if (name == "Rotate") {
            if (usable && c.Protocol != kProtocolKestra && c.Assign)
                rotatePicture(st, *m_sv.engine, n);
        } else if (name == "Audio") {
            if (usable && hasSound(c.Protocol))
                toggleAudio(st, *m_sv.engine, n);
        }
    } catch (const std::exception&) {
        // A button whose skin object or control call fails does nothing more.
    }
}

// ---- colour panel ----

void CombinedWindow::RefrushShowClrCtl(int n)
{
    if (n != m_sv.state->CurCam && ColorPanelShown) {
        ColorPanelShown = false;
        ShowColorCtl();
    }
}

void CombinedWindow::ShowColorCtl()
{
    QPointer<CombinedWindow> self(this);
    const int n = m_sv.state->CurCam;
    const std::size_t i = paneIndex(n);
    auto pauseWithHourglass = [this] {
        m_waits->hourglass(true);
        m_waits->wait(viewdetail::kPanelWaitMs);
        m_waits->hourglass(false);
    };
    try {
        SkinObject& o = m_buttons->row(buttonrow::kColorCtl);
        // Only one pane shows the panel: hiding covers a panel left on a pane that stopped being
        // current without this window being told.
        auto hidePanels = [this] {
            for (ColourPanel* p : m_colour)
                p->hide();
        };
        if (!ColorPanelShown) {
            m_buttons->show(o, buttonrow::kColorCtl, kOver);
            hidePanels();
            pauseWithHourglass();
            return;
        }
        CameraControl& control = m_sv.engine->Cam(n);
        auto refuse = [&](const std::string& message) {
            ColorPanelShown = false;
            if (m_sv.messages)
                m_sv.messages->show(message);
        };
        if (!putImageAddress(m_sv.state->cam(n), control)) {
            refuse(m_sv.state->texts.ViewMessage[1]);
            return;
        }
        m_waits->hourglass(true);
        const std::optional<ImageSettings> read =
            readImageConfigWaiting(*m_sv.engine, n, *m_waits, m_sv.imageReadLimitMs);
        m_waits->hourglass(false);
        if (!self || m_unloaded)
            return;
        // Closed while the read ran (another pane became current, a recording mode began).
        if (!ColorPanelShown || m_sv.state->CurCam != n)
            return;
        if (!read) {
            m_buttons->show(o, buttonrow::kColorCtl, kOver);
            hidePanels();
            refuse(m_sv.state->texts.ViewMessage[2]);
            return;
        }
        ImgConfig[i] = *read;
        m_buttons->show(o, buttonrow::kColorCtl, kPressed);
        hidePanels();
        ColourPanel& panel = *m_colour[i];
        panel.show();
        panel.raise();
        panel.repaint();
        Updating[i] = true;
        panel.showSettings(ImgConfig[i]);
        Updating[i] = false;
        pauseWithHourglass();
    } catch (const std::exception&) {
        if (self)
            m_waits->hourglass(false);
    }
}

void CombinedWindow::colourChanged(int slot, int index, int value)
{
    const std::size_t i = paneIndex(slot);
    if (Updating[i] || FirstActivate || m_unloaded)
        return;
    ImgConfig[i][kColourSetting[index]] = static_cast<std::int16_t>(value);
    m_colour[i]->showValue(index, value);
    m_colour[i]->repaint();
    // The pane's own settings go to the pane's own camera: only the current camera's pane shows
    // its panel, so this is the current camera.
    QPointer<CombinedWindow> self(this);
    m_waits->hourglass(true);
    writeImageConfig(m_sv.engine->Cam(slot), ImgConfig[i]);
    m_sv.engine->RestartCam(slot);
    if (!self || m_unloaded) {
        if (self)
            m_waits->hourglass(false);
        return;
    }
    m_waits->wait(viewdetail::kApplyWaitMs);
    if (self)
        m_waits->hourglass(false);
}

} // namespace pellucor
