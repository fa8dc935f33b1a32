#include "search/execsrch.h"

#include "catalogue/colfiles.h"
#include "catalogue/compare.h"
#include "catalogue/paths.h"
#include "catalogue/sort.h"
#include "platform/fs.h"
#include "platform/textfold.h"
#include "results/resultrows.h"
#include "search/sizetext.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
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

// Compares one run, through the pairwise routine when it is long.
void compareRun(SearchHost& host, FileArray& arr, std::int64_t dupStart, std::int64_t dupEnd,
                bool sameSizeOnly)
{
    if (dupEnd - dupStart >= kPairwiseRunSpan) {
        CompFileCnt2(arr, dupStart, dupEnd, sameSizeOnly, host);
    } else {
        CompFileCnt(arr, dupStart, dupEnd, host.tolerant(), sameSizeOnly);
    }
}

}  // namespace

std::string CompletionText(std::int64_t seconds, std::int64_t files)
{
    return "Completed in " + std::to_string(seconds) + "s, searching " + std::to_string(files) +
           " files.";
}

std::int64_t ExecSrch(SearchHost& host)
{
    // Phase 1: the catalogue, one search entry after another.
    colFiles catalogue;
    catalogue.Clear();
    const YieldFn yield = [&host] { host.yield(); };
    const std::int64_t rows = host.entryCount();
    for (std::int64_t i = 0; i < rows; ++i) {
        host.selectEntry(i);
        const std::int32_t minSz = SizeBound(host.minSizeText()).value_or(-1);
        const std::int32_t maxSz = SizeBound(host.maxSizeText()).value_or(-1);
        const SearchEntry e = host.entry(i);
        catalogue.LoadFiles(e.path, minSz, maxSz, e.subFolder == "Yes", yield);
        host.setProgress(std::floor(static_cast<double>(i + 1) / static_cast<double>(host.entryCount()) * 100.0));
    }

    // Phase 2: the records, each with the state the walk saw: a file changed
    // since then fails the checks on its open descriptor when it is read.
    host.setStatus("Loading files ...");
    host.setProgress(0);
    const std::int64_t n = catalogue.Count();
    FileArray& arr = host.files();
    FileArray().swap(arr);
    if (n < 1) {
        return 0;
    }
    catalogue.TakeItems(arr, [&] {
        const auto k = static_cast<std::int64_t>(arr.size());
        if (k % 1000 == 0) {
            host.setProgress(static_cast<double>(k) / static_cast<double>(n) * 100.0);
        }
        host.yield();
    });
    const std::int64_t U = n - 1;
    std::int64_t k = 0;
    auto rec = [&arr](std::int64_t i) -> FileRec& { return arr[static_cast<std::size_t>(i)]; };

    // Phase 3: same file names, case ignored.
    if (n >= 2 && host.searchTypeTicked(kTypeSameName)) {
        host.setStatus("Search same file name  ...");
        host.setProgress(0);
        QuickSort(arr, 0, U, ByFileName);
        ResultList& sameName = host.resultList(kListSameName);
        bool previousListed = false;
        for (k = 1; k <= U; ++k) {
            if (platform::equalFolded(rec(k).Name, rec(k - 1).Name)) {
                if (!previousListed) {
                    AddResultItem(sameName, arr, k - 1);
                }
                AddResultItem(sameName, arr, k);
                previousListed = true;
            } else {
                previousListed = false;
            }
            if (k % 200 == 0) {
                host.setProgress(static_cast<double>(k) / static_cast<double>(n) * 100.0);
                if (host.stopRequested()) {
                    return 0;
                }
            }
            host.yield();
        }
    }

    // Phase 4: size order and the empty files.
    QuickSort(arr, 0, U, ByFileSize);
    host.setStatus("Searching duplicated files ...");
    host.setProgress(0);
    std::int64_t z = 0;
    const bool listZero = host.searchTypeTicked(kTypeZeroSize);
    while (z <= U && rec(z).Size == 0) {
        if (listZero) {
            AddResultItem(host.resultList(kListZeroSize), arr, z);
        }
        ++z;
    }

    // Phase 5: duplicates, run by run of equal sizes.
    const double last = static_cast<double>(U);
    // After each run: the progress bar at the run's end, then the yield.
    const auto runDone = [&](std::int64_t at) {
        host.setProgress(last > 0 ? static_cast<double>(at) / last * 100.0 : 0.0);
        host.yield();
    };
    if (host.searchTypeTicked(kTypeDuplicates)) {
        // One run at a time: the stop request, the comparison, the progress
        // and the yield.
        const auto oneRun = [&](std::int64_t dupStart, std::int64_t dupEnd, std::int64_t at) {
            if (!host.stopRequested()) {
                compareRun(host, arr, dupStart, dupEnd, true);
            }
            runDone(at);
        };
        // Short runs are gathered and, in exact mode, compared side by side
        // on every core. Then each run is taken in turn as if it had just
        // been compared alone: a run that comes after a stop request is put
        // back as never compared, and one that comes after the tolerance was
        // switched on is compared again, tolerantly.
        struct Gathered {
            std::int64_t start;
            std::int64_t end;
            std::int64_t at;
        };
        std::vector<Gathered> gathered;
        std::vector<std::pair<std::int64_t, std::int64_t>> spans;
        double gatheredBytes = 0;
        std::int64_t gatheredFiles = 0;
        const auto putBack = [&](const Gathered& g) {
            for (std::int64_t i = g.start; i <= g.end; ++i) {
                rec(i).Group = kNoGroup;
            }
        };
        const auto flush = [&] {
            if (gathered.empty()) {
                return;
            }
            if (gathered.size() < 2 || host.stopRequested()) {
                for (const Gathered& g : gathered) {
                    oneRun(g.start, g.end, g.at);
                }
            } else if (host.tolerant()) {
                // the first run as oneRun takes it, with the tolerance just read
                const Gathered& first = gathered.front();
                CompFileCnt(arr, first.start, first.end, true, true);
                runDone(first.at);
                for (std::size_t r = 1; r < gathered.size(); ++r) {
                    oneRun(gathered[r].start, gathered[r].end, gathered[r].at);
                }
            } else {
                spans.clear();
                for (const Gathered& g : gathered) {
                    spans.emplace_back(g.start, g.end);
                }
                CompFileCntExactRuns(arr, spans);
                for (std::size_t r = 0; r < gathered.size(); ++r) {
                    const Gathered& g = gathered[r];
                    if (r > 0) {
                        if (host.stopRequested()) {
                            putBack(g);
                        } else if (host.tolerant()) {
                            putBack(g);
                            CompFileCnt(arr, g.start, g.end, true, true);
                        }
                    }
                    runDone(g.at);
                }
            }
            gathered.clear();
            gatheredBytes = 0;
            gatheredFiles = 0;
        };
        // a gathered batch stays short, so the window answers between batches
        constexpr std::size_t kGatheredRuns = 256;
        constexpr std::int64_t kGatheredFiles = 1024;
        constexpr double kGatheredBytes = 8 << 20;  // the most that the gathered runs may read
        walkRuns(z + 1, U, [&](std::int64_t i) { return rec(i).Size == rec(i - 1).Size; },
                 [&](std::int64_t dupStart, std::int64_t dupEnd, std::int64_t at) {
                     if (dupEnd - dupStart >= kPairwiseRunSpan) {
                         flush();
                         oneRun(dupStart, dupEnd, at);
                         return;
                     }
                     const double bytes = static_cast<double>(dupEnd - dupStart + 1) *
                                          static_cast<double>(rec(dupStart).Size);
                     const std::int64_t files = dupEnd - dupStart + 1;
                     if (!gathered.empty() &&
                         (gatheredBytes + bytes > kGatheredBytes || gatheredFiles + files > kGatheredFiles)) {
                         flush();
                     }
                     gathered.push_back({dupStart, dupEnd, at});
                     gatheredBytes += bytes;
                     gatheredFiles += files;
                     if (gathered.size() >= kGatheredRuns) {
                         flush();
                     }
                 });
        flush();
    }

    ReleaseCompareBuffers();

    // Phase 6: first listing; listed duplicates go back to no group so that
    // the portions search starts afresh.
    std::unordered_set<std::string> listedUnreadable;
    for (k = 0; k <= U; ++k) {
        FileRec& r = rec(k);
        if (r.Group >= 0) {
            AddResultItem(host.resultList(kListDuplicates), arr, k);
            r.Group = kNoGroup;
            host.yield();  // tens of thousands of rows take a while to list
        } else if (r.Group == kReadError) {
            AddResultItem(host.resultList(kListReadErrors), arr, k);
            listedUnreadable.insert(r.path());
            host.yield();
        }
    }

    // Phase 7: portions among the files of 20480 bytes or more.
    if (host.searchTypeTicked(kTypePortions)) {
        host.setStatus("Searching file portions ...");
        host.setProgress(0);
        std::int64_t s = z;
        while (s <= U && rec(s).Size < kPortionMinSize) {
            ++s;
        }
        if (s <= U) {
            for (k = s; k <= U; ++k) {
                FileRec& r = rec(k);
                platform::ReadFile f;
                if (!f.openChecked(r.path(), r.state()) || !f.readExact(0, r.Head.data(), kHeadSize)) {
                    r.Group = kReadError;
                }
                host.yield();
            }
            QuickSort(arr, s, U, ByHeadBlock);
            // In each run of equal heads the files of one block or less
            // (nothing whole before their last byte) take no part: first in
            // the run, they would bound the comparison of all. The others
            // are compared smallest first.
            walkRuns(s + 1, U, [&](std::int64_t i) { return rec(i).Head == rec(i - 1).Head; },
                     [&](std::int64_t dupStart, std::int64_t dupEnd, std::int64_t at) {
                         const auto first = arr.begin() + dupStart;
                         const auto end = arr.begin() + dupEnd + 1;
                         std::stable_sort(first, end, [](const FileRec& a, const FileRec& b) { return a.Size < b.Size; });
                         const auto from = std::find_if(first, end, [](const FileRec& r) { return r.Size > kPortionBlock; });
                         const std::int64_t takePart = from - arr.begin();
                         if (!host.stopRequested() && dupEnd > takePart) {
                             compareRun(host, arr, takePart, dupEnd, false);
                         }
                         runDone(at);
                     });
            for (k = s; k <= U; ++k) {
                rec(k).Head = HeadBlock();  // needed no more
            }
        }
    }

    ReleaseCompareBuffers();

    // Phase 8: second listing.
    for (k = 0; k <= U; ++k) {
        const FileRec& r = rec(k);
        if (r.Group >= 0) {
            AddResultItem(host.resultList(kListPortions), arr, k);
            host.yield();
        } else if (r.Group == kReadError && !listedUnreadable.contains(r.path())) {
            AddResultItem(host.resultList(kListReadErrors), arr, k);
            host.yield();
        }
    }

    return n;
}

}  // namespace kormial
