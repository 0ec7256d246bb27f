#include "app/setup/firmware_tftp_window.h"

#include "app/core/app_state.h"
#include "app/core/language_pack.h"
#include "app/setup/progress_window.h"

#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>
#include <system_error>

namespace pellucor {

namespace tftp = tessivor::camproto;

TftpProgressWindow::TftpProgressWindow(DialogContext& context, TftpUploadSettings settings, QWidget* parent)
    : SetupDialog(context, "frmTFTPProgress", parent), m_settings(std::move(settings))
{
    setObjectName("frmTFTPProgress");
    setWindowTitle(tr2("Caption", "Pellucor"));
    m_percent = new QLabel("Label1", this);
    m_percent->setObjectName("lblProgress");
    auto* complete = new QLabel(tr2("lblComplete", "Complete"), this);
    complete->setObjectName("lblComplete");
    QString language = QString::fromStdString(state().Language).toUpper();
    complete->setVisible(language != "DRAVONETTC");
    m_bar = new QProgressBar(this);
    m_bar->setObjectName("progressbar");
    m_bar->setRange(0, ProgressWindow::kBarMaximum);
    m_bar->setTextVisible(false);
    auto* row = new QHBoxLayout;
    row->addWidget(m_percent);
    row->addWidget(complete);
    row->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(m_bar);
    applyProgramFont();
    setMinimumWidth(320);

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
    m_bar->setValue(0);
    m_busy.emplace(*this);
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
    m_bar->setValue(static_cast<int>(std::min<std::uint64_t>(value, ProgressWindow::kBarMaximum)));
    m_percent->setText(percentText(acknowledged, total));
}

void TftpProgressWindow::transferDone()
{
    if (m_ended)
        return;
    m_ended = true;
    m_timeout.stop();
    joinWorker();
    m_busy.reset();
    m_outcome = Outcome::Sent;
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
    if (m_ended)
        return;
    m_ended = true;
    m_timeout.stop();
    joinWorker();
    m_busy.reset();
    m_outcome = Outcome::Failed;
    showMessage(2, MsgStyle::Critical);
    reject();
}

void TftpProgressWindow::timedOut()
{
    if (m_ended)
        return;
    m_ended = true;
    letEventsRun();
    m_client.abort();
    joinWorker();
    letEventsRun();
    m_busy.reset();
    m_outcome = Outcome::TimedOut;
    showMessage(2, MsgStyle::Critical);
    reject();
}

void TftpProgressWindow::joinWorker()
{
    if (m_worker.joinable())
        m_worker.join();
}

} // namespace pellucor
