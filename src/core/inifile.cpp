#include "inifile.h"

#include <QStringDecoder>
#include <cstring>
#include <utility>

namespace nimbrel {

namespace {

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

// Where the character is between from and to, or -1: never past the line asked about, so a
// long file of lines without it is not searched to its end for every line.
qsizetype findBetween(const QByteArray& content, char c, qsizetype from, qsizetype to) {
    const void* found = std::memchr(content.constData() + from, c, size_t(to - from));
    return found ? static_cast<const char*>(found) - content.constData() : -1;
}

qsizetype skipBlanks(const QByteArray& content, qsizetype pos, qsizetype end) {
    while (pos < end && isAsciiBlank(content.at(pos)))
        ++pos;
    return pos;
}

// Keys and values as QSettings spells them in an ini file.
QByteArray encodedKey(const QString& key) {
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

QByteArray encodedValue(const QString& value) {
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

} // namespace

IniFile::IniFile(QByteArray content, const QString& section)
    : m_content(std::move(content)), m_section(section) {
    const QByteArray& text = m_content;
    bool inSection = false;
    bool sawHeader = false;
    bool sawSectionHeader = false;
    // Entries before any header count as the section's when the file has no header of it: a
    // store that lost its header line (a truncated or hand-made file) still has our values.
    std::vector<Entry> headerless;
    Line last;
    for (qsizetype pos = 0; pos < text.size();) {
        const Line line = lineAt(pos);
        last = line;
        pos = line.next;
        qsizetype begin = line.start;
        if (line.start == 0 && text.startsWith("\xEF\xBB\xBF"))
            begin = 3;
        begin = skipBlanks(text, begin, line.textEnd);
        if (begin >= line.textEnd)
            continue;
        const char first = text.at(begin);
        if (first == ';' || first == '#')
            continue;
        if (first == '[') {
            // A header with damaged bytes still starts a group, so that the lines after it are
            // not taken for the section's own.
            qsizetype close = findBetween(text, ']', begin, line.textEnd);
            if (close < 0)
                close = line.textEnd;
            const QString name = decodeKey(
                QString::fromUtf8(text.constData() + begin + 1, close - begin - 1).trimmed());
            sawHeader = true;
            inSection = sameName(name, section);
            if (inSection) {
                if (!sawSectionHeader)
                    m_insertAfter = line;
                sawSectionHeader = true;
            }
            continue;
        }
        if (sawHeader && !inSection)
            continue;
        const qsizetype equals = findBetween(text, '=', begin, line.textEnd);
        if (equals < 0)
            continue;
        const std::optional<QString> key =
            strictUtf8(QByteArray::fromRawData(text.constData() + begin, equals - begin).trimmed());
        const qsizetype valueStart = skipBlanks(text, equals + 1, line.textEnd);
        qsizetype valueEnd = line.textEnd;
        while (valueEnd > valueStart && isAsciiBlank(text.at(valueEnd - 1)))
            --valueEnd;
        if (!key || key->isEmpty() ||
            !strictUtf8(
                QByteArray::fromRawData(text.constData() + valueStart, valueEnd - valueStart)))
            continue;
        const Entry entry{line, valueStart, valueEnd, decodeKey(*key).toCaseFolded()};
        (sawHeader ? m_entries : headerless).push_back(entry);
    }
    if (!sawSectionHeader)
        m_entries = std::move(headerless);
    if (!m_entries.empty())
        m_insertAfter = m_entries.back().line;
    m_last = last;
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        m_byKey[m_entries[i].key].push_back(i);
}

IniFile::Line IniFile::lineAt(qsizetype pos) const {
    const char* data = m_content.constData();
    const qsizetype size = m_content.size();
    const void* found = std::memchr(data + pos, '\n', size_t(size - pos));
    const qsizetype stop = found ? static_cast<const char*>(found) - data : size;
    Line line{pos, stop, found ? stop + 1 : size};
    if (line.textEnd > line.start && data[line.textEnd - 1] == '\r')
        --line.textEnd;
    return line;
}

// A stretch of the content, not copied.
QByteArray IniFile::untouched(qsizetype from, qsizetype to) const {
    return QByteArray::fromRawData(m_content.constData() + from, to - from);
}

QString IniFile::valueOf(const Entry& entry) const {
    return decodeValue(QString::fromUtf8(m_content.constData() + entry.valueStart,
                                         entry.valueEnd - entry.valueStart));
}

std::optional<QString> IniFile::value(const QString& key) const {
    const auto it = m_byKey.constFind(key.toCaseFolded());
    if (it == m_byKey.constEnd())
        return std::nullopt;
    // As with a repeated key in any ini file, the last one counts.
    return valueOf(m_entries[it->back()]);
}

QByteArray IniFile::lineEnd() const {
    for (qsizetype pos = 0; pos < m_content.size();) {
        const Line line = lineAt(pos);
        if (line.next > line.textEnd && m_content.at(line.next - 1) == '\n')
            return m_content.mid(line.textEnd, line.next - line.textEnd);
        pos = line.next;
    }
    return "\n";
}

// What a line needs at its end before another is put after it; a lone CR keeps its place.
QByteArray IniFile::endingFor(const Line& line, const QByteArray& lineEnd) const {
    if (line.next == line.textEnd)
        return lineEnd;
    if (m_content.at(line.next - 1) != '\n')
        return "\n";
    return {};
}

// Only the lines of the key change: the first of them keeps its spelling and takes the value,
// any other spelling of the same key goes (it would otherwise be a second entry for one setting),
// and everything else stays byte for byte.
std::optional<QList<QByteArray>> IniFile::withValue(const QString& key,
                                                    const QString& value) const {
    const QByteArray spelledValue = encodedValue(value);
    const auto it = m_byKey.constFind(key.toCaseFolded());
    QList<QByteArray> pieces;
    if (it != m_byKey.constEnd()) {
        const Entry& first = m_entries[it->front()];
        if (it->size() == 1 && untouched(first.valueStart, first.line.textEnd) == spelledValue)
            return std::nullopt;
        pieces << untouched(0, first.valueStart) << spelledValue;
        qsizetype copied = first.line.textEnd;
        for (std::size_t k = 1; k < it->size(); ++k) {
            const Line& gone = m_entries[(*it)[k]].line;
            pieces << untouched(copied, gone.start);
            copied = gone.next;
        }
        pieces << untouched(copied, m_content.size());
        return pieces;
    }

    const QByteArray end = lineEnd();
    const QByteArray entry = encodedKey(key) + '=' + spelledValue + end;
    if (m_insertAfter) {
        const qsizetype at = m_insertAfter->next;
        pieces << untouched(0, at) << endingFor(*m_insertAfter, end) << entry
               << untouched(at, m_content.size());
        return pieces;
    }
    pieces << m_content;
    if (!m_content.isEmpty()) {
        pieces << endingFor(m_last, end);
        if (!untouched(m_last.start, m_last.textEnd).trimmed().isEmpty())
            pieces << end;
    }
    pieces << '[' + encodedKey(m_section) + ']' + end << entry;
    return pieces;
}

} // namespace nimbrel
