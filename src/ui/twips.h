#pragma once

#include <QRect>

namespace pressbird {

inline constexpr int kTwipsPerPixel = 15;

// Positions are written in twips, 15 to a pixel at 96 dots per inch.
constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
}

} // namespace pressbird
