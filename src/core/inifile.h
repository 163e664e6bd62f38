#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

namespace nimbrel {

// The text of an ini file, gone through once for one section. The section's keys match without
// regard to case and are found without going through the text again. A change is spliced into the
// bytes: lines that are not the key's, or cannot be read, are carried over byte for byte, so a
// file grown huge with other programs' groups costs one pass to read and one copy to change. Keys
// and values are spelled as QSettings spells them in ini files, so either can read the other's.
class IniFile {
public:
    IniFile(QByteArray content, const QString& section);

    const QByteArray& content() const { return m_content; }
    std::optional<QString> value(const QString& key) const;
    // The text with the key set to the value, as pieces to be written one after the other (the
    // unchanged stretches point into content()), or nothing when it holds exactly that already.
    std::optional<QList<QByteArray>> withValue(const QString& key, const QString& value) const;

private:
    // Where a line's text starts, where it ends (before its CR LF, LF or lone CR) and where the
    // next line starts.
    struct Line {
        qsizetype start = 0;
        qsizetype textEnd = 0;
        qsizetype next = 0;
    };
    struct Entry {
        Line line;
        qsizetype valueStart = 0;
        qsizetype valueEnd = 0;
        QString key; // case-folded
    };

    Line lineAt(qsizetype pos) const;
    QString valueOf(const Entry& entry) const;
    QByteArray lineEnd() const;
    QByteArray endingFor(const Line& line, const QByteArray& lineEnd) const;
    QByteArray untouched(qsizetype from, qsizetype to) const;

    QByteArray m_content;
    QString m_section;
    std::vector<Entry> m_entries;
    // Every entry of a key, in file order (one key can be spelled more than once).
    QHash<QString, std::vector<std::size_t>> m_byKey;
    // The section's last entry, or its header when it has none: where a new key goes.
    std::optional<Line> m_insertAfter;
    Line m_last;
};

} // namespace nimbrel
