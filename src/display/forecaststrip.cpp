#include "forecaststrip.h"

#include "clockline.h"
#include "rounding.h"
#include "sizefit.h"
#include "weatherlines.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTime>
#include <QTimeZone>

#include <algorithm>

namespace nimbrel {

namespace {

constexpr int kMostColumns = 5;
// A day whose chance of rain is below this is not worth a word on the wall.
constexpr double kChanceWorthShowing = 0.3;
// The symbol stands as tall as this many lines of the strip's text.
constexpr int kSymbolLines = 2;
// The strip takes at most this share of the height the band may have, and its letters are at
// most this share of the band's.
constexpr double kShareOfRoom = 0.3;
constexpr double kLetterShareOfBand = 0.45;
// Between the band and the strip, in strip lines.
constexpr double kGapLines = 0.5;

QString dayRangeText(const ForecastDay& day, const QString& tempType) {
    const std::optional<TemperatureUnit> unit = unitOf(tempType);
    if (!unit)
        return {};
    return QString::number(wholeDegrees(day.low, *unit)) + QStringLiteral(" / ") +
           degreesText(day.high, *unit);
}

QString pointText(const ForecastPoint& point, const QString& tempType) {
    const std::optional<TemperatureUnit> unit = unitOf(tempType);
    if (!unit || !point.temperature)
        return {};
    return degreesText(*point.temperature, *unit);
}

bool anyChance(const QList<ForecastColumn>& columns) {
    return std::any_of(columns.begin(), columns.end(),
                       [](const ForecastColumn& column) { return !column.chance.isEmpty(); });
}

} // namespace

QList<ForecastColumn> forecastColumns(const Forecast& forecast, ForecastKind kind, qint64 now,
                                      const QString& tempType, const QLocale& locale) {
    QList<ForecastColumn> columns;
    if (kind == ForecastKind::Hours) {
        for (const ForecastPoint& point : forecastHours(forecast, now)) {
            if (columns.size() == kMostColumns)
                break;
            // The place's own clock; the computer's when the forecast does not say.
            const QDateTime at = QDateTime::fromSecsSinceEpoch(point.time, QTimeZone::utc());
            const QTime time = forecast.utcOffset ? at.addSecs(*forecast.utcOffset).time()
                                                  : at.toLocalTime().time();
            columns.append({shortTimeText(time, locale),
                            symbolForIcon(point.iconCode),
                            pointText(point, tempType),
                            {}});
        }
    } else if (kind == ForecastKind::Days) {
        for (const ForecastDay& day : forecastDays(forecast, now)) {
            if (columns.size() == kMostColumns)
                break;
            ForecastColumn column{locale.dayName(day.date.dayOfWeek(), QLocale::ShortFormat),
                                  symbolForIcon(day.iconCode),
                                  dayRangeText(day, tempType),
                                  {}};
            if (day.precipitationChance && *day.precipitationChance >= kChanceWorthShowing)
                column.chance =
                    QStringLiteral("Rain %1%").arg(qRound(*day.precipitationChance * 100));
            columns.append(column);
        }
    }
    return columns;
}

ForecastStrip::ForecastStrip(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("forecastStrip"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Shown once there are columns to show.
    hide();
}

void ForecastStrip::setColumns(const QList<ForecastColumn>& columns) {
    if (columns == m_columns)
        return;
    m_columns = columns;
    update();
}

void ForecastStrip::setColours(const QColor& text, const QColor& background) {
    if (text == m_text && background == m_background)
        return;
    m_text = text;
    m_background = background;
    update();
}

int ForecastStrip::neededHeightIn(const QFont& font) const {
    if (m_columns.isEmpty())
        return 0;
    const int lines = 2 + kSymbolLines + (anyChance(m_columns) ? 1 : 0);
    return lines * QFontMetrics(font, this).lineSpacing();
}

ForecastStrip::Fit ForecastStrip::fitUnder(const QFont& bandFont, int room) {
    if (m_columns.isEmpty())
        return {};
    const int letters =
        roundHalfEvenToInt(QFontMetrics(bandFont, this).height() * kLetterShareOfBand);
    fitFont(bandFont, letters, int(room * kShareOfRoom));
    return {neededHeightIn(font()),
            roundHalfEvenToInt(QFontMetrics(font(), this).lineSpacing() * kGapLines)};
}

int ForecastStrip::columnWidthIn(const QFont& font) const {
    const QFontMetrics metrics(font, this);
    int widest = kSymbolLines * metrics.lineSpacing();
    for (const ForecastColumn& column : m_columns) {
        for (const QString& text : {column.heading, column.temperature, column.chance})
            widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    // A gap of one line's height keeps neighbouring columns apart.
    return widest + metrics.lineSpacing();
}

void ForecastStrip::fitFont(const QFont& font, int largest, int height) {
    QFont fitted = font;
    int size = std::max(1, largest);
    fitted.setPixelSize(size);
    if (neededHeightIn(fitted) > height) {
        QFont trial = font;
        fitted.setPixelSize(largestFitting(size, [&](int pixels) {
            trial.setPixelSize(pixels);
            return neededHeightIn(trial) <= height;
        }));
    }
    if (fitted != this->font())
        setFont(fitted);
}

int ForecastStrip::columnsShown() const {
    const int columnWidth = columnWidthIn(font());
    if (columnWidth <= 0)
        return 0;
    return std::min(int(m_columns.size()), width() / columnWidth);
}

QRect ForecastStrip::columnRect(int index) const {
    const int shown = columnsShown();
    if (index < 0 || index >= shown)
        return {};
    return columnRectIn(index, shown, columnWidthIn(font()), neededHeightIn(font()));
}

QRect ForecastStrip::columnRectIn(int index, int shown, int columnWidth, int height) const {
    const int slot = width() / shown;
    return {index * slot + (slot - columnWidth) / 2, 0, columnWidth, height};
}

void ForecastStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), m_background);
    painter.setPen(m_text);
    const QFontMetrics metrics(font(), this);
    const int line = metrics.lineSpacing();
    // Measured once for all the columns: each measure goes through every text of the strip.
    const int shown = columnsShown();
    const int columnWidth = columnWidthIn(font());
    const int height = neededHeightIn(font());
    for (int i = 0; i < shown; ++i) {
        const ForecastColumn& column = m_columns.at(i);
        const QRect box = columnRectIn(i, shown, columnWidth, height);
        const auto text = [&](int top, const QString& words) {
            painter.drawText(QRect(box.left(), top, box.width(), line), Qt::AlignCenter, words);
        };
        text(0, column.heading);
        const int side = kSymbolLines * line;
        paintWeatherSymbol(painter, QRectF(box.center().x() - side / 2.0, line, side, side),
                           column.symbol, m_text, m_background);
        painter.setPen(m_text);
        text(line + side, column.temperature);
        text(2 * line + side, column.chance);
    }
}

} // namespace nimbrel
