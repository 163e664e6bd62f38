#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

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
// The content is given as pieces written one after the other, so a big file changed in one line
// is written without first being copied whole.
void writeStoreFileAtomically(const QString& path, const QList<QByteArray>& content);
// Removes the temporary files that saves of this store left behind when they were cut off (a
// kill, a power cut) more than a minute ago; a save in progress in another copy is younger.
// Never throws.
void removeLeftoverTemporaries(const QString& path);

// One line of an ini text: where its text starts, where the text ends (before its CR LF, LF or
// lone CR) and where the next line starts.
struct LineSpan {
    qsizetype start = 0;
    qsizetype textEnd = 0;
    qsizetype next = 0;
};

// An ini text read once for one section. The section's entries are found by key without going
// through the file again, and a change is spliced into the bytes, so a store grown huge with other
// programs' groups costs one pass to read and one copy to change.
class IniIndex {
public:
    IniIndex(QByteArray content, const QString& section);

    const QByteArray& content() const { return m_content; }
    // Takes the same bytes from another buffer, so that only one copy of them is kept.
    void adopt(const QByteArray& sameContent) { m_content = sameContent; }
    std::optional<QString> value(const QString& key) const;
    // The text with the key set to the value, or nothing when it already holds exactly that.
    std::optional<QByteArray> withValue(const QString& key, const QString& value) const;
    // The same as pieces; the unchanged stretches point into this index's content.
    std::optional<QList<QByteArray>> splice(const QString& key, const QString& value) const;

private:
    struct Entry {
        LineSpan line;
        qsizetype valueStart = 0;
        qsizetype valueEnd = 0;
        QString key; // case-folded
    };

    QString valueOf(const Entry& entry) const;
    QByteArray lineEnd() const;
    QByteArray endingFor(const LineSpan& line, const QByteArray& lineEnd) const;

    QByteArray m_content;
    QString m_section;
    std::vector<Entry> m_entries;
    // Every entry of a key, in file order (one key can be spelled more than once).
    QHash<QString, std::vector<std::size_t>> m_byKey;
    // The section's last entry, or its header when it has none: where a new key goes.
    std::optional<LineSpan> m_insertAfter;
    LineSpan m_last;
};

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
