#include "app/setup/setup_dialog.h"

#include "app/core/app_state.h"
#include "app/core/language_pack.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFont>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace pellucor {

DialogPrompts& DialogContext::promptsOrDefault()
{
    static QtDialogPrompts qtPrompts;
    return prompts ? *prompts : qtPrompts;
}

QFont programFont(const AppState& state)
{
    UiSettings ui = state.ui;
    QFont font(QString::fromStdString(ui.FontName));
    font.setPointSizeF(effectiveFontSize(ui));
    if (ui.FontWeight > 0)
        font.setWeight(static_cast<QFont::Weight>(std::clamp(ui.FontWeight, 1, 1000)));
    font.setUnderline(false);
    font.setItalic(false);
    font.setStrikeOut(false);
    return font;
}

void setWholeText(QLineEdit* field, const QString& text, int typingLimit)
{
    field->setMaxLength(std::max(typingLimit, static_cast<int>(text.size())));
    field->setText(text);
}

SetupDialog::SetupDialog(DialogContext& context, std::string section, QWidget* parent)
    : QDialog(parent), m_context(context), m_texts(WindowTexts::load(context.state, section))
{
    // The engine window's icon is the application's.
    setWindowIcon(QApplication::windowIcon());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

SetupDialog::~SetupDialog() = default;

int SetupDialog::runModal()
{
    return exec();
}

QPushButton* SetupDialog::makeButton(const char* key, const QString& builtIn, QWidget* parent)
{
    auto* b = new QPushButton(tr2(key, builtIn), parent ? parent : this);
    b->setObjectName(key);
    b->setAutoDefault(false);
    return b;
}

QHBoxLayout* SetupDialog::okCancelRow(QPushButton* ok, QPushButton* cancel)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

void SetupDialog::applyProgramFont()
{
    setFont(programFont(m_context.state));
}

void SetupDialog::letEventsRun()
{
    if (m_context.processEvents)
        m_context.processEvents();
    else
        QCoreApplication::processEvents();
}

Answer SetupDialog::showText(const QString& text, int style)
{
    return m_context.promptsOrDefault().message(this, text, style);
}

Answer SetupDialog::showMessage(int k, int style)
{
    return showText(m_texts.message(k), style);
}

void SetupDialog::refuseText(QLineEdit* field, const QString& text, int style)
{
    showText(text, style);
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

void SetupDialog::refuse(QLineEdit* field, int k, int style)
{
    refuseText(field, m_texts.message(k), style);
}

int SetupDialog::runChild(QDialog& child)
{
    const int code = child.exec();
    onActivate();
    return code;
}

void SetupDialog::reject()
{
    if (isBusy())
        return;
    onCancel();
}

void SetupDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        onActivate();
    }
}

void SetupDialog::enterBusy(Inputs inputs)
{
    if (m_busy++ == 0)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    if (inputs == Inputs::Off && m_inputsOff++ == 0)
        setEnabled(false);
}

void SetupDialog::leaveBusy(Inputs inputs)
{
    if (inputs == Inputs::Off && --m_inputsOff == 0)
        setEnabled(true);
    if (--m_busy == 0)
        QApplication::restoreOverrideCursor();
}

SetupDialog::Busy::Busy(SetupDialog& dialog, Inputs inputs) : m_dialog(dialog), m_inputs(inputs)
{
    m_dialog.enterBusy(m_inputs);
}

SetupDialog::Busy::~Busy()
{
    m_dialog.leaveBusy(m_inputs);
}

bool SetupDialog::waitUntil(const std::function<bool()>& done, int limitMs)
{
    Busy busy(*this);
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= limitMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void SetupDialog::pauseMs(std::uint32_t ms)
{
    Busy busy(*this);
    if (m_context.pause) {
        m_context.pause(ms);
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(std::min<std::uint32_t>(ms, 3600000u)), &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace pellucor
