#include "apperror.h"
#include "convert.h"
#include "guard.h"
#include "messages.h"
#include "testsupport.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <new>
#include <stdexcept>

using namespace nimbrel;
using namespace Qt::StringLiterals;
using nimbrel::test::MessageRecorder;

namespace {

const QString kSupport = QStringLiteral(NIMBREL_SUPPORT_EMAIL);

// A procedure of its own without a guard: a failure half-way ends it.
void unguardedHelper(QStringList& log) {
    log << QStringLiteral("helper start");
    (void)toInteger(QStringLiteral("abc"));
    log << QStringLiteral("helper end");
}

// A procedure with its own guard: its failures are its own business.
void guardedCallee(QStringList& log) {
    Guard g(QStringLiteral("Form2.ReLoadStyle"));
    g(100, [&] { throw AppError::invalidPropertyValue(); });
    g(102, [&] { log << QStringLiteral("callee 102"); });
}

} // namespace

class TestGuard : public QObject {
    Q_OBJECT

private slots:
    void reportText_data();
    void reportText();
    void reportIsAnExclamationBox();
    void failingStepContinuesWithNext();
    void firstStepReportsLine100();
    void sharedLineNumberStillRunsItsOtherStatements();
    void unguardedCalleeEndsAndIsReportedByCaller();
    void guardedCalleeReportsItself();
    void valueStepYieldsNothingOnFailure();
    void eachFailureGivesItsOwnReport();
    void describesWhatWasThrown_data();
    void describesWhatWasThrown();
    void sameReportIsNotStackedWhileOnScreen();
    void guardSwallowsAFailingReport();
    void silencedGuardShowsNothing();
    void plainMessageUsesApplicationTitle();
    void realBoxShowsWarningWithOkOnly();
};

void TestGuard::reportText_data() {
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("reportName");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("load 142")
        << "Type mismatch"
        << "Form1.Form_Load" << 142
        << QStringLiteral("Type mismatch\r\nin Nimbrel2021/08/31.Form1.Form_Load at line "
                          "142\r\rPlease email screenshot of this message to ") +
               kSupport;
    QTest::newRow("timer 100") << "Overflow"
                               << "Form2.Timer1_Timer" << 100
                               << QStringLiteral(
                                      "Overflow\r\nin Nimbrel2021/08/31.Form2.Timer1_Timer at line "
                                      "100\r\rPlease email screenshot of this message to ") +
                                      kSupport;
    QTest::newRow("empty description")
        << ""
        << "Form4.Form_Load" << 1000
        << QStringLiteral("\r\nin Nimbrel2021/08/31.Form4.Form_Load at line "
                          "1000\r\rPlease email screenshot of this message to ") +
               kSupport;
}

void TestGuard::reportText() {
    QFETCH(QString, description);
    QFETCH(QString, reportName);
    QFETCH(int, line);
    QFETCH(QString, expected);
    QCOMPARE(errorReportText(description, reportName, line), expected);
}

void TestGuard::reportIsAnExclamationBox() {
    MessageRecorder recorder;
    QVERIFY(reportFailure(QStringLiteral("Overflow"), QStringLiteral("Form3.Form_Load"), 104));
    QCOMPARE(recorder.messages.size(), 1);
    const Message& m = recorder.messages.first();
    QCOMPARE(m.title, QStringLiteral("Application Error"));
    QCOMPARE(m.icon, MessageIcon::Exclamation);
    QCOMPARE(m.text,
             errorReportText(QStringLiteral("Overflow"), QStringLiteral("Form3.Form_Load"), 104));
    QVERIFY(m.text.endsWith(kSupport));
}

void TestGuard::failingStepContinuesWithNext() {
    MessageRecorder recorder;
    QStringList log;
    Guard g(QStringLiteral("Form1.Form_Load"));
    QVERIFY(g(100, [&] { log << QStringLiteral("100"); }));
    QVERIFY(!g(102, [&] {
        log << QStringLiteral("102 before");
        throw AppError::typeMismatch();
    }));
    QVERIFY(g(104, [&] { log << QStringLiteral("104"); }));
    QCOMPARE(log, QStringList({u"100"_s, u"102 before"_s, u"104"_s}));
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(
        recorder.messages.first().text,
        errorReportText(QStringLiteral("Type mismatch"), QStringLiteral("Form1.Form_Load"), 102));
}

void TestGuard::firstStepReportsLine100() {
    MessageRecorder recorder;
    Guard g(QStringLiteral("Form2.getWeather"));
    g(100, [] { throw AppError(QStringLiteral("Cannot connect")); });
    QCOMPARE(recorder.messages.size(), 1);
    QVERIFY(recorder.messages.first().text.contains(
        QStringLiteral("Form2.getWeather at line 100\r\r")));
    QVERIFY(recorder.messages.first().text.startsWith(QStringLiteral("Cannot connect\r\n")));
}

void TestGuard::sharedLineNumberStillRunsItsOtherStatements() {
    MessageRecorder recorder;
    QStringList log;
    Guard g(QStringLiteral("Form1.PushButton3_Click"));
    g(108, [] { throw AppError::overflow(); });
    g(108, [&] { log << QStringLiteral("108 second statement"); });
    QCOMPARE(log, QStringList({u"108 second statement"_s}));
    QCOMPARE(recorder.messages.size(), 1);
    QVERIFY(recorder.messages.first().text.contains(QStringLiteral("at line 108\r\r")));
}

void TestGuard::unguardedCalleeEndsAndIsReportedByCaller() {
    MessageRecorder recorder;
    QStringList log;
    Guard g(QStringLiteral("Form1.Form_Load"));
    g(106, [&] {
        unguardedHelper(log);
        log << QStringLiteral("after call");
    });
    g(108, [&] { log << QStringLiteral("108"); });
    QCOMPARE(log, QStringList({u"helper start"_s, u"108"_s}));
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(
        recorder.messages.first().text,
        errorReportText(QStringLiteral("Type mismatch"), QStringLiteral("Form1.Form_Load"), 106));
}

void TestGuard::guardedCalleeReportsItself() {
    MessageRecorder recorder;
    QStringList log;
    Guard g(QStringLiteral("Form1.PushButton1_Click"));
    const bool completed = g(110, [&] {
        guardedCallee(log);
        log << QStringLiteral("caller after call");
    });
    QVERIFY(completed);
    QCOMPARE(log, QStringList({u"callee 102"_s, u"caller after call"_s}));
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(recorder.messages.first().text,
             errorReportText(QStringLiteral("Invalid property value"),
                             QStringLiteral("Form2.ReLoadStyle"), 100));
}

void TestGuard::valueStepYieldsNothingOnFailure() {
    MessageRecorder recorder;
    Guard g(QStringLiteral("Form2.ReLoadStyle"));
    const std::optional<qint16> good = g(100, [] { return toInteger(QStringLiteral("72")); });
    const std::optional<qint16> bad = g(102, [] { return toInteger(QStringLiteral("big")); });
    QCOMPARE(good, std::optional<qint16>(72));
    QVERIFY(!bad.has_value());
    QCOMPARE(recorder.messages.size(), 1);
    QVERIFY(recorder.messages.first().text.startsWith(QStringLiteral("Type mismatch\r\n")));
}

void TestGuard::eachFailureGivesItsOwnReport() {
    MessageRecorder recorder;
    Guard g(QStringLiteral("Form4.Form_Load"));
    for (int line = 100; line <= 104; line += 2)
        g(line, [] { throw AppError::overflow(); });
    // The same step failing again on a later run is a new report, not a duplicate.
    g(100, [] { throw AppError::overflow(); });
    QCOMPARE(recorder.messages.size(), 4);
    QVERIFY(recorder.messages.at(1).text.contains(QStringLiteral("at line 102")));
    QVERIFY(recorder.messages.at(3).text.contains(QStringLiteral("at line 100")));
}

void TestGuard::describesWhatWasThrown_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("description");
    QTest::newRow("AppError") << 0 << "Invalid property value";
    QTest::newRow("bad_alloc") << 1 << "Out of memory";
    QTest::newRow("std::exception") << 2 << "Host not found";
    QTest::newRow("not an exception class") << 3 << "Unexpected error";
    QTest::newRow("empty what()") << 4 << "Unexpected error";
}

void TestGuard::describesWhatWasThrown() {
    QFETCH(int, kind);
    QFETCH(QString, description);
    MessageRecorder recorder;
    Guard g(QStringLiteral("Form3.PushButton3_Click"));
    g(100, [kind] {
        switch (kind) {
        case 0:
            throw AppError::invalidPropertyValue();
        case 1:
            throw std::bad_alloc();
        case 2:
            throw std::runtime_error("Host not found");
        case 3:
            throw 42;
        default:
            throw std::runtime_error("");
        }
    });
    QCOMPARE(recorder.messages.size(), 1);
    QVERIFY2(recorder.messages.first().text.startsWith(description + QLatin1String("\r\n")),
             qPrintable(recorder.messages.first().text));
}

void TestGuard::sameReportIsNotStackedWhileOnScreen() {
    MessageRecorder recorder;
    const QString name = QStringLiteral("Form2.Timer1_Timer");
    std::optional<bool> nestedSame;
    std::optional<bool> nestedOtherLine;
    std::optional<bool> nestedOtherName;
    int nestedTicks = 0;
    recorder.whileShown = [&](const Message&) {
        if (recorder.messages.size() != 1)
            return;
        // Ticks that arrive while the first report waits for OK.
        nestedSame = reportFailure(QStringLiteral("Overflow"), name, 102);
        Guard tick(name);
        tick(102, [&] {
            ++nestedTicks;
            throw AppError::overflow();
        });
        nestedOtherLine = reportFailure(QStringLiteral("Overflow"), name, 104);
        nestedOtherName =
            reportFailure(QStringLiteral("Overflow"), QStringLiteral("Form2.Timer2_Timer"), 102);
    };
    QVERIFY(reportFailure(QStringLiteral("Overflow"), name, 102));
    QCOMPARE(nestedSame, std::optional<bool>(false));
    QCOMPARE(nestedTicks, 1);
    QCOMPARE(nestedOtherLine, std::optional<bool>(true));
    QCOMPARE(nestedOtherName, std::optional<bool>(true));
    QCOMPARE(recorder.messages.size(), 3);
    QVERIFY(recorder.messages.at(1).text.contains(QStringLiteral("Timer1_Timer at line 104")));
    QVERIFY(recorder.messages.at(2).text.contains(QStringLiteral("Timer2_Timer at line 102")));

    // Once dismissed, the same failure is reported again.
    QVERIFY(reportFailure(QStringLiteral("Overflow"), name, 102));
    QCOMPARE(recorder.messages.size(), 4);
}

void TestGuard::guardSwallowsAFailingReport() {
    MessageRecorder recorder;
    recorder.whileShown = [](const Message&) { throw std::runtime_error("display gone"); };
    QStringList log;
    Guard g(QStringLiteral("Form2.Form_QueryUnload"));
    QVERIFY(!g(100, [] { throw AppError::overflow(); }));
    g(102, [&] { log << QStringLiteral("102"); });
    QCOMPARE(log, QStringList({u"102"_s}));
    // The report that failed to show is not left marked as on screen.
    recorder.whileShown = nullptr;
    QVERIFY(
        reportFailure(QStringLiteral("Overflow"), QStringLiteral("Form2.Form_QueryUnload"), 100));
}

void TestGuard::silencedGuardShowsNothing() {
    MessageRecorder recorder;
    bool unloading = true;
    QStringList log;
    Guard g(QStringLiteral("Form2.getWeather"));
    g.silenceWhen([&] { return unloading; });
    QVERIFY(!g(104, [] { throw AppError(QStringLiteral("Operation canceled")); }));
    g(106, [&] { log << QStringLiteral("106"); });
    QCOMPARE(log, QStringList({u"106"_s}));
    QCOMPARE(recorder.messages.size(), 0);
    unloading = false;
    g(108, [] { throw AppError::overflow(); });
    QCOMPARE(recorder.messages.size(), 1);
}

void TestGuard::plainMessageUsesApplicationTitle() {
    MessageRecorder recorder;
    const QString previous = QGuiApplication::applicationDisplayName();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Nimbrel Test Title"));
    showPlainMessage(QStringLiteral("Please enter a location."));
    QGuiApplication::setApplicationDisplayName(previous);
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(recorder.messages.first().title, QStringLiteral("Nimbrel Test Title"));
    QCOMPARE(recorder.messages.first().text, QStringLiteral("Please enter a location."));
    QCOMPARE(recorder.messages.first().icon, MessageIcon::None);
}

// Without a recorder the real modal box comes up; look at it from inside its own event loop.
void TestGuard::realBoxShowsWarningWithOkOnly() {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qsizetype buttons = -1;
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        seen = true;
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->buttons().size();
        box->button(QMessageBox::Ok)->click();
    });
    poll.start();
    QTimer failsafe;
    failsafe.setSingleShot(true);
    connect(&failsafe, &QTimer::timeout, this, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    failsafe.start(5000);

    reportFailure(QStringLiteral("Overflow <b>"), QStringLiteral("Form1.Form_Load"), 142);
    poll.stop();
    QVERIFY(seen);
    QCOMPARE(title, QStringLiteral("Application Error"));
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(buttons, qsizetype(1));
    // Shown as three lines with an empty one before the request, never as markup.
    QCOMPARE(text, QStringLiteral("Overflow <b>\nin Nimbrel2021/08/31.Form1.Form_Load at line "
                                  "142\n\nPlease email screenshot of this message to ") +
                       kSupport);
}

QTEST_MAIN(TestGuard)
#include "tst_guard.moc"
