#pragma once

#include "forms.h"
#include "settingschoices.h"
#include "settingsschema.h"

#include <QMap>

class QCheckBox;
class QLineEdit;

namespace nimbrel::test {

// Stands in for the settings window where a test needs its choices but not its layout or its
// commands: a box for each ticked option and the location, filled from the store as the real
// window loads, each box storing its changes as the real one does. A stored value that cannot be
// read leaves its box cleared without a report, so that a test counts only the reports of the
// window it tests.
class SettingsWindowDouble : public Form, public SettingsChoices {
public:
    SettingsWindowDouble();

    void onLoad() override;

    QCheckBox* box(settings::Key key) const;
    QLineEdit* locationBox() const { return m_location; }

    bool detailChosen(Detail detail) const override;
    QString location() const override;
    bool displayOptionChosen(DisplayOption option) const override;
    void applyStoredDisplayOption(DisplayOption option) override;

private:
    QMap<settings::Key, QCheckBox*> m_boxes;
    QLineEdit* m_location;
};

} // namespace nimbrel::test
