// Path routines used across the program. "/" separates folders and names.
#pragma once

#include <string>
#include <string_view>

namespace kormial {

// The text after the last "/", the whole path when it has none, and the
// empty text when it ends in "/".
std::string GetFileNamePart(std::string_view path);
// The text up to and including the last "/"; empty when it has none.
std::string GetFolderPart(std::string_view path);

// Bit set of GetPathParts.
enum PathParts : int { kPartBase = 1, kPartExt = 2, kPartFolder = 4 };
// Folder (4), base name (1) and extension (2) of `path`, joined in that order
// (a "." goes before the extension when something precedes it).
std::string GetPathParts(std::string_view path, int parts);

// `text` unchanged when it ends with `suffix`, else text + suffix.
std::string EnsureSuffix(std::string_view text, std::string_view suffix);
// The text before its first NUL character.
std::string TrimNull(std::string_view text);

}  // namespace kormial
