#include "catalogue/exclusions.h"

#include "platform/fs.h"

namespace kormial {

Exclusions::Exclusions(const std::vector<std::string>& patterns)
{
    for (std::string p : patterns) {
        Pattern pattern;
        pattern.foldersOnly = p.ends_with('/');
        if (pattern.foldersOnly) {
            p.pop_back();
        }
        const bool path = p.find('/') != std::string::npos;
        if (p.starts_with('/')) {
            p.erase(0, 1);
        }
        if (p.empty()) {
            continue;
        }
        pattern.text = std::move(p);
        (path ? paths_ : names_).push_back(std::move(pattern));
    }
}

bool Exclusions::leavesOut(std::string_view folder, std::string_view name, bool isFolder) const
{
    for (const Pattern& p : names_) {
        if ((isFolder || !p.foldersOnly) && platform::wildcardMatch(p.text, name)) {
            return true;
        }
    }
    if (paths_.empty()) {
        return false;
    }
    std::string path(folder);
    path += name;
    for (const Pattern& p : paths_) {
        if ((isFolder || !p.foldersOnly) && platform::wildcardMatch(p.text, path)) {
            return true;
        }
    }
    return false;
}

}  // namespace kormial
