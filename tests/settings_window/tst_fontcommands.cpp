#include "apperror.h"
#include "dialogs.h"
#include "pushbutton.h"
#include "readsetting.h"
#include "settingswindowtest.h"
#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>

using namespace nimbrel;
using namespace Qt::StringLiterals;
using namespace nimbrel::test;

namespace {

// Stands in for the font dialog: records the presets it is handed and answers with the face,
// style and size a user would pick, or leaves everything as it was (Cancel).
class ScriptedFontPicker : public FontPicker {
public:
    void pick(QWidget* parent, FontChoice& font) override {
        ++calls;
        parentSeen = parent;
        presets = font;
        if (failure)
            throw AppError(QStringLiteral("The dialog could not be shown"));
        if (answer) {
            font.name = answer->name;
            font.bold = answer->bold;
            font.italic = answer->italic;
            font.size = answer->size;
        }
    }

    int calls = 0;
    QWidget* parentSeen = nullptr;
    FontChoice presets;
    std::optional<FontChoice> answer;
    bool failure = false;
};

QString stored(const char* key) {
    return readSetting(QLatin1String(key), "absent");
}
} // namespace

class FontCommandsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void cancelWithEmptyStoreStoresThePresets();
    void chosenFontIsStored_data();
    void chosenFontIsStored();
    void presetsFromTheStore_data();
    void presetsFromTheStore();
    void effectsSetElsewhereSurvive();
    void sizeThatDoesNotConvertKeepsTheDialogsSize();
    void dialogThatFailsStillStoresThePresets();
    void fontReset();
    void colourReset();
    void colourCommandHidesTheWindow();
    void realDialogCancel();

private:
    void clickOn(const char* button) { control<PushButton>(m_form, button)->click(); }

    std::unique_ptr<TempSettings> m_store;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<ScriptedFontPicker> m_scripted;
    ScriptedFontPicker& picker() { return *m_scripted; }
    SettingsWindow* m_form = nullptr;
};

void FontCommandsTest::init() {
    m_store = std::make_unique<TempSettings>();
    m_messages = std::make_unique<MessageRecorder>();
    m_scripted = std::make_unique<ScriptedFontPicker>();
    setFontPicker(m_scripted.get());
    m_form = loadSettingsWindow();
    Forms::show(FormId::Settings);
}

void FontCommandsTest::cleanup() {
    setFontPicker(nullptr);
    Forms::reset();
    m_form = nullptr;
    m_scripted.reset();
    m_messages.reset();
    m_store.reset();
}

void FontCommandsTest::cancelWithEmptyStoreStoresThePresets() {
    clickOn("PushButton2");
    QCOMPARE(picker().calls, 1);
    QCOMPARE(picker().parentSeen, m_form);
    QCOMPARE(picker().presets.name, QStringLiteral("Courier New"));
    QVERIFY(picker().presets.bold);
    QVERIFY(!picker().presets.italic);
    QCOMPARE(picker().presets.size, 72.0);
    QVERIFY(!picker().presets.strikeout);
    QVERIFY(!picker().presets.underline);

    // Spelled as the command writes them; the display reads the last two in other letter case.
    const QMap<QString, QString> entries = m_store->entries();
    QCOMPARE(entries.value(u"FontName"_s), QStringLiteral("Courier New"));
    QCOMPARE(entries.value(u"FontBold"_s), QStringLiteral("True"));
    QCOMPARE(entries.value(u"FontItalic"_s), QStringLiteral("False"));
    QCOMPARE(entries.value(u"FontSize"_s), QStringLiteral("72"));
    QCOMPARE(entries.value(u"FontStrikethru"_s), QStringLiteral("False"));
    QCOMPARE(entries.value(u"FontUnderline"_s), QStringLiteral("False"));
    QCOMPARE(stored("FontStrikeThru"), QStringLiteral("False"));
    QVERIFY(m_messages->messages.isEmpty());
}

void FontCommandsTest::chosenFontIsStored_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<double>("size");
    QTest::addColumn<QString>("sizeText");
    QTest::newRow("capped at 250") << "Liberation Serif" << false << true << 300.0 << "250";
    QTest::newRow("exactly 250") << "Arial" << true << false << 250.0 << "250";
    QTest::newRow("small") << "Arial" << true << true << 8.0 << "8";
    QTest::newRow("fraction kept") << "Liberation Mono" << false << false << 10.5 << "10.5";
    QTest::newRow("no lower bound") << "Arial" << false << false << 0.75 << "0.75";
}

void FontCommandsTest::chosenFontIsStored() {
    QFETCH(QString, name);
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    QFETCH(double, size);
    QFETCH(QString, sizeText);
    picker().answer = FontChoice{name, bold, italic, size, false, false};
    clickOn("PushButton2");
    QCOMPARE(stored("FontName"), name);
    QCOMPARE(stored("FontBold"), bold ? QStringLiteral("True") : QStringLiteral("False"));
    QCOMPARE(stored("FontItalic"), italic ? QStringLiteral("True") : QStringLiteral("False"));
    QCOMPARE(stored("FontSize"), sizeText);
}

void FontCommandsTest::presetsFromTheStore_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("sizeAfterCancel");
    QTest::addColumn<bool>("bold");
    QTest::newRow("10.5 rounds to 10") << "FontSize"
                                       << "10.5"
                                       << "10" << true;
    QTest::newRow("11.5 rounds to 12") << "FontSize"
                                       << "11.5"
                                       << "12" << true;
    QTest::newRow("lower-case true is false") << "FontBold"
                                              << "true"
                                              << "72" << false;
    QTest::newRow("key in other letter case") << "fontbold"
                                              << "False"
                                              << "72" << false;
}

void FontCommandsTest::presetsFromTheStore() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, sizeAfterCancel);
    QFETCH(bool, bold);
    saveSetting(key, value);
    clickOn("PushButton2");
    QVERIFY(m_messages->messages.isEmpty());
    QCOMPARE(picker().presets.size, sizeAfterCancel.toDouble());
    QCOMPARE(picker().presets.bold, bold);
    QCOMPARE(stored("FontSize"), sizeAfterCancel);
    QCOMPARE(stored("FontBold"), bold ? QStringLiteral("True") : QStringLiteral("False"));
}

void FontCommandsTest::effectsSetElsewhereSurvive() {
    saveSetting(QStringLiteral("FontStrikeThru"), QStringLiteral("True"));
    saveSetting(QStringLiteral("FontUnderLine"), QStringLiteral("True"));
    picker().answer = FontChoice{QStringLiteral("Arial"), false, false, 20, false, false};
    clickOn("PushButton2");
    QVERIFY(picker().presets.strikeout);
    QVERIFY(picker().presets.underline);
    QCOMPARE(stored("FontStrikeThru"), QStringLiteral("True"));
    QCOMPARE(stored("FontUnderLine"), QStringLiteral("True"));
}

void FontCommandsTest::sizeThatDoesNotConvertKeepsTheDialogsSize() {
    picker().answer = FontChoice{QStringLiteral("Arial"), true, false, 30, false, false};
    clickOn("PushButton2");
    QCOMPARE(stored("FontSize"), QStringLiteral("30"));

    saveSetting(QStringLiteral("FontSize"), QStringLiteral("huge"));
    saveSetting(QStringLiteral("FontName"), QStringLiteral("Liberation Serif"));
    picker().answer.reset();
    clickOn("PushButton2");
    QCOMPARE(m_messages->messages.size(), 1);
    QVERIFY(m_messages->messages.first().text.startsWith(QStringLiteral("Type mismatch\r\n")));
    QVERIFY(m_messages->messages.first().text.contains(
        reportLine(QStringLiteral("Form1.PushButton2_Click"), 108)));
    // Only that step failed: the other presets were read, and everything was stored.
    QCOMPARE(picker().presets.name, QStringLiteral("Liberation Serif"));
    QCOMPARE(picker().presets.size, 30.0);
    QCOMPARE(stored("FontSize"), QStringLiteral("30"));
    QCOMPARE(stored("FontName"), QStringLiteral("Liberation Serif"));
}

void FontCommandsTest::dialogThatFailsStillStoresThePresets() {
    saveSetting(QStringLiteral("FontName"), QStringLiteral("Liberation Mono"));
    picker().failure = true;
    clickOn("PushButton2");
    QCOMPARE(m_messages->messages.size(), 1);
    QVERIFY(m_messages->messages.first().text.contains(
        reportLine(QStringLiteral("Form1.PushButton2_Click"), 114)));
    QCOMPARE(stored("FontName"), QStringLiteral("Liberation Mono"));
    QCOMPARE(stored("FontSize"), QStringLiteral("72"));
    QCOMPARE(stored("FontBold"), QStringLiteral("True"));
}

void FontCommandsTest::fontReset() {
    // A font command that stored effects (under its own spelling) is undone by the reset
    // (under the readers' spelling): they are one setting each.
    saveSetting(QStringLiteral("FontStrikethru"), QStringLiteral("True"));
    saveSetting(QStringLiteral("FontUnderline"), QStringLiteral("True"));
    saveSetting(QStringLiteral("FontName"), QStringLiteral("Liberation Serif"));
    saveSetting(QStringLiteral("FontBold"), QStringLiteral("False"));
    saveSetting(QStringLiteral("FontItalic"), QStringLiteral("True"));
    saveSetting(QStringLiteral("FontSize"), QStringLiteral("12"));
    clickOn("PushButton3");
    QCOMPARE(picker().calls, 0);
    QCOMPARE(stored("FontName"), QStringLiteral("Arial"));
    QCOMPARE(stored("FontBold"), QStringLiteral("True"));
    QCOMPARE(stored("FontItalic"), QStringLiteral("False"));
    QCOMPARE(stored("FontSize"), QStringLiteral("72"));
    QCOMPARE(stored("FontStrikeThru"), QStringLiteral("False"));
    QCOMPARE(stored("FontUnderLine"), QStringLiteral("False"));
    QCOMPARE(stored("FontStrikethru"), QStringLiteral("False"));
    QVERIFY(m_messages->messages.isEmpty());
}

void FontCommandsTest::colourReset() {
    saveSetting(QStringLiteral("Font Color"), QStringLiteral("255"));
    saveSetting(QStringLiteral("Background Color"), QStringLiteral("65280"));
    clickOn("PushButton7");
    QCOMPARE(stored("Font Color"), QStringLiteral("16777215"));
    QCOMPARE(stored("Background Color"), QStringLiteral("0"));
    QVERIFY(m_messages->messages.isEmpty());
}

void FontCommandsTest::colourCommandHidesTheWindow() {
    Forms::registerFactory(FormId::Colours, [] { return new StandInWindow(FormId::Colours); });
    clickOn("PushButton5");
    QVERIFY(Forms::loaded(FormId::Colours)->isVisible());
    QVERIFY(!m_form->isVisible());
    QCOMPARE(Forms::loaded(FormId::Settings), m_form);
}

// Qt's own font dialog, driven for real: it opens modal on the settings window without an
// effects section, and a Cancel leaves the presets to be stored.
void FontCommandsTest::realDialogCancel() {
    setFontPicker(nullptr);
    bool seen = false;
    QWidget* dialogParent = nullptr;
    bool effectsShown = true;
    int sizeShown = 0;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* dialog = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        seen = true;
        dialogParent = dialog->parentWidget();
        effectsShown = false;
        const auto boxes = dialog->findChildren<QCheckBox*>();
        for (QCheckBox* box : boxes)
            effectsShown = effectsShown || box->isVisibleTo(dialog);
        sizeShown = dialog->currentFont().pointSize();
        dialog->reject();
    });
    poll.start();
    QTimer giveUp;
    giveUp.setSingleShot(true);
    connect(&giveUp, &QTimer::timeout, this, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            QMetaObject::invokeMethod(modal, "reject");
    });
    giveUp.start(5000);

    clickOn("PushButton2");

    QVERIFY(seen);
    QCOMPARE(dialogParent, m_form);
    QVERIFY(!effectsShown);
    QCOMPARE(sizeShown, 72);
    QCOMPARE(stored("FontName"), QStringLiteral("Courier New"));
    QCOMPARE(stored("FontBold"), QStringLiteral("True"));
    QCOMPARE(stored("FontItalic"), QStringLiteral("False"));
    QCOMPARE(stored("FontSize"), QStringLiteral("72"));
    QCOMPARE(stored("FontStrikethru"), QStringLiteral("False"));
    QCOMPARE(stored("FontUnderline"), QStringLiteral("False"));
}

NIMBREL_TEST_MAIN(FontCommandsTest)
#include "tst_fontcommands.moc"
