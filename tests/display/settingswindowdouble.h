#pragma once

#include "forms.h"
#include "settings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QList>

namespace nimbrel::test {

// Stands in for the settings window: the controls the display reaches by name, filled from the
// store on load and storing every change, as the real window does.
class SettingsWindowDouble : public Form {
public:
    SettingsWindowDouble() : Form(FormId::Form1) {
        for (int i = 1; i <= 7; ++i) {
            auto* box = new QCheckBox(this);
            box->setObjectName(QStringLiteral("Check%1").arg(i));
            m_boxes.append(box);
        }
        auto* location = new QLineEdit(this);
        location->setObjectName(QStringLiteral("Text1"));
    }

    void Form_Load() override {
        for (QCheckBox* box : std::as_const(m_boxes)) {
            const QString key = box->objectName();
            QObject::connect(box, &QCheckBox::stateChanged, box, [key](int state) {
                SaveSetting(key, QString::number(state == Qt::Checked            ? 1
                                                 : state == Qt::PartiallyChecked ? 2
                                                                                 : 0));
            });
            const bool displayOption =
                key == QLatin1String("Check1") || key == QLatin1String("Check4");
            const QString stored = GetSetting(key, qint64(displayOption ? 0 : 1));
            box->setCheckState(stored == QLatin1String("1") ? Qt::Checked : Qt::Unchecked);
        }
    }

    QCheckBox* box(int number) const { return m_boxes.at(number - 1); }

private:
    QList<QCheckBox*> m_boxes;
};

} // namespace nimbrel::test
