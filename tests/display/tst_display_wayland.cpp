// The display on a real Wayland compositor (weston, headless): it must cover the output it opens
// on through the shell's full-screen state, since a Wayland client cannot place or size itself.
#include "displayfixture.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

using namespace nimbrel;
using namespace nimbrel::test;

class TestDisplayWayland : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { fixture.setUp(); }
    void cleanup() { fixture.tearDown(); }
    void displayCoversTheOutput();
    void reportStandsOverDisplay();
    void programRunsNatively();

private:
    DisplayFixture fixture;
};

void TestDisplayWayland::displayCoversTheOutput() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
    const QStringList size = qEnvironmentVariable("NIMBREL_OUTPUT_SIZE").split(QLatin1Char('x'));
    QCOMPARE(size.size(), 2);
    const QSize output(size.at(0).toInt(), size.at(1).toInt());
    QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::primaryScreen()->geometry().size(), output, 5000);

    saveSetting(QStringLiteral("Check4"), QStringLiteral("1"));
    DisplayWindow* display = DisplayFixture::openDisplay();
    QVERIFY(QTest::qWaitForWindowExposed(display, 5000));
    QTRY_COMPARE_WITH_TIMEOUT(display->windowHandle()->geometry().size(), output, 5000);
    QVERIFY(display->windowState() & Qt::WindowFullScreen);
    // The band spans the width, the text was fetched and drawn.
    QCOMPARE(DisplayFixture::band(display)->width(), output.width());
    QVERIFY(display->weatherText().contains(QLatin1String("San Diego")));
    // The keep-awake tick on Wayland: no X connection, nothing to fail.
    display->keepAwakeTick();
    QVERIFY(fixture.messages->messages.isEmpty());
}

// weston keeps a separate window in the normal layer, under a full-screen one; a transient child
// of the full-screen window goes into its layer, above it.
void TestDisplayWayland::reportStandsOverDisplay() {
    DisplayWindow* display = DisplayFixture::openDisplay();
    QVERIFY(QTest::qWaitForWindowExposed(display, 5000));
    QMessageBox* report = DisplayFixture::raiseTickReport(display);
    QVERIFY(report);
    QVERIFY(QTest::qWaitForWindowExposed(report, 5000));
    QCOMPARE(report->windowHandle()->transientParent(), display->windowHandle());
}

// The real program, straight into the display: it runs on Wayland itself (no X fallback), asks
// the service as the start button does, and says nothing on standard error about missing X
// pieces.
void TestDisplayWayland::programRunsNatively() {
    QTemporaryDir config;
    QFile ini(config.filePath(QStringLiteral("Corvane.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Nimbrel]\nAPIKey=demo-key\nText1=San Diego CA\nCheck4=1\n");
    ini.close();
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(NIMBREL_BINARY),
                  {QStringLiteral("--show-weather"), QStringLiteral("--service-url"),
                   fixture.service->baseUrl()});
    QVERIFY(program.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(fixture.service->weatherRequestCount(), 3, 20000);
    QCOMPARE(program.state(), QProcess::Running);
    program.terminate();
    QVERIFY(program.waitForFinished(5000));
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    for (const QString& line : errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        QVERIFY2(!line.contains(QLatin1String("X11"), Qt::CaseInsensitive) &&
                     !line.contains(QLatin1String("xcb")) &&
                     !line.contains(QLatin1String("XOpenDisplay")),
                 qPrintable(line));
}

QTEST_MAIN(TestDisplayWayland)
#include "tst_display_wayland.moc"
