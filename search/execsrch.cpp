#include "search/execsrch.h"

#include "catalogue/colfiles.h"
#include "catalogue/sort.h"
#include "compare/compare.h"
#include "platform/fs.h"
#include "platform/heldfolders.h"
#include "platform/textfold.h"
#include "results/keep.h"
#include "results/resultrows.h"
#include "search/searchfolders.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <unordered_set>

namespace kormial {

namespace {

// Walks arr[from..to] and hands every maximal stretch of two or more records
// with equal keys to `handle(dupStart, dupEnd, k)`.
template <typename Equal, typename Handle>
void walkRuns(std::int64_t from, std::int64_t to, Equal equal, Handle handle)
{
    bool open = false;
    std::int64_t dupStart = 0;
    for (std::int64_t k = from; k <= to; ++k) {
        const bool eq = equal(k);
        if (eq && !open) {
            open = true;
            dupStart = k - 1;
        }
        if (eq && k != to) {
            continue;
        }
        if (open) {
            handle(dupStart, eq ? k : k - 1, k);
            open = false;
        }
    }
}

// One search from its request to its lists: the stages in the order they
// run, each with one job, and the state they hand on.
class SearchRun : CompareHost {
public:
    SearchRun(const SearchRequest& request, SearchObserver& observer, std::stop_token stop)
        : request_(request), observer_(observer), stop_(std::move(stop))
    {
    }

    SearchResults run()
    {
        colFiles catalogue = load();
        fill(catalogue);
        MarkKeepFolders(request_, out_.files);
        if (n_ >= 1) {
            if (!sameName()) {
                return finish(0);
            }
            sizeOrderAndZeroSize();
            duplicates();
            firstListing();
            portions();
            secondListing();
        }
        return finish(n_);
    }

private:
    bool has(SearchType type) const { return request_.types.has(type); }
    FileRec& rec(std::int64_t i) { return out_.files[static_cast<std::size_t>(i)]; }
    ResultList& list(int index) { return out_.lists[static_cast<std::size_t>(index)]; }

    // The comparisons' side of the run.
    bool stopRequested() override { return stop_.stop_requested(); }
    void setProgress(double percent) override
    {
        observer_.progress(percent);
        tellCounts(false);
    }
    void reportFailure(const std::string& text) override { observer_.failure(text); }
    // Held from the first comparison to the end of the last.
    platform::HeldFolders* heldFolders() override
    {
        if (!folders_) {
            folders_.emplace();
        }
        return &*folders_;
    }
    void comparingDone()
    {
        ReleaseCompareBuffers();
        folders_.reset();
    }

    // The catalogue, one search entry after another; a stop ends it with
    // the files found so far. What the walk could not enter is listed first
    // on "Report - read errors", in the order the walk met it.
    colFiles load()
    {
        colFiles catalogue;
        catalogue.Exclude(Exclusions(request_.exclude));
        walked_.tick = [this] { tellCounts(false); };
        const auto count = static_cast<std::int64_t>(request_.entries.size());
        for (std::int64_t i = 0; i < count && !stop_.stop_requested(); ++i) {
            const SearchEntry& e = request_.entries[static_cast<std::size_t>(i)];
            observer_.entryStarted(i);
            catalogue.LoadFiles(SearchFolderOf(e), e.pattern, request_.minKb, request_.maxKb, e.subFolders, stop_,
                                &walked_);
            for (const WalkFailure& failure : catalogue.TakeFailures()) {
                observer_.failure(WalkFailureText(failure));
                list(kListReadErrors).add(WalkFailureRow(failure));
            }
            observer_.progress(std::floor(static_cast<double>(i + 1) / static_cast<double>(count) * 100.0));
        }
        walked_.files = catalogue.Count();  // repeated names of one file are gone
        tellCounts(true);
        return catalogue;
    }

    // The records, each with the state the walk saw: a file changed since
    // then fails the checks on its open descriptor when it is read.
    void fill(colFiles& catalogue)
    {
        observer_.status("Loading files ...");
        observer_.progress(0);
        n_ = catalogue.Count();
        FileArray& arr = out_.files;
        catalogue.TakeItems(arr, [&] {
            const auto k = static_cast<std::int64_t>(arr.size());
            if (k % 1000 == 0) {
                observer_.progress(static_cast<double>(k) / static_cast<double>(n_) * 100.0);
            }
        });
        last_ = n_ - 1;
        for (std::size_t k = 0; k < arr.size(); ++k) {
            arr[k].WalkOrder = static_cast<std::uint32_t>(k);  // the catalogue is in walk order
        }
    }

    // The numbers so far, a few times a second at most unless `now` (at the
    // end of a stage).
    void tellCounts(bool now)
    {
        const double t = platform::monotonicSeconds();
        if (!now && t - countsTold_ < 0.25) {
            return;
        }
        countsTold_ = t;
        SearchCounts c{walked_.files.load(std::memory_order_relaxed), walked_.folders.load(std::memory_order_relaxed),
                       bytesDone_, bytesTotal_};
        // the estimate once the stage has run a few seconds and done a part
        // large enough for its pace to hold
        const double spent = t - stageStart_;
        if (bytesDone_ > 0 && bytesDone_ < bytesTotal_ && spent >= 3 && bytesDone_ * 50 >= bytesTotal_) {
            c.secondsLeft = std::llround(spent * static_cast<double>(bytesTotal_ - bytesDone_) /
                                         static_cast<double>(bytesDone_));
        }
        observer_.counts(c);
    }

    // A comparing stage begins with `total` bytes to compare.
    void compareStage(std::int64_t total)
    {
        bytesDone_ = 0;
        bytesTotal_ = total;
        stageStart_ = platform::monotonicSeconds();
        tellCounts(true);
    }

    // Same file names, case ignored. False when a stop ended it.
    bool sameName()
    {
        if (n_ < 2 || !has(SearchType::SameName)) {
            return true;
        }
        observer_.status("Search same file name  ...");
        observer_.progress(0);
        QuickSort(out_.files, 0, last_, ByFileName);
        ResultList& sameName = list(kListSameName);
        bool previousListed = false;
        for (std::int64_t k = 1; k <= last_; ++k) {
            if (platform::equalFolded(rec(k).Name, rec(k - 1).Name)) {
                if (!previousListed) {
                    AddResultItem(sameName, out_.files, k - 1);
                }
                AddResultItem(sameName, out_.files, k);
                previousListed = true;
            } else {
                previousListed = false;
            }
            if (k % 200 == 0) {
                observer_.progress(static_cast<double>(k) / static_cast<double>(n_) * 100.0);
                if (stop_.stop_requested()) {
                    return false;
                }
            }
        }
        return true;
    }

    // Size order and the empty files.
    void sizeOrderAndZeroSize()
    {
        QuickSort(out_.files, 0, last_, ByFileSize);
        observer_.status("Searching duplicated files ...");
        observer_.progress(0);
        firstNonEmpty_ = 0;
        while (firstNonEmpty_ <= last_ && rec(firstNonEmpty_).Size == 0) {
            if (has(SearchType::ZeroSize)) {
                AddResultItem(list(kListZeroSize), out_.files, firstNonEmpty_);
            }
            ++firstNonEmpty_;
        }
    }

    // After each run: the progress bar at the run's end, and the bytes of
    // the runs done.
    void runDone(std::int64_t at, std::int64_t bytes)
    {
        observer_.progress(last_ > 0 ? static_cast<double>(at) / static_cast<double>(last_) * 100.0 : 0.0);
        bytesDone_ += bytes;
        tellCounts(false);
    }

    // The comparisons' way of matching blocks for this search.
    Likeness likeness() const { return request_.tolerant ? Likeness::Tolerant : Likeness::Exact; }

    // Duplicates, run by run of equal sizes, handed to the comparisons a
    // batch at a time: a batch is as large as the first chunks the
    // comparisons read ahead together, and small enough for the progress bar
    // to move often.
    void duplicates()
    {
        if (!has(SearchType::Duplicates)) {
            return;
        }
        const auto sameSize = [&](std::int64_t i) { return rec(i).Size == rec(i - 1).Size; };
        std::int64_t total = 0;
        walkRuns(firstNonEmpty_ + 1, last_, sameSize, [&](std::int64_t dupStart, std::int64_t dupEnd, std::int64_t) {
            total += (dupEnd - dupStart + 1) * rec(dupStart).Size;
        });
        compareStage(total);
        const CompareMode mode{Pairing::EqualSizes, likeness()};
        constexpr std::int64_t kBatchBytes = 64 << 20;
        std::vector<Run> batch;
        std::int64_t batchAhead = 0;
        std::int64_t batchBytes = 0;
        std::int64_t at = 0;  // where the batch's last run closed
        const auto compareBatch = [&] {
            if (!batch.empty()) {
                groupRuns(out_.files, batch, mode, *this);
                runDone(at, batchBytes);
            }
            batch.clear();
            batchAhead = batchBytes = 0;
        };
        walkRuns(firstNonEmpty_ + 1, last_, sameSize, [&](std::int64_t dupStart, std::int64_t dupEnd, std::int64_t k) {
            const std::int64_t files = dupEnd - dupStart + 1;
            const std::int64_t ahead = files * firstChunkBytes(rec(dupStart).Size);
            const std::int64_t bytes = files * rec(dupStart).Size;
            if (batchAhead + ahead > kReadAheadBytes || batchBytes + bytes > kBatchBytes) {
                compareBatch();
            }
            batch.push_back({dupStart, dupEnd});
            batchAhead += ahead;
            batchBytes += bytes;
            at = k;
        });
        compareBatch();
        tellCounts(true);
        comparingDone();
    }

    // Listed duplicates go back to no group, so that the portions search
    // starts afresh; unreadable files are listed once.
    void firstListing()
    {
        for (std::int64_t k = 0; k <= last_; ++k) {
            FileRec& r = rec(k);
            if (r.Group.grouped()) {
                AddResultItem(list(kListDuplicates), out_.files, k);
                r.Group = kNoGroup;
            } else if (r.Group == kReadError) {
                AddResultItem(list(kListReadErrors), out_.files, k);
                listedUnreadable_.insert(r.path());
            }
        }
    }

    // Portions among the files of 20480 bytes or more: by their first 400
    // bytes, then block by block, each run of equal heads on its own.
    void portions()
    {
        if (!has(SearchType::Portions)) {
            return;
        }
        observer_.status("Searching file portions ...");
        observer_.progress(0);
        std::int64_t s = firstNonEmpty_;
        while (s <= last_ && rec(s).Size < kPortionMinSize) {
            ++s;
        }
        if (s > last_) {
            return;
        }
        readHeads(out_.files, s, last_, *this);
        QuickSort(out_.files, s, last_, ByHeadBlock);
        const auto sameHead = [&](std::int64_t i) { return rec(i).Head == rec(i - 1).Head; };
        const auto runBytes = [&](std::int64_t from, std::int64_t to) {
            std::int64_t bytes = 0;
            for (std::int64_t i = from; i <= to; ++i) {
                bytes += rec(i).Size;
            }
            return bytes;
        };
        std::int64_t total = 0;
        walkRuns(s + 1, last_, sameHead,
                 [&](std::int64_t dupStart, std::int64_t dupEnd, std::int64_t) { total += runBytes(dupStart, dupEnd); });
        compareStage(total);
        const CompareMode mode{Pairing::Portions, likeness()};
        walkRuns(s + 1, last_, sameHead, [&](std::int64_t dupStart, std::int64_t dupEnd, std::int64_t at) {
            groupRun(out_.files, {dupStart, dupEnd}, mode, *this);
            runDone(at, runBytes(dupStart, dupEnd));
        });
        tellCounts(true);
        for (std::int64_t k = s; k <= last_; ++k) {
            rec(k).Head = HeadBlock();  // needed no more
        }
        comparingDone();
    }

    void secondListing()
    {
        for (std::int64_t k = 0; k <= last_; ++k) {
            const FileRec& r = rec(k);
            if (r.Group.grouped()) {
                AddResultItem(list(kListPortions), out_.files, k);
            } else if (r.Group == kReadError && !listedUnreadable_.contains(r.path())) {
                AddResultItem(list(kListReadErrors), out_.files, k);
            }
        }
    }

    SearchResults finish(std::int64_t searched)
    {
        OrderResultsAfterSearch(out_.lists.data());
        out_.searched = searched;
        out_.stopped = stop_.stop_requested();
        return std::move(out_);
    }

    const SearchRequest& request_;
    SearchObserver& observer_;
    std::stop_token stop_;
    std::optional<platform::HeldFolders> folders_;
    SearchResults out_;
    std::int64_t n_ = 0;             // records
    std::int64_t last_ = -1;         // the last record's index
    std::int64_t firstNonEmpty_ = 0; // the first record of a file of one byte or more
    std::unordered_set<std::string> listedUnreadable_;
    WalkCounts walked_;
    std::int64_t bytesDone_ = 0;
    std::int64_t bytesTotal_ = 0;
    double stageStart_ = 0;
    double countsTold_ = 0;
};

}  // namespace

SearchResults ExecSrch(const SearchRequest& request, SearchObserver& observer, std::stop_token stop)
{
    return SearchRun(request, observer, std::move(stop)).run();
}

}  // namespace kormial
