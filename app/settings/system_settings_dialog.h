// The system settings dialog (frmSysConfig) with its profile commands: storage folders, reserved
// space, file splitting, recycling, scan delay, proxy, player, and Load, Save and Save As of the
// settings profile.
//
// The dialog is modeless. OK checks every field first (a storage list with a ticked folder; with
// the proxy on, a port of digits only in 1 to 65535, whatever its length); a refused OK changes
// no setting and no control. Then it writes the settings, hands the recording and proxy settings
// to the four engines, sets the scan timer, saves the profile, closes and shows the panel again.
//
// Load reads the chosen profile into a copy first: a profile that cannot be read is reported and
// leaves the slots, the cameras and the profile in use as they were. After a Load every field
// shows the loaded settings.
#pragma once

#include "app/setup/setup_dialog.h"

#include <array>
#include <filesystem>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QGroupBox;

namespace pellucor {

struct SettingsContext;

struct SystemSettingsResult
{
    bool Cancelled = true; // False after an OK that applied the settings
};

// True for a port text of decimal digits only whose value is 1 to 65535.
bool validPortText(const QString& text);

class SystemSettingsDialog : public SetupDialog
{
    Q_OBJECT

public:
    // `onClosed` runs once when the dialog closes, however it closes.
    SystemSettingsDialog(SettingsContext& context, std::function<void(const SystemSettingsResult&)> onClosed,
                         QWidget* parent = nullptr);
    ~SystemSettingsDialog() override;

    // The profile commands.
    void cmdLoad();
    void cmdSave();
    void cmdSaveAs();

protected:
    void onCancel() override;

private:
    void loadFields();
    void showSplitValue();
    void showRecycleMode();
    void addStorageRow(const QString& path, bool checked);
    void renumberStorage();
    void addPath();
    void modifyPath();
    void deletePath();
    void browse();
    void ok();
    void finish(bool applied, bool showPanel);
    std::filesystem::path profileFolder() const;

    SettingsContext& m_ctx;
    std::function<void(const SystemSettingsResult&)> m_onClosed;
    SystemSettingsResult m_result;
    bool m_finished = false;
    QString m_curProfilePath;

    QGroupBox* m_fraReserveSpace = nullptr;
    QComboBox* m_reserve = nullptr;
    QComboBox* m_splitMode = nullptr;
    QComboBox* m_splitValue = nullptr;
    QLabel* m_splitUnit = nullptr;
    QTreeWidget* m_storage = nullptr;
    QCheckBox* m_recycle = nullptr;
    QComboBox* m_recycleMode = nullptr;
    QComboBox* m_recycleSpace = nullptr;
    QComboBox* m_recycleTime = nullptr;
    QCheckBox* m_proxy = nullptr;
    QLineEdit* m_proxyAddress = nullptr;
    QLineEdit* m_proxyPort = nullptr;
    QCheckBox* m_bypass = nullptr;
    QComboBox* m_scanDelay = nullptr;
    std::array<QRadioButton*, 2> m_playerMode{};
    QLineEdit* m_playPath = nullptr;
    QPushButton* m_browse = nullptr;
    QLineEdit* m_iniPath = nullptr;
};

} // namespace pellucor
