// The Windows build of the program under Wine, on a real X server with no window manager,
// against the sample service: the same evening as the Linux end-to-end test, with the settings
// read back from the registry. Built on Linux; scripts/windows test runs it with
//   NIMBREL_WINE_RUN       the command that runs a Windows program (scripts/lib/wine-exec)
//   NIMBREL_WINE_PROGRAM   the Windows program built against the sample service's port
//   NIMBREL_WINE_BROWSER_LOG  where the prefix's stand-in browser writes each address
// and WINEPREFIX set to a throwaway prefix.
#include "sampleweatherservice.h"
#include "xdriver.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

using nimbrel::sample::SampleWeatherService;
using nimbrel::test::XDriver;

namespace {

const QString kKey = QStringLiteral("HKCU\\Software\\Corvane\\Nimbrel");

int px(int twips) {
    return twips / 15;
}

// Rows of the screen that hold text of the given colour, counted as runs of rows: the lines
// of the display, which are drawn in one colour on a plain background.
int textBands(const QRect& area, unsigned long rgb) {
    Display* x = XOpenDisplay(nullptr);
    if (!x)
        return -1;
    XImage* image = XGetImage(x, DefaultRootWindow(x), area.x(), area.y(), unsigned(area.width()),
                              unsigned(area.height()), AllPlanes, ZPixmap);
    int bands = 0;
    bool inBand = false;
    for (int row = 0; image && row < area.height(); ++row) {
        bool found = false;
        for (int column = 0; column < area.width() && !found; ++column)
            found = (XGetPixel(image, column, row) & 0xffffff) == rgb;
        if (found && !inBand)
            ++bands;
        inBand = found;
    }
    if (image)
        XDestroyImage(image);
    XCloseDisplay(x);
    return bands;
}

} // namespace

class EndToEndWine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void fullRoundTrip();
    void cleanupTestCase();

private:
    // The registry values under the program's key, read with Wine's reg tool.
    QMap<QString, QString> registry() const;
    QProcess::ExitStatus runWine(const QStringList& arguments, QByteArray* output = nullptr) const;
    XDriver::Window settingsWindow() const;
    // A point given in twips in a window's client area.
    QPoint at(const XDriver::Window& window, const QSize& client, int left, int top, int width,
              int height) const;

    SampleWeatherService m_service;
    QProcess m_program;
    XDriver m_x;
    QString m_wine;
};

QProcess::ExitStatus EndToEndWine::runWine(const QStringList& arguments, QByteArray* output) const {
    QProcess process;
    process.start(m_wine, arguments);
    process.waitForFinished(120000);
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitCode() == 0 ? process.exitStatus() : QProcess::CrashExit;
}

QMap<QString, QString> EndToEndWine::registry() const {
    QByteArray output;
    runWine({QStringLiteral("reg"), QStringLiteral("query"), kKey}, &output);
    static const QRegularExpression line(QStringLiteral("^\\s+(.+?)\\s+REG_SZ\\s*(.*?)\\s*$"),
                                         QRegularExpression::MultilineOption);
    QMap<QString, QString> values;
    auto matches = line.globalMatch(QString::fromLocal8Bit(output));
    while (matches.hasNext()) {
        const auto match = matches.next();
        values.insert(match.captured(1), match.captured(2));
    }
    return values;
}

void EndToEndWine::initTestCase() {
    m_wine = qEnvironmentVariable("NIMBREL_WINE_RUN");
    const QString program = qEnvironmentVariable("NIMBREL_WINE_PROGRAM");
    if (m_wine.isEmpty() || program.isEmpty() || qEnvironmentVariableIsEmpty("WINEPREFIX") ||
        qEnvironmentVariableIsEmpty("NIMBREL_WINE_BROWSER_LOG"))
        QSKIP("run by scripts/windows test");
    QVERIFY2(m_x.ok(), "needs an X server (run under xvfb-run)");
    QVERIFY(m_service.listen(NIMBREL_E2E_PORT));
    // A first run, whatever ran before in the prefix.
    runWine({QStringLiteral("reg"), QStringLiteral("delete"), kKey, QStringLiteral("/f")});
    QCOMPARE(runWine({QStringLiteral("reg"), QStringLiteral("add"), kKey, QStringLiteral("/v"),
                      QStringLiteral("APIKey"), QStringLiteral("/t"), QStringLiteral("REG_SZ"),
                      QStringLiteral("/d"), QStringLiteral("demo-key"), QStringLiteral("/f")}),
             QProcess::NormalExit);
    m_program.setProcessChannelMode(QProcess::ForwardedChannels);
    m_program.start(m_wine, {program});
    QVERIFY(m_program.waitForStarted());
}

XDriver::Window EndToEndWine::settingsWindow() const {
    const QRect screen = m_x.screen();
    for (const auto& w : m_x.topLevels()) {
        if (w.viewable && w.title == QLatin1String("Nimbrel") && w.geometry.width() >= 536 &&
            w.geometry.height() >= 541 && w.geometry.width() < 536 + 40 && w.geometry != screen)
            return w;
    }
    return {};
}

// Wine draws the frame itself when no window manager runs; whatever the X window holds beyond
// the client area is frame, as wide on the left as on the right, with the title bar on top.
QPoint EndToEndWine::at(const XDriver::Window& window, const QSize& client, int left, int top,
                        int width, int height) const {
    const int side = (window.geometry.width() - client.width()) / 2;
    const int title = window.geometry.height() - client.height() - side;
    return window.geometry.topLeft() +
           QPoint(side + px(left) + px(width) / 2, title + px(top) + px(height) / 2);
}

void EndToEndWine::fullRoundTrip() {
    const QSize settingsClient(536, 541);
    QTRY_VERIFY_WITH_TIMEOUT(settingsWindow().id != 0, 60000);
    QCOMPARE(m_service.weatherRequestCount(), 0);

    // The first opening writes back the defaults that differ from the window's layout.
    QMap<QString, QString> stored = registry();
    QCOMPARE(stored.value(QStringLiteral("Text1")), QStringLiteral("San Diego CA"));
    for (const char* key : {"Combo1", "Check2", "Check3", "Check5", "Check6", "Check7"})
        QCOMPARE(stored.value(QLatin1String(key)), QStringLiteral("1"));
    QVERIFY(!stored.contains(QStringLiteral("Check4")));

    // "Show Weather At Full Screen".
    XDriver::Window settingsWin = settingsWindow();
    QPoint p = at(settingsWin, settingsClient, 120, 660, 7800, 405);
    m_x.click(p.x(), p.y());
    QTRY_VERIFY_WITH_TIMEOUT(m_service.weatherRequestCount() >= 3, 30000);
    // The day's forecast is asked once, for the same place with the same key.
    for (QString line : m_service.requestLines()) {
        QCOMPARE(
            line.replace(QLatin1String("/forecast?"), QLatin1String("/weather?")),
            QStringLiteral("GET /data/2.5/weather?q=San%20Diego%20CA&APPID=demo-key HTTP/1.1"));
    }
    const QRect screen = m_x.screen();
    auto displayUp = [this, screen] {
        for (const auto& w : m_x.topLevels()) {
            if (w.viewable && w.geometry == screen)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(displayUp(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(settingsWindow().id == 0, 10000);
    // White text on black: the place, the temperature, the summary, low and high.
    QTRY_COMPARE_WITH_TIMEOUT(textBands(screen, 0xffffff), 5, 30000);
    // The display's load ticks the keep-awake box, which stores it.
    QCOMPARE(registry().value(QStringLiteral("Check4")), QStringLiteral("1"));

    // The hint, green in the top left corner, goes when "hide" is typed: read from the keys'
    // virtual-key codes on Windows.
    const QRect hint(screen.topLeft() + QPoint(px(120), px(120)), QSize(px(4575), px(495)));
    QVERIFY(textBands(hint, 0x00ff00) > 0);
    m_x.click(screen.center().x(), screen.center().y());
    m_x.type(QStringLiteral("hide"));
    QTRY_COMPARE_WITH_TIMEOUT(textBands(hint, 0x00ff00), 0, 10000);

    // Escape brings the settings window back.
    m_x.key("Escape");
    QTRY_VERIFY_WITH_TIMEOUT(settingsWindow().id != 0, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!displayUp(), 10000);
    QCOMPARE(m_service.weatherRequestCount(), 3);
    settingsWin = settingsWindow();

    // The API key window: type the key and test it.
    p = at(settingsWin, settingsClient, 120, 120, 7800, 405);
    m_x.click(p.x(), p.y());
    XDriver::Window keyWin;
    QTRY_VERIFY_WITH_TIMEOUT((keyWin = m_x.findViewable(QStringLiteral("Key Options"))).id != 0,
                             20000);
    // Its frame is as wide as the settings window's; its client area follows from that.
    const int frameWidth = settingsWin.geometry.width() - settingsClient.width();
    const int frameHeight = settingsWin.geometry.height() - settingsClient.height();
    const QSize keyClient(keyWin.geometry.width() - frameWidth,
                          keyWin.geometry.height() - frameHeight);
    m_x.type(QStringLiteral("demo-key"));
    const int before = m_service.weatherRequestCount();
    p = at(keyWin, keyClient, 120, 3600, 7800, 405);
    m_x.click(p.x(), p.y());
    QTRY_VERIFY_WITH_TIMEOUT(m_service.weatherRequestCount() == before + 1, 20000);
    QVERIFY2(m_service.requestLines().last().contains(QLatin1String("&APPID=demo-key ")),
             qPrintable(m_service.requestLines().last()));
    auto messageBox = [this, &keyWin] {
        return m_x.findViewable(QStringLiteral("Nimbrel"), keyWin.id);
    };
    QTRY_VERIFY_WITH_TIMEOUT(messageBox().id != 0, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(m_x.focus() == messageBox().id, 10000);
    m_x.key("Return");
    QTRY_VERIFY_WITH_TIMEOUT(messageBox().id == 0, 20000);

    // Its two page buttons go through the shell to the prefix's browser, a stand-in that writes
    // down the address it was given.
    const QString browserLog = qEnvironmentVariable("NIMBREL_WINE_BROWSER_LOG");
    auto opened = [&browserLog] {
        QFile log(browserLog);
        return log.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts)
                   : QStringList();
    };
    p = at(keyWin, keyClient, 120 + 240, 90 + 900, 7320, 405);
    m_x.click(p.x(), p.y());
    QTRY_COMPARE_WITH_TIMEOUT(opened().size(), 1, 20000);
    p = at(keyWin, keyClient, 120 + 240, 1710 + 300, 7320, 405);
    m_x.click(p.x(), p.y());
    QTRY_COMPARE_WITH_TIMEOUT(opened().size(), 2, 20000);
    QCOMPARE(opened(),
             QStringList({QStringLiteral("https://home.openweathermap.org/users/sign_in/"),
                          QStringLiteral("https://en.wikipedia.org/wiki/"
                                         "Application_programming_interface_key")}));

    // "OK" hides the key window and shows the settings window.
    p = at(keyWin, keyClient, 120, 4095, 7800, 405);
    m_x.click(p.x(), p.y());
    QTRY_VERIFY_WITH_TIMEOUT(settingsWindow().id != 0, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(m_x.findViewable(QStringLiteral("Key Options")).id == 0, 10000);

    // Closing the settings window ends the program, the hidden display with it.
    m_x.requestClose(settingsWindow().id);
    QVERIFY(m_program.waitForFinished(60000));
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);

    stored = registry();
    QCOMPARE(stored.value(QStringLiteral("APIKey")), QStringLiteral("demo-key"));
    QCOMPARE(stored.value(QStringLiteral("Text1")), QStringLiteral("San Diego CA"));
    QCOMPARE(stored.value(QStringLiteral("Check4")), QStringLiteral("1"));
}

void EndToEndWine::cleanupTestCase() {
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished(5000);
    }
}

QTEST_GUILESS_MAIN(EndToEndWine)
#include "tst_endtoend_wine.moc"
