// Turning file records into result rows, and rows into the texts shown.
#pragma once

#include "catalogue/filerec.h"
#include "results/resultlist.h"

#include <cstdint>
#include <string>

namespace kormial {

// The decimal text of `value` after as many spaces as make it 10 characters
// (longer numbers are written whole).
std::string PadNumber(std::int64_t value);

// "yyyy/mm/dd hh:mm:ss" in UTC; a time the calendar cannot hold gives
// "1899/12/30 00:00:00".
std::string FormatFileDate(std::int64_t utcSeconds);

// The text the window shows in column `col` of `row`: name, folder, padded
// "#", padded size, date, and nothing in the sixth.
std::string CellText(const ResultRow& row, int col);

// Appends the row of arrFiles[j] to `target`: its folder, name, size, group,
// last-write time and state as the search recorded them.
void AddResultItem(ResultList& target, const FileArray& arrFiles, std::int64_t j);

}  // namespace kormial
