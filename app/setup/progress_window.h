// The countdown window (frmProgress): fills its bar in even steps over OpTime milliseconds, then
// hides itself, shows its completion message and closes. It watches nothing; it only waits.
// UI thread only.
#pragma once

#include "app/setup/setup_dialog.h"

#include <QTimer>

#include <cstdint>

class QLabel;
class QProgressBar;

namespace pellucor {

// How far the bar (0 to 1000) moves per tick to fill in `opTimeMs`: rounded half to even, at
// least 1, and a time below one tick counts as one tick, so every count ends.
std::int32_t progressStep(std::int32_t opTimeMs, std::int32_t intervalMs);
// "37%": `part` of `whole` in whole percent, rounded half to even; "0%" when `whole` is 0.
QString percentText(std::uint64_t part, std::uint64_t whole);

// What both progress windows show: the percentage, the "Complete" label and the bar (0 to 1000),
// laid out on `window`.
struct ProgressWidgets
{
    QLabel* percent = nullptr;
    QLabel* complete = nullptr;
    QProgressBar* bar = nullptr;
};
ProgressWidgets buildProgressWidgets(QWidget& window, const QString& completeText);

class ProgressWindow : public SetupDialog
{
    Q_OBJECT

public:
    static constexpr std::int32_t kBarMaximum = 1000;

    // `intervalMs` is the tick (100 ms in the program).
    ProgressWindow(DialogContext& context, std::int32_t opTimeMs, QWidget* parent,
                   std::int32_t intervalMs = 100);

protected:
    void onActivate() override;

private:
    void tick();

    std::int32_t m_opTime;
    std::int32_t m_step = 1;
    QTimer m_timer;
    ProgressWidgets m_widgets;
};

} // namespace pellucor
