// The names and paths a search leaves out: a file left out is never
// catalogued, and a folder left out is never entered.
#pragma once

#include "platform/fs.h"

#include <string>
#include <string_view>
#include <vector>

namespace kormial {

class Exclusions {
public:
    Exclusions() = default;
    // Each pattern takes the wildcards of the file-type pattern (case
    // ignored, "*" any run of characters, "/" too, "?" one character).
    // Without "/" it is matched against the name of every file and folder;
    // with "/" against the path below the search folder ("src/build",
    // "src/main.c"), a "/" at its start ignored. A pattern ending in "/"
    // leaves out folders only. Empty patterns leave out nothing.
    explicit Exclusions(const std::vector<std::string>& patterns);

    bool empty() const { return names_.empty() && paths_.empty(); }
    // True when entry `name` of the folder at `folder` (below the search
    // folder: "" or ending in "/") is left out.
    bool leavesOut(std::string_view folder, std::string_view name, bool isFolder) const;

private:
    struct Pattern {
        platform::WildcardPattern wildcard;
        bool foldersOnly = false;
    };
    // True when one of `patterns` that applies matches `text`, folded once.
    static bool anyMatches(const std::vector<Pattern>& patterns, std::string_view text, bool isFolder);
    std::vector<Pattern> names_;
    std::vector<Pattern> paths_;
};

}  // namespace kormial
