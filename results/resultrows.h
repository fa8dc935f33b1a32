// Turning file records into result rows.
#pragma once

#include "catalogue/filerec.h"
#include "results/resultlist.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kormial {

// The decimal text of `value` after as many spaces as make it 10 characters
// (longer numbers are written whole).
std::string PadNumber(std::int64_t value);

// Last-write time (UTC, seconds since 1970) of the regular file at `path`,
// or nothing when there is none to tell.
std::optional<std::int64_t> GetFileDate(const std::string& path);

// "yyyy/mm/dd hh:mm:ss" in UTC; no date gives "1899/12/30 00:00:00".
std::string FormatFileDate(std::optional<std::int64_t> utcSeconds);

// Appends the row of arrFiles[j] to `target`: name, folder, padded group,
// padded size and the date looked up on disk now.
void AddResultItem(ResultList& target, const FileArray& arrFiles, std::int64_t j);

// The full path a row stands for: its "In Folder" cell followed by its name.
std::string RowPath(const ResultRow& row);

}  // namespace kormial
