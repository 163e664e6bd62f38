#include "terminationrequests.h"

#include "settings.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace nimbrel {

namespace {

// A signal can arrive in the middle of anything, a save included; its handler only writes a byte
// that the event loop reads once it is back in charge.
int wakeUp[2] = {-1, -1};
// Also for code that holds up the event loop while it waits (a save waiting for another copy),
// so that it can give up and let the loop end the program.
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onTerminationSignal(int) {
    const int saved = errno;
    stopRequested = 1;
    const char byte = 1;
    (void)!::write(wakeUp[1], &byte, 1);
    errno = saved;
}

} // namespace

void quitOnTerminationRequests(std::function<void()> quit) {
    if (::pipe2(wakeUp, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier =
        new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [quit = std::move(quit)] {
        char bytes[16];
        while (::read(wakeUp[0], bytes, sizeof bytes) > 0) {
        }
        quit();
        // The settings window loads before the main loop runs, and a report it shows waits in a
        // loop of its own: an exit asked for there is forgotten once the main loop starts. So it
        // is asked for again until a loop that counts takes it.
        auto* again = new QTimer(QCoreApplication::instance());
        QObject::connect(again, &QTimer::timeout, again, [] { QCoreApplication::exit(0); });
        again->start(100);
    });
    setStopRequestCheck([] { return stopRequested != 0; });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted file calls resume by themselves; the store's own loops retry the rest.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

} // namespace nimbrel
