#pragma once

#include <QString>
#include <QtGlobal>

namespace nimbrel {

// What the other windows read from the settings window, straight from its controls as they
// stand (not from the store: a box ticked a moment ago counts at once). Going through this
// rather than through the window's controls means a renamed control is a build error instead
// of a line silently left out.
class SettingsChoices {
public:
    // The optional lines of the weather text.
    enum class Detail { Location, Current, Summary, High, Low };
    // The options that belong to the display, which reads them as it loads.
    enum class DisplayOption { HideHint, KeepAwake };

    virtual bool detailChosen(Detail detail) const = 0;
    // The place as typed, stored or not.
    virtual QString location() const = 0;
    virtual bool displayOptionChosen(DisplayOption option) const = 0;
    // The stored option, read as the display reads it (keep-awake on when nothing is stored),
    // becomes the window's choice and so is stored in turn. A stored value other than 0 (off),
    // 1 (on) or 2 (greyed) throws and leaves the choice as it was.
    virtual void applyStoredDisplayOption(DisplayOption option) = 0;

protected:
    SettingsChoices() = default;
    ~SettingsChoices() = default;
    SettingsChoices(const SettingsChoices&) = default;
    SettingsChoices& operator=(const SettingsChoices&) = default;
};

// The settings window's choices, loading the window (hidden) when it is not loaded: the display
// and the key window may need them while the window itself is gone. Null when the window offers
// none.
SettingsChoices* settingsChoices();

} // namespace nimbrel
