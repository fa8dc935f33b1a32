// Grouping in step: every file of the run read block by block together, the
// groups refined after each block, exactly or tolerantly (FuzzyMatch).
#include "compare/grouping.h"
#include "compare/runfiles.h"

#include <cstring>

namespace kormial {

namespace {

class InStep {
public:
    explicit InStep(RunGrouping& run)
        : run_(run), plan_(run.mode().pairing, run.rec(run.first()).Size), files_(run.count()),
          blocks_(run.count()), droppedFrom_(run.count(), kNotDropped)
    {
        // mismatches tolerated in the run: more for files of many blocks
        const auto firstSize = static_cast<double>(run.rec(run.first()).Size);
        allowance_ = firstSize / static_cast<double>(plan_.size) > 10.0 ? 5 : 1;
    }

    // Pass p reads block p of every file that can still matter, and compares
    // it: in pass 0 every file in no group with every later one, so that
    // each file joins the first equal file before it, which leads; later
    // every member with its leader, a member that differs being dropped.
    // Files dropped from one group in a pass may form a new group among
    // themselves in the same pass.
    void group()
    {
        open();
        const std::int64_t bound = run_.rec(run_.first()).Size;
        for (std::int64_t p = 0; plan_.compares(p, bound); ++p) {
            if (read(p) < 2) {
                break;
            }
            if (p > 0) {
                run_.settleGroups();
            }
            for (std::int64_t j = run_.first(); j < run_.last(); ++j) {
                if (leadsComparisons(j, p)) {
                    compareWithLater(j, p);
                }
            }
            droppedFrom_.assign(droppedFrom_.size(), kNotDropped);
        }
        dropChanged();
    }

private:
    static constexpr std::size_t kNotDropped = SIZE_MAX;

    FileRec& rec(std::int64_t i) { return run_.rec(i); }
    platform::ReadFile& file(std::int64_t i) { return files_[run_.slot(i)]; }
    std::vector<std::uint8_t>& block(std::int64_t i) { return blocks_[run_.slot(i)]; }
    bool dropped(std::int64_t i) const { return droppedFrom_[run_.slot(i)] != kNotDropped; }

    void open()
    {
        for (std::int64_t i = run_.first(); i <= run_.last(); ++i) {
            if (rec(i).Group.isUnreadable()) {
                continue;  // failed earlier in this search: stays unreadable
            }
            platform::Error err;
            if (!run_.open(file(i), i, &err)) {
                run_.fail(i, err);
                continue;
            }
            block(i).assign(static_cast<std::size_t>(plan_.size), ' ');
            if (run_.count() == 2 || plan_.size >= 50000) {
                file(i).adviseSequential();
            }
        }
    }

    // Reads block p of every file that can still matter: every readable file
    // in pass 0, later the grouped ones. Returns how many were read or tried.
    int read(std::int64_t p)
    {
        int tried = 0;
        for (std::int64_t i = run_.first(); i <= run_.last(); ++i) {
            FileRec& r = rec(i);
            if (r.Group.isUnreadable() || (p != 0 && r.Group == kNoGroup)) {
                continue;
            }
            ++tried;
            // a file that delivers less than its recorded size implies has
            // changed since it was sized: that is a failed read
            const std::size_t want = plan_.bytes(r.Size, p);
            platform::Error err{want == 0 ? platform::kChangedDuringSearch : 0};
            if (want == 0 || !file(i).readExact(p * plan_.size, block(i).data(), want, &err)) {
                run_.fail(i, err);
                file(i).close();
            }
        }
        return tried;
    }

    bool leadsComparisons(std::int64_t j, std::int64_t p) const
    {
        const GroupMark g = run_.rec(j).Group;
        if (g.isUnreadable()) {
            return false;
        }
        return p == 0 ? g == kNoGroup : g.grouped() || dropped(j);
    }

    // Whether k is compared with j in pass p: in pass 0 when in no group,
    // later when in j's group, or when both were dropped from one group in
    // this pass (j still dropped, or since leading a new group of them).
    bool comparedWith(std::int64_t j, std::int64_t k, std::int64_t p) const
    {
        const GroupMark g = run_.rec(k).Group;
        if (p == 0) {
            return g == kNoGroup;
        }
        if (g == kNoGroup && dropped(k)) {
            return dropped(j) && droppedFrom_[run_.slot(k)] == droppedFrom_[run_.slot(j)];
        }
        return g.isLedBy(j);
    }

    void compareWithLater(std::int64_t j, std::int64_t p)
    {
        for (std::int64_t k = j + 1; k <= run_.last(); ++k) {
            if (!comparedWith(j, k, p) || !run_.paired(rec(k), rec(j))) {
                continue;
            }
            const bool member = rec(k).Group.isLedBy(j);
            bool match;
            if (run_.tolerant()) {
                match = allowance_ > 0 && FuzzyMatch(block(j), block(k)) > 0.9f;
            } else {
                match = block(j) == block(k);
            }
            if (match) {
                rec(k).Group = rec(j).Group = GroupMark::ledBy(j);
            } else if (member) {
                drop(j, k);
            }
        }
    }

    // Member k differs from its leader j: tolerated while the run's
    // allowance lasts, else dropped, and a group left with one member
    // dissolves.
    void drop(std::int64_t j, std::int64_t k)
    {
        --allowance_;
        if (run_.tolerant() && allowance_ >= 0) {
            return;
        }
        rec(k).Group = kNoGroup;
        droppedFrom_[run_.slot(k)] = run_.slot(j);
        int left = 0;
        for (std::int64_t x = run_.first(); x <= run_.last(); ++x) {
            left += rec(x).Group.isLedBy(j) ? 1 : 0;
        }
        if (left < 2) {
            rec(j).Group = kNoGroup;
        }
    }

    // The groups stand only for files that did not change while read.
    void dropChanged()
    {
        bool any = false;
        for (std::int64_t i = run_.first(); i <= run_.last(); ++i) {
            platform::Error err{platform::kChangedDuringSearch};
            if (rec(i).Group.grouped() && (!file(i).isOpen() || !file(i).unchanged(rec(i).state(), &err))) {
                run_.fail(i, err);
                any = true;
            }
        }
        if (any) {
            run_.settleGroups();
        }
    }

    RunGrouping& run_;
    BlockPlan plan_;
    int allowance_ = 1;
    std::vector<platform::ReadFile> files_;
    std::vector<std::vector<std::uint8_t>> blocks_;
    // The slot of the leader of the group a record was dropped from in this
    // pass (also when it has since joined or led a new group).
    std::vector<std::size_t> droppedFrom_;
};

}  // namespace

float FuzzyMatch(std::span<const std::uint8_t> StrIn1, std::span<const std::uint8_t> StrIn2)
{
    const std::int64_t len1 = static_cast<std::int64_t>(StrIn1.size());
    const std::int64_t len2 = static_cast<std::int64_t>(StrIn2.size());
    if (len1 == 0) {
        return 0.0f;
    }
    const std::int64_t n = len1 < 100 ? len1 : 100;
    // segment length: len1 / n to the nearest whole number, halves to even
    std::int64_t s = len1 / n;
    const std::int64_t rest = len1 % n;
    if (2 * rest > n || (2 * rest == n && s % 2 != 0)) {
        ++s;
    }
    std::int64_t matches = 0;
    for (std::int64_t i = 1; i <= n; ++i) {
        const std::int64_t start = i * s - 1;  // 0-based
        const std::int64_t take1 = start >= len1 ? 0 : std::min(s, len1 - start);
        const std::int64_t take2 = start >= len2 ? 0 : std::min(s, len2 - start);
        if (take1 == take2 &&
            (take1 == 0 || std::memcmp(StrIn1.data() + start, StrIn2.data() + start,
                                       static_cast<std::size_t>(take1)) == 0)) {
            ++matches;
        }
    }
    return static_cast<float>(matches) / static_cast<float>(n);
}

void groupInStep(RunGrouping& run)
{
    if (run.count() >= 2 && run.rec(run.first()).Size > 0) {
        InStep(run).group();
    }
}

}  // namespace kormial
