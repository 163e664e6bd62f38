#pragma once

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
    virtual void show(const Message& message) = 0;
};

// nullptr restores the real, modal message box.
void setMessageSink(MessageSink* sink);
void showMessage(const Message& message);

// A hint, validation or result message: OK only, no icon, the application title as its title.
void showPlainMessage(const QString& text);

} // namespace nimbrel
