#include "apperror.h"
#include "displaywindow.h"
#include "drawingband.h"
#include "keywindow.h"
#include "programfolder.h"
#include "programidentity.h"
#include "pushbutton.h"
#include "readsetting.h"
#include "sampleweatherservice.h"
#include "settingschoices.h"
#include "settingswindowtest.h"
#include "testsupport.h"
#include "transfer.h"
#include "weatherrequest.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>

#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

using namespace nimbrel;
using namespace Qt::StringLiterals;
using namespace nimbrel::test;
using namespace std::chrono_literals;

namespace {

void moveOver(QWidget* widget) {
    const QPointF at(2, 2);
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// What the widget fills its background with: check boxes and option buttons use the button role.
QColor background(const QWidget* widget) {
    return widget->palette().color(widget->backgroundRole());
}

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void firstOpeningShowsAndStoresDefaults();
    void layoutInPixels_data();
    void layoutInPixels();
    void tabOrderFollowsTabIndexes();
    void titleBarOnScreenAndEveryControlWithinReach();
    void laidOutLook();
    void checkStatesFromStore_data();
    void checkStatesFromStore();
    void unitsFromStore_data();
    void unitsFromStore();
    void badStoredValueFailsOnlyItsStep_data();
    void badStoredValueFailsOnlyItsStep();
    void changesAreStoredAtOnce();
    void failedSavesAreReportedOnceWhileTheyLast();
    void choicesAreTheBoxesAsTheyStand();
    void focusSelectsTheWholeLocation();
    void locationHint();
    void emptyLocationIsRefused();
    void startCommandHandsOverToTheDisplay_data();
    void startCommandHandsOverToTheDisplay();
    void listPositionOutOfRangeReachesTheDisplay();
    void apiKeyWindowHidesAndKeepsTheWindow();
    void closeEndsTheProgram();
    void closeDuringHandOverGoesAhead();
    void closeDuringStartCommand();
    void openingWaitsForADeadServiceOnce();
    void unattendedStartOnAReadOnlyStore();
    void endWhileDisplayWaitsBehindKeyTest();
    void hoverRules();
    void skin_data();
    void skin();
    void handPointerThatIsAFolder();
    void handPointerFile();

private:
    void useSampleService();

    std::unique_ptr<TempSettings> m_store;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<sample::SampleWeatherService> m_service;
};

void SettingsWindowTest::init() {
    m_store = std::make_unique<TempSettings>();
    m_messages = std::make_unique<MessageRecorder>();
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    setProgramFolderForTesting(m_folder->path());
}

void SettingsWindowTest::cleanup() {
    // After the program ended, new event loops return at once until the application loop has
    // run again; the next test needs them.
    if (Forms::ending()) {
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
    }
    Forms::reset();
    DisplayWindow::setKeepAwakeFactoryForTesting({});
    qApp->setStyleSheet(QString());
    setProgramFolderForTesting(QString());
    setServiceBaseUrlForTesting(QString());
    m_service.reset();
    m_messages.reset();
    m_folder.reset();
    m_store.reset();
}

// The display fetches on load; it is pointed at a service of the test's own.
void SettingsWindowTest::useSampleService() {
    m_service = std::make_unique<sample::SampleWeatherService>();
    QVERIFY(m_service->listen(0));
    setServiceBaseUrlForTesting(m_service->baseUrl());
    sharedTransfer().setTimeLimit(3s);
    saveSetting(QStringLiteral("APIKey"), QStringLiteral("demo-key"));
    // Keep-awake is no business of these tests.
    saveSetting(QStringLiteral("Check4"), QStringLiteral("0"));
    Forms::registerFactory(FormId::Display, [] { return new DisplayWindow; });
}

void SettingsWindowTest::firstOpeningShowsAndStoresDefaults() {
    SettingsWindow* form = loadSettingsWindow();
    Forms::show(FormId::Settings);
    QVERIFY(QTest::qWaitForWindowExposed(form));

    QVERIFY(m_messages->messages.isEmpty());
    QCOMPARE(form->windowTitle(), QStringLiteral("Nimbrel"));
    QCOMPARE(applicationTitle(), QStringLiteral("Nimbrel"));
    QVERIFY(!form->openingDisplay());

    auto* text1 = control<QLineEdit>(form, "Text1");
    QCOMPARE(text1->text(), QStringLiteral("San Diego CA"));
    QVERIFY(control<QRadioButton>(form, "Option1")->isChecked());
    QVERIFY(!control<QRadioButton>(form, "Option2")->isChecked());
    auto* combo = control<QComboBox>(form, "Combo1");
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), QStringLiteral("Left Justify"));
    QCOMPARE(combo->currentText(), QStringLiteral("Center"));
    for (const char* name : {"Check2", "Check3", "Check5", "Check6", "Check7"})
        QVERIFY2(control<QCheckBox>(form, name)->isChecked(), name);
    for (const char* name : {"Check1", "Check4"})
        QVERIFY2(!control<QCheckBox>(form, name)->isChecked(), name);

    // Only what differs from the laid-out controls is written back.
    const QMap<QString, QString> expected{{QStringLiteral("Text1"), QStringLiteral("San Diego CA")},
                                          {QStringLiteral("Combo1"), QStringLiteral("1")},
                                          {QStringLiteral("Check2"), QStringLiteral("1")},
                                          {QStringLiteral("Check3"), QStringLiteral("1")},
                                          {QStringLiteral("Check5"), QStringLiteral("1")},
                                          {QStringLiteral("Check6"), QStringLiteral("1")},
                                          {QStringLiteral("Check7"), QStringLiteral("1")}};
    QCOMPARE(m_store->entries(), expected);

    // Centred on the screen, the location focused and wholly selected, nothing else opened.
    const QPoint offCentre = form->frameGeometry().center() - form->screen()->geometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 2, qPrintable(QString::number(offCentre.x())));
    QVERIFY(QTest::qWaitForWindowActive(form));
    QTRY_VERIFY_WITH_TIMEOUT(text1->hasFocus(), 2000);
    QTRY_COMPARE_WITH_TIMEOUT(text1->selectedText(), text1->text(), 2000);
    QCOMPARE(Forms::loaded(FormId::Display), nullptr);
}

void SettingsWindowTest::layoutInPixels_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("PushButton6") << "PushButton6" << QRect(8, 8, 520, 27);
    QTest::newRow("Text1 in Frame2") << "Text1" << QRect(16, 20, 449, 23);
    QTest::newRow("Check1 in Frame1") << "Check1" << QRect(16, 43, 353, 17);
    QTest::newRow("PushButton7") << "PushButton7" << QRect(8, 474, 520, 27);
}

void SettingsWindowTest::layoutInPixels() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    SettingsWindow* form = loadSettingsWindow();
    QCOMPARE(form->size(), QSize(536, 541));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    auto* widget = form->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
}

void SettingsWindowTest::tabOrderFollowsTabIndexes() {
    SettingsWindow* form = loadSettingsWindow();
    const QStringList expected{
        u"Text1"_s,       u"PushButton4"_s, u"Check2"_s,      u"PushButton1"_s, u"Check4"_s,
        u"Check1"_s,      u"Option1"_s,     u"Option2"_s,     u"Check3"_s,      u"Check5"_s,
        u"Check6"_s,      u"Check7"_s,      u"Combo1"_s,      u"PushButton6"_s, u"PushButton2"_s,
        u"PushButton3"_s, u"PushButton5"_s, u"PushButton7"_s, u"PushButton8"_s};
    QStringList order;
    QWidget* w = control<QLineEdit>(form, "Text1");
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != control<QLineEdit>(form, "Text1"));
    QCOMPARE(order, expected);
}

// On any screen, a 7-inch panel of 800x480 too (a run of its own, short_screen.json), the title
// bar is on the screen and the lowest control can be brought into view.
void SettingsWindowTest::titleBarOnScreenAndEveryControlWithinReach() {
    SettingsWindow* form = loadSettingsWindow();
    Forms::show(FormId::Settings);
    QVERIFY(QTest::qWaitForWindowExposed(form));
    const QRect screen = form->screen()->availableGeometry();
    QVERIFY(screen.contains(form->frameGeometry()));
    PushButton* lowest =
        std::ranges::max(form->findChildren<PushButton*>(), {},
                         [form](QWidget* w) { return w->mapTo(form, QPoint(0, w->height())).y(); });
    QWidget* view = form;
    if (auto* area = form->findChild<QScrollArea*>()) {
        area->ensureWidgetVisible(lowest);
        view = area->viewport();
    }
    const QRect shown(lowest->mapToGlobal(QPoint()), lowest->size());
    QVERIFY(QRect(view->mapToGlobal(QPoint()), view->size()).contains(shown) &&
            screen.contains(shown));
}

void SettingsWindowTest::laidOutLook() {
    SettingsWindow* form = loadSettingsWindow();
    // Without a skin file the window and its frames, boxes and buttons keep their white.
    QCOMPARE(background(form), QColor(Qt::white));
    for (const char* name : {"Frame1", "Frame2", "Frame3", "Frame4", "Frame6", "Check1", "Check7",
                             "Option1", "Option2"}) {
        auto* w = control<QWidget>(form, name);
        QVERIFY2(w->autoFillBackground(), name);
        QCOMPARE(background(w), QColor(Qt::white));
    }
    const QFont standard = control<QCheckBox>(form, "Check3")->font();
    QCOMPARE(standard.family(), QStringLiteral("Arial"));
    QCOMPARE(standard.pointSize(), 9);
    QVERIFY(standard.bold());
    auto* fontButton = control<PushButton>(form, "PushButton2");
    QCOMPARE(fontButton->displayedCaption(), QStringLiteral("Change Font Style & Size"));
    QCOMPARE(fontButton->font().pointSizeF(), 11.25);
    QCOMPARE(control<QGroupBox>(form, "Frame2")->title(), QStringLiteral("What's your location?"));
    QVERIFY(!applicationIcon().availableSizes().isEmpty());
    QCOMPARE(form->windowIcon().availableSizes(), applicationIcon().availableSizes());
}

void SettingsWindowTest::checkStatesFromStore_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("afterLoad");
    QTest::addColumn<QString>("afterClick");
    QTest::newRow("ticked") << "Check1"
                            << "1" << int(Qt::Checked) << "1"
                            << "0";
    QTest::newRow("cleared") << "Check2"
                             << "0" << int(Qt::Unchecked) << "0"
                             << "1";
    QTest::newRow("greyed") << "Check4"
                            << "2" << int(Qt::PartiallyChecked) << "2"
                            << "1";
    // Already the laid-out state: no handler runs, so the stored text stays as it was.
    QTest::newRow("half rounds to even") << "Check3"
                                         << "0.5" << int(Qt::Unchecked) << "0.5"
                                         << "1";
    QTest::newRow("1.5 rounds to 2") << "Check5"
                                     << "1.5" << int(Qt::PartiallyChecked) << "2"
                                     << "1";
}

void SettingsWindowTest::checkStatesFromStore() {
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(int, state);
    QFETCH(QString, afterLoad);
    QFETCH(QString, afterClick);
    saveSetting(key, stored);
    SettingsWindow* form = loadSettingsWindow();
    QVERIFY(m_messages->messages.isEmpty());
    auto* box = control<QCheckBox>(form, qPrintable(key));
    QCOMPARE(int(box->checkState()), state);
    QCOMPARE(readSetting(key, "absent"), afterLoad);
    // What a click shows is what the store holds, also for a box shown greyed.
    box->click();
    QCOMPARE(readSetting(key, "absent"), afterClick);
}

void SettingsWindowTest::unitsFromStore_data() {
    QTest::addColumn<QString>("option1");
    QTest::addColumn<QString>("option2");
    QTest::addColumn<bool>("fahrenheit");
    QTest::addColumn<bool>("celsius");
    QTest::addColumn<QString>("option1AfterLoad");
    QTest::addColumn<QString>("option2AfterLoad");
    QTest::newRow("Celsius") << "0"
                             << "1" << false << true << "0"
                             << "1";
    QTest::newRow("neither") << "0"
                             << "0" << false << false << "0"
                             << "0";
    QTest::newRow("both: the later wins") << "1"
                                          << "1" << false << true << "0"
                                          << "1";
    QTest::newRow("compared as a number") << "1.0"
                                          << "0" << true << false << "1.0"
                                          << "0";
}

void SettingsWindowTest::unitsFromStore() {
    QFETCH(QString, option1);
    QFETCH(QString, option2);
    QFETCH(bool, fahrenheit);
    QFETCH(bool, celsius);
    QFETCH(QString, option1AfterLoad);
    QFETCH(QString, option2AfterLoad);
    saveSetting(QStringLiteral("Option1"), option1);
    saveSetting(QStringLiteral("Option2"), option2);
    SettingsWindow* form = loadSettingsWindow();
    QVERIFY(m_messages->messages.isEmpty());
    QCOMPARE(control<QRadioButton>(form, "Option1")->isChecked(), fahrenheit);
    QCOMPARE(control<QRadioButton>(form, "Option2")->isChecked(), celsius);
    QCOMPARE(readSetting(QStringLiteral("Option1"), "absent"), option1AfterLoad);
    QCOMPARE(readSetting(QStringLiteral("Option2"), "absent"), option2AfterLoad);
}

void SettingsWindowTest::badStoredValueFailsOnlyItsStep_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("description");
    QTest::newRow("Check1 not a number") << "Check1"
                                         << "abc" << 128 << "Type mismatch";
    QTest::newRow("Check3 no such state") << "Check3"
                                          << "3" << 132 << "Invalid property value";
    QTest::newRow("Check7 too large") << "Check7"
                                      << "70000" << 140 << "Overflow";
    QTest::newRow("Option1 not a number") << "Option1"
                                          << "yes" << 144 << "Type mismatch";
    QTest::newRow("Option2 not a number") << "Option2"
                                          << "" << 146 << "Type mismatch";
    QTest::newRow("Combo1 out of range") << "Combo1"
                                         << "5" << 152 << "Invalid property value";
    QTest::newRow("Combo1 negative") << "Combo1"
                                     << "-1" << 152 << "Invalid property value";
    QTest::newRow("Combo1 not a number") << "Combo1"
                                         << "Center" << 152 << "Type mismatch";
}

void SettingsWindowTest::badStoredValueFailsOnlyItsStep() {
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(int, line);
    QFETCH(QString, description);
    saveSetting(key, stored);
    SettingsWindow* form = loadSettingsWindow();

    QCOMPARE(m_messages->messages.size(), 1);
    const Message& report = m_messages->messages.first();
    QCOMPARE(report.title, QStringLiteral("Application Error"));
    QCOMPARE(report.icon, MessageIcon::Exclamation);
    QVERIFY2(report.text.startsWith(description + QStringLiteral("\r\n")), qPrintable(report.text));
    QVERIFY2(report.text.contains(reportLine(QStringLiteral("Form1.Form_Load"), line)),
             qPrintable(report.text));

    // The failing control keeps its laid-out value and is not written back.
    QCOMPARE(readSetting(key, "absent"), stored);
    if (key.startsWith(QLatin1String("Check")))
        QVERIFY(!control<QCheckBox>(form, qPrintable(key))->isChecked());
    if (key == QLatin1String("Option1"))
        QVERIFY(control<QRadioButton>(form, "Option1")->isChecked());
    if (key == QLatin1String("Combo1"))
        QCOMPARE(control<QComboBox>(form, "Combo1")->currentIndex(), -1);
    // The steps after it still ran.
    QCOMPARE(control<QComboBox>(form, "Combo1")->count(), 2);
    QCOMPARE(control<QLineEdit>(form, "Text1")->text(), QStringLiteral("San Diego CA"));
    QCOMPARE(form->windowTitle(), QStringLiteral("Nimbrel"));
    QVERIFY(!form->openingDisplay());
}

void SettingsWindowTest::changesAreStoredAtOnce() {
    SettingsWindow* form = loadSettingsWindow();
    auto* text1 = control<QLineEdit>(form, "Text1");
    text1->clear();
    QCOMPARE(readSetting(QStringLiteral("Text1"), "absent"), QString());
    QTest::keyClicks(text1, QStringLiteral("Derry, U"));
    QCOMPARE(readSetting(QStringLiteral("Text1"), "absent"), QStringLiteral("Derry, U"));

    control<QRadioButton>(form, "Option2")->click();
    QCOMPARE(readSetting(QStringLiteral("Option1"), "absent"), QStringLiteral("0"));
    QCOMPARE(readSetting(QStringLiteral("Option2"), "absent"), QStringLiteral("1"));
    control<QRadioButton>(form, "Option1")->click();
    QCOMPARE(readSetting(QStringLiteral("Option1"), "absent"), QStringLiteral("1"));
    QCOMPARE(readSetting(QStringLiteral("Option2"), "absent"), QStringLiteral("0"));

    control<QCheckBox>(form, "Check4")->click();
    QCOMPARE(readSetting(QStringLiteral("Check4"), "absent"), QStringLiteral("1"));
    control<QCheckBox>(form, "Check6")->click();
    QCOMPARE(readSetting(QStringLiteral("Check6"), "absent"), QStringLiteral("0"));

    // A box set to the state it already has runs no handler: the store keeps a value of its own.
    saveSetting(QStringLiteral("Check4"), QStringLiteral("sentinel"));
    control<QCheckBox>(form, "Check4")->setChecked(true);
    QCOMPARE(readSetting(QStringLiteral("Check4"), "absent"), QStringLiteral("sentinel"));

    control<QComboBox>(form, "Combo1")->setCurrentIndex(0);
    QCOMPARE(readSetting(QStringLiteral("Combo1"), "absent"), QStringLiteral("0"));
    QVERIFY(m_messages->messages.isEmpty());
}

// A change that cannot be stored is reported under the handler that made it, once while the
// failure lasts; a save that goes through makes the next failure news again. After the report a
// box, button or list shows again what the store holds; what is being typed stays.
void SettingsWindowTest::failedSavesAreReportedOnceWhileTheyLast() {
    const FailingStore store;
    SettingsWindow* form = loadSettingsWindow();
    auto* location = control<QLineEdit>(form, "Text1");
    auto* hideHint = control<QCheckBox>(form, "Check1");
    auto* keepAwake = control<QCheckBox>(form, "Check4");
    auto* celsius = control<QRadioButton>(form, "Option2");
    auto* alignment = control<QComboBox>(form, "Combo1");
    const auto shown = [=] {
        return QStringList{QString::number(keepAwake->isChecked()),
                           QString::number(celsius->isChecked()),
                           QString::number(alignment->currentIndex()), location->text()};
    };
    const QStringList asLoaded = shown();
    const std::pair<std::function<void()>, QString> changes[] = {
        {[keepAwake] { keepAwake->click(); }, u"Form1.Check4_Click"_s},
        {[celsius] { celsius->click(); }, u"Form1.Option2_Click"_s},
        {[alignment] { alignment->setCurrentIndex(0); }, u"Form1.Combo1_Click"_s},
        {[location] { QTest::keyClicks(location, u"xyz"_s); }, u"Form1.Text1_Change"_s},
    };
    for (const auto& [change, reportName] : changes) {
        m_messages->messages.clear();
        store.fail();
        change();
        if (reportName != u"Form1.Text1_Change"_s)
            QCOMPARE(shown(), asLoaded);
        else
            QVERIFY(location->text().endsWith(u"xyz"_s));
        hideHint->click();
        QCOMPARE(m_messages->messages.size(), 1);
        const Message& report = m_messages->messages.constFirst();
        QCOMPARE(report.title, u"Application Error"_s);
        QVERIFY2(report.text.contains(reportLine(reportName, 100)), qPrintable(report.text));
        store.recover();
        hideHint->click();
        QCOMPARE(m_messages->messages.size(), 1);
        QCOMPARE(readSetting(u"Check1"_s, "absent"), hideHint->isChecked() ? u"1"_s : u"0"_s);
    }
}

// What the display and the key window read is what the boxes show, each box switching the line
// its caption names; a box wired to the wrong line would show the user a line they turned off.
void SettingsWindowTest::choicesAreTheBoxesAsTheyStand() {
    SettingsWindow* form = test::loadSettingsWindow();
    SettingsChoices* choices = settingsChoices();
    QCOMPARE(dynamic_cast<SettingsWindow*>(choices), form);
    using Detail = SettingsChoices::Detail;
    const QList<QPair<QString, Detail>> lines = {
        {QStringLiteral("Location"), Detail::Location},
        {QStringLiteral("Current Temperature"), Detail::Current},
        {QStringLiteral("Summary"), Detail::Summary},
        {QStringLiteral("High"), Detail::High},
        {QStringLiteral("Low"), Detail::Low}};
    const auto boxCaptioned = [form](const QString& caption) {
        const auto boxes = form->findChildren<QCheckBox*>();
        const auto it = std::find_if(boxes.cbegin(), boxes.cend(),
                                     [&](const QCheckBox* b) { return b->text() == caption; });
        return it == boxes.cend() ? nullptr : *it;
    };
    for (const auto& [caption, detail] : lines) {
        QCheckBox* box = boxCaptioned(caption);
        QVERIFY2(box, qPrintable(caption));
        box->setChecked(false);
        for (const auto& [otherCaption, other] : lines)
            QCOMPARE(choices->detailChosen(other), other != detail);
        box->setChecked(true);
    }

    // The place as typed, before anything else happens to it.
    control<QLineEdit>(form, "Text1")->setText(QStringLiteral("Londonderry, UK"));
    QCOMPARE(choices->location(), QStringLiteral("Londonderry, UK"));

    using Option = SettingsChoices::DisplayOption;
    QCheckBox* hideHint = boxCaptioned(QStringLiteral("Hide 'Press ESC To Exit'"));
    QCheckBox* keepAwake =
        boxCaptioned(QStringLiteral("Prevent computer from sleeping or starting screensaver"));
    QVERIFY(hideHint && keepAwake);
    saveSetting(QStringLiteral("Check1"), QStringLiteral("1"));
    choices->applyStoredDisplayOption(Option::HideHint);
    saveSetting(QStringLiteral("Check4"), QStringLiteral("2"));
    choices->applyStoredDisplayOption(Option::KeepAwake);
    QCOMPARE(hideHint->checkState(), Qt::Checked);
    QCOMPARE(keepAwake->checkState(), Qt::PartiallyChecked);
    QVERIFY(choices->displayOptionChosen(Option::HideHint));
    QVERIFY(!choices->displayOptionChosen(Option::KeepAwake));
    saveSetting(QStringLiteral("Check1"), QStringLiteral("3"));
    QVERIFY_THROWS_EXCEPTION(AppError, choices->applyStoredDisplayOption(Option::HideHint));
    QCOMPARE(hideHint->checkState(), Qt::Checked);
}

void SettingsWindowTest::focusSelectsTheWholeLocation() {
    SettingsWindow* form = loadSettingsWindow();
    Forms::show(FormId::Settings);
    QVERIFY(QTest::qWaitForWindowActive(form));
    auto* text1 = control<QLineEdit>(form, "Text1");
    control<QCheckBox>(form, "Check2")->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY_WITH_TIMEOUT(!text1->hasFocus(), 2000);
    text1->deselect();

    // A click in the middle of the text would normally just place the cursor there.
    QTest::mouseClick(text1, Qt::LeftButton, {}, QPoint(text1->width() / 2, text1->height() / 2));
    QTRY_VERIFY_WITH_TIMEOUT(text1->hasFocus(), 2000);
    QTRY_COMPARE_WITH_TIMEOUT(text1->selectedText(), QStringLiteral("San Diego CA"), 2000);
    QCOMPARE(text1->selectionStart(), 0);
}

void SettingsWindowTest::locationHint() {
    SettingsWindow* form = loadSettingsWindow();
    control<PushButton>(form, "PushButton4")->click();
    QCOMPARE(m_messages->messages.size(), 1);
    const Message& hint = m_messages->messages.first();
    QCOMPARE(hint.text, QStringLiteral("Please enter you location such as Londonderry, UK or "
                                       "Londonderry, US or San Diego"));
    QCOMPARE(hint.title, applicationTitle());
    QCOMPARE(hint.icon, MessageIcon::None);
}

void SettingsWindowTest::emptyLocationIsRefused() {
    saveSetting(QStringLiteral("Text1"), QString());
    SettingsWindow* form = loadSettingsWindow();
    Forms::show(FormId::Settings);
    QCOMPARE(control<QLineEdit>(form, "Text1")->text(), QString());

    control<PushButton>(form, "PushButton1")->click();
    QCOMPARE(m_messages->messages.size(), 1);
    QCOMPARE(m_messages->messages.first().text, QStringLiteral("Please enter a location below."));
    QCOMPARE(m_messages->messages.first().title, applicationTitle());
    QCOMPARE(m_messages->messages.first().icon, MessageIcon::None);
    QCOMPARE(Forms::loaded(FormId::Settings), form);
    QVERIFY(form->isVisible());
    QVERIFY(!form->openingDisplay());
    QCOMPARE(Forms::loaded(FormId::Display), nullptr);
}

void SettingsWindowTest::startCommandHandsOverToTheDisplay_data() {
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("celsius");
    QTest::addColumn<QString>("tempType");
    QTest::newRow("Fahrenheit") << "San Diego CA" << false << "Fahrenheit";
    QTest::newRow("Celsius") << "London, UK" << true << "Celsius";
    QTest::newRow("only spaces") << "   " << false << "Fahrenheit";
}

void SettingsWindowTest::startCommandHandsOverToTheDisplay() {
    QFETCH(QString, location);
    QFETCH(bool, celsius);
    QFETCH(QString, tempType);
    useSampleService();
    SettingsWindow* form = loadSettingsWindow();
    Forms::show(FormId::Settings);
    control<QLineEdit>(form, "Text1")->setText(location);
    control<QRadioButton>(form, celsius ? "Option2" : "Option1")->click();
    const QPointer<SettingsWindow> settings(form);

    control<PushButton>(form, "PushButton1")->click();

    auto* display = qobject_cast<DisplayWindow*>(Forms::loaded(FormId::Display));
    QVERIFY(display);
    QCOMPARE(display->request().location, location);
    QCOMPARE(display->request().unit, tempType);
    QVERIFY(display->isVisible());
    QVERIFY(m_service->weatherRequestCount() >= 1);
    // The settings window is unloaded, and that close did not end the program.
    QCOMPARE(Forms::loaded(FormId::Settings), nullptr);
    QVERIFY(!Forms::ending());
    QTRY_VERIFY_WITH_TIMEOUT(settings.isNull(), 2000);
    // The start command stores nothing of its own.
    QCOMPARE(readSetting(QStringLiteral("Text1"), "absent"), location);
}

void SettingsWindowTest::listPositionOutOfRangeReachesTheDisplay() {
    useSampleService();
    saveSetting(QStringLiteral("Combo1"), QStringLiteral("5"));
    SettingsWindow* form = loadSettingsWindow();
    QCOMPARE(m_messages->messages.size(), 1);
    QCOMPARE(control<QComboBox>(form, "Combo1")->currentIndex(), -1);
    control<PushButton>(form, "PushButton1")->click();
    QCOMPARE(readSetting(QStringLiteral("Combo1"), "absent"), QStringLiteral("5"));

    // The display reads the stored 5 itself, which is not "centre", so every line starts at
    // the left edge.
    auto* display = qobject_cast<DisplayWindow*>(Forms::loaded(FormId::Display));
    QVERIFY(display);
    display->refreshTick();
    const auto* band = display->findChild<DrawingBand*>(QStringLiteral("Picture1"));
    QVERIFY(band);
    const QList<BandLine> lines = band->drawing().lines;
    QVERIFY(!lines.isEmpty());
    for (const BandLine& line : lines)
        QCOMPARE(line.x, 0);
}

void SettingsWindowTest::apiKeyWindowHidesAndKeepsTheWindow() {
    Forms::registerFactory(FormId::ApiKey, [] { return new StandInWindow(FormId::ApiKey); });
    SettingsWindow* form = loadSettingsWindow();
    Forms::show(FormId::Settings);
    control<QLineEdit>(form, "Text1")->setText(QStringLiteral("Derry"));
    control<QCheckBox>(form, "Check3")->setChecked(false);

    control<PushButton>(form, "PushButton6")->click();
    QVERIFY(Forms::loaded(FormId::ApiKey)->isVisible());
    QVERIFY(!form->isVisible());
    QCOMPARE(Forms::loaded(FormId::Settings), form);

    // Back again: the same window, as it was, without its load steps running again.
    saveSetting(QStringLiteral("Text1"), QStringLiteral("changed elsewhere"));
    Forms::show(FormId::Settings);
    QCOMPARE(Forms::loaded(FormId::Settings), form);
    QVERIFY(form->isVisible());
    QCOMPARE(control<QLineEdit>(form, "Text1")->text(), QStringLiteral("Derry"));
    QVERIFY(!control<QCheckBox>(form, "Check3")->isChecked());
}

void SettingsWindowTest::closeEndsTheProgram() {
    Forms::registerFactory(FormId::ApiKey, [] { return new StandInWindow(FormId::ApiKey); });
    SettingsWindow* form = loadSettingsWindow();
    Forms::show(FormId::Settings);
    auto* hidden = static_cast<StandInWindow*>(Forms::get(FormId::ApiKey));

    form->close();
    QVERIFY(Forms::ending());
    QCOMPARE(Forms::loaded(FormId::Settings), nullptr);
    QCOMPARE(Forms::loaded(FormId::ApiKey), nullptr);
    // Every window goes at once, without its own close handling.
    QCOMPARE(hidden->queryUnloads, 0);
    QCOMPARE(hidden->unloads, 0);
    QVERIFY(m_messages->messages.isEmpty());
}

// Closed by code while the display's load waits for the service, once the start command has
// raised its flag.
void SettingsWindowTest::closeDuringHandOverGoesAhead() {
    useSampleService();
    SettingsWindow* form = loadSettingsWindow();
    Forms::show(FormId::Settings);
    bool closed = false;
    bool unloaded = false;
    bool endingThen = true;
    const Form* loadedThen = form;
    connect(m_service.get(), &sample::SampleWeatherService::requestReceived, form, [&] {
        if (std::exchange(closed, true))
            return;
        QVERIFY(form->openingDisplay());
        unloaded = Forms::unload(FormId::Settings);
        endingThen = Forms::ending();
        loadedThen = Forms::loaded(FormId::Settings);
    });

    control<PushButton>(form, "PushButton1")->click();
    QVERIFY(closed);
    QVERIFY(unloaded);
    QVERIFY(!endingThen);
    QCOMPARE(loadedThen, nullptr);
    QVERIFY(!Forms::ending());
}

// What a person does: click the start command, and close the settings window while the display
// is still waiting for the service.
void SettingsWindowTest::closeDuringStartCommand() {
    useSampleService();
    m_service->setFault(sample::SampleWeatherService::Fault::Delay, 200ms);
    SettingsWindow* form = loadSettingsWindow();
    Forms::show(FormId::Settings);
    const QPointer<SettingsWindow> first(form);
    int closes = 0;
    connect(m_service.get(), &sample::SampleWeatherService::requestReceived, form, [&] {
        if (closes++ == 0)
            QTimer::singleShot(0, form, [form] { form->close(); });
    });

    control<PushButton>(form, "PushButton1")->click();
    QVERIFY(!Forms::ending());
    QCOMPARE(m_service->weatherRequestCount(), 3);
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 2000);
    auto* display = qobject_cast<DisplayWindow*>(Forms::loaded(FormId::Display));
    QVERIFY(display);
    QVERIFY(display->isVisible());
    QVERIFY(display->weatherText().startsWith(QLatin1String("San Diego\r\n")));
    QVERIFY(m_messages->messages.isEmpty());

    // Escape brings a settings window loaded afresh; closing that one ends the program.
    QTest::keyClick(display, Qt::Key_Escape);
    auto* fresh = qobject_cast<SettingsWindow*>(Forms::loaded(FormId::Settings));
    QVERIFY(fresh);
    QVERIFY(fresh->isVisible());
    QVERIFY(!fresh->openingDisplay());
    fresh->close();
    QVERIFY(Forms::ending());
}

void SettingsWindowTest::openingWaitsForADeadServiceOnce() {
    useSampleService();
    sharedTransfer().setTimeLimit(300ms);
    m_service->setFault(sample::SampleWeatherService::Fault::Stall);
    SettingsWindow* form = loadSettingsWindow();
    Forms::show(FormId::Settings);

    control<PushButton>(form, "PushButton1")->click();
    // The display's load asked once; the restyle took that failure as it was.
    QCOMPARE(m_service->weatherRequestCount(), 1);
    QCOMPARE(m_messages->messages.size(), 1);
    QVERIFY(m_messages->messages.first().text.contains(
        reportLine(QStringLiteral("Form2.getWeather"), 102)));
    auto* display = qobject_cast<DisplayWindow*>(Forms::loaded(FormId::Display));
    QVERIFY(display);
    QVERIFY(display->isVisible());
    QVERIFY(display->weatherText().contains(QLatin1String("Current Temperature: -- ")));

    // A wall display opened before its network is up tries again after the first short wait,
    // not ten minutes later.
    display->findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
    m_service->setFault(sample::SampleWeatherService::Fault::None);
    display->setTickCountForTesting(28);
    display->refreshTick();
    QCOMPARE(m_service->weatherRequestCount(), 1);
    display->refreshTick();
    QCOMPARE(m_service->weatherRequestCount(), 2);
    QVERIFY(display->weatherText().startsWith(QLatin1String("San Diego\r\n")));

    // The next opening asks afresh, and with a service that answers, as often as ever.
    QTest::keyClick(display, Qt::Key_Escape);
    m_service->clearRequests();
    control<PushButton>(qobject_cast<SettingsWindow*>(Forms::loaded(FormId::Settings)),
                        "PushButton1")
        ->click();
    QCOMPARE(m_service->weatherRequestCount(), 2);
    QVERIFY(display->weatherText().startsWith(QLatin1String("San Diego\r\n")));
}

// A wall display starting on a store nobody may write and that lacks most keys: the load's
// write-backs fail, yet the display opens and runs, and the failure is told once, over it.
void SettingsWindowTest::unattendedStartOnAReadOnlyStore() {
    useSampleService();
    // A kiosk store frozen without "Check4": the display keeps the screen awake all the same.
    m_store->writeRaw("[Nimbrel]\nAPIKey=demo-key\nText1=San Diego CA\n");
    struct Quiet : KeepAwake {
        void nudge() override {}
    };
    DisplayWindow::setKeepAwakeFactoryForTesting([] { return std::make_unique<Quiet>(); });
    QVERIFY(QFile::setPermissions(m_store->path(), QFile::ReadOwner | QFile::ReadGroup));
    struct OverTheDisplay : MessageRecorder {
        QObject* showModeless(const Message& message) override {
            const Form* display = Forms::loaded(FormId::Display);
            displayUp = display && display->isVisible();
            return MessageRecorder::showModeless(message);
        }
        bool displayUp = false;
    };
    m_messages.reset();
    auto* recorder = new OverTheDisplay;
    m_messages.reset(recorder);
    Forms::registerFactory(FormId::Settings, [] { return new SettingsWindow; });
    SettingsWindow::openDisplayAtStart();
    QCOMPARE(recorder->messages.size(), 1);
    QVERIFY(
        recorder->messages.constFirst().text.contains(reportLine(u"Form1.Check2_Click"_s, 100)));
    QVERIFY(recorder->displayUp);
    QCOMPARE(recorder->modelessOnScreen(), 1);
    QVERIFY(Forms::loaded(FormId::Display)->findChild<QTimer*>(u"Timer2"_s)->isActive());
    // Escape loads the settings window afresh, whose write-backs fail again: still one report.
    QTest::keyClick(Forms::loaded(FormId::Display), Qt::Key_Escape);
    QVERIFY(Forms::loaded(FormId::Settings));
    QCOMPARE(recorder->messages.size(), 1);
}

// The key test has the transfer and its request stalls; the display's refresh waits behind it.
// Closing the settings window then ends everything at once, not when the transfer gives up.
void SettingsWindowTest::endWhileDisplayWaitsBehindKeyTest() {
    useSampleService();
    Forms::registerFactory(FormId::ApiKey, [] { return new KeyWindow; });
    SettingsWindow* form = loadSettingsWindow();
    Forms::show(FormId::Settings);
    control<PushButton>(form, "PushButton1")->click();
    auto* display = qobject_cast<DisplayWindow*>(Forms::loaded(FormId::Display));
    QVERIFY(display);
    // Only the test ticks: a real tick arriving during the key test's wait would be the one
    // waiting, and the test's own tick would return at once.
    display->findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
    QTest::keyClick(display, Qt::Key_Escape);
    form = qobject_cast<SettingsWindow*>(Forms::loaded(FormId::Settings));
    QVERIFY(form && form->isVisible());
    // The opening's forecast, asked in the background, is not the request this test waits for.
    QTRY_VERIFY_WITH_TIMEOUT(!display->forecastTransfer().isFetchingInBackground(), 5000);

    sharedTransfer().setTimeLimit(30s);
    m_service->setFault(sample::SampleWeatherService::Fault::Stall);
    auto* keys = Forms::get<KeyWindow>(FormId::ApiKey);
    bool keyTestOver = false;
    bool tickOver = false;
    bool tickWaited = false;
    // Should anything still wait two seconds after the close, end the transfer so the test can
    // tell.
    bool stillWaiting = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, &watchdog, [&] {
        stillWaiting = true;
        sharedTransfer().abort();
    });
    bool tickStarted = false;
    // The close comes from a timer, not a posted call: a wait entered while a posted call is
    // being delivered does not see calls posted before it (Qt's GLib dispatcher), and the close
    // would then come only when the key test gives up.
    std::function<void()> closeOnceTheTickWaits = [&] {
        if (!tickStarted) {
            QTimer::singleShot(1ms, form, closeOnceTheTickWaits);
            return;
        }
        tickWaited = sharedTransfer().isExecuting() && !tickOver;
        watchdog.start(2s);
        form->close();
    };
    connect(m_service.get(), &sample::SampleWeatherService::requestReceived, display, [&] {
        QTimer::singleShot(0, display, [&] {
            tickStarted = true;
            display->setTickCountForTesting(599);
            display->refreshTick();
            tickOver = true;
        });
        QTimer::singleShot(1ms, form, closeOnceTheTickWaits);
    });
    QTimer::singleShot(0, keys, [&] {
        keys->testKey();
        keyTestOver = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(keyTestOver && tickOver, 5000);
    watchdog.stop();
    QVERIFY(tickWaited);
    QVERIFY(Forms::ending());
    QVERIFY(!stillWaiting);
    QVERIFY(!sharedTransfer().isExecuting());
    QVERIFY(m_messages->messages.isEmpty());
}

void SettingsWindowTest::hoverRules() {
    SettingsWindow* form = loadSettingsWindow();
    QCOMPARE(form->mousePointer(), MousePointer::Default);

    moveOver(control<PushButton>(form, "PushButton4"));
    QCOMPARE(form->mousePointer(), MousePointer::Custom);
    // A check box inside a frame changes nothing; the frame behind it does not see the move.
    moveOver(control<QCheckBox>(form, "Check5"));
    QCOMPARE(form->mousePointer(), MousePointer::Custom);
    moveOver(control<QComboBox>(form, "Combo1"));
    QCOMPARE(form->mousePointer(), MousePointer::Custom);
    moveOver(control<QGroupBox>(form, "Frame4"));
    QCOMPARE(form->mousePointer(), MousePointer::Default);

    moveOver(control<PushButton>(form, "PushButton7"));
    QCOMPARE(form->mousePointer(), MousePointer::Custom);
    moveOver(form);
    QCOMPARE(form->mousePointer(), MousePointer::Default);

    // The hourglass is left alone.
    form->setMousePointer(MousePointer::Hourglass);
    moveOver(control<PushButton>(form, "PushButton1"));
    QCOMPARE(form->mousePointer(), MousePointer::Hourglass);
}

void SettingsWindowTest::skin_data() {
    QTest::addColumn<bool>("asFile");
    QTest::newRow("skin file") << true;
    QTest::newRow("folder of that name") << false;
}

void SettingsWindowTest::skin() {
    QFETCH(bool, asFile);
    const QByteArray sheet = "QToolTip { color: black; }";
    QVERIFY(QDir(m_folder->path()).mkpath(QStringLiteral("x")));
    if (asFile) {
        QFile skinFile(m_folder->filePath(QStringLiteral("x/o.cjs")));
        QVERIFY(skinFile.open(QIODevice::WriteOnly));
        skinFile.write(sheet);
    } else {
        QVERIFY(QDir(m_folder->path()).mkpath(QStringLiteral("x/o.cjs")));
    }
    const QColor face = QApplication::palette().color(QPalette::Button);
    QVERIFY(face != QColor(Qt::white));

    SettingsWindow* form = loadSettingsWindow();
    QVERIFY(m_messages->messages.isEmpty());
    const QColor expected = asFile ? face : QColor(Qt::white);
    QCOMPARE(background(form), expected);
    QCOMPARE(background(control<QGroupBox>(form, "Frame3")), expected);
    QCOMPARE(background(control<QCheckBox>(form, "Check2")), expected);
    QCOMPARE(background(control<QRadioButton>(form, "Option2")), expected);
    QCOMPARE(qApp->styleSheet(), asFile ? QString::fromLatin1(sheet) : QString());
}

void SettingsWindowTest::handPointerThatIsAFolder() {
    QVERIFY(QDir(m_folder->path()).mkpath(QStringLiteral("HAND-M.CUR")));
    SettingsWindow* form = loadSettingsWindow();
    QCOMPARE(m_messages->messages.size(), 1);
    QVERIFY(m_messages->messages.first().text.contains(
        reportLine(QStringLiteral("Form1.Form_Load"), 104)));
    QVERIFY(!form->hasMouseIcon());
    QCOMPARE(form->windowTitle(), QStringLiteral("Nimbrel"));
}

void SettingsWindowTest::handPointerFile() {
    const QString source = QStringLiteral(NIMBREL_SOURCE_DIR "/resources/HAND-M.CUR");
    if (!QFile::exists(source))
        QSKIP("resources/HAND-M.CUR is not in the tree");
    QVERIFY(QFile::copy(source, m_folder->filePath(QStringLiteral("HAND-M.CUR"))));
    SettingsWindow* form = loadSettingsWindow();
    QVERIFY(m_messages->messages.isEmpty());
    QVERIFY(form->hasMouseIcon());
    moveOver(control<PushButton>(form, "PushButton3"));
    QCOMPARE(form->cursor().shape(), Qt::BitmapCursor);
    moveOver(control<QGroupBox>(form, "Frame1"));
    QCOMPARE(form->cursor().shape(), Qt::ArrowCursor);
}

NIMBREL_TEST_MAIN(SettingsWindowTest)
#include "tst_settingswindow.moc"
