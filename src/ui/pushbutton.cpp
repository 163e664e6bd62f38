#include "pushbutton.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace nimbrel {

PushButton::PushButton(const QString& caption, QWidget* parent) : QAbstractButton(parent) {
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(11.25);
    f.setBold(true);
    setFont(f);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    setCaption(caption);
}

void PushButton::setCaption(const QString& caption) {
    m_caption = caption;
    // Accessibility and tests read the caption as shown; no access key is ever defined.
    setAccessibleName(displayedCaption());
    updateGeometry();
    update();
}

QString PushButton::displayedCaption() const {
    QString shown = m_caption;
    shown.replace(QStringLiteral("&&"), QStringLiteral("&"));
    return shown;
}

QSize PushButton::sizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(displayedCaption()) + 24, fm.height() + 12};
}

void PushButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    const bool down = isDown();
    p.fillRect(r, down ? QColor(0xe6, 0xe6, 0xe6)
                       : (underMouse() ? QColor(0xf4, 0xf4, 0xf4) : QColor(Qt::white)));
    p.setPen(QColor(0xa0, 0xa0, 0xa0));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::ButtonText));
    p.setFont(font());
    const QRect textRect = r.adjusted(4, 2, -4, -2).translated(down ? 1 : 0, down ? 1 : 0);
    p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, displayedCaption());
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = r.adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
}

void PushButton::mouseMoveEvent(QMouseEvent* event) {
    Q_EMIT mouseMoved();
    QAbstractButton::mouseMoveEvent(event);
}

} // namespace nimbrel
