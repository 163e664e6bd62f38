#pragma once

#include <QApplication>

namespace nimbrel {

// The program's application object. It keeps every window alive while an event for it or one
// of its controls is being handled (see Form::HandlerScope), so the registry can discard a
// window from inside a nested event loop without pulling it out from under a handler.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace nimbrel
