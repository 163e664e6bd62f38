#include "drawingband.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>

#include <cmath>
#include <limits>

namespace nimbrel {

int roundHalfEven(double value) {
    // std::nearbyint follows the current rounding mode, which nothing in the program changes
    // from round-to-nearest-even.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<int>::min() && rounded <= std::numeric_limits<int>::max()))
        return rounded > 0 ? std::numeric_limits<int>::max() : std::numeric_limits<int>::min();
    return static_cast<int>(rounded);
}

int centredLineX(int bandWidth, double lineWidth) {
    // Integer division drops the fraction; both widths are never negative.
    return bandWidth / 2 - roundHalfEven(lineWidth) / 2;
}

DrawingBand::DrawingBand(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted by paintEvent.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_drawing = blankDrawing();
}

BandDrawing DrawingBand::blankDrawing() const {
    BandDrawing drawing;
    drawing.font = font();
    drawing.textColour = palette().color(QPalette::WindowText);
    drawing.background = palette().color(QPalette::Window);
    drawing.size = size();
    return drawing;
}

double DrawingBand::lineWidth(const QString& text) const {
    if (m_measuredFont != font() || m_widths.size() > 64) {
        m_widths.clear();
        m_measuredFont = font();
        m_lineHeight = -1;
    }
    auto it = m_widths.constFind(text);
    if (it == m_widths.constEnd())
        it = m_widths.insert(text, QFontMetricsF(font(), this).horizontalAdvance(text));
    return *it;
}

int DrawingBand::lineHeight() const {
    if (m_measuredFont != font()) {
        m_widths.clear();
        m_measuredFont = font();
        m_lineHeight = -1;
    }
    if (m_lineHeight < 0)
        m_lineHeight = QFontMetrics(font(), this).lineSpacing();
    return m_lineHeight;
}

void DrawingBand::present(BandDrawing drawing) {
    if (drawing == m_drawing)
        return;
    m_drawing = std::move(drawing);
    update();
}

void DrawingBand::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), m_drawing.background);
    painter.setFont(m_drawing.font);
    painter.setPen(m_drawing.textColour);
    const int ascent = QFontMetrics(m_drawing.font, this).ascent();
    for (const BandLine& line : std::as_const(m_drawing.lines))
        painter.drawText(QPoint(line.x, line.top + ascent), line.text);
}

} // namespace nimbrel
