#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace nimbrel::detail {

// Where the values of the section live: the platform's own store, or an ini file.
class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;
    // The stored text, or nothing when the key is absent. Never throws: a store that cannot be
    // read reads as empty, so the program still starts.
    virtual std::optional<QString> read(const QString& key) const = 0;
    // On disk before it returns; throws AppError when it is not.
    virtual void write(const QString& key, const QString& value) = 0;
    virtual QString location() const = 0;
};

// The platform's store (one implementation per platform).
std::unique_ptr<SettingsBackend> platformSettingsBackend();
// The ini file store, on any platform (the Linux store, and every platform's tests).
std::unique_ptr<SettingsBackend> iniFileSettingsBackend(const QString& path);

// File primitives of the ini store, one implementation per platform.
// The whole file, or nothing when it does not exist; throws AppError when it exists but cannot be
// read (a rewrite must never replace what it could not read).
std::optional<QByteArray> readStoreFile(const QString& path);
// Replaces the file in one step (a temporary file in the same folder, flushed to the disk, then
// renamed over it), so a crash leaves either the old or the new content. Throws AppError.
void writeStoreFileAtomically(const QString& path, const QByteArray& content);

// The ini text itself. A section's keys match without regard to case; lines that are not ours or
// cannot be read are carried over byte for byte.
std::optional<QString> iniValue(const QByteArray& content, const QString& section,
                                const QString& key);
QByteArray iniWithValue(const QByteArray& content, const QString& section, const QString& key,
                        const QString& value);
// How keys and values are spelled in the file (the spelling QSettings uses for ini files).
QByteArray iniEncodedKey(const QString& key);
QByteArray iniEncodedValue(const QString& value);

} // namespace nimbrel::detail
