#pragma once

#include <QString>
#include <QtGlobal>

namespace nimbrel {

// Conversions of stored text, independent of the user's locale. Each throws AppError
// ("Type mismatch" for text that is not a number, "Overflow" for a number out of range).

// A 16-bit whole number; a fraction rounds to the nearest, halves to the even neighbour.
qint16 toInteger(const QString& text);
// A 32-bit whole number, rounded the same way (colours).
qint32 toLong(const QString& text);
// A real number (option flags are compared with 1).
double toDouble(const QString& text);
// Only the exact text "True" is true.
inline bool isTrue(const QString& text) {
    return text == QLatin1String("True");
}

} // namespace nimbrel
