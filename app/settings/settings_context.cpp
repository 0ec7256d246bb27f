#include "app/settings/settings_context.h"

#include "app/core/profile.h"

namespace pellucor {

bool SettingsContext::save(QWidget* owner)
{
    std::string error;
    const bool saved = saveSetting ? saveSetting(&error) : SaveSetting(state, &error);
    if (!saved)
        promptsOrDefault().message(owner, QString::fromStdString("The settings could not be saved: " + error),
                                   MsgStyle::Critical);
    return saved;
}

} // namespace pellucor
