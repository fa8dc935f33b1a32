// What a result list holds, for the status bar: its groups and files, the
// bytes that deleting all but one copy of each group would free, and what is
// marked; sizes told for people.
#pragma once

#include "results/fileops.h"
#include "results/resultlist.h"

#include <cstdint>
#include <string>

namespace kormial {

struct ListStats {
    std::int64_t groups = 0;       // 0 on the lists without groups
    std::int64_t files = 0;
    std::int64_t reclaimable = 0;  // "Duplicates" only
};

// Groups are those of the marking rules: "#" on "Duplicates" and "Portions",
// the name (case ignored) on "Same Name". (The search lists a file under two
// names, hard links, only once, so every copy counts.)
ListStats StatsOf(const ResultList& list, int tab);

// "12.3 MB": bytes below 1 KB as they are, then KB, MB, GB and TB of 1024,
// with one decimal.
std::string PeopleSize(std::int64_t bytes);

// "3 groups, 7 files, 1.2 MB to free; 2 marked, 800 bytes": the parts that
// apply to the tab, the marks (CountMarked) when there are any; empty for an
// empty list.
std::string StatsText(const ListStats& stats, const MarkedTotal& marked, int tab);

}  // namespace kormial
