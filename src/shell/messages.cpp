#include "messages.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace nimbrel {

namespace {

MessageSink* g_sink = nullptr;

// The report separates its lines with CR LF and an empty line with CR CR; a Qt label only breaks
// at LF, so the text is adapted for the screen while callers and recorders see it unchanged.
QString screenText(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void showMessageBox(const Message& message) {
    QMessageBox box(message.icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                             : QMessageBox::NoIcon,
                    message.title, screenText(message.text), QMessageBox::Ok);
    // Locations and descriptions come from the user and the network: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

} // namespace

void setMessageSink(MessageSink* sink) {
    g_sink = sink;
}

void showMessage(const Message& message) {
    if (g_sink != nullptr) {
        g_sink->show(message);
        return;
    }
    showMessageBox(message);
}

void showPlainMessage(const QString& text) {
    showMessage(Message{QGuiApplication::applicationDisplayName(), text, MessageIcon::None});
}

} // namespace nimbrel
