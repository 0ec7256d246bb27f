#include "app/setup/firmware_tftp_window.h"

#include "app/core/app_state.h"
#include "app/core/language_pack.h"
#include "app/setup/progress_window.h"

#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>

#include <algorithm>
#include <system_error>

namespace pellucor {

namespace tftp = tessivor::camproto;

TftpProgressWindow::TftpProgressWindow(DialogContext& context, TftpUploadSettings settings, QWidget* parent)
    : SetupDialog(context, "frmTFTPProgress", parent), m_settings(std::move(settings))
{
    setObjectName("frmTFTPProgress");
    setWindowTitle(tr2("Caption", "Pellucor"));
    m_widgets = buildProgressWidgets(*this, tr2("lblComplete", "Complete"));
    m_widgets.complete->setVisible(QString::fromStdString(state().Language).toUpper() != "DRAVONETTC");
    applyProgramFont();

    m_timeout.setSingleShot(true);
    m_timeout.setInterval(std::max(1, m_settings.timeoutMs));
    connect(&m_timeout, &QTimer::timeout, this, [this] { timedOut(); });
}

TftpProgressWindow::~TftpProgressWindow()
{
    m_client.abort();
    joinWorker();
}

void TftpProgressWindow::onActivate()
{
    if (m_started)
        return;
    m_started = true;
    // Started from the event loop, so that the window is up before any message box.
    QTimer::singleShot(0, this, [this] { start(); });
}

void TftpProgressWindow::start()
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(m_settings.file, ec);
    // An empty file would give the camera nothing to install and the bar no size.
    if (ec || size == 0) {
        m_outcome = Outcome::NoFile;
        m_ended = true;
        showMessage(1, MsgStyle::Critical);
        reject();
        return;
    }
    m_total = size;
    m_widgets.bar->setValue(0);
    // The window has nothing to press: it stays drawn as it is, so the bar and the percent read
    // plainly while the transfer runs; only closing it is refused.
    m_busy.emplace(*this, Inputs::Kept);
    m_timeout.start();

    QPointer<TftpProgressWindow> self(this);
    auto post = [self](auto fn) {
        if (self)
            QMetaObject::invokeMethod(self.data(), std::move(fn), Qt::QueuedConnection);
    };
    tftp::TftpCallbacks callbacks;
    callbacks.progress = [this, post](std::uint64_t acknowledged, std::uint64_t total) {
        post([this, acknowledged, total] { progress(acknowledged, total); });
    };
    callbacks.done = [this, post] { post([this] { transferDone(); }); };
    callbacks.error = [this, post](tftp::TftpError, const std::string&) {
        post([this] { transferError(); });
    };
    tftp::TftpWriteOptions options;
    options.remoteName = m_settings.remoteName;
    m_worker = std::thread([this, callbacks = std::move(callbacks), options] {
        m_client.upload(m_settings.server, m_settings.port, m_settings.file.string(), options, callbacks);
    });
}

void TftpProgressWindow::progress(std::uint64_t acknowledged, std::uint64_t total)
{
    if (m_ended)
        return;
    m_timeout.start(); // counts again from this report
    if (total == 0)
        total = m_total;
    const auto value = total == 0 ? 0 : acknowledged * ProgressWindow::kBarMaximum / total;
    m_widgets.bar->setValue(static_cast<int>(std::min<std::uint64_t>(value, ProgressWindow::kBarMaximum)));
    m_widgets.percent->setText(percentText(acknowledged, total));
}

bool TftpProgressWindow::end(Outcome outcome)
{
    if (m_ended)
        return false;
    m_ended = true;
    m_timeout.stop();
    if (outcome == Outcome::TimedOut)
        m_client.abort(); // ends the transfer's wait at once
    joinWorker();
    m_busy.reset();
    m_outcome = outcome;
    return true;
}

void TftpProgressWindow::transferDone()
{
    if (!end(Outcome::Sent))
        return;
    hide();
    letEventsRun();
    {
        ProgressWindow countdown(context(), m_settings.countdownMs, this, m_settings.countdownTickMs);
        countdown.runModal();
    }
    accept();
}

void TftpProgressWindow::transferError()
{
    if (!end(Outcome::Failed))
        return;
    showMessage(2, MsgStyle::Critical);
    reject();
}

void TftpProgressWindow::timedOut()
{
    if (!end(Outcome::TimedOut))
        return;
    letEventsRun();
    showMessage(2, MsgStyle::Critical);
    reject();
}

void TftpProgressWindow::joinWorker()
{
    if (m_worker.joinable())
        m_worker.join();
}

} // namespace pellucor
