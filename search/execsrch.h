// The search: from the request to the result lists.
#pragma once

#include "catalogue/comparehost.h"
#include "catalogue/filerec.h"
#include "results/resultlist.h"

#include <cstdint>
#include <string>

namespace kormial {

// One row of the path list: folder + "/" + pattern, "Yes"/"No" for the
// sub-folders, and the size texts shown beside it (the search reads the size
// fields instead).
struct SearchEntry {
    std::string path;
    std::string subFolder;
    std::string minSize;
    std::string maxSize;
};

// Positions of the search types in the search-type list.
constexpr int kTypeZeroSize = 0;
constexpr int kTypeDuplicates = 1;
constexpr int kTypeSameName = 2;
constexpr int kTypePortions = 3;

// Portions: the smallest file that takes part.
constexpr std::int64_t kPortionMinSize = 20480;
// Runs with dupEnd - dupStart of this or more are compared pair by pair.
constexpr std::int64_t kPairwiseRunSpan = 250;

// What the search reads from and writes to its front end. The front end owns
// the record array, which keeps its contents until the next search.
class SearchHost : public CompareHost {
public:
    virtual void setStatus(const std::string& text) = 0;

    virtual std::int64_t entryCount() = 0;
    virtual SearchEntry entry(std::int64_t index) = 0;  // 0-based
    virtual void selectEntry(std::int64_t /*index*/) {}  // highlights the row being loaded
    virtual std::string minSizeText() = 0;
    virtual std::string maxSizeText() = 0;
    virtual bool searchTypeTicked(int position) = 0;
    // Read afresh for every run handed to the grouped comparison.
    virtual bool tolerant() = 0;

    virtual ResultList& resultList(int index) = 0;
    virtual FileArray& files() = 0;
};

// Runs the search; returns the number of files searched (0 when nothing was
// catalogued or the search was stopped while same names were sought).
std::int64_t ExecSrch(SearchHost& host);

// "Completed in 12s, searching 345 files."
std::string CompletionText(std::int64_t seconds, std::int64_t files);

}  // namespace kormial
