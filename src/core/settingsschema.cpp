#include "settingsschema.h"

#include "apperror.h"
#include "convert.h"
#include "guard.h"
#include "settings.h"

namespace nimbrel::settings {

namespace {

// The table is looked up by position.
consteval bool inKeyOrder() {
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        if (kKeys[i].key != static_cast<Key>(i))
            return false;
    }
    return true;
}
static_assert(inKeyOrder(), "kKeys must list the keys in the order of the enum");

QString fromView(std::u16string_view text) {
    return QStringView(text.data(), qsizetype(text.size())).toString();
}

// One spelling for writing and reading, so that the time the options window stores is the time
// the display goes by.
const QString kClockTimeFormat = QStringLiteral("HH:mm");

QTime toClockTime(const QString& text) {
    const QTime time = QTime::fromString(text, kClockTimeFormat);
    if (!time.isValid())
        throw AppError::typeMismatch();
    return time;
}

void expectEncoding([[maybe_unused]] Key key, [[maybe_unused]] Encoding encoding) {
    Q_ASSERT_X(entry(key).encoding == encoding, "settings", "read with the wrong encoding");
}

} // namespace

QString writtenName(Key key, User user) {
    const KeyEntry& s = entry(key);
    if (user == User::FontCommand && !s.fontCommandName.empty())
        return fromView(s.fontCommandName);
    return fromView(s.name);
}

QString defaultFor(Key key, User user) {
    const KeyEntry& s = entry(key);
    if (s.exception && s.exception->user == user)
        return fromView(s.exception->defaultText);
    return fromView(s.defaultText);
}

QString text(Key key, User user) {
    return readSetting(fromView(entry(key).name), defaultFor(key, user));
}

qint16 whole(Key key, User user) {
    Q_ASSERT_X(entry(key).encoding == Encoding::CheckState ||
                   entry(key).encoding == Encoding::ListIndex ||
                   entry(key).encoding == Encoding::FontSize,
               "settings", "read with the wrong encoding");
    return toInteger(text(key, user));
}

bool option(Key key, User user) {
    expectEncoding(key, Encoding::OptionFlag);
    return toDouble(text(key, user)) == 1;
}

bool boolean(Key key, User user) {
    expectEncoding(key, Encoding::Boolean);
    return isTrue(text(key, user));
}

qint32 colour(Key key, User user) {
    expectEncoding(key, Encoding::Colour);
    return toLong(text(key, user));
}

QTime clockTime(Key key, User user) {
    expectEncoding(key, Encoding::Text);
    return toClockTime(text(key, user));
}

QTime defaultClockTime(Key key, User user) {
    return toClockTime(defaultFor(key, user));
}

QString clockTimeText(const QTime& time) {
    return time.toString(kClockTimeFormat);
}

void save(Key key, User user, const QString& value) {
    save({{key, value}}, user);
}

void save(std::initializer_list<std::pair<Key, QString>> values, User user) {
    SettingChanges changes;
    QStringList shownWhenAbsent;
    for (const auto& [key, value] : values) {
        changes.append({writtenName(key, user), value});
        shownWhenAbsent.append(defaultFor(key, user));
    }
    saveSettings(changes, shownWhenAbsent);
}

bool saveFromHandler(const QString& reportName, int line,
                     std::initializer_list<std::pair<Key, QString>> values, User user) noexcept {
    Guard g(reportName);
    g.reportOnlyWhen(storeFailureIsNews);
    return g(line, [&] { save(values, user); });
}

void restoreDefault(Key key) {
    saveSetting(fromView(entry(key).name), fromView(entry(key).defaultText));
}

} // namespace nimbrel::settings
