#pragma once

#include <QString>
#include <QtGlobal>
#include <concepts>

namespace nimbrel {

// The per-user store of named text values, application "Corvane", section "Nimbrel". Keys match
// without regard to letter case. Nothing is cached: every read sees the last write, also one
// made by another running copy.
//
// When one key was saved under two spellings, the file keeps the first spelling it was stored
// under and the latest value.
//
// GetSetting returns the stored text, or the default's text form when the key is absent (a
// present empty value stays empty). SaveSetting is on disk before it returns; a write that
// fails throws AppError.
QString GetSetting(const QString& key, const QString& defaultText);
QString GetSetting(const QString& key, const char* defaultText);
QString GetSetting(const QString& key, qint64 defaultNumber);
// Any other whole number (a literal 0 would otherwise be ambiguous with the text default).
template <class T>
concept OtherWholeNumber = std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, qint64>;
template <OtherWholeNumber Number> QString GetSetting(const QString& key, Number defaultNumber) {
    return GetSetting(key, static_cast<qint64>(defaultNumber));
}
void SaveSetting(const QString& key, const QString& value);

// Where the store lives on this platform (a file path on Linux, a registry path on Windows).
QString settingsLocation();

// Tests point the store at a file of their own; an empty path restores the platform location.
void setSettingsFileForTesting(const QString& path);

} // namespace nimbrel
