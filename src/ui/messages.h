#pragma once

#include <QObject>
#include <QString>

namespace nimbrel {

enum class MessageIcon { None, Exclamation };

// Every message box of the program has a single OK button; only the title, text and icon vary.
struct Message {
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::None;
};

// The one place that puts a message box on screen. Tests install a recorder so that nothing
// modal blocks them.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Modal: returns once the user has dismissed the box.
    virtual void show(const Message& message) = 0;
    // Modeless: returns at once. The object returned stands for the box and is destroyed when
    // the box leaves the screen, whether the user pressed OK or the program took it away. A sink
    // that does not tell the two apart takes it like a modal one, gone as soon as shown.
    virtual QObject* showModeless(const Message& message) {
        show(message);
        return nullptr;
    }
};

// nullptr restores the real message boxes.
void setMessageSink(MessageSink* sink);
void showMessage(const Message& message);
// For reports that must not hold their caller (the display's own timers): the box stays up
// while the program goes on. Watch the result with a QPointer.
QObject* showModelessMessage(const Message& message);
// Takes a modeless box off the screen, as if the user had pressed OK.
void closeModelessMessage(QObject* box);

// A hint, validation or result message: OK only, no icon, the application title as its title.
void showPlainMessage(const QString& text);

} // namespace nimbrel
