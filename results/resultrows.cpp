#include "results/resultrows.h"

#include "catalogue/paths.h"
#include "platform/fs.h"

#include <memory>

namespace kormial {

std::string PadNumber(std::int64_t value)
{
    std::string digits = std::to_string(value);
    if (digits.size() < 10) {
        digits.insert(0, 10 - digits.size(), ' ');
    }
    return digits;
}

std::string FormatFileDate(std::int64_t utcSeconds)
{
    return platform::utcDateTime(utcSeconds).value_or("1899/12/30 00:00:00");
}

std::string CellText(const ResultRow& row, int col)
{
    switch (col) {
    case kColName: return row.name;
    case kColFolder: return row.folder ? row.folder->path : std::string();
    case kColGroup: return PadNumber(row.group.number());
    case kColSize: return PadNumber(row.size);
    case kColDate: return FormatFileDate(row.mtime);
    default: return std::string();
    }
}

void AddResultItem(ResultList& target, const FileArray& arrFiles, std::int64_t j)
{
    const FileRec& r = arrFiles.at(static_cast<std::size_t>(j));
    ResultRow row;
    row.folder = r.Folder;
    row.name = r.Name;
    row.size = r.Size;
    row.group = r.Group;
    row.reference = r.Folder && r.Folder->keep;
    row.state = r.state();
    // A file that could not be sized has no time either. The time is shown
    // to the second, rounded down (also before 1970).
    if (r.Size >= 0) {
        constexpr std::int64_t kNs = 1000000000;
        row.mtime = r.MtimeNs / kNs - (r.MtimeNs % kNs < 0 ? 1 : 0);
    }
    target.add(std::move(row));
}

}  // namespace kormial
