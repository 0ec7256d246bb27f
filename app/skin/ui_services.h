// The Qt side of the engine's UI services, message boxes and timers.
//
// Message boxes take the style numbers that the windows pass: 16 critical, 48 exclamation,
// 64 information (each with an OK button), 1 OK and Cancel, and 52, a Yes/No question with the
// exclamation icon. The answer is 1 for OK, 2 for Cancel, 6 for Yes and 7 for No. An empty title gives the
// application's title.
//
// UI thread only.
#pragma once

#include "app/core/engine_ports.h"

#include <QMessageBox>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace pellucor {

inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

struct MessageBoxLook
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
};

// The icon and buttons of a style number. Unknown bits are ignored: an unknown icon shows none,
// an unknown button set shows OK.
MessageBoxLook messageBoxLook(int style);

// The program ends through endProgram() only: making a QtUiServices turns off Qt's own end at the
// last closed window, because the engine saves the profile and stops the cameras first and then
// asks for the end.
class QtUiServices : public UiServices, public MessageBoxes
{
public:
    QtUiServices();

    // The title of every message box that names none, and of the program.
    void setApplicationTitle(const QString& title);
    QString applicationTitle() const;

    // Lets pending window events run (the windows' "DoEvents"), and with them the messages
    // pending for the control windows.
    void processEvents() override;
    // True while processEvents() runs: an event handled now has interrupted a wait.
    bool eventsRunning() const { return m_eventsRunning > 0; }

    // Shows a modal message box owned by `owner` (may be null) and returns the answer code.
    int messageBox(QWidget* owner, const QString& text, int style, const QString& title = QString());

    // The engine's plain box: OK only, no icon, no owner.
    void show(const std::string& text, const std::string& title = {}) override;

    // Ends the program's event loop once the current event has been handled.
    void endProgram();

private:
    int m_eventsRunning = 0;
};

// A repeating timer on the UI thread. The callback runs on every tick while the timer is
// enabled. Changing the interval of a running timer starts the period anew; enabling a stopped
// timer starts a fresh period, enabling a running one leaves it be.
class QtTimer final : public Timer
{
public:
    explicit QtTimer(std::function<void()> onTick, std::int32_t intervalMs = 0, bool enabled = false);

    void setInterval(std::int32_t milliseconds) override;
    std::int32_t interval() const override { return m_timer.interval(); }
    void setEnabled(bool enabled) override;
    bool enabled() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_onTick;
};

// The engine's timers as QtTimer.
class QtTimerFactory final : public TimerFactory
{
public:
    std::unique_ptr<Timer> create(std::int32_t intervalMs, bool enabled, std::function<void()> tick) override;
};

} // namespace pellucor
