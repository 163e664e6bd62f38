#include "settingschoices.h"

#include "forms.h"

namespace nimbrel {

SettingsChoices* settingsChoices() {
    return dynamic_cast<SettingsChoices*>(Forms::get(FormId::Settings));
}

} // namespace nimbrel
