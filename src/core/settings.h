#pragma once

#include <QString>

namespace nimbrel {

// The per-user store of named text values, application "Corvane", section "Nimbrel". The
// program reads and writes it only through the typed accessors of settingsschema.h, which alone
// spell the keys; these functions are what the accessors (and the tests) stand on.
//
// Keys match without regard to letter case. When one key was saved under two spellings, the
// store keeps the first spelling it was stored under and the latest value. Every read sees the
// last write, also one made by another running copy.

// The stored text, or the default when the key is absent (a present empty value stays empty).
QString readSetting(const QString& key, const QString& defaultText);
// One read-change-write of the store, on disk before it returns; throws AppError when it is not.
void saveSetting(const QString& key, const QString& value);

// Where the store lives on this platform (a file path on Linux, a registry path on Windows).
QString settingsLocation();

// Tests point the store at a file of their own; an empty path restores the platform location.
void setSettingsFileForTesting(const QString& path);

} // namespace nimbrel
