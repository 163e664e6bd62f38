#pragma once

#include "clockline.h"
#include "forecast.h"
#include "forecaststrip.h"
#include "reading.h"
#include "readingage.h"
#include "weathersymbol.h"
#include "weathertext.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace nimbrel {

// The elements the wall shows besides the five lines, as stored; all off by default.
struct ElementChoices {
    bool time = false;
    bool date = false;
    bool details = false;
    bool symbol = false;
    ForecastKind forecast = ForecastKind::None;
};

// Reads them from the store; throws AppError for a value that cannot be read.
ElementChoices storedElementChoices();

// The lines the band holds, top to bottom, and which of them carries the weather symbol.
struct BandContent {
    QStringList lines;
    int symbolLine = -1;
    WeatherSymbol symbol = WeatherSymbol::None;
};

// What the display shows between fetches: the lines of the reading on screen (made once, when
// the reading changes or its forecast comes), its figures for the elements, the forecast that
// came last for the place, and the current temperatures seen today.
class DisplayContent {
public:
    void choose(const ElementChoices& choices);
    const ElementChoices& choices() const { return m_choices; }

    // The five lines (or the message) for a fetch, with "Low" and "High" for the place's whole
    // day: the forecast's rest of it and every current temperature read since its midnight.
    QStringList linesFor(const FetchedWeather& fetched, LineChoices choices, const QDateTime& now);
    // Puts up the lines of a fetch that holds a reading; the reading feeds the elements, and the
    // lines are made again from it when its forecast comes.
    void showReading(const QStringList& lines, const FetchedWeather& fetched,
                     const LineChoices& choices, const ReadingAge& age);
    // Puts up lines without a reading (a message, "--" lines); the forecast goes with it.
    void showWithoutReading(const QStringList& lines, const QString& tempType,
                            const ReadingAge& age);
    // The reading is too old to show as weather: the lines without figures take its place, but
    // the place stays, so that the wall still says which place the "--" lines are for.
    void expire(QStringList linesWithoutFigures, const QString& tempType);
    // The forecast for the place has come: "Low" and "High" and the strip take it from now on.
    // False when there is no reading on screen for it.
    bool takeForecast(const Forecast& forecast, const QDateTime& now);
    // The place changes: the forecast for the last one is no use any more.
    void forgetForecast() { m_forecast.reset(); }
    const QStringList& weatherLines() const { return m_lines; }
    const ReadingAge& readingAge() const { return m_age; }

    // The lines for the band as they stand, made again only when one of them changes.
    const BandContent& bandContent() const { return m_band; }
    // What the measuring label is given for lines about to be shown: as many lines as the band
    // will hold (only their number counts).
    QString measuredText(const QStringList& weatherLines, bool withReading) const;
    // Brings the clock and the forecast strip up to `now`; true when the strip's columns were
    // made again (once a minute at most), which may change their number.
    bool advance(const QDateTime& now);
    const QList<ForecastColumn>& stripColumns() const { return m_columns; }

private:
    void makeColumns(const QDateTime& now);
    void makeBand();

    ElementChoices m_choices;
    QStringList m_lines;
    ReadingAge m_age;
    std::optional<CurrentReply> m_reply;
    LineChoices m_lineChoices;
    std::optional<Forecast> m_forecast;
    QString m_tempType;
    QString m_detailsLine;
    ClockLine m_clock;
    TemperaturesToday m_seenToday;
    QList<ForecastColumn> m_columns;
    qint64 m_columnsMinute = -1;
    BandContent m_band;
};

} // namespace nimbrel
