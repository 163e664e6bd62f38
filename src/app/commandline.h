#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace nimbrel {

// What the command line asks of this run. Nothing here is stored: the settings window still
// shows and saves exactly what it did before.
struct StartOptions {
    // Straight into the full-screen display, as a click on the start button would do.
    bool display = false;
    // Replaces the built-in service address for this run only; empty keeps the built-in one.
    QString serviceUrl;
};

// Either the options to run with, or the exit code of a run that ends here (help, version, or
// a command line that cannot be used). Everything meant for the terminal is written by the
// parser: the help and version to standard output, errors and warnings to standard error.
struct CommandLineResult {
    std::optional<StartOptions> options;
    int exitCode = 0;
    // The arguments hold something unknown that may be one of Qt's own options (-platform,
    // -style…): ask again with the arguments the application object leaves over.
    bool askAgainWithApplication = false;
};

enum class CommandLineStage { BeforeApplication, WithApplication };

// Reads the arguments (the program's name first, as in argv). The first reading comes before
// the application object exists, so --help and --version work where no display can be opened.
CommandLineResult parseCommandLine(const QStringList& arguments, CommandLineStage stage);

// Only plain web addresses with a host can be fetched from.
bool isUsableServiceUrl(const QString& url);
// True for an address on which the key would cross a network unencrypted.
bool sendsKeyInClear(const QString& url);

} // namespace nimbrel
