#include "results/resultrows.h"

#include "catalogue/paths.h"
#include "platform/fs.h"

#include <cstdio>
#include <ctime>

namespace kormial {

std::string PadNumber(std::int64_t value)
{
    std::string digits = std::to_string(value);
    if (digits.size() < 10) {
        digits.insert(0, 10 - digits.size(), ' ');
    }
    return digits;
}

std::optional<std::int64_t> GetFileDate(const std::string& path)
{
    // The path is used as it stands: names may begin or end with spaces.
    return platform::lastWriteUtc(path);
}

std::string FormatFileDate(std::optional<std::int64_t> utcSeconds)
{
    if (!utcSeconds) {
        return "1899/12/30 00:00:00";
    }
    const std::time_t t = static_cast<std::time_t>(*utcSeconds);
    std::tm tm {};
    if (::gmtime_r(&t, &tm) == nullptr) {
        return "1899/12/30 00:00:00";
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

void AddResultItem(ResultList& target, const FileArray& arrFiles, std::int64_t j)
{
    const FileRec& r = arrFiles.at(static_cast<std::size_t>(j));
    target.add(r.Name, {r.Folder ? *r.Folder : std::string(), PadNumber(r.Group), PadNumber(r.Size),
                        FormatFileDate(GetFileDate(r.path())), std::string()});
}

std::string RowPath(const ResultRow& row)
{
    return row.subItem(kColFolder) + row.text;
}

}  // namespace kormial
