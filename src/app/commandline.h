#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class QScreen;

namespace nimbrel {

// What the command line asks of this run. Nothing here is stored: the settings window still
// shows and saves exactly what it did before.
struct StartOptions {
    // Straight into the full-screen display, as a click on the start button would do.
    bool showWeather = false;
    // Replaces the built-in service address for this run only; empty keeps the built-in one.
    QString serviceUrl;
    // The monitor to use for this run, by the name Qt gives it or its number in the list;
    // empty leaves the choice to the program.
    QString screen;
    bool listScreens = false;
    // Qt's -platform and -display as given; empty when absent.
    QString platform;
    QString display;
};

// Either the options to run with, or the exit code of a run that ends here (help, version, or
// a command line that cannot be used), with what goes to the terminal either way.
struct CommandLineResult {
    std::optional<StartOptions> options;
    int exitCode = 0;
    QString standardOutput;
    QString standardError;
};

// Reads the arguments (the program's name first, as in argv), Qt's own options included, so
// that every mistake is answered before any window system is needed.
CommandLineResult parseCommandLine(const QStringList& arguments);

// Writes the result's texts to standard output and standard error.
void printCommandLineResult(const CommandLineResult& result);

// What the screen options come to once the application exists: a run that ends here (the
// list printed, or an unknown screen), or the screen chosen (nullptr when none was asked for).
struct ScreenChoice {
    CommandLineResult ending;
    bool ends = false;
    QScreen* screen = nullptr;
};
ScreenChoice chooseScreen(const StartOptions& options, const QList<QScreen*>& screens);

// The X display Qt's xcb plug-in will connect to, when it is sure to be the plug-in Qt picks and
// a display is named; empty otherwise. That plug-in aborts with a screenful when it cannot
// connect, so this run checks first. With no platform asked for, a Wayland session may well
// get Wayland: no check then.
QString xDisplayToCheck(const StartOptions& options);
// The run that ends because that display cannot be opened.
CommandLineResult xDisplayUnreachable(const QString& display);

// Why the address cannot be fetched from, as one line for the terminal; empty when it can. Only
// plain web addresses with a host, and nothing after the path that the request's own path and
// query would be appended to.
QString serviceUrlProblem(const QString& url);
// True for an address on which the key would cross a network unencrypted.
bool sendsKeyInClear(const QString& url);
// The text as it may appear on a terminal: an address's password left out, control characters
// escaped.
QString forTerminal(const QString& text);

} // namespace nimbrel
