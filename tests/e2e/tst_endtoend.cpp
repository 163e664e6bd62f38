// The real program under a real X server with no window manager, against the sample service:
// what a person does on a first evening with Nimbrel.
#include "sampleweatherservice.h"
#include "xdriver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using nimbrel::sample::SampleWeatherService;
using nimbrel::test::XDriver;

namespace {

// Twips of the windows' layouts to pixels at 96 DPI.
int px(int twips) {
    return twips / 15;
}

QPoint centreOf(const QRect& window, int left, int top, int width, int height) {
    return window.topLeft() + QPoint(px(left) + px(width) / 2, px(top) + px(height) / 2);
}

} // namespace

class EndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void fullRoundTrip();
    void cleanupTestCase();

private:
    bool settingsWindowShown() const;
    XDriver::Window settingsWindow() const;

    SampleWeatherService m_service;
    QTemporaryDir m_config;
    QProcess m_program;
    XDriver m_x;
};

void EndToEnd::initTestCase() {
    QVERIFY2(m_x.ok(), "needs an X server (run under xvfb-run)");
    QVERIFY(m_service.listen(NIMBREL_E2E_PORT));
    QVERIFY(m_config.isValid());
    QFile ini(m_config.filePath(QStringLiteral("Corvane.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Nimbrel]\nAPIKey=demo-key\nText1=San Diego CA\n");
    ini.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    m_program.setProcessEnvironment(env);
    m_program.setProcessChannelMode(QProcess::ForwardedChannels);
    m_program.start(QStringLiteral(NIMBREL_E2E_BINARY), {});
    QVERIFY(m_program.waitForStarted());
}

XDriver::Window EndToEnd::settingsWindow() const {
    const auto all = m_x.topLevels();
    for (const auto& w : all) {
        if (w.viewable && w.title.startsWith(QLatin1String("Nimbrel")) &&
            w.geometry.size() == QSize(536, 541))
            return w;
    }
    return {};
}

bool EndToEnd::settingsWindowShown() const {
    return settingsWindow().id != 0;
}

void EndToEnd::fullRoundTrip() {
    // Start-up shows the settings window only and asks the service nothing.
    QTRY_VERIFY_WITH_TIMEOUT(settingsWindowShown(), 15000);
    QCOMPARE(m_service.weatherRequestCount(), 0);
    XDriver::Window settingsWin = settingsWindow();

    // "Show Weather At Full Screen".
    QPoint p = centreOf(settingsWin.geometry, 120, 660, 7800, 405);
    m_x.click(p.x(), p.y());
    QTRY_VERIFY_WITH_TIMEOUT(m_service.weatherRequestCount() >= 3, 15000);
    // The day's forecast is asked once, for the same place with the same key.
    for (QString line : m_service.requestLines()) {
        QCOMPARE(
            line.replace(QLatin1String("/forecast?"), QLatin1String("/weather?")),
            QStringLiteral("GET /data/2.5/weather?q=San%20Diego%20CA&APPID=demo-key HTTP/1.1"));
    }
    auto displayUp = [this] {
        for (const auto& w : m_x.topLevels()) {
            if (w.viewable && w.geometry == m_x.screen())
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(displayUp(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!settingsWindowShown(), 5000);

    // Escape brings the settings window back.
    const QRect screen = m_x.screen();
    m_x.click(screen.center().x(), screen.center().y());
    m_x.key("Escape");
    QTRY_VERIFY_WITH_TIMEOUT(settingsWindowShown(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!displayUp(), 5000);
    // The display's load, and the restyle's two fetches: nothing more for opening it.
    QCOMPARE(m_service.weatherRequestCount(), 3);
    settingsWin = settingsWindow();

    // The API key window: type a key and test it.
    p = centreOf(settingsWin.geometry, 120, 120, 7800, 405);
    m_x.click(p.x(), p.y());
    XDriver::Window keyWin;
    QTRY_VERIFY_WITH_TIMEOUT((keyWin = m_x.findViewable(QStringLiteral("Key Options"))).id != 0,
                             10000);
    // The key box has the focus with its text selected, so typing replaces the stored key.
    m_x.type(QStringLiteral("demo-key"));
    const int before = m_service.weatherRequestCount();
    p = centreOf(keyWin.geometry, 120, 3600, 7800, 405);
    m_x.click(p.x(), p.y());
    QTRY_VERIFY_WITH_TIMEOUT(m_service.weatherRequestCount() == before + 1, 10000);
    QVERIFY2(m_service.requestLines().last().contains(QLatin1String("&APPID=demo-key ")),
             qPrintable(m_service.requestLines().last()));
    // The verdict comes in a message box titled with the program's title; Return dismisses it.
    auto messageBox = [this, &keyWin] {
        return m_x.findViewable(QStringLiteral("Nimbrel"), keyWin.id);
    };
    QTRY_VERIFY_WITH_TIMEOUT(messageBox().id != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_x.focus() == messageBox().id, 10000);
    m_x.key("Return");
    QTRY_VERIFY_WITH_TIMEOUT(messageBox().id == 0, 10000);

    // "OK" hides the key window and shows the settings window.
    p = centreOf(keyWin.geometry, 120, 4095, 7800, 405);
    m_x.click(p.x(), p.y());
    QTRY_VERIFY_WITH_TIMEOUT(settingsWindowShown(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_x.findViewable(QStringLiteral("Key Options")).id == 0, 5000);
    settingsWin = settingsWindow();

    // The colour window, closed with its close box.
    p = centreOf(settingsWin.geometry, 120, 6600, 7800, 405);
    m_x.click(p.x(), p.y());
    auto colourWindow = [this] {
        for (const auto& w : m_x.topLevels()) {
            if (w.viewable && w.geometry.size() == QSize(536, 117))
                return w;
        }
        return XDriver::Window{};
    };
    QTRY_VERIFY_WITH_TIMEOUT(colourWindow().id != 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!settingsWindowShown(), 5000);
    m_x.requestClose(colourWindow().id);
    QTRY_VERIFY_WITH_TIMEOUT(settingsWindowShown(), 10000);

    // Closing the settings window ends the program, the hidden display with it.
    m_x.requestClose(settingsWindow().id);
    QVERIFY(m_program.waitForFinished(15000));
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);

    // Nothing the user set was lost, and the key is still the one typed.
    QFile ini(m_config.filePath(QStringLiteral("Corvane.ini")));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray stored = ini.readAll();
    QVERIFY(stored.contains("demo-key"));
    QVERIFY(stored.contains("San Diego CA"));
}

void EndToEnd::cleanupTestCase() {
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished(5000);
    }
}

QTEST_GUILESS_MAIN(EndToEnd)
#include "tst_endtoend.moc"
