// The one way into the comparisons: how each run is read, what the portions
// search compares, and the report of the files that could not be read.
#include "compare/firstreads.h"
#include "compare/grouping.h"
#include "platform/parallel.h"

#include <algorithm>

namespace kormial {

namespace {

bool isLong(Run run)
{
    return run.last - run.first >= kLongRunSpan;
}

enum class Reading { Refinement, InStep, Pairwise };

// How a run is read. Duplicates are grouped by refinement, exactly, except
// that a short run compared tolerantly is read in step; portions are read
// in step, or pair by pair when the run is long.
Reading readingFor(Run run, CompareMode mode)
{
    if (mode.pairing == Pairing::EqualSizes && (mode.likeness == Likeness::Exact || isLong(run))) {
        return Reading::Refinement;
    }
    return isLong(run) ? Reading::Pairwise : Reading::InStep;
}

// Short runs read by refinement are compared side by side, each run on one
// of the reading threads.
bool sideBySide(Run run, CompareMode mode)
{
    return !isLong(run) && readingFor(run, mode) == Reading::Refinement;
}

void read(RunGrouping& grouping)
{
    switch (readingFor({grouping.first(), grouping.last()}, grouping.mode())) {
    case Reading::Refinement: groupByRefinement(grouping); break;
    case Reading::InStep: groupInStep(grouping); break;
    case Reading::Pairwise: groupPairwise(grouping); break;
    }
}

void report(const RunGrouping& grouping, CompareHost& host)
{
    for (const std::string& failure : grouping.failures()) {
        host.reportFailure(failure);
    }
}

// The part of a run of equal leading blocks that takes part in the portions
// search: the run in size order (ties keep their order), less the files of
// one block or less, which hold no whole block before their last byte (first
// in the run, they would bound the comparison of all).
Run portionsPart(FileArray& files, Run run)
{
    const auto first = files.begin() + run.first;
    const auto end = files.begin() + run.last + 1;
    std::stable_sort(first, end, [](const FileRec& a, const FileRec& b) { return a.Size < b.Size; });
    const auto from = std::find_if(first, end, [](const FileRec& r) { return r.Size > kPortionBlock; });
    return {from - files.begin(), run.last};
}

// Compares a run handed over; a long one polls the stop request itself.
void compareRun(FileArray& files, Run run, CompareMode mode, CompareHost& host, const FirstReads* ahead)
{
    if (run.last > run.first) {
        RunGrouping grouping(files, run, mode, isLong(run) ? &host : nullptr, ahead, host.heldFolders());
        read(grouping);
        report(grouping, host);
    }
}

// One run on its own; false when a stop request came before it.
bool groupAlone(FileArray& files, Run run, CompareMode mode, CompareHost& host, const FirstReads* ahead)
{
    if (mode.pairing == Pairing::Portions) {
        run = portionsPart(files, run);
    }
    if (host.stopRequested()) {
        return false;
    }
    compareRun(files, run, mode, host, ahead);
    return true;
}

// Short runs side by side. A stop request that came meanwhile counts from
// the run after the first, as if each run were compared after the other:
// the later ones are left ungrouped. False after a stop request.
bool groupSideBySide(FileArray& files, std::span<const Run> runs, CompareMode mode, CompareHost& host,
                     const FirstReads* ahead)
{
    std::vector<RunGrouping> groupings;
    groupings.reserve(runs.size());
    for (const Run& run : runs) {
        groupings.emplace_back(files, run, mode, nullptr, ahead, host.heldFolders());
    }
    parallelFor(groupings.size(), [&](std::size_t k) { read(groupings[k]); });
    const bool stopped = host.stopRequested();
    for (std::size_t k = 0; k < groupings.size(); ++k) {
        if (k == 0 || !stopped) {
            report(groupings[k], host);
            continue;
        }
        for (std::int64_t i = runs[k].first; i <= runs[k].last; ++i) {
            files[static_cast<std::size_t>(i)].Group = kNoGroup;
        }
    }
    return !stopped;
}

}  // namespace

void RunGrouping::fail(std::int64_t i, const platform::Error& err)
{
    FileRec& r = rec(i);
    if (r.Group.isUnreadable()) {
        return;
    }
    r.Group = kReadError;
    failures_.push_back(r.path() + ": " +
                        (err.code != 0 ? err : platform::Error{platform::kChangedDuringSearch}).describe());
}

void RunGrouping::settleGroups()
{
    // the members left of each group, by the slot of the leader it was
    // formed under, and the lowest of them
    std::vector<std::size_t> members(count(), 0);
    std::vector<std::int64_t> lowest(count(), 0);
    for (std::int64_t i = first(); i <= last(); ++i) {
        if (rec(i).Group.grouped() && members[slot(rec(i).Group.leader())]++ == 0) {
            lowest[slot(rec(i).Group.leader())] = i;
        }
    }
    for (std::int64_t i = first(); i <= last(); ++i) {
        if (rec(i).Group.grouped()) {
            const std::size_t g = slot(rec(i).Group.leader());
            rec(i).Group = members[g] >= 2 ? GroupMark::ledBy(lowest[g]) : kNoGroup;
        }
    }
}

void RunGrouping::progressAt(double at)
{
    if (host_ != nullptr) {
        const double lastIndex = static_cast<double>(files_.size()) - 1.0;
        host_->setProgress(lastIndex > 0 ? at / lastIndex * 100.0 : 0.0);
    }
}

namespace {

// The runs in order, short ones side by side; false after a stop request.
bool groupInOrder(FileArray& files, std::span<const Run> runs, CompareMode mode, CompareHost& host,
                  const FirstReads* ahead)
{
    for (std::size_t k = 0; k < runs.size();) {
        std::size_t end = k;
        while (end < runs.size() && sideBySide(runs[end], mode)) {
            ++end;
        }
        if (end - k >= 2) {
            if (host.stopRequested() || !groupSideBySide(files, runs.subspan(k, end - k), mode, host, ahead)) {
                return false;
            }
            k = end;
        } else if (!groupAlone(files, runs[k++], mode, host, ahead)) {
            return false;
        }
    }
    return true;
}

// The bytes of a run that the grouping reads ahead.
std::int64_t bytesAhead(const FileArray& files, Run run)
{
    std::int64_t bytes = 0;
    for (std::int64_t i = run.first; i <= run.last; ++i) {
        const FileRec& r = files[static_cast<std::size_t>(i)];
        bytes += readAhead(r) ? firstChunkBytes(r.Size) : 0;
    }
    return bytes;
}

}  // namespace

void groupRuns(FileArray& files, std::span<const Run> runs, CompareMode mode, CompareHost& host)
{
    if (mode.pairing != Pairing::EqualSizes || mode.likeness != Likeness::Exact) {
        groupInOrder(files, runs, mode, host, nullptr);
        return;
    }
    // exact duplicates: the first chunks of as many runs as fit the
    // allowance are read ahead together, in the order the walk met the
    // files; a run too large for it reads its own
    for (std::size_t k = 0; k < runs.size();) {
        std::size_t end = k;
        for (std::int64_t bytes = bytesAhead(files, runs[k]); bytes <= kReadAheadBytes;) {
            if (++end == runs.size()) {
                break;
            }
            bytes += bytesAhead(files, runs[end]);
        }
        if (end == k) {
            if (!groupInOrder(files, runs.subspan(k++, 1), mode, host, nullptr)) {
                return;
            }
            continue;
        }
        if (host.stopRequested()) {
            return;
        }
        FirstReads ahead;
        if (!ahead.read(files, runs.subspan(k, end - k), host.heldFolders(), [&] { return host.stopRequested(); })) {
            // a stop while the chunks were read: the first run was handed
            // over before it and is still compared, as if read on its own
            compareRun(files, runs[k], mode, host, nullptr);
            return;
        }
        if (!groupInOrder(files, runs.subspan(k, end - k), mode, host, &ahead)) {
            return;
        }
        k = end;
    }
}

void readHeads(FileArray& files, std::int64_t from, std::int64_t to, CompareHost& host)
{
    RunGrouping heads(files, {from, to}, {Pairing::Portions}, nullptr, nullptr, host.heldFolders());
    for (std::int64_t k = from; k <= to; ++k) {
        FileRec& r = files[static_cast<std::size_t>(k)];
        platform::ReadFile f;
        platform::Error err;
        if (!heads.open(f, k, &err) || !f.readExact(0, r.Head.data(), kHeadSize, &err)) {
            heads.fail(k, err);
        }
    }
    report(heads, host);
}

}  // namespace kormial
