#include "commandline.h"
#include "sampleweatherservice.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using nimbrel::CommandLineResult;
using nimbrel::CommandLineStage;
using nimbrel::parseCommandLine;
using nimbrel::sample::SampleWeatherService;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runProgram(const QStringList& arguments) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
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
    void realProgramAnswersOnTheConsole();
    void displayOptionFetchesAsTheStartButton();
};

void CommandLineTest::reading_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode"); // -1: runs, with the options below
    QTest::addColumn<bool>("display");
    QTest::addColumn<QString>("serviceUrl");
    const QString name = QStringLiteral("nimbrel");
    QTest::newRow("nothing") << QStringList{name} << -1 << false << QString();
    QTest::newRow("display") << QStringList{name, QStringLiteral("--display")} << -1 << true
                             << QString();
    QTest::newRow("loopback service")
        << QStringList{name, QStringLiteral("--service-url"), QStringLiteral("http://127.0.0.1:8/")}
        << -1 << false << QStringLiteral("http://127.0.0.1:8/");
    QTest::newRow("https with =") << QStringList{name, QStringLiteral("--display"),
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
}

void CommandLineTest::reading() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(bool, display);
    QFETCH(QString, serviceUrl);
    const CommandLineResult result = parseCommandLine(arguments, CommandLineStage::WithApplication);
    if (exitCode >= 0) {
        QVERIFY(!result.options);
        QCOMPARE(result.exitCode, exitCode);
        return;
    }
    QVERIFY(result.options);
    QCOMPARE(result.options->display, display);
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

// What a script sees: the version and help on standard output with status 0, a wrong command
// line as one message on standard error with status 2, and Qt's own options still accepted.
void CommandLineTest::realProgramAnswersOnTheConsole() {
    Run run = runProgram({QStringLiteral("--version")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("Nimbrel 7.0\n"));

    run = runProgram({QStringLiteral("--help")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(QLatin1String("Usage: nimbrel")), qPrintable(run.out));
    QVERIFY(run.out.contains(QLatin1String("--service-url <url>")));

    run = runProgram({QStringLiteral("--no-such-option")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QLatin1String("no-such-option")), qPrintable(run.err));

    run = runProgram({QStringLiteral("--service-url"), QStringLiteral("data:,x")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.err.contains(QLatin1String("data:,x")));

    run = runProgram(
        {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--version")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("Nimbrel 7.0\n"));
}

// The display straight from the command line asks exactly what a click on the start button in a
// freshly loaded settings window asks, at the address given for this run.
void CommandLineTest::displayOptionFetchesAsTheStartButton() {
    SampleWeatherService service;
    QVERIFY(service.listen());
    QTemporaryDir config;
    QVERIFY(config.isValid());
    QFile ini(config.filePath(QStringLiteral("Corvane.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Nimbrel]\nAPIKey=demo-key\nText1=San Diego CA\n");
    ini.close();

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    program.setProcessEnvironment(env);
    program.start(
        QStringLiteral(NIMBREL_BINARY),
        {QStringLiteral("--display"), QStringLiteral("--service-url"), service.baseUrl()});
    QVERIFY(program.waitForStarted());
    // The layout's fetch and the restyle's two.
    QTRY_COMPARE_WITH_TIMEOUT(service.requestCount(), 3, 20000);
    for (const QString& line : service.requestLines())
        QVERIFY2(line.contains(QLatin1String("q=San%20Diego%20CA&APPID=demo-key")),
                 qPrintable(line));
    QCOMPARE(program.state(), QProcess::Running);
    program.terminate();
    if (!program.waitForFinished(5000))
        program.kill();
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
