#include "burninwalk.h"

#include <cmath>
#include <numbers>

namespace nimbrel {

namespace {

// Moves to a round of the walk: eight hours, short enough to be back in the middle a few times a
// day, long enough that a 4K screen's steps stay within three pixels.
constexpr qint64 kRound = 96;

} // namespace

QPoint burnInOffset(qint64 moves, const QSize& size) {
    // A figure of eight, across and back once while up and down twice: it passes through the
    // middle twice a round, and its steps are smooth, so the text never jumps.
    const QPoint reach = burnInReach(size);
    const qint64 step = (moves % kRound + kRound) % kRound;
    const double turn = 2 * std::numbers::pi * double(step) / double(kRound);
    return {int(std::lround(reach.x() * std::sin(turn))),
            int(std::lround(reach.y() * std::sin(2 * turn)))};
}

QPoint burnInReach(const QSize& size) {
    return {qMax(0, size.width() / 100), qMax(0, size.height() / 100)};
}

} // namespace nimbrel
