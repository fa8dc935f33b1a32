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

// GetFileNamePart without a copy: a view into `path`.
std::string_view namePart(std::string_view path);

}  // namespace kormial
