#include "catalogue/paths.h"

namespace kormial {

std::string_view namePart(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string GetFileNamePart(std::string_view path)
{
    return std::string(namePart(path));
}

std::string GetFolderPart(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

}  // namespace kormial
