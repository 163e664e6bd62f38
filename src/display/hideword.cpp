#include "hideword.h"

#include <Qt>

#include <array>

namespace nimbrel {

namespace {

struct HideLetter {
    int key;
    int line;
};
constexpr std::array<HideLetter, 4> kHideWord{
    {{Qt::Key_H, 104}, {Qt::Key_I, 106}, {Qt::Key_D, 108}, {Qt::Key_E, 110}}};

// The key's place in the word, or -1 when it is none of its letters.
int placeInWord(int key) {
    for (std::size_t i = 0; i < kHideWord.size(); ++i) {
        if (kHideWord[i].key == key)
            return int(i);
    }
    return -1;
}

} // namespace

int HideWord::lineOf(int key) {
    const int place = placeInWord(key);
    return place < 0 ? 0 : kHideWord[std::size_t(place)].line;
}

bool HideWord::type(int key) {
    const int place = placeInWord(key);
    const bool lastLetter = place == int(kHideWord.size()) - 1;
    if (place != m_typed) {
        // Any other letter out of turn starts the word again; the last one, typed early, leaves
        // what was typed so far as it is.
        if (!lastLetter)
            m_typed = 0;
        return false;
    }
    if (!lastLetter) {
        ++m_typed;
        return false;
    }
    m_typed = 0;
    return true;
}

} // namespace nimbrel
