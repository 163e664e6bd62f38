#include "messages.h"

#include "failurereports.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <algorithm>

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

// A box raised while a full-screen window is up (the display) belongs to that window: as a window
// of its own a compositor keeps it in the normal layer, under the full-screen one, where nobody
// sees it; as its transient child it goes on top on Wayland, under X11 window managers and on
// Windows alike.
QWidget* fullScreenOwner() {
    QWidget* active = QApplication::activeWindow();
    if (active != nullptr && active->isFullScreen())
        return active;
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto found = std::find_if(windows.cbegin(), windows.cend(), [](const QWidget* w) {
        return w->isVisible() && w->isFullScreen();
    });
    return found != windows.cend() ? *found : nullptr;
}

void showMessageBox(const Message& message) {
    // Its owner may be discarded while the box waits, and takes the box with it.
    const QPointer<QMessageBox> box = new QMessageBox(fullScreenOwner());
    setUpBox(*box, message);
    box->exec();
    delete box.data();
}

QObject* showModelessBox(const Message& message) {
    QWidget* owner = fullScreenOwner();
    auto* box = new QMessageBox(owner);
    setUpBox(*box, message);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    // The display's own reports wait for somebody to come by; standing in its top right-hand
    // corner they leave the weather in the middle, the hint and the age line on the left, to be
    // read meanwhile.
    if (owner != nullptr) {
        box->adjustSize();
        const QRect area = owner->geometry();
        const int margin = std::max(8, area.height() / 100);
        box->move(area.right() + 1 - margin - box->width(), area.top() + margin);
    }
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
    showMessage(Message{QApplication::applicationDisplayName(), text, MessageIcon::None});
}

} // namespace nimbrel
