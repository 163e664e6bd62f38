#include "colours.h"

#include "apperror.h"

#include <QGuiApplication>
#include <QWidget>

#include <iterator>

namespace nimbrel {

QColor colourFromNumber(qint32 number) {
    if (number >= 0) {
        if (number > 0xFFFFFF)
            throw AppError::invalidPropertyValue();
        return QColor(number & 0xFF, (number >> 8) & 0xFF, (number >> 16) & 0xFF);
    }
    static constexpr QPalette::ColorRole systemRoles[] = {
        QPalette::Button,          // 0 scroll bar
        QPalette::Dark,            // 1 desktop
        QPalette::Highlight,       // 2 active title bar
        QPalette::Mid,             // 3 inactive title bar
        QPalette::Window,          // 4 menu bar
        QPalette::Base,            // 5 window background
        QPalette::Shadow,          // 6 window frame
        QPalette::WindowText,      // 7 menu text
        QPalette::Text,            // 8 window text
        QPalette::HighlightedText, // 9 title bar text
        QPalette::Button,          // 10 active border
        QPalette::Button,          // 11 inactive border
        QPalette::Mid,             // 12 application workspace
        QPalette::Highlight,       // 13 highlight
        QPalette::HighlightedText, // 14 highlighted text
        QPalette::Button,          // 15 button face
        QPalette::Dark,            // 16 button shadow
        QPalette::PlaceholderText, // 17 grey text
        QPalette::ButtonText,      // 18 button text
        QPalette::WindowText,      // 19 inactive title bar text
        QPalette::Light,           // 20 button highlight
        QPalette::Shadow,          // 21 3-D dark shadow
        QPalette::Midlight,        // 22 3-D light
        QPalette::ToolTipText,     // 23 tool tip text
        QPalette::ToolTipBase,     // 24 tool tip background
    };
    const quint32 bits = static_cast<quint32>(number);
    const quint32 index = bits & 0x00FFFFFFu;
    if ((bits & 0xFF000000u) != 0x80000000u || index >= std::size(systemRoles))
        throw AppError::invalidPropertyValue();
    return QGuiApplication::palette().color(systemRoles[index]);
}

qint32 numberFromColour(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16);
}

void setRole(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

void fillBackground(QWidget* widget, const QColor& colour) {
    setRole(widget, QPalette::Window, colour);
    setRole(widget, widget->backgroundRole(), colour);
    widget->setAutoFillBackground(true);
}

} // namespace nimbrel
