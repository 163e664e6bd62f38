// The real program left alone on the display while the weather service goes away and comes
// back: the refresh goes on behind the error report, and the reading returns on its own.
#include "sampleweatherservice.h"
#include "xdriver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using nimbrel::sample::SampleWeatherService;
using nimbrel::test::XDriver;

namespace {

// Any pixel other than black, the display's background when no colour is stored (32 bits a
// pixel, the fourth byte unused).
bool hasText(const QByteArray& pixels) {
    for (qsizetype i = 0; i + 2 < pixels.size(); i += 4) {
        if (pixels[i] != 0 || pixels[i + 1] != 0 || pixels[i + 2] != 0)
            return true;
    }
    return false;
}

} // namespace

class EndToEndRecovery : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void readingComesBackWithTheService();
    void cleanupTestCase();

private:
    bool switchServiceOn();
    // A strip across the middle of the screen: the display's middle line (the summary) is drawn
    // there, and it is empty while the display has no reading.
    QRect band() const;
    bool displayUp() const;
    XDriver::Window report() const { return m_x.findViewable(QStringLiteral("Application Error")); }
    // The display carries the program's name as its title too; the settings window is the one
    // that does not cover the screen.
    XDriver::Window settingsWindow() const;

    std::unique_ptr<SampleWeatherService> m_service;
    QTemporaryDir m_config;
    QProcess m_program;
    XDriver m_x;
};

bool EndToEndRecovery::switchServiceOn() {
    m_service = std::make_unique<SampleWeatherService>();
    return m_service->listen(NIMBREL_E2E_PORT);
}

QRect EndToEndRecovery::band() const {
    const QRect screen = m_x.screen();
    return QRect(0, screen.height() / 2 - 30, screen.width(), 60);
}

XDriver::Window EndToEndRecovery::settingsWindow() const {
    const auto all = m_x.topLevels();
    for (const XDriver::Window& w : all) {
        if (w.viewable && w.title.startsWith(QLatin1String("Nimbrel")) &&
            w.geometry != m_x.screen())
            return w;
    }
    return {};
}

bool EndToEndRecovery::displayUp() const {
    const auto all = m_x.topLevels();
    return std::any_of(all.cbegin(), all.cend(), [this](const XDriver::Window& w) {
        return w.viewable && w.geometry == m_x.screen();
    });
}

void EndToEndRecovery::initTestCase() {
    QVERIFY2(m_x.ok(), "needs an X server (run under xvfb-run)");
    QVERIFY(switchServiceOn());
    QVERIFY(m_config.isValid());
    QFile ini(m_config.filePath(QStringLiteral("Corvane.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Nimbrel]\nAPIKey=demo-key\nText1=San Diego CA\nCheck4=0\n");
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

void EndToEndRecovery::readingComesBackWithTheService() {
    XDriver::Window settings;
    QTRY_VERIFY_WITH_TIMEOUT((settings = settingsWindow()).id != 0, 15000);
    // "Show Weather At Full Screen" (twips 120, 660, 7800, 405 at 15 twips a pixel).
    m_x.click(settings.geometry.x() + (120 + 7800 / 2) / 15,
              settings.geometry.y() + (660 + 405 / 2) / 15);
    QTRY_VERIFY_WITH_TIMEOUT(displayUp(), 15000);

    // The reading as drawn: the band has something on it and stays the same across more than
    // one tick. Until the display paints for the first time, the screen still shows what the
    // settings window left there, which can last longer than a quick second look. The check
    // gives the same answer when asked twice in a row, as QTRY does on its last look.
    QByteArray reading;
    QElapsedTimer unchanged;
    const auto readingDrawn = [&] {
        const QByteArray now = m_x.pixels(band());
        if (now != reading || !unchanged.isValid()) {
            reading = now;
            unchanged.start();
            return false;
        }
        return hasText(now) && unchanged.elapsed() >= 1500;
    };
    QTRY_VERIFY_WITH_TIMEOUT(readingDrawn(), 15000);
    QVERIFY(report().id == 0);

    // The service goes away: the next refresh fails and says so, without waiting for anyone. The
    // report stands in a corner, and the reading the display keeps stays readable beside it.
    m_service.reset();
    QTRY_VERIFY_WITH_TIMEOUT(report().id != 0, 30000);
    QCOMPARE(m_x.pixels(band()), reading);
    // Nobody presses OK. The service comes back, the display finds it on its own, and the report
    // of the failed refresh closes itself.
    QVERIFY(switchServiceOn());
    QElapsedTimer sinceReturn;
    sinceReturn.start();
    QTRY_VERIFY_WITH_TIMEOUT(report().id == 0, 30000);
    const qint64 back = sinceReturn.elapsed();
    QVERIFY(m_service->weatherRequestCount() >= 1);
    QCOMPARE(m_x.pixels(band()), reading);
    qInfo("from the service's return to the report gone: %lld ms", back);

    // Escape, then closing the settings window, ends the program as usual.
    const QRect screen = m_x.screen();
    m_x.click(screen.center().x(), screen.center().y());
    m_x.key("Escape");
    QTRY_VERIFY_WITH_TIMEOUT((settings = settingsWindow()).id != 0, 10000);
    m_x.requestClose(settings.id);
    QVERIFY(m_program.waitForFinished(15000));
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);
}

void EndToEndRecovery::cleanupTestCase() {
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished(5000);
    }
}

QTEST_GUILESS_MAIN(EndToEndRecovery)
#include "tst_e2e_recovery.moc"
