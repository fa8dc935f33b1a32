// Sizes in the units of a widget's font, so that the window grows with the
// font and the screen; and the object names the window's parts go by.
#pragma once

#include <QFontMetrics>
#include <QWidget>

#include <cmath>

namespace kormial {

// `n` average characters of `w`'s font, in logical pixels.
inline int chars(const QWidget* w, double n)
{
    return static_cast<int>(std::lround(n * w->fontMetrics().averageCharWidth()));
}

// `n` text lines of `w`'s font, in logical pixels.
inline int lines(const QWidget* w, double n)
{
    return static_cast<int>(std::lround(n * w->fontMetrics().height()));
}

// A control with the name the window knows it by.
template <typename W>
W* named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

}  // namespace kormial
