#include "results/liststats.h"

#include "platform/textfold.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <unordered_map>
#include <vector>

namespace kormial {

namespace {

std::int64_t countGroupsByName(const ResultList& list)
{
    std::vector<std::size_t> order(list.rows().size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto& rows = list.rows();
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return platform::compareFolded(rows[a].name, rows[b].name) < 0;
    });
    std::int64_t groups = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i == 0 || !platform::equalFolded(rows[order[i]].name, rows[order[i - 1]].name)) {
            ++groups;
        }
    }
    return groups;
}

}  // namespace

ListStats StatsOf(const ResultList& list, int tab)
{
    ListStats s;
    s.files = list.count();
    if (tab == kListSameName) {
        s.groups = countGroupsByName(list);
    } else if (tab == kListDuplicates || tab == kListPortions) {
        // per group: the bytes of all its copies and of its largest one
        std::unordered_map<std::int64_t, std::pair<std::int64_t, std::int64_t>> groups;
        for (const ResultRow& r : list.rows()) {
            auto& [all, largest] = groups[r.group.number()];
            all += std::max<std::int64_t>(r.size, 0);
            largest = std::max(largest, r.size);
        }
        s.groups = static_cast<std::int64_t>(groups.size());
        if (tab == kListDuplicates) {
            for (const auto& [number, bytes] : groups) {
                s.reclaimable += bytes.first - bytes.second;
            }
        }
    }
    return s;
}

std::string PeopleSize(std::int64_t bytes)
{
    if (bytes < 1024) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    double v = static_cast<double>(bytes) / 1024;
    std::size_t u = 0;
    while (v >= 1023.95 && u + 1 < std::size(units)) {
        v /= 1024;
        ++u;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", v, units[u]);
    return text;
}

std::string StatsText(const ListStats& stats, const MarkedTotal& marked, int tab)
{
    if (stats.files == 0) {
        return {};
    }
    std::string text;
    if (tab == kListDuplicates || tab == kListPortions || tab == kListSameName) {
        text = std::to_string(stats.groups) + (stats.groups == 1 ? " group, " : " groups, ");
    }
    text += std::to_string(stats.files) + (stats.files == 1 ? " file" : " files");
    if (tab == kListDuplicates) {
        text += ", " + PeopleSize(stats.reclaimable) + " to free";
    }
    if (marked.files > 0) {
        text += "; " + std::to_string(marked.files) + " marked, " + PeopleSize(marked.bytes);
    }
    return text;
}

}  // namespace kormial
