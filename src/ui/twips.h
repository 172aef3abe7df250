#pragma once

#include <QRect>

namespace pressbird {

inline constexpr int kTwipsPerPixel = 15;

// Design positions are kept in twips, as the layout tables give them.
constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
}

} // namespace pressbird
