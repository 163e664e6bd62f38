#include "application.h"

#include "failurereports.h"
#include "forms.h"

namespace nimbrel {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    installFailureReports();
}

bool Application::notify(QObject* receiver, QEvent* event) {
    Form* form = nullptr;
    for (QObject* o = receiver; o; o = o->parent()) {
        if ((form = qobject_cast<Form*>(o)))
            break;
    }
    // Deferred deletions of a window are the one event that must not be held back by it.
    if (!form || event->type() == QEvent::DeferredDelete)
        return QApplication::notify(receiver, event);
    // A discarded window waits only for its deletion; a timer of it that still fires would
    // start new work (a fetch) on a window that is going away.
    if (form->isUnloading() && event->type() == QEvent::Timer)
        return true;
    Form::HandlerScope scope(form);
    return QApplication::notify(receiver, event);
}

} // namespace nimbrel
