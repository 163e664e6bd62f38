#include "commandline.h"
#include "sampleweatherservice.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using nimbrel::CommandLineResult;
using nimbrel::parseCommandLine;
using nimbrel::sample::SampleWeatherService;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// As on a console or over ssh: no X server, no Wayland compositor, no platform asked for.
QProcessEnvironment withoutWindowSystem() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
        env.remove(QLatin1String(name));
    return env;
}

Run runProgram(const QStringList& arguments, QProcessEnvironment env = withoutWindowSystem()) {
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(NIMBREL_BINARY), arguments);
    Run run;
    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished();
        return run;
    }
    run.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    run.out = QString::fromLocal8Bit(program.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(program.readAllStandardError());
    return run;
}

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reading_data();
    void reading();
    void keyInClear();
    void terminalText();
    void realProgramAnswersOnTheConsole();
    void displayOptionFetchesAsTheStartButton_data();
    void displayOptionFetchesAsTheStartButton();
    void screensOnX11();
    void absentXDisplay();
};

void CommandLineTest::reading_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode"); // -1: runs, with the options below
    QTest::addColumn<bool>("display");
    QTest::addColumn<QString>("serviceUrl");
    const QString name = QStringLiteral("nimbrel");
    QTest::newRow("nothing") << QStringList{name} << -1 << false << QString();
    QTest::newRow("display") << QStringList{name, QStringLiteral("--show-weather")} << -1 << true
                             << QString();
    QTest::newRow("loopback service")
        << QStringList{name, QStringLiteral("--service-url"), QStringLiteral("http://127.0.0.1:8/")}
        << -1 << false << QStringLiteral("http://127.0.0.1:8/");
    QTest::newRow("https with =") << QStringList{name, QStringLiteral("--show-weather"),
                                                 QStringLiteral("--service-url=https://w.example")}
                                  << -1 << true << QStringLiteral("https://w.example");
    QTest::newRow("file address") << QStringList{name, QStringLiteral("--service-url"),
                                                 QStringLiteral("file:///etc/passwd")}
                                  << 2 << false << QString();
    QTest::newRow("no host") << QStringList{name, QStringLiteral("--service-url"),
                                            QStringLiteral("http://")}
                             << 2 << false << QString();
    QTest::newRow("ftp") << QStringList{name, QStringLiteral("--service-url"),
                                        QStringLiteral("ftp://example.com")}
                         << 2 << false << QString();
    QTest::newRow("missing value")
        << QStringList{name, QStringLiteral("--service-url")} << 2 << false << QString();
    QTest::newRow("stray argument")
        << QStringList{name, QStringLiteral("London")} << 2 << false << QString();
    QTest::newRow("version") << QStringList{name, QStringLiteral("--version")} << 0 << false
                             << QString();
    QTest::newRow("Qt's options with values") << QStringList{name,
                                                             QStringLiteral("-platform"),
                                                             QStringLiteral("xcb"),
                                                             QStringLiteral("--show-weather"),
                                                             QStringLiteral("--display"),
                                                             QStringLiteral(":5")}
                                              << -1 << true << QString();
    // The request's own path would follow these, and the place and key would go nowhere.
    for (const char* url :
         {"http://127.0.0.1:8/?token=abc", "http://127.0.0.1:8/#x", "http://127.0.0.1:0/"})
        QTest::newRow(url) << QStringList{name, QStringLiteral("--service-url"), QLatin1String(url)}
                           << 2 << false << QString();
}

void CommandLineTest::reading() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(bool, display);
    QFETCH(QString, serviceUrl);
    const CommandLineResult result = parseCommandLine(arguments);
    if (exitCode >= 0) {
        QVERIFY(!result.options);
        QCOMPARE(result.exitCode, exitCode);
        return;
    }
    QVERIFY(result.options);
    QCOMPARE(result.options->showWeather, display);
    QCOMPARE(result.options->serviceUrl, serviceUrl);
}

void CommandLineTest::keyInClear() {
    QVERIFY(nimbrel::sendsKeyInClear(QStringLiteral("http://example.com")));
    QVERIFY(nimbrel::sendsKeyInClear(QStringLiteral("http://192.0.2.7:8080")));
    QVERIFY(!nimbrel::sendsKeyInClear(QStringLiteral("https://example.com")));
    QVERIFY(!nimbrel::sendsKeyInClear(QStringLiteral("http://127.0.0.1:5")));
    QVERIFY(!nimbrel::sendsKeyInClear(QStringLiteral("http://127.8.9.1")));
    QVERIFY(!nimbrel::sendsKeyInClear(QStringLiteral("http://[::1]:5")));
    QVERIFY(!nimbrel::sendsKeyInClear(QStringLiteral("http://LocalHost:5")));
}

// What reaches the terminal about an argument is one line, with no password and no raw control
// character, whether it is a warning or an error.
void CommandLineTest::terminalText() {
    const QString url = QStringLiteral("--service-url=http%1://user:secret@%2/");
    for (const QString& argument :
         {url.arg(QString(), QStringLiteral("192.0.2.7")),
          url.arg(QStringLiteral("s"), QStringLiteral("h/?x")),
          url.arg(QStringLiteral("\n"), QStringLiteral("h")), QStringLiteral("--colour\x1b[31m"),
          QStringLiteral("Lon%1don").arg(QChar(0x2028))}) {
        const QString text = parseCommandLine({QStringLiteral("nimbrel"), argument}).standardError;
        QVERIFY2(text.startsWith(QLatin1String("nimbrel: ")), qPrintable(text));
        QVERIFY2(!text.contains(QLatin1String("secret")), qPrintable(text));
        QCOMPARE(text.indexOf(QLatin1Char('\n')), text.size() - 1);
        for (const QChar c : text.chopped(1))
            QVERIFY2(c.category() != QChar::Other_Control && c.category() != QChar::Separator_Line,
                     qPrintable(text));
    }
}

// What a script sees, even with no window system at all: the version and help on standard output
// with status 0, a wrong command line as one message on standard error with status 2, and Qt's own
// options still accepted.
void CommandLineTest::realProgramAnswersOnTheConsole() {
    Run run = runProgram({QStringLiteral("--version")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("Nimbrel 7.0\n"));

    run = runProgram({QStringLiteral("--help")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(QLatin1String("Usage: nimbrel")), qPrintable(run.out));
    QVERIFY(run.out.contains(QLatin1String("--service-url <url>")));

    run = runProgram({QStringLiteral("--help-all")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(QLatin1String("-platform <name>")), qPrintable(run.out));

    run = runProgram({QStringLiteral("--no-such-option")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QLatin1String("no-such-option")), qPrintable(run.err));

    run = runProgram({QStringLiteral("--service-url"), QStringLiteral("data:,x")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.err.contains(QLatin1String("data:,x")));

    // Qt's option without its value, and --display in its old meaning ahead of another option.
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--service-url")}, QStringList{QStringLiteral("-platform")},
          QStringList{QStringLiteral("--display"), QStringLiteral("--service-url")}}) {
        run = runProgram(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.startsWith(QLatin1String("nimbrel: ")) && run.err.count(u'\n') == 1,
                 qPrintable(run.err));
    }

    run = runProgram(
        {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--version")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("Nimbrel 7.0\n"));
}

// The display straight from the command line asks exactly what a click on the start button in a
// freshly loaded settings window asks, at the address given for this run, wherever the option
// stands among Qt's; on X11 only --display names the server ("X" stands for it, "URL" for the
// service).
void CommandLineTest::displayOptionFetchesAsTheStartButton_data() {
    QTest::addColumn<QString>("arguments");
    QTest::newRow("offscreen") << QStringLiteral(
        "-platform offscreen --show-weather --service-url URL");
    QTest::newRow("first") << QStringLiteral("--show-weather --service-url URL --display X");
    QTest::newRow("last") << QStringLiteral("--display X --service-url URL --show-weather");
    QTest::newRow("before -platform")
        << QStringLiteral("--show-weather -platform xcb --display X --service-url URL");
    QTest::newRow("between") << QStringLiteral(
        "-platform xcb --show-weather --display X --service-url URL");
    QTest::newRow("after -platform")
        << QStringLiteral("-platform xcb --display X --service-url URL --show-weather");
    QTest::newRow("second screen")
        << QStringLiteral("--screen 1 --show-weather --display X --service-url URL");
}

void CommandLineTest::displayOptionFetchesAsTheStartButton() {
    QFETCH(QString, arguments);
    SampleWeatherService service;
    QVERIFY(service.listen());
    QTemporaryDir config;
    QVERIFY(config.isValid());
    QFile ini(config.filePath(QStringLiteral("Corvane.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Nimbrel]\nAPIKey=demo-key\nText1=San Diego CA\n");
    ini.close();

    QProcess program;
    QProcessEnvironment env = withoutWindowSystem();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    program.setProcessEnvironment(env);
    QStringList list = arguments.split(u' ');
    list.replace(list.indexOf(QLatin1String("URL")), service.baseUrl());
    list.replaceInStrings(QRegularExpression(QStringLiteral("^X$")),
                          qEnvironmentVariable("DISPLAY"));
    program.start(QStringLiteral(NIMBREL_BINARY), list);
    QVERIFY(program.waitForStarted());
    // The layout's fetch and the restyle's two; a program that ends early fails at once.
    QTRY_VERIFY_WITH_TIMEOUT(
        service.weatherRequestCount() == 3 || program.state() != QProcess::Running, 20000);
    QVERIFY2(service.weatherRequestCount() == 3, program.readAllStandardError().constData());
    for (const QString& line : service.requestLines())
        QVERIFY2(line.contains(QLatin1String("q=San%20Diego%20CA&APPID=demo-key")),
                 qPrintable(line));
    QCOMPARE(program.state(), QProcess::Running);
    program.terminate();
    if (!program.waitForFinished(5000))
        program.kill();
}

// The suite's X server has two screens of its own sizes (CMakeLists.txt): each is listed, and a
// screen that is not there ends the run with one line.
void CommandLineTest::screensOnX11() {
    QTemporaryDir runtime; // else Qt's warning about a missing one is a second line
    QProcessEnvironment env = withoutWindowSystem();
    env.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    Run run = runProgram({QStringLiteral("--list-screens")}, env);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(
        QRegularExpression(QStringLiteral("^0 \\S+ 1024x768\\+0\\+0\n1 \\S+ 800x600\\+0\\+0\n$"))
            .match(run.out)
            .hasMatch(),
        qPrintable(run.out));
    for (const QString& unknown : {QStringLiteral("HDMI-9"), QStringLiteral("2")}) {
        run = runProgram({QStringLiteral("--show-weather"), QStringLiteral("--screen"), unknown},
                         env);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(
            run.err,
            QStringLiteral("nimbrel: no screen '%1' (--list-screens lists them)\n").arg(unknown));
    }
}

// Qt's X11 plug-in aborts with a screenful when nothing answers at the display it is given.
void CommandLineTest::absentXDisplay() {
    int number = 1000;
    while (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) ||
           QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
        ++number;
    const Run run = runProgram({QStringLiteral("--display"), QStringLiteral(":%1").arg(number)});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.startsWith(QLatin1String("nimbrel: ")) && run.err.count(u'\n') == 1,
             qPrintable(run.err));
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
