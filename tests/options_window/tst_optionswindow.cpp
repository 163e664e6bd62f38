#include "optionswindow.h"
#include "programfolder.h"
#include "settings.h"
#include "settingswindow.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QDir>
#include <QTest>
#include <QTimeEdit>

using namespace nimbrel;
using namespace Qt::StringLiterals;
using Store = QMap<QString, QString>;

namespace {

QAbstractButton* control(FormId id, const QString& name) {
    return Forms::get(id)->findChild<QAbstractButton*>(name);
}

// The window's choices in one string: the four boxes, then the three forecast buttons.
QString shown() {
    QString state;
    for (const QString& name : {u"Check1"_s, u"Check2"_s, u"Check3"_s, u"Check4"_s, u"Option1"_s,
                                u"Option2"_s, u"Option3"_s})
        state += control(FormId::Options, name)->isChecked() ? u'1' : u'0';
    return state;
}

QTimeEdit* timeEdit(const QString& name) {
    return Forms::get(FormId::Options)->findChild<QTimeEdit*>(name);
}

} // namespace

class TestOptionsWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        setProgramFolderForTesting(QDir::tempPath() + u"/nimbrel-no-such-folder"_s);
        Forms::registerFactory(FormId::Settings, [] { return new SettingsWindow; });
        Forms::registerFactory(FormId::Options, [] { return new OptionsWindow; });
    }
    void cleanup() { Forms::reset(); }

    void eachChoiceIsStoredAtOnce() {
        test::TempSettings store;
        test::MessageRecorder messages;
        const QString keys[] = {u"Show Time"_s, u"Show Date"_s, u"Show Details"_s, u"Show Symbol"_s,
                                u"Move Text"_s};
        for (int i = 0; i < 5; ++i) {
            control(FormId::Options, u"Check%1"_s.arg(i + 1))->click();
            QCOMPARE(readSetting(keys[i], u"absent"_s), u"1"_s);
        }
        control(FormId::Options, u"Check2"_s)->click();
        for (const auto& [first, key] : {std::pair{1, u"Forecast"_s}, {4, u"Night Mode"_s}}) {
            for (int index : {2, 0, 1}) {
                control(FormId::Options, u"Option%1"_s.arg(first + index))->click();
                QCOMPARE(readSetting(key, u"absent"_s), QString::number(index));
            }
        }
        timeEdit(u"Text1"_s)->setTime(QTime(21, 15));
        timeEdit(u"Text2"_s)->setTime(QTime(7, 5));
        QCOMPARE(readSetting(u"Night From"_s, u"absent"_s), u"21:15"_s);
        QCOMPARE(readSetting(u"Night To"_s, u"absent"_s), u"07:05"_s);
        Forms::unload(FormId::Options);
        QCOMPARE(shown(), u"1011010"_s);
        QVERIFY(control(FormId::Options, u"Check5"_s)->isChecked() &&
                control(FormId::Options, u"Option5"_s)->isChecked());
        QCOMPARE(timeEdit(u"Text1"_s)->text() + timeEdit(u"Text2"_s)->text(), u"21:1507:05"_s);
        QVERIFY(messages.messages.isEmpty());
    }

    void loadingWritesNothing_data() {
        QTest::addColumn<Store>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("report");
        QTest::newRow("spelled another way")
            << Store{{u"Show Date"_s, u"01"_s}, {u"Forecast"_s, u"02"_s}} << "0100001"
            << "";
        QTest::newRow("box not a number")
            << Store{{u"Show Details"_s, u"yes"_s}, {u"Show Time"_s, u"1"_s}} << "1000100"
            << "Form5.Form_Load at line 114\r";
        QTest::newRow("forecast out of range")
            << Store{{u"Forecast"_s, u"3"_s}, {u"Show Symbol"_s, u"1"_s}} << "0001100"
            << "Form5.Form_Load at line 118\r";
        QTest::newRow("time not a time")
            << Store{{u"Night To"_s, u"6.30"_s}, {u"Move Text"_s, u"1"_s}} << "0000100"
            << "Form5.Form_Load at line 124\r";
    }
    void loadingWritesNothing() {
        test::TempSettings store;
        test::MessageRecorder messages;
        QFETCH(Store, stored);
        QFETCH(QString, report);
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            saveSetting(it.key(), it.value());
        QTEST(shown(), "shown");
        QCOMPARE(messages.messages.size(), report.isEmpty() ? 0 : 1);
        QVERIFY(report.isEmpty() || messages.messages.first().text.contains(report));
        QCOMPARE(store.entries(), stored);
    }

    // Its button, the settings window's last row, opens the window; Close and the close box
    // bring the settings window back.
    void openedFromTheSettingsWindowAndLeft() {
        test::TempSettings store;
        Form* settings = Forms::get(FormId::Settings);
        QAbstractButton* button = control(FormId::Settings, u"PushButton8"_s);
        QCOMPARE(button->accessibleName(), u"Clock, Forecast & Night Options"_s);
        QVERIFY(settings->rect().contains(button->geometry()));
        for (const QWidget* other : settings->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY(other == button || other->geometry().bottom() < button->y());
        const QRect above = control(FormId::Settings, u"PushButton7"_s)->geometry();
        const int step = above.y() - control(FormId::Settings, u"PushButton5"_s)->y();
        QCOMPARE(button->geometry(), above.translated(0, step));

        Forms::show(FormId::Settings);
        for (bool closeBox : {false, true}) {
            button->click();
            QVERIFY(Forms::get(FormId::Options)->isVisible());
            QVERIFY(!settings->isVisible());
            if (closeBox)
                Forms::get(FormId::Options)->close();
            else
                control(FormId::Options, u"PushButton1"_s)->click();
            QCOMPARE(Forms::loaded(FormId::Options), nullptr);
            QVERIFY(settings->isVisible());
        }
    }
};

NIMBREL_TEST_MAIN(TestOptionsWindow)
#include "tst_optionswindow.moc"
