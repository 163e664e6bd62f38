// Procedures that let events run: what becomes of them when their window closes or the program
// ends while they wait.
#include "apperror.h"
#include "forms.h"
#include "procedure.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTest>

using namespace nimbrel;

namespace {

void failingStep() {
    throw AppError(QStringLiteral("Object required"));
}

// What a wait does when the user closes the window meanwhile.
void closeWhileWaiting(FormId id) {
    Forms::unload(id);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class ProcedureTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        for (FormId id : {FormId::Settings, FormId::Display})
            Forms::registerFactory(id, [id] { return new Form(id); });
    }
    void cleanup() { Forms::reset(); }

    // A window's procedure reports failures until its window goes, then stops without a word,
    // and the window stays in memory until the procedure has returned.
    void windowProcedureEndsQuietlyWithItsWindow() {
        test::MessageRecorder recorder;
        QPointer<Form> window(Forms::get(FormId::Display));
        {
            Procedure p(window, QStringLiteral("Form2.Timer1_Timer"));
            p.setReportMode(ReportMode::Modeless);
            QVERIFY(!p(100, failingStep));
            QCOMPARE(recorder.messages.size(), 1);
            QCOMPARE(recorder.modelessShown, 1);
            QVERIFY(recorder.messages.first().text.contains(
                QLatin1String("Form2.Timer1_Timer at line 100")));
            QVERIFY(!p.gone());

            closeWhileWaiting(FormId::Display);
            QVERIFY(p.gone());
            QVERIFY(p.windowGone());
            QVERIFY(!window.isNull());
            QCOMPARE(p.window(), window.data());
            QVERIFY(!p(102, failingStep));
            QCOMPARE(recorder.messages.size(), 1);
        }
        QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 1000);
    }

    // A command that hands over to another window carries on, and goes on reporting, after its
    // own window has closed; only the program ending stops it and silences it.
    void commandOutlivesItsWindowButNotTheProgram() {
        test::MessageRecorder recorder;
        Procedure p(Forms::get(FormId::Settings), QStringLiteral("Form1.PushButton1_Click"),
                    Procedure::StopsWhen::ProgramEnds);
        closeWhileWaiting(FormId::Settings);
        QVERIFY(p.windowGone());
        QVERIFY(!p.gone());
        QVERIFY(!p(108, failingStep));
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(recorder.messages.first().text.contains(
            QLatin1String("Form1.PushButton1_Click at line 108")));

        Forms::get(FormId::Display);
        Forms::endProgram();
        QVERIFY(p.gone());
        QVERIFY(!p(110, failingStep));
        QCOMPARE(recorder.messages.size(), 1);
    }
};

QTEST_MAIN(ProcedureTest)
#include "tst_procedure.moc"
