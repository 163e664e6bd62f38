#include "commandline.h"

#include <QCommandLineParser>
#include <QHostAddress>
#include <QRect>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace nimbrel {

namespace {

// The status a shell script expects for a command line it got wrong.
constexpr int kUsageError = 2;

struct QtOption {
    const char* name;
    const char* valueName; // nullptr: a switch
    const char* description;
    // Qt reads the value only as the next argument, except for these, which also take
    // "-name=value".
    bool takesAssignment = false;
};

// Qt's own options (QGuiApplication, QApplication, the X11 platform). Qt reads them from argv
// itself; they are known here so that a value of theirs is never taken for a stray argument and
// so that --help-all can list them. Qt accepts each with one dash or two.
constexpr QtOption kQtOptions[] = {
    {"platform", "name", "Window system to use: xcb, wayland, offscreen..."},
    {"platformpluginpath", "path", "Folder to load window system plug-ins from."},
    {"platformtheme", "name", "Platform theme to use."},
    {"plugin", "name", "Input plug-in to load."},
    {"qwindowgeometry", "geometry", "Geometry of the first window (WxH+X+Y)."},
    {"qwindowtitle", "title", "Title of the first window."},
    {"qwindowicon", "icon", "Icon of the windows."},
    {"session", "id", "Session to restore."},
    {"style", "style", "Widget style to use.", true},
    {"stylesheet", "file", "Style sheet to apply.", true},
    {"qmljsdebugger", "settings", "Settings of the QML debugger.", true},
    {"reverse", nullptr, "Lay out windows from right to left."},
    {"widgetcount", nullptr, "Count the widgets left at the end."},
    {"testability", nullptr, "Load the testability plug-in."},
    {"display", "name", "X11: the X display to connect to, for example :1."},
    {"geometry", "geometry", "X11: as -qwindowgeometry."},
    {"title", "title", "X11: as -qwindowtitle."},
    {"icon", "icon", "X11: as -qwindowicon."},
    {"name", "name", "X11: the instance name in the windows' class."},
    {"visual", "id", "X11: the visual to use."},
    {"nograb", nullptr, "X11: never grab the mouse or the keyboard."},
    {"dograb", nullptr, "X11: grab them even under a debugger."},
};

CommandLineResult usageError(const QString& error) {
    CommandLineResult result;
    result.exitCode = kUsageError;
    result.standardError = QStringLiteral("nimbrel: %1\n").arg(error);
    return result;
}

// This program's options that take a value, so that the value is not read as an option.
bool takesNextArgument(const QString& argument) {
    return argument == QLatin1String("--service-url") ||
           argument == QLatin1String("-service-url") || argument == QLatin1String("--screen") ||
           argument == QLatin1String("-screen");
}

const QtOption* findQtOption(const QString& argument) {
    if (!argument.startsWith(QLatin1Char('-')))
        return nullptr;
    const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1)
                             .section(QLatin1Char('='), 0, 0);
    const auto* found =
        std::find_if(std::begin(kQtOptions), std::end(kQtOptions),
                     [&](const QtOption& option) { return name == QLatin1String(option.name); });
    return found == std::end(kQtOptions) ? nullptr : found;
}

// What Qt would read differently from QCommandLineParser: a value joined with "=" that Qt does
// not see, and --display without an X display after it (it was once this program's own option;
// Qt then takes the next option for the display's name).
std::optional<QString> qtOptionMistake(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (takesNextArgument(arguments.at(i))) {
            ++i;
            continue;
        }
        const QtOption* option = findQtOption(arguments.at(i));
        if (option == nullptr || option->valueName == nullptr)
            continue;
        const QString name = QLatin1String(option->name);
        if (arguments.at(i).contains(QLatin1Char('=')) && !option->takesAssignment)
            return QStringLiteral("give Qt's option -%1 its value as the next argument, "
                                  "without '='")
                .arg(name);
        if (name == QLatin1String("display") &&
            (i + 1 == arguments.size() || arguments.at(i + 1).startsWith(QLatin1Char('-'))))
            return QStringLiteral("--display names an X display (--display :1); to open the "
                                  "weather display at start use --show-weather");
        ++i;
    }
    return std::nullopt;
}

void addQtOptions(QCommandLineParser& parser) {
    for (const QtOption& option : kQtOptions) {
        QCommandLineOption qtOption(QLatin1String(option.name), QLatin1String(option.description),
                                    option.valueName ? QLatin1String(option.valueName) : QString());
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
}

QString qtOptionsHelp() {
    QStringList names;
    for (const QtOption& option : kQtOptions)
        names.append(option.valueName
                         ? QStringLiteral("-%1 <%2>")
                               .arg(QLatin1String(option.name), QLatin1String(option.valueName))
                         : QStringLiteral("-%1").arg(QLatin1String(option.name)));
    const qsizetype width =
        std::max_element(names.cbegin(), names.cend(), [](const QString& a, const QString& b) {
            return a.size() < b.size();
        })->size();
    QString text = QStringLiteral("\nQt's own options (with one dash or two):\n");
    for (qsizetype i = 0; i < names.size(); ++i)
        text += QStringLiteral("  %1  %2\n")
                    .arg(names.at(i).leftJustified(width),
                         QLatin1String(kQtOptions[static_cast<size_t>(i)].description));
    return text;
}

struct Options {
    QCommandLineOption showWeather{
        QStringLiteral("show-weather"),
        QStringLiteral("Open the full-screen display at once, as the settings window's start "
                       "button does.")};
    QCommandLineOption serviceUrl{
        QStringLiteral("service-url"),
        QStringLiteral("Ask the weather service at <url> (http or https) for this run."),
        QStringLiteral("url")};
    QCommandLineOption screen{
        QStringLiteral("screen"),
        QStringLiteral("Use the monitor <name> (its name or number, as --list-screens shows) "
                       "for this run."),
        QStringLiteral("name")};
    QCommandLineOption listScreens{QStringLiteral("list-screens"),
                                   QStringLiteral("List the monitors and exit.")};

    void addTo(QCommandLineParser& parser) const {
        parser.setApplicationDescription(
            QStringLiteral("Shows the current weather for one place on the whole screen."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({showWeather, serviceUrl, screen, listScreens});
    }
};

QString helpText(bool withQtOptions) {
    // A parser of its own: the one that reads Qt's single-dash options would spell every long
    // option with one dash in its help.
    QCommandLineParser parser;
    Options().addTo(parser);
    // Without an application object Qt cannot know the program's name.
    QString text =
        parser.helpText().replace(QLatin1String("<executable_name>"), QLatin1String("nimbrel"));
    if (withQtOptions)
        text += qtOptionsHelp();
    return text;
}

QString withoutPasswords(QString text) {
    qsizetype from = 0;
    while ((from = text.indexOf(QLatin1String("://"), from)) >= 0) {
        const qsizetype start = from + 3;
        qsizetype end = start;
        while (end < text.size() && !QStringView(u"/?#").contains(text.at(end)) &&
               !text.at(end).isSpace())
            ++end;
        const qsizetype at = text.lastIndexOf(QLatin1Char('@'), end - 1);
        const qsizetype colon = text.indexOf(QLatin1Char(':'), start);
        if (at >= start && colon >= 0 && colon < at) {
            text.remove(colon, at - colon);
            end -= at - colon;
        }
        from = end;
    }
    return text;
}

QString escapedControls(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            break;
        default:
            escaped += c;
            continue;
        }
        if (c == QLatin1Char('\n'))
            escaped += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            escaped += QLatin1String("\\r");
        else if (c == QLatin1Char('\t'))
            escaped += QLatin1String("\\t");
        else if (c.unicode() < 0x100)
            escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            escaped += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return escaped;
}

void printTo(FILE* stream, const QString& text) {
    if (text.isEmpty())
        return;
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

QString geometryText(const QRect& geometry) {
    return QStringLiteral("%1x%2%3%4%5%6")
        .arg(geometry.width())
        .arg(geometry.height())
        .arg(geometry.x() < 0 ? QString() : QStringLiteral("+"))
        .arg(geometry.x())
        .arg(geometry.y() < 0 ? QString() : QStringLiteral("+"))
        .arg(geometry.y());
}

QString screenName(const QScreen& screen) {
    // The offscreen platform names none.
    return screen.name().isEmpty() ? QStringLiteral("(unnamed)") : forTerminal(screen.name());
}

} // namespace

QString forTerminal(const QString& text) {
    return escapedControls(withoutPasswords(text));
}

QString serviceUrlProblem(const QString& url) {
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || parsed.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QStringLiteral("'%1' is not an http or https address with a host")
            .arg(forTerminal(url));
    // The request's own path and query are appended to the address: a query or fragment of its
    // own would swallow them.
    if (parsed.hasQuery())
        return QStringLiteral("'%1' has a query ('?...'); give the service's address without one")
            .arg(forTerminal(url));
    if (parsed.hasFragment())
        return QStringLiteral("'%1' has a fragment ('#...'); give the service's address without "
                              "one")
            .arg(forTerminal(url));
    if (parsed.port() == 0)
        return QStringLiteral("'%1' names port 0, which no service listens on")
            .arg(forTerminal(url));
    return {};
}

bool sendsKeyInClear(const QString& url) {
    const QUrl parsed(url, QUrl::StrictMode);
    if (parsed.scheme() != QLatin1String("http"))
        return false;
    const QString host = parsed.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return false;
    const QHostAddress address(host);
    return address.isNull() || !address.isLoopback();
}

CommandLineResult parseCommandLine(const QStringList& arguments) {
    if (const std::optional<QString> mistake = qtOptionMistake(arguments))
        return usageError(*mistake);

    QCommandLineParser parser;
    // Qt's options are words after a single dash (-platform); ours read the same with either.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const Options options;
    options.addTo(parser);
    addQtOptions(parser);
    if (!parser.parse(arguments))
        return usageError(forTerminal(parser.errorText()));

    CommandLineResult result;
    if (parser.isSet(QStringLiteral("help-all")) || parser.isSet(QStringLiteral("help"))) {
        result.standardOutput = helpText(parser.isSet(QStringLiteral("help-all")));
        return result;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        result.standardOutput = QStringLiteral("Nimbrel %1\n").arg(QStringLiteral(NIMBREL_VERSION));
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'")
                              .arg(forTerminal(parser.positionalArguments().constFirst())));

    StartOptions start;
    start.showWeather = parser.isSet(options.showWeather);
    start.listScreens = parser.isSet(options.listScreens);
    start.platform = parser.value(QStringLiteral("platform"));
    start.display = parser.value(QStringLiteral("display"));
    if (parser.isSet(options.screen)) {
        start.screen = parser.value(options.screen);
        if (start.screen.isEmpty())
            return usageError(
                QStringLiteral("--screen needs a monitor's name or number (see --list-screens)"));
    }
    if (parser.isSet(options.serviceUrl)) {
        start.serviceUrl = parser.value(options.serviceUrl);
        if (const QString problem = serviceUrlProblem(start.serviceUrl); !problem.isEmpty())
            return usageError(problem);
        if (sendsKeyInClear(start.serviceUrl))
            result.standardError = QStringLiteral("nimbrel: warning: %1 is plain http; your API "
                                                  "key will travel unencrypted\n")
                                       .arg(forTerminal(start.serviceUrl));
    }
    result.options = start;
    return result;
}

QString xDisplayToCheck(const StartOptions& options) {
    // The command line wins over the environment, in Qt as here.
    const QString platform =
        options.platform.isEmpty() ? qEnvironmentVariable("QT_QPA_PLATFORM") : options.platform;
    const QString display =
        options.display.isEmpty() ? qEnvironmentVariable("DISPLAY") : options.display;
    if (display.isEmpty())
        return {};
    if (platform.isEmpty())
        return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                       qEnvironmentVariable("XDG_SESSION_TYPE") != QLatin1String("wayland")
                   ? display
                   : QString();
    // "xcb:option=value" is xcb with an argument; "xcb;wayland" may end on Wayland instead.
    return platform.section(QLatin1Char(':'), 0, 0) == QLatin1String("xcb") &&
                   !platform.contains(QLatin1Char(';'))
               ? display
               : QString();
}

CommandLineResult xDisplayUnreachable(const QString& display) {
    return usageError(
        QStringLiteral("cannot open the X display '%1' (is an X server running there?)")
            .arg(forTerminal(display)));
}

void printCommandLineResult(const CommandLineResult& result) {
    printTo(stdout, result.standardOutput);
    printTo(stderr, result.standardError);
}

ScreenChoice chooseScreen(const StartOptions& options, const QList<QScreen*>& screens) {
    ScreenChoice choice;
    if (options.listScreens) {
        choice.ends = true;
        for (qsizetype i = 0; i < screens.size(); ++i)
            choice.ending.standardOutput += QStringLiteral("%1 %2 %3\n")
                                                .arg(QString::number(i), screenName(*screens.at(i)),
                                                     geometryText(screens.at(i)->geometry()));
        return choice;
    }
    if (options.screen.isEmpty())
        return choice;
    // A name first: two monitors may share one, and the number then tells them apart.
    const auto named = std::find_if(screens.cbegin(), screens.cend(), [&](const QScreen* screen) {
        return screen->name() == options.screen;
    });
    bool isNumber = false;
    const int number = options.screen.toInt(&isNumber);
    if (named != screens.cend())
        choice.screen = *named;
    else if (isNumber && number >= 0 && number < screens.size())
        choice.screen = screens.at(number);
    else {
        choice.ends = true;
        choice.ending = usageError(QStringLiteral("no screen '%1' (--list-screens lists them)")
                                       .arg(forTerminal(options.screen)));
    }
    return choice;
}

} // namespace nimbrel
