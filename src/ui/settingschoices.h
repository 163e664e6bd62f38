#pragma once

#include <QString>
#include <QtGlobal>

namespace nimbrel {

// What the other windows read from the settings window, straight from its controls as they
// stand (not from the store: a box ticked a moment ago counts at once). Reaching the window
// through this rather than by control names means a renamed control is a build error instead
// of a line silently left out.
class SettingsChoices {
public:
    // The optional lines of the weather text.
    enum class Detail { Location, Current, Summary, High, Low };
    // The options that belong to the display; it fills them in from the store as it loads.
    enum class DisplayOption { HideHint, KeepAwake };

    virtual bool detailChosen(Detail detail) const = 0;
    // The place as typed, stored or not.
    virtual QString location() const = 0;
    virtual bool displayOption(DisplayOption option) const = 0;
    // Sets the option's box as a stored value does: 0 off, 1 on, 2 greyed; anything else
    // throws "Invalid property value".
    virtual void setDisplayOption(DisplayOption option, qint16 value) = 0;

protected:
    SettingsChoices() = default;
    ~SettingsChoices() = default;
    SettingsChoices(const SettingsChoices&) = default;
    SettingsChoices& operator=(const SettingsChoices&) = default;
};

// The settings window's choices. Referring to them loads the window (hidden) when it is not
// loaded, as referring to one of its controls does. Null when the window offers none.
SettingsChoices* settingsChoices();

} // namespace nimbrel
