// The window registry and the shared styling every window relies on.
#include "apperror.h"
#include "forms.h"
#include "handpointer.h"
#include "programfolder.h"
#include "programidentity.h"
#include "pushbutton.h"
#include "skin.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace nimbrel;

namespace {

class ProbeForm : public Form {
public:
    explicit ProbeForm(FormId id) : Form(id) {
        button = new PushButton(QStringLiteral("Go"), this);
        button->setGeometry(10, 10, 80, 25);
        frame = new QGroupBox(QStringLiteral("Frame"), this);
        frame->setGeometry(10, 50, 200, 80);
        box = new QCheckBox(QStringLiteral("Box"), frame);
        box->setGeometry(10, 20, 80, 20);
        resize(300, 200);
        addHoverRule(button, MousePointer::Custom);
        addHoverRule(frame, MousePointer::Default);
        finishHoverRules();
    }
    void onLoad() override {
        ++loads;
        // Code run by the load handling that refers to the window finds this instance.
        sameDuringLoad = Forms::get(formId()) == this;
    }
    bool closeRequested(CloseReason) override {
        ++queries;
        return allowClose;
    }
    void onUnload() override { ++unloads; }

    PushButton* button;
    QGroupBox* frame;
    QCheckBox* box;
    int loads = 0;
    int queries = 0;
    int unloads = 0;
    bool allowClose = true;
    bool sameDuringLoad = false;
};

void moveOver(QWidget* w) {
    QTest::mouseMove(w, w->rect().center());
    test::sendMouseMove(w);
}

} // namespace

class FormsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        for (FormId id : {FormId::Settings, FormId::Display})
            Forms::registerFactory(id, [id] { return new ProbeForm(id); });
    }
    void cleanup() {
        Forms::reset();
        setProgramFolderForTesting(QString());
        qApp->setStyleSheet(QString());
    }

    void loadsOnceAndOnFirstUse() {
        QVERIFY(!Forms::loaded(FormId::Settings));
        auto* f = static_cast<ProbeForm*>(Forms::get(FormId::Settings));
        QVERIFY(f->sameDuringLoad);
        QCOMPARE(Forms::get(FormId::Settings), f);
        QCOMPARE(f->loads, 1);
        QVERIFY(!f->isVisible());
        Forms::show(FormId::Settings);
        QVERIFY(f->isVisible());
        Forms::hide(FormId::Settings);
        QCOMPARE(Forms::loaded(FormId::Settings), f);
    }

    void unloadAsksTheWindowAndCanBeRefused() {
        auto* f = static_cast<ProbeForm*>(Forms::get(FormId::Settings));
        f->allowClose = false;
        QVERIFY(!Forms::unload(FormId::Settings));
        QCOMPARE(Forms::loaded(FormId::Settings), f);
        f->allowClose = true;
        QPointer<Form> alive(f);
        QVERIFY(Forms::unload(FormId::Settings));
        QCOMPARE(f->unloads, 1);
        QVERIFY(!Forms::loaded(FormId::Settings));
        QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 1000);
        // The next reference loads a fresh window.
        auto* again = static_cast<ProbeForm*>(Forms::get(FormId::Settings));
        QCOMPARE(again->loads, 1);
    }

    // A handler that lets events run while its window is discarded must come back to a live
    // window; the window goes once the handler has returned.
    void discardWaitsForTheHandlerOnTheStack() {
        auto* f = static_cast<ProbeForm*>(Forms::get(FormId::Settings));
        Forms::show(FormId::Settings);
        QPointer<Form> alive(f);
        bool aliveAfterWait = false;
        QObject::connect(f->button, &QAbstractButton::clicked, f, [&] {
            QTimer::singleShot(0, [] { Forms::unload(FormId::Settings); });
            for (int i = 0; i < 20; ++i)
                QCoreApplication::processEvents(QEventLoop::AllEvents);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            aliveAfterWait = !alive.isNull();
        });
        QTest::mouseClick(f->button, Qt::LeftButton);
        QVERIFY(aliveAfterWait);
        QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 1000);
    }

    void closeBoxGoesThroughTheRegistry() {
        auto* f = static_cast<ProbeForm*>(Forms::get(FormId::Display));
        Forms::show(FormId::Display);
        QVERIFY(!f->close());
        QCOMPARE(f->queries, 1);
        QVERIFY(!Forms::loaded(FormId::Display));
    }

    void endProgramDiscardsEveryWindowWithoutItsHandlers() {
        auto* a = static_cast<ProbeForm*>(Forms::get(FormId::Settings));
        auto* b = static_cast<ProbeForm*>(Forms::get(FormId::Display));
        Forms::show(FormId::Settings);
        Forms::endProgram();
        QVERIFY(Forms::ending());
        QVERIFY(!Forms::loaded(FormId::Settings));
        QVERIFY(!Forms::loaded(FormId::Display));
        QCOMPARE(a->unloads + b->unloads + a->queries + b->queries, 0);
        QVERIFY(!a->isVisible());
    }

    void hoverRules() {
        auto* f = static_cast<ProbeForm*>(Forms::get(FormId::Settings));
        Forms::show(FormId::Settings);
        QVERIFY(QTest::qWaitForWindowExposed(f));
        moveOver(f->button);
        QCOMPARE(f->mousePointer(), MousePointer::Custom);
        // Straight from the button onto a check box: nothing changes.
        moveOver(f->box);
        QCOMPARE(f->mousePointer(), MousePointer::Custom);
        moveOver(f->frame);
        QCOMPARE(f->mousePointer(), MousePointer::Default);
        moveOver(f->button);
        QCOMPARE(f->mousePointer(), MousePointer::Custom);
        QMouseEvent move(QEvent::MouseMove, QPointF(250, 180),
                         QPointF(f->mapToGlobal(QPoint(250, 180))), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(f, &move);
        QCOMPARE(f->mousePointer(), MousePointer::Default);
        // No rule changes the hourglass.
        f->setMousePointer(MousePointer::Hourglass);
        moveOver(f->button);
        QCOMPARE(f->mousePointer(), MousePointer::Hourglass);
    }

    void fileExistsAndTheSkin() {
        QTemporaryDir dir;
        setProgramFolderForTesting(dir.path());
        QVERIFY(!fileExists(programFile(QStringLiteral("HAND-M.CUR"))));
        QVERIFY(!fileExists(QString()));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("HAND-M.CUR")));
        QVERIFY(fileExists(programFile(QStringLiteral("HAND-M.CUR")))); // a folder counts
        QVERIFY(handPointerPresent());
        auto* f = static_cast<ProbeForm*>(Forms::get(FormId::Settings));
        QVERIFY_THROWS_EXCEPTION(AppError, loadHandPointer(f));
        QVERIFY(!f->hasMouseIcon());

        // A folder named like the skin file is no skin.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("x/o.cjs")));
        applySkin(f);
        QVERIFY(qApp->styleSheet().isEmpty());
        QVERIFY(!f->autoFillBackground());
        QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("x/o.cjs")));

        QPalette white = f->box->palette();
        white.setColor(f->box->backgroundRole(), Qt::white);
        f->box->setPalette(white);
        QFile skin(programFile(QStringLiteral("x/o.cjs")));
        QVERIFY(skin.open(QIODevice::WriteOnly));
        skin.write("QWidget { color: #123456; }");
        skin.close();
        applySkin(f);
        QCOMPARE(qApp->styleSheet(), QStringLiteral("QWidget { color: #123456; }"));
        QVERIFY(f->autoFillBackground());
        QCOMPARE(f->palette().color(QPalette::Window),
                 QApplication::palette().color(QPalette::Button));
        QVERIFY(f->box->autoFillBackground());
        // What a check box actually fills its background with (laid out white).
        QCOMPARE(f->box->palette().color(f->box->backgroundRole()),
                 QApplication::palette().color(QPalette::Button));
        QVERIFY(!f->button->autoFillBackground());

        // A skin the program cannot use is a failure of the step, after the recolouring.
        QVERIFY(skin.open(QIODevice::WriteOnly | QIODevice::Truncate));
        skin.write(QByteArray("\xff\xfe\x00garbage", 10));
        skin.close();
        qApp->setStyleSheet(QString());
        QVERIFY_THROWS_EXCEPTION(AppError, applySkin(f));
        QVERIFY(qApp->styleSheet().isEmpty());
    }

    void realHandPointerLoads() {
        const QString shipped = QStringLiteral(NIMBREL_SOURCE_DIR "/resources");
        if (!QFile::exists(shipped + QStringLiteral("/HAND-M.CUR")))
            QSKIP("no hand pointer in resources/");
        setProgramFolderForTesting(shipped);
        auto* f = static_cast<ProbeForm*>(Forms::get(FormId::Settings));
        loadHandPointer(f);
        QVERIFY(f->hasMouseIcon());
        f->setMousePointer(MousePointer::Custom);
        QCOMPARE(f->cursor().shape(), Qt::BitmapCursor);
        QVERIFY(f->cursor().hotSpot() != QPoint(0, 0));
    }

    void titleAndButtonCaption() {
        setApplicationTitle();
        QCOMPARE(applicationTitle(), QStringLiteral("Nimbrel"));
        PushButton b(QStringLiteral("Change Font Style && Size"));
        QCOMPARE(b.displayedCaption(), QStringLiteral("Change Font Style & Size"));
        QCOMPARE(b.font().family(), QStringLiteral("Arial"));
        QCOMPARE(b.font().pointSizeF(), 11.25);
        QVERIFY(b.font().bold());
        QSignalSpy moved(&b, &PushButton::mouseMoved);
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        moveOver(&b);
        QVERIFY(moved.count() >= 1);
    }
};

NIMBREL_TEST_MAIN(FormsTest)
#include "tst_forms.moc"
