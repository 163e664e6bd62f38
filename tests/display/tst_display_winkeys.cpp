// The display's keys as Windows delivers them: the typed word is read from the virtual-key
// codes, so it works whatever the keyboard layout, a Cyrillic one included.

#include "displayfixture.h"

#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>

using namespace nimbrel;
using nimbrel::test::DisplayFixture;

namespace {

// A key of the physical keyboard: its virtual-key code, what Qt makes of it under the layout,
// and the text it types.
struct PhysicalKey {
    quint32 virtualKey;
    int qtKey;
    QString text;
};

// The keys H, I, D, E, X under the Russian layout type р, ш, в, у, ч; Qt names each by its
// capital's code point.
const QHash<QChar, PhysicalKey>& russianLayout() {
    static const QHash<QChar, PhysicalKey> keys = {
        {u'h', {'H', 0x0420, QStringLiteral("\u0440")}},
        {u'i', {'I', 0x0428, QStringLiteral("\u0448")}},
        {u'd', {'D', 0x0412, QStringLiteral("\u0432")}},
        {u'e', {'E', 0x0423, QStringLiteral("\u0443")}},
        {u'x', {'X', 0x0427, QStringLiteral("\u0447")}},
    };
    return keys;
}

void press(QWidget* target, const PhysicalKey& key) {
    QKeyEvent down(QEvent::KeyPress, key.qtKey, Qt::NoModifier, 0, key.virtualKey, 0, key.text);
    QCoreApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key.qtKey, Qt::NoModifier, 0, key.virtualKey, 0, key.text);
    QCoreApplication::sendEvent(target, &up);
}

void typeRussian(QWidget* target, const QString& letters) {
    for (QChar letter : letters)
        press(target, russianLayout().value(letter));
}

} // namespace

class TestDisplayWinKeys : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture.setUp(); }
    void cleanup() { fixture.tearDown(); }

    void hideTypedOnRussianLayout_data();
    void hideTypedOnRussianLayout();
    void escapeFromTheSystemHidesDisplay();

private:
    DisplayFixture fixture;
};

void TestDisplayWinKeys::hideTypedOnRussianLayout_data() {
    QTest::addColumn<QString>("letters");
    QTest::addColumn<bool>("hintGone");
    QTest::newRow("h i d e") << "hide" << true;
    QTest::newRow("another key between") << "hixde" << false;
    QTest::newRow("h h i d e") << "hhide" << false;
}

void TestDisplayWinKeys::hideTypedOnRussianLayout() {
    QFETCH(QString, letters);
    QFETCH(bool, hintGone);
    DisplayWindow* display = DisplayFixture::openDisplay();
    QLabel* hint = display->findChild<QLabel*>(QStringLiteral("Label1"));
    QVERIFY(hint);
    const QSize before = hint->size();
    QVERIFY(!before.isEmpty());
    typeRussian(display, letters);
    QCOMPARE(hint->size(), hintGone ? QSize(0, 0) : before);
    QVERIFY(fixture.messages->messages.isEmpty());
}

void TestDisplayWinKeys::escapeFromTheSystemHidesDisplay() {
    DisplayWindow* display = DisplayFixture::openDisplay();
    QVERIFY(Forms::unload(FormId::Settings));
    press(display, {0x1B, Qt::Key_Escape, QStringLiteral("\x1b")});
    QVERIFY(display->isHidden());
    const Form* settings = Forms::loaded(FormId::Settings);
    QVERIFY(settings);
    QVERIFY(settings->isVisible());
}

QTEST_MAIN(TestDisplayWinKeys)
#include "tst_display_winkeys.moc"
