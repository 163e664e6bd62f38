// One refresh tick of the display window at 3840x2160 on the offscreen platform, as it ships
// (/0) and with every element of the wall on (/1: the time and date, the details line, the
// symbol and the forecast strip for the next days):
//   DrawingTick    the tick draws something new (the alignment alternates), paint included;
//   UnchangedTick  the tick would draw exactly what the band already shows;
//   MinuteTick     every tick is a minute later, so the clock line changes each time.
// paints/tick counts the paint events the band and the strip received per tick, and rows/tick
// the rows of pixels those paints covered.
//
//   bench_display_tick [--benchmark_* options]
#include "displaywindow.h"
#include "drawingband.h"
#include "messages.h"
#include "sampleweatherservice.h"
#include "settings.h"
#include "settingschoices.h"
#include "transfer.h"
#include "weatherrequest.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPaintEvent>
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
    void watch(QWidget* watched) { watched->installEventFilter(this); }
    qint64 paints = 0;
    qint64 rows = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            rows += static_cast<QPaintEvent*>(event)->region().boundingRect().height();
        }
        return false;
    }
};

nimbrel::DisplayWindow* g_display = nullptr;
PaintCounter* g_paints = nullptr;
QDateTime g_now = QDateTime::currentDateTimeUtc();
bool g_everyElement = false;

void layOutAt4k() {
    g_display->setWindowState(Qt::WindowNoState);
    g_display->setGeometry(0, 0, 3840, 2160);
    QCoreApplication::processEvents();
}

// Stores the elements' choices and lets the display style itself with them, as an opening does.
void chooseElements(benchmark::State& state) {
    const bool every = state.range(0) != 0;
    if (every == g_everyElement)
        return;
    g_everyElement = every;
    const QString on = every ? QStringLiteral("1") : QStringLiteral("0");
    for (const char* key : {"Show Time", "Show Date", "Show Details", "Show Symbol"})
        nimbrel::saveSetting(QLatin1String(key), on);
    nimbrel::saveSetting(QStringLiteral("Forecast"),
                         every ? QStringLiteral("2") : QStringLiteral("0"));
    g_display->reloadStyle();
    layOutAt4k();
    g_display->refreshTick();
    QCoreApplication::processEvents();
}

void countPaints(benchmark::State& state, qint64 paintsBefore, qint64 rowsBefore) {
    state.counters["paints/tick"] = benchmark::Counter(double(g_paints->paints - paintsBefore),
                                                       benchmark::Counter::kAvgIterations);
    state.counters["rows/tick"] =
        benchmark::Counter(double(g_paints->rows - rowsBefore), benchmark::Counter::kAvgIterations);
}

// Ticks from a band that shows the centred lines, each after `change` has had its say.
template <class Change> void ticks(benchmark::State& state, const Change& change) {
    chooseElements(state);
    nimbrel::saveSetting(QStringLiteral("Combo1"), QStringLiteral("1"));
    g_display->refreshTick();
    QCoreApplication::processEvents();
    const qint64 paintsBefore = g_paints->paints;
    const qint64 rowsBefore = g_paints->rows;
    for (auto _ : state) {
        change(state);
        g_display->refreshTick();
        // Anything the tick left pending (it normally paints within its own event processing).
        QCoreApplication::processEvents();
    }
    countPaints(state, paintsBefore, rowsBefore);
}

void DrawingTick(benchmark::State& state) {
    bool left = false;
    ticks(state, [&left](benchmark::State& running) {
        running.PauseTiming();
        left = !left;
        nimbrel::saveSetting(QStringLiteral("Combo1"),
                             left ? QStringLiteral("0") : QStringLiteral("1"));
        running.ResumeTiming();
    });
}

void UnchangedTick(benchmark::State& state) {
    ticks(state, [](benchmark::State&) {});
}

void MinuteTick(benchmark::State& state) {
    // To and fro across one minute, so that the reading never grows old.
    const QDateTime minute = g_now;
    bool later = false;
    ticks(state, [&](benchmark::State&) {
        later = !later;
        g_now = later ? minute.addSecs(60) : minute;
    });
    g_now = minute;
}

BENCHMARK(DrawingTick)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(UnchangedTick)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(MinuteTick)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

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
    service.setMadeUpForecast(true);
    nimbrel::DisplayWindow::setClockForTesting([] { return g_now; });

    // As the start command leaves it, then made 4K: the offscreen screen itself is smaller.
    g_display = Forms::get<nimbrel::DisplayWindow>(FormId::Display);
    g_display->findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
    g_display->setRequest({QStringLiteral("San Diego CA"), QStringLiteral("Fahrenheit")});
    g_display->reloadStyle();
    Forms::show(FormId::Display);
    // The forecast comes in the background; the strip is measured with it.
    QElapsedTimer forecastWait;
    forecastWait.start();
    while (g_display->forecastTransfer().isFetchingInBackground() && forecastWait.elapsed() < 15000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 100);
    layOutAt4k();
    auto* band = g_display->findChild<nimbrel::DrawingBand*>(QStringLiteral("Picture1"));
    if (g_display->size() != QSize(3840, 2160) || band->width() != 3840) {
        std::fprintf(stderr, "the display is %dx%d, not 3840x2160\n", g_display->width(),
                     g_display->height());
        return 1;
    }
    g_paints = new PaintCounter(band);
    g_paints->watch(g_display->findChild<QWidget*>(QStringLiteral("forecastStrip")));
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
