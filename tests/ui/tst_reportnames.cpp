// Users quote error reports from screenshots: a report raised by each window names the procedure
// and line it always named, whatever the code behind it is called.
#include "colourwindow.h"
#include "displaywindow.h"
#include "keywindow.h"
#include "programfolder.h"
#include "sampleweatherservice.h"
#include "settings.h"
#include "settingswindow.h"
#include "testsupport.h"
#include "transfer.h"
#include "weatherrequest.h"

#include <QDir>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>

using namespace nimbrel;
using sample::SampleWeatherService;
using Provoke = std::function<void()>;

class ReportNamesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_service.listen());
        setServiceBaseUrlForTesting(m_service.baseUrl());
        setProgramFolderForTesting(QDir::tempPath() + QStringLiteral("/nimbrel-no-such-folder"));
        sharedTransfer().setTimeLimit(std::chrono::seconds(5));
        Forms::registerFactory(FormId::Settings, [] { return new SettingsWindow; });
        Forms::registerFactory(FormId::Display, [] { return new DisplayWindow; });
        Forms::registerFactory(FormId::ApiKey, [] { return new KeyWindow; });
        Forms::registerFactory(FormId::Colours, [] { return new ColourWindow; });
    }
    void init() {
        m_settings = std::make_unique<test::TempSettings>();
        m_messages = std::make_unique<test::MessageRecorder>();
        m_service.setFault(SampleWeatherService::Fault::None);
        saveSetting(QStringLiteral("Text1"), QStringLiteral("San Diego CA"));
        saveSetting(QStringLiteral("APIKey"), QStringLiteral("demo-key"));
        saveSetting(QStringLiteral("Check4"), QStringLiteral("0"));
    }
    void cleanup() {
        Forms::reset();
        m_messages.reset();
        m_settings.reset();
    }

    void eachWindowReportsUnderItsOldName_data() {
        QTest::addColumn<Provoke>("provoke");
        QTest::addColumn<QString>("procedure");
        QTest::addColumn<int>("line");
        QTest::newRow("settings window: font reset on a store that cannot be written")
            << Provoke([] {
                   QTemporaryFile notAFolder;
                   QVERIFY(notAFolder.open());
                   Forms::get(FormId::Settings);
                   setSettingsFileForTesting(notAFolder.fileName() + QStringLiteral("/x.ini"));
                   Forms::get<SettingsWindow>(FormId::Settings)->resetFont();
               })
            << "Form1.PushButton3_Click" << 100;
        QTest::newRow("display: a tick with an alignment that is no number") << Provoke([] {
            Forms::get<SettingsWindow>(FormId::Settings)->showWeather();
            saveSetting(QStringLiteral("Combo1"), QStringLiteral("abc"));
            Forms::get<DisplayWindow>(FormId::Display)->refreshTick();
        }) << "Form2.Timer1_Timer" << 112;
        QTest::newRow("key window: a key test whose connection is dropped") << Provoke([this] {
            m_service.setFault(SampleWeatherService::Fault::Reset);
            Forms::get<KeyWindow>(FormId::ApiKey)->testKey();
        }) << "Form3.PushButton3_Click" << 102;
        QTest::newRow("colour window: a text colour that is no colour") << Provoke([] {
            saveSetting(QStringLiteral("Font Color"), QStringLiteral("blue"));
            Forms::get(FormId::Colours);
        }) << "Form4.Form_Load" << 110;
    }
    void eachWindowReportsUnderItsOldName() {
        QFETCH(Provoke, provoke);
        QFETCH(QString, procedure);
        QFETCH(int, line);
        provoke();
        const QString where =
            QStringLiteral("\r\nin Nimbrel2021/08/31.%1 at line %2\r\r").arg(procedure).arg(line);
        QStringList reports;
        for (const Message& message : std::as_const(m_messages->messages)) {
            if (message.title == QLatin1String("Application Error"))
                reports.append(message.text);
        }
        QVERIFY2(std::any_of(reports.cbegin(), reports.cend(),
                             [&](const QString& text) { return text.contains(where); }),
                 qPrintable(reports.join(QLatin1String("\n--\n"))));
    }

private:
    SampleWeatherService m_service;
    std::unique_ptr<test::TempSettings> m_settings;
    std::unique_ptr<test::MessageRecorder> m_messages;
};

NIMBREL_TEST_MAIN(ReportNamesTest)
#include "tst_reportnames.moc"
