#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// The real program asked to stop from outside (a log-out's SIGTERM, a closed terminal's SIGHUP,
// Ctrl+C): it ends through its normal quit, exit code 0, instead of dying where it stands.
class TerminationTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void requestEndsTheProgramNormally_data();
    void requestEndsTheProgramNormally();
};

void TerminationTest::requestEndsTheProgramNormally_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("SIGINT") << SIGINT;
}

void TerminationTest::requestEndsTheProgramNormally() {
    QFETCH(int, signal);
    QTemporaryDir config;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(NIMBREL_BINARY), QStringList());
    QVERIFY(program.waitForStarted(10000));
    // The settings window stores its defaults as it loads: the program is up and running.
    const QString store = config.filePath(QStringLiteral("Corvane.ini"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(store), 20000);
    QVERIFY(::kill(pid_t(program.processId()), signal) == 0);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TerminationTest)
#include "tst_termination.moc"
