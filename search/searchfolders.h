// The folders a search starts from: where each entry's walk begins, which
// ones cannot be searched at all, what the walk could not enter, and which
// folders hold reference copies.
#pragma once

#include "catalogue/colfiles.h"
#include "catalogue/filerec.h"
#include "platform/fs.h"
#include "results/resultlist.h"
#include "search/searchrequest.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kormial {

// The folder the walk of an entry starts at, ending in "/": by its path
// without links when one lies on the way, so that the review can reach its
// files from "/" without following a link.
std::string SearchFolderOf(const SearchEntry& entry);

// A search entry whose folder does not exist, is not a folder or cannot be
// opened: bad input, named before the search starts.
struct UnreachableFolder {
    std::size_t entry;   // its index in the request
    std::string folder;  // as given, without a "/" at its end
    platform::Error error;
};
std::vector<UnreachableFolder> UnreachableFolders(const SearchRequest& request);

// The row of "Report - read errors" for what the walk could not enter, and
// the line that tells of it ("/in/sub/: Permission denied").
ResultRow WalkFailureRow(const WalkFailure& failure);
std::string WalkFailureText(const WalkFailure& failure);

// The folders reached by a Keep entry say so, for the rows of their files.
// A folder reached by several entries is Keep when any of them is, also
// when another entry walked it first (under its own spelling).
void MarkKeepFolders(const SearchRequest& request, FileArray& files);

}  // namespace kormial
