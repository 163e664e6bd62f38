#include "messages.h"

#include "failurereports.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace nimbrel {

namespace {

MessageSink* s_sink = nullptr;

// The report separates its lines with CR LF and an empty line with CR CR; a Qt label only breaks
// at LF, so the text is adapted for the screen while callers and recorders see it unchanged.
QString screenText(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void setUpBox(QMessageBox& box, const Message& message) {
    box.setIcon(message.icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                         : QMessageBox::NoIcon);
    box.setWindowTitle(message.title);
    // Locations and descriptions come from the user and the network: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(screenText(message.text));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
}

void showMessageBox(const Message& message) {
    QMessageBox box;
    setUpBox(box, message);
    box.exec();
}

QObject* showModelessBox(const Message& message) {
    auto* box = new QMessageBox;
    setUpBox(*box, message);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

} // namespace

void setMessageSink(MessageSink* sink) {
    // Whoever takes over the message boxes (a test's recorder) sees the guard's reports too.
    installFailureReports();
    s_sink = sink;
}

void showMessage(const Message& message) {
    if (s_sink != nullptr) {
        s_sink->show(message);
        return;
    }
    showMessageBox(message);
}

QObject* showModelessMessage(const Message& message) {
    if (s_sink != nullptr)
        return s_sink->showModeless(message);
    return showModelessBox(message);
}

void closeModelessMessage(QObject* box) {
    if (box == nullptr)
        return;
    // Later, not now: the box may be somewhere further down the stack, in one of its own events.
    if (auto* window = qobject_cast<QWidget*>(box))
        window->hide();
    box->deleteLater();
}

void showPlainMessage(const QString& text) {
    showMessage(Message{QGuiApplication::applicationDisplayName(), text, MessageIcon::None});
}

} // namespace nimbrel
