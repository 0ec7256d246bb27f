#include "app/windows/skin_buttons.h"

#include "app/core/app_state.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_object.h"
#include "app/windows/view_window_detail.h"

#include <QWidget>

namespace pellucor {

SkinObject& SkinButtons::object(const QString& name) const
{
    return m_skin.RootObject().FindObject(name);
}

SkinObject& SkinButtons::row(int row) const
{
    return object(QString::fromStdString(m_state.HintTable.at(static_cast<std::size_t>(row)).BtnName));
}

int SkinButtons::rowOf(const SkinObject& o) const
{
    const QString name = o.Name();
    for (int r = 0; r < kHintRows; ++r)
        if (name == QString::fromStdString(m_state.HintTable[static_cast<std::size_t>(r)].BtnName))
            return r;
    return -1;
}

QString SkinButtons::image(int row, int state) const
{
    return QString::fromStdString(
        m_state.HintTable.at(static_cast<std::size_t>(row)).BtnStr.at(static_cast<std::size_t>(state)));
}

void SkinButtons::show(SkinObject& o, int row, int state) const
{
    o.SetBitmap(image(row, state));
}

void SkinButtons::show(int r, int state) const
{
    show(row(r), r, state);
}

void SkinButtons::showHints() const
{
    for (int r = 0; r < kHintRows; ++r) {
        const ButtonRow& b = m_state.HintTable[static_cast<std::size_t>(r)];
        object(QString::fromStdString(b.BtnName)).SetHintText(QString::fromStdString(b.BtnStr[kHint]));
    }
}

void SkinButtons::refreshHints(int protocol) const
{
    showHints();
    if (protocol != kProtocolKestra && protocol != kProtocolMultipart)
        row(buttonrow::kAudio).SetHintText(QString());
}

bool SkinButtons::windowButtonFeedback(SkinObject& o, int row, MouseStep step, bool maximised,
                                       bool pinned) const
{
    const bool in = step == MouseStep::In;
    switch (row) {
    case 0:
    case 1:
    case 2:
        if (step == MouseStep::Down)
            show(o, row, kPressed);
        else if (step == MouseStep::Up)
            show(o, row, kReleased);
        else
            show(o, row, in ? kOver : kNormal);
        if (row == buttonrow::kMaximise && in)
            o.SetHintText(QString::fromStdString(maximised ? m_state.MaxHint2 : m_state.MaxHint));
        return true;
    case buttonrow::kOnTop:
        if (step == MouseStep::In || step == MouseStep::Out)
            show(o, row, pinned ? kPressed : (in ? kOver : kNormal));
        return true;
    case buttonrow::kWakeUp:
        if (step == MouseStep::Down)
            show(o, row, kPressed);
        else if (step != MouseStep::Up)
            show(o, row, in ? kOver : kNormal);
        return true;
    default:
        return false;
    }
}

void SkinButtons::toggleOnTop(bool& pinned, QWidget* window) const
{
    SkinObject& o = row(buttonrow::kOnTop);
    pinned = !pinned;
    show(o, buttonrow::kOnTop, pinned ? kPressed : kOver);
    viewdetail::setTopMost(window, pinned);
}

void SkinButtons::wakeUp(SkinObject& o, const std::function<void()>& wakeUp) const
{
    if (wakeUp)
        wakeUp();
    show(o, buttonrow::kWakeUp, kOver);
}

} // namespace pellucor
