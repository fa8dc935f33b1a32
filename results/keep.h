// Keep folders: the files found under a path-list row ticked Keep (or given
// to kormial-cli with --keep) are reference copies, never marked and never
// moved. The rule is one for the search, for the lists shown when a Keep
// box changes, and for a loaded result.
#pragma once

#include "catalogue/filerec.h"
#include "results/resultlist.h"
#include "search/searchrequest.h"

#include <unordered_set>
#include <vector>

namespace kormial {

// The folders among `folders` that the Keep entries of `entries` cover: the
// folder of a Keep entry, found by its path (without links) or by its device
// and inode (another entry reached it under another spelling), and, when
// the entry searches sub-folders, every folder below it.
std::unordered_set<const SearchedFolder*> KeptFolders(const std::vector<const SearchedFolder*>& folders,
                                                      const std::vector<SearchEntry>& entries);

// Every row of the kResultListCount lists becomes a reference copy exactly
// when its folder is covered by a Keep entry of `entries` or it was saved as
// one; a row that becomes one loses its mark.
void ApplyKeep(ResultList* lists, const std::vector<SearchEntry>& entries);

// A result just loaded: the rows it saved as reference copies stay ones
// whatever the Keep entries say, and the Keep entries of `entries` apply.
void KeepLoaded(ResultList* lists, const std::vector<SearchEntry>& entries);

}  // namespace kormial
