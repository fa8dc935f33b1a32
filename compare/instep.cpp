// The block-by-block comparison: every file of the run read in step, block
// after block, exactly or tolerantly (FuzzyMatch), and the portions search.
#include "compare/compare.h"
#include "compare/runfiles.h"

#include <cstring>

namespace kormial {

namespace {

// After the reads of a run compared block by block: a grouped file that no
// longer shows its recorded state becomes unreadable, and its group goes on
// without it (the lowest remaining member leading) or dissolves when fewer
// than two members remain.
void dropChanged(FileArray& arr, std::int64_t dupStart, std::int64_t dupEnd,
                 const std::function<bool(std::int64_t)>& unchanged)
{
    auto rec = [&](std::int64_t i) -> FileRec& { return arr[static_cast<std::size_t>(i)]; };
    bool any = false;
    std::vector<std::int32_t> oldGroup(static_cast<std::size_t>(dupEnd - dupStart + 1));
    for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
        oldGroup[static_cast<std::size_t>(i - dupStart)] = rec(i).Group;
        if (rec(i).Group >= 0 && !unchanged(i)) {
            rec(i).Group = kReadError;
            any = true;
        }
    }
    if (!any) {
        return;
    }
    std::vector<bool> done(oldGroup.size(), false);
    for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
        const std::int32_t g = oldGroup[static_cast<std::size_t>(i - dupStart)];
        if (g < 0 || rec(i).Group == kReadError || done[static_cast<std::size_t>(i - dupStart)]) {
            continue;
        }
        std::vector<std::int64_t> left;
        for (std::int64_t k = i; k <= dupEnd; ++k) {
            if (oldGroup[static_cast<std::size_t>(k - dupStart)] == g && rec(k).Group != kReadError) {
                left.push_back(k);
                done[static_cast<std::size_t>(k - dupStart)] = true;
            }
        }
        const std::int32_t lead = left.size() >= 2 ? asGroup(left.front()) : kNoGroup;
        for (const std::int64_t k : left) {
            rec(k).Group = lead;
        }
    }
}

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

void CompFileCntBlocks(FileArray& arr, std::int64_t dupStart, std::int64_t dupEnd, bool isTolerant,
                       bool SameSizeOnly)
{
    if (dupStart >= dupEnd) {
        return;
    }
    auto rec = [&](std::int64_t i) -> FileRec& { return arr[static_cast<std::size_t>(i)]; };
    const std::int64_t firstSize = rec(dupStart).Size;
    if (firstSize <= 0) {
        // No block can be read: files that were gone when sized count as
        // unreadable; empty files are not compared.
        if (firstSize < 0) {
            for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
                rec(i).Group = kReadError;
            }
        }
        return;
    }
    const std::int64_t bs = SameSizeOnly ? GetBufferSz(firstSize) : kPortionBlock;
    const std::int64_t tail = SameSizeOnly ? 0 : bs;
    int allowance = static_cast<double>(firstSize) / static_cast<double>(bs) > 10.0 ? 5 : 1;

    const auto count = static_cast<std::size_t>(dupEnd - dupStart + 1);
    std::vector<platform::ReadFile> files(count);
    std::vector<std::vector<std::uint8_t>> blocks(count);
    // The group a dropped record left in this pass, and whether a record was
    // dropped in this pass (also when it has since led a new group).
    std::vector<std::int64_t> droppedFrom(count, -1);
    auto slot = [&](std::int64_t i) { return static_cast<std::size_t>(i - dupStart); };

    for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
        if (rec(i).Group == kReadError) {
            continue;  // failed earlier in this search: stays unreadable
        }
        if (!files[slot(i)].openChecked(rec(i).path(), rec(i).state())) {
            rec(i).Group = kReadError;
            continue;
        }
        blocks[slot(i)].assign(static_cast<std::size_t>(bs), ' ');
        if (count == 2 || bs >= 50000) {
            files[slot(i)].adviseSequential();
        }
    }

    for (std::int64_t p = 0;; ++p) {
        if (p * bs + 1 + tail > firstSize) {
            break;
        }

        // Read the next block of every file that can still matter.
        int readCount = 0;
        for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
            FileRec& r = rec(i);
            if (r.Group == kReadError || (p != 0 && r.Group == kNoGroup)) {
                continue;
            }
            ++readCount;
            // A file that delivers less than its recorded size implies has
            // changed since it was sized: that is a failed read.
            const std::size_t want = blockBytes(r.Size, bs, p);
            if (want == 0 || !files[slot(i)].readExact(p * bs, blocks[slot(i)].data(), want)) {
                r.Group = kReadError;
                files[slot(i)].close();
            }
        }
        if (readCount < 2) {
            break;
        }

        if (p > 0) {
            // Groups that read failures broke: a failed leader hands the group
            // to its lowest remaining member; a group left with one member
            // dissolves.
            std::vector<std::vector<std::int64_t>> members(count);
            std::vector<bool> leads(count, false);
            for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
                const std::int32_t g = rec(i).Group;
                if (g == asGroup(i)) {
                    leads[slot(i)] = true;
                } else if (g >= 0 && g >= dupStart && g <= dupEnd) {
                    members[slot(g)].push_back(i);
                }
            }
            for (std::int64_t l = dupStart; l <= dupEnd; ++l) {
                auto& m = members[slot(l)];
                if (leads[slot(l)]) {
                    if (m.empty()) {
                        rec(l).Group = kNoGroup;
                    }
                } else if (!m.empty()) {
                    if (m.size() >= 2) {
                        for (const std::int64_t x : m) {
                            rec(x).Group = asGroup(m.front());
                        }
                    } else {
                        rec(m.front()).Group = kNoGroup;
                    }
                }
            }
        }

        for (std::int64_t j = dupStart; j < dupEnd; ++j) {
            const std::int32_t gj = rec(j).Group;
            if (gj == kReadError) {
                continue;
            }
            if (p == 0 ? gj != kNoGroup : gj == kNoGroup) {
                continue;
            }
            // A record dropped in this pass (still -2, or since leading a new
            // group of dropped records) pairs only with records dropped from
            // the same group.
            const bool jDropped = p > 0 && droppedFrom[slot(j)] >= 0;
            for (std::int64_t k = j + 1; k <= dupEnd; ++k) {
                const std::int32_t gk = rec(k).Group;
                if (p == 0) {
                    if (gk != kNoGroup) {
                        continue;
                    }
                } else if (gk == kDropped) {
                    if (!jDropped || droppedFrom[slot(k)] != droppedFrom[slot(j)]) {
                        continue;
                    }
                } else if (gk != asGroup(j)) {
                    continue;
                }
                if ((rec(k).Size == rec(j).Size) != SameSizeOnly) {
                    continue;
                }
                bool match;
                if (isTolerant) {
                    match = allowance > 0 && FuzzyMatch(blocks[slot(j)], blocks[slot(k)]) > 0.9f;
                } else {
                    match = blocks[slot(j)] == blocks[slot(k)];
                }
                if (match) {
                    rec(k).Group = asGroup(j);
                    rec(j).Group = asGroup(j);
                } else if (gk == asGroup(j)) {
                    --allowance;
                    if (isTolerant && allowance >= 0) {
                        continue;  // tolerated: k stays in the group
                    }
                    rec(k).Group = kDropped;
                    droppedFrom[slot(k)] = j;
                    int left = 0;
                    for (std::int64_t x = dupStart; x <= dupEnd; ++x) {
                        left += rec(x).Group == asGroup(j) ? 1 : 0;
                    }
                    if (left < 2) {
                        rec(j).Group = kNoGroup;
                    }
                }
            }
        }

        for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
            if (rec(i).Group == kDropped) {
                rec(i).Group = kNoGroup;
            }
            droppedFrom[slot(i)] = -1;
        }
    }
    // the groups stand only for files that did not change while read
    dropChanged(arr, dupStart, dupEnd, [&](std::int64_t i) {
        return files[slot(i)].isOpen() && files[slot(i)].unchanged(rec(i).state());
    });
}

}  // namespace kormial
