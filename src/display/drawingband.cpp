#include "drawingband.h"

#include "rounding.h"
#include "sizefit.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <QRegion>

#include <algorithm>
#include <cmath>

namespace nimbrel {

int centredLineX(int bandWidth, double lineWidth) {
    // Integer division drops the fraction; both widths are never negative.
    return bandWidth / 2 - roundHalfEvenToInt(lineWidth) / 2;
}

DrawingBand::DrawingBand(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted by paintEvent.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_drawing = blankDrawing();
}

BandDrawing DrawingBand::blankDrawing() const {
    BandDrawing drawing;
    drawing.font = textFont();
    drawing.textColour = palette().color(QPalette::WindowText);
    drawing.background = palette().color(QPalette::Window);
    drawing.size = size();
    return drawing;
}

void DrawingBand::holdLines(qsizetype count) {
    m_linesHeld = count;
}

const QFont& DrawingBand::textFont() const {
    if (m_textFontLines != m_linesHeld || m_textFontHeight != height() ||
        m_textFontFrom != font()) {
        m_textFontFrom = font();
        m_textFontHeight = height();
        m_textFontLines = m_linesHeld;
        m_textFont = fontForHeight();
    }
    return m_textFont;
}

void DrawingBand::forgetMeasuresOfOtherFont() const {
    if (m_measuredFont == textFont())
        return;
    m_widths.clear();
    m_fitted.clear();
    m_fittedWithSymbol.clear();
    m_measuredFont = textFont();
    m_lineHeight = -1;
    m_symbolAdvance = -1;
}

double DrawingBand::lineWidth(const QString& text) const {
    forgetMeasuresOfOtherFont();
    if (m_widths.size() > 64)
        m_widths.clear();
    auto it = m_widths.constFind(text);
    if (it == m_widths.constEnd())
        it = m_widths.insert(text, QFontMetricsF(textFont(), this).horizontalAdvance(text));
    return *it;
}

int DrawingBand::lineHeight() const {
    forgetMeasuresOfOtherFont();
    if (m_lineHeight < 0)
        m_lineHeight = QFontMetrics(textFont(), this).lineSpacing();
    return m_lineHeight;
}

namespace {

// Fonts set in points are shrunk in points, fonts set in pixels in pixels.
QFont sized(QFont font, int size) {
    if (font.pointSizeF() > 0)
        font.setPointSize(size);
    else
        font.setPixelSize(size);
    return font;
}

int sizeOf(const QFont& font) {
    return font.pointSizeF() > 0 ? int(std::ceil(font.pointSizeF())) : font.pixelSize();
}

} // namespace

QFont DrawingBand::fontForHeight() const {
    const auto heightAt = [&](const QFont& font) {
        return qint64(m_linesHeld) * QFontMetrics(font, this).lineSpacing();
    };
    // A band not laid out yet has no height to fit to.
    if (m_linesHeld <= 0 || height() <= 0 || heightAt(font()) <= height())
        return font();
    // The smallest size is used when even that is too tall.
    return sized(font(), largestFitting(std::max(2, sizeOf(font())), [&](int size) {
                     return heightAt(sized(font(), size)) <= height();
                 }));
}

int DrawingBand::symbolAdvance(const QFont& font) const {
    return advanceOfSymbol(QFontMetrics(font, this).height());
}

int DrawingBand::advanceOfSymbol(int side) {
    return side + side / 4;
}

FittedLine DrawingBand::fittedLine(const QString& text) const {
    return fitted(text, 0);
}

FittedLine DrawingBand::fittedLineWithSymbol(const QString& text) const {
    forgetMeasuresOfOtherFont();
    if (m_symbolAdvance < 0)
        m_symbolAdvance = symbolAdvance(textFont());
    return fitted(text, m_symbolAdvance);
}

FittedLine DrawingBand::fitted(const QString& text, int reserved) const {
    forgetMeasuresOfOtherFont();
    if (m_fittedWidth != width()) {
        m_fitted.clear();
        m_fittedWithSymbol.clear();
        m_fittedWidth = width();
    }
    // A line led by a symbol is kept apart from the same text without one.
    QHash<QString, FittedLine>& known = reserved > 0 ? m_fittedWithSymbol : m_fitted;
    if (known.size() > 64)
        known.clear();
    if (const auto it = known.constFind(text); it != known.constEnd())
        return *it;

    FittedLine fitted{lineWidth(text) + reserved, std::nullopt};
    const auto widthAt = [&](int size) {
        const QFont font = sized(textFont(), size);
        return QFontMetricsF(font, this).horizontalAdvance(text) +
               (reserved > 0 ? symbolAdvance(font) : 0);
    };
    // Whole pixels are what shows: a line fits when its last partly covered pixel is on the band.
    const auto fits = [&](double lineWidth) { return std::ceil(lineWidth) <= width(); };
    // A band not laid out yet has no width to fit to.
    if (width() > 0 && !fits(fitted.width)) {
        // Even the smallest size is used when nothing fits, cut as any line was before.
        const int fitting = largestFitting(std::max(2, sizeOf(textFont())),
                                           [&](int size) { return fits(widthAt(size)); });
        fitted.font = sized(textFont(), fitting);
        fitted.width = widthAt(fitting);
    }
    return *known.insert(text, fitted);
}

void DrawingBand::present(BandDrawing drawing) {
    if (drawing == m_drawing)
        return;
    const bool sameFrame =
        drawing.font == m_drawing.font && drawing.textColour == m_drawing.textColour &&
        drawing.background == m_drawing.background && drawing.size == m_drawing.size &&
        drawing.lines.size() == m_drawing.lines.size();
    if (!sameFrame) {
        m_drawing = std::move(drawing);
        update();
        return;
    }
    const int spacing = QFontMetrics(drawing.font, this).lineSpacing();
    QRegion changed;
    for (qsizetype i = 0; i < drawing.lines.size(); ++i) {
        const BandLine& was = m_drawing.lines.at(i);
        const BandLine& now = drawing.lines.at(i);
        if (was == now)
            continue;
        changed += QRect(0, was.top, width(), spacing);
        changed += QRect(0, now.top, width(), spacing);
    }
    m_drawing = std::move(drawing);
    update(changed);
}

void DrawingBand::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), m_drawing.background);
    painter.setFont(m_drawing.font);
    painter.setPen(m_drawing.textColour);
    const QFontMetrics metrics(m_drawing.font, this);
    for (const BandLine& line : std::as_const(m_drawing.lines)) {
        // A shrunk line sits in the middle of the line it stands for.
        const QFont& font = line.font ? *line.font : m_drawing.font;
        const QFontMetrics shrunk = line.font ? QFontMetrics(font, this) : metrics;
        const int top = line.top + (metrics.lineSpacing() - shrunk.lineSpacing()) / 2;
        int x = line.x;
        if (line.symbol != WeatherSymbol::None) {
            const int side = shrunk.height();
            paintWeatherSymbol(painter,
                               QRectF(x, top + (shrunk.lineSpacing() - side) / 2.0, side, side),
                               line.symbol, m_drawing.textColour, m_drawing.background);
            painter.setPen(m_drawing.textColour);
            x += advanceOfSymbol(side);
        }
        painter.setFont(font);
        painter.drawText(QPoint(x, top + shrunk.ascent()), line.text);
    }
}

} // namespace nimbrel
