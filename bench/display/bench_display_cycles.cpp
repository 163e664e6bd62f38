// Memory kept by opening and closing the display again and again, as a user going back and forth
// between the settings window and the display does. Each cycle is the real road on the offscreen
// platform against the sample weather service: the start command (three fetches, the display
// shown, the settings window discarded), then a close request of the display (a fresh settings
// window shown, the display discarded). Resident memory is read after a few cycles to warm up and
// again after the measured ones; the growth must stay under 1 MiB for 50 cycles.
//
//   bench_display_cycles [--cycles N] [--warm-up N] [--exit-at-once]
//
// --exit-at-once ends the process right after the figures, without tearing anything down, so a
// heap profiler (heaptrack) lists what the cycles left held as not freed.
#include "displaywindow.h"
#include "forms.h"
#include "keep_awake.h"
#include "messages.h"
#include "sampleweatherservice.h"
#include "settings.h"
#include "settingswindow.h"
#include "weatherrequest.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <malloc.h>

namespace {

using nimbrel::FormId;
using nimbrel::Forms;

class QuietKeepAwake : public nimbrel::KeepAwake {
public:
    void nudge() override {}
};

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

int openFiles() {
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

// Heap in use, which tells memory still held apart from memory the allocator keeps for reuse.
double heapInUseKib() {
    return double(mallinfo2().uordblks) / 1024.0;
}

// Lets the discarded windows go, as the event loop would between two clicks.
void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

bool cycle() {
    Forms::get<nimbrel::SettingsWindow>(FormId::Settings)->showWeather();
    settle();
    nimbrel::Form* display = Forms::loaded(FormId::Display);
    if (!display || !display->isVisible() || Forms::loaded(FormId::Settings))
        return false;
    display->close();
    settle();
    return !Forms::loaded(FormId::Display) && Forms::loaded(FormId::Settings) &&
           Forms::loaded(FormId::Settings)->isVisible();
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int cycles = 50;
    int warmUp = 5;
    bool exitAtOnce = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--cycles" && i + 1 < argc)
            cycles = std::atoi(argv[++i]);
        else if (arg == "--warm-up" && i + 1 < argc)
            warmUp = std::atoi(argv[++i]);
        else if (arg == "--exit-at-once")
            exitAtOnce = true;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QTemporaryDir store;
    nimbrel::setSettingsFileForTesting(store.filePath(QStringLiteral("Corvane.ini")));
    nimbrel::saveSetting(QStringLiteral("APIKey"), QStringLiteral("demo-key"));
    nimbrel::saveSetting(QStringLiteral("Check4"), QStringLiteral("1"));
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

    Forms::show(FormId::Settings);
    settle();
    for (int i = 0; i < warmUp; ++i) {
        if (!cycle()) {
            std::fprintf(stderr, "warm-up cycle %d did not open and close the display\n", i + 1);
            return 1;
        }
    }
    const long rssBefore = statusKib("VmRSS");
    const double heapBefore = heapInUseKib();
    const int filesBefore = openFiles();
    const int objectsBefore = int(QApplication::allWidgets().size());
    for (int i = 0; i < cycles; ++i) {
        if (!cycle()) {
            std::fprintf(stderr, "cycle %d did not open and close the display\n", i + 1);
            return 1;
        }
    }
    const long rssAfter = statusKib("VmRSS");
    const double heapAfter = heapInUseKib();
    const long growth = rssAfter - rssBefore;
    std::printf(
        "%d cycles after %d to warm up: RSS %.1f -> %.1f MiB (%+ld KiB, %+.1f KiB per "
        "cycle); heap in use %+.0f KiB; widgets %d -> %d; open files %d -> %d; %d requests; "
        "%d reports\n",
        cycles, warmUp, rssBefore / 1024.0, rssAfter / 1024.0, growth, double(growth) / cycles,
        heapAfter - heapBefore, objectsBefore, int(QApplication::allWidgets().size()), filesBefore,
        openFiles(), int(service.requestLines().size()), sink.reports);
    const bool within = growth < 1024;
    std::printf("%s: growth %s 1 MiB\n", within ? "PASS" : "FAIL", within ? "under" : "not under");
    const int result = within && sink.reports == 0 ? 0 : 2;
    if (exitAtOnce) {
        std::fflush(stdout);
        std::_Exit(result);
    }
    Forms::reset();
    nimbrel::setMessageSink(nullptr);
    return result;
}
