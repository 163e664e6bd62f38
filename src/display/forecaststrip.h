#pragma once

#include "forecast.h"
#include "weathersymbol.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QLocale>
#include <QString>
#include <QWidget>

namespace nimbrel {

// Which forecast the strip shows, as stored: 0, 1, 2.
enum class ForecastKind { None = 0, Hours = 1, Days = 2 };

// One column of the strip: a time or a weekday, a symbol, the temperature (or the day's low and
// high) and, for a day that may well be wet, its chance of rain.
struct ForecastColumn {
    QString heading;
    WeatherSymbol symbol = WeatherSymbol::None;
    QString temperature;
    QString chance;
    bool operator==(const ForecastColumn&) const = default;
};

// The columns for the forecast as it stands at `now` (Unix seconds): the next 3-hour points at
// their local time at the place, or the place's days from today. Five at most.
QList<ForecastColumn> forecastColumns(const Forecast& forecast, ForecastKind kind, qint64 now,
                                      const QString& tempType, const QLocale& locale);

// The strip below the band. It shows as many of its columns as fit its width whole, spread
// evenly, and repaints only when what it shows changes.
class ForecastStrip : public QWidget {
    Q_OBJECT
public:
    explicit ForecastStrip(QWidget* parent = nullptr);

    void setColumns(const QList<ForecastColumn>& columns);
    const QList<ForecastColumn>& columns() const { return m_columns; }
    void setColours(const QColor& text, const QColor& background);
    // Its height, and the gap above it, under a band drawn in `bandFont` within a room `room`
    // pixels high; both 0 without columns. Its letters are made as large as a share of the
    // band's and of the room allows, so that the weather stays the largest thing on the wall.
    struct Fit {
        int height = 0;
        int gap = 0;
    };
    Fit fitUnder(const QFont& bandFont, int room);
    // How many columns fit the width whole, and where the i-th of those stands.
    int columnsShown() const;
    QRect columnRect(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The largest size of `font`, no larger than `largest` pixels, at which the strip is no taller
    // than `height`; it becomes the strip's font.
    void fitFont(const QFont& font, int largest, int height);
    int neededHeightIn(const QFont& font) const;
    int columnWidthIn(const QFont& font) const;
    QRect columnRectIn(int index, int shown, int columnWidth, int height) const;

    QList<ForecastColumn> m_columns;
    QColor m_text = Qt::white;
    QColor m_background = Qt::black;
};

} // namespace nimbrel
