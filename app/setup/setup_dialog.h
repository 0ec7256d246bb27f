// The base of every setup and settings dialog, and what the dialogs share.
//
// The modal pattern: the opener owns a result struct with defaults (a `Cancelled` flag first,
// True until the dialog says otherwise), builds the dialog with a reference to it, runs it with
// runModal() and destroys it; the result outlives the dialog. Entry functions wrap the three
// steps (showModal below).
//
// Activation: onActivate() runs when the dialog is first shown and again each time a child
// dialog that it opened through runChild() returns; that is when the dialogs fill their fields
// from the records. Focus changes between other windows do not count.
//
// Busy: while a Busy scope is alive, Esc and the close box do nothing, the dialog's inputs are
// disabled and the pointer is the hourglass. Waits (waitUntil, pauseMs) run a local event loop,
// so control events and timers go on; the user's input does not reach the disabled dialog.
//
// Texts: the dialog reads its section of the language text file once, when it is built; fonts
// come from the pack's "_1.ini" settings. UI thread only.
#pragma once

#include "app/setup/dialog_prompts.h"
#include "app/setup/window_texts.h"
#include "app/skin/worker_call.h"

#include <QDateTime>
#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

class QHBoxLayout;
class QLineEdit;
class QPushButton;

namespace pellucor {

struct AppState;

// What every dialog needs of the program. The defaults are the real ones; tests replace them.
struct DialogContext
{
    explicit DialogContext(AppState& s) : state(s) {}

    AppState& state;
    DialogPrompts* prompts = nullptr; // QtDialogPrompts when null
    // Lets pending window and control events run ("DoEvents").
    std::function<void()> processEvents;
    // The local date and time that the dialogs preset their pickers from.
    std::function<QDateTime()> now;
    // A fixed wait in milliseconds; a local event loop of that length when not set.
    std::function<void(std::uint32_t)> pause;

    DialogPrompts& promptsOrDefault();
};

class SetupDialog : public QDialog
{
    Q_OBJECT

public:
    SetupDialog(DialogContext& context, std::string section, QWidget* parent);
    ~SetupDialog() override;

    // Shows the dialog modally and returns when it has closed (QDialog::exec).
    int runModal();
    bool isBusy() const { return m_busy > 0; }

    // What a busy dialog does with its inputs: turned off (drawn greyed), or kept as they are for a
    // window that has none the user could press and only shows how far a job has got.
    enum class Inputs
    {
        Off,
        Kept
    };

    // Marks the dialog busy for its lifetime (nests): the close box and Esc are refused and the
    // pointer is the busy one.
    class Busy
    {
    public:
        explicit Busy(SetupDialog& dialog, Inputs inputs = Inputs::Off);
        ~Busy();
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        SetupDialog& m_dialog;
        Inputs m_inputs;
    };

    // Runs the local event loop until `done` holds or `limitMs` passes; inputs are disabled
    // meanwhile. True when `done` held.
    bool waitUntil(const std::function<bool()>& done, int limitMs);
    // A fixed wait with inputs disabled (through the context's pause when it has one).
    void pauseMs(std::uint32_t ms);
    // Runs `call`, a camera call that may take its whole time-out, on a worker thread named
    // `threadName` while this dialog waits busy (worker_call.h): pictures and timers go on, the
    // inputs are off and the pointer is the busy one. Returns what the call returned. The call
    // must not touch a widget.
    template <typename F> auto callCamera(const char* threadName, F call)
    {
        Busy busy(*this);
        return callOnWorker(this, threadName, std::move(call));
    }

    const WindowTexts& texts() const { return m_texts; }
    DialogContext& context() { return m_context; }
    AppState& state() { return m_context.state; }

protected:
    // The key's text of this dialog's section, else the built-in text.
    QString tr2(std::string_view key, const QString& builtIn) const { return m_texts.text(key, builtIn); }
    // A button named `key` with the key's text as its caption (`builtIn` without the pack); it is
    // not the default button. Its parent is `parent`, or this dialog.
    QPushButton* makeButton(const char* key, const QString& builtIn, QWidget* parent = nullptr);
    // The row of OK and Cancel at the right that ends most dialogs.
    static QHBoxLayout* okCancelRow(QPushButton* ok, QPushButton* cancel);

    // Shows message k of this dialog's section in a box of `style` with the application title.
    Answer showMessage(int k, int style);
    Answer showText(const QString& text, int style);
    // Shows message k, then puts the focus into `field` with its whole text selected.
    void refuse(QLineEdit* field, int k, int style);
    void refuseText(QLineEdit* field, const QString& text, int style);

    // Shows `child` modally over this dialog; when it returns, this dialog is activated again.
    int runChild(QDialog& child);

    virtual void onActivate() {}
    // Esc and the close box when the dialog is not busy; the default closes it as rejected.
    virtual void onCancel() { QDialog::reject(); }

    // The program's font on this dialog and every widget in it.
    void applyProgramFont();
    void letEventsRun();

    void reject() override;
    void showEvent(QShowEvent* event) override;

private:
    void enterBusy(Inputs inputs);
    void leaveBusy(Inputs inputs);

    DialogContext& m_context;
    WindowTexts m_texts;
    int m_busy = 0;
    int m_inputsOff = 0; // the busy marks that turned the inputs off
    bool m_activated = false;
};

// The modal pattern in one call: builds D(context, result, parent), runs it modally, destroys
// it and returns the result.
template <typename D, typename R, typename C> R showModal(C& context, QWidget* parent)
{
    R result;
    {
        D dialog(context, result, parent);
        dialog.runModal();
    }
    return result;
}

// Puts `text` into `field`, whose typing limit is `typingLimit` characters; a longer stored text
// is shown whole (the limit grows to it), so that reading a field back never cuts a stored value.
void setWholeText(QLineEdit* field, const QString& text, int typingLimit);

// The program font of the pack's "_1.ini" settings.
QFont programFont(const AppState& state);

} // namespace pellucor
