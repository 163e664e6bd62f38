#pragma once

#include <QString>
#include <QTime>
#include <QtGlobal>
#include <array>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>

namespace nimbrel::settings {

// Every value the program keeps in the store. The windows name a value by this key, never by
// its spelling: the spelling and each reader's default live in the table below alone.
enum class Key {
    HideHint,
    ShowLocation,
    ShowCurrent,
    KeepAwake,
    ShowSummary,
    ShowHigh,
    ShowLow,
    Location,
    Fahrenheit,
    Celsius,
    Alignment,
    FontName,
    FontBold,
    FontItalic,
    FontSize,
    FontStrikeThru,
    FontUnderLine,
    FontColor,
    BackgroundColor,
    APIKey,
    // The wall's extra elements, all off until chosen.
    ShowTime,
    ShowDate,
    ShowDetails,
    ShowSymbol,
    Forecast,
    // What the display does at night, and whether its text walks a little against burn-in.
    NightMode,
    NightFrom,
    NightTo,
    MoveText,
};

// How the text of a value is to be read.
enum class Encoding {
    CheckState, // "0", "1" (or "2"): a 16-bit whole number
    OptionFlag, // "1" when this option button is the selected one: a real number compared with 1
    ListIndex,  // position in a list from 0: a 16-bit whole number
    Boolean,    // "True" or "False"; only the exact text "True" is true
    Colour,     // 0x00BBGGRR in decimal: a 32-bit whole number
    FontSize,   // points: a 16-bit whole number
    Text,       // used as it stands
};

// Who reads or writes a value. Most keys are read with one default by all their readers; a few
// have one user that deliberately differs, and the table says which.
enum class User {
    SettingsWindow,
    Display,
    // The display's "Press ESC To Exit" hint: green by default, unlike the weather text.
    ExitHint,
    FontCommand,
    ColourWindow,
    KeyWindow,
    OptionsWindow,
};

struct Exception {
    User user;
    std::u16string_view defaultText;
};

struct KeyEntry {
    Key key;
    std::u16string_view name;
    Encoding encoding;
    // Read by every user but the exception's with this default; the reset commands restore it.
    std::u16string_view defaultText;
    std::optional<Exception> exception = std::nullopt;
    // The font command writes a few keys under a spelling of its own. Keys match without regard
    // to case, so it is the same value, but a store that does not hold it yet takes the key under
    // the spelling of its first writer. The initializer keeps GCC's missing-initializer warning
    // quiet for the rows that leave it out.
    std::u16string_view fontCommandName = {}; // NOLINT(readability-redundant-member-init)
};

// clang-format off
inline constexpr std::array<KeyEntry, 29> kKeys{{
    {Key::HideHint,        u"Check1",           Encoding::CheckState, u"0"},
    {Key::ShowLocation,    u"Check2",           Encoding::CheckState, u"1"},
    {Key::ShowCurrent,     u"Check3",           Encoding::CheckState, u"1"},
    // The display turns keeping awake on when nothing is stored, and its loading stores that;
    // the settings window alone shows the box cleared until then.
    {Key::KeepAwake,       u"Check4",           Encoding::CheckState, u"1",
     Exception{User::SettingsWindow, u"0"}},
    {Key::ShowSummary,     u"Check5",           Encoding::CheckState, u"1"},
    {Key::ShowHigh,        u"Check6",           Encoding::CheckState, u"1"},
    {Key::ShowLow,         u"Check7",           Encoding::CheckState, u"1"},
    {Key::Location,        u"Text1",            Encoding::Text,       u"San Diego CA"},
    {Key::Fahrenheit,      u"Option1",          Encoding::OptionFlag, u"1"},
    {Key::Celsius,         u"Option2",          Encoding::OptionFlag, u"0"},
    {Key::Alignment,       u"Combo1",           Encoding::ListIndex,  u"1"},
    // The font dialog opens on a typewriter face the first time, while the display draws in
    // Arial until a face is chosen.
    {Key::FontName,        u"FontName",         Encoding::Text,       u"Arial",
     Exception{User::FontCommand, u"Courier New"}},
    {Key::FontBold,        u"FontBold",         Encoding::Boolean,    u"True"},
    {Key::FontItalic,      u"FontItalic",       Encoding::Boolean,    u"False"},
    {Key::FontSize,        u"FontSize",         Encoding::FontSize,   u"72"},
    {Key::FontStrikeThru,  u"FontStrikeThru",   Encoding::Boolean,    u"False", std::nullopt,
     u"FontStrikethru"},
    {Key::FontUnderLine,   u"FontUnderLine",    Encoding::Boolean,    u"False", std::nullopt,
     u"FontUnderline"},
    {Key::FontColor,       u"Font Color",       Encoding::Colour,     u"16777215",
     Exception{User::ExitHint, u"65280"}},
    {Key::BackgroundColor, u"Background Color", Encoding::Colour,     u"0"},
    {Key::APIKey,          u"APIKey",           Encoding::Text,       u""},
    {Key::ShowTime,        u"Show Time",        Encoding::CheckState, u"0"},
    {Key::ShowDate,        u"Show Date",        Encoding::CheckState, u"0"},
    {Key::ShowDetails,     u"Show Details",     Encoding::CheckState, u"0"},
    {Key::ShowSymbol,      u"Show Symbol",      Encoding::CheckState, u"0"},
    // 0 no forecast, 1 the next hours, 2 the next days.
    {Key::Forecast,        u"Forecast",         Encoding::ListIndex,  u"0"},
    // 0 keep showing, 1 dim, 2 screen off, from "Night From" to "Night To" (both "HH:mm").
    {Key::NightMode,       u"Night Mode",       Encoding::ListIndex,  u"0"},
    {Key::NightFrom,       u"Night From",       Encoding::Text,       u"23:00"},
    {Key::NightTo,         u"Night To",         Encoding::Text,       u"06:30"},
    {Key::MoveText,        u"Move Text",        Encoding::CheckState, u"0"},
}};
// clang-format on

constexpr const KeyEntry& entry(Key key) {
    return kKeys[static_cast<std::size_t>(key)];
}

// The spelling the user writes the key under, and the user's default when it is absent.
QString writtenName(Key key, User user);
QString defaultFor(Key key, User user);

// The stored text, or the user's default when the key is absent. The typed readers convert it
// as its encoding says and throw AppError for text that does not convert, so a bad value fails
// the reading step alone.
QString text(Key key, User user);
qint16 whole(Key key, User user); // check states, list index, font size
bool option(Key key, User user);
bool boolean(Key key, User user);
qint32 colour(Key key, User user);
// A time of day ("Night From", "Night To"), written "HH:mm"; other text throws AppError ("Type
// mismatch"). The default is converted the same way, for a control that starts at it.
QTime clockTime(Key key, User user);
QTime defaultClockTime(Key key, User user);
QString clockTimeText(const QTime& time);

// On disk before it returns; throws AppError when it is not.
void save(Key key, User user, const QString& value);
// Several keys in one save, so that a choice kept in two keys is never half stored.
void save(std::initializer_list<std::pair<Key, QString>> values, User user);
// For the change handlers of boxes, buttons and lists, which store on every click and keystroke
// inside Qt's signal delivery and have no procedure around them: nothing is thrown; a failure is
// reported under the handler's report name and line, once while it lasts (until a save goes
// through again), so a full disk costs one report, not one per keystroke. False when the values
// were not stored.
bool saveFromHandler(const QString& reportName, int line,
                     std::initializer_list<std::pair<Key, QString>> values, User user) noexcept;
// What a reset command writes: the value every user but the exception sees when nothing is stored.
void restoreDefault(Key key);

} // namespace nimbrel::settings
