#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

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
//
// A save that changes nothing a reader sees is no save: it neither waits for another copy nor
// fails. A key the file lacks is a change even when the value is its default, so the first start
// writes out what it shows and a later default never changes a user's display. Only a store that
// cannot be read at all shows the saver's default for every key; saving that default again is
// then no change either.
void saveSetting(const QString& key, const QString& value);
// Keys and their values, in the order they are stored.
using SettingChanges = QList<std::pair<QString, QString>>;
// Several keys in one read-change-write: a choice kept in two keys is never found half stored,
// by this copy or another. shownWhenAbsent holds, key by key, what the saver reads while the key
// is absent, where it is known.
void saveSettings(const SettingChanges& changes, const QStringList& shownWhenAbsent = {});

// A store that cannot be written (a full disk, a read-only folder) fails every save for as long
// as that lasts. Answers whether a failure with this description is news: true for the first one
// since a save last went through, or when the description changed; false for repeats.
bool storeFailureIsNews(const QString& description);

// The program's pending request to stop (a log-out's signal): a save waiting for another copy
// gives up once it answers true, and failures are no news from then on. Asked from the waiting
// thread, never from a signal handler; null for none.
void setStopRequestCheck(bool (*stopRequested)());

// Where the store lives on this platform (a file path on Linux, a registry path on Windows).
QString settingsLocation();

// Tests point the store at a file of their own; an empty path restores the platform location.
void setSettingsFileForTesting(const QString& path);

} // namespace nimbrel
