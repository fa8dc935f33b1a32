#include "cli/output.h"

#include "platform/textfold.h"
#include "results/resultrows.h"

#include <cstdio>
#include <sstream>

namespace kormial::cli {

namespace {

bool groupedList(int index)
{
    return index == kListDuplicates || index == kListPortions || index == kListSameName;
}

}  // namespace

std::string readableSize(long long bytes)
{
    static const char* const units[] = {"bytes", "KB", "MB", "GB", "TB", "PB"};
    if (bytes < 1024) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    double v = static_cast<double>(bytes);
    int u = 0;
    while (v >= 1024.0 && u < 5) {
        v /= 1024.0;
        ++u;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, v < 10 ? "%.1f %s" : "%.0f %s", v, units[u]);
    return buf;
}

std::string formatTsv(const ResultList* lists)
{
    std::string out;
    for (int l = 0; l < kResultListCount; ++l) {
        for (const ResultRow& r : lists[l].rows()) {
            out += std::to_string(l);
            out += '\t';
            out += std::to_string(r.group.number());
            out += '\t';
            out += std::to_string(r.size);
            out += '\t';
            out += FormatFileDate(r.mtime);
            out += '\t';
            out += escaped(r.folder->path, Escape::Tsv);
            out += '\t';
            out += escaped(r.name, Escape::Tsv);
            out += '\n';
        }
    }
    return out;
}

std::string formatText(const ResultList* lists, bool complete)
{
    std::ostringstream out;
    for (int l = 0; l < kResultListCount; ++l) {
        const ResultList& list = lists[l];
        out << kListCaptions[l] << " (" << list.count() << ")\n";
        if (list.count() == 0) {
            out << "  (none)\n\n";
            continue;
        }
        const bool byName = l == kListSameName;
        // rows of one group: "#" equal, on "Same Name" names equal but for case
        const auto together = [byName](const ResultRow& a, const ResultRow& b) {
            return byName ? platform::equalFolded(a.name, b.name) : a.group == b.group;
        };
        for (std::int64_t i = 0; i < list.count(); ++i) {
            const ResultRow& r = list.row(i);
            if (groupedList(l) && (i == 0 || !together(list.row(i - 1), r))) {
                if (i > 0) {
                    out << '\n';
                }
                std::int64_t members = 1;
                while (i + members < list.count() && together(list.row(i + members), r)) {
                    ++members;
                }
                if (byName) {
                    out << "  Name \"" << escaped(r.name, Escape::Terminal) << "\": " << members << " files\n";
                } else {
                    out << "  Group " << r.group.number() << ": " << members << " files\n";
                }
            }
            char sizeBuf[32];
            std::snprintf(sizeBuf, sizeof sizeBuf, "%10s", readableSize(r.size).c_str());
            out << "    " << sizeBuf << "  " << FormatFileDate(r.mtime) << "  "
                << escaped(r.path(), Escape::Terminal) << '\n';
        }
        out << '\n';
    }
    if (!complete) {
        out << "The search was stopped: the lists are incomplete.\n";
    }
    return out.str();
}

}  // namespace kormial::cli
