// The upload window (frmTFTPProgress): sends one file to a camera with our TFTP client and shows
// how far it has come. When the last block is acknowledged it hides itself and shows the
// countdown window while the camera installs the firmware; when the server reports an error, or
// nothing is acknowledged for the time-out, it tells the user once and closes without the
// countdown. The transfer runs on a worker thread; its reports reach this window on the UI
// thread. UI thread only.
#pragma once

#include "app/setup/progress_window.h"
#include "app/setup/setup_dialog.h"
#include "camproto/tftp_client.h"

#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace pellucor {

struct TftpUploadSettings
{
    std::string server;         // the camera's address (its engine's RemoteHost)
    std::filesystem::path file; // the local file to send
    std::string remoteName = "TempFW.BIN";
    std::uint16_t port = tessivor::camproto::kTftpPort;
    std::int32_t timeoutMs = 30000;   // without an acknowledged block
    std::int32_t countdownMs = 50000; // the countdown after a good upload
    std::int32_t countdownTickMs = 100;
};

class TftpProgressWindow : public SetupDialog
{
    Q_OBJECT

public:
    enum class Outcome
    {
        None,
        Sent,     // the last block was acknowledged (and the countdown has run)
        NoFile,   // the file is missing or empty: nothing was sent
        Failed,   // the server reported an error or the client gave up
        TimedOut, // nothing acknowledged within the time-out
    };

    TftpProgressWindow(DialogContext& context, TftpUploadSettings settings, QWidget* parent);
    ~TftpProgressWindow() override;

    Outcome outcome() const { return m_outcome; }

protected:
    void onActivate() override;

private:
    void start();
    void progress(std::uint64_t acknowledged, std::uint64_t total);
    void transferDone();
    void transferError();
    void timedOut();
    // The first end of the transfer: stops the time-out and the worker (aborting a transfer that
    // timed out); false for any later end.
    bool end(Outcome outcome);
    void joinWorker();

    TftpUploadSettings m_settings;
    Outcome m_outcome = Outcome::None;
    bool m_started = false;
    bool m_ended = false; // done, error or time-out has been handled: later reports are ignored
    std::uint64_t m_total = 0;
    QTimer m_timeout;
    ProgressWidgets m_widgets;
    tessivor::camproto::TftpWriteClient m_client;
    std::thread m_worker;
    std::optional<Busy> m_busy;
};

} // namespace pellucor
