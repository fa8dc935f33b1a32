#include "results/keep.h"

#include "platform/anchored.h"
#include "search/searchfolders.h"

#include <algorithm>
#include <string>
#include <unordered_map>

namespace kormial {

std::unordered_set<const SearchedFolder*> KeptFolders(const std::vector<const SearchedFolder*>& folders,
                                                      const std::vector<SearchEntry>& entries)
{
    struct Reach {
        std::string path;  // ending in "/"
        bool below;        // the folders below it too
    };
    std::vector<Reach> reach;
    for (const SearchEntry& e : entries) {
        if (!e.keep || e.folder.empty()) {
            continue;
        }
        const std::string folder = SearchFolderOf(e);
        reach.push_back({folder, e.subFolders});
        platform::Folder top;
        if (!top.openUnlisted(folder)) {
            continue;
        }
        // the same folder under the spelling of another entry
        for (const SearchedFolder* f : folders) {
            if (f->id == top.identity() && f->path != folder) {
                reach.push_back({f->path, e.subFolders});
            }
        }
    }
    std::unordered_set<const SearchedFolder*> kept;
    for (const SearchedFolder* f : folders) {
        if (std::any_of(reach.begin(), reach.end(), [&](const Reach& r) {
                return f->path == r.path || (r.below && f->path.starts_with(r.path));
            })) {
            kept.insert(f);
        }
    }
    return kept;
}

void ApplyKeep(ResultList* lists, const std::vector<SearchEntry>& entries)
{
    std::vector<const SearchedFolder*> folders;
    std::unordered_set<const SearchedFolder*> seen;
    for (int l = 0; l < kResultListCount; ++l) {
        for (const ResultRow& r : lists[l].rows()) {
            if (r.folder && seen.insert(r.folder.get()).second) {
                folders.push_back(r.folder.get());
            }
        }
    }
    const std::unordered_set<const SearchedFolder*> kept = KeptFolders(folders, entries);
    for (int l = 0; l < kResultListCount; ++l) {
        for (std::int64_t i = 0; i < lists[l].count(); ++i) {
            const ResultRow& r = lists[l].row(i);
            lists[l].setReference(i, r.savedReference || kept.contains(r.folder.get()));
        }
    }
}

void KeepLoaded(ResultList* lists, const std::vector<SearchEntry>& entries)
{
    for (int l = 0; l < kResultListCount; ++l) {
        lists[l].holdSavedReferences();
    }
    ApplyKeep(lists, entries);
}

}  // namespace kormial
