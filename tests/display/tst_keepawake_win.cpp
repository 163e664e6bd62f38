// The Windows keep-awake: what a nudge passes to user32 and kernel32, through a recorder, and
// one nudge through the real calls, which must reach the program's own active window.

#include "keep_awake_win.h"

#include <QKeyEvent>
#include <QList>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <deque>
#include <initializer_list>
#include <memory>

using namespace nimbrel;

namespace {

// One line per call, with its arguments in hex, so a mismatch reads like a trace.
QString call(const char* function, std::initializer_list<quint64> arguments) {
    QStringList texts;
    for (quint64 argument : arguments)
        texts.append(QStringLiteral("0x%1").arg(argument, 0, 16));
    return QLatin1String(function) + QLatin1Char('(') + texts.join(QStringLiteral(", ")) +
           QLatin1Char(')');
}

class RecordingInput final : public WindowsInput {
public:
    RecordingInput(QStringList& calls, std::deque<UINT> scanCodes)
        : m_calls(calls), m_scanCodes(std::move(scanCodes)) {}

    UINT mapVirtualKey(UINT code, UINT mapType) override {
        m_calls.append(call("MapVirtualKeyA", {code, mapType}));
        const UINT scan = m_scanCodes.front();
        m_scanCodes.pop_front();
        return scan;
    }
    void keybdEvent(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extraInfo) override {
        m_calls.append(call("keybd_event", {virtualKey, scanCode, flags, extraInfo}));
    }
    EXECUTION_STATE setThreadExecutionState(EXECUTION_STATE flags) override {
        m_calls.append(call("SetThreadExecutionState", {flags}));
        return ES_SYSTEM_REQUIRED;
    }

private:
    QStringList& m_calls;
    std::deque<UINT> m_scanCodes;
};

class KeyLog : public QWidget {
public:
    QList<QPair<QEvent::Type, int>> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.append({event->type(), event->key()}); }
    void keyReleaseEvent(QKeyEvent* event) override { keys.append({event->type(), event->key()}); }
};

} // namespace

class TestKeepAwakeWin : public QObject {
    Q_OBJECT

private slots:
    void nudgePassesRightShiftAndOneExecutionState();
    void nudgesDoNotAccumulateState();
    void realNudgeReachesActiveWindowAsShift();
};

void TestKeepAwakeWin::nudgePassesRightShiftAndOneExecutionState() {
    QStringList calls;
    // Wider than a byte, and different for press and release: the key-up must use the scan code
    // looked up for it, cut to its low byte.
    auto keepAwake = createWindowsKeepAwake(
        std::make_unique<RecordingInput>(calls, std::deque<UINT>{0x136, 0x54}));
    keepAwake->nudge();
    const QStringList expected = {
        call("MapVirtualKeyA", {0xA1, 0}),
        call("keybd_event", {0xA1, 0x36, 0, 0}),
        call("MapVirtualKeyA", {0xA1, 0}),
        call("keybd_event", {0xA1, 0x54, 2, 0}),
        call("SetThreadExecutionState", {0x00000001}),
    };
    QCOMPARE(calls, expected);
}

void TestKeepAwakeWin::nudgesDoNotAccumulateState() {
    QStringList calls;
    auto keepAwake = createWindowsKeepAwake(
        std::make_unique<RecordingInput>(calls, std::deque<UINT>{0x36, 0x36, 0x36, 0x36}));
    keepAwake->nudge();
    const QStringList first = calls;
    calls.clear();
    keepAwake->nudge();
    // The second tick says exactly what the first said: no ES_CONTINUOUS left to undo.
    QCOMPARE(calls, first);
}

void TestKeepAwakeWin::realNudgeReachesActiveWindowAsShift() {
    KeyLog window;
    window.resize(200, 100);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window, 5000));
    createPlatformKeepAwake()->nudge();
    using Key = QPair<QEvent::Type, int>;
    QTRY_COMPARE_WITH_TIMEOUT(
        window.keys,
        (QList<Key>{{QEvent::KeyPress, Qt::Key_Shift}, {QEvent::KeyRelease, Qt::Key_Shift}}), 5000);
}

QTEST_MAIN(TestKeepAwakeWin)
#include "tst_keepawake_win.moc"
