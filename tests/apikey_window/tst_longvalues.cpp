#include "forms.h"
#include "keywindow.h"
#include "readsetting.h"
#include "settingswindow.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QTest>

#include <memory>

using namespace nimbrel;

// A stored value far longer than a line edit takes by default: showing it in its box must
// neither cut it nor write it back cut, and editing it goes on from its whole length.
class TestLongValues : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        m_settings = std::make_unique<test::TempSettings>();
        m_messages = std::make_unique<test::MessageRecorder>();
        Forms::registerFactory(FormId::Settings, [] { return new SettingsWindow; });
        Forms::registerFactory(FormId::ApiKey, [] { return new KeyWindow; });
    }
    void cleanup() {
        Forms::reset();
        m_messages.reset();
        m_settings.reset();
    }

    void longValuesSurviveTheirBoxes_data() {
        QTest::addColumn<FormId>("window");
        QTest::addColumn<QString>("key");
        QTest::newRow("location, settings window at start-up") << FormId::Settings << "Text1";
        QTest::newRow("key, opening the key window") << FormId::ApiKey << "APIKey";
    }
    void longValuesSurviveTheirBoxes() {
        QFETCH(FormId, window);
        QFETCH(QString, key);
        QString value;
        for (int i = 0; value.size() < 100000; ++i)
            value += QString::number(i) + QLatin1Char(',');
        value.truncate(100000);
        saveSetting(key, value);

        Forms::show(window);
        auto* box = Forms::get(window)->findChild<QLineEdit*>(QStringLiteral("Text1"));
        QVERIFY(box);
        QCOMPARE(m_settings->entries().value(key), value);
        QCOMPARE(box->text().size(), value.size());

        box->setFocus();
        box->end(false);
        QTest::keyClick(box, Qt::Key_X);
        QCOMPARE(m_settings->entries().value(key), value + QLatin1Char('x'));
        QCOMPARE(readSetting(key, ""), value + QLatin1Char('x'));
    }

private:
    std::unique_ptr<test::TempSettings> m_settings;
    std::unique_ptr<test::MessageRecorder> m_messages;
};

NIMBREL_TEST_MAIN(TestLongValues)
#include "tst_longvalues.moc"
