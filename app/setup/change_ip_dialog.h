// The change IP address dialog (frmChangeIPAddress): a fixed address, mask and gateway, or DHCP,
// for a found camera. It checks the three fixed values and that nothing answers at the new
// address yet; it sends nothing to the camera. UI thread only.
#pragma once

#include "app/setup/setup_dialog.h"

#include <functional>
#include <string>

class QLineEdit;
class QRadioButton;

namespace pellucor {

struct ChangeIPValues
{
    bool Cancelled = true;
    std::string IPAddress;
    std::string SubnetMask;
    std::string DefaultGateway;
    std::string MacAddress;
    bool showOptions = true; // both option buttons visible
    bool dhcp = false;       // optDHCP selected
};

// True when something answers on port 80 at the address (the control's CheckIP gives -1). It runs
// on a worker thread while the dialog waits, so it must not touch a widget.
using AddressInUse = std::function<bool(const std::string& address)>;

// True when `text` has at least one part and every dot-separated part is a number 0 to 255.
bool CheckIPFormat(const std::string& text);

class ChangeIPDialog : public SetupDialog
{
    Q_OBJECT

public:
    ChangeIPDialog(DialogContext& context, ChangeIPValues& values, AddressInUse inUse, QWidget* parent);

protected:
    void onActivate() override;
    void onCancel() override;

private:
    void ok();
    // False after refusing the field with message `emptyMessage` or `badMessage`.
    bool checkField(QLineEdit* field, int emptyMessage, int badMessage);

    ChangeIPValues& m_values;
    AddressInUse m_inUse;
    QRadioButton* m_dhcp = nullptr;
    QRadioButton* m_fixed = nullptr;
    QLineEdit* m_ip = nullptr;
    QLineEdit* m_mask = nullptr;
    QLineEdit* m_gateway = nullptr;
};

ChangeIPValues changeIPAddress(DialogContext& context, const ChangeIPValues& in, AddressInUse inUse,
                               QWidget* parent);

} // namespace pellucor
