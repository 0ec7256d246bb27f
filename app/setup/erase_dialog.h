// The erase confirmation box (frmEraseCamBox): asks whether the current camera's slot is to be
// emptied. The control panel erases the slot itself when the answer is yes. UI thread only.
#pragma once

#include "app/setup/setup_dialog.h"

namespace pellucor {

class EraseCamBox : public SetupDialog
{
    Q_OBJECT

public:
    EraseCamBox(DialogContext& context, bool& confirmed, QWidget* parent);

private:
    bool& m_confirmed;
};

// True when the user confirmed.
bool confirmEraseSlot(DialogContext& context, QWidget* parent);

} // namespace pellucor
