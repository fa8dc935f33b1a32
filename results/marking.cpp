#include "results/marking.h"

#include "platform/textfold.h"

#include <cstdint>

namespace kormial {

int MarkKeyColumn(int curTab)
{
    return curTab == kListSameName ? kColName : kColGroup;
}

bool SameMarkGroup(int curTab, const ResultRow& a, const ResultRow& b)
{
    if (curTab == kListSameName) {
        return platform::equalFolded(a.name, b.name);
    }
    return a.group == b.group;
}

void Marks(ResultList& list, bool isAllMarks)
{
    for (std::int64_t i = 0; i < list.count(); ++i) {
        list.setChecked(i, isAllMarks && !list.row(i).reference);
    }
}

void MarkDel(ResultList& list, int curTab, bool MarkOld, std::string_view CompType)
{
    const int key = MarkKeyColumn(curTab);
    if (list.count() == 0) {
        return;
    }
    Marks(list, false);
    SortResultList(list, key + 1, 0);

    const bool byDate = CompType == "Date";
    const std::int64_t n = list.count();
    for (std::int64_t i = 1; i < n; ++i) {
        const ResultRow& cur = list.row(i);
        const ResultRow& prev = list.row(i - 1);
        if (!SameMarkGroup(curTab, cur, prev)) {
            continue;
        }
        // by date: row i is not newer than row i - 1 (to the second, as
        // shown); by size: row i is not smaller than row i - 1
        const bool c = byDate ? cur.mtime <= prev.mtime : cur.size >= prev.size;
        const std::int64_t marked = c == MarkOld ? i : i - 1;
        if (!list.row(marked).reference) {
            list.setChecked(marked, true);
        }
    }
}

void MarkAllButOne(ResultList& list, int curTab, Keep keep)
{
    Marks(list, false);
    SortResultList(list, MarkKeyColumn(curTab) + 1, 0);
    const std::int64_t n = list.count();
    for (std::int64_t first = 0, end = 0; first < n; first = end) {
        std::int64_t kept = first;
        bool reference = list.row(first).reference;
        for (end = first + 1; end < n && SameMarkGroup(curTab, list.row(end), list.row(first)); ++end) {
            const std::int64_t t = list.row(end).state.mtimeNs;
            const std::int64_t best = list.row(kept).state.mtimeNs;
            if ((keep == Keep::Newest && t > best) || (keep == Keep::Oldest && t < best)) {
                kept = end;
            }
            reference = reference || list.row(end).reference;
        }
        for (std::int64_t i = first; i < end; ++i) {
            const ResultRow& r = list.row(i);
            list.setChecked(i, reference ? !r.reference : i != kept);
        }
    }
}

}  // namespace kormial
