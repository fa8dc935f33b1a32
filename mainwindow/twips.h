// Design geometry is written in twips; 15 twips make one logical pixel.
#pragma once

#include <QRect>
#include <QWidget>

#include <algorithm>
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

// A label or check box keeps its design box, widened to show its whole text
// as far as `limit` (the left edge of whatever follows it).
inline void fitText(QWidget* w, int limit)
{
    const int need = w->sizeHint().width();
    if (need > w->width()) {
        w->resize(std::max(w->width(), std::min(need, limit - w->x())), w->height());
    }
}

// A control with the name the window knows it by.
template <typename W>
W* named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

}  // namespace kormial
