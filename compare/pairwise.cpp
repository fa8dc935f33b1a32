// Grouping pair by pair, for long runs: two files open at a time.
#include "compare/grouping.h"
#include "compare/runfiles.h"

#include <cstring>

namespace kormial {

namespace {

class Pairwise {
public:
    explicit Pairwise(RunGrouping& run)
        : run_(run), plan_(run.mode().pairing, run.rec(run.first()).Size),
          upperBlock_(static_cast<std::size_t>(plan_.size)), lowerBlock_(static_cast<std::size_t>(plan_.size))
    {
    }

    // Each file in no group is compared with every later one in no group,
    // so that each file joins the first equal file before it, which leads.
    // The progress bar moves after each lower file; a stop request is heard
    // after each pair, whose outcome is then not recorded.
    void group()
    {
        bool stopped = false;
        for (std::int64_t i = run_.first(); i <= run_.last() && !stopped; ++i) {
            if (rec(i).Group == kNoGroup) {
                stopped = !compareWithLater(i);
            }
            run_.progressAt(static_cast<double>(i));
        }
    }

private:
    enum class Outcome { Same, Different, LowerFailed, UpperFailed };

    FileRec& rec(std::int64_t i) { return run_.rec(i); }

    // The lower file `i`, kept open, against every later file. False at a
    // stop request.
    bool compareWithLater(std::int64_t i)
    {
        platform::ReadFile lower;
        platform::Error err;
        if (!run_.open(lower, i, &err)) {
            run_.fail(i, err);
        }
        bool stopped = false;
        for (std::int64_t k = i + 1; k <= run_.last() && lower.isOpen(); ++k) {
            if (rec(k).Group != kNoGroup || !run_.paired(rec(k), rec(i))) {
                continue;
            }
            const Outcome outcome = comparePair(lower, i, k);
            if (outcome == Outcome::LowerFailed) {
                break;
            }
            if (outcome == Outcome::UpperFailed) {
                continue;
            }
            if (run_.stopRequested()) {
                stopped = true;
                break;
            }
            if (outcome == Outcome::Same) {
                rec(k).Group = rec(i).Group = GroupMark::ledBy(i);
            }
        }
        if (lower.isOpen() && !rec(i).Group.isUnreadable() && !lower.unchanged(rec(i).state(), &err)) {
            run_.fail(i, err);
        }
        if (rec(i).Group.isUnreadable()) {
            run_.settleGroups();
        }
        return !stopped;
    }

    // Every block the lower file's size allows, the pair's first unequal
    // block ending it; a pair with no block to compare is not alike.
    Outcome comparePair(platform::ReadFile& lower, std::int64_t i, std::int64_t k)
    {
        const std::int64_t lowerSize = rec(i).Size;
        if (!plan_.compares(0, lowerSize)) {
            return Outcome::Different;
        }
        platform::ReadFile upper;
        platform::Error err;
        if (!run_.open(upper, k, &err)) {
            run_.fail(k, err);
            return Outcome::UpperFailed;
        }
        bool same = true;
        for (std::int64_t p = 0; same && plan_.compares(p, lowerSize); ++p) {
            const std::size_t upperBytes = plan_.bytes(rec(k).Size, p);
            const std::size_t lowerBytes = plan_.bytes(lowerSize, p);
            if (!upper.readExact(p * plan_.size, upperBlock_.data(), upperBytes, &err)) {
                run_.fail(k, err);
                break;
            }
            if (!lower.readExact(p * plan_.size, lowerBlock_.data(), lowerBytes, &err)) {
                run_.fail(i, err);
                break;
            }
            same = upperBytes == lowerBytes && std::memcmp(upperBlock_.data(), lowerBlock_.data(), upperBytes) == 0;
        }
        if (rec(k).Group == kNoGroup && !upper.unchanged(rec(k).state(), &err)) {
            run_.fail(k, err);
        }
        if (rec(i).Group.isUnreadable()) {
            return Outcome::LowerFailed;
        }
        if (rec(k).Group.isUnreadable()) {
            return Outcome::UpperFailed;
        }
        return same ? Outcome::Same : Outcome::Different;
    }

    RunGrouping& run_;
    BlockPlan plan_;
    std::vector<std::uint8_t> upperBlock_;
    std::vector<std::uint8_t> lowerBlock_;
};

}  // namespace

void groupPairwise(RunGrouping& run)
{
    if (run.count() >= 2 && run.rec(run.first()).Size > 0) {
        Pairwise(run).group();
    }
}

}  // namespace kormial
