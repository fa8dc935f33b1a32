// Marking rows of a result list for deletion: all of them, none, or one
// member of every neighbouring pair of a group (the older, newer, smaller or
// larger one), or all but one of each group. No rule marks a reference row
// (ResultRow::reference): it stays as the group's kept copy.
#pragma once

#include "results/resultlist.h"

#include <string_view>

namespace kormial {

// The column that decides group membership on the list of tab index
// `curTab` (0-4): the name (case ignored) on "Same Name", "#" elsewhere.
int MarkKeyColumn(int curTab);

// True when rows `a` and `b` of the list of tab `curTab` belong to one group:
// equal "#", or on "Same Name" names equal with case ignored.
bool SameMarkGroup(int curTab, const ResultRow& a, const ResultRow& b);

// Sets the mark of every row of `list` to `isAllMarks`; reference rows are
// never marked.
void Marks(ResultList& list, bool isAllMarks);

// Clears the marks of `list` (the list of tab `curTab`), sorts it by its key
// column (stable: rows of a group keep their order) and, for every pair of
// neighbouring rows of one group, marks one of the two:
//   CompType "Date": MarkOld true the older, false the newer;
//   any other CompType (the menu passes "Size"): MarkOld true the larger,
//   false the smaller.
// On equal dates or sizes MarkOld true marks the lower row of the pair, false the
// upper one. Dates compare to the second, as shown.
// An empty list is left alone.
void MarkDel(ResultList& list, int curTab, bool MarkOld, std::string_view CompType);

// Which member of each group stays unmarked: the first in the list's order
// (after the sort by its key column), the newest or the oldest (last write to
// the nanosecond; on a tie the first of them).
enum class Keep { First, Newest, Oldest };

// Clears the marks of `list`, sorts it by its key column as MarkDel does and
// marks every member of each group but the one that `keep` names; a group
// with a reference row keeps that one instead.
void MarkAllButOne(ResultList& list, int curTab, Keep keep);

}  // namespace kormial
