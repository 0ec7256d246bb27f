#include "app/setup/firmware_dialog.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"
#include "app/skin/worker_call.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <stdlib.h>

#include <exception>
#include <optional>
#include <string>
#include <system_error>

namespace pellucor {

namespace {

// A folder of our own (mode 0700) with the temporary copy in it; both are removed on every path.
class PrivateCopy
{
public:
    PrivateCopy(const std::filesystem::path& base, const std::filesystem::path& source, const char* name)
    {
        std::error_code ec;
        std::filesystem::path root = base.empty() ? std::filesystem::temp_directory_path(ec) : base;
        std::string pattern = (root / "pellucor-fw-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            return;
        m_folder = pattern;
        m_file = m_folder / name;
        std::filesystem::copy_file(source, m_file, std::filesystem::copy_options::overwrite_existing, ec);
        if (ec)
            m_file.clear();
    }
    ~PrivateCopy()
    {
        std::error_code ec;
        if (!m_folder.empty())
            std::filesystem::remove_all(m_folder, ec);
    }
    PrivateCopy(const PrivateCopy&) = delete;
    PrivateCopy& operator=(const PrivateCopy&) = delete;

    // Empty when the copy could not be made.
    const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_file;
};

bool usableFile(const QString& name)
{
    std::error_code ec;
    const std::filesystem::path p = name.toStdString();
    return !name.isEmpty() && std::filesystem::is_regular_file(p, ec) &&
           std::filesystem::file_size(p, ec) > 0 && !ec;
}

} // namespace

FirmwareDialog::FirmwareDialog(FirmwareContext& context, int camera, FirmwareResult& result, QWidget* parent)
    : SetupDialog(context, "frmUpdateFW", parent), m_ctx(context), m_cam(camera), m_result(result)
{
    setObjectName("frmUpdateFW");
    setWindowTitle(tr2("Caption", "Update Firmware"));
    auto* frame = new QGroupBox(tr2("frameUpdateFirmware", "Update Firmware"), this);
    frame->setObjectName("frameUpdateFirmware");
    auto* label = new QLabel(tr2("lblFirmwarePath", "Firmware file:"), frame);
    label->setObjectName("lblFirmwarePath");
    m_file = new QLineEdit(frame);
    m_file->setObjectName("txtFirmwareFileName");
    auto* browseButton = makeButton("cmdBrowse", "Browse...", frame);
    auto* update = makeButton("cmdUpdateFirmware", "Update");
    auto* cancel = makeButton("cmdCancel", "Cancel");

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browseButton);
    auto* inFrame = new QVBoxLayout(frame);
    inFrame->addWidget(label);
    inFrame->addLayout(fileRow);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(okCancelRow(update, cancel));
    applyProgramFont();
    setMinimumWidth(420);

    connect(browseButton, &QPushButton::clicked, this, [this] { browse(); });
    connect(update, &QPushButton::clicked, this, [this] { updateFirmware(); });
    connect(cancel, &QPushButton::clicked, this, [this] { QDialog::reject(); });
}

void FirmwareDialog::browse()
{
    FileDialogRequest request;
    request.title = "Open";
    request.filter = "Firmware (*.bin)|*.bin|Any File (*.*)|*.*";
    request.initialFolder = state().paths.homeDir;
    if (auto chosen = m_ctx.promptsOrDefault().openFile(this, request))
        m_file->setText(QString::fromStdString(chosen->string()));
}

void FirmwareDialog::updateFirmware()
{
    try {
        runUpdate();
    } catch (const std::exception&) {
        // A failing control ends the update quietly, as any error of this handler does.
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        hide();
        letEventsRun();
    }
}

void FirmwareDialog::runUpdate()
{
    const int c = m_cam;
    const CamInfo& ci = state().cam(c);
    const bool wasEnabled = ci.Enable;
    if (ci.Recording && showMessage(3, MsgStyle::YesNoExclamation) == Answer::No) {
        if (m_ctx.refreshConfigButtons)
            m_ctx.refreshConfigButtons();
        m_ctx.engine.RefreshStatus();
        return;
    }
    // A missing or empty file: nothing is stopped or sent.
    if (!usableFile(m_file->text())) {
        refuse(m_file, 1, MsgStyle::Exclamation);
        return;
    }
    m_result.Cancelled = false;
    Engine& engine = m_ctx.engine;
    engine.CamStop(c);
    CameraControl& camera = engine.Cam(c);
    std::int32_t answer = 0;
    {
        // A camera that does not answer holds the request for its whole time-out.
        Busy busy(*this);
        answer = callOnWorker(this, "fw-request", [&camera] { return camera.RequestDownload(); });
    }
    if (answer != 0) {
        showMessage(2, MsgStyle::Exclamation);
        // The camera was stopped only for the upload that is not coming: it runs again.
        if (wasEnabled)
            engine.CamStart(c);
    } else {
        {
            PrivateCopy copy(m_ctx.tempFolder, m_file->text().toStdString(), "TempFW.BIN");
            if (!copy.file().empty()) {
                TftpUploadSettings upload;
                upload.server = engine.Cam(c).get(TextProp::RemoteHost);
                upload.file = copy.file();
                upload.remoteName = "TempFW.BIN";
                upload.port = m_ctx.tftpPort;
                upload.timeoutMs = m_ctx.tftpTimeoutMs;
                upload.countdownMs = m_ctx.countdownMs;
                upload.countdownTickMs = m_ctx.countdownTickMs;
                TftpProgressWindow window(context(), std::move(upload), this);
                runChild(window);
            }
        }
        probeAndRecord(c, wasEnabled);
        pauseMs(200);
    }
    hide();
    letEventsRun();
}

void FirmwareDialog::probeAndRecord(int c, bool wasEnabled)
{
    Engine& engine = m_ctx.engine;
    CameraControl& cam = engine.Cam(c);
    // The probe, and the found protocol of some families, ask the camera over the network: all of
    // it runs on the worker, and the record takes the answer afterwards.
    std::optional<ProbedCamera> found;
    {
        Busy busy(*this);
        found = callOnWorker(this, "fw-probe", [&cam] { return probeCamera(cam); });
    }
    if (found)
        engine.applyProbedCamera(c, *found, wasEnabled);
}

void runFirmwareDialog(FirmwareContext& context, int camera, QWidget* owner)
{
    FirmwareResult result;
    FirmwareDialog dialog(context, camera, result, owner);
    dialog.runModal();
}

} // namespace pellucor
