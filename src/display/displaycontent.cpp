#include "displaycontent.h"

#include "settingsschema.h"
#include "weatherlines.h"

#include <QLocale>

namespace nimbrel {

ElementChoices storedElementChoices() {
    using settings::Key;
    constexpr auto user = settings::User::Display;
    ElementChoices choices;
    choices.time = settings::whole(Key::ShowTime, user) == 1;
    choices.date = settings::whole(Key::ShowDate, user) == 1;
    choices.details = settings::whole(Key::ShowDetails, user) == 1;
    choices.symbol = settings::whole(Key::ShowSymbol, user) == 1;
    const qint16 forecast = settings::whole(Key::Forecast, user);
    if (forecast == int(ForecastKind::Hours) || forecast == int(ForecastKind::Days))
        choices.forecast = ForecastKind(forecast);
    return choices;
}

void DisplayContent::choose(const ElementChoices& choices) {
    m_choices = choices;
    m_clock.choose(choices.time, choices.date);
    m_detailsLine =
        choices.details && m_reply ? detailsLine(m_reply->reading, m_tempType) : QString();
    m_columnsMinute = -1;
    makeBand();
}

QStringList DisplayContent::linesFor(const FetchedWeather& fetched, LineChoices choices,
                                     const QDateTime& now) {
    const Reading& reading = fetched.reply.reading;
    if (fetched.outcome == FetchOutcome::Reading && reading.temperature) {
        if (m_forecast)
            choices.today = todayRange(*m_forecast, *reading.temperature, now);
        // The place's midnight needs its offset; the forecast knows it when the reply does not.
        const std::optional<int> offset = reading.utcOffset
                                              ? reading.utcOffset
                                              : (m_forecast ? m_forecast->utcOffset : std::nullopt);
        if (offset) {
            m_seenToday.note(*reading.temperature,
                             reading.observedAt.value_or(now.toSecsSinceEpoch()), *offset);
            choices.seenToday = m_seenToday.range(now.toSecsSinceEpoch());
        }
    }
    return nimbrel::weatherLines(fetched.reply, choices);
}

void DisplayContent::showReading(const QStringList& lines, const FetchedWeather& fetched,
                                 const LineChoices& choices, const ReadingAge& age) {
    m_lines = lines;
    m_tempType = choices.tempType;
    m_age = age;
    m_reply = fetched.reply;
    m_lineChoices = choices;
    choose(m_choices);
}

void DisplayContent::showWithoutReading(const QStringList& lines, const QString& tempType,
                                        const ReadingAge& age) {
    m_lines = lines;
    m_tempType = tempType;
    m_age = age;
    m_reply.reset();
    m_forecast.reset();
    choose(m_choices);
}

void DisplayContent::expire(QStringList linesWithoutFigures, const QString& tempType) {
    if (linesWithoutFigures.size() == 5 && m_lines.size() == 5)
        linesWithoutFigures[0] = m_lines.constFirst();
    showWithoutReading(linesWithoutFigures, tempType, m_age);
}

bool DisplayContent::takeForecast(const Forecast& forecast, const QDateTime& now) {
    if (!m_reply)
        return false;
    m_forecast = forecast;
    FetchedWeather fetched;
    fetched.outcome = FetchOutcome::Reading;
    fetched.reply = *m_reply;
    m_lines = linesFor(fetched, m_lineChoices, now);
    m_columnsMinute = -1;
    makeBand();
    return true;
}

QString DisplayContent::measuredText(const QStringList& weatherLines, bool withReading) const {
    const bool details = m_choices.details && withReading && weatherLines.size() == 5;
    const int lines = int(weatherLines.size()) + (m_clock.shown() ? 1 : 0) + (details ? 1 : 0);
    return QStringList(std::max(1, lines)).join(QLatin1String("\r\n"));
}

void DisplayContent::makeBand() {
    m_band = BandContent{};
    if (m_lines.isEmpty())
        return;
    if (m_clock.shown())
        m_band.lines.append(m_clock.text());
    // The summary is the third of the five lines; a message in their place has no symbol.
    if (m_choices.symbol && m_reply && m_lines.size() == 5) {
        m_band.symbol = symbolForIcon(m_reply->reading.iconCode);
        if (m_band.symbol != WeatherSymbol::None)
            m_band.symbolLine = int(m_band.lines.size()) + 2;
    }
    m_band.lines.append(m_lines);
    if (!m_detailsLine.isEmpty() && m_lines.size() == 5)
        m_band.lines.append(m_detailsLine);
}

bool DisplayContent::advance(const QDateTime& now) {
    if (m_clock.advance(now))
        makeBand();
    // The strip moves on by whole points and days; once a minute is often enough to notice.
    const qint64 minute = now.toSecsSinceEpoch() / 60;
    if (minute == m_columnsMinute)
        return false;
    m_columnsMinute = minute;
    makeColumns(now);
    return true;
}

void DisplayContent::makeColumns(const QDateTime& now) {
    m_columns.clear();
    if (m_forecast && m_choices.forecast != ForecastKind::None)
        m_columns = forecastColumns(*m_forecast, m_choices.forecast, now.toSecsSinceEpoch(),
                                    m_tempType, QLocale::system());
}

} // namespace nimbrel
