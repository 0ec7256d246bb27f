// The Qt side of the engine's UI services and timers.
//
// Message boxes take the style numbers that the windows pass: 16 critical, 48 exclamation,
// 64 information (each with an OK button) and 52, a Yes/No question with the exclamation icon.
// The answer is 1 for OK, 6 for Yes and 7 for No. An empty title gives the application's title.
//
// UI thread only.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QWidget;

namespace pellucor {

inline constexpr int kAnswerOk = 1;
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

// The program ends through endProgram() only: making a UiServices turns off Qt's own end at the
// last closed window, because the engine saves the profile and stops the cameras first and then
// asks for the end.
class UiServices
{
public:
    UiServices();

    // The title of every message box that names none, and of the program.
    void setApplicationTitle(const QString& title);
    QString applicationTitle() const;

    // Lets pending window events run (the windows' "DoEvents").
    void processEvents();

    // Shows a modal message box owned by `owner` (may be null) and returns the answer code.
    int messageBox(QWidget* owner, const QString& text, int style, const QString& title = QString());

    // Ends the program's event loop once the current event has been handled.
    void endProgram();
};

// A repeating timer on the UI thread. The callback runs on every tick while the timer is
// enabled; changing the interval of a running timer starts the period anew, as the windows'
// timers do.
class QtTimer : public QObject
{
    Q_OBJECT

public:
    explicit QtTimer(std::function<void()> onTick, QObject* parent = nullptr);

    void setInterval(int milliseconds);
    int interval() const { return m_timer.interval(); }
    void setEnabled(bool enabled);
    bool enabled() const { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_onTick;
};

} // namespace pellucor
