// Qt's raster engine hands a fill or copy of more than about 96 spans (a line of
// each rectangle a paint is clipped to) to its thread pool and waits for it: two
// thread wake-ups a slice, more than the work itself. Tall pictures are therefore
// drawn or copied a band of at most 64 lines at a time, each clipped to one
// rectangle.
#pragma once

#include <QRect>
#include <algorithm>

namespace tally {

template <typename Draw>
void InBands(const QRect& area, Draw draw) {
    constexpr int kBand = 64;
    for (int top = area.top(); top <= area.bottom(); top += kBand)
        draw(QRect(area.left(), top, area.width(), std::min(kBand, area.bottom() + 1 - top)));
}

}  // namespace tally
