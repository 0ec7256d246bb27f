#include "app/windows/status_texts.h"

#include "app/core/app_state.h"
#include "app/skin/skin_object.h"
#include "app/windows/view_window_detail.h"

#include <QListWidget>

namespace pellucor {

namespace {

// The button group's widths in the password edition: with and without the colour button.
constexpr int kGroupWithColour = 84;
constexpr int kGroupWithoutColour = 62;
constexpr int kLevelShown = 0;
constexpr int kLevelHidden = 255;

} // namespace

void putStatusLines(SkinObject& root, const AppState& state, const CamInfo& cam)
{
    root.FindObject("IPAddress").SetText(QString::fromStdString(cam.IPAddress));
    root.FindObject("Line").SetText(
        QString::fromStdString(cam.Enable ? state.texts.strOnLine : state.texts.strOffLine));
    root.FindObject("Recording")
        .SetText(cam.Recording ? QString::fromStdString(state.texts.RecText[0]) : QString());
}

void putColourButtonLevel(SkinObject& root, const AppState& state, const CamInfo& cam)
{
    if (!viewdetail::isTcEdition(state.Language))
        return;
    root.FindObject("ColorCtl").SetTransparency(cam.PasswordChecked ? kLevelShown : kLevelHidden);
    root.FindObject("LBtnSet").SetOffset(cam.PasswordChecked ? kGroupWithColour : kGroupWithoutColour);
}

void putMotionText(SkinObject& root, bool motion)
{
    root.FindObject("MotionDetect").SetText(motion ? QStringLiteral("MOTION") : QString());
}

void EventListBox::fill(const std::vector<std::string>& lines)
{
    m_list.clear();
    m_lines = EventLineList();
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2)
        m_lines.add(lines[i], lines[i + 1]);
    for (const std::string& l : m_lines.lines())
        m_list.addItem(QString::fromStdString(l));
}

void EventListBox::add(const std::string& header, const std::string& message)
{
    m_lines.add(header, message);
    m_list.addItem(QString::fromStdString(header));
    m_list.addItem(QString::fromStdString(message));
    const int keep = static_cast<int>(m_lines.lines().size());
    while (m_list.count() > keep)
        delete m_list.takeItem(0);
}

void EventListBox::selectLastLine()
{
    if (m_list.count() > 0)
        m_list.setCurrentRow(m_list.count() - 1);
}

} // namespace pellucor
