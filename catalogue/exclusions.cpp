#include "catalogue/exclusions.h"

#include "platform/fs.h"

namespace kormial {

Exclusions::Exclusions(const std::vector<std::string>& patterns)
{
    for (std::string p : patterns) {
        const bool foldersOnly = p.ends_with('/');
        if (foldersOnly) {
            p.pop_back();
        }
        const bool path = p.find('/') != std::string::npos;
        if (p.starts_with('/')) {
            p.erase(0, 1);
        }
        if (p.empty()) {
            continue;
        }
        (path ? paths_ : names_).push_back({platform::WildcardPattern(p), foldersOnly});
    }
}

bool Exclusions::anyMatches(const std::vector<Pattern>& patterns, std::string_view text, bool isFolder)
{
    std::u32string folded;
    for (const Pattern& p : patterns) {
        if (isFolder || !p.foldersOnly) {
            if (folded.empty()) {
                folded = platform::WildcardPattern::foldedText(text);
            }
            if (p.wildcard.matchesFolded(folded)) {
                return true;
            }
        }
    }
    return false;
}

bool Exclusions::leavesOut(std::string_view folder, std::string_view name, bool isFolder) const
{
    if (anyMatches(names_, name, isFolder)) {
        return true;
    }
    if (paths_.empty()) {
        return false;
    }
    std::string path(folder);
    path += name;
    return anyMatches(paths_, path, isFolder);
}

}  // namespace kormial
