// The Windows screen power: its messages through a recorder, and one wake-up through the real
// calls, whose nudge must reach the program's own active window.

#include "screen_power_win.h"

#include <QKeyEvent>
#include <QTest>
#include <QWidget>

using namespace nimbrel;

namespace {

QString call(const char* how, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return QStringLiteral("%1(%2, 0x%3, 0x%4, %5)")
        .arg(QLatin1String(how))
        .arg(reinterpret_cast<quintptr>(window), 0, 16)
        .arg(message, 0, 16)
        .arg(wParam, 0, 16)
        .arg(lParam);
}

struct Recorder final : WindowsMessages, KeepAwake {
    explicit Recorder(QStringList& calls) : calls(calls) {}
    LRESULT sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        calls.append(call("SendMessage", window, message, wParam, lParam));
        return 0;
    }
    BOOL postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        calls.append(call("PostMessage", window, message, wParam, lParam));
        return TRUE;
    }
    void nudge() override { calls.append(QStringLiteral("nudge")); }
    QStringList& calls;
};

struct KeyLog : QWidget {
    QList<QPair<QEvent::Type, int>> keys;
    void keyPressEvent(QKeyEvent* event) override { keys.append({event->type(), event->key()}); }
    void keyReleaseEvent(QKeyEvent* event) override { keys.append({event->type(), event->key()}); }
};

} // namespace

class TestScreenPowerWin : public QObject {
    Q_OBJECT

private slots:
    void monitorPowerGoesToTheWindowOrElseToAll();
    void realTurnOnNudgesTheActiveWindowWithShift();
};

void TestScreenPowerWin::monitorPowerGoesToTheWindowOrElseToAll() {
    QWidget window;
    for (QWidget* target : {&window, static_cast<QWidget*>(nullptr)}) {
        QStringList calls;
        auto power = createWindowsScreenPower(target, std::make_unique<Recorder>(calls),
                                              std::make_unique<Recorder>(calls));
        QVERIFY(power->turnOff());
        power->turnOn();
        const char* how = target ? "SendMessage" : "PostMessage";
        const auto to = target ? reinterpret_cast<HWND>(window.winId()) : HWND(0xFFFF);
        QCOMPARE(calls, (QStringList{call(how, to, 0x112, 0xF170, 2),
                                     call(how, to, 0x112, 0xF170, -1), QStringLiteral("nudge")}));
    }
}

// Switching a monitor on is harmless wherever the test runs; the nudge is what can be seen.
void TestScreenPowerWin::realTurnOnNudgesTheActiveWindowWithShift() {
    KeyLog window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window, 5000));
    createPlatformScreenPower(&window)->turnOn();
    using Key = QPair<QEvent::Type, int>;
    QTRY_COMPARE_WITH_TIMEOUT(
        window.keys,
        (QList<Key>{{QEvent::KeyPress, Qt::Key_Shift}, {QEvent::KeyRelease, Qt::Key_Shift}}), 5000);
}

QTEST_MAIN(TestScreenPowerWin)
#include "tst_screenpower_win.moc"
