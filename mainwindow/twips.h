// Design geometry is written in twips; 15 twips make one logical pixel.
#pragma once

#include <QRect>

#include <cmath>

namespace kormial {

constexpr double kTwipsPerPixel = 15.0;

// Logical pixels of a twips measure, the nearest whole number (halves to the
// even neighbour).
inline int tw(int twips)
{
    return static_cast<int>(std::nearbyint(twips / kTwipsPerPixel));
}

inline QRect twRect(int left, int top, int width, int height)
{
    return QRect(tw(left), tw(top), tw(width), tw(height));
}

}  // namespace kormial
