// The combined window's status lines, motion text and event list. The text objects of the window
// skin describe the current camera; the "Event" button lays that camera's event lines over the
// whole client area, and while they are shown the lines of every new event, of any camera, join
// them (the event log sends them here). The list keeps its own bound like the view window's.
#include "app/windows/combined_window.h"

#include "app/core/app_state.h"
#include "app/core/event_log.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_object.h"
#include "app/windows/skin_buttons.h"
#include "app/windows/status_texts.h"
#include "app/windows/view_window_detail.h"

#include <QFrame>
#include <QListWidget>

#include <exception>

namespace pellucor {

using namespace viewdetail;

void CombinedWindow::buildEventList()
{
    m_frameList = new QFrame(m_client);
    m_listEvent = new QListWidget(m_frameList);
    m_events = std::make_unique<EventListBox>(*m_listEvent);
    m_frameList->hide();
}

QListWidget& CombinedWindow::eventList()
{
    return *m_listEvent;
}

bool CombinedWindow::eventListVisible() const
{
    return m_frameList->isVisibleTo(this);
}

void CombinedWindow::RefrushStatusBar(int n)
{
    if (n < 1 || n > kCameraCount)
        return;
    const AppState& st = *m_sv.state;
    try {
        SkinObject& root = m_skin->RootObject();
        putStatusLines(root, st, st.cam(n));
        putColourButtonLevel(root, st, st.cam(n));
    } catch (const std::exception&) {
        // A skin without one of the text objects shows the ones it has.
    }
}

void CombinedWindow::ShowMotionText(bool shown)
{
    try {
        putMotionText(m_skin->RootObject(), shown);
    } catch (const std::exception&) {
    }
}

void CombinedWindow::RefrushListCtl(int n)
{
    if (n != m_sv.state->CurCam && EventListShown) {
        EventListShown = false;
        ToggleEventList();
    }
}

void CombinedWindow::ToggleEventList()
{
    auto showButton = [&](int image) {
        try {
            m_buttons->show(buttonrow::kEvent, image);
        } catch (const std::exception&) {
            // A skin without the button still shows or hides the list.
        }
    };
    if (!EventListShown) {
        showButton(kOver);
        m_frameList->hide();
        return;
    }
    showButton(kPressed);
    const int c = m_sv.state->CurCam;
    if (m_sv.log && c >= 1 && c <= kCameraCount)
        m_events->fill(m_sv.log->lines(c));
    else
        m_events->fill({});
    m_events->selectLastLine();
    ArrangeEventList();
    m_frameList->show();
    m_frameList->raise();
}

void CombinedWindow::ArrangeEventList()
{
    // Our layout is in pixels already: the list covers the client area from its top left corner.
    const QRect all(QPoint(0, 0), clientSize());
    m_frameList->setGeometry(all);
    m_listEvent->setGeometry(all);
}

void CombinedWindow::addEventLines(const std::string& header, const std::string& message)
{
    m_events->add(header, message);
    m_events->selectLastLine();
}

} // namespace pellucor
