#pragma once

#include "displaywindow.h"
#include "drawingband.h"
#include "keep_awake.h"
#include "sampleweatherservice.h"
#include "settings.h"
#include "settingswindowdouble.h"
#include "testsupport.h"
#include "transfer.h"
#include "weatherrequest.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

#include <chrono>
#include <memory>

namespace nimbrel::test {

struct KeepAwakeLog {
    int created = 0;
    int nudges = 0;
};

class RecordingKeepAwake : public KeepAwake {
public:
    explicit RecordingKeepAwake(KeepAwakeLog& log) : m_log(log) {}
    void nudge() override { ++m_log.nudges; }

private:
    KeepAwakeLog& m_log;
};

using nimbrel::test::PaintCounter;

// What every display test starts from: a store of its own with a valid key, the sample service,
// the settings window double, a recording keep-awake and a message recorder.
class DisplayFixture {
public:
    void setUp() {
        settings = std::make_unique<TempSettings>();
        messages = std::make_unique<MessageRecorder>();
        service = std::make_unique<sample::SampleWeatherService>();
        if (!service->listen())
            qFatal("the sample service cannot listen");
        setServiceBaseUrlForTesting(service->baseUrl());
        Forms::registerFactory(FormId::Settings, [] { return new SettingsWindowDouble; });
        Forms::registerFactory(FormId::Display, [] { return new DisplayWindow; });
        keepAwake = KeepAwakeLog();
        DisplayWindow::setKeepAwakeFactoryForTesting([log = &keepAwake] {
            ++log->created;
            return std::make_unique<RecordingKeepAwake>(*log);
        });
        sharedTransfer().setTimeLimit(std::chrono::seconds(5));
        saveSetting(QStringLiteral("APIKey"), QStringLiteral("demo-key"));
    }

    void tearDown() {
        Forms::reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        DisplayWindow::setKeepAwakeFactoryForTesting({});
        DisplayWindow::setClockForTesting({});
        setServiceBaseUrlForTesting(QString());
        sharedTransfer().setTimeLimit(std::chrono::seconds(60));
        service.reset();
        messages.reset();
        settings.reset();
    }

    // Loaded as on first use, with the one-second timer stopped so that only the test ticks.
    static DisplayWindow* loadDisplay() {
        auto* display = Forms::get<DisplayWindow>(FormId::Display);
        timer(display, "Timer1")->stop();
        return display;
    }

    // As the start command leaves it: the request handed over, restyled, shown.
    static DisplayWindow* openDisplay() {
        DisplayWindow* display = loadDisplay();
        display->setRequest({QStringLiteral("San Diego CA"), QStringLiteral("Fahrenheit")});
        display->reloadStyle();
        Forms::show(FormId::Display);
        // The opening's forecast comes in the background; the tests start from what it brings.
        if (!QTest::qWaitFor(
                [display] { return !display->forecastTransfer().isFetchingInBackground(); }, 5000))
            QTest::qFail("the opening's forecast never ended", __FILE__, __LINE__);
        return display;
    }

    static QTimer* timer(const DisplayWindow* display, const char* name) {
        return display->findChild<QTimer*>(QLatin1String(name));
    }
    static DrawingBand* band(const DisplayWindow* display) {
        return display->findChild<DrawingBand*>(QStringLiteral("Picture1"));
    }
    static SettingsWindowDouble* settingsWindow() {
        return static_cast<SettingsWindowDouble*>(Forms::get(FormId::Settings));
    }

    // A real "Application Error" box raised by the display's own tick (an alignment it cannot
    // read), as a user would see it; nullptr when none came up.
    static QMessageBox* raiseTickReport(DisplayWindow* display) {
        setMessageSink(nullptr);
        saveSetting(QStringLiteral("Combo1"), QStringLiteral("abc"));
        display->refreshTick();
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible())
                return box;
        }
        return nullptr;
    }

    // The lines of the reports shown for one procedure ("Form2.ReLoadStyle"), in order.
    QList<int> reportLines(const QString& reportName) const {
        static const QRegularExpression where(QStringLiteral("\\.(Form2\\.\\w+) at line (\\d+)"));
        QList<int> lines;
        for (const Message& message : std::as_const(messages->messages)) {
            const auto match = where.match(message.text);
            if (match.hasMatch() && match.captured(1) == reportName)
                lines.append(match.captured(2).toInt());
        }
        return lines;
    }

    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<MessageRecorder> messages;
    std::unique_ptr<sample::SampleWeatherService> service;
    KeepAwakeLog keepAwake;
};

} // namespace nimbrel::test
