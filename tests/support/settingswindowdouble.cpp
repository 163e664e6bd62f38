#include "settingswindowdouble.h"

#include "apperror.h"
#include "controls.h"

#include <QCheckBox>
#include <QLineEdit>

namespace nimbrel::test {

namespace {

using settings::Key;

constexpr Key kBoxKeys[] = {Key::HideHint,    Key::ShowLocation, Key::ShowCurrent, Key::KeepAwake,
                            Key::ShowSummary, Key::ShowHigh,     Key::ShowLow};

Key keyOf(SettingsChoices::Detail detail) {
    switch (detail) {
    case SettingsChoices::Detail::Location:
        return Key::ShowLocation;
    case SettingsChoices::Detail::Current:
        return Key::ShowCurrent;
    case SettingsChoices::Detail::Summary:
        return Key::ShowSummary;
    case SettingsChoices::Detail::High:
        return Key::ShowHigh;
    case SettingsChoices::Detail::Low:
        return Key::ShowLow;
    }
    return Key::ShowLow;
}

Key keyOf(SettingsChoices::DisplayOption option) {
    return option == SettingsChoices::DisplayOption::HideHint ? Key::HideHint : Key::KeepAwake;
}

void storeState(Key key, int state) {
    const char* const text = state == Qt::Checked ? "1" : state == Qt::PartiallyChecked ? "2" : "0";
    try {
        settings::save(key, settings::User::SettingsWindow, QLatin1String(text));
    } catch (const AppError&) {
        // As in the real window: a store that cannot be written loses the value.
    }
}

} // namespace

SettingsWindowDouble::SettingsWindowDouble()
    : Form(FormId::Settings), m_location(new QLineEdit(this)) {
    for (Key key : kBoxKeys)
        m_boxes.insert(key, new QCheckBox(this));
}

void SettingsWindowDouble::onLoad() {
    for (auto it = m_boxes.cbegin(); it != m_boxes.cend(); ++it) {
        const Key key = it.key();
        QCheckBox* box = it.value();
        connect(box, &QCheckBox::toggled, this, [key, box] { storeState(key, box->checkState()); });
    }
    for (auto it = m_boxes.cbegin(); it != m_boxes.cend(); ++it) {
        try {
            setCheckValue(it.value(), settings::whole(it.key(), settings::User::SettingsWindow));
        } catch (const AppError&) {
        }
    }
    m_location->setText(settings::text(Key::Location, settings::User::SettingsWindow));
}

QCheckBox* SettingsWindowDouble::box(Key key) const {
    return m_boxes.value(key);
}

bool SettingsWindowDouble::detailChosen(Detail detail) const {
    return box(keyOf(detail))->checkState() == Qt::Checked;
}

QString SettingsWindowDouble::location() const {
    return m_location->text();
}

bool SettingsWindowDouble::displayOptionChosen(DisplayOption option) const {
    return box(keyOf(option))->checkState() == Qt::Checked;
}

void SettingsWindowDouble::applyStoredDisplayOption(DisplayOption option) {
    const Key key = keyOf(option);
    setCheckValue(box(key), settings::whole(key, settings::User::Display));
}

} // namespace nimbrel::test
