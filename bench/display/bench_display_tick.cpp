// One refresh tick of the display window at 3840x2160 on the offscreen platform:
//   DrawingTick    the tick draws something new (the alignment alternates), paint included;
//   UnchangedTick  the tick would draw exactly what the band already shows.
// The paints/tick counter shows how many paint events the band received per tick.
//
//   bench_display_tick [--benchmark_* options]
#include "displaywindow.h"
#include "drawingband.h"
#include "messages.h"
#include "sampleweatherservice.h"
#include "settings.h"
#include "settingschoices.h"
#include "weatherrequest.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

using nimbrel::Form;
using nimbrel::FormId;
using nimbrel::Forms;

// The settings window's choices as a first start leaves them: every detail line, the hint
// shown, keep-awake off.
class SettingsWindowStub : public Form, public nimbrel::SettingsChoices {
public:
    SettingsWindowStub() : Form(FormId::Settings) {}
    bool detailChosen(Detail) const override { return true; }
    QString location() const override { return QStringLiteral("San Diego CA"); }
    bool displayOptionChosen(DisplayOption) const override { return false; }
    void applyStoredDisplayOption(DisplayOption) override {}
};

class QuietKeepAwake : public nimbrel::KeepAwake {
public:
    void nudge() override {}
};

// A report during a run would mean the display did not work as measured.
class AbortOnReport : public nimbrel::MessageSink {
public:
    void show(const nimbrel::Message& message) override {
        std::fprintf(stderr, "unexpected report: %s\n", qPrintable(message.text));
        std::abort();
    }
};

class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* watched) : QObject(watched) {
        watched->installEventFilter(this);
    }
    qint64 paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

nimbrel::DisplayWindow* g_display = nullptr;
PaintCounter* g_paints = nullptr;

void DrawingTick(benchmark::State& state) {
    bool left = false;
    const qint64 paintsBefore = g_paints->paints;
    for (auto _ : state) {
        state.PauseTiming();
        left = !left;
        nimbrel::saveSetting(QStringLiteral("Combo1"),
                             left ? QStringLiteral("0") : QStringLiteral("1"));
        state.ResumeTiming();
        g_display->refreshTick();
        // Anything the tick left pending (it normally paints within its own event processing).
        QCoreApplication::processEvents();
    }
    state.counters["paints/tick"] = benchmark::Counter(double(g_paints->paints - paintsBefore),
                                                       benchmark::Counter::kAvgIterations);
}

void UnchangedTick(benchmark::State& state) {
    nimbrel::saveSetting(QStringLiteral("Combo1"), QStringLiteral("1"));
    g_display->refreshTick();
    QCoreApplication::processEvents();
    const qint64 paintsBefore = g_paints->paints;
    for (auto _ : state) {
        g_display->refreshTick();
        QCoreApplication::processEvents();
    }
    state.counters["paints/tick"] = benchmark::Counter(double(g_paints->paints - paintsBefore),
                                                       benchmark::Counter::kAvgIterations);
}

BENCHMARK(DrawingTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(UnchangedTick)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir store;
    nimbrel::setSettingsFileForTesting(store.filePath(QStringLiteral("Corvane.ini")));
    nimbrel::saveSetting(QStringLiteral("APIKey"), QStringLiteral("demo-key"));
    AbortOnReport sink;
    nimbrel::setMessageSink(&sink);
    nimbrel::sample::SampleWeatherService service;
    if (!service.listen()) {
        std::fprintf(stderr, "the sample service cannot listen\n");
        return 1;
    }
    nimbrel::setServiceBaseUrlForTesting(service.baseUrl());
    Forms::registerFactory(FormId::Settings, [] { return new SettingsWindowStub; });
    Forms::registerFactory(FormId::Display, [] { return new nimbrel::DisplayWindow; });
    nimbrel::DisplayWindow::setKeepAwakeFactoryForTesting(
        [] { return std::make_unique<QuietKeepAwake>(); });

    // As the start command leaves it, then made 4K: the offscreen screen itself is smaller.
    g_display = Forms::get<nimbrel::DisplayWindow>(FormId::Display);
    g_display->findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
    g_display->setRequest({QStringLiteral("San Diego CA"), QStringLiteral("Fahrenheit")});
    g_display->reloadStyle();
    Forms::show(FormId::Display);
    g_display->setWindowState(Qt::WindowNoState);
    g_display->setGeometry(0, 0, 3840, 2160);
    QCoreApplication::processEvents();
    auto* band = g_display->findChild<nimbrel::DrawingBand*>(QStringLiteral("Picture1"));
    if (g_display->size() != QSize(3840, 2160) || band->width() != 3840) {
        std::fprintf(stderr, "the display is %dx%d, not 3840x2160\n", g_display->width(),
                     g_display->height());
        return 1;
    }
    g_paints = new PaintCounter(band);
    std::printf("display %dx%d, band %dx%d, %d lines of %s %d pt\n", g_display->width(),
                g_display->height(), band->width(), band->height(),
                int(g_display->weatherText().count(QLatin1String("\r\n")) + 1),
                qPrintable(band->font().family()), band->font().pointSize());

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    nimbrel::setMessageSink(nullptr);
    Forms::reset();
    return 0;
}
