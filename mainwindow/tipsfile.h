// The tips file: one tip per line, read by the tip window.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kormial {

// The file's name; it lies in the program's folder.
inline constexpr const char* kTipsFileName = "TIPOFDAY.TXT";

// Splits the file's text into tips. CR, CR LF and LF each end a line and are
// not part of it; every line is a tip, empty ones included. A last line
// without a line end is a tip too, while the end of the text after a line
// end adds none: "a\r\n\r\nb" gives "a", "" and "b", "a\n" gives "a", and
// the empty text gives nothing.
std::vector<std::string> SplitTipLines(std::string_view text);

// Reads the tips from `path`. Nothing when the path is empty, when there is
// no regular file of that name, or when it cannot be read; an empty file
// gives an empty list.
std::optional<std::vector<std::string>> ReadTipsFile(const std::string& path);

// The text shown in place of a tip when the tips file is missing.
std::string MissingTipsText();

// The 1-based number of the tip drawn by `r`, a random value in [0, 1):
// the whole part of r * count + 1, kept within 1..count (1 for no tips).
int TipIndexFor(double r, int count);

}  // namespace kormial
