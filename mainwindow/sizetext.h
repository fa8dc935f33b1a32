// The size fields: whole KB as typed by the user.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kormial {

// Converts a size text to a signed 32-bit whole number. Spaces around it are
// allowed, and a sign; with `allowFraction` a decimal fraction is rounded to
// the nearest whole number, exact halves to the even neighbour. Nothing when
// the text is not a number or lies outside the signed 32-bit range.
std::optional<std::int32_t> ConvertSizeText(std::string_view text, bool allowFraction = true);

// The bound a size field gives the search: -1 (no bound) for an empty text.
std::optional<std::int32_t> SizeBound(std::string_view text, bool allowFraction = true);

}  // namespace kormial
