// One run being grouped, as every reading strategy sees it: its records and
// mode, the rules that all of them share (which files are paired, what a
// failure does to a group), and the host's progress bar and stop request for
// a long run. Internal to compare/.
#pragma once

#include "compare/compare.h"
#include "compare/runfiles.h"
#include "platform/fs.h"

#include <string>
#include <vector>

namespace kormial {

class FirstReads;

class RunGrouping {
public:
    // `host` for a long run (progress and stop requests), nullptr for a
    // short one, which neither moves the bar nor stops part way; `ahead`,
    // when given, holds the first chunks of the run's files, read before.
    // `folders`, when given, hold the folders its files are opened in.
    RunGrouping(FileArray& files, Run run, CompareMode mode, CompareHost* host = nullptr,
                const FirstReads* ahead = nullptr, platform::HeldFolders* folders = nullptr)
        : files_(files), run_(run), mode_(mode), host_(host), ahead_(ahead), folders_(folders)
    {
    }

    FileArray& files() { return files_; }
    FileRec& rec(std::int64_t i) { return files_[static_cast<std::size_t>(i)]; }
    const FileRec& rec(std::int64_t i) const { return files_[static_cast<std::size_t>(i)]; }
    std::int64_t first() const { return run_.first; }
    std::int64_t last() const { return run_.last; }
    std::size_t count() const { return static_cast<std::size_t>(run_.last - run_.first + 1); }
    std::size_t slot(std::int64_t i) const { return static_cast<std::size_t>(i - run_.first); }
    CompareMode mode() const { return mode_; }
    bool tolerant() const { return mode_.likeness == Likeness::Tolerant; }
    const FirstReads* ahead() const { return ahead_; }
    platform::HeldFolders* folders() const { return folders_; }
    // Opens record `i` for reading, checked (see platform::ReadFile).
    bool open(platform::ReadFile& f, std::int64_t i, platform::Error* err) const
    {
        return openRecord(f, rec(i), folders_, err);
    }

    // Whether two records are compared at all: equal sizes for duplicates,
    // different sizes for portions.
    bool paired(const FileRec& a, const FileRec& b) const
    {
        return (a.Size == b.Size) == (mode_.pairing == Pairing::EqualSizes);
    }

    // Record `i` could not be read, or changed: it becomes unreadable, and
    // the failure is kept for the report (once per file).
    void fail(std::int64_t i, const platform::Error& err);

    // After failures: a group whose leader is unreadable goes on led by its
    // lowest remaining member, and a group left with fewer than two members
    // dissolves.
    void settleGroups();

    // Long runs only: true at a stop request; the progress bar at record
    // position `at` of the array (fractions between records allowed).
    bool stopRequested() const { return host_ != nullptr && host_->stopRequested(); }
    void progressAt(double at);

    // "path: reason" of each file that failed, in the order they failed.
    const std::vector<std::string>& failures() const { return failures_; }

private:
    FileArray& files_;
    Run run_;
    CompareMode mode_;
    CompareHost* host_;
    const FirstReads* ahead_;
    platform::HeldFolders* folders_;
    std::vector<std::string> failures_;
};

// The reading strategies; each leaves the run grouped as groupRuns says.
// By refinement: the equally sized files split by chunks until every class
// is read through, each file read only as far as it must be (exact
// duplicates, and every long duplicates run).
void groupByRefinement(RunGrouping& run);
// In step: every file of the run read block by block together, groups
// refined after each block (tolerant and portions runs that are short).
void groupInStep(RunGrouping& run);
// Pair by pair: two files open at a time, each lower file compared with
// every later one (long portions runs).
void groupPairwise(RunGrouping& run);

}  // namespace kormial
