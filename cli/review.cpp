#include "cli/review.h"

#include "cli/output.h"
#include "results/fileops.h"
#include "results/marking.h"

#include <sstream>

namespace kormial::cli {

int runReview(const Review& review, Format format, ResultList* lists, platform::Trash& trash, std::string& out)
{
    const int tab = review.list;
    ResultList& list = lists[tab];
    switch (review.mark) {
    case MarkRule::None: break;
    case MarkRule::All: Marks(list, true); break;
    case MarkRule::Older: MarkDel(list, tab, true, "Date"); break;
    case MarkRule::Newer: MarkDel(list, tab, false, "Date"); break;
    case MarkRule::Smaller: MarkDel(list, tab, false, "Size"); break;
    case MarkRule::Larger: MarkDel(list, tab, true, "Size"); break;
    case MarkRule::KeepNewest: MarkAllButOne(list, tab, Keep::Newest); break;
    case MarkRule::KeepOldest: MarkAllButOne(list, tab, Keep::Oldest); break;
    case MarkRule::KeepFirst: MarkAllButOne(list, tab, Keep::First); break;
    }
    const std::vector<TrashedFile> files =
        TrashMarked(lists, tab, review.dryRun ? nullptr : &trash, review.allowAllCopies);
    const std::string done = review.dryRun ? "would trash" : "trashed";
    std::ostringstream o;
    int status = 0;
    if (format == Format::Json) {
        o << "{\n  \"dry_run\": " << (review.dryRun ? "true" : "false") << ",\n  \"files\": [";
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const TrashedFile& f = files[i];
        const std::string action = f.skipped.empty() ? done : "skipped";
        status = f.skipped.empty() ? status : 1;
        switch (format) {
        case Format::Text:
            o << action << ": " << escaped(f.path, Escape::Terminal)
              << (f.skipped.empty() ? "" : ": " + escaped(f.skipped, Escape::Terminal)) << '\n';
            break;
        case Format::Tsv:
            o << action << '\t' << escaped(f.path, Escape::Tsv) << '\t' << escaped(f.skipped, Escape::Tsv) << '\n';
            break;
        case Format::Json:
            o << (i == 0 ? "\n" : ",\n") << "    {\"action\": " << jsonString(action) << ", \"path\": "
              << jsonString(f.path) << ", \"path_hex\": \"" << hexBytes(f.path) << '"';
            if (!f.skipped.empty()) {
                o << ", \"reason\": " << jsonString(f.skipped);
            }
            o << '}';
            break;
        }
    }
    if (format == Format::Json) {
        o << (files.empty() ? "]\n}\n" : "\n  ]\n}\n");
    }
    out = o.str();
    return status;
}

}  // namespace kormial::cli
