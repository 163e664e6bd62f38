// What a huge settings file costs the user: a store of one million lines (about 50 MB), most of
// them other programs' groups and lines that cannot be read, with this program's section in the
// middle. Measured on the offscreen platform, against the sample weather service on 127.0.0.1:
//   settings window   the settings window loaded and shown (it reads and writes back every option)
//   save              one click on a detail box, stored to the disk
//   display open      the start command, from the click to the display shown (three fetches)
//   tick              one refresh tick of the display left running (a read for every line it
//                     draws), once the file has been left alone for a few seconds
// then the same on a store of a few lines, which gives the cost of the fetches and windows
// alone. Peak memory is the process's high-water mark (VmHWM), next to its size before the store
// was first touched. Last, the file is checked to have kept every line.
//
//   bench_settings_store [--lines N] [--skip-display] [--file PATH]
//
// --file uses (and changes) an existing store instead of generating one; --skip-display leaves
// out the display phase on the big store.
#include "displaywindow.h"
#include "forms.h"
#include "keep_awake.h"
#include "messages.h"
#include "sampleweatherservice.h"
#include "settings.h"
#include "settingsschema.h"
#include "settingswindow.h"
#include "weatherrequest.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <sys/time.h>

namespace {

using nimbrel::FormId;
using nimbrel::Forms;

class QuietKeepAwake : public nimbrel::KeepAwake {
public:
    void nudge() override {}
};

// A report would mean a phase did not do what is measured; it is counted and printed.
class CountingSink : public nimbrel::MessageSink {
public:
    void show(const nimbrel::Message& message) override {
        ++reports;
        std::fprintf(stderr, "report: %s: %s\n", qPrintable(message.title),
                     qPrintable(message.text));
    }
    int reports = 0;
};

long statusKib(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').front().toLong();
    }
    return -1;
}

// Written line by line, so that making the file does not itself raise the peak.
bool generateStore(const QString& path, long lines) {
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;
    static const char* const ours[] = {"Check1=0",
                                       "Check2=1",
                                       "Check3=1",
                                       "Check4=0",
                                       "Check5=1",
                                       "Check6=1",
                                       "Check7=1",
                                       "Text1=San Diego CA",
                                       "Option1=1",
                                       "Option2=0",
                                       "Combo1=1",
                                       "FontName=Arial",
                                       "FontBold=True",
                                       "FontItalic=False",
                                       "FontSize=72",
                                       "FontStrikeThru=False",
                                       "FontUnderLine=False",
                                       "Font Color=16777215",
                                       "Background Color=0",
                                       "APIKey=demo-key"};
    for (long i = 0; i < lines; ++i) {
        if (i == lines / 2) {
            std::fputs("[Nimbrel]\n", file);
            for (const char* line : ours)
                std::fprintf(file, "%s\n", line);
            std::fprintf(file, "[Group%ld]\n", i);
            i += 21;
            continue;
        }
        if (i % 25 == 0)
            std::fprintf(file, "[Group%ld]\n", i);
        else if (i % 7 == 3)
            std::fprintf(file, "\xFF\xFE unreadable line %ld \x80\x81 with = in it\n", i);
        else if (i % 11 == 5)
            std::fprintf(file, "; comment number %ld of another program\n", i);
        else if (i % 13 == 6)
            std::fprintf(file, "a line without an equals sign, number %ld\n", i);
        else if (i % 17 == 8)
            std::fprintf(file, "Check1=another program's Check1 on line %ld\n", i);
        else
            std::fprintf(file, "Key%ld=a value of another program's setting %ld\n", i, i);
    }
    const bool written = std::fflush(file) == 0;
    std::fclose(file);
    // A store in use has not just been written; its times are an hour old.
    const struct timeval past[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    ::utimes(QFile::encodeName(path).constData(), past);
    return written;
}

struct FileShape {
    qint64 bytes = 0;
    qint64 lines = 0;
};

FileShape shapeOf(const QString& path) {
    FileShape shape;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return shape;
    char buffer[1 << 16];
    for (qint64 got; (got = file.read(buffer, sizeof buffer)) > 0;) {
        shape.bytes += got;
        for (qint64 i = 0; i < got; ++i)
            shape.lines += buffer[i] == '\n';
    }
    return shape;
}

double milliseconds(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

struct Phases {
    double window = 0;
    double save = 0;
    double display = -1;
    double tick = -1;
    // The high-water mark after each phase.
    long windowPeakKib = 0;
    long savePeakKib = 0;
    long displayPeakKib = 0;
};

// One user's road: the settings window comes up, one box is clicked, the display is opened; the
// display is then closed again so the next road starts from nothing.
Phases walk(bool openDisplay) {
    Phases phases;
    QElapsedTimer timer;
    timer.start();
    Forms::show(FormId::Settings);
    QCoreApplication::processEvents();
    phases.window = milliseconds(timer);
    phases.windowPeakKib = statusKib("VmHWM");

    auto* box = Forms::get(FormId::Settings)->findChild<QCheckBox*>(QStringLiteral("Check5"));
    timer.restart();
    box->click();
    phases.save = milliseconds(timer);
    phases.savePeakKib = statusKib("VmHWM");

    if (openDisplay) {
        timer.restart();
        Forms::get<nimbrel::SettingsWindow>(FormId::Settings)->showWeather();
        QCoreApplication::processEvents();
        phases.display = milliseconds(timer);
        phases.displayPeakKib = statusKib("VmHWM");
        if (!Forms::loaded(FormId::Display) || !Forms::loaded(FormId::Display)->isVisible())
            std::fprintf(stderr, "the display did not open\n");

        // File times are coarse, so the store trusts them only once they lie a moment back.
        QThread::sleep(3);
        auto* display = Forms::get<nimbrel::DisplayWindow>(FormId::Display);
        constexpr int ticks = 10;
        timer.restart();
        for (int i = 0; i < ticks; ++i)
            display->refreshTick();
        phases.tick = milliseconds(timer) / ticks;
    }
    Forms::reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return phases;
}

void print(const char* label, const Phases& phases) {
    std::printf("%-22s settings window %9.1f ms   save %8.1f ms   display open ", label,
                phases.window, phases.save);
    if (phases.display < 0)
        std::printf("%9s\n", "skipped");
    else
        std::printf("%9.1f ms   tick %7.2f ms\n", phases.display, phases.tick);
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    long lines = 1'000'000;
    bool skipDisplay = false;
    QString given;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--lines" && i + 1 < argc)
            lines = std::atol(argv[++i]);
        else if (arg == "--skip-display")
            skipDisplay = true;
        else if (arg == "--file" && i + 1 < argc)
            given = QString::fromLocal8Bit(argv[++i]);
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QTemporaryDir folder;
    const QString big =
        given.isEmpty() ? folder.filePath(QStringLiteral("big/Corvane.ini")) : given;
    const QString small = folder.filePath(QStringLiteral("small/Corvane.ini"));
    if (given.isEmpty()) {
        QDir().mkpath(QFileInfo(big).absolutePath());
        if (!generateStore(big, lines)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(big));
            return 1;
        }
    }
    QDir().mkpath(QFileInfo(small).absolutePath());
    const FileShape before = shapeOf(big);

    CountingSink sink;
    nimbrel::setMessageSink(&sink);
    nimbrel::sample::SampleWeatherService service;
    if (!service.listen()) {
        std::fprintf(stderr, "the sample service cannot listen\n");
        return 1;
    }
    nimbrel::setServiceBaseUrlForTesting(service.baseUrl());
    Forms::registerFactory(FormId::Settings, [] { return new nimbrel::SettingsWindow; });
    Forms::registerFactory(FormId::Display, [] { return new nimbrel::DisplayWindow; });
    nimbrel::DisplayWindow::setKeepAwakeFactoryForTesting(
        [] { return std::make_unique<QuietKeepAwake>(); });

    const long startKib = statusKib("VmRSS");
    nimbrel::setSettingsFileForTesting(big);
    const Phases huge = walk(!skipDisplay);
    const long peakKib = statusKib("VmHWM");
    const FileShape after = shapeOf(big);

    nimbrel::setSettingsFileForTesting(small);
    namespace settings = nimbrel::settings;
    settings::save(settings::Key::APIKey, settings::User::KeyWindow, QStringLiteral("demo-key"));
    walk(true); // the first road pays for fonts and first-time set-up
    const Phases reference = walk(true);

    std::printf("store: %lld bytes, %lld lines\n", before.bytes, before.lines);
    print("big store", huge);
    print("store of a few lines", reference);
    std::printf("memory: %.1f MiB before the store was read; peak after the settings window "
                "%.1f MiB, after the save %.1f MiB",
                startKib / 1024.0, huge.windowPeakKib / 1024.0, huge.savePeakKib / 1024.0);
    if (huge.display >= 0)
        std::printf(", after the display %.1f MiB", huge.displayPeakKib / 1024.0);
    std::printf("; peak %.1f MiB (%.2f x the file)\n", peakKib / 1024.0,
                peakKib * 1024.0 / double(before.bytes));
    std::printf("after: %lld bytes, %lld lines (%+lld bytes, %+lld lines); %d reports\n",
                after.bytes, after.lines, after.bytes - before.bytes, after.lines - before.lines,
                sink.reports);
    nimbrel::setMessageSink(nullptr);
    return after.lines == before.lines && sink.reports == 0 ? 0 : 2;
}
