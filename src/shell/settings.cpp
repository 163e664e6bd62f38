#include "settings.h"

#include "apperror.h"
#include "settings_backend.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QStringDecoder>
#include <utility>

namespace nimbrel {

namespace detail {

namespace {

const QString kSection = QStringLiteral("Nimbrel");

bool sameName(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

bool isAsciiBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

bool isHexDigit(char16_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char16_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c - 'A' + 10;
}

std::optional<QString> strictUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString decodeKey(const QString& spelled) {
    QString key;
    key.reserve(spelled.size());
    for (qsizetype i = 0; i < spelled.size(); ++i) {
        const char16_t c = spelled.at(i).unicode();
        if (c == '%' && i + 5 < spelled.size() && spelled.at(i + 1) == QLatin1Char('U') &&
            isHexDigit(spelled.at(i + 2).unicode()) && isHexDigit(spelled.at(i + 3).unicode()) &&
            isHexDigit(spelled.at(i + 4).unicode()) && isHexDigit(spelled.at(i + 5).unicode())) {
            int unit = 0;
            for (qsizetype k = i + 2; k <= i + 5; ++k)
                unit = unit * 16 + hexValue(spelled.at(k).unicode());
            key += QChar(char16_t(unit));
            i += 5;
        } else if (c == '%' && i + 2 < spelled.size() && isHexDigit(spelled.at(i + 1).unicode()) &&
                   isHexDigit(spelled.at(i + 2).unicode())) {
            key += QChar(char16_t(hexValue(spelled.at(i + 1).unicode()) * 16 +
                                  hexValue(spelled.at(i + 2).unicode())));
            i += 2;
        } else if (c == '\\') {
            key += QLatin1Char('/');
        } else {
            key += QChar(c);
        }
    }
    return key;
}

// Quoted stretches keep their blanks and commas; escapes work inside and outside quotes. Text
// outside quotes is taken as it stands, so a hand-edited "San Diego, CA" still reads whole.
QString decodeValue(const QString& spelled) {
    QString value;
    value.reserve(spelled.size());
    for (qsizetype i = 0; i < spelled.size(); ++i) {
        const char16_t c = spelled.at(i).unicode();
        if (c == '"')
            continue;
        if (c != '\\' || i + 1 == spelled.size()) {
            value += QChar(c);
            continue;
        }
        const char16_t e = spelled.at(++i).unicode();
        switch (e) {
        case 'a':
            value += QChar(u'\a');
            break;
        case 'b':
            value += QChar(u'\b');
            break;
        case 'f':
            value += QChar(u'\f');
            break;
        case 'n':
            value += QChar(u'\n');
            break;
        case 'r':
            value += QChar(u'\r');
            break;
        case 't':
            value += QChar(u'\t');
            break;
        case 'v':
            value += QChar(u'\v');
            break;
        case 'x': {
            unsigned unit = 0;
            while (i + 1 < spelled.size() && isHexDigit(spelled.at(i + 1).unicode())) {
                unit = qMin(0xFFFFu, unit * 16 + unsigned(hexValue(spelled.at(++i).unicode())));
            }
            value += QChar(char16_t(unit));
            break;
        }
        default:
            value += QChar(e);
            break;
        }
    }
    // A leading "@" is doubled in the file, as QSettings does to tell text from its own types.
    if (value.startsWith(QLatin1String("@@")))
        value.remove(0, 1);
    return value;
}

struct IniLine {
    enum class Kind { Other, Header, Entry };

    QByteArray text; // without its line end
    QByteArray end;  // "\n", "\r\n", or what ends the last line ("" or "\r")
    Kind kind = Kind::Other;
    QString name;             // group name of a header, key of an entry
    QString value;            // value of an entry
    qsizetype valueStart = 0; // where an entry's value starts in text
    qsizetype header = -1;    // the header line governing this line; -1 before any
    bool inSection = false;   // entry or header of the section asked for
};

void classify(IniLine& line, bool firstLine) {
    qsizetype begin = 0;
    if (firstLine && line.text.startsWith("\xEF\xBB\xBF"))
        begin = 3;
    while (begin < line.text.size() && isAsciiBlank(line.text.at(begin)))
        ++begin;
    if (begin == line.text.size())
        return;
    const char first = line.text.at(begin);
    if (first == ';' || first == '#')
        return;
    if (first == '[') {
        // A header with damaged bytes still starts a group, so that the lines after it are not
        // taken for the section's own.
        qsizetype close = line.text.indexOf(']', begin);
        if (close < 0)
            close = line.text.size();
        line.kind = IniLine::Kind::Header;
        line.name =
            decodeKey(QString::fromUtf8(line.text.mid(begin + 1, close - begin - 1)).trimmed());
        return;
    }
    const qsizetype equals = line.text.indexOf('=', begin);
    if (equals < 0)
        return;
    const std::optional<QString> key = strictUtf8(line.text.mid(begin, equals - begin).trimmed());
    qsizetype valueStart = equals + 1;
    while (valueStart < line.text.size() && isAsciiBlank(line.text.at(valueStart)))
        ++valueStart;
    qsizetype valueEnd = line.text.size();
    while (valueEnd > valueStart && isAsciiBlank(line.text.at(valueEnd - 1)))
        --valueEnd;
    const std::optional<QString> value =
        strictUtf8(line.text.mid(valueStart, valueEnd - valueStart));
    if (!key || key->isEmpty() || !value)
        return;
    line.kind = IniLine::Kind::Entry;
    line.name = decodeKey(*key);
    line.value = decodeValue(*value);
    line.valueStart = valueStart;
}

QList<IniLine> parseIni(const QByteArray& content, const QString& section) {
    QList<IniLine> lines;
    qsizetype pos = 0;
    qsizetype header = -1;
    while (pos < content.size()) {
        IniLine line;
        const qsizetype newline = content.indexOf('\n', pos);
        const qsizetype stop = newline < 0 ? content.size() : newline;
        line.text = content.mid(pos, stop - pos);
        if (line.text.endsWith('\r')) {
            line.text.chop(1);
            line.end = "\r";
        }
        if (newline >= 0)
            line.end += '\n';
        pos = newline < 0 ? content.size() : newline + 1;
        classify(line, lines.isEmpty());
        if (line.kind == IniLine::Kind::Header)
            header = lines.size();
        line.header = header;
        lines.append(line);
    }

    bool sectionHeader = false;
    bool headerlessEntries = false;
    for (IniLine& line : lines) {
        if (line.kind == IniLine::Kind::Header && sameName(line.name, section))
            line.inSection = sectionHeader = true;
        if (line.kind == IniLine::Kind::Entry && line.header < 0)
            headerlessEntries = true;
    }
    // A store that lost its header line (a truncated or hand-made file) still has the program's
    // values in it; read them as the section's rather than start from the defaults.
    const bool headerlessIsSection = !sectionHeader && headerlessEntries;
    for (IniLine& line : lines) {
        if (line.kind != IniLine::Kind::Entry)
            continue;
        line.inSection = line.header < 0 ? headerlessIsSection : lines.at(line.header).inSection;
    }
    return lines;
}

QByteArray lineEndOf(const QList<IniLine>& lines) {
    for (const IniLine& line : lines) {
        if (line.end.endsWith('\n'))
            return line.end;
    }
    return "\n";
}

// A line gets an end before another is put after it; a lone CR keeps its place before it.
void ensureLineEnd(IniLine& line, const QByteArray& lineEnd) {
    if (line.end.isEmpty())
        line.end = lineEnd;
    else if (!line.end.endsWith('\n'))
        line.end += '\n';
}

bool isEntryOf(const IniLine& line, const QString& key) {
    return line.kind == IniLine::Kind::Entry && line.inSection && sameName(line.name, key);
}

} // namespace

QByteArray iniEncodedKey(const QString& key) {
    QByteArray spelled;
    for (const QChar ch : key) {
        const char16_t c = ch.unicode();
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '_' || c == '-' || c == '.') {
            spelled += char(c);
        } else if (c == '/') {
            spelled += '\\';
        } else if (c <= 0xFF) {
            spelled += '%' + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
        } else {
            spelled += "%U" + QByteArray::number(c, 16).rightJustified(4, '0').toUpper();
        }
    }
    return spelled;
}

QByteArray iniEncodedValue(const QString& value) {
    QString spelled;
    bool quote = false;
    if (!value.isEmpty()) {
        quote = value.front().isSpace() || value.back().isSpace();
        if (value.front() == QLatin1Char('@'))
            spelled += QLatin1Char('@');
    }
    bool escapeHexDigits = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value.at(i).unicode();
        const bool pairedSurrogate =
            (QChar::isHighSurrogate(c) && i + 1 < value.size() &&
             value.at(i + 1).isLowSurrogate()) ||
            (QChar::isLowSurrogate(c) && i > 0 && value.at(i - 1).isHighSurrogate());
        const bool raw = c >= 0x20 && c != 0x7F && (!QChar::isSurrogate(c) || pairedSurrogate);
        if (c == '"') {
            spelled += QLatin1String("\\\"");
        } else if (c == '\\') {
            spelled += QLatin1String("\\\\");
        } else if (c == '\n') {
            spelled += QLatin1String("\\n");
        } else if (c == '\r') {
            spelled += QLatin1String("\\r");
        } else if (c == '\t') {
            spelled += QLatin1String("\\t");
        } else if (!raw || (escapeHexDigits && isHexDigit(c))) {
            // A \x escape swallows every hex digit after it, so digits that follow one are
            // escaped as well.
            spelled += QLatin1String("\\x") + QString::number(c, 16);
            escapeHexDigits = true;
            continue;
        } else {
            if (c == ',' || c == ';' || c == '=')
                quote = true;
            spelled += QChar(c);
        }
        escapeHexDigits = false;
    }
    if (quote)
        spelled = QLatin1Char('"') + spelled + QLatin1Char('"');
    return spelled.toUtf8();
}

std::optional<QString> iniValue(const QByteArray& content, const QString& section,
                                const QString& key) {
    std::optional<QString> found;
    for (const IniLine& line : parseIni(content, section)) {
        // As with a repeated key in any ini file, the last one counts.
        if (isEntryOf(line, key))
            found = line.value;
    }
    return found;
}

// Only the lines of the key change: the first of them keeps its spelling and takes the value,
// any other spelling of the same key goes (it would otherwise be a second entry for one setting),
// and everything else stays byte for byte.
QByteArray iniWithValue(const QByteArray& content, const QString& section, const QString& key,
                        const QString& value) {
    QList<IniLine> lines = parseIni(content, section);
    const QByteArray lineEnd = lineEndOf(lines);
    const QByteArray encodedValue = iniEncodedValue(value);

    qsizetype first = -1;
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (!isEntryOf(lines.at(i), key))
            continue;
        if (first >= 0)
            lines.removeAt(first);
        first = i;
    }
    if (first >= 0) {
        IniLine& line = lines[first];
        line.text = line.text.left(line.valueStart) + encodedValue;
    } else {
        IniLine entry;
        entry.text = iniEncodedKey(key) + '=' + encodedValue;
        entry.end = lineEnd;
        qsizetype after = -1;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines.at(i).inSection && (lines.at(i).kind == IniLine::Kind::Entry || after < 0))
                after = i;
        }
        if (after >= 0) {
            ensureLineEnd(lines[after], lineEnd);
            lines.insert(after + 1, entry);
        } else {
            if (!lines.isEmpty()) {
                ensureLineEnd(lines.last(), lineEnd);
                if (!lines.last().text.trimmed().isEmpty()) {
                    IniLine blank;
                    blank.end = lineEnd;
                    lines.append(blank);
                }
            }
            IniLine header;
            header.text = '[' + iniEncodedKey(section) + ']';
            header.end = lineEnd;
            lines.append(header);
            lines.append(entry);
        }
    }

    QByteArray result;
    result.reserve(content.size() + encodedValue.size() + key.size() * 3 + section.size() * 3 + 8);
    for (const IniLine& line : lines)
        result += line.text + line.end;
    return result;
}

namespace {

// The display reads the alignment for every line of every tick. The file is still read each
// time, so every change is seen at once, but the same bytes are not parsed again: the answer for
// a key is kept with the exact content it came from.
std::optional<QString> cachedIniValue(const QByteArray& content, const QString& key) {
    static QByteArray cachedContent;
    static QHash<QString, std::optional<QString>> answers;
    if (content != cachedContent || cachedContent.isNull()) {
        cachedContent = content;
        cachedContent.detach();
        answers.clear();
    }
    const QString folded = key.toCaseFolded();
    auto it = answers.constFind(folded);
    if (it == answers.constEnd())
        it = answers.insert(folded, iniValue(content, kSection, key));
    return *it;
}

class IniFileBackend : public SettingsBackend {
public:
    explicit IniFileBackend(QString path) : m_path(std::move(path)) {}

    std::optional<QString> read(const QString& key) const override {
        try {
            const std::optional<QByteArray> content = readStoreFile(m_path);
            if (!content)
                return std::nullopt;
            return cachedIniValue(*content, key);
        } catch (const AppError&) {
            return std::nullopt;
        }
    }

    void write(const QString& key, const QString& value) override {
        const std::optional<QByteArray> content = readStoreFile(m_path);
        const QByteArray updated =
            iniWithValue(content.value_or(QByteArray()), kSection, key, value);
        // Filling a window writes back every value it read; an unchanged file is already on disk.
        if (content && updated == *content)
            return;
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        writeStoreFileAtomically(m_path, updated);
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

QString& testFile() {
    static QString path;
    return path;
}

// Made afresh for every call: the store holds no state, so nothing can go stale.
std::unique_ptr<detail::SettingsBackend> store() {
    if (!testFile().isEmpty())
        return detail::iniFileSettingsBackend(testFile());
    return detail::platformSettingsBackend();
}

} // namespace

QString GetSetting(const QString& key, const QString& defaultText) {
    if (key.isEmpty())
        return defaultText;
    return store()->read(key).value_or(defaultText);
}

QString GetSetting(const QString& key, const char* defaultText) {
    return GetSetting(key, QString::fromUtf8(defaultText));
}

QString GetSetting(const QString& key, qint64 defaultNumber) {
    return GetSetting(key, QString::number(defaultNumber));
}

void SaveSetting(const QString& key, const QString& value) {
    if (key.isEmpty())
        throw AppError(QStringLiteral("Invalid procedure call or argument"));
    store()->write(key, value);
}

QString settingsLocation() {
    return store()->location();
}

void setSettingsFileForTesting(const QString& path) {
    testFile() = path;
}

} // namespace nimbrel
