#pragma once

#include <QPoint>
#include <QSize>
#include <QtGlobal>

namespace nimbrel {

// Where the band, the elements and the age line stand, as an offset from their place, after
// `moves` moves (one every five minutes) on a window of `size`: a slow walk of a few pixels a
// move, never further than 1% of the width and height from the middle, that comes back to it.
QPoint burnInOffset(qint64 moves, const QSize& size);
// How far the walk ever goes from the middle, across and up or down.
QPoint burnInReach(const QSize& size);

} // namespace nimbrel
