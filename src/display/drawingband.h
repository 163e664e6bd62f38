#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QList>
#include <QSize>
#include <QString>
#include <QWidget>

namespace nimbrel {

// One line of the weather text as it stands on the band: its left edge and the top of its line.
struct BandLine {
    QString text;
    int x = 0;
    int top = 0;
    bool operator==(const BandLine&) const = default;
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

// Halves go to the even neighbour, as every conversion to a whole number in this program does.
int roundHalfEven(double value);

// The left edge of a centred line: both widths are made whole first (halves to even) and then
// halved with the fraction dropped, so the result is exact and repeatable for a given text.
int centredLineX(int bandWidth, double lineWidth);

// `Picture1`: the drawing surface of the weather text. A tick prepares a drawing with the band's
// own font and colours and hands it over; the band keeps it and paints it whenever asked.
class DrawingBand : public QWidget {
    Q_OBJECT
public:
    explicit DrawingBand(QWidget* parent = nullptr);

    // An empty drawing in the band's current font, colours and size: a cleared band.
    BandDrawing blankDrawing() const;
    // Width and height of text in the band's font, in logical pixels.
    double lineWidth(const QString& text) const;
    int lineHeight() const;

    // Takes the drawing; schedules a repaint only when it differs from the one on the band.
    void present(BandDrawing drawing);
    const BandDrawing& drawing() const { return m_drawing; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    BandDrawing m_drawing;
    // Measuring a line shapes its text; the same few lines are measured every second for hours,
    // so their widths (and the line height) are kept for as long as the font stays the same.
    mutable QFont m_measuredFont;
    mutable QHash<QString, double> m_widths;
    mutable int m_lineHeight = -1;
};

} // namespace nimbrel
