#include "measuringlabel.h"

#include <QEvent>
#include <QFontMetrics>

#include <algorithm>

namespace nimbrel {

MeasuringLabel::MeasuringLabel(QWidget* parent) : QLabel(parent) {
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
}

void MeasuringLabel::setMeasuredText(const QString& text) {
    setText(text);
    fitHeight();
}

int MeasuringLabel::heightFor(const QString& text) const {
    const qsizetype lines = std::max<qsizetype>(1, text.count(QLatin1String("\r\n")) + 1);
    const qint64 height = qint64(lines) * QFontMetrics(font(), this).lineSpacing();
    // Widget sizes stop at QWIDGETSIZE_MAX; a text that long is far off screen anyway.
    return static_cast<int>(std::min<qint64>(height, QWIDGETSIZE_MAX));
}

void MeasuringLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitHeight();
}

void MeasuringLabel::fitHeight() {
    resize(width(), heightFor(text()));
}

} // namespace nimbrel
