// The control panel's window, its refresh procedures (text lines, lamps, button pictures) and the
// mouse feedback of its skin buttons. Clicks and actions are in panel_actions.cpp.
#include "app/windows/control_panel.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"
#include "app/core/language_pack.h"
#include "app/core/text_codec.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_object.h"
#include "app/skin/tool_set.h"
#include "app/windows/window_set.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QLocale>
#include <QVBoxLayout>

#include <stdexcept>

namespace pellucor {

namespace {

// Mouse events of the feedback table.
enum FeedbackEvent
{
    kIn,
    kOut,
    kDown,
    kUp,
};

constexpr int kLeftButton = 1;

bool isDirection(int row)
{
    return row >= panelrow::kPadFirst && row <= panelrow::kPadFirst + 3;
}

QString upper(const std::string& s)
{
    return QString::fromStdString(s).toUpper();
}

} // namespace

ControlPanel::ControlPanel(AppState& state, PanelServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_state(state), m_sv(services)
{
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The tool set: its pop-up menus (help and about) open from the panel; the bar itself is not
    // shown, since the skin covers the whole window.
    m_tbr = new SkinToolBar(this);
    if (auto atb = languageFile(m_state, ".atb"))
        m_tbr->LoadToolSet(QString::fromStdString(atb->string()));
    m_tbr->hide();
    connect(m_tbr, &SkinToolBar::ToolClick, this, [this](const QString& id, int) { tbr_ToolClick(id); });

    m_skin = new SkinForm(this);
    layout->addWidget(m_skin);
    const auto skinFile = languageFile(m_state, "_1.skn").value_or(expectedLanguageFile(m_state, "_1.skn"));
    m_skin->SetSkinFile(QString::fromStdString(skinFile.string()));
    connect(m_skin, &SkinForm::MouseIn, this, &ControlPanel::SkinForm1_MouseIn);
    connect(m_skin, &SkinForm::MouseOut, this, &ControlPanel::SkinForm1_MouseOut);
    connect(m_skin, &SkinForm::MouseDown, this,
            [this](SkinObject* obj, int button, int, int) { SkinForm1_MouseDown(obj, button); });
    connect(m_skin, &SkinForm::MouseUp, this,
            [this](SkinObject* obj, int button, int, int) { SkinForm1_MouseUp(obj, button); });
    connect(m_skin, &SkinForm::ObjectClick, this, &ControlPanel::SkinForm1_ObjectClick);

    const QSize skinSize = m_skin->sizeHint();
    const int w = m_state.ui.UIWidth > 0 ? m_state.ui.UIWidth : skinSize.width();
    const int h = m_state.ui.UIHeight > 0 ? m_state.ui.UIHeight : skinSize.height();
    resize(w, h);

    m_state.WindowOpen[0] = true;
    m_firstActivate = true;
    m_state.ExtInfoOn = {};

    m_timer1 = m_sv.timers->create(500, true, [this] { Timer1_Timer(); });
    m_tmrBtnHold = m_sv.timers->create(500, false, [this] { tmrBtnHold_Timer(); });

    RefreshPanelText();
    setFont(
        QFont(QString::fromStdString(m_state.ui.FontName), static_cast<int>(effectiveFontSize(m_state.ui))));
    m_connectHover = false;
}

ControlPanel::~ControlPanel() = default;

void ControlPanel::showPanel()
{
    // A panel shown again after its close is open once more: the engine and the other windows
    // refresh it and the program does not end while it is on screen.
    m_state.WindowOpen[0] = true;
    showNormal();
    raise();
    activateWindow();
    Form_Activate();
}

void ControlPanel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_firstActivate)
        Form_Activate();
}

void ControlPanel::Form_Activate()
{
    guarded("Form_Activate", [&] {
        if (m_firstActivate) {
            setWindowTitle(QString::fromStdString(m_state.texts.AppTitle));
            m_tbr->SetToolText("ID_About", QString::fromStdString(m_state.texts.PopupText[0]));
            m_tbr->SetToolText("ID_Help", QString::fromStdString(m_state.texts.PopupText[1]));
            for (int row = 0; row < kButtonRows; ++row)
                putHint(row);
            RefreshAllLeds();
            for (const char* name : {"Time", "Line1", "Line2", "Line3", "Line4", "Line5", "LineID"}) {
                SkinObject* o = object(name);
                if (!o)
                    continue;
                QFont f = font();
                if (QString(name) == "Time") {
                    f.setPointSize(8);
                } else if (QString(name) == "LineID") {
                    f.setPointSize(36);
                    f.setItalic(true);
                }
                o->SetFont(f);
            }
            RefreshPTPanel();
            m_firstActivate = false;
        }
        ShowBtnBitmap(panelrow::kScan, m_state.ScanModeOn ? btnstate::kPressed : btnstate::kNormal);
        ShowBtnBitmap(panelrow::kCombine, m_state.CombineMode == 1 ? btnstate::kPressed : btnstate::kNormal);
        RefrushCamCfgBtn();
        RefreshPanelText();
    });
}

void ControlPanel::closeEvent(QCloseEvent* event)
{
    // Form_Unload: the panel only hides; the program ends when the last main window is gone.
    event->accept();
    hide();
    m_tmrBtnHold->setEnabled(false);
    m_state.WindowOpen[0] = false;
    if (m_sv.windows)
        m_sv.windows->mainWindowClosed();
}

void ControlPanel::Timer1_Timer()
{
    // The system's short date and long time; a failure only leaves the clock as it was.
    SkinObject* o = object("Time");
    if (!o)
        return;
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    o->SetText(locale.toString(now.date(), QLocale::ShortFormat) + " " +
               locale.toString(now.time(), QLocale::LongFormat));
}

// ---- helpers ----

SkinObject* ControlPanel::object(const QString& name)
{
    SkinObject& root = m_skin->RootObject();
    if (root.Name() == name)
        return &root;
    return root.findDescendant(name);
}

QString ControlPanel::rowName(int row) const
{
    return QString::fromStdString(m_state.ButtonTable.at(static_cast<std::size_t>(row)).BtnName);
}

SkinObject* ControlPanel::rowObject(int row)
{
    return object(rowName(row));
}

const std::string& ControlPanel::btnStr(int row, int state) const
{
    return m_state.ButtonTable.at(static_cast<std::size_t>(row)).BtnStr.at(static_cast<std::size_t>(state));
}

void ControlPanel::putHint(int row)
{
    if (SkinObject* o = rowObject(row))
        o->SetHintText(QString::fromStdString(btnStr(row, 7)));
}

// Shows an object again that a pack without a grey picture hides: its picture is the one of its
// own row (entry 8).
void ControlPanel::showAgain(int row)
{
    SkinObject* o = rowObject(row);
    if (!o)
        return;
    o->SetTransparency(0);
    o->SetPicture(QString::fromStdString(btnStr(row, 8)));
    if (!btnStr(row, 8).empty())
        o->SetPictureRect(QString("0 0 %1 %2").arg(o->Width()).arg(o->Height()));
}

bool ControlPanel::assigned() const
{
    return m_state.cam(m_state.CurCam).Assign;
}
bool ControlPanel::editionS() const
{
    return m_state.Language == "DravonetS";
}
bool ControlPanel::editionTC() const
{
    return upper(m_state.Language) == "DRAVONETTC";
}
bool ControlPanel::editionEng() const
{
    return upper(m_state.Language) == "DRAVONETENG";
}

std::string ControlPanel::panelMessage(int k) const
{
    return m_state.texts.PanelMessage.at(static_cast<std::size_t>(k - 1));
}

// ---- text lines, lamps and button states ----

void ControlPanel::ShowBtnBitmap(int row, int state)
{
    if (!m_state.WindowOpen[0] || row < 0 || row >= kButtonRows || state < 0 || state > 8)
        return;
    if (SkinObject* o = rowObject(row))
        o->SetBitmap(QString::fromStdString(btnStr(row, state)));
}

bool ControlPanel::SetSkinButtonState(const QString& name, bool show)
{
    SkinObject* o = object(name);
    if (!o)
        return false;
    o->SetTransparency(show ? 0 : 255);
    return true;
}

void ControlPanel::ShowLineText(int index, const std::string& text)
{
    static const char* const kLines[] = {"LineID", "Line1", "Line2", "Line3", "Line4", "Line5"};
    if (index < 0 || index > 5)
        return;
    if (SkinObject* o = object(kLines[index]))
        o->SetText(QString::fromStdString(text));
}

std::string ControlPanel::BuildLineText(int camera, int kind) const
{
    const CamInfo& c = m_state.cam(camera);
    const SharedTexts& t = m_state.texts;
    switch (kind) {
    case 1:
        return t.strModel + c.ServerModel;
    case 2:
        return t.strHWVER + c.HWVersion;
    case 3:
        return t.strFWVER + c.FWVersion;
    case 4:
        return t.strROMVER + c.ROMVersion;
    case 5:
        return t.strMACADDR + MacToHexText(c.MacAddress);
    case 6:
        return t.strIPADDR + c.IPAddress;
    case 7:
        return t.strName + c.ServerName;
    default:
        return {};
    }
}

void ControlPanel::RefreshPanelText()
{
    using namespace panelrow;
    using namespace btnstate;
    guarded("RefreshPanelText", [&] {
        const int cur = m_state.CurCam;
        CamInfo& r = m_state.cam(cur);
        ShowLineText(0, std::to_string(cur));
        const bool extInfo = m_state.ExtInfoOn[static_cast<std::size_t>(cur - 1)];
        if (r.Assign) {
            std::string status = r.Enable ? m_state.texts.strOnLine : m_state.texts.strOffLine;
            if (!r.Enable && r.LoginRefused && !m_state.texts.strLoginRefused.empty())
                status += "  " + m_state.texts.strLoginRefused;
            switch (r.RecordMode) {
            case kRecordManual:
                if (r.Recording)
                    status += "  " + m_state.texts.RecText[1];
                else
                    r.RecordMode = kRecordNone;
                break;
            case kRecordSchedule:
            case kRecordMotion:
                status += "  " + m_state.texts.RecText[static_cast<std::size_t>(r.RecordMode)];
                break;
            default:
                break;
            }
            if (!extInfo) {
                ShowLineText(1, r.ServerName);
                ShowLineText(2, r.IPAddress + " : " + std::to_string(r.Port));
                ShowLineText(3, r.ServerLocation);
                ShowLineText(4, "");
                ShowLineText(5, status);
            } else {
                for (int k = 1; k <= 5; ++k)
                    ShowLineText(k,
                                 BuildLineText(cur, m_state.ui.ExtraItem[static_cast<std::size_t>(k - 1)]));
            }
        } else {
            ShowLineText(1, m_state.EmptyText);
            for (int k = 2; k <= 5; ++k)
                ShowLineText(k, "");
        }

        auto enableGray = [&](int row) {
            return m_state.ButtonTable.at(static_cast<std::size_t>(row)).EnableGray;
        };
        if (!m_state.ScanModeOn && r.Assign) {
            for (int row = kAssign; row <= kExtInfo; ++row) {
                if (enableGray(row))
                    ShowBtnBitmap(row, kNormal);
                else
                    showAgain(row);
            }
            if (enableGray(kMotion))
                ShowBtnBitmap(kMotion, kNormal);
            for (int row : {kMotionRec, kScheduleRec, kManualRec})
                showAgain(row);
            for (int row : {kAssign, kConnect, kErase, kExtInfo, kMotionRec, kScheduleRec, kManualRec})
                putHint(row);
            ShowBtnBitmap(kAssign, kNormal);
            ShowBtnBitmap(kConnect, r.Enable ? kPressed : m_connectHover ? kHover : kNormal);
            ShowBtnBitmap(kErase, kNormal);
            ShowBtnBitmap(kExtInfo, extInfo ? kPressed : kNormal);
            if (editionTC())
                ShowBtnBitmap(kMotion, kNormal);
            if (r.Recording) {
                switch (r.RecordMode) {
                case kRecordManual:
                    ShowBtnBitmap(kMotionRec, kNormal);
                    ShowBtnBitmap(kScheduleRec, kNormal);
                    ShowBtnBitmap(kManualRec, kPressed);
                    break;
                case kRecordSchedule:
                    ShowBtnBitmap(kMotionRec, kNormal);
                    ShowBtnBitmap(kScheduleRec, kPressed);
                    ShowBtnBitmap(kManualRec, kNormal);
                    break;
                case kRecordMotion:
                    ShowBtnBitmap(kMotionRec, kPressed);
                    ShowBtnBitmap(kScheduleRec, kNormal);
                    ShowBtnBitmap(kManualRec, kNormal);
                    break;
                default:
                    break;
                }
            } else {
                ShowBtnBitmap(kMotionRec, kNormal);
                ShowBtnBitmap(kScheduleRec, kNormal);
                ShowBtnBitmap(kManualRec, kNormal);
            }
        } else if (!m_state.ScanModeOn) {
            for (int row : {kMotionRec, kScheduleRec, kManualRec})
                ShowBtnBitmap(row, kGray);
            ShowBtnBitmap(kAssign, kNormal);
            for (int row : {kConnect, kErase, kExtInfo})
                ShowBtnBitmap(row, kGray);
            if (editionTC() || (editionS() && enableGray(kMotion)))
                ShowBtnBitmap(kMotion, kGray);
        } else {
            for (int row = kMotionRec; row <= kExtInfo; ++row)
                ShowBtnBitmap(row, kGray);
            if (editionS()) {
                if (enableGray(kMotion))
                    ShowBtnBitmap(kMotion, kGray);
            } else if (enableGray(kCamConf)) {
                ShowBtnBitmap(kCamConf, kGray);
            }
        }
        // Scan mode greys "CamConf" and nothing else draws it again: once scan mode is over, it
        // shows that it works.
        if (!m_state.ScanModeOn && enableGray(kCamConf)) {
            const SkinObject* conf = rowObject(kCamConf);
            if (conf && conf->BitmapName() == QString::fromStdString(btnStr(kCamConf, kGray)))
                ShowBtnBitmap(kCamConf, kNormal);
        }
    });
}

void ControlPanel::LedControl(int lamp, bool on)
{
    if (lamp < 1 || lamp > 12)
        return;
    const int row = panelrow::kLed1 + lamp - 1;
    if (SkinObject* o = rowObject(row))
        o->SetBitmap(QString::fromStdString(btnStr(row, on ? btnstate::kPressed : btnstate::kNormal)));
}

void ControlPanel::RefreshAllLeds()
{
    for (int c = 1; c <= kCameraCount; ++c) {
        const CamInfo& r = m_state.cam(c);
        LedControl(3 * (c - 1) + 3, r.Enable);
        LedControl(3 * (c - 1) + 1, r.Recording);
        LedControl(3 * (c - 1) + 2, false);
    }
}

void ControlPanel::RefrushCamCfgBtn()
{
    using namespace panelrow;
    using namespace btnstate;
    if (editionS())
        return;
    guarded("RefrushCamCfgBtn", [&] {
        m_state.CamConfOn = true;
        const bool tc = editionTC();
        if (tc) {
            if (SkinObject* motion = rowObject(kMotion)) {
                motion->SetStyleCode(18);
                motion->SetHintText(QString::fromStdString(btnStr(kMotion, 7)));
            }
        }
        const CamInfo& r = m_state.cam(m_state.CurCam);
        if (!r.Assign || m_state.ScanModeOn) {
            for (int row : {kWeb, kMotion, kUpdate})
                ShowBtnBitmap(row, kGray);
            putHint(kWeb);
            putHint(kUpdate);
            if (!tc)
                putHint(kMotion);
            return;
        }
        for (int row = kWeb; row <= kUpdate; ++row) {
            if (tc && row == kMotion)
                continue;
            if (row == kUpdate && (r.Protocol == kProtocolKestra || r.Protocol == kProtocolMultipart)) {
                ShowBtnBitmap(row, kGray);
            } else if (m_state.ButtonTable.at(static_cast<std::size_t>(row)).EnableGray) {
                ShowBtnBitmap(row, kNormal);
            } else {
                ShowBtnBitmap(row, kNormal);
                showAgain(row);
                for (const char* label : {"WebText", "MotionText", "UpdateText"})
                    SetSkinButtonState(label, true);
            }
        }
        for (int row : {kWeb, kUpdate, kMotion}) {
            if (tc && row == kMotion)
                continue;
            if (SkinObject* o = rowObject(row)) {
                o->SetStyleCode(18);
                o->SetHintText(QString::fromStdString(btnStr(row, 7)));
            }
        }
    });
}

void ControlPanel::ChkBtnStatus(const QString& name)
{
    const CamInfo& r = m_state.cam(m_state.CurCam);
    if (!r.Assign || !r.PT || m_state.ScanModeOn)
        return;
    for (int row = panelrow::kPadFirst; row <= panelrow::kPadLast; ++row) {
        if (rowName(row) == name)
            continue;
        if (row == panelrow::kPadLast && r.Protocol == kProtocolKestra)
            continue;
        SkinObject* o = rowObject(row);
        if (o && o->BitmapName() != "Main.bmp")
            o->SetBitmapName("Main.bmp");
    }
}

void ControlPanel::RefreshPTPanel()
{
    using namespace panelrow;
    const CamInfo& r = m_state.cam(m_state.CurCam);
    const bool available = r.Assign && !m_state.ScanModeOn && r.PT;
    for (int row = kPadFirst; row <= kPadGroup; ++row) {
        int state = btnstate::kDark;
        if (available)
            state = row == kPadLast && r.Protocol == kProtocolKestra ? btnstate::kGray : btnstate::kNormal;
        ShowBtnBitmap(row, state);
        if (SkinObject* o = rowObject(row)) {
            o->SetHintText(available ? QString::fromStdString(btnStr(row, 7)) : QString());
            o->SetStyleCode(available ? 18 : 2);
        }
    }
}

// ---- mouse feedback ----

// The first of rows 0 to 19 and 32 to 39 whose name equals `name`, or -1.
int ControlPanel::rowOf(const QString& name) const
{
    for (int row = 0; row <= panelrow::kPadLast; ++row) {
        if (row > 19 && row < 32)
            continue;
        if (rowName(row) == name)
            return row;
    }
    return -1;
}

bool ControlPanel::feedbackCondition(int row, int event) const
{
    using namespace panelrow;
    const CamInfo& r = m_state.cam(m_state.CurCam);
    const bool noScan = !m_state.ScanModeOn;
    const bool group = m_state.CamConfOn;
    const bool upDown = event == kDown || event == kUp;
    auto recordSwitch = [&](int mode) {
        return !upDown && r.Assign && noScan && !(r.RecordMode == mode && r.Recording);
    };
    switch (row) {
    case kScan:
        return !upDown && noScan;
    case kCombine:
        return !upDown && m_state.CombineMode == 0;
    case kMotionRec:
        return recordSwitch(3);
    case kScheduleRec:
        return recordSwitch(2);
    case kManualRec:
        return recordSwitch(1);
    case kAssign:
        return noScan;
    case kConnect:
        return !upDown && r.Assign && noScan && !r.Enable;
    case kErase:
        return r.Assign && noScan;
    case kExtInfo:
        if (upDown)
            return r.Assign && noScan;
        return r.Assign && noScan && !m_state.ExtInfoOn[static_cast<std::size_t>(m_state.CurCam - 1)];
    case kWeb:
        return r.Assign && group && noScan;
    case kMotion:
        if (editionS())
            return r.Assign && noScan;
        if (editionTC())
            return event == kOut ? r.Assign && noScan : r.Assign;
        return event == kOut ? r.Assign && noScan : r.Assign && group && noScan;
    case kUpdate:
        return r.Assign && group && noScan && r.Protocol != kProtocolKestra &&
               r.Protocol != kProtocolMultipart;
    case kCamConf:
        return !upDown && noScan && !group && r.Assign;
    default:
        return true; // rows named by the language file and the camera buttons
    }
}

void ControlPanel::feedback(SkinObject* obj, int event, int button)
{
    using namespace panelrow;
    if (!obj)
        return;
    if ((event == kDown || event == kUp) && button != kLeftButton)
        return;
    const QString name = obj->Name();
    const int row = rowOf(name);
    // A press on the lamps, the text lines, "Scan", "Combine" or any other object that is no
    // button here puts the pinned view windows back on top; nothing else reacts to it.
    if (row < 0 || ((event == kDown || event == kUp) && (row == kScan || row == kCombine))) {
        if (event == kDown)
            pinViewsAgain();
        return;
    }
    if (event == kIn && (row <= kCam1 + 3 || row == 32 || row == kCamConf))
        ChkBtnStatus(name);
    if (row == kConnect)
        m_connectHover = event == kIn ? true : event == kOut ? false : m_connectHover;

    if (row >= kPadFirst && row <= kPadLast) {
        const CamInfo& r = m_state.cam(m_state.CurCam);
        if (!(r.Assign && r.PT && !m_state.ScanModeOn) || (row == kPadLast && r.Protocol == kProtocolKestra))
            return;
        switch (event) {
        case kIn:
            ChkBtnStatus(name);
            obj->SetBitmap(QString::fromStdString(btnStr(row, btnstate::kHover)));
            break;
        case kOut:
            obj->SetBitmap(QString::fromStdString(btnStr(row, btnstate::kNormal)));
            if (isDirection(row))
                m_tmrBtnHold->setEnabled(false);
            break;
        case kDown:
            padPress(row);
            break;
        case kUp:
            padRelease(obj, row);
            break;
        }
        return;
    }
    if (!feedbackCondition(row, event))
        return;
    static constexpr int kPicture[] = {btnstate::kHover, btnstate::kNormal, btnstate::kPressed,
                                       btnstate::kNormal};
    obj->SetBitmap(QString::fromStdString(btnStr(row, kPicture[event])));
}

void ControlPanel::pinViewsAgain()
{
    for (int v = 1; v <= kCameraCount; ++v)
        if (m_state.OnTopFlags[static_cast<std::size_t>(v - 1)])
            m_sv.windows->viewPinAgain(v);
}

void ControlPanel::padRelease(SkinObject* obj, int row)
{
    if (obj->BitmapName() == "Down.bmp")
        obj->SetBitmap(QString::fromStdString(btnStr(row, btnstate::kHover)));
    if (isDirection(row))
        m_tmrBtnHold->setEnabled(false);
}

void ControlPanel::SkinForm1_MouseIn(SkinObject* obj)
{
    guarded("SkinForm1_MouseIn", [&] { feedback(obj, kIn, 0); });
}

void ControlPanel::SkinForm1_MouseOut(SkinObject* obj)
{
    guarded("Error SkinForm1_MouseOut", [&] { feedback(obj, kOut, 0); });
}

void ControlPanel::SkinForm1_MouseDown(SkinObject* obj, int button)
{
    guarded("SkinForm1_MouseDown", [&] { feedback(obj, kDown, button); });
}

void ControlPanel::SkinForm1_MouseUp(SkinObject* obj, int button)
{
    guarded("ErrSkinForm1_MouseUp", [&] { feedback(obj, kUp, button); });
}

} // namespace pellucor
