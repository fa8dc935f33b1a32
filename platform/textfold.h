// Case-insensitive text handling for file names: Unicode simple case folding,
// then code points. Names are byte strings; bytes that are not valid UTF-8 are
// kept as themselves (mapped apart from every real character), so no name is
// ever lost or confused with another by folding.
#pragma once

#include <cstdint>
#include <string_view>

namespace kormial::platform {

// Decodes the next character of `s` from `pos`, advancing `pos`. An invalid
// byte b yields 0x110000 + b, which no real code point equals.
char32_t nextCodePoint(std::string_view s, std::size_t& pos);

// The simple case folding of one code point (invalid-byte values unchanged).
char32_t foldCase(char32_t c);

// -1, 0 or 1: `a` and `b` compared by folded code points.
int compareFolded(std::string_view a, std::string_view b);

inline bool equalFolded(std::string_view a, std::string_view b) { return compareFolded(a, b) == 0; }

bool isValidUtf8(std::string_view s);

}  // namespace kormial::platform
