#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QList>
#include <QSize>
#include <QString>
#include <QWidget>

#include "weathersymbol.h"

#include <optional>

namespace nimbrel {

// One line of the weather text as it stands on the band: its left edge and the top of its line.
// A line too wide for the band carries the smaller font it is drawn in.
struct BandLine {
    QString text;
    int x = 0;
    int top = 0;
    std::optional<QFont> font;
    // Drawn at the line's left edge, as tall as the line, with the text after it.
    WeatherSymbol symbol = WeatherSymbol::None;
    bool operator==(const BandLine&) const = default;
};

// How a line goes on the band: the width it takes as drawn, and the smaller font it is drawn in
// when the band's own font would run it past the band's edges.
struct FittedLine {
    double width = 0;
    std::optional<QFont> font;
};

// Everything that decides what the band shows. Two equal drawings put the same pixels on screen,
// which is what lets a tick that changes nothing skip the repaint.
struct BandDrawing {
    QFont font;
    QColor textColour;
    QColor background;
    QSize size;
    QList<BandLine> lines;
    bool operator==(const BandDrawing&) const = default;
};

// The left edge of a centred line: both widths are made whole first (halves to even) and then
// halved with the fraction dropped, so the result is exact and repeatable for a given text.
int centredLineX(int bandWidth, double lineWidth);

// The drawing surface of the weather text. A tick prepares a drawing with the band's
// own font and colours and hands it over; the band keeps it and paints it whenever asked.
class DrawingBand : public QWidget {
    Q_OBJECT
public:
    explicit DrawingBand(QWidget* parent = nullptr);

    // How many lines the band is to hold. When they do not all fit its height in the band's
    // font, every one of them is drawn at the largest whole size at which they do: one size for
    // all, so the display keeps its look on a small screen.
    void holdLines(qsizetype count);
    // The band's font, or the smaller one the lines held are drawn in.
    const QFont& textFont() const;

    // An empty drawing in the text font and the band's colours and size: a cleared band.
    BandDrawing blankDrawing() const;
    // Width of text in the text font, and the height of a line, in logical pixels.
    double lineWidth(const QString& text) const;
    int lineHeight() const;
    // A line that fits the band's width keeps the text font; a wider one is drawn at the
    // largest whole size that fits (never wrapped), and its width is the width at that size.
    FittedLine fittedLine(const QString& text) const;
    // The same for a line led by a symbol: its width includes the symbol's.
    FittedLine fittedLineWithSymbol(const QString& text) const;
    // The room a symbol takes before the text, in the given font, and for a symbol `side` high.
    int symbolAdvance(const QFont& font) const;
    static int advanceOfSymbol(int side);

    // Takes the drawing; schedules a repaint only when it differs from the one on the band, and
    // then of the lines that changed alone when nothing else did (the clock at the minute).
    void present(BandDrawing drawing);
    const BandDrawing& drawing() const { return m_drawing; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    BandDrawing m_drawing;
    void forgetMeasuresOfOtherFont() const;
    QFont fontForHeight() const;
    FittedLine fitted(const QString& text, int reserved) const;

    qsizetype m_linesHeld = 0;
    // The text font and what it was worked out for: the band's font, height and lines held.
    mutable QFont m_textFont;
    mutable QFont m_textFontFrom;
    mutable int m_textFontHeight = -1;
    mutable qsizetype m_textFontLines = -1;

    // Measuring a line shapes its text; the same few lines are measured every second for hours,
    // so their widths (and the line height) are kept for as long as the font stays the same, and
    // how they fit for as long as the band's width does too.
    mutable QFont m_measuredFont;
    mutable QHash<QString, double> m_widths;
    mutable int m_lineHeight = -1;
    mutable int m_symbolAdvance = -1;
    mutable int m_fittedWidth = -1;
    mutable QHash<QString, FittedLine> m_fitted;
    mutable QHash<QString, FittedLine> m_fittedWithSymbol;
};

} // namespace nimbrel
