#pragma once

#include "settings.h"

#include <QString>
#include <QtGlobal>
#include <concepts>

namespace nimbrel {

// Tests read the store by key with the default written as it comes to hand: a C string or a
// number, given in its text form.
QString readSetting(const QString& key, const char* defaultText);
QString readSetting(const QString& key, qint64 defaultNumber);
// Any other whole number (a literal 0 would otherwise be ambiguous with the text default).
template <class T>
concept OtherWholeNumber = std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, qint64>;
template <OtherWholeNumber Number> QString readSetting(const QString& key, Number defaultNumber) {
    return readSetting(key, static_cast<qint64>(defaultNumber));
}

} // namespace nimbrel
