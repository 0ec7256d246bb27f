// The About box (frmAbout): the title, the pack's version text, description and disclaimer, a
// button that starts the system-information program, and the pack's tool bar, whose "Version"
// tool shows the pack's version.
#pragma once

#include "app/setup/setup_dialog.h"

namespace pellucor {

struct SettingsContext;

struct AboutResult
{
    bool Cancelled = false;
};

class AboutDialog : public SetupDialog
{
    Q_OBJECT

public:
    AboutDialog(SettingsContext& context, AboutResult& result, QWidget* parent = nullptr);

    // Starts the system-information program; a message when there is none or it does not start.
    void StartSysInfo();
    void toolClicked(const QString& id);

private:
    SettingsContext& m_ctx;
};

} // namespace pellucor
