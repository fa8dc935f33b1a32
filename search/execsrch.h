// The search: from a request to the result lists.
#pragma once

#include "catalogue/filerec.h"
#include "results/resultlist.h"
#include "search/searchrequest.h"

#include <array>
#include <cstdint>
#include <stop_token>
#include <string>

namespace kormial {

// Portions: the smallest file that takes part.
constexpr std::int64_t kPortionMinSize = 20480;

// The numbers that follow the status text while a search runs: the files and
// folders found so far while the catalogue is loaded, then the bytes compared
// of the bytes to compare, and the seconds left once the pace is steady.
struct SearchCounts {
    std::int64_t files = 0;
    std::int64_t folders = 0;
    std::int64_t bytesDone = 0;
    std::int64_t bytesTotal = 0;   // 0 while loading
    std::int64_t secondsLeft = -1; // -1: no estimate yet
    bool operator==(const SearchCounts&) const = default;
};

// "12,345 files in 678 folders" while loading, "1.2 GB of 3.4 GB, about 20 s
// left" while comparing.
std::string CountsText(const SearchCounts& counts);

// What a running search tells whoever started it. Called on the thread that
// runs the search; the window forwards each call to its own thread.
class SearchObserver {
public:
    virtual ~SearchObserver() = default;
    // The phase's status text ("Loading files ...").
    virtual void status(const std::string& /*text*/) {}
    // The progress bar, 0 to 100.
    virtual void progress(double /*percent*/) {}
    // The path-list row (0-based) whose files are being catalogued.
    virtual void entryStarted(std::int64_t /*index*/) {}
    // The numbers so far: a few times a second at most, and once more at the
    // end of each stage.
    virtual void counts(const SearchCounts& /*counts*/) {}
    // A failure the search goes on after.
    virtual void failure(const std::string& /*text*/) {}
};

// What a search leaves: the result lists by index (kListZeroSize...), the
// records the lists were made from, and how many files were searched (0
// when nothing was catalogued or the search was stopped while same names
// were sought).
struct SearchResults {
    std::array<ResultList, kResultListCount> lists;
    FileArray files;
    std::int64_t searched = 0;
    bool stopped = false;  // a stop was requested before the search ended
};

// Runs the search to its end or to the first stop point after `stop` is
// requested; the lists come out ordered as every front end shows them.
SearchResults ExecSrch(const SearchRequest& request, SearchObserver& observer, std::stop_token stop = {});

// "Completed in 12s, searching 345 files."
std::string CompletionText(std::int64_t seconds, std::int64_t files);

}  // namespace kormial
