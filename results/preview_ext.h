// Which files the preview shows: picture extensions, told by name only.
#pragma once

#include <string>
#include <string_view>

namespace kormial {

// The text after the last "." of `path` when that dot stands after the last
// "/", else the empty text: "photo.JPG" gives "JPG", "docs.old/readme" "".
std::string GetFileExt(std::string_view path);

// True when the extension of `Path` is, case ignored, one of jpeg, jpg, gif,
// bmp, ico, rle, cur, wmf, emf.
bool IsPicExt(std::string_view Path);

}  // namespace kormial
