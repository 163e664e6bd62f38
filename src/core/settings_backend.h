#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <utility>

namespace nimbrel::detail {

// Where the values of the section live: the platform's own store, or an ini file.
class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;
    // The stored text, or nothing when the key is absent. Never throws: a store that cannot be
    // read reads as empty, so the program still starts.
    virtual std::optional<QString> read(const QString& key) const = 0;
    // Whether the store could be read just now: one that cannot reads as empty, which tells
    // nothing of the keys it holds.
    virtual bool readable() const { return true; }
    // One read-change-write of the store for every key given, on disk before it returns; throws
    // AppError when it is not.
    virtual void write(const QList<std::pair<QString, QString>>& changes) = 0;
    virtual QString location() const = 0;
};

// The platform's store (one implementation per platform).
std::unique_ptr<SettingsBackend> platformSettingsBackend();
// The ini file store, on any platform (the Linux store, and every platform's tests).
std::unique_ptr<SettingsBackend> iniFileSettingsBackend(const QString& path);

// File primitives of the ini store, one implementation per platform.

// The bytes of the file as read, and what tells this version of the file from any later one
// without reading it again: empty when its status cannot be trusted to show every change.
struct StoreFileContent {
    QByteArray bytes;
    QByteArray stamp;
};
// The whole file, or nothing when it does not exist; throws AppError when it exists but cannot be
// read (a rewrite must never replace what it could not read). A file that holds exactly the
// known bytes gives back those very bytes, compared rather than read into a second buffer, so a
// big store is held in memory once.
std::optional<StoreFileContent> readStoreFile(const QString& path, const QByteArray& known);
// Whether the file is still the version the stamp was taken from; never throws.
bool storeFileHasStamp(const QString& path, const QByteArray& stamp);
// Replaces the file in one step (a temporary file in the same folder, flushed to the disk, then
// renamed over it), so a crash leaves either the old or the new content. Throws AppError.
// The content is given as pieces written one after the other, so a big file changed in one line
// is written without first being copied whole.
void writeStoreFileAtomically(const QString& path, const QList<QByteArray>& content);
// Removes the temporary files that saves of this store left behind when they were cut off (a
// kill, a power cut) more than a minute ago; a save in progress in another copy is younger.
// Nothing else beside the store is touched, however much its name looks like one (a user's
// backup). Never throws.
void removeLeftoverTemporaries(const QString& path);

// Tests play a file system without Unix modes (FAT): every call that sets a file's mode fails
// with this error number; 0 restores the real calls.
void failFileModesForTesting(int error);

} // namespace nimbrel::detail
