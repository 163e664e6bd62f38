#include "apperror.h"
#include "colours.h"
#include "colourwindow.h"
#include "dialogs.h"
#include "programfolder.h"
#include "pushbutton.h"
#include "settings.h"
#include "settingswindowdouble.h"
#include "testsupport.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTemporaryFile>
#include <QTest>

#include <memory>
#include <optional>

using namespace nimbrel;
using namespace Qt::StringLiterals;

namespace {

// Answers the colour dialog at once: with a colour (OK) or leaving it as offered (Cancel).
class ScriptedPicker : public ColourPicker {
public:
    void pick(QWidget*, QColor& colour) override {
        offered.append(colour);
        if (answer)
            colour = *answer;
    }
    std::optional<QColor> answer;
    QList<QColor> offered;
};

QColor buttonFace() {
    return QApplication::palette().color(QPalette::Button);
}

// Stands for "absent" in data rows.
const QString kAbsent = QStringLiteral("<absent>");

} // namespace

class TestColourWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void colourNumbers_data();
    void colourNumbers();
    void layout();
    void swatchesFromStore_data();
    void swatchesFromStore();
    void picks_data();
    void picks();
    void pressElsewhereIsNoClick();
    void failedWriteIsReported();
    void leaving_data();
    void leaving();
    void hoverRules_data();
    void hoverRules();

private:
    ColourWindow* openColourWindow();
    template <class T> T* control(const char* name);
    QColor swatch(const char* name) {
        return control<QLabel>(name)->palette().color(QPalette::Window);
    }

    std::unique_ptr<test::TempSettings> m_settings;
    std::unique_ptr<test::MessageRecorder> m_messages;
    ScriptedPicker m_picker;
    int m_colourWindowLoads = 0;
};

void TestColourWindow::initTestCase() {
    setProgramFolderForTesting(QDir::tempPath() + QStringLiteral("/nimbrel-no-such-folder"));
    Forms::registerFactory(FormId::Settings, [] { return new test::SettingsWindowDouble; });
    Forms::registerFactory(FormId::Colours, [this] {
        ++m_colourWindowLoads;
        return new ColourWindow;
    });
}

void TestColourWindow::init() {
    m_settings = std::make_unique<test::TempSettings>();
    m_messages = std::make_unique<test::MessageRecorder>();
    m_picker.answer.reset();
    m_picker.offered.clear();
    setColourPicker(&m_picker);
    m_colourWindowLoads = 0;
}

void TestColourWindow::cleanup() {
    Forms::reset();
    setColourPicker(nullptr);
    m_messages.reset();
    m_settings.reset();
}

ColourWindow* TestColourWindow::openColourWindow() {
    Forms::show(FormId::Colours);
    return Forms::get<ColourWindow>(FormId::Colours);
}

template <class T> T* TestColourWindow::control(const char* name) {
    return Forms::get(FormId::Colours)->findChild<T*>(QLatin1String(name));
}

void TestColourWindow::colourNumbers_data() {
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("red in the low byte") << 255 << QColor(255, 0, 0);
    QTest::newRow("green") << 65280 << QColor(0, 255, 0);
    QTest::newRow("blue in the high byte") << 16711680 << QColor(0, 0, 255);
    QTest::newRow("white") << 16777215 << QColor(255, 255, 255);
    QTest::newRow("mixed") << 0x123456 << QColor(0x56, 0x34, 0x12);
}

void TestColourWindow::colourNumbers() {
    QFETCH(qint32, number);
    QFETCH(QColor, colour);
    QCOMPARE(colourFromNumber(number), colour);
    QCOMPARE(numberFromColour(colour), number);
    QVERIFY_THROWS_EXCEPTION(AppError, colourFromNumber(-1));
    QVERIFY_THROWS_EXCEPTION(AppError, colourFromNumber(0x1000000));
}

void TestColourWindow::layout() {
    ColourWindow* form = openColourWindow();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QCOMPARE(form->windowTitle(), QStringLiteral("Nimbrel"));
    QCOMPARE(form->minimumSize(), QSize(536, 117));
    QCOMPARE(form->maximumSize(), QSize(536, 117));
    QVERIFY(!(form->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    const QPoint screenCentre = form->screen()->availableGeometry().center();
    QVERIFY((form->frameGeometry().center() - screenCentre).manhattanLength() <= 1);

    QCOMPARE(control<QGroupBox>("Frame1")->title(), QStringLiteral("Text Color Option"));
    QCOMPARE(control<QGroupBox>("Frame2")->title(), QStringLiteral("Background Color Option"));
    QCOMPARE(control<QLabel>("Label1")->parentWidget(), control<QGroupBox>("Frame1"));
    QCOMPARE(control<QLabel>("Label2")->parentWidget(), control<QGroupBox>("Frame2"));
    QVERIFY(control<QGroupBox>("Frame1")->x() < control<QGroupBox>("Frame2")->x());
    QCOMPARE(control<PushButton>("PushButton1")->caption(), QStringLiteral("Close"));
    QCOMPARE(form->palette().color(QPalette::Window), buttonFace());
    QCOMPARE(control<QGroupBox>("Frame2")->palette().color(QPalette::Window), buttonFace());

    // The focus goes to a box nobody sees, so no visible control shows a focus mark.
    auto* hidden = control<QLineEdit>("Text1");
    QVERIFY(hidden->geometry().top() >= form->height());
    form->activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(hidden->hasFocus(), 2000);
}

void TestColourWindow::swatchesFromStore_data() {
    QTest::addColumn<QString>("fontColor");
    QTest::addColumn<QString>("backgroundColor");
    QTest::addColumn<QColor>("textSwatch");
    QTest::addColumn<QColor>("backgroundSwatch");
    QTest::addColumn<int>("reportedLine"); // 0: nothing reported

    const QColor face; // invalid: the button face, filled in by the test
    QTest::newRow("empty store") << kAbsent << kAbsent << QColor(Qt::white) << QColor(Qt::black)
                                 << 0;
    QTest::newRow("red text on green") << "255"
                                       << "65280" << QColor(255, 0, 0) << QColor(0, 255, 0) << 0;
    QTest::newRow("half rounds to even") << "12.5"
                                         << "13.5" << QColor(12, 0, 0) << QColor(14, 0, 0) << 0;
    QTest::newRow("text colour not a number") << "blue"
                                              << "16711680" << face << QColor(0, 0, 255) << 110;
    QTest::newRow("text colour empty") << ""
                                       << "0" << face << QColor(Qt::black) << 110;
    QTest::newRow("background beyond 24 bits") << "0"
                                               << "16777216" << QColor(Qt::black) << face << 112;
    QTest::newRow("background negative") << "0"
                                         << "-5" << QColor(Qt::black) << face << 112;
    // The high bit names a system colour, as it does for the display: 18 the button text, 15 the
    // button face.
    QTest::newRow("system colours")
        << "-2147483630"
        << "-2147483633" << QGuiApplication::palette().color(QPalette::ButtonText)
        << QGuiApplication::palette().color(QPalette::Button) << 0;
}

void TestColourWindow::swatchesFromStore() {
    QFETCH(QString, fontColor);
    QFETCH(QString, backgroundColor);
    QFETCH(QColor, textSwatch);
    QFETCH(QColor, backgroundSwatch);
    QFETCH(int, reportedLine);
    if (fontColor != kAbsent)
        saveSetting(QStringLiteral("Font Color"), fontColor);
    if (backgroundColor != kAbsent)
        saveSetting(QStringLiteral("Background Color"), backgroundColor);
    const auto before = m_settings->entries();

    openColourWindow();

    QCOMPARE(swatch("Label1"), textSwatch.isValid() ? textSwatch : buttonFace());
    QCOMPARE(swatch("Label2"), backgroundSwatch.isValid() ? backgroundSwatch : buttonFace());
    if (reportedLine) {
        QCOMPARE(m_messages->messages.size(), 1);
        QCOMPARE(m_messages->messages.constFirst().title, QStringLiteral("Application Error"));
        QVERIFY(m_messages->messages.constFirst().text.contains(
            QStringLiteral("Form4.Form_Load at line %1\r").arg(reportedLine)));
    } else {
        QVERIFY(m_messages->messages.isEmpty());
    }
    // Opening writes nothing; a bad key stays as it is until a pick.
    QCOMPARE(m_settings->entries(), before);
}

void TestColourWindow::picks_data() {
    QTest::addColumn<QString>("swatch");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("storedBefore");
    QTest::addColumn<std::optional<QColor>>("answer"); // empty: Cancel
    QTest::addColumn<QColor>("offered");
    QTest::addColumn<QString>("storedAfter");

    using Answer = std::optional<QColor>;
    QTest::newRow("text red") << "Label1"
                              << "Font Color" << kAbsent << Answer(QColor(Qt::red))
                              << QColor(Qt::white) << "255";
    QTest::newRow("text green") << "Label1"
                                << "Font Color"
                                << "0" << Answer(QColor(Qt::green)) << QColor(Qt::black) << "65280";
    QTest::newRow("background white") << "Label2"
                                      << "Background Color" << kAbsent << Answer(QColor(Qt::white))
                                      << QColor(Qt::black) << "16777215";
    QTest::newRow("background blue")
        << "Label2"
        << "Background Color"
        << "255" << Answer(QColor(Qt::blue)) << QColor(Qt::red) << "16711680";
    // Cancel still writes the colour the swatch shows.
    QTest::newRow("text cancelled")
        << "Label1"
        << "Font Color" << kAbsent << Answer() << QColor(Qt::white) << "16777215";
    QTest::newRow("background cancelled")
        << "Label2"
        << "Background Color" << kAbsent << Answer() << QColor(Qt::black) << "0";
    QTest::newRow("background cancelled, kept")
        << "Label2"
        << "Background Color"
        << "65280" << Answer() << QColor(Qt::green) << "65280";
}

void TestColourWindow::picks() {
    QFETCH(QString, swatch);
    QFETCH(QString, key);
    QFETCH(QString, storedBefore);
    QFETCH(std::optional<QColor>, answer);
    QFETCH(QColor, offered);
    QFETCH(QString, storedAfter);
    if (storedBefore != kAbsent)
        saveSetting(key, storedBefore);
    m_picker.answer = answer;
    ColourWindow* form = openColourWindow();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    const QString otherKey =
        key == QLatin1String("Font Color") ? u"Background Color"_s : u"Font Color"_s;

    QTest::mouseClick(control<QLabel>(qPrintable(swatch)), Qt::LeftButton);

    QCOMPARE(m_picker.offered, QList<QColor>{offered});
    QCOMPARE(m_settings->entries().value(key), storedAfter);
    QVERIFY(!m_settings->entries().contains(otherKey));
    QCOMPARE(this->swatch(qPrintable(swatch)), answer.value_or(offered));
    QVERIFY(m_messages->messages.isEmpty());
}

void TestColourWindow::pressElsewhereIsNoClick() {
    ColourWindow* form = openColourWindow();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    auto* textSwatch = control<QLabel>("Label1");
    QTest::mousePress(textSwatch, Qt::LeftButton);
    QTest::mouseRelease(control<QLabel>("Label2"), Qt::LeftButton);
    QTest::mouseClick(textSwatch, Qt::RightButton);
    QVERIFY(m_picker.offered.isEmpty());
    QVERIFY(m_settings->entries().isEmpty());
}

void TestColourWindow::failedWriteIsReported() {
    QTemporaryFile notAFolder;
    QVERIFY(notAFolder.open());
    setSettingsFileForTesting(notAFolder.fileName() + QStringLiteral("/Corvane.ini"));
    m_picker.answer = QColor(Qt::red);
    ColourWindow* form = openColourWindow();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    m_messages->messages.clear();

    QTest::mouseClick(control<QLabel>("Label1"), Qt::LeftButton);

    QCOMPARE(m_messages->messages.size(), 1);
    QCOMPARE(m_messages->messages.constFirst().title, QStringLiteral("Application Error"));
    QVERIFY(m_messages->messages.constFirst().text.contains(
        QStringLiteral("Form4.Label1_Click at line 100\r")));
    QCOMPARE(swatch("Label1"), QColor(Qt::red));
}

void TestColourWindow::leaving_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Close") << false;
    QTest::newRow("title-bar close box") << true;
}

void TestColourWindow::leaving() {
    QFETCH(bool, closeBox);
    Forms::get(FormId::Settings)->hide();
    QPointer<ColourWindow> form = openColourWindow();
    QCOMPARE(m_colourWindowLoads, 1);
    if (closeBox)
        form->close();
    else
        control<PushButton>("PushButton1")->click();
    QCOMPARE(Forms::loaded(FormId::Colours), nullptr);
    QVERIFY(Forms::get(FormId::Settings)->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), 1000);

    // Every opening loads afresh and reads the keys again.
    saveSetting(QStringLiteral("Font Color"), QStringLiteral("255"));
    openColourWindow();
    QCOMPARE(m_colourWindowLoads, 2);
    QCOMPARE(swatch("Label1"), QColor(Qt::red));
    QVERIFY(m_messages->messages.isEmpty());
}

void TestColourWindow::hoverRules_data() {
    QTest::addColumn<QString>("over");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    for (const char* hand : {"PushButton1", "Label1", "Label2"})
        QTest::addRow("%s", hand) << hand << 0 << 99;
    for (const char* area : {"Form4", "Frame1", "Frame2"})
        QTest::addRow("%s", area) << area << 99 << 0;
    QTest::newRow("hourglass stays") << "Label1" << 11 << 11;
}

void TestColourWindow::hoverRules() {
    QFETCH(QString, over);
    QFETCH(int, before);
    QFETCH(int, after);
    ColourWindow* form = openColourWindow();
    QWidget* target = over == QLatin1String("Form4") ? form : control<QWidget>(qPrintable(over));
    QVERIFY(target);
    form->setMousePointer(static_cast<MousePointer>(before));
    nimbrel::test::sendMouseMove(target);
    QCOMPARE(static_cast<int>(form->mousePointer()), after);
}

NIMBREL_TEST_MAIN(TestColourWindow)
#include "tst_colourwindow.moc"
