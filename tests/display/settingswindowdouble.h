#pragma once

#include "controls.h"
#include "forms.h"
#include "readsetting.h"
#include "settingschoices.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QList>

namespace nimbrel::test {

// Stands in for the settings window: the choices the display reads, held in boxes named as the
// real window's, filled from the store on load and storing every change, as the real window does.
class SettingsWindowDouble : public Form, public SettingsChoices {
public:
    SettingsWindowDouble() : Form(FormId::Settings) {
        for (int i = 1; i <= 7; ++i) {
            auto* box = new QCheckBox(this);
            box->setObjectName(QStringLiteral("Check%1").arg(i));
            m_boxes.append(box);
        }
        m_location = new QLineEdit(this);
        m_location->setObjectName(QStringLiteral("Text1"));
    }

    void onLoad() override {
        for (QCheckBox* box : std::as_const(m_boxes)) {
            const QString key = box->objectName();
            QObject::connect(box, &QCheckBox::stateChanged, box, [key](int state) {
                saveSetting(key, QString::number(state == Qt::Checked            ? 1
                                                 : state == Qt::PartiallyChecked ? 2
                                                                                 : 0));
            });
            const bool displayOption =
                key == QLatin1String("Check1") || key == QLatin1String("Check4");
            const QString stored = readSetting(key, qint64(displayOption ? 0 : 1));
            box->setCheckState(stored == QLatin1String("1") ? Qt::Checked : Qt::Unchecked);
        }
    }

    QCheckBox* box(int number) const { return m_boxes.at(number - 1); }

    bool detailChosen(Detail detail) const override {
        static constexpr int boxOf[] = {2, 3, 5, 6, 7};
        return ticked(boxOf[static_cast<int>(detail)]);
    }
    QString location() const override { return m_location->text(); }
    bool displayOption(DisplayOption option) const override {
        return ticked(option == DisplayOption::HideHint ? 1 : 4);
    }
    void setDisplayOption(DisplayOption option, qint16 value) override {
        setCheckValue(box(option == DisplayOption::HideHint ? 1 : 4), value);
    }

private:
    bool ticked(int number) const { return box(number)->checkState() == Qt::Checked; }

    QList<QCheckBox*> m_boxes;
    QLineEdit* m_location;
};

} // namespace nimbrel::test
