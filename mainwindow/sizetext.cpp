#include "mainwindow/sizetext.h"

#include <limits>

namespace kormial {

std::optional<std::int32_t> ConvertSizeText(std::string_view text, bool allowFraction)
{
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) {
        ++b;
    }
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) {
        --e;
    }
    if (b == e) {
        return std::nullopt;
    }
    bool negative = false;
    if (text[b] == '+' || text[b] == '-') {
        negative = text[b] == '-';
        ++b;
    }
    // whole part, kept below a bound well outside the 32-bit range
    constexpr std::int64_t kCap = std::int64_t{1} << 40;
    std::int64_t whole = 0;
    std::size_t digits = 0;
    while (b < e && text[b] >= '0' && text[b] <= '9') {
        whole = std::min(kCap, whole * 10 + (text[b] - '0'));
        ++b;
        ++digits;
    }
    std::size_t fracDigits = 0;
    int firstFrac = -1;
    bool restNonZero = false;
    if (b < e && text[b] == '.') {
        if (!allowFraction) {
            return std::nullopt;
        }
        ++b;
        while (b < e && text[b] >= '0' && text[b] <= '9') {
            if (fracDigits == 0) {
                firstFrac = text[b] - '0';
            } else if (text[b] != '0') {
                restNonZero = true;
            }
            ++b;
            ++fracDigits;
        }
    }
    if (b != e || digits + fracDigits == 0) {
        return std::nullopt;
    }
    if (firstFrac > 5 || (firstFrac == 5 && (restNonZero || whole % 2 != 0))) {
        ++whole;
    }
    const std::int64_t value = negative ? -whole : whole;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> SizeBound(std::string_view text, bool allowFraction)
{
    if (text.empty()) {
        return -1;
    }
    return ConvertSizeText(text, allowFraction);
}

}  // namespace kormial
