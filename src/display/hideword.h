#pragma once

namespace nimbrel {

// The word "hide" typed on the display, letter by letter, in order.
class HideWord {
public:
    // The report line of the step for one of the word's letters (a Qt::Key), or 0 for any other
    // key.
    static int lineOf(int key);
    // One of the word's letters; true when it completes the word.
    bool type(int key);
    void reset() { m_typed = 0; }

private:
    int m_typed = 0;
};

} // namespace nimbrel
