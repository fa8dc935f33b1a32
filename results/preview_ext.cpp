#include "results/preview_ext.h"

namespace kormial {

namespace {

bool equalAsciiNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string GetFileExt(std::string_view path)
{
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return {};
    }
    return std::string(path.substr(dot + 1));
}

bool IsPicExt(std::string_view Path)
{
    static const std::string_view kPictureExts[] = {"jpeg", "jpg", "gif", "bmp", "ico",
                                                    "rle",  "cur", "wmf", "emf"};
    const std::string ext = GetFileExt(Path);
    if (ext.empty()) {
        return false;
    }
    for (const std::string_view known : kPictureExts) {
        if (equalAsciiNoCase(ext, known)) {
            return true;
        }
    }
    return false;
}

}  // namespace kormial
