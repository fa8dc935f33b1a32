#include "platform/textfold.h"

#include <algorithm>
#include <iterator>

namespace kormial::platform {

char32_t nextCodePoint(std::string_view s, std::size_t& pos)
{
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1; cp = b0 & 0x1F; minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2; cp = b0 & 0x0F; minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3; cp = b0 & 0x07; minimum = 0x10000;
    } else {
        ++pos;
        return 0x110000 + b0;
    }
    if (s.size() - pos <= static_cast<std::size_t>(extra)) {
        ++pos;
        return 0x110000 + b0;
    }
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + static_cast<std::size_t>(i)]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return 0x110000 + b0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return 0x110000 + b0;
    }
    pos += static_cast<std::size_t>(extra) + 1;
    return cp;
}

char32_t foldCase(char32_t c)
{
    if (c < 0x80) {
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    }
    if (c > 0x10FFFF) {
        return c;
    }
    struct Fold {
        char32_t from;
        char32_t to;
    };
    static constexpr Fold kFolds[] = {
#include "platform/casefold_table.inc"
    };
    const auto* it = std::lower_bound(std::begin(kFolds), std::end(kFolds), c,
                                      [](const Fold& f, char32_t v) { return f.from < v; });
    return (it != std::end(kFolds) && it->from == c) ? it->to : c;
}

int compareFolded(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        char32_t fa;
        char32_t fb;
        if (ca < 0x80 && cb < 0x80) {
            fa = (ca >= 'A' && ca <= 'Z') ? ca + 32u : ca;
            fb = (cb >= 'A' && cb <= 'Z') ? cb + 32u : cb;
            ++i;
            ++j;
        } else {
            fa = foldCase(nextCodePoint(a, i));
            fb = foldCase(nextCodePoint(b, j));
        }
        if (fa != fb) {
            return fa < fb ? -1 : 1;
        }
    }
    if (i < a.size()) {
        return 1;
    }
    if (j < b.size()) {
        return -1;
    }
    return 0;
}

bool isValidUtf8(std::string_view s)
{
    std::size_t pos = 0;
    while (pos < s.size()) {
        if (nextCodePoint(s, pos) > 0x10FFFF) {
            return false;
        }
    }
    return true;
}

}  // namespace kormial::platform
