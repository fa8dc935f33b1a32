#include "search/searchfolders.h"

#include "platform/anchored.h"
#include "results/keep.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace kormial {

std::string SearchFolderOf(const SearchEntry& entry)
{
    const std::string& f = entry.folder;
    return platform::folderWithoutLinks(f.empty() || f.back() != '/' ? f + '/' : f);
}

std::vector<UnreachableFolder> UnreachableFolders(const SearchRequest& request)
{
    std::vector<UnreachableFolder> out;
    for (std::size_t i = 0; i < request.entries.size(); ++i) {
        const std::string& given = request.entries[i].folder;
        platform::Folder folder;
        platform::Error err;
        if (!folder.openFromRoot(SearchFolderOf(request.entries[i]), &err)) {
            const bool slash = given.size() > 1 && given.back() == '/';
            out.push_back({i, slash ? given.substr(0, given.size() - 1) : given, err});
        }
    }
    return out;
}

ResultRow WalkFailureRow(const WalkFailure& failure)
{
    ResultRow row;
    row.folder = failure.in;
    row.name = failure.name;
    row.size = 0;
    row.group = kReadError;
    row.state = {failure.id, 0, failure.mtimeNs, 0};
    if (failure.dated) {
        // to the second, rounded down (also before 1970)
        constexpr std::int64_t kNs = 1000000000;
        row.mtime = failure.mtimeNs / kNs - (failure.mtimeNs % kNs < 0 ? 1 : 0);
    }
    return row;
}

std::string WalkFailureText(const WalkFailure& failure)
{
    return failure.in->path + failure.name + ": " + failure.error.describe();
}

void MarkKeepFolders(const SearchRequest& request, FileArray& files)
{
    std::vector<const SearchedFolder*> folders;
    std::unordered_set<const SearchedFolder*> seen;
    for (const FileRec& r : files) {
        if (r.Folder && seen.insert(r.Folder.get()).second) {
            folders.push_back(r.Folder.get());
        }
    }
    std::unordered_map<const SearchedFolder*, FolderPath> kept;
    for (const SearchedFolder* f : KeptFolders(folders, request.entries)) {
        kept[f] = std::make_shared<const SearchedFolder>(SearchedFolder{f->path, f->id, true});
    }
    for (FileRec& r : files) {
        if (const auto it = kept.find(r.Folder.get()); it != kept.end()) {
            r.Folder = it->second;
        }
    }
}

}  // namespace kormial
