#include "app/settings/system_settings_dialog.h"

#include "app/core/engine.h"
#include "app/core/profile.h"
#include "app/settings/alert_dialogs.h"
#include "app/settings/folder_dialogs.h"
#include "app/settings/settings_context.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <charconv>

namespace fs = std::filesystem;

namespace pellucor {

namespace {

constexpr const char* kProfileFilter = "Configuration Settings (*.ini)|*.ini|Any File (*.*)|*.*";
constexpr const char* kPlayerFilter = "Programs (*)|*|Any File (*.*)|*.*";

QComboBox* combo(QWidget* parent, const char* name, const QStringList& items)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->addItems(items);
    return c;
}

QCheckBox* check(QWidget* parent, const char* name, const QString& text)
{
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(name);
    return c;
}

void setPosition(QComboBox* c, int position)
{
    c->setCurrentIndex(position >= 0 && position < c->count() ? position : 0);
}

bool isDravonet(const std::string& language)
{
    return language == "DravonetS" || language == "Dravonet" ||
           QString::fromStdString(language).toUpper() == "DRAVONETTC";
}

} // namespace

bool validPortText(const QString& text)
{
    const std::string s = text.toStdString();
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const std::size_t first = s.find_first_not_of('0');
    if (first == std::string::npos)
        return false; // all zeros
    if (s.size() - first > 5)
        return false;
    std::int32_t v = 0;
    std::from_chars(s.data() + first, s.data() + s.size(), v);
    return v >= 1 && v <= 65535;
}

SystemSettingsDialog::SystemSettingsDialog(SettingsContext& context,
                                           std::function<void(const SystemSettingsResult&)> onClosed,
                                           QWidget* parent)
    : SetupDialog(context, "frmSysConfig", parent), m_ctx(context), m_onClosed(std::move(onClosed))
{
    setObjectName("frmSysConfig");
    setModal(false);
    // It stays above the other windows; the folder dialogs it opens are its children and come
    // above it all the same.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowTitle(tr2("Caption", "Configuration"));

    // Storage.
    auto* fraLogStorage = new QGroupBox(tr2("fraLogStorage", "Log Storage"), this);
    auto* fraStorageList = new QGroupBox(tr2("fraStorageList", "Storage List"), fraLogStorage);
    m_storage = new QTreeWidget(fraStorageList);
    m_storage->setObjectName("ListViewStorage");
    m_storage->setRootIsDecorated(false);
    m_storage->setHeaderLabels({tr2("colIndex", "Index"), tr2("colPath", "Path")});
    m_storage->header()->setStretchLastSection(true);
    m_storage->setMinimumHeight(120);
    auto* add = makeButton("cmdAddPath", "&Add", fraStorageList);
    auto* modify = makeButton("cmdModify", "&Modify", fraStorageList);
    auto* del = makeButton("cmdDelete", "&Delete", fraStorageList);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(add);
    listButtons->addWidget(modify);
    listButtons->addWidget(del);
    listButtons->addStretch();
    auto* listLayout = new QVBoxLayout(fraStorageList);
    listLayout->addWidget(m_storage);
    listLayout->addLayout(listButtons);

    m_fraReserveSpace = new QGroupBox(tr2("fraReserveSpace", "Single HDD Reserve Space"), fraLogStorage);
    QStringList reserves;
    for (int p = 0; p <= 10; ++p)
        reserves << QString("%1 MB").arg(500 + 50 * p);
    m_reserve = combo(m_fraReserveSpace, "cboReserveSpace", reserves);
    (new QHBoxLayout(m_fraReserveSpace))->addWidget(m_reserve);

    auto* fraSplit = new QGroupBox(tr2("fraSplitRecFile", "Split Recording File"), fraLogStorage);
    m_splitMode = combo(fraSplit, "cboSplitFileMode", {"Split File By Size", "Split File By Time"});
    m_splitValue = combo(fraSplit, "cboSplitFileValue", {"10", "20", "30", "40", "50"});
    m_splitUnit = new QLabel(fraSplit);
    m_splitUnit->setObjectName("lblSplitUnit");
    auto* splitLayout = new QHBoxLayout(fraSplit);
    splitLayout->addWidget(m_splitMode);
    splitLayout->addWidget(m_splitValue);
    splitLayout->addWidget(m_splitUnit);

    auto* fraRecycle = new QGroupBox(fraLogStorage);
    m_recycle = check(fraRecycle, "chkRecycle", tr2("chkRecycle", "Recycle"));
    m_recycleMode = combo(fraRecycle, "cboRecycleMode", {"RECYCLE BY SIZE", "RECYCLE BY TIME"});
    QStringList spaces, hours;
    for (int p = 0; p < 50; ++p) {
        spaces << QString("%1 MB").arg(200 + 200 * p);
        hours << QString("%1 Hr.").arg(2 + 2 * p);
    }
    m_recycleSpace = combo(fraRecycle, "cboRecycleSpaceValue", spaces);
    m_recycleTime = combo(fraRecycle, "cboRecycleTime", hours);
    auto* recycleLayout = new QGridLayout(fraRecycle);
    recycleLayout->addWidget(m_recycle, 0, 0, 1, 3);
    recycleLayout->addWidget(m_recycleMode, 1, 0);
    recycleLayout->addWidget(new QLabel(tr2("lblRecycleUnit", "Reserve HDD space per camera "), fraRecycle),
                             1, 1);
    recycleLayout->addWidget(m_recycleSpace, 1, 2);
    recycleLayout->addWidget(m_recycleTime, 1, 2);

    auto* storageLayout = new QVBoxLayout(fraLogStorage);
    storageLayout->addWidget(fraStorageList);
    storageLayout->addWidget(m_fraReserveSpace);
    storageLayout->addWidget(fraSplit);
    storageLayout->addWidget(fraRecycle);

    // Proxy.
    auto* frm = new QGroupBox(this);
    m_proxy = check(frm, "chkProxyServer", tr2("chkProxyServer", "Proxy Server"));
    m_proxyAddress = new QLineEdit(frm);
    m_proxyAddress->setObjectName("txtProxyServer");
    m_proxyPort = new QLineEdit(frm);
    m_proxyPort->setObjectName("txtProxyServerPort");
    m_bypass = check(frm, "chkBypassProxyServer",
                     tr2("chkBypassProxyServer", "Bypass proxy server for local address  "));
    auto* proxyLayout = new QGridLayout(frm);
    proxyLayout->addWidget(m_proxy, 0, 0, 1, 4);
    proxyLayout->addWidget(new QLabel(tr2("lblProxyServerAddress", "Address:"), frm), 1, 0);
    proxyLayout->addWidget(m_proxyAddress, 1, 1);
    proxyLayout->addWidget(new QLabel(tr2("lblProxyServerPort", "Port:"), frm), 1, 2);
    proxyLayout->addWidget(m_proxyPort, 1, 3);
    proxyLayout->addWidget(m_bypass, 2, 0, 1, 4);

    // Scan delay.
    auto* fraScanDelay = new QGroupBox(tr2("fraScanDelay", "Camera Scan Delay"), this);
    QStringList delays;
    for (int p = 1; p <= 20; ++p)
        delays << QString("%1 Sec.").arg(p);
    m_scanDelay = combo(fraScanDelay, "cboScanDelay", delays);
    (new QHBoxLayout(fraScanDelay))->addWidget(m_scanDelay);

    // Player.
    auto* fraPlayer = new QGroupBox(tr2("fraPlayerSetup", "Player Setup"), this);
    m_playerMode[0] = new QRadioButton(tr2("optPlayerMode(0)", "Windows system default"), fraPlayer);
    m_playerMode[0]->setObjectName("optPlayerMode0");
    m_playerMode[1] = new QRadioButton(tr2("optPlayerMode(1)", "User define"), fraPlayer);
    m_playerMode[1]->setObjectName("optPlayerMode1");
    m_playPath = new QLineEdit(fraPlayer);
    m_playPath->setObjectName("txtPlayPath");
    m_browse = makeButton("cmdBrowse", "&Browse", fraPlayer);
    auto* playerLayout = new QGridLayout(fraPlayer);
    playerLayout->addWidget(m_playerMode[0], 0, 0, 1, 2);
    playerLayout->addWidget(m_playerMode[1], 1, 0, 1, 2);
    playerLayout->addWidget(m_playPath, 2, 0);
    playerLayout->addWidget(m_browse, 2, 1);

    // Profile.
    auto* fraProfile = new QGroupBox(tr2("fraProfile", "Profile"), this);
    m_iniPath = new QLineEdit(fraProfile);
    m_iniPath->setObjectName("txtinipath");
    auto* load = makeButton("cmdLoad", "Load", fraProfile);
    auto* save = makeButton("cmdSave", "Save", fraProfile);
    auto* saveAs = makeButton("cmdSaveAs", "Save As", fraProfile);
    auto* profileLayout = new QGridLayout(fraProfile);
    profileLayout->addWidget(m_iniPath, 0, 0, 1, 3);
    profileLayout->addWidget(load, 1, 0);
    profileLayout->addWidget(save, 1, 1);
    profileLayout->addWidget(saveAs, 1, 2);

    auto* ok = makeButton("cmdOK", "&OK");
    auto* cancel = makeButton("cmdCancel", "&Cancel");
    ok->setDefault(true);
    auto* right = new QVBoxLayout;
    right->addWidget(frm);
    right->addWidget(fraScanDelay);
    right->addWidget(fraPlayer);
    right->addWidget(fraProfile);
    right->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addWidget(fraLogStorage, 1);
    columns->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(okCancelRow(ok, cancel));
    applyProgramFont();

    if (isDravonet(state().Language))
        m_fraReserveSpace->hide();

    loadFields();

    connect(m_splitMode, &QComboBox::activated, this, [this] { showSplitValue(); });
    connect(m_recycleMode, &QComboBox::activated, this, [this] { showRecycleMode(); });
    connect(m_recycle, &QCheckBox::toggled, this, [this](bool on) {
        m_recycleMode->setEnabled(on);
        m_recycleSpace->setEnabled(on);
        m_recycleTime->setEnabled(on);
    });
    connect(m_proxy, &QCheckBox::toggled, this, [this](bool on) {
        m_proxyAddress->setEnabled(on);
        m_proxyPort->setEnabled(on);
        m_bypass->setEnabled(on);
    });
    connect(m_playerMode[1], &QRadioButton::toggled, this, [this](bool user) {
        m_playPath->setEnabled(user);
        m_browse->setEnabled(user);
    });
    connect(add, &QPushButton::clicked, this, &SystemSettingsDialog::addPath);
    connect(modify, &QPushButton::clicked, this, &SystemSettingsDialog::modifyPath);
    connect(del, &QPushButton::clicked, this, &SystemSettingsDialog::deletePath);
    connect(m_browse, &QPushButton::clicked, this, &SystemSettingsDialog::browse);
    connect(load, &QPushButton::clicked, this, &SystemSettingsDialog::cmdLoad);
    connect(save, &QPushButton::clicked, this, &SystemSettingsDialog::cmdSave);
    connect(saveAs, &QPushButton::clicked, this, &SystemSettingsDialog::cmdSaveAs);
    connect(ok, &QPushButton::clicked, this, &SystemSettingsDialog::ok);
    connect(cancel, &QPushButton::clicked, this, [this] { finish(false, true); });
    // The close box closes without applying and without showing the panel.
    connect(this, &QDialog::finished, this, [this] {
        if (!m_finished) {
            m_finished = true;
            if (m_onClosed)
                m_onClosed(m_result);
        }
    });
}

SystemSettingsDialog::~SystemSettingsDialog() = default;

fs::path SystemSettingsDialog::profileFolder() const
{
    return m_ctx.state.paths.homeDir;
}

void SystemSettingsDialog::loadFields()
{
    const SystemSettings& s = state().settings;
    const QString shownPath = state().INIPath == "main.ini"
                                  ? QString::fromStdString((profileFolder() / "main.ini").string())
                                  : QString::fromStdString(state().INIPath);
    m_iniPath->setText(shownPath);
    m_curProfilePath = shownPath;

    setPosition(m_reserve, s.ReserveSpace);
    setPosition(m_splitMode, s.SplitFileMode);
    showSplitValue();

    m_storage->clear();
    const int count = std::clamp(s.StorageCount, 0, kStorageCount);
    for (int k = 1; k <= count; ++k)
        addStorageRow(QString::fromStdString(s.Storage(k).Path), s.Storage(k).Checked);
    if (m_storage->topLevelItemCount() > 0)
        m_storage->setCurrentItem(m_storage->topLevelItem(0));

    setPosition(m_recycleMode, s.RecycleMode);
    setPosition(m_recycleSpace, s.RecycleSpaceValue);
    setPosition(m_recycleTime, s.RecycleTime);
    showRecycleMode();
    m_recycle->setChecked(s.UseRecycleFlag != 0);
    m_recycleMode->setEnabled(m_recycle->isChecked());
    m_recycleSpace->setEnabled(m_recycle->isChecked());
    m_recycleTime->setEnabled(m_recycle->isChecked());

    setWholeText(m_proxyAddress, QString::fromStdString(s.ProxyServerAddress), 100);
    m_proxyPort->setText(QString::number(s.ProxyServerPort));
    m_bypass->setChecked(s.BypassProxyServer);
    m_proxy->setChecked(s.EnableProxy);
    m_proxyAddress->setEnabled(s.EnableProxy);
    m_proxyPort->setEnabled(s.EnableProxy);
    m_bypass->setEnabled(s.EnableProxy);

    setPosition(m_scanDelay, s.ScanDelay);
    m_playerMode[s.PlayerMode == 1 ? 1 : 0]->setChecked(true);
    m_playPath->setText(QString::fromStdString(s.PlayerPath));
    m_playPath->setEnabled(s.PlayerMode == 1);
    m_browse->setEnabled(s.PlayerMode == 1);
}

void SystemSettingsDialog::showSplitValue()
{
    const SystemSettings& s = state().settings;
    // The stored position of the mode shown; a value picked in the other mode is not kept.
    if (m_splitMode->currentIndex() == 1) {
        setPosition(m_splitValue, s.FileTimeLimited);
        m_splitUnit->setText("Min");
    } else {
        setPosition(m_splitValue, s.FileSize);
        m_splitUnit->setText("MB");
    }
}

void SystemSettingsDialog::showRecycleMode()
{
    const bool byTime = m_recycleMode->currentIndex() == 1;
    m_recycleSpace->setVisible(!byTime);
    m_recycleTime->setVisible(byTime);
}

void SystemSettingsDialog::addStorageRow(const QString& path, bool checked)
{
    auto* item = new QTreeWidgetItem(m_storage);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    item->setText(1, path);
    renumberStorage();
}

void SystemSettingsDialog::renumberStorage()
{
    for (int i = 0; i < m_storage->topLevelItemCount(); ++i)
        m_storage->topLevelItem(i)->setText(0, QString::number(i + 1));
}

void SystemSettingsDialog::addPath()
{
    if (m_storage->topLevelItemCount() >= kStorageCount) {
        showMessage(3, MsgStyle::Exclamation);
        return;
    }
    SelectDirResult chosen;
    {
        SelectDirDialog dialog(context(), SelectDirRequest{}, chosen, this);
        runChild(dialog);
    }
    if (chosen.CancelFlag)
        return;
    addStorageRow(QString::fromStdString(chosen.path.string()), chosen.enable);
    m_storage->setCurrentItem(m_storage->topLevelItem(m_storage->topLevelItemCount() - 1));
}

void SystemSettingsDialog::modifyPath()
{
    QTreeWidgetItem* item = m_storage->currentItem();
    if (!item)
        return;
    const int s = m_storage->indexOfTopLevelItem(item) + 1;
    SelectDirRequest request;
    // The first folder cannot be unticked here.
    request.enable = s == 1 || item->checkState(0) == Qt::Checked;
    request.enableLocked = s == 1;
    SelectDirResult chosen;
    {
        SelectDirDialog dialog(context(), request, chosen, this);
        runChild(dialog);
    }
    if (chosen.CancelFlag)
        return;
    item->setText(1, QString::fromStdString(chosen.path.string()));
    item->setCheckState(0, chosen.enable ? Qt::Checked : Qt::Unchecked);
}

void SystemSettingsDialog::deletePath()
{
    if (m_storage->topLevelItemCount() < 2) {
        showMessage(1, MsgStyle::Exclamation);
        return;
    }
    QTreeWidgetItem* item = m_storage->currentItem();
    if (!item)
        return;
    delete m_storage->takeTopLevelItem(m_storage->indexOfTopLevelItem(item));
    renumberStorage();
    m_storage->setCurrentItem(m_storage->topLevelItem(m_storage->topLevelItemCount() - 1));
}

void SystemSettingsDialog::browse()
{
    FileDialogRequest r{{}, kPlayerFilter, state().paths.homeDir, {}};
    if (const auto file = context().promptsOrDefault().openFile(this, r))
        m_playPath->setText(QString::fromStdString(file->string()));
}

void SystemSettingsDialog::ok()
{
    // Every check first: a refused OK changes nothing.
    bool anyTicked = false;
    for (int i = 0; i < m_storage->topLevelItemCount(); ++i)
        anyTicked = anyTicked || m_storage->topLevelItem(i)->checkState(0) == Qt::Checked;
    if (!anyTicked) {
        showMessage(1, MsgStyle::Exclamation);
        return;
    }
    if (m_proxy->isChecked() && !validPortText(m_proxyPort->text())) {
        refuse(m_proxyPort, 2, MsgStyle::Plain);
        return;
    }
    // The controls keep the address in a 260-byte field; a longer one is refused, not cut.
    if (m_proxy->isChecked() && m_proxyAddress->text().toUtf8().size() > kControlTextBytes) {
        refuse(m_proxyAddress, 6, MsgStyle::Exclamation);
        return;
    }

    SystemSettings s = state().settings;
    s.ReserveSpace = static_cast<std::int16_t>(m_reserve->currentIndex());
    s.SplitFileMode = static_cast<std::int16_t>(m_splitMode->currentIndex());
    if (s.SplitFileMode == 0)
        s.FileSize = static_cast<std::int16_t>(m_splitValue->currentIndex());
    else
        s.FileTimeLimited = static_cast<std::int16_t>(m_splitValue->currentIndex());

    s.StorageCount = m_storage->topLevelItemCount();
    for (int i = 0; i < s.StorageCount; ++i) {
        QTreeWidgetItem* item = m_storage->topLevelItem(i);
        s.Storage(i + 1).Path = item->text(1).toStdString();
        s.Storage(i + 1).Checked = item->checkState(0) == Qt::Checked;
    }
    s.ActiveStorage = GetActiveStorage(s);
    if (s.ActiveStorage == 0) {
        s.ActiveStorage = 1;
        s.Storage(1).Checked = true;
    }

    s.UseRecycleFlag = m_recycle->isChecked() ? 1 : 0;
    s.RecycleMode = m_recycleMode->currentIndex();
    s.RecycleSpaceValue = m_recycleSpace->currentIndex();
    s.RecycleTime = m_recycleTime->currentIndex();

    if (m_proxy->isChecked()) {
        s.ProxyServerAddress = m_proxyAddress->text().toStdString();
        s.ProxyServerPort = m_proxyPort->text().toInt();
        s.EnableProxy = true;
        s.BypassProxyServer = m_bypass->isChecked();
    } else {
        s.EnableProxy = false;
    }

    s.ScanDelay = m_scanDelay->currentIndex();
    s.PlayerMode = m_playerMode[1]->isChecked() ? 1 : 0;
    s.PlayerPath = m_playPath->text().toStdString();

    const std::string refused = m_ctx.engine.applySystemSettings(s);
    if (!refused.empty())
        showText(QString("The camera engine refused the settings: ") + QString::fromStdString(refused),
                 MsgStyle::Critical);

    if (m_iniPath->text() != m_curProfilePath) {
        m_curProfilePath = m_iniPath->text();
        m_ctx.engine.setProfilePath(m_curProfilePath.toStdString());
    }
    m_ctx.save(this);
    finish(true, true);
}

void SystemSettingsDialog::finish(bool applied, bool showPanel)
{
    m_result.Cancelled = !applied;
    m_finished = true;
    done(applied ? Accepted : Rejected);
    if (m_onClosed)
        m_onClosed(m_result);
    if (showPanel && m_ctx.host)
        m_ctx.host->showPanel();
}

void SystemSettingsDialog::onCancel()
{
    // Esc and the close box: nothing is applied and the panel is not shown.
    finish(false, false);
}

void SystemSettingsDialog::cmdSave()
{
    if (m_iniPath->text().isEmpty())
        return;
    m_curProfilePath = m_iniPath->text();
    m_ctx.engine.setProfilePath(m_curProfilePath.toStdString());
    m_ctx.save(this);
}

void SystemSettingsDialog::cmdSaveAs()
{
    FileDialogRequest r{"Save Profile As", kProfileFilter, profileFolder(), m_iniPath->text()};
    const auto file = context().promptsOrDefault().saveFile(this, r);
    if (!file)
        return;
    m_iniPath->setText(QString::fromStdString(file->string()));
    m_curProfilePath = m_iniPath->text();
    m_ctx.engine.setProfilePath(m_curProfilePath.toStdString());
    m_ctx.save(this);
}

void SystemSettingsDialog::cmdLoad()
{
    const Answer answer = showMessage(4, MsgStyle::YesNoCancel);
    if (answer == Answer::Cancel || answer == Answer::Ok)
        return;
    DialogPrompts& prompts = context().promptsOrDefault();
    if (answer == Answer::Yes) {
        FileDialogRequest r{"Save Profile", kProfileFilter, profileFolder(), m_iniPath->text()};
        const auto file = prompts.saveFile(this, r);
        if (!file)
            return;
        m_curProfilePath = QString::fromStdString(file->string());
        m_ctx.engine.setProfilePath(file->string());
        m_ctx.save(this);
    }
    FileDialogRequest r{"Open Profile", kProfileFilter, profileFolder(), {}};
    const auto file = prompts.openFile(this, r);
    if (!file)
        return;

    // Read the profile into a copy first: one that cannot be read changes nothing.
    std::string error;
    std::error_code ec;
    AppState trial = state();
    trial.INIPath = file->string();
    if (!fs::is_regular_file(*file, ec))
        error = file->string() + " does not exist";
    else if (!LoadSetting(trial, &error) && error.empty())
        error = "unreadable";
    if (!error.empty()) {
        showText(texts().message(5) + "\n" + QString::fromStdString(error), MsgStyle::Critical);
        return;
    }

    for (int k = 1; k <= kCameraCount; ++k) {
        if (!state().cam(k).Assign)
            continue;
        if (m_ctx.host)
            m_ctx.host->Erase_Fun(k);
    }
    m_iniPath->setText(QString::fromStdString(file->string()));
    m_curProfilePath = m_iniPath->text();
    m_ctx.engine.setProfilePath(file->string());
    m_ctx.engine.setCombineMode(0);
    if (m_ctx.host) {
        m_ctx.host->unloadCombined();
        m_ctx.host->unloadScan();
    }
    if (!m_ctx.engine.loadProfile(file->string(), &error)) {
        // The file changed after it was checked; the slots are empty and stay so.
        showText(texts().message(5) + "\n" + QString::fromStdString(error), MsgStyle::Critical);
        return;
    }
    for (int k = 1; k <= kCameraCount; ++k) {
        if (!state().cam(k).Assign)
            continue;
        m_ctx.engine.PutSettingToCam(k);
        if (state().cam(k).Enable) {
            if (m_ctx.host) {
                m_ctx.host->showView(k);
                m_ctx.host->RefrushStatusBar(k);
            }
            m_ctx.engine.CamStart(k);
        }
    }
    for (int k = 1; k <= kCameraCount; ++k) {
        if (state().cam(k).Enable) {
            m_ctx.engine.setCurrentCamera(k);
            break;
        }
    }
    loadFields();
}

} // namespace pellucor
