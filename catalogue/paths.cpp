#include "catalogue/paths.h"

namespace kormial {

std::string GetFileNamePart(std::string_view path)
{
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string GetFolderPart(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string GetPathParts(std::string_view path, int parts)
{
    const auto slash = path.rfind('/');
    const std::size_t b = slash == std::string_view::npos ? 0 : slash + 1;  // 1-based position
    const auto dotPos = path.rfind('.');
    const std::size_t d = dotPos == std::string_view::npos ? 0 : dotPos + 1;
    const std::string_view folder = path.substr(0, b);
    std::string_view base;
    std::string_view ext;
    if (d == 0 || d <= b) {
        base = path.substr(b);
    } else {
        base = path.substr(b, d - 1 - b);
        ext = path.substr(d);
    }
    std::string out;
    if ((parts & kPartFolder) != 0) {
        out += folder;
    }
    if ((parts & kPartBase) != 0) {
        out += base;
    }
    if ((parts & kPartExt) != 0) {
        if (!out.empty()) {
            out += '.';
        }
        out += ext;
    }
    return out;
}

std::string EnsureSuffix(std::string_view text, std::string_view suffix)
{
    if (text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix) {
        return std::string(text);
    }
    return std::string(text) + std::string(suffix);
}

std::string TrimNull(std::string_view text)
{
    const auto nul = text.find('\0');
    return std::string(nul == std::string_view::npos ? text : text.substr(0, nul));
}

}  // namespace kormial
