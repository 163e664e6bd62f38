// The store keeps its own ini code (inifile.h) instead of QSettings: the file is shared with other
// programs, so a save has to leave everything but the one key it changes byte for byte as it was
// (other programs' groups and keys, comments, lines that cannot be read, line ends), and keys
// have to match without regard to case, as they do in the registry. QSettings rewrites the whole
// file in its own form and tells keys apart by case.
#include "settings.h"

#include "apperror.h"
#include "inifile.h"
#include "settings_backend.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <cstring>
#include <memory>
#include <utility>

namespace nimbrel {

namespace detail {

namespace {

const QString kSection = QStringLiteral("Nimbrel");

// What the store keeps between calls, in one place. Nothing kept stands in for a read: each
// piece is checked against what it came from, so every read still sees the last write.
struct StoreState {
    // Where the tests put the store; empty for the platform's own place.
    QString testFile;
    // The display reads the alignment for every line of every tick. The file is still read each
    // time, so every change is seen at once, but the same bytes are not gone through again: the
    // index is kept with the exact content it came from.
    std::unique_ptr<IniFile> index;
    // Stores whose leftovers of cut-off saves have been cleared away in this process.
    QSet<QString> tidied;
};

StoreState& state() {
    static StoreState kept;
    return kept;
}

const IniFile& indexOf(const QByteArray& content) {
    std::unique_ptr<IniFile>& cached = state().index;
    const auto same = [&content](const QByteArray& known) {
        return known.size() == content.size() &&
               (known.constData() == content.constData() || content.isEmpty() ||
                std::memcmp(known.constData(), content.constData(), size_t(content.size())) == 0);
    };
    if (cached && same(cached->content())) {
        // The bytes just read are the ones the reader holds on to; the index's equal copy goes,
        // so that a big file is not held twice.
        cached->adopt(content);
        return *cached;
    }
    // The old index goes first, for the same reason.
    cached.reset();
    cached = std::make_unique<IniFile>(content, kSection);
    return *cached;
}

// An interrupted save of an earlier run may have left its temporary file behind; the first use
// of a store in this process clears them away.
void tidyOnFirstUse(const QString& path) {
    QSet<QString>& tidied = state().tidied;
    if (tidied.contains(path))
        return;
    tidied.insert(path);
    removeLeftoverTemporaries(path);
}

class IniFileBackend : public SettingsBackend {
public:
    explicit IniFileBackend(QString path) : m_path(std::move(path)) { tidyOnFirstUse(m_path); }

    std::optional<QString> read(const QString& key) const override {
        try {
            const std::optional<QByteArray> content = readStoreFile(m_path);
            if (!content)
                return std::nullopt;
            return indexOf(*content).value(key);
        } catch (const AppError&) {
            return std::nullopt;
        }
    }

    // Starts from the file as it is now, not from what this copy saw before.
    void write(const QString& key, const QString& value) override {
        const std::optional<QList<QByteArray>> pieces =
            indexOf(readStoreFile(m_path).value_or(QByteArray())).withValue(key, value);
        // Filling a window writes back every value it read; an unchanged file is already on disk.
        if (!pieces)
            return;
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        writeStoreFileAtomically(m_path, *pieces);
        // The next read indexes the new file; the old one's bytes need not be held meanwhile.
        state().index.reset();
    }

    QString location() const override { return m_path; }

private:
    QString m_path;
};

} // namespace

std::unique_ptr<SettingsBackend> iniFileSettingsBackend(const QString& path) {
    return std::make_unique<IniFileBackend>(path);
}

} // namespace detail

namespace {

// Made afresh for every call, so a new test file or a changed configuration folder counts at once.
std::unique_ptr<detail::SettingsBackend> store() {
    const QString& testFile = detail::state().testFile;
    if (!testFile.isEmpty())
        return detail::iniFileSettingsBackend(testFile);
    return detail::platformSettingsBackend();
}

} // namespace

QString readSetting(const QString& key, const QString& defaultText) {
    if (key.isEmpty())
        return defaultText;
    return store()->read(key).value_or(defaultText);
}

void saveSetting(const QString& key, const QString& value) {
    if (key.isEmpty())
        throw AppError(QStringLiteral("Invalid procedure call or argument"));
    store()->write(key, value);
}

QString settingsLocation() {
    return store()->location();
}

void setSettingsFileForTesting(const QString& path) {
    detail::state().testFile = path;
}

} // namespace nimbrel
