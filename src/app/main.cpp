#include "application.h"
#include "colourwindow.h"
#include "commandline.h"
#include "displaycheck.h"
#include "displaywindow.h"
#include "forms.h"
#include "keywindow.h"
#include "optionswindow.h"
#include "programidentity.h"
#include "settingswindow.h"
#include "startscreen.h"
#include "terminationrequests.h"
#include "weatherrequest.h"

using namespace nimbrel;

namespace {

QStringList argumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

} // namespace

int main(int argc, char* argv[]) {
    // Read before any window system is touched, so help, version and every mistake are
    // answered on a console.
    const CommandLineResult commandLine = parseCommandLine(argumentsOf(argc, argv));
    printCommandLineResult(commandLine);
    if (!commandLine.options)
        return commandLine.exitCode;
    const StartOptions options = *commandLine.options;
    if (const QString display = xDisplayToCheck(options);
        !display.isEmpty() && !canOpenXDisplay(display)) {
        const CommandLineResult ending = xDisplayUnreachable(display);
        printCommandLineResult(ending);
        return ending.exitCode;
    }

    // Keeps a window alive while one of its handlers runs, so hand-overs can discard windows
    // from inside their own event procedures.
    Application app(argc, argv);
    // The monitors exist only now.
    const ScreenChoice screen = chooseScreen(options, QGuiApplication::screens());
    if (screen.ends) {
        printCommandLineResult(screen.ending);
        return screen.ending.exitCode;
    }
    setStartScreen(screen.screen);
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Nimbrel"));
    QApplication::setWindowIcon(applicationIcon());
    // The program ends only when the settings window is closed (the registry then quits);
    // every window being hidden for a moment during a hand-over is no reason to stop.
    QApplication::setQuitOnLastWindowClosed(false);
    // Asked to stop from outside, the program ends as closing the settings window ends it.
    quitOnTerminationRequests([] { Forms::endProgram(); });
    if (!options.serviceUrl.isEmpty())
        setServiceBaseUrl(options.serviceUrl);

    Forms::registerFactory(FormId::Settings, [] { return new SettingsWindow; });
    Forms::registerFactory(FormId::Display, [] { return new DisplayWindow; });
    Forms::registerFactory(FormId::ApiKey, [] { return new KeyWindow; });
    Forms::registerFactory(FormId::Colours, [] { return new ColourWindow; });
    Forms::registerFactory(FormId::Options, [] { return new OptionsWindow; });

    if (options.showWeather)
        // Once the event loop runs, as a click would come: the fetches wait in nested loops.
        QMetaObject::invokeMethod(&app, &SettingsWindow::openDisplayAtStart, Qt::QueuedConnection);
    else
        Forms::show(FormId::Settings);
    const int result = Application::exec();
    Forms::reset();
    return result;
}
