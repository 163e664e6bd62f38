#include "displaysettings.h"

#include "apperror.h"
#include "colours.h"
#include "guard.h"
#include "settingschoices.h"
#include "settingsschema.h"
#include "weatherrequest.h"

#include <QFont>
#include <QWidget>

namespace nimbrel {

namespace {

// Far beyond any screen; the font command stops at 250 anyway.
constexpr qint16 kLargestFontSize = 2048;

// The detail boxes as they stand. Should the settings window offer none, every line is left out.
DetailChoices detailChoices() {
    const SettingsChoices* settings = settingsChoices();
    const auto chosen = [settings](SettingsChoices::Detail detail) {
        return settings != nullptr && settings->detailChosen(detail);
    };
    DetailChoices details;
    details.location = chosen(SettingsChoices::Detail::Location);
    details.current = chosen(SettingsChoices::Detail::Current);
    details.summary = chosen(SettingsChoices::Detail::Summary);
    details.high = chosen(SettingsChoices::Detail::High);
    details.low = chosen(SettingsChoices::Detail::Low);
    return details;
}

} // namespace

WeatherQuery queryFor(const DisplayRequest& request) {
    WeatherQuery query;
    query.baseUrl = serviceBaseUrl();
    query.location = request.location;
    query.tempType = request.unit;
    query.details = detailChoices();
    return query;
}

void applyStoredFont(Guard& g, int line, QWidget* target) {
    const auto change = [&](const auto& edit) {
        g(line, [&] {
            QFont font = target->font();
            edit(font);
            target->setFont(font);
        });
    };
    using settings::Key;
    constexpr auto user = settings::User::Display;
    change([](QFont& f) { f.setFamily(settings::text(Key::FontName, user)); });
    change([](QFont& f) { f.setBold(settings::boolean(Key::FontBold, user)); });
    change([](QFont& f) { f.setItalic(settings::boolean(Key::FontItalic, user)); });
    change([](QFont& f) {
        const qint16 size = settings::whole(Key::FontSize, user);
        if (size <= 0 || size > kLargestFontSize)
            throw AppError::invalidPropertyValue();
        f.setPointSize(size);
    });
    change([](QFont& f) { f.setStrikeOut(settings::boolean(Key::FontStrikeThru, user)); });
    change([](QFont& f) { f.setUnderline(settings::boolean(Key::FontUnderLine, user)); });
}

QString storedKey() {
    return settings::text(settings::Key::APIKey, settings::User::Display);
}

QColor storedColour(settings::Key key, settings::User user) {
    return colourFromNumber(settings::colour(key, user));
}

QStringList linesWithoutReply(Guard& g, const WeatherQuery& query) {
    QString key;
    g(108, [&] { key = storedKey(); });
    return weatherLines(CurrentReply{},
                        LineChoices{!key.isEmpty(), query.tempType, query.details, {}, {}});
}

} // namespace nimbrel
