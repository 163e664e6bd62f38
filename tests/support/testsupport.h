#pragma once

#include "messages.h"

class QWidget;

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <functional>

namespace nimbrel::test {

// Captures every message box instead of showing it, and answers at once.
class MessageRecorder : public MessageSink {
public:
    MessageRecorder();
    ~MessageRecorder() override;
    void show(const Message& message) override;

    QList<Message> messages;
    // Runs while the "box" is on screen, before show() returns (to simulate events that
    // arrive while a modal report waits).
    std::function<void(const Message&)> whileShown;
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
