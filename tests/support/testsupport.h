#pragma once

#include "messages.h"

class QWidget;

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <functional>

namespace nimbrel::test {

// Captures every message box instead of showing it, and answers at once. A modeless box stays
// "on screen" until the test dismisses it or the program closes it.
class MessageRecorder : public MessageSink {
public:
    MessageRecorder();
    ~MessageRecorder() override;
    void show(const Message& message) override;
    QObject* showModeless(const Message& message) override;

    // Modeless boxes still up, oldest first.
    int modelessOnScreen() const;
    // The user presses OK on every modeless box still up.
    void dismissModeless();

    // Every box shown, modal and modeless, in order.
    QList<Message> messages;
    // How many of them were modeless.
    int modelessShown = 0;
    // Runs while the "box" is on screen, before show() returns (to simulate events that
    // arrive while a modal report waits).
    std::function<void(const Message&)> whileShown;

private:
    QList<QPointer<QObject>> m_modeless;
};

// Points the settings store at a fresh file in a temporary folder for the life of the object.
class TempSettings {
public:
    TempSettings();
    ~TempSettings();
    QString path() const;
    // The [Nimbrel] entries as they stand in the file (keys as spelled there).
    QMap<QString, QString> entries() const;
    // Writes raw file content, to set up damaged or hand-edited stores.
    void writeRaw(const QByteArray& content) const;

private:
    QTemporaryDir m_dir;
};

// A store that fails and recovers, as a disk that fills up and is cleared: while it fails, a file
// stands where its folder should be, so every save fails ("Path not found").
class FailingStore {
public:
    FailingStore();
    ~FailingStore();
    FailingStore(const FailingStore&) = delete;
    FailingStore& operator=(const FailingStore&) = delete;
    void fail() const;
    void recover() const;
    QString path() const;

private:
    QTemporaryDir m_dir;
};

// A move of the mouse, without a button, over the widget (the hover rules' event).
void sendMouseMove(QWidget* target);

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* watched);
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace nimbrel::test

#include "application.h"

#include <QTest>

// QTEST_MAIN with the program's own application object, so windows in tests are kept alive
// during their handlers exactly as in the program.
#define NIMBREL_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char* argv[]) {                                                             \
        nimbrel::Application app(argc, argv);                                                      \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
